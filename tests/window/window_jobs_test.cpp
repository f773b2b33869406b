// Jobs started from the main window in-process under Wine: the boxes that
// report them, the window's state while one runs, the refusals made before
// one starts, and the progress in the title.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>
#include <process.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "remembered_folders.h"
#include "format/slice_format.h"
#include "slice_worker.h"
#include "slicer_window.h"
#include "win_files.h"
#include "window_fixture.h"

using namespace testboxes;
using namespace testfiles;
using namespace testwindow;


namespace {

TEST_F(SlicerWindow, FolderJobReportsCompletionAndHandsTheFocusBack)
{
    Open();
    std::string source = ChooseSource(2000);
    Click(ID_SIZE_RADIO);
    Type(ID_DESTINATION_EDIT, out_.Path());
    SendMessageA(Window.SizeFieldEdit, WM_SETTEXT, 0, (LPARAM)"1000");
    SendMessageA(Control(ID_UNIT_COMBO), CB_SETCURSEL, 0, 0);
    NotifyAsControl(ID_SIZE_COMBO, CBN_EDITCHANGE);
    ASSERT_EQ(Window.PortionSize, 1000u);

    Click(ID_SLICE_BUTTON);
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].Text, "Slice " + source + " to " + out_.Slash() + " is complete");
    EXPECT_EQ(Boxes[0].Title, "Dorvane - Slice Complete");
    EXPECT_EQ(Boxes[0].Style, kPromptStyle);
    EXPECT_EQ(Boxes[0].Owner, MainWindow);
    EXPECT_EQ(ReadAll(out_ / "BIG.D02").size(), 927u);
    EXPECT_EQ(GetFocus(), Control(ID_DESTINATION_EDIT));
    EXPECT_FALSE(Enabled(ID_SLICE_BUTTON));
    EXPECT_EQ(Window.SliceDisabled, 1);
    EXPECT_TRUE(Enabled(ID_EXIT_BUTTON));
    EXPECT_EQ(Window.JobRunning, 0);
    EXPECT_EQ(Text(MainWindow), "Dorvane");
}

TEST_F(SlicerWindow, CancelledAndFailedJobsGetTheirBoxes)
{
    Open();
    std::string source = ChooseSource(2000);
    Click(ID_COUNT_RADIO);
    Type(ID_COUNT_EDIT, "2");
    // Cancel at the overwrite question.
    WriteAll(out_ / "BIG.D00", "old");
    Type(ID_DESTINATION_EDIT, out_.Path());
    Click(ID_SLICE_BUTTON);
    ASSERT_EQ(Boxes.size(), 2u);
    EXPECT_EQ(Boxes[0].Title, "Dorvane - Overwrite?");
    EXPECT_EQ(Boxes[1].Text, "Slice " + source + " to " + out_.Slash() + " was cancelled");
    EXPECT_EQ(Boxes[1].Title, "Dorvane - Slice Cancelled");
    EXPECT_EQ(Boxes[1].Style, kPromptStyle);

    // A destination that vanished: Abort at the open error.
    Boxes.clear();
    std::string gone = out_ / "GONE";
    CreateDirectoryA(gone.c_str(), NULL);
    Type(ID_DESTINATION_EDIT, gone);
    RemoveDirectoryA(gone.c_str());
    Click(ID_SLICE_BUTTON);
    ASSERT_EQ(Boxes.size(), 2u);
    EXPECT_EQ(Boxes[0].Style, kRetryStyle);
    EXPECT_EQ(Boxes[1].Text,
              "Errors were encountered while Slicing " + source + " to " + gone + "\\");
    EXPECT_EQ(Boxes[1].Title, "Dorvane - Slice Error");
    EXPECT_EQ(Boxes[1].Style, kErrorStyle);
}

TEST_F(SlicerWindow, RemovableJobWithoutDrivesIsAnError)
{
    Open();
    std::string source = ChooseSource(100);
    SendMessageA(Control(ID_DRIVE_COMBO), CB_RESETCONTENT, 0, 0);
    Click(ID_SLICE_BUTTON);
    ASSERT_EQ(Boxes.size(), 2u);
    EXPECT_EQ(Boxes[0].Text, "Destination:  is not removable\n");
    EXPECT_EQ(Boxes[1].Text, "Errors were encountered while Slicing " + source + " to ");
    EXPECT_TRUE(Enabled(ID_SLICE_BUTTON)); // removable method: usable again at once
}

