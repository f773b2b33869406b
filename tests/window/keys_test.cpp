// The main window without a mouse, in-process under Wine: keys sent to the
// focused control as the message loop delivers them, Shift set in the
// thread's keyboard state. Tab and Shift+Tab by the window's state, Up and
// Down, Enter, and the characters the count and size fields refuse.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "window_fixture.h"

using namespace testwindow;

namespace {

// What the main window was told, by wParam and lParam; with Swallow set the
// window does not act on it (a button pressed would open a dialog).
struct Command {
    WPARAM w;
    LPARAM l;
    bool operator==(const Command &o) const { return w == o.w && l == o.l; }
};
std::vector<Command> Commands;
bool Swallow;
WNDPROC MainProc;

LRESULT CALLBACK RecordCommands(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_COMMAND) {
        Commands.push_back({wParam, lParam});
        if (Swallow)
            return 0;
    }
    return CallWindowProcA(MainProc, window, message, wParam, lParam);
}

// The size field stands for SizeCombo (12) wherever the focus is concerned.
HWND FocusTarget(int id)
{
    return id == ID_SIZE_COMBO ? Window.SizeFieldEdit : Control(id);
}

int FocusId()
{
    HWND focus = GetFocus();
    return focus == Window.SizeFieldEdit ? ID_SIZE_COMBO : GetDlgCtrlID(focus);
}

void SetShift(bool down)
{
    BYTE keys[256];
    GetKeyboardState(keys);
    keys[VK_SHIFT] = down ? 0x80 : 0;
    SetKeyboardState(keys);
}

// A key pressed in the focused control: its key-down, then the character
// TranslateMessage makes of it (0 for none).
void Press(UINT key, WPARAM character = 0, bool shift = false)
{
    SetShift(shift);
    HWND focus = GetFocus();
    SendMessageA(focus, WM_KEYDOWN, key, 1);
    if (character)
        SendMessageA(focus, WM_CHAR, character, 1);
    SetShift(false);
}

void Tab(bool back)
{
    Press(VK_TAB, '\t', back);
}

// The window's states that the Tab order depends on.
enum State { NO_SOURCE, REMOVABLE, SIZE, SIZE_DEST, COUNT, REMOVABLE_FLAGGED, SOURCE_GONE,
             RECOVERY_SIZE, RECOVERY_REMOVABLE };

struct StateSpec {
    bool source;
    int radio;
    bool destination; // a valid destination folder typed
    bool flagged;     // SliceDisabled set and the destination usable while removable: no
                      // sequence of the window's own makes this, but the order covers it
    bool sourceGone;  // the source cleared after a folder method was chosen
    bool recovery;    // "Recovery data" checked
};

const StateSpec kStates[] = {
    {false, ID_REMOVABLE_RADIO, false, false, false, false}, // NO_SOURCE
    {true, ID_REMOVABLE_RADIO, false, false, false, false},  // REMOVABLE
    {true, ID_SIZE_RADIO, false, false, false, false},       // SIZE
    {true, ID_SIZE_RADIO, true, false, false, false},        // SIZE_DEST
    {true, ID_COUNT_RADIO, false, false, false, false},      // COUNT
    {true, ID_REMOVABLE_RADIO, false, true, false, false},   // REMOVABLE_FLAGGED
    {true, ID_SIZE_RADIO, false, false, true, false},        // SOURCE_GONE
    {true, ID_SIZE_RADIO, true, false, false, true},         // RECOVERY_SIZE
    {true, ID_REMOVABLE_RADIO, false, false, false, true},   // RECOVERY_REMOVABLE
};

class Keys : public SlicerWindow {
protected:
    void OpenRecorded()
    {
        Open();
        Commands.clear();
        Swallow = false;
        MainProc = (WNDPROC)SetWindowLongPtrA(MainWindow, GWLP_WNDPROC, (LONG_PTR)RecordCommands);
        source_ = sources_ / "BIG.DAT";
        WriteAll(source_, Pattern(1000000));
    }

