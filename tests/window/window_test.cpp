// The slicer's main window in-process under Wine, on a virtual display: its
// controls, the checks and commands behind them, a job started from it and
// the boxes that report it. Message boxes are answered through the
// program's hook; the about box, a dialog of its own, from a timer.
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

// Position and size of every control in base units; heights in half units.
struct Placement {
    int id;
    const char *className;
    const char *caption;
    int x, y, width, height;
};

const Placement kPlacements[] = {
    {ID_SOURCE_GROUP, "Button", "Choose file to slice", 1, 1, 53, 6},
    {ID_METHOD_GROUP, "Button", "Slice method", 1, 5, 53, 24},
    {ID_DESTINATION_GROUP, "Button", "Choose destination folder", 1, 20, 53, 6},
    {ID_PORTIONS_LABEL, "Static", "portions", 38, 9, 8, 3},
    {ID_SIZE_NOTE, "Static", nullptr, 14, 11, 35, 3},
    {ID_EQUAL_SIZE_LABEL, "Static", "equal-size portions", 28, 13, 19, 3},
    {ID_COUNT_NOTE, "Static", nullptr, 14, 15, 30, 3},
    {ID_SOURCE_PATH_EDIT, "Edit", "", 2, 2, 42, 3},
    {ID_SOURCE_BROWSE_BUTTON, "Button", "Browse", 45, 2, 8, 3},
    {ID_REMOVABLE_RADIO, "Button", "Slice to removable drive", 2, 7, 24, 3},
    {ID_DRIVE_COMBO, "ComboBox", nullptr, 26, 7, 15, 21},
    {ID_SIZE_RADIO, "Button", "Slice into", 2, 9, 10, 3},
    {ID_SIZE_COMBO, "ComboBox", nullptr, 14, 9, 10, 21},
    {ID_UNIT_COMBO, "ComboBox", nullptr, 26, 9, 10, 21},
    {ID_COUNT_RADIO, "Button", "Slice into", 2, 13, 10, 3},
    {ID_COUNT_EDIT, "Edit", nullptr, 14, 13, 10, 3},
    {ID_DESTINATION_EDIT, "Edit", "", 2, 21, 42, 3},
    {ID_DESTINATION_BROWSE_BUTTON, "Button", "Browse", 45, 21, 8, 3},
    {ID_SLICE_BUTTON, "Button", "Slice", 1, 24, 8, 3},
    {ID_HELP_BUTTON, "Button", "Help", 26, 24, 8, 3},
    {ID_ABOUT_BUTTON, "Button", "About", 36, 24, 8, 3},
    {ID_EXIT_BUTTON, "Button", "Exit", 46, 24, 8, 3},
    {ID_RECOVERY_CHECK, "Button", "Recovery data", 2, 18, 15, 3},
    {ID_RECOVERY_BLOCKS_EDIT, "Edit", "1", 17, 18, 5, 3},
    {ID_RECOVERY_BLOCKS_LABEL, "Static", "blocks", 25, 18, 6, 3},
    {ID_RECOVERY_NOTE, "Static", "", 32, 18, 21, 3},
};

RECT ClientRectOf(HWND control)
{
    RECT r;
    GetWindowRect(control, &r);
    MapWindowPoints(NULL, MainWindow, (POINT *)&r, 2);
    return r;
}