// The remembered destination holds 259 characters: a 260-character text
// that names the folder (through "\." steps) is no destination, and what
// is remembered and saved is the last one that fits.
TEST_F(SlicerWindow, DestinationTooLongToRememberIsNoDestination)
{
    Open();
    ChooseSource(1000);
    Click(ID_SIZE_RADIO);
    std::string fits = out_.Path();
    while (fits.size() < 258)
        fits += "\\.";
    if (fits.size() == 258)
        fits += "\\";
    ASSERT_EQ(fits.size(), 259u);
    Type(ID_DESTINATION_EDIT, fits);
    ASSERT_TRUE(Enabled(ID_SLICE_BUTTON));
    std::string over = fits + (fits.back() == '\\' ? "." : "\\");
    ASSERT_EQ(over.size(), 260u);
    ASSERT_NE(GetFileAttributesA(over.c_str()), INVALID_FILE_ATTRIBUTES) << "names the folder";
    Type(ID_DESTINATION_EDIT, over);
    EXPECT_FALSE(Enabled(ID_SLICE_BUTTON));
    EXPECT_EQ(Window.DestinationValid, 0);
    EXPECT_EQ(std::string(Folders.RememberedDestinationFolder), fits);
    Click(ID_EXIT_BUTTON);
    EXPECT_EQ(ReadAll(home_ / "DORVANE.TXT"), sources_.Path() + "\n" + fits + "\n");
}

// Slice loses the focus when the job disables it; after a drive job it gets
// it back, so the keys go on from there.
TEST_F(SlicerWindow, DriveJobGivesTheFocusBackToSlice)
{
    Open();
    ChooseSource(100);
    SendMessageA(Control(ID_DRIVE_COMBO), CB_RESETCONTENT, 0, 0);
    Click(ID_SLICE_BUTTON);
    ASSERT_EQ(Boxes.size(), 2u);
    EXPECT_EQ(GetFocus(), Control(ID_SLICE_BUTTON));
}

TEST_F(SlicerWindow, ExitAndCloseSaveTheRememberedFolders)
{
    Open();
    ChooseSource(100);
    Click(ID_SIZE_RADIO);
    Type(ID_DESTINATION_EDIT, out_.Path());
    Click(ID_EXIT_BUTTON);
    EXPECT_EQ(ReadAll(home_ / "DORVANE.TXT"), sources_.Path() + "\n" + out_.Path() + "\n");
    EXPECT_TRUE(IsWindow(MainWindow)); // Exit ends the loop; the window is not destroyed
    EXPECT_EQ(DrainQueue(), 1);

    DeleteFileA((home_ / "DORVANE.TXT").c_str());
    SendMessageA(MainWindow, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(MainWindow));
    EXPECT_EQ(ReadAll(home_ / "DORVANE.TXT"), sources_.Path() + "\n" + out_.Path() + "\n");
    EXPECT_EQ(DrainQueue(), 1);
}

TEST_F(SlicerWindow, WindowStaysWhileAJobRuns)
{
    Open();
    ChooseSource(2000);
    Click(ID_SIZE_RADIO);
    Type(ID_DESTINATION_EDIT, out_.Path());
    WriteAll(out_ / "BIG.D00", "old");
    // At the job's question: the close box, Alt+F4 and Exit (by its id) are
    // all tried, and all refused while the job runs.
    bool stayed = false, exitDisabled = false;
    Answer = [&](const Box &box, size_t) {
        if (box.Title == "Dorvane - Overwrite?") {
            SendMessageA(MainWindow, WM_CLOSE, 0, 0);
            SendMessageA(MainWindow, WM_SYSCOMMAND, SC_CLOSE, 0);
            SendMessageA(MainWindow, WM_COMMAND, ID_EXIT_BUTTON, 0);
            stayed = IsWindow(MainWindow) != 0;
            exitDisabled = !IsWindowEnabled(Control(ID_EXIT_BUTTON));
            return IDOK;
        }
        return IDOK;
    };
    Click(ID_SLICE_BUTTON);
    EXPECT_TRUE(stayed);
    EXPECT_TRUE(exitDisabled);
    ASSERT_EQ(Boxes.size(), 2u);
    EXPECT_EQ(Boxes[1].Title, "Dorvane - Slice Complete");
    EXPECT_EQ(DrainQueue(), 0); // no quit message came from the refused exit
    EXPECT_TRUE(IsWindow(MainWindow));
}