    void Apply(State state)
    {
        const StateSpec &s = kStates[state];
        Swallow = false;
        Type(ID_DESTINATION_EDIT, "");
        Click(ID_REMOVABLE_RADIO);
        SetChecked(ID_RECOVERY_CHECK, s.recovery);
        Type(ID_SOURCE_PATH_EDIT, s.source ? source_ : "");
        if (s.radio != ID_REMOVABLE_RADIO) {
            Click(s.radio);
            Type(ID_DESTINATION_EDIT, s.destination ? out_.Path() : "");
        }
        if (s.sourceGone)
            Type(ID_SOURCE_PATH_EDIT, "");
        if (s.flagged) {
            Window.SliceDisabled = 1;
            EnableWindow(Control(ID_DESTINATION_EDIT), TRUE);
            EnableWindow(Control(ID_DESTINATION_BROWSE_BUTTON), TRUE);
        }
    }

    std::string source_;
};

// Where Tab and Shift+Tab take the focus from each control; a target that
// is disabled is passed over along the order in the same direction.
struct TabCase {
    State state;
    int from, forward, backward;
};

const TabCase kTabCases[] = {
    {NO_SOURCE, ID_SOURCE_PATH_EDIT, ID_SOURCE_BROWSE_BUTTON, ID_EXIT_BUTTON},
    {NO_SOURCE, ID_SOURCE_BROWSE_BUTTON, ID_HELP_BUTTON, ID_SOURCE_PATH_EDIT},
    {REMOVABLE, ID_SOURCE_BROWSE_BUTTON, ID_REMOVABLE_RADIO, ID_SOURCE_PATH_EDIT},
    {SIZE, ID_SOURCE_BROWSE_BUTTON, ID_SIZE_RADIO, ID_SOURCE_PATH_EDIT},
    {COUNT, ID_SOURCE_BROWSE_BUTTON, ID_COUNT_RADIO, ID_SOURCE_PATH_EDIT},
    {REMOVABLE, ID_REMOVABLE_RADIO, ID_DRIVE_COMBO, ID_SOURCE_BROWSE_BUTTON},
    {REMOVABLE, ID_DRIVE_COMBO, ID_RECOVERY_CHECK, ID_REMOVABLE_RADIO},
    {SIZE, ID_SIZE_RADIO, ID_SIZE_COMBO, ID_SOURCE_BROWSE_BUTTON},
    {SIZE, ID_SIZE_COMBO, ID_UNIT_COMBO, ID_SIZE_RADIO},
    {SIZE, ID_UNIT_COMBO, ID_RECOVERY_CHECK, ID_SIZE_COMBO},
    {COUNT, ID_COUNT_RADIO, ID_COUNT_EDIT, ID_SOURCE_BROWSE_BUTTON},
    {COUNT, ID_COUNT_EDIT, ID_RECOVERY_CHECK, ID_COUNT_RADIO},
    {COUNT, ID_COUNT_UP_DOWN, ID_RECOVERY_CHECK, ID_COUNT_EDIT},
    // The recovery row: its blocks only when checked, for a folder method.
    {COUNT, ID_RECOVERY_CHECK, ID_DESTINATION_EDIT, ID_COUNT_EDIT},
    {RECOVERY_SIZE, ID_RECOVERY_CHECK, ID_RECOVERY_BLOCKS_EDIT, ID_UNIT_COMBO},
    {RECOVERY_SIZE, ID_RECOVERY_BLOCKS_EDIT, ID_DESTINATION_EDIT, ID_RECOVERY_CHECK},
    {RECOVERY_SIZE, ID_DESTINATION_EDIT, ID_DESTINATION_BROWSE_BUTTON, ID_RECOVERY_BLOCKS_EDIT},
    {RECOVERY_REMOVABLE, ID_RECOVERY_CHECK, ID_SLICE_BUTTON, ID_DRIVE_COMBO},
    {RECOVERY_REMOVABLE, ID_SLICE_BUTTON, ID_HELP_BUTTON, ID_RECOVERY_CHECK},
    {SIZE, ID_DESTINATION_EDIT, ID_DESTINATION_BROWSE_BUTTON, ID_RECOVERY_CHECK},
    {COUNT, ID_DESTINATION_EDIT, ID_DESTINATION_BROWSE_BUTTON, ID_RECOVERY_CHECK},
    {REMOVABLE_FLAGGED, ID_DESTINATION_EDIT, ID_DESTINATION_BROWSE_BUTTON, ID_RECOVERY_CHECK},
    {SIZE, ID_DESTINATION_BROWSE_BUTTON, ID_HELP_BUTTON, ID_DESTINATION_EDIT},
    {SIZE_DEST, ID_DESTINATION_BROWSE_BUTTON, ID_SLICE_BUTTON, ID_DESTINATION_EDIT},
    {REMOVABLE, ID_SLICE_BUTTON, ID_HELP_BUTTON, ID_RECOVERY_CHECK},
    {SIZE_DEST, ID_SLICE_BUTTON, ID_HELP_BUTTON, ID_DESTINATION_BROWSE_BUTTON},
    {NO_SOURCE, ID_HELP_BUTTON, ID_ABOUT_BUTTON, ID_SOURCE_BROWSE_BUTTON},
    {REMOVABLE_FLAGGED, ID_HELP_BUTTON, ID_ABOUT_BUTTON, ID_RECOVERY_CHECK},
    {SIZE, ID_HELP_BUTTON, ID_ABOUT_BUTTON, ID_DESTINATION_BROWSE_BUTTON},
    {SIZE_DEST, ID_HELP_BUTTON, ID_ABOUT_BUTTON, ID_SLICE_BUTTON},
    {REMOVABLE, ID_HELP_BUTTON, ID_ABOUT_BUTTON, ID_SLICE_BUTTON},
    // Slice is named but disabled: on to the destination's Browse button.
    {SOURCE_GONE, ID_HELP_BUTTON, ID_ABOUT_BUTTON, ID_DESTINATION_BROWSE_BUTTON},
    {NO_SOURCE, ID_ABOUT_BUTTON, ID_EXIT_BUTTON, ID_HELP_BUTTON},
    {NO_SOURCE, ID_EXIT_BUTTON, ID_SOURCE_PATH_EDIT, ID_ABOUT_BUTTON},
};