TEST_F(SlicerWindow, ControlsSitAtTheirPlacesInBaseUnits)
{
    Open();
    LONG units = GetDialogBaseUnits();
    int h = LOWORD(units), v = HIWORD(units);
    RECT client;
    GetClientRect(MainWindow, &client);
    for (const Placement &p : kPlacements) {
        HWND control = Control(p.id);
        ASSERT_TRUE(control) << p.id;
        EXPECT_EQ(GetDlgCtrlID(control), p.id);
        char className[32];
        GetClassNameA(control, className, sizeof className);
        EXPECT_STRCASEEQ(className, p.className) << p.id;
        if (p.caption) {
            EXPECT_EQ(Text(control), p.caption) << p.id;
        }
        RECT asked = Created.Asked[p.id];
        EXPECT_EQ(asked.left, p.x * h) << p.id;
        EXPECT_EQ(asked.top, p.y * v) << p.id;
        EXPECT_EQ(asked.right - asked.left, p.width * h) << p.id;
        EXPECT_EQ(asked.bottom - asked.top, p.height * v / 2) << p.id;
        // Where they are: combo boxes show their closed height.
        RECT r = ClientRectOf(control);
        EXPECT_EQ(r.left, p.x * h) << p.id;
        EXPECT_EQ(r.top, p.y * v) << p.id;
        EXPECT_EQ(r.right - r.left, p.width * h) << p.id;
        if (strcmp(p.className, "ComboBox") != 0) {
            EXPECT_EQ(r.bottom - r.top, p.height * v / 2) << p.id;
        }
        // Nothing is cut off by the window's edge, whatever the base units.
        EXPECT_LE(r.right, client.right) << p.id;
        if (strcmp(p.className, "ComboBox") != 0) {
            EXPECT_LE(r.bottom, client.bottom) << p.id;
        }
    }
    RECT upDown = Created.Asked[ID_COUNT_UP_DOWN];
    EXPECT_EQ(upDown.left, 24 * h);
    EXPECT_EQ(upDown.top, 13 * v);
    EXPECT_EQ(upDown.right - upDown.left, 10);
    EXPECT_EQ(upDown.bottom - upDown.top, 24);
    EXPECT_EQ((HWND)SendMessageA(Control(ID_COUNT_UP_DOWN), UDM_GETBUDDY, 0, 0), Control(ID_COUNT_EDIT));
    EXPECT_EQ(SendMessageA(Control(ID_COUNT_UP_DOWN), UDM_GETRANGE, 0, 0), MAKELONG(100, 2));
    RECT blocksUpDown = Created.Asked[ID_RECOVERY_UP_DOWN];
    EXPECT_EQ(blocksUpDown.left, 22 * h);
    EXPECT_EQ(blocksUpDown.top, 18 * v);
    EXPECT_EQ((HWND)SendMessageA(Control(ID_RECOVERY_UP_DOWN), UDM_GETBUDDY, 0, 0),
              Control(ID_RECOVERY_BLOCKS_EDIT));
    EXPECT_EQ(SendMessageA(Control(ID_RECOVERY_UP_DOWN), UDM_GETRANGE, 0, 0), MAKELONG(10, 1));
    // Unicode windows, so that the path fields hold any name.
    EXPECT_TRUE(IsWindowUnicode(MainWindow));
    EXPECT_TRUE(IsWindowUnicode(Control(ID_SOURCE_PATH_EDIT)));
    EXPECT_TRUE(IsWindowUnicode(Control(ID_DESTINATION_EDIT)));

    RECT frame;
    GetWindowRect(MainWindow, &frame);
    EXPECT_EQ(frame.right - frame.left, MulDiv(448, h, 8));
    EXPECT_EQ(frame.bottom - frame.top, MulDiv(454, v, 16));
    EXPECT_EQ(Text(MainWindow), "Dorvane");
    char className[32];
    GetClassNameA(MainWindow, className, sizeof className);
    EXPECT_STREQ(className, "Dorvane");
    EXPECT_TRUE(GetClassLongPtrA(MainWindow, GCLP_HICON));
    LONG style = GetWindowLongA(MainWindow, GWL_STYLE);
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_TRUE(style & WS_MINIMIZEBOX);
    EXPECT_FALSE(style & (WS_MAXIMIZEBOX | WS_THICKFRAME));
}

TEST_F(SlicerWindow, StartsWithOnlyTheSourceAndTheButtonsUsable)
{
    Open();
    struct {
        int id;
        bool enabled;
    } states[] = {
        {ID_SOURCE_PATH_EDIT, true},       {ID_SOURCE_BROWSE_BUTTON, true},
        {ID_REMOVABLE_RADIO, false},       {ID_DRIVE_COMBO, false},
        {ID_SIZE_RADIO, false},            {ID_SIZE_COMBO, false},
        {ID_UNIT_COMBO, false},            {ID_COUNT_RADIO, false},
        {ID_COUNT_EDIT, false},            {ID_COUNT_UP_DOWN, false},
        {ID_PORTIONS_LABEL, false},        {ID_EQUAL_SIZE_LABEL, false},
        {ID_DESTINATION_EDIT, false},      {ID_DESTINATION_BROWSE_BUTTON, false},
        {ID_SLICE_BUTTON, false},          {ID_HELP_BUTTON, true},
        {ID_ABOUT_BUTTON, true},           {ID_EXIT_BUTTON, true},
        {ID_RECOVERY_CHECK, false},        {ID_RECOVERY_BLOCKS_EDIT, false},
        {ID_RECOVERY_UP_DOWN, false},      {ID_RECOVERY_BLOCKS_LABEL, false},
    };
    for (const auto &s : states)
        EXPECT_EQ(Enabled(s.id), s.enabled) << s.id;
    EXPECT_TRUE(Checked(ID_REMOVABLE_RADIO));
    EXPECT_FALSE(Checked(ID_SIZE_RADIO));
    EXPECT_FALSE(Checked(ID_COUNT_RADIO));
    EXPECT_FALSE(Visible(ID_SIZE_NOTE));
    EXPECT_FALSE(Visible(ID_COUNT_NOTE));
    EXPECT_FALSE(Checked(ID_RECOVERY_CHECK));
    EXPECT_FALSE(Visible(ID_RECOVERY_NOTE));
    EXPECT_EQ(GetFocus(), Control(ID_SOURCE_PATH_EDIT));

    // Drive A: of the test prefix is a floppy drive; C: and Z: are fixed.
    EXPECT_EQ(ListItems(ID_DRIVE_COMBO), (std::vector<std::string>{"A:"}));
    EXPECT_EQ(Selected(ID_DRIVE_COMBO), "A:");
    EXPECT_EQ(ListItems(ID_SIZE_COMBO),
              (std::vector<std::string>{"360", "720", "1.2", "1.44", "2.88"}));
    EXPECT_EQ(Text(ID_SIZE_COMBO), "360");
    EXPECT_EQ(ListItems(ID_UNIT_COMBO), (std::vector<std::string>{"bytes", "KB", "MB"}));
    EXPECT_EQ(Selected(ID_UNIT_COMBO), "KB");

    char className[32];
    GetClassNameA(Window.SizeFieldEdit, className, sizeof className);
    EXPECT_STRCASEEQ(className, "Edit");
    EXPECT_EQ(GetParent(Window.SizeFieldEdit), Control(ID_SIZE_COMBO));

    EXPECT_EQ(Window.NoSourceFile, 1);
    EXPECT_EQ(Window.RemovableMode, 1);
    EXPECT_EQ(Window.SliceDisabled, 1);
    EXPECT_EQ(Window.DestinationValid, 0);
    EXPECT_EQ(Window.JobRunning, 0);
    EXPECT_EQ(std::string(Window.HelpFilePath), home_.Slash() + "dorvane.hlp");
}

