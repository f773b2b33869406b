// The focus after the window's message boxes and the job's: back on the
// control that had it, or on the one a job names when it ends, and Tab goes
// on from there at once. A real box takes the focus with it; in the real
// program, after a drive job's result box, the main window itself was left
// with it and Tab did nothing. The boxes here do the same to the window's
// thread, whichever thread shows them, so only the window gives it back.
#include "window_fixture.h"

#include <functional>

namespace {

using namespace testwindow;

// Moves the focus of the window's thread to the main window itself; a
// worker's box reaches it through a message sent to this window.
HWND Thief;

LRESULT CALLBACK ThiefProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_APP) {
        SetFocus(MainWindow);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// The control with the focus (the size field counts as its combo box); -1
// for none or the main window itself.
int FocusId()
{
    HWND focus = GetFocus();
    if (!focus || focus == MainWindow)
        return -1;
    return focus == Window.SizeFieldEdit ? ID_SIZE_COMBO : GetDlgCtrlID(focus);
}

void Tab()
{
    HWND focus = GetFocus();
    SendMessageA(focus, WM_KEYDOWN, VK_TAB, 1);
    SendMessageA(focus, WM_CHAR, '\t', 1);
}

// The focus when a box of the window's thread opens, before and after a Tab.
struct Checkpoint {
    const char *Title;
    int Focus, AfterTab;
} At;

int WINAPI TakingBox(HWND owner, LPCSTR text, LPCSTR title, UINT style)
{
    if (At.Title && strcmp(title, At.Title) == 0) {
        At.Focus = FocusId();
        Tab();
        At.AfterTab = FocusId();
    }
    int answer = RecordBox(owner, text, title, style);
    SendMessageA(Thief, WM_APP, 0, 0);
    return answer;
}

bool Shown(const char *title)
{
    for (const Box &box : Boxes)
        if (box.Title == title)
            return true;
    return false;
}

TEST_F(SlicerWindow, FocusComesBackAfterEveryBox)
{
    WNDCLASSA thiefClass = {};
    thiefClass.lpfnWndProc = ThiefProc;
    thiefClass.lpszClassName = "DorvaneFocusThief";
    RegisterClassA(&thiefClass);
    Thief = CreateWindowA("DorvaneFocusThief", "", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL, NULL, NULL);
    ASSERT_TRUE(Thief);

    auto folderJob = [&] {
        ChooseSource(2000);
        Click(ID_COUNT_RADIO);
        Type(ID_COUNT_EDIT, "2");
        Type(ID_DESTINATION_EDIT, out_.Path());
    };
    const struct {
        const char *What;
        std::function<void()> Act;
        const char *Box;        // shown by the act
        int Focus, AfterTab;    // when the act is over
        Checkpoint Seen;        // at the opening of a later box, if any
        int SliceOn;            // Slice enabled when the act is over; -1: not asked
    } cases[] = {
        {"a drive job's result box (the job failed, after its own box)",
         [&] {
             ChooseSource(100);
             SendMessageA(Control(ID_DRIVE_COMBO), CB_RESETCONTENT, 0, 0);
             Click(ID_SLICE_BUTTON);
         },
         "Dorvane - Slice Error", ID_SLICE_BUTTON, ID_HELP_BUTTON, {}, -1},
        {"a folder job's result box",
         [&] {
             folderJob();
             Click(ID_SLICE_BUTTON);
         },
         // The destination gets the focus only once the box is gone: had
         // the box taken it from there, its check would enable Slice.
         "Dorvane - Slice Complete", ID_DESTINATION_EDIT, ID_DESTINATION_BROWSE_BUTTON, {}, 0},
        {"a refusal at Slice: the set would be written over its source",
         [&] {
             ChooseSource(5000, "X.D00");
             Click(ID_COUNT_RADIO);
             Type(ID_COUNT_EDIT, "3");
             Type(ID_DESTINATION_EDIT, sources_.Path());
             Click(ID_SLICE_BUTTON);
         },
         "Dorvane - Slice Error", ID_SLICE_BUTTON, ID_HELP_BUTTON, {}, -1},
        {"the box of a dropped folder",
         [&] {
             ChooseSource(100);
             Click(ID_SIZE_RADIO);
             SetFocus(Control(ID_UNIT_COMBO));
             Drop({out_.Path()});
         },
         "Dorvane", ID_UNIT_COMBO, ID_RECOVERY_CHECK, {}, -1},
        // The focus was moved to the count during the job; the job's
        // question, on the worker, gives it back there, as the result box
        // finds it; that box then hands it to the destination.
        {"the job's overwrite question, answered",
         [&] {
             folderJob();
             WriteAll(out_ / "BIG.D00", "old");
             Answer = [](const Box &, size_t) { return IDOK; }; // yes to the question
             SetFocus(Control(ID_COUNT_EDIT));
             SendMessageA(MainWindow, WM_COMMAND, ID_SLICE_BUTTON, 0);
         },
         "Dorvane - Overwrite?", ID_DESTINATION_EDIT, ID_DESTINATION_BROWSE_BUTTON,
         {"Dorvane - Slice Complete", ID_COUNT_EDIT, ID_RECOVERY_CHECK}, -1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.What);
        Open();
        JobHooks.ShowMessage = TakingBox;
        Boxes.clear();
        Answer = nullptr;
        At = {c.Seen.Title, 0, 0};
        c.Act();
        EXPECT_TRUE(Shown(c.Box));
        if (c.Seen.Title) {
            EXPECT_EQ(At.Focus, c.Seen.Focus);
            EXPECT_EQ(At.AfterTab, c.Seen.AfterTab);
        }
        if (c.SliceOn >= 0) {
            EXPECT_EQ(Enabled(ID_SLICE_BUTTON), c.SliceOn == 1);
        }
        EXPECT_EQ(FocusId(), c.Focus);
        Tab();
        EXPECT_EQ(FocusId(), c.AfterTab);
        DestroyWindow(MainWindow);
        DrainQueue();
    }
    At = {};
    DestroyWindow(Thief);
}

} // namespace