TEST_F(Keys, TabMovesAlongTheOrderOfTheWindowsState)
{
    OpenRecorded();
    for (const TabCase &c : kTabCases) {
        for (bool back : {false, true}) {
            Apply(c.state);
            SetFocus(FocusTarget(c.from));
            ASSERT_EQ(FocusId(), c.from) << c.state;
            Tab(back);
            EXPECT_EQ(FocusId(), back ? c.backward : c.forward)
                << "from " << c.from << (back ? " back" : "") << " in state " << c.state;
        }
    }
}

struct Walk {
    State state;
    bool back;
    std::vector<int> focus; // the first, then after each Tab
};

const Walk kWalks[] = {
    {NO_SOURCE, false, {7, 8, 20, 21, 22, 7}},
    {NO_SOURCE, true, {7, 22, 21, 20, 8, 7}},
    {REMOVABLE, false, {7, 8, 9, 10, 23, 19, 20, 21, 22, 7}},
    {SIZE_DEST, false, {8, 11, 12, 13, 23, 17, 18, 19, 20}},
    {SIZE, false, {8, 11, 12, 13, 23, 17, 18, 20}},
    {RECOVERY_SIZE, false, {8, 11, 12, 13, 23, 24, 17, 18, 19, 20}},
    {RECOVERY_SIZE, true, {17, 24, 23, 13, 12, 11, 8}},
    // Without a source the disabled method fields are passed over too.
    {SOURCE_GONE, true, {22, 21, 20, 18, 17, 8, 7}},
};

TEST_F(Keys, TabWalksTheUsableControlsOnly)
{
    OpenRecorded();
    for (const Walk &w : kWalks) {
        Apply(w.state);
        SetFocus(FocusTarget(w.focus[0]));
        std::vector<int> seen{FocusId()};
        while (seen.size() < w.focus.size()) {
            Tab(w.back);
            seen.push_back(FocusId());
        }
        EXPECT_EQ(seen, w.focus) << "state " << w.state << (w.back ? " back" : "");
    }
}