TEST_F(SlicerWindow, RememberedFoldersAtStart)
{
    // A remembered destination that exists makes Slice usable at once.
    Open(("C:\\SOURCES\n" + out_.Path() + "\n").c_str());
    EXPECT_EQ(Text(ID_DESTINATION_EDIT), out_.Path());
    EXPECT_STREQ(Folders.RememberedSourceFolder, "C:\\SOURCES");
    EXPECT_STREQ(Window.OpenDialogFolder, "C:\\SOURCES");
    EXPECT_TRUE(Enabled(ID_SLICE_BUTTON));
    EXPECT_EQ(Window.DestinationValid, 1);
    EXPECT_EQ(Window.SliceDisabled, 0);
    DestroyWindow(MainWindow);
    DrainQueue();

    Open((std::string("\n") + out_.Path() + "\\GONE\n").c_str());
    EXPECT_EQ(Text(ID_DESTINATION_EDIT), out_.Path() + "\\GONE");
    EXPECT_FALSE(Enabled(ID_SLICE_BUTTON));
    EXPECT_EQ(Window.DestinationValid, 0);
}

TEST_F(SlicerWindow, WithoutProgramFolderTheHelpFileIsTheBareName)
{
    SetCurrentDirectoryA(home_.Path().c_str()); // no dorvane.exe anywhere
    HWND window = CreateMainWindow(GetModuleHandleA(NULL));
    ASSERT_TRUE(window);
    MainWindow = window;
    EXPECT_STREQ(Folders.ProgramFolder, "");
    EXPECT_STREQ(Window.HelpFilePath, "dorvane.hlp");
}