TEST_F(SlicerWindow, SliceRefusesWhatNoJobCanDo)
{
    Open();
    ChooseSource(12345);
    Click(ID_SIZE_RADIO);
    Type(ID_DESTINATION_EDIT, out_.Path());

    // 309 bytes or less: no job, and no portion.
    SendMessageA(Control(ID_UNIT_COMBO), CB_SETCURSEL, 0, 0);
    SendMessageA(Window.SizeFieldEdit, WM_SETTEXT, 0, (LPARAM)"300");
    NotifyAsControl(ID_SIZE_COMBO, CBN_EDITCHANGE);
    EXPECT_EQ(Text(ID_SIZE_NOTE), "Portions must be larger than 309 bytes");
    Click(ID_SLICE_BUTTON);
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].Text, "Portions must be larger than 309 bytes");
    EXPECT_EQ(Boxes[0].Title, "Dorvane - Slice Error");
    EXPECT_EQ(Boxes[0].Style, kErrorStyle);
    EXPECT_TRUE(Listing(out_.Path()).empty());

    // 310 bytes would take 12345 portions: Slice resizes first, so the
    // job writes 100 portions of 433 bytes.
    Boxes.clear();
    SendMessageA(Window.SizeFieldEdit, WM_SETTEXT, 0, (LPARAM)"310");
    NotifyAsControl(ID_SIZE_COMBO, CBN_EDITCHANGE);
    Click(ID_SLICE_BUTTON);
    ASSERT_EQ(Boxes.size(), 2u);
    EXPECT_EQ(Boxes[0].Text, "Number of Portions MUST be less than 100 - Resizing");
    EXPECT_EQ(Boxes[0].Title, "Dorvane");
    EXPECT_EQ(Boxes[0].Style, kPromptStyle);
    EXPECT_EQ(Boxes[1].Title, "Dorvane - Slice Complete");
    EXPECT_EQ(Text(ID_SIZE_COMBO), "433");
    EXPECT_EQ(Selected(ID_UNIT_COMBO), "bytes");
    EXPECT_EQ(Listing(out_.Path()).size(), 102u); // 100 portions, the joiner and the list
}

// The destination typed by the folder's short alias is still the source's
// folder: Slice refuses a set whose portion 00 would be the source itself.
TEST_F(SlicerWindow, SliceRefusesASetWrittenOverItsSource)
{
    Open();
    std::string source = ChooseSource(5000, "X.D00");
    char alias[MAX_PATH];
    ASSERT_GT(GetShortPathNameA(sources_.Path().c_str(), alias, sizeof alias), 0u);
    ASSERT_NE(std::string(alias), sources_.Path());
    Click(ID_COUNT_RADIO);
    Type(ID_COUNT_EDIT, "3");
    Type(ID_DESTINATION_EDIT, alias);
    Click(ID_SLICE_BUTTON);
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].Text, "The portion " + std::string(alias) + "\\X.D00 is the source " + source +
                                 " itself: the set would be written over it. Nothing was deleted "
                                 "or written; choose another destination folder.\n");
    EXPECT_EQ(Boxes[0].Title, "Dorvane - Slice Error");
    EXPECT_EQ(Boxes[0].Style, kErrorStyle);
    EXPECT_EQ(Listing(sources_.Path()), std::vector<std::string>{"X.D00"});
    EXPECT_EQ(ReadAll(source), Pattern(5000));
}