// Up and Down: between the method radios, each reached one choosing its
// method; nothing elsewhere but in the lists and the count.
struct ArrowCase {
    int from;
    UINT key;
    int focus;
    int checked;
};

const ArrowCase kArrowCases[] = {
    {ID_REMOVABLE_RADIO, VK_UP, ID_REMOVABLE_RADIO, ID_REMOVABLE_RADIO},
    {ID_REMOVABLE_RADIO, VK_DOWN, ID_SIZE_RADIO, ID_SIZE_RADIO},
    {ID_SIZE_RADIO, VK_UP, ID_REMOVABLE_RADIO, ID_REMOVABLE_RADIO},
    {ID_SIZE_RADIO, VK_DOWN, ID_COUNT_RADIO, ID_COUNT_RADIO},
    {ID_COUNT_RADIO, VK_UP, ID_SIZE_RADIO, ID_SIZE_RADIO},
    {ID_COUNT_RADIO, VK_DOWN, ID_COUNT_RADIO, ID_REMOVABLE_RADIO},
    {ID_SOURCE_PATH_EDIT, VK_DOWN, ID_SOURCE_PATH_EDIT, ID_REMOVABLE_RADIO},
    {ID_SLICE_BUTTON, VK_UP, ID_SLICE_BUTTON, ID_REMOVABLE_RADIO},
};

TEST_F(Keys, ArrowsMoveBetweenTheMethodsAndChooseThem)
{
    OpenRecorded();
    for (const ArrowCase &c : kArrowCases) {
        Apply(REMOVABLE);
        SetFocus(Control(c.from));
        Press(c.key);
        EXPECT_EQ(FocusId(), c.focus) << c.from << " " << c.key;
        EXPECT_TRUE(Checked(c.checked)) << c.from << " " << c.key;
        EXPECT_EQ(Window.RemovableMode, c.checked == ID_REMOVABLE_RADIO) << c.from;
    }
    // In the count the up-down control steps the number.
    Apply(COUNT);
    Type(ID_COUNT_EDIT, "5");
    SetFocus(Control(ID_COUNT_EDIT));
    Press(VK_UP);
    EXPECT_EQ(Text(ID_COUNT_EDIT), "6");
    Press(VK_DOWN);
    Press(VK_DOWN);
    EXPECT_EQ(Text(ID_COUNT_EDIT), "4");
}

struct CycleCase {
    int id;
    int items;
    int start;
    UINT key;
    int selected;
};

const CycleCase kCycleCases[] = {
    {ID_DRIVE_COMBO, 3, 0, VK_UP, 2},   {ID_DRIVE_COMBO, 3, 2, VK_DOWN, 0},
    {ID_DRIVE_COMBO, 3, 1, VK_DOWN, 2}, {ID_DRIVE_COMBO, 3, 1, VK_UP, 0},
    {ID_DRIVE_COMBO, 0, -1, VK_DOWN, -1}, {ID_DRIVE_COMBO, 0, -1, VK_UP, -1},
    {ID_UNIT_COMBO, 3, 0, VK_UP, 2},    {ID_UNIT_COMBO, 3, 2, VK_DOWN, 0},
    {ID_UNIT_COMBO, 3, 1, VK_DOWN, 2},  {ID_UNIT_COMBO, 3, 1, VK_UP, 0},
};