TEST_F(SlicerWindow, SourceCheckFollowsTheTypedPath)
{
    Open();
    std::string path = sources_ / "BIG.DAT";
    WriteAll(path, Pattern(1000));
    // Typing one character at a time: only the complete name opens.
    std::string typed;
    std::vector<bool> usable;
    for (char c : path + "X") {
        typed += c;
        Type(ID_SOURCE_PATH_EDIT, typed);
        usable.push_back(Enabled(ID_SIZE_RADIO));
    }
    std::vector<bool> expected(path.size() + 1, false);
    expected[path.size() - 1] = true;
    EXPECT_EQ(usable, expected);

    Type(ID_SOURCE_PATH_EDIT, path);
    for (int id : {ID_REMOVABLE_RADIO, ID_DRIVE_COMBO, ID_SIZE_RADIO, ID_SIZE_COMBO, ID_UNIT_COMBO,
                   ID_COUNT_RADIO, ID_COUNT_EDIT, ID_COUNT_UP_DOWN, ID_PORTIONS_LABEL,
                   ID_EQUAL_SIZE_LABEL, ID_SLICE_BUTTON})
        EXPECT_TRUE(Enabled(id)) << id;
    EXPECT_FALSE(Enabled(ID_DESTINATION_EDIT));
    EXPECT_EQ(Window.NoSourceFile, 0);
    EXPECT_EQ(Window.SliceDisabled, 0);
    EXPECT_EQ(Window.SourceFileSizeLow, 1000u);
    EXPECT_EQ(std::string(Folders.RememberedSourceFolder), sources_.Path());
    EXPECT_EQ(Window.OpenDialogFolder, Folders.RememberedSourceFolder);

    // Held open by another program: no source; the current folder goes
    // back to the program's.
    SetCurrentDirectoryA(sources_.Path().c_str());
    HANDLE held = CreateFileA(path.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    Type(ID_SOURCE_PATH_EDIT, path);
    CloseHandle(held);
    EXPECT_FALSE(Enabled(ID_SIZE_RADIO));
    EXPECT_FALSE(Enabled(ID_SLICE_BUTTON));
    EXPECT_EQ(Window.NoSourceFile, 1);
    char current[MAX_PATH];
    GetCurrentDirectoryA(sizeof current, current);
    EXPECT_EQ(std::string(current) + "\\", home_.Slash());

    // A bare name is taken in the current folder and remembered whole.
    SetCurrentDirectoryA(sources_.Path().c_str());
    Type(ID_SOURCE_PATH_EDIT, "BIG.DAT");
    EXPECT_TRUE(Enabled(ID_SIZE_RADIO));
    EXPECT_STREQ(Folders.RememberedSourceFolder, "BIG.DAT");
    EXPECT_EQ(Window.OpenDialogFolder, Folders.ProgramFolder);
}

TEST_F(SlicerWindow, DestinationCheckNeedsAnExistingFolder)
{
    Open();
    ChooseSource(1000);
    Click(ID_SIZE_RADIO);
    std::string file = sources_ / "BIG.DAT";
    struct {
        std::string text;
        bool valid;
    } cases[] = {{out_.Path(), true}, {out_.Slash(), true}, {out_ / "MISSING", false},
                 {file, false}, {"", false},
                 // Cut to 260 characters this would name the folder.
                 {out_.Path() + std::string(300, ' '), false}};
    for (const auto &c : cases) {
        Type(ID_DESTINATION_EDIT, c.text);
        EXPECT_EQ(Enabled(ID_SLICE_BUTTON), c.valid) << c.text;
        EXPECT_EQ(Window.DestinationValid, c.valid ? 1 : 0) << c.text;
        EXPECT_EQ(Window.SliceDisabled, c.valid ? 0 : 1) << c.text;
    }
    // The last folder that was valid, as typed.
    EXPECT_EQ(std::string(Folders.RememberedDestinationFolder), out_.Slash());
}

TEST_F(SlicerWindow, MethodChoiceSetsChecksControlsAndNotes)
{
    Open();
    ChooseSource(1000000);
    struct {
        int radio;
        bool destinationValid;
        bool sliceEnabled;
        int sliceDisabled;
        bool destinationOn;
        int removableMode;
        bool sizeNote, countNote;
    } cases[] = {
        {ID_SIZE_RADIO, false, false, 1, true, 0, true, false},
        {ID_COUNT_RADIO, false, false, 1, true, 0, false, true},
        {ID_REMOVABLE_RADIO, false, true, 0, false, 1, false, false},
        {ID_SIZE_RADIO, true, true, 1, true, 0, true, false},
        {ID_COUNT_RADIO, true, true, 1, true, 0, false, true},
        {ID_REMOVABLE_RADIO, true, true, 0, false, 1, false, false},
    };
    for (const auto &c : cases) {
        Window.DestinationValid = c.destinationValid;
        Click(c.radio);
        EXPECT_EQ(Checked(ID_REMOVABLE_RADIO), c.radio == ID_REMOVABLE_RADIO) << c.radio;
        EXPECT_EQ(Checked(ID_SIZE_RADIO), c.radio == ID_SIZE_RADIO) << c.radio;
        EXPECT_EQ(Checked(ID_COUNT_RADIO), c.radio == ID_COUNT_RADIO) << c.radio;
        EXPECT_EQ(Enabled(ID_SLICE_BUTTON), c.sliceEnabled) << c.radio;
        EXPECT_EQ(Window.SliceDisabled, c.sliceDisabled) << c.radio;
        EXPECT_EQ(Enabled(ID_DESTINATION_EDIT), c.destinationOn) << c.radio;
        EXPECT_EQ(Enabled(ID_DESTINATION_BROWSE_BUTTON), c.destinationOn) << c.radio;
        EXPECT_EQ(Window.RemovableMode, c.removableMode) << c.radio;
        EXPECT_EQ(Visible(ID_SIZE_NOTE), c.sizeNote) << c.radio;
        EXPECT_EQ(Visible(ID_COUNT_NOTE), c.countNote) << c.radio;
    }
    // The notes as each method's step left them for a 1000000-byte source:
    // the typed "360" KB and the count the up-down control wrote.
    Click(ID_SIZE_RADIO);
    EXPECT_EQ(Window.PortionSize, 368640u);
    EXPECT_EQ(Text(ID_SIZE_NOTE), "3 Portions will be required");
    Type(ID_COUNT_EDIT, "3");
    Click(ID_COUNT_RADIO);
    EXPECT_EQ(Window.EqualPortionSize, 333643u);
    EXPECT_EQ(Text(ID_COUNT_NOTE), "Portions will be 333643 bytes");
}

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

// The about box is modal: a timer on the window's thread acts in it.
struct AboutScript {
    std::vector<UINT> keys; // pressed in turn, one per tick
    size_t next;
    std::vector<bool> openAfter;
} About;

void CALLBACK AboutTick(HWND, UINT, UINT_PTR, DWORD)
{
    HWND box = FindWindowA("#32770", "About Dorvane");
    if (!box)
        return;
    if (About.next > 0)
        About.openAfter.push_back(true);
    if (About.next < About.keys.size()) {
        HWND focus = GetDlgItem(box, ID_ABOUT_OK);
        PostMessageA(focus, WM_KEYDOWN, About.keys[About.next], 0);
        PostMessageA(focus, WM_KEYUP, About.keys[About.next], 0xC0000000);
        About.next++;
    }
}

TEST_F(SlicerWindow, AboutBoxIgnoresEscapeAndClosesOnEnter)
{
    Open();
    About = {{VK_ESCAPE, VK_ESCAPE, VK_RETURN}, 0, {}};
    UINT_PTR timer = SetTimer(NULL, 0, 100, AboutTick);
    Click(ID_ABOUT_BUTTON); // returns when the box has closed
    KillTimer(NULL, timer);
    EXPECT_EQ(About.next, 3u);
    // Seen open after each Escape; the Enter closed it.
    EXPECT_EQ(About.openAfter.size(), 2u);
    EXPECT_FALSE(FindWindowA("#32770", "About Dorvane"));
}

TEST_F(SlicerWindow, FocusComesBackAfterMinimiseAndRestore)
{
    Open();
    ShowWindow(MainWindow, SW_SHOW);
    ChooseSource(100);
    Click(ID_SIZE_RADIO);
    SetFocus(Control(ID_DESTINATION_EDIT));
    SendMessageA(MainWindow, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    EXPECT_EQ(Window.WindowMinimized, 1);
    EXPECT_EQ(Window.SavedFocusControl, Control(ID_DESTINATION_EDIT));
    SetFocus(NULL);
    ShowWindow(MainWindow, SW_RESTORE);
    SendMessageA(MainWindow, WM_ACTIVATE, WA_ACTIVE, 0);
    DrainQueue();
    EXPECT_EQ(Window.WindowMinimized, 0);
    EXPECT_EQ(GetFocus(), Control(ID_DESTINATION_EDIT));

    // Leaving for another window and coming back.
    SetFocus(Window.SizeFieldEdit);
    SendMessageA(MainWindow, WM_ACTIVATE, WA_INACTIVE, 0);
    SetFocus(NULL);
    SendMessageA(MainWindow, WM_ACTIVATE, WA_CLICKACTIVE, 0);
    EXPECT_EQ(GetFocus(), Window.SizeFieldEdit);
}

} // namespace

namespace {

// A modal dialog of the system (file picker, folder browser) answered from
// a timer on the window's thread, which the dialog's own loop keeps serving.
// A dialog is shown once its initialization, the window's part in it
// included, is over: the tick acts on it only then, on what it shows.
struct DialogScript {
    std::string FileName;      // typed into the file picker's name field, if any
    WPARAM Button;             // pressed once the dialog is shown
    std::string SeenTitle;     // the dialog's title
    std::string SeenText;      // what its static texts say, joined
    std::string SeenSelection; // folder browser: the folder selected in its tree
    bool Done;
} Picker;

std::string TreeSelection(HWND dialog)
{
    HWND tree = FindWindowExA(dialog, NULL, WC_TREEVIEWA, NULL);
    char text[MAX_PATH] = "";
    TVITEMA read = {};
    read.mask = TVIF_TEXT;
    read.hItem = tree ? TreeView_GetSelection(tree) : NULL;
    read.pszText = text;
    read.cchTextMax = sizeof text;
    if (!read.hItem || !SendMessageA(tree, TVM_GETITEMA, 0, (LPARAM)&read))
        return "(none)";
    return text;
}

BOOL CALLBACK GatherText(HWND child, LPARAM)
{
    char className[16], text[256];
    GetClassNameA(child, className, sizeof className);
    if (strcasecmp(className, "Static") == 0 && GetWindowTextA(child, text, sizeof text))
        Picker.SeenText += std::string(text) + "|";
    return TRUE;
}

void CALLBACK PickerTick(HWND, UINT, UINT_PTR, DWORD)
{
    HWND dialog = GetLastActivePopup(MainWindow);
    char className[16] = "";
    if (Picker.Done || !dialog || dialog == MainWindow)
        return;
    GetClassNameA(dialog, className, sizeof className);
    if (strcmp(className, "#32770") != 0 || !IsWindowVisible(dialog))
        return;
    Picker.SeenTitle = Text(dialog);
    EnumChildWindows(dialog, GatherText, 0);
    Picker.SeenSelection = TreeSelection(dialog);
    if (!Picker.FileName.empty()) {
        // The name field: a combo box in the newer layout, an edit field in the older.
        HWND name = GetDlgItem(dialog, 0x47C);
        SetWindowTextA(name ? name : GetDlgItem(dialog, 0x480), Picker.FileName.c_str());
    }
    PostMessageA(dialog, WM_COMMAND, Picker.Button, 0);
    Picker.Done = true;
}

TEST_F(SlicerWindow, FilePickerWritesTheChosenSource)
{
    Open();
    std::string path = sources_ / "PICKED.DAT";
    WriteAll(path, Pattern(5000));
    Picker = {path, IDOK, "", "", "", false};
    UINT_PTR timer = SetTimer(NULL, 0, 100, PickerTick);
    Click(ID_SOURCE_BROWSE_BUTTON);
    KillTimer(NULL, timer);
    ASSERT_TRUE(Picker.Done);
    EXPECT_EQ(Text(ID_SOURCE_PATH_EDIT), path);
    EXPECT_EQ(Window.SourceFileSizeLow, 5000u);
    EXPECT_TRUE(Enabled(ID_SIZE_RADIO));
    EXPECT_EQ(std::string(Folders.RememberedSourceFolder), sources_.Path());
    EXPECT_EQ(GetFocus(), Control(ID_SOURCE_BROWSE_BUTTON));

    // Cancelled: nothing changes but the focus.
    SetFocus(Control(ID_SOURCE_PATH_EDIT));
    Picker = {"", IDCANCEL, "", "", "", false};
    timer = SetTimer(NULL, 0, 100, PickerTick);
    Click(ID_SOURCE_BROWSE_BUTTON);
    KillTimer(NULL, timer);
    ASSERT_TRUE(Picker.Done);
    EXPECT_EQ(Text(ID_SOURCE_PATH_EDIT), path);
    EXPECT_EQ(GetFocus(), Control(ID_SOURCE_BROWSE_BUTTON));
}

// Sets a folder's times so that no read moves them: written an hour ago, read
// an hour from now. Setting them is itself a change, and a file system
// mounted relatime (the usual) moves the access time on a read only when it
// is not later than the last change, or is a day old.
void HoldTimesStill(const std::string &folder)
{
    HANDLE handle = CreateFileA(folder.c_str(), FILE_WRITE_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE) << folder;
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER written = {{now.dwLowDateTime, now.dwHighDateTime}}, read = written;
    written.QuadPart -= 36000000000ull; // an hour in 100 ns
    read.QuadPart += 36000000000ull;
    FILETIME writeTime = {written.LowPart, written.HighPart};
    FILETIME readTime = {read.LowPart, read.HighPart};
    EXPECT_TRUE(SetFileTime(handle, NULL, &readTime, &writeTime)) << GetLastError();
    CloseHandle(handle);
}

TEST_F(SlicerWindow, FolderBrowserStartsAtTheRememberedFolder)
{
    // Wine's browser finds the folder to select by comparing the shell's
    // item ids of the folders on its way byte for byte, and those carry each
    // folder's write and access times. The shared temporary folder changes
    // whenever a test beside this one makes a folder, and the browser's own
    // reads move the access time of a folder changed since it was last read:
    // a time that changed between its lookup and its tree (the busier the
    // machine, the likelier) would leave it at the Desktop. So the remembered
    // folder sits on C:\ (a drive's id holds no times), with times that hold
    // still.
    ScratchFolder remembered("browse", "C:\\");
    HoldTimesStill(remembered.Path());
    Open(("\n" + remembered.Path() + "\n").c_str());
    ChooseSource(100);
    Click(ID_SIZE_RADIO);
    Picker = {"", IDOK, "", "", "", false};
    UINT_PTR timer = SetTimer(NULL, 0, 100, PickerTick);
    Click(ID_DESTINATION_BROWSE_BUTTON);
    KillTimer(NULL, timer);
    ASSERT_TRUE(Picker.Done);
    EXPECT_NE(Picker.SeenText.find("Select Destination Folder for SLICE"), std::string::npos)
        << Picker.SeenText;
    // Shown at the remembered folder; OK at once takes it.
    const std::string &folder = remembered.Path();
    EXPECT_STRCASEEQ(Picker.SeenSelection.c_str(), folder.substr(folder.rfind('\\') + 1).c_str());
    EXPECT_STRCASEEQ(Text(ID_DESTINATION_EDIT).c_str(), folder.c_str());
    EXPECT_TRUE(Enabled(ID_SLICE_BUTTON));
    EXPECT_EQ(GetFocus(), Control(ID_DESTINATION_BROWSE_BUTTON));
}

// The help viewer runs as a program of its own; what it shows about a
// missing file is closed from a thread of the test's, since the window's
// thread waits for the viewer meanwhile.
std::vector<std::string> ViewerWindows;

BOOL CALLBACK CloseViewerWindow(HWND window, LPARAM)
{
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != GetCurrentProcessId() && IsWindowVisible(window)) {
        char className[64] = "";
        GetClassNameA(window, className, sizeof className);
        char text[512] = "";
        GetDlgItemTextA(window, 0xFFFF, text, sizeof text);
        ViewerWindows.push_back(std::string(className) + ":" + Text(window) + ":" + text);
        PostMessageA(window, WM_CLOSE, 0, 0);
    }
    return TRUE;
}

unsigned __stdcall CloseViewer(void *)
{
    for (int i = 0; i < 40 && ViewerWindows.empty(); i++) {
        Sleep(250);
        EnumWindows(CloseViewerWindow, 0);
    }
    return 0;
}

// Windows XP, the last to carry the help viewer, and Windows 10, whose
// shell here knows no program for the page.
DWORD WINAPI WindowsXP()
{
    return 0x0A280105;
}

DWORD WINAPI Windows10()
{
    return 0x4A61000A;
}

int ShellRequests;

HINSTANCE WINAPI RefusePage(HWND, LPCSTR, LPCSTR, LPCSTR, LPCSTR, INT)
{
    ShellRequests++;
    return (HINSTANCE)SE_ERR_NOASSOC;
}

TEST_F(SlicerWindow, HelpAsksTheViewerForTheFileBesideTheProgram)
{
    const struct {
        VersionFunction Version;
        int ShellRequests;
    } cases[] = {{WindowsXP, 0}, {Windows10, 1}};
    for (const auto &c : cases) {
        Open();
        HelpHooks.Version = c.Version;
        HelpHooks.Open = RefusePage;
        ShellRequests = 0;
        ViewerWindows.clear();
        HANDLE closer = (HANDLE)_beginthreadex(NULL, 0, CloseViewer, NULL, 0, NULL);
        Click(ID_HELP_BUTTON);
        WaitForSingleObject(closer, INFINITE);
        CloseHandle(closer);
        EXPECT_EQ(ShellRequests, c.ShellRequests);
        // Wine's viewer answers a missing file itself, naming it; the viewer
        // was reached, so the program has nothing to report.
        ASSERT_EQ(ViewerWindows.size(), 1u);
        EXPECT_NE(ViewerWindows[0].find("dorvane.hlp"), std::string::npos) << ViewerWindows[0];
        EXPECT_NE(ViewerWindows[0].find(home_.Path().substr(home_.Path().rfind('\\'))),
                  std::string::npos)
            << ViewerWindows[0];
        EXPECT_TRUE(Boxes.empty());
        DestroyWindow(MainWindow);
        DrainQueue();
    }
}

} // namespace

