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

} // namespace