TEST_F(SlicerWindow, LongDestinationIsRefusedBeforeAnyJob)
{
    Open();
    std::string source = ChooseSource(100, "A-RATHER-LONG-NAME.DAT");
    Click(ID_COUNT_RADIO);
    Type(ID_COUNT_EDIT, "2");
    // Nests folders until the path with the name would pass 260 characters.
    std::string deep = out_.Path();
    while (deep.size() < 240) {
        deep += "\\FOLDER";
        CreateDirectoryA(deep.c_str(), NULL);
    }
    Type(ID_DESTINATION_EDIT, deep);
    ASSERT_TRUE(Enabled(ID_SLICE_BUTTON));
    Click(ID_SLICE_BUTTON);
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].Text, "The destination " + deep +
                                 "\\ cannot hold the portions of A-RATHER-LONG-NAME.DAT: their "
                                 "paths would be longer than 260 characters.");
    EXPECT_EQ(Boxes[0].Style, kErrorStyle);
}

TEST_F(SlicerWindow, ResultBoxHoldsLongPathsWhole)
{
    Open();
    std::string deep = out_.Path();
    while (deep.size() < 200) {
        deep += "\\FOLDER";
        CreateDirectoryA(deep.c_str(), NULL);
    }
    std::string folder = sources_.Path();
    while (folder.size() < 200) {
        folder += "\\SOURCES";
        CreateDirectoryA(folder.c_str(), NULL);
    }
    std::string source = folder + "\\BIG.DAT";
    WriteAll(source, Pattern(500));
    Type(ID_SOURCE_PATH_EDIT, source);
    Click(ID_COUNT_RADIO);
    Type(ID_COUNT_EDIT, "2");
    Type(ID_DESTINATION_EDIT, deep);
    Click(ID_SLICE_BUTTON);
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].Text, "Slice " + source + " to " + deep + "\\ is complete");
}

std::vector<std::string> Titles; // the main window's titles, as they were set

LRESULT CALLBACK RecordTitle(int code, WPARAM wParam, LPARAM lParam)
{
    const CWPSTRUCT *call = (const CWPSTRUCT *)lParam;
    if (code == HC_ACTION && call->hwnd == MainWindow && call->message == WM_SETTEXT)
        Titles.push_back((const char *)call->lParam);
    return CallNextHookEx(NULL, code, wParam, lParam);
}

TEST_F(SlicerWindow, TitleShowsTheJobsProgress)
{
    Open();
    ChooseSource(30000);
    Click(ID_COUNT_RADIO);
    Type(ID_COUNT_EDIT, "3");
    Type(ID_DESTINATION_EDIT, out_.Path());
    // An old file that cannot be deleted holds the job at portion 1, with a
    // third of it written, until the window shows how far it is; then the
    // user lets go of it and retries.
    std::string old = out_ / "BIG.D01";
    WriteAll(old, "old");
    SetFileAttributesA(old.c_str(), FILE_ATTRIBUTE_READONLY);
    Answer = [&old](const Box &box, size_t) {
        if (box.Style != kRetryStyle)
            return IDOK;
        while (Text(MainWindow) != "Dorvane - 33%")
            Sleep(1);
        SetFileAttributesA(old.c_str(), FILE_ATTRIBUTE_NORMAL);
        return IDRETRY;
    };
    Titles.clear();
    HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROC, RecordTitle, NULL, GetCurrentThreadId());
    Click(ID_SLICE_BUTTON);
    UnhookWindowsHookEx(hook);
    ASSERT_GE(Titles.size(), 2u);
    EXPECT_EQ(Titles.front(), "Dorvane - 33%");
    EXPECT_EQ(Titles.back(), "Dorvane");
    // Only rising figures, each shown as "Dorvane - N%".
    int last = -1;
    for (size_t i = 0; i + 1 < Titles.size(); i++) {
        int percent = -1;
        ASSERT_EQ(sscanf(Titles[i].c_str(), "Dorvane - %d%%", &percent), 1) << Titles[i];
        EXPECT_GT(percent, last);
        last = percent;
    }
    EXPECT_EQ(Text(MainWindow), "Dorvane");
    EXPECT_EQ(DrainQueue(), 0);
    EXPECT_EQ(Text(MainWindow), "Dorvane"); // progress left over changes nothing
}

} // namespace