namespace {

// A sparse source of size bytes: its data is never read by the planner.
std::string SparseSource(const ScratchFolder &folder, uint64_t size)
{
    std::string path = folder / "SPARSE.DAT";
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    LARGE_INTEGER end;
    end.QuadPart = (LONGLONG)size;
    SetFilePointerEx(file, end, NULL, FILE_BEGIN);
    SetEndOfFile(file);
    CloseHandle(file);
    return path;
}

TEST_F(SlicerWindow, PlannerStepsRunOnTheirNotifications)
{
    Open();
    // Opening the source runs the count step, then the unit change: with
    // "360" and KB showing that is the preset, 358400 bytes, 5 portions.
    Type(ID_SOURCE_PATH_EDIT, SparseSource(sources_, 1457000));
    EXPECT_EQ(Window.PortionSize, 358400u);
    EXPECT_EQ(Text(ID_SIZE_NOTE), "5 Portions will be required");
    // Choosing the size method runs the typed-size step on the same text.
    Click(ID_SIZE_RADIO);
    EXPECT_EQ(Window.PortionSize, 368640u);
    EXPECT_EQ(Text(ID_SIZE_NOTE), "4 Portions will be required");

    // Picking "1.44" selects MB with it.
    Type(ID_SOURCE_PATH_EDIT, SparseSource(sources_, 1000000));
    SendMessageA(Control(ID_SIZE_COMBO), CB_SETCURSEL, 3, 0);
    NotifyAsControl(ID_SIZE_COMBO, CBN_SELCHANGE);
    EXPECT_EQ(Selected(ID_UNIT_COMBO), "MB");
    EXPECT_EQ(Window.PortionSize, 1456640u);
    EXPECT_EQ(Text(ID_SIZE_NOTE), "1 Portions will be required");

    // Leaving the size field with 280 portions: the resizing message, and
    // the size that makes 100.
    Type(ID_SOURCE_PATH_EDIT, SparseSource(sources_, 100000000));
    SendMessageA(Control(ID_SIZE_COMBO), CB_SETCURSEL, 0, 0);
    NotifyAsControl(ID_SIZE_COMBO, CBN_SELCHANGE);
    EXPECT_EQ(Text(ID_SIZE_NOTE), "280 Portions will be required");
    NotifyAsControl(ID_SIZE_COMBO, CBN_KILLFOCUS);
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].Text, "Number of Portions MUST be less than 100 - Resizing");
    EXPECT_EQ(Text(ID_SIZE_COMBO), "1000309");
    EXPECT_EQ(Selected(ID_UNIT_COMBO), "bytes");
    EXPECT_EQ(Text(ID_SIZE_NOTE), "100 Portions will be required");
    // Emptying the field makes it "1" at once.
    SendMessageA(Window.SizeFieldEdit, WM_SETTEXT, 0, (LPARAM)"");
    NotifyAsControl(ID_SIZE_COMBO, CBN_EDITCHANGE);
    EXPECT_EQ(Text(ID_SIZE_COMBO), "1");
    EXPECT_EQ(Text(ID_SIZE_NOTE), "Portions must be larger than 309 bytes");

    // The count: cut to 100 while typing, raised to 2 when left.
    Type(ID_SOURCE_PATH_EDIT, SparseSource(sources_, 1000000));
    Type(ID_COUNT_EDIT, "150");
    EXPECT_EQ(Text(ID_COUNT_EDIT), "100");
    EXPECT_EQ(Text(ID_COUNT_NOTE), "Portions will be 10309 bytes");
    Type(ID_COUNT_EDIT, "1");
    EXPECT_EQ(Text(ID_COUNT_NOTE), "Portions will be 1000309 bytes");
    NotifyAsControl(ID_COUNT_EDIT, EN_KILLFOCUS);
    EXPECT_EQ(Text(ID_COUNT_EDIT), "2");
    EXPECT_EQ(Window.EqualPortionSize, 500309u);
    Type(ID_COUNT_EDIT, "");
    EXPECT_EQ(Text(ID_COUNT_NOTE), "Portions will be 500309 bytes");
}

