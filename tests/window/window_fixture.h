// The slicer's main window opened in-process as the program opens it, but
// hidden, with its message boxes answered through the program's hook; and
// the hand of a user on its controls. Shared by the window's test programs.
#ifndef DORVANE_TESTS_WINDOW_FIXTURE_H
#define DORVANE_TESTS_WINDOW_FIXTURE_H

#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>
#include <shlobj.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "box_recorder.h"
#include "remembered_folders.h"
#include "slice_worker.h"
#include "slicer_window.h"
#include "win_files.h"

namespace testwindow {

using namespace testboxes;
using namespace testfiles;

inline std::string Text(HWND window)
{
    char text[1024] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

inline std::string Text(int id)
{
    return Text(Control(id));
}

inline bool Enabled(int id)
{
    return IsWindowEnabled(Control(id)) != 0;
}

inline bool Visible(int id)
{
    return (GetWindowLongA(Control(id), GWL_STYLE) & WS_VISIBLE) != 0;
}

inline bool Checked(int id)
{
    return SendMessageA(Control(id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

inline std::vector<std::string> ListItems(int id)
{
    std::vector<std::string> items;
    LRESULT count = SendMessageA(Control(id), CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; i++) {
        char item[64] = "";
        SendMessageA(Control(id), CB_GETLBTEXT, i, (LPARAM)item);
        items.push_back(item);
    }
    return items;
}

inline std::string Selected(int id)
{
    LRESULT i = SendMessageA(Control(id), CB_GETCURSEL, 0, 0);
    char item[64] = "";
    if (i != CB_ERR)
        SendMessageA(Control(id), CB_GETLBTEXT, i, (LPARAM)item);
    return item;
}

// What the user's typing does: the text is replaced and the control tells
// the window, as an edit field does.
inline void Type(int id, const std::string &text)
{
    SetWindowTextA(Control(id), text.c_str());
}

// What a mouse click does: the control takes the focus, then reports.
inline void Click(int id)
{
    SetFocus(Control(id));
    SendMessageA(MainWindow, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)Control(id));
}

// A check box set as a click would leave it, and the window told.
inline void SetChecked(int id, bool on)
{
    SendMessageA(Control(id), BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
    Click(id);
}

// Takes what a closed window left in the queue, the quit message included.
// Returns 1 when a quit message was among it.
inline int DrainQueue()
{
    MSG message;
    int quit = 0;
    while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT)
            quit = 1;
        else
            DispatchMessageA(&message);
    }
    return quit;
}

// What a file manager hands over on a drop: DROPFILES, each path with its
// terminator, one more terminator; the window lets go of it.
inline void Drop(const std::vector<std::string> &paths)
{
    size_t size = sizeof(DROPFILES) + 1;
    for (const std::string &path : paths)
        size += path.size() + 1;
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
    auto *drop = (DROPFILES *)GlobalLock(block);
    drop->pFiles = sizeof(DROPFILES);
    char *text = (char *)(drop + 1);
    for (const std::string &path : paths) {
        memcpy(text, path.c_str(), path.size() + 1);
        text += path.size() + 1;
    }
    GlobalUnlock(block);
    SendMessageA(MainWindow, WM_DROPFILES, (WPARAM)block, 0);
}

// Texts and files by UTF-8 names, as the program holds them, whatever the
// ANSI code page: through the wide calls.
inline std::wstring Wide(const std::string &text)
{
    std::wstring wide(text.size() + 1, L'\0');
    wide.resize((size_t)MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, &wide[0],
                                            (int)wide.size()) - 1);
    return wide;
}

inline std::string Utf8(const std::wstring &wide)
{
    std::string text(wide.size() * 3 + 1, '\0');
    text.resize((size_t)WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, &text[0],
                                            (int)text.size(), NULL, NULL) - 1);
    return text;
}

// What the user's typing leaves in a field, in UTF-16.
inline void TypeWide(int id, const std::string &text)
{
    SetWindowTextW(Control(id), Wide(text).c_str());
}

inline std::string TextWide(int id)
{
    wchar_t text[1024] = L"";
    GetWindowTextW(Control(id), text, 1024);
    return Utf8(text);
}

inline void WriteNamed(const std::string &path, const std::string &data)
{
    HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    DWORD written = 0;
    WriteFile(file, data.data(), (DWORD)data.size(), &written, NULL);
    CloseHandle(file);
}

inline std::string ReadNamed(const std::string &path)
{
    HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, NULL,
                              OPEN_EXISTING, 0, NULL);
    std::string data;
    char block[65536];
    DWORD got = 0;
    while (file != INVALID_HANDLE_VALUE && ReadFile(file, block, sizeof block, &got, NULL) && got)
        data.append(block, got);
    CloseHandle(file);
    return data;
}