TEST_F(Keys, ListsCycleAndOnlyTheUnitTellsTheWindow)
{
    OpenRecorded();
    Apply(SIZE);
    const char *drives[] = {"A:", "B:", "C:"};
    for (const CycleCase &c : kCycleCases) {
        HWND list = Control(c.id);
        if (c.id == ID_DRIVE_COMBO) {
            SendMessageA(list, CB_RESETCONTENT, 0, 0);
            for (int i = 0; i < c.items; i++)
                SendMessageA(list, CB_ADDSTRING, 0, (LPARAM)drives[i]);
        }
        SendMessageA(list, CB_SETCURSEL, (WPARAM)c.start, 0);
        SetFocus(list);
        Commands.clear();
        Press(c.key);
        EXPECT_EQ(SendMessageA(list, CB_GETCURSEL, 0, 0), c.selected) << c.id << " " << c.start;
        std::vector<Command> told;
        if (c.id == ID_UNIT_COMBO)
            told.push_back({0x1000D, (LPARAM)list});
        EXPECT_EQ(Commands, told) << c.id << " " << c.start;
    }
}

// Up and Down in the size field: the presets with their units. A typed size
// (no item) goes to the first on Down and to the last on Up.
struct PresetCase {
    int start;
    UINT key;
    const char *size;
    const char *unit;
    const char *note; // for the 1000000-byte source
};

const PresetCase kPresetCases[] = {
    {4, VK_DOWN, "360", "KB", "3 Portions will be required"},
    {0, VK_UP, "2.88", "MB", "1 Portions will be required"},
    {1, VK_DOWN, "1.2", "MB", "1 Portions will be required"},
    {2, VK_UP, "720", "KB", "2 Portions will be required"},
    {-1, VK_DOWN, "360", "KB", "3 Portions will be required"},
    {-1, VK_UP, "2.88", "MB", "1 Portions will be required"},
};

TEST_F(Keys, SizeFieldStepsThePresetsWithTheirUnits)
{
    OpenRecorded();
    Apply(SIZE);
    HWND combo = Control(ID_SIZE_COMBO);
    for (const PresetCase &c : kPresetCases) {
        SendMessageA(combo, CB_SETCURSEL, (WPARAM)c.start, 0);
        if (c.start < 0)
            SendMessageA(Window.SizeFieldEdit, WM_SETTEXT, 0, (LPARAM)"500");
        SendMessageA(Control(ID_UNIT_COMBO), CB_SETCURSEL, 0, 0);
        SetWindowTextA(Control(ID_SIZE_NOTE), "");
        SetFocus(Window.SizeFieldEdit);
        Commands.clear();
        Press(c.key);
        EXPECT_EQ(Text(ID_SIZE_COMBO), c.size) << c.start;
        EXPECT_EQ(Selected(ID_UNIT_COMBO), c.unit) << c.start;
        EXPECT_EQ(Commands, (std::vector<Command>{{0x1000C, 0}})) << c.start;
        EXPECT_EQ(Text(ID_SIZE_NOTE), c.note) << c.start;
    }
}

TEST_F(Keys, EnterPressesTheButtonsOnly)
{
    OpenRecorded();
    Apply(SIZE_DEST);
    const int buttons[] = {ID_SOURCE_BROWSE_BUTTON, ID_DESTINATION_BROWSE_BUTTON, ID_SLICE_BUTTON,
                           ID_HELP_BUTTON, ID_ABOUT_BUTTON, ID_EXIT_BUTTON};
    const int others[] = {ID_SOURCE_PATH_EDIT, ID_REMOVABLE_RADIO, ID_DRIVE_COMBO, ID_SIZE_RADIO,
                          ID_UNIT_COMBO, ID_COUNT_RADIO, ID_COUNT_EDIT, ID_DESTINATION_EDIT};
    Swallow = true;
    for (int id : buttons) {
        SetFocus(Control(id));
        Commands.clear();
        Press(VK_RETURN, '\r');
        EXPECT_EQ(Commands, (std::vector<Command>{{(WPARAM)id, 0}})) << id;
    }
    for (int id : others) {
        SetFocus(Control(id));
        std::string before = Text(id);
        Commands.clear();
        Press(VK_RETURN, '\r');
        EXPECT_TRUE(Commands.empty()) << id;
        EXPECT_EQ(Text(id), before) << id;
    }

    // Pressed for real, Slice runs the job like a click.
    Swallow = false;
    SetFocus(Control(ID_SLICE_BUTTON));
    Press(VK_RETURN, '\r');
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].Title, "Dorvane - Slice Complete");
    EXPECT_TRUE(Exists(out_ / "BIG.D02"));
    // The job left Slice disabled and the focus in the destination field;
    // leaving the field checks it again, so Tab reaches Slice.
    ASSERT_EQ(FocusId(), ID_DESTINATION_EDIT);
    EXPECT_FALSE(IsWindowEnabled(Control(ID_SLICE_BUTTON)));
    Tab(false);
    Tab(false);
    EXPECT_EQ(FocusId(), ID_SLICE_BUTTON);
}