// A 12 GiB source is planned with its whole size; one too large for a set
// and a count too small for it are refused before any job starts.
TEST_F(SlicerWindow, SourcesPast4GiBArePlannedWholeAndRefusedOnlyPastTheirLimits)
{
    Open();
    Type(ID_SOURCE_PATH_EDIT, SparseSource(sources_, 12ull << 30));
    Click(ID_SIZE_RADIO);
    SendMessageA(Control(ID_SIZE_COMBO), CB_SETCURSEL, 3, 0);
    NotifyAsControl(ID_SIZE_COMBO, CBN_SELCHANGE);
    EXPECT_EQ(Text(ID_SIZE_NOTE), "8848 Portions will be required");
    NotifyAsControl(ID_SIZE_COMBO, CBN_KILLFOCUS);
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].Text, "Number of Portions MUST be less than 100 - Resizing");
    EXPECT_EQ(Text(ID_SIZE_COMBO), "128849328");
    EXPECT_EQ(Text(ID_SIZE_NOTE), "100 Portions will be required");

    Click(ID_COUNT_RADIO);
    Type(ID_COUNT_EDIT, "3");
    EXPECT_EQ(Text(ID_COUNT_NOTE), "At least 4 portions: 4 GiB limit");
    Type(ID_DESTINATION_EDIT, out_.Path());
    Click(ID_SLICE_BUTTON);
    ASSERT_EQ(Boxes.size(), 2u);
    EXPECT_EQ(Boxes[1].Text,
              "Portions must be smaller than 4 GiB: slice this file into at least 4 portions.");
    EXPECT_EQ(Boxes[1].Style, kErrorStyle);
    Type(ID_COUNT_EDIT, "4");
    EXPECT_EQ(Text(ID_COUNT_NOTE), "Portions will be 3221225781 bytes");
    EXPECT_EQ(Window.EqualPortionSize, 3221225781u);

    // One byte more than 100 portions of the largest size carry.
    const char *large = "Too large: sets hold 429496698600";
    Type(ID_SOURCE_PATH_EDIT, SparseSource(sources_, 429496698601ull));
    EXPECT_EQ(Text(ID_COUNT_NOTE), large);
    Click(ID_SIZE_RADIO);
    EXPECT_EQ(Text(ID_SIZE_NOTE), large);
    Type(ID_DESTINATION_EDIT, out_.Path());
    Click(ID_SLICE_BUTTON);
    ASSERT_EQ(Boxes.size(), 3u);
    EXPECT_EQ(Boxes[2].Text, "The file is too large for a slice set: a set holds at most "
                             "429496698600 bytes (100 portions of 4294967295 bytes, headers "
                             "included).");
    EXPECT_EQ(Boxes[2].Style, kErrorStyle);
    EXPECT_TRUE(Listing(out_.Path()).empty());
}

TEST_F(SlicerWindow, IconGroupHoldsTwoSixteenColourImages)
{
    HRSRC found = FindResourceA(NULL, MAKEINTRESOURCEA(ID_ICON), (LPCSTR)RT_GROUP_ICON);
    ASSERT_TRUE(found);
    const BYTE *group = (const BYTE *)LockResource(LoadResource(NULL, found));
    ASSERT_TRUE(group);
    // The group: a 6-byte head with the count, then 14 bytes per image.
    ASSERT_EQ(group[4] | group[5] << 8, 2);
    std::vector<std::pair<int, int>> images; // size, colours
    for (int i = 0; i < 2; i++) {
        const BYTE *entry = group + 6 + 14 * i;
        images.push_back({entry[0], entry[2]});
        EXPECT_EQ(entry[0], entry[1]); // square
        EXPECT_EQ(entry[6] | entry[7] << 8, 4); // bits per pixel
    }
    EXPECT_EQ(images, (std::vector<std::pair<int, int>>{{32, 16}, {16, 16}}));
}

} // namespace