// The names in a folder, sorted; with remove, each file is deleted too (the
// scratch folders' own clean-up sees names in the ANSI code page only).
inline std::vector<std::string> NamesIn(const std::string &folder, bool remove = false)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(Wide(folder + "\\*").c_str(), &found);
    for (bool more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileW(search, &found)) {
        std::string name = Utf8(found.cFileName);
        if (name != "." && name != "..")
            names.push_back(name);
        if (remove && !(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            DeleteFileW(Wide(folder + "\\" + name).c_str());
    }
    if (search != INVALID_HANDLE_VALUE)
        FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

// A drop as a file manager of today hands it over: the paths in UTF-16.
inline void DropWide(const std::vector<std::string> &paths)
{
    std::wstring list;
    for (const std::string &path : paths)
        list += Wide(path) + L'\0';
    list += L'\0';
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT,
                                sizeof(DROPFILES) + list.size() * sizeof(wchar_t));
    auto *drop = (DROPFILES *)GlobalLock(block);
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    memcpy(drop + 1, list.data(), list.size() * sizeof(wchar_t));
    GlobalUnlock(block);
    SendMessageA(MainWindow, WM_DROPFILES, (WPARAM)block, 0);
}

// Runs the KELMORIX.EXE written beside portion 0 on the set's folder into
// destination and returns its exit code; its output goes nowhere.
inline DWORD RunItsJoiner(const std::string &setFolder, const std::string &destination)
{
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, NULL, TRUE};
    HANDLE nowhere = CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_WRITE, &inherit, OPEN_EXISTING,
                                 0, NULL);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = startup.hStdOutput = startup.hStdError = nowhere;
    PROCESS_INFORMATION process;
    std::wstring line = Wide("KELMORIX.EXE " + setFolder + " " + destination + "\\");
    DWORD code = 9999;
    if (CreateProcessW(Wide(setFolder + "\\KELMORIX.EXE").c_str(), &line[0], NULL, NULL, TRUE,
                       CREATE_NO_WINDOW, NULL, Wide(setFolder).c_str(), &startup, &process)) {
        WaitForSingleObject(process.hProcess, INFINITE);
        GetExitCodeProcess(process.hProcess, &code);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
    CloseHandle(nowhere);
    return code;
}

// The size and place each control of the main window was created with, as
// the window asked for them: the combo boxes' dropped-down height and the
// up-down control's width are adjusted by the controls themselves later.
struct Creation {
    HWND Parent; // the main window, the first window created
    RECT Asked[CONTROL_COUNT];
};

inline Creation Created;

inline LRESULT CALLBACK RecordCreation(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_CREATEWND) {
        const CREATESTRUCTA *c = ((const CBT_CREATEWNDA *)lParam)->lpcs;
        if (!Created.Parent && !c->hwndParent)
            Created.Parent = (HWND)wParam;
        else if (c->hwndParent == Created.Parent && (UINT_PTR)c->hMenu < CONTROL_COUNT)
            Created.Asked[(UINT_PTR)c->hMenu] = {c->x, c->y, c->x + c->cx, c->y + c->cy};
    }
    return CallNextHookEx(NULL, code, wParam, lParam);
}

class SlicerWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        GetCurrentDirectoryA(sizeof saved_, saved_);
        JobHooks.ShowMessage = RecordBox;
        HelpHooks = {GetVersion, ShellExecuteA};
        Boxes.clear();
        Answer = nullptr;
        memset(&Folders, 0, sizeof Folders);
    }
    void TearDown() override
    {
        if (IsWindow(MainWindow))
            DestroyWindow(MainWindow);
        DrainQueue();
        MainWindow = NULL;
        JobHooks.ShowMessage = Utf8MessageBox;
        HelpHooks = {GetVersion, Utf8ShellOpen};
        Answer = nullptr;
        SetCurrentDirectoryA(saved_);
    }

    // Opens the window as the program does (but hidden), with the program's folder (and
    // the remembered folders there) in home_.
    void Open(const char *remembered = nullptr)
    {
        WriteAll(home_ / "dorvane.exe", "MZ");
        if (remembered)
            WriteAll(home_ / "DORVANE.TXT", remembered);
        SetCurrentDirectoryA(home_.Path().c_str());
        memset(&Created, 0, sizeof Created);
        HHOOK hook = SetWindowsHookExA(WH_CBT, RecordCreation, NULL, GetCurrentThreadId());
        HWND window = CreateMainWindow(GetModuleHandleA(NULL));
        UnhookWindowsHookEx(hook);
        ASSERT_TRUE(window) << "windows need a display";
        // Left hidden: a window that is shown takes Wine about 2 s to take
        // down without a window manager. The tests that need it shown show it.
        MainWindow = window;
        InitCommonControls();
        DrainQueue();
    }

    // A source file of size bytes, typed into SourcePathEdit.
    std::string ChooseSource(size_t size, const char *name = "BIG.DAT")
    {
        std::string path = sources_ / name;
        WriteAll(path, Pattern(size));
        Type(ID_SOURCE_PATH_EDIT, path);
        return path;
    }

    ScratchFolder home_{"home"};
    ScratchFolder sources_{"src"};
    ScratchFolder out_{"out"};
    char saved_[MAX_PATH];
};
} // namespace testwindow

#endif
