// The main window's dialogs in-process under Wine: the about box, the
// system's file picker and folder browser, the help viewer, and the focus
// they give back. Each is answered from a timer on the window's thread,
// which the dialog's own loop keeps serving.
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