// Typed characters, one WM_CHAR each; text selected first where asked.
struct TypingCase {
    int id;
    const char *start;
    bool selected;
    const char *typed;
    const char *result;
};

const TypingCase kTypingCases[] = {
    {ID_SIZE_COMBO, "", false, "1.4.4", "1.44"},
    {ID_SIZE_COMBO, "", false, "aZ -+,/\xE9*2", "2"},
    {ID_SIZE_COMBO, "2.5", true, ".", "2.5"},
    {ID_SIZE_COMBO, "2.5", true, "7", "7"},
    {ID_SIZE_COMBO, "12", false, "\b", "1"},
    {ID_COUNT_EDIT, "", false, "aZ -+,/.\xE9*7", "7"},
    {ID_COUNT_EDIT, "12", false, "\b3", "13"},
    {ID_RECOVERY_BLOCKS_EDIT, "", false, "aZ -+,/.\xE9*7", "7"},
};

TEST_F(Keys, FieldsRefuseWhatIsNoNumber)
{
    OpenRecorded();
    Apply(RECOVERY_SIZE);
    for (const TypingCase &c : kTypingCases) {
        HWND field = FocusTarget(c.id);
        SendMessageA(field, WM_SETTEXT, 0, (LPARAM)c.start);
        SetFocus(field);
        SendMessageA(field, EM_SETSEL, c.selected ? 0 : strlen(c.start), -1);
        for (const char *p = c.typed; *p; p++)
            SendMessageA(field, WM_CHAR, (BYTE)*p, 1);
        EXPECT_EQ(Text(field), c.result) << c.id << " " << c.typed;
    }
    // The fields are Unicode windows: a character beyond Latin-1 is no digit either.
    for (int id : {ID_SIZE_COMBO, ID_COUNT_EDIT, ID_RECOVERY_BLOCKS_EDIT}) {
        HWND field = FocusTarget(id);
        SendMessageA(field, WM_SETTEXT, 0, (LPARAM)"3");
        SetFocus(field);
        SendMessageA(field, EM_SETSEL, 1, -1);
        SendMessageW(field, WM_CHAR, 0x65E5, 1);
        SendMessageW(field, WM_CHAR, 0xFF15, 1); // a fullwidth digit
        EXPECT_EQ(Text(field), "3") << id;
    }
}

TEST_F(Keys, PastedTextIsNotFiltered)
{
    OpenRecorded();
    Apply(SIZE);
    struct {
        int id;
        const char *text;
    } cases[] = {{ID_SIZE_COMBO, " 2.5.5 KB"}, {ID_COUNT_EDIT, " 7.5 x"}};
    for (const auto &c : cases) {
        ASSERT_TRUE(OpenClipboard(MainWindow));
        EmptyClipboard();
        HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, strlen(c.text) + 1);
        strcpy((char *)GlobalLock(memory), c.text);
        GlobalUnlock(memory);
        SetClipboardData(CF_TEXT, memory);
        CloseClipboard();
        HWND field = FocusTarget(c.id);
        // By the menu's message and by Ctrl+V, whose character (22) the
        // filters must let through to the field.
        for (bool key : {false, true}) {
            SendMessageA(field, WM_SETTEXT, 0, (LPARAM)"");
            SetFocus(field);
            if (key)
                SendMessageA(field, WM_CHAR, 0x16, 1);
            else
                SendMessageA(field, WM_PASTE, 0, 0);
            EXPECT_EQ(Text(field), c.text) << c.id << (key ? " by Ctrl+V" : "");
        }
    }
}

} // namespace
