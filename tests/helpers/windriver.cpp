// Drives the real dorvane.exe from outside, one action per run, so that a
// test decides what happens between two actions (a disk swapped, a
// screenshot taken). It must run under the same Wine server as the window.
// Everything goes through the controls, as a user's hand would: texts set in
// the fields, buttons clicked; the window's own controls then notify it.
//   windriver wait-window [SECONDS]       the window of class "Dorvane" is shown
//   windriver set ID TEXT                 WM_SETTEXT to the control (for a
//                                         combo box with an edit field: to
//                                         that field), which reports EN_CHANGE
//   windriver click ID                    BM_CLICK
//   windriver select ID INDEX             CB_SETCURSEL and the CBN_SELCHANGE
//                                         the list sends when the user picks
//   windriver state                       one line a control: id, enabled,
//                                         visible, checked, text (tab-separated)
//   windriver title                       the window's title
//   windriver rect [TITLE]                "left top right bottom" of the window's
//                                         client area on the screen, or of
//                                         its box of that title
//   windriver wait-box TITLE [SECONDS]    waits for a box of the window with
//                                         that title and prints its text; with
//                                         TITLE "*" any box, its title first
//   windriver answer TITLE BUTTON-ID      presses a button of that box
//   windriver close                       WM_CLOSE; waits until the window is gone
//   windriver key ID VK                   a key pressed in the control (ID "focus":
//                                         the one with the keyboard focus):
//                                         WM_KEYDOWN, the character the key
//                                         makes (Tab, Enter, Space, Backspace),
//                                         WM_KEYUP
//   windriver type ID TEXT                one WM_CHAR for each character
//   windriver focus                       the id of the control with the focus
//                                         (the size field's: its combo box's)
//   windriver viewer [SECONDS]            waits for the help viewer's window and
//                                         prints its title, "left top right
//                                         bottom" of its menu bar and client
//                                         area on the screen, then the topic it
//                                         shows: the longest text of its child
//                                         windows
//   windriver close-viewer                WM_CLOSE to the help viewer; waits until
//                                         it is gone
//   windriver drop PATH...                WM_DROPFILES to the window, as a file
//                                         manager sends it: the paths in a
//                                         DROPFILES block; waits until it is
//                                         handled
//   windriver write FILE TEXT             writes TEXT to FILE: a stand-in for a
//                                         program the shell starts
// Keys for the main window's controls are sent, in order, ahead of a
// message that comes back once they have been handled (posted ones would be
// taken after it). Keys for a message box are posted, since only its
// dialog loop turns Enter into its button; the action then waits until the
// box is gone.
// Texts and paths, taken and printed, are UTF-8; the window gets them in
// UTF-16 (WM_SETTEXT, WM_CHAR, the drop), so that any name passes whole.
// Exit codes: 0 done, 1 not there in time, 2 wrong use, 3 the control is
// missing, disabled or hidden, so that a user could not do it either.
#include <windows.h>

#include <shlobj.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "wide_text.h"

enum { DONE = 0, NOT_THERE = 1, USAGE = 2, NOT_USABLE = 3 };
enum { CONTROL_COUNT = 28, BOX_TEXT_ID = 0xFFFF, TEXT_SIZE = 1024, POLL_MS = 50 };
enum { DEFAULT_SECONDS = 30, REPLY_MS = 5000 };

static const char MainClass[] = "Dorvane";
static const char BoxClass[] = "#32770";

static HWND MainWindow(void)
{
    return FindWindowA(MainClass, NULL);
}

// Text of any window, also one of another process. WM_GETTEXT is the one
// text message to send across processes here: under 64-bit Wine a list
// item read from another process with CB_GETLBTEXT comes back in UTF-16
// even through SendMessageA, so a combo box is read by its edit text.
static void ReadText(HWND window, char *text, int size)
{
    wchar_t *wide = (wchar_t *)calloc((size_t)size, sizeof *wide);

    text[0] = '\0';
    if (!wide)
        return;
    SendMessageTimeoutW(window, WM_GETTEXT, (WPARAM)size, (LPARAM)wide, SMTO_NORMAL, REPLY_MS, NULL);
    wide[size - 1] = 0;
    Utf8Of(wide, text, size);
    free(wide);
}

static int HasClass(HWND window, const char *name)
{
    char found[64];

    return GetClassNameA(window, found, sizeof found) && lstrcmpiA(found, name) == 0;
}

struct BoxSearch {
    HWND Owner;
    const char *Title; // "*" for any
    HWND Found;
};

static BOOL CALLBACK MatchBox(HWND window, LPARAM data)
{
    BoxSearch *search = (BoxSearch *)data;
    char title[TEXT_SIZE];

    if (!HasClass(window, BoxClass) || GetWindow(window, GW_OWNER) != search->Owner ||
        !IsWindowVisible(window))
        return TRUE;
    ReadText(window, title, sizeof title);
    if (strcmp(search->Title, "*") != 0 && strcmp(title, search->Title) != 0)
        return TRUE;
    search->Found = window;
    return FALSE;
}

static HWND FindBox(const char *title)
{
    BoxSearch search = {MainWindow(), title, NULL};

    if (search.Owner)
        EnumWindows(MatchBox, (LPARAM)&search);
    return search.Found;
}

// Polls until the main window (title NULL) or a box of it is shown.
static HWND WaitFor(const char *title, int seconds)
{
    DWORD start = GetTickCount();
    HWND found;

    for (;;) {
        found = title ? FindBox(title) : MainWindow();
        if (found && IsWindowVisible(found))
            return found;
        if (GetTickCount() - start > (DWORD)seconds * 1000)
            return NULL;
        Sleep(POLL_MS);
    }
}

static int WaitGone(HWND window, int seconds)
{
    DWORD start = GetTickCount();

    while (IsWindow(window)) {
        if (GetTickCount() - start > (DWORD)seconds * 1000)
            return NOT_THERE;
        Sleep(POLL_MS);
    }
    return DONE;
}

// A control the user can act on: there, enabled and shown.
static HWND UsableControl(int id)
{
    HWND main = MainWindow();
    HWND control = main ? GetDlgItem(main, id) : NULL;

    if (!control) {
        fprintf(stderr, "windriver: no control %d\n", id);
        return NULL;
    }
    if (!IsWindowEnabled(control) || !IsWindowVisible(control)) {
        fprintf(stderr, "windriver: control %d is %s\n", id,
                IsWindowEnabled(control) ? "hidden" : "disabled");
        return NULL;
    }
    return control;
}

static int SetText(int id, const char *text)
{
    HWND control = UsableControl(id);
    HWND field;

    if (!control)
        return NOT_USABLE;
    // Typing into a drop-down combo box types into its edit field, which
    // the combo box reports as CBN_EDITCHANGE.
    field = HasClass(control, "ComboBox") ? FindWindowExA(control, NULL, "Edit", NULL) : NULL;
    wchar_t *wide = WideOf(text);
    SendMessageW(field ? field : control, WM_SETTEXT, 0, (LPARAM)wide);
    free(wide);
    return DONE;
}

static int Click(int id)
{
    HWND control = UsableControl(id);

    if (!control)
        return NOT_USABLE;
    // The click may open a modal loop (a job, a box) that lasts until a
    // later action: not waited for. Once a message sent after it comes
    // back, the click has been handled or that loop is running.
    SendNotifyMessageA(control, BM_CLICK, 0, 0);
    SendMessageTimeoutA(control, WM_NULL, 0, 0, SMTO_NORMAL, REPLY_MS, NULL);
    return DONE;
}

static int Select(int id, int index)
{
    HWND control = UsableControl(id);

    if (!control)
        return NOT_USABLE;
    if (SendMessageA(control, CB_SETCURSEL, (WPARAM)index, 0) == CB_ERR) {
        fprintf(stderr, "windriver: control %d has no item %d\n", id, index);
        return NOT_USABLE;
    }
    SendMessageA(GetParent(control), WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), (LPARAM)control);
    return DONE;
}

static int PrintState(void)
{
    HWND main = MainWindow();
    HWND control;
    char text[TEXT_SIZE];
    int id, checked;

    if (!main)
        return NOT_THERE;
    for (id = 0; id < CONTROL_COUNT; id++) {
        control = GetDlgItem(main, id);
        if (!control)
            continue;
        ReadText(control, text, sizeof text);
        checked = HasClass(control, "Button") &&
                  SendMessageA(control, BM_GETCHECK, 0, 0) == BST_CHECKED;
        printf("%d\t%d\t%d\t%d\t%s\n", id, IsWindowEnabled(control) ? 1 : 0,
               IsWindowVisible(control) ? 1 : 0, checked, text);
    }
    return DONE;
}

static int PrintTitle(void)
{
    HWND main = MainWindow();
    char text[TEXT_SIZE];

    if (!main)
        return NOT_THERE;
    ReadText(main, text, sizeof text);
    printf("%s\n", text);
    return DONE;
}

// The client area on the screen: without a window manager nothing draws
// the frame, so that is all a screenshot shows of the window.
static int PrintRect(const char *title)
{
    HWND window = title ? FindBox(title) : MainWindow();
    RECT r;
    POINT corner = {0, 0};

    if (!window || !GetClientRect(window, &r) || !ClientToScreen(window, &corner))
        return NOT_THERE;
    printf("%ld %ld %ld %ld\n", corner.x, corner.y, corner.x + r.right, corner.y + r.bottom);
    return DONE;
}

static int WaitBox(const char *title, int seconds)
{
    HWND box = WaitFor(title, seconds);
    char text[TEXT_SIZE];

    if (!box)
        return NOT_THERE;
    if (strcmp(title, "*") == 0) {
        ReadText(box, text, sizeof text);
        printf("%s\n", text);
    }
    ReadText(GetDlgItem(box, BOX_TEXT_ID), text, sizeof text);
    printf("%s\n", text);
    return DONE;
}

static int Answer(const char *title, int button)
{
    HWND box = FindBox(title);

    if (!box)
        return NOT_THERE;
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
    // Gone before the next action looks for the next box of the same title.
    return WaitGone(box, DEFAULT_SECONDS);
}

static int Close(void)
{
    HWND main = MainWindow();

    if (!main)
        return NOT_THERE;
    PostMessageA(main, WM_CLOSE, 0, 0);
    return WaitGone(main, DEFAULT_SECONDS);
}

// The window that has the keyboard focus on the main window's thread: one of
// its controls, or a button of a box it shows.
static HWND FocusedWindow(void)
{
    HWND main = MainWindow();
    GUITHREADINFO info;

    if (!main)
        return NULL;
    memset(&info, 0, sizeof info);
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(main, NULL), &info) || !info.hwndFocus) {
        fprintf(stderr, "windriver: no control has the focus\n");
        return NULL;
    }
    return info.hwndFocus;
}

// Keys go to the focus, or to a control; typing into a drop-down combo box
// goes into its edit field.
static HWND KeyTarget(const char *id)
{
    HWND control;

    if (strcmp(id, "focus") == 0)
        return FocusedWindow();
    control = UsableControl(atoi(id));
    if (control && HasClass(control, "ComboBox") && FindWindowExA(control, NULL, "Edit", NULL))
        return FindWindowExA(control, NULL, "Edit", NULL);
    return control;
}

// Messages: up to three for a key, one per character typed.
struct KeyMessage {
    UINT Message;
    WPARAM Code;
    LPARAM Flags;
};

enum { KEY_DOWN_FLAGS = 1, MOST_MESSAGES = TEXT_SIZE };
// Not in the enum: an LPARAM constant would make the enum unsigned and 64-bit
// on x86-64, and every comparison with it a mixed-sign one.
static const LPARAM KEY_UP_FLAGS = (LPARAM)0xC0000001;

static int Deliver(HWND target, const KeyMessage *messages, int count)
{
    HWND root = GetAncestor(target, GA_ROOT);
    int i;

    if (root != MainWindow()) {
        for (i = 0; i < count; i++)
            PostMessageW(target, messages[i].Message, messages[i].Code, messages[i].Flags);
        return WaitGone(root, DEFAULT_SECONDS);
    }
    // A key may start a modal loop (a job, a box, a picker): not waited for.
    // The characters are UTF-16 units, as a Unicode window gets them.
    for (i = 0; i < count; i++)
        SendNotifyMessageW(target, messages[i].Message, messages[i].Code, messages[i].Flags);
    SendMessageTimeoutA(target, WM_NULL, 0, 0, SMTO_NORMAL, REPLY_MS, NULL);
    return DONE;
}

// The character a key makes, as TranslateMessage would; 0 for none.
static WPARAM KeyCharacter(UINT key)
{
    switch (key) {
    case VK_TAB:
    case VK_RETURN:
    case VK_SPACE:
    case VK_BACK:
        return key;
    }
    return 0;
}

static int Key(const char *id, UINT key)
{
    HWND target = KeyTarget(id);
    KeyMessage messages[3];
    int count = 0;

    if (!target)
        return NOT_USABLE;
    messages[count++] = {WM_KEYDOWN, key, KEY_DOWN_FLAGS};
    if (KeyCharacter(key))
        messages[count++] = {WM_CHAR, KeyCharacter(key), KEY_DOWN_FLAGS};
    messages[count++] = {WM_KEYUP, key, KEY_UP_FLAGS};
    return Deliver(target, messages, count);
}

static int TypeText(const char *id, const char *text)
{
    HWND target = KeyTarget(id);
    static KeyMessage messages[MOST_MESSAGES];
    wchar_t *wide = WideOf(text);
    int count = 0;

    if (!target || !wide) {
        free(wide);
        return NOT_USABLE;
    }
    for (const wchar_t *unit = wide; *unit && count < MOST_MESSAGES; unit++)
        messages[count++] = {WM_CHAR, (WPARAM)*unit, KEY_DOWN_FLAGS};
    free(wide);
    return Deliver(target, messages, count);
}

static int PrintFocus(void)
{
    HWND focus = FocusedWindow();
    HWND parent = focus ? GetParent(focus) : NULL;

    if (!focus)
        return NOT_THERE;
    printf("%d\n", GetDlgCtrlID(parent && parent != MainWindow() ? parent : focus));
    return DONE;
}

// The help viewer is a program of its own, found by its window class.
static const char ViewerClass[] = "MS_WINHELP";
enum { VIEWER_TEXT_SIZE = 65536 };

// The viewer's child window of the longest text: the one with the topic.
struct LongestText {
    char Text[VIEWER_TEXT_SIZE];
    size_t Length;
};

static BOOL CALLBACK KeepLongestText(HWND child, LPARAM data)
{
    LongestText *longest = (LongestText *)data;
    static char text[VIEWER_TEXT_SIZE];

    if (!IsWindowVisible(child))
        return TRUE;
    ReadText(child, text, sizeof text);
    if (strlen(text) > longest->Length) {
        longest->Length = strlen(text);
        memcpy(longest->Text, text, longest->Length + 1);
    }
    return TRUE;
}

static int PrintViewer(int seconds)
{
    DWORD start = GetTickCount();
    HWND viewer;
    char title[TEXT_SIZE];
    RECT r;
    static LongestText longest;

    while (!(viewer = FindWindowA(ViewerClass, NULL)) || !IsWindowVisible(viewer)) {
        if (GetTickCount() - start >= (DWORD)seconds * 1000)
            return NOT_THERE;
        Sleep(POLL_MS);
    }
    ReadText(viewer, title, sizeof title);
    // The client area, as for the main window's "rect", and the menu bar
    // above it, which is drawn without a window manager too.
    GetClientRect(viewer, &r);
    MapWindowPoints(viewer, NULL, (POINT *)&r, 2);
    if (GetMenu(viewer))
        r.top -= GetSystemMetrics(SM_CYMENU);
    longest.Text[0] = '\0';
    longest.Length = 0;
    EnumChildWindows(viewer, KeepLongestText, (LPARAM)&longest);
    printf("%s\n%ld %ld %ld %ld\n%s\n", title, r.left, r.top, r.right, r.bottom, longest.Text);
    return DONE;
}

static int CloseViewer(void)
{
    HWND viewer = FindWindowA(ViewerClass, NULL);

    if (!viewer)
        return NOT_THERE;
    PostMessageA(viewer, WM_CLOSE, 0, 0);
    return WaitGone(viewer, DEFAULT_SECONDS);
}

// The block a drop hands over: DROPFILES, then each path and its
// terminator, then one more terminator. A file manager's drop arrives with
// the block in the window's own process; Wine does not carry a block posted
// from another process, so it is written into the window's process here,
// at a fixed address, which is what a fixed global memory handle is.
static int Drop(int count, char **paths)
{
    HWND window = MainWindow();
    size_t size = sizeof(DROPFILES) + sizeof(wchar_t);
    DWORD processId = 0;
    HANDLE process;
    char *block;
    wchar_t *text, *wide;
    DROPFILES *drop;
    void *there;
    int i, written;

    if (!window)
        return NOT_THERE;
    // The paths in UTF-16, as a file manager of today hands them over.
    for (i = 0; i < count; i++)
        size += (strlen(paths[i]) + 1) * sizeof(wchar_t);
    block = (char *)calloc(1, size);
    if (!block)
        return USAGE;
    drop = (DROPFILES *)block;
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    text = (wchar_t *)(block + sizeof(DROPFILES));
    for (i = 0; i < count; i++) {
        wide = WideOf(paths[i]);
        if (wide)
            wcscpy(text, wide);
        text += wide ? wcslen(wide) + 1 : 1;
        free(wide);
    }
    GetWindowThreadProcessId(window, &processId);
    process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, processId);
    there = process ? VirtualAllocEx(process, NULL, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)
                    : NULL;
    written = there && WriteProcessMemory(process, there, block, size, NULL);
    free(block);
    if (process)
        CloseHandle(process);
    if (!written || !PostMessageA(window, WM_DROPFILES, (WPARAM)there, 0))
        return NOT_USABLE;
    // A message sent after the drop comes back once the drop is handled.
    SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, REPLY_MS, NULL);
    return DONE;
}

static int WriteFileText(const char *path, const char *text)
{
    wchar_t *wide = WideOf(path);
    FILE *file = wide ? _wfopen(wide, L"w") : NULL;

    free(wide);
    if (!file)
        return USAGE;
    fputs(text, file);
    return fclose(file) == 0 ? DONE : USAGE;
}

static int Seconds(int argc, char **argv, int at)
{
    return argc > at ? atoi(argv[at]) : DEFAULT_SECONDS;
}

int main(void)
{
    int argc = 0;
    char **argv = Utf8Arguments(&argc);
    const char *action = argc > 1 && argv[1] ? argv[1] : "";

    if (strcmp(action, "wait-window") == 0)
        return WaitFor(NULL, Seconds(argc, argv, 2)) ? DONE : NOT_THERE;
    if (strcmp(action, "set") == 0 && argc == 4)
        return SetText(atoi(argv[2]), argv[3]);
    if (strcmp(action, "click") == 0 && argc == 3)
        return Click(atoi(argv[2]));
    if (strcmp(action, "select") == 0 && argc == 4)
        return Select(atoi(argv[2]), atoi(argv[3]));
    if (strcmp(action, "state") == 0)
        return PrintState();
    if (strcmp(action, "title") == 0)
        return PrintTitle();
    if (strcmp(action, "rect") == 0)
        return PrintRect(argc > 2 ? argv[2] : NULL);
    if (strcmp(action, "wait-box") == 0 && argc >= 3)
        return WaitBox(argv[2], Seconds(argc, argv, 3));
    if (strcmp(action, "answer") == 0 && argc == 4)
        return Answer(argv[2], atoi(argv[3]));
    if (strcmp(action, "close") == 0)
        return Close();
    if (strcmp(action, "key") == 0 && argc == 4)
        return Key(argv[2], (UINT)atoi(argv[3]));
    if (strcmp(action, "focus") == 0)
        return PrintFocus();
    if (strcmp(action, "type") == 0 && argc == 4)
        return TypeText(argv[2], argv[3]);
    if (strcmp(action, "viewer") == 0)
        return PrintViewer(Seconds(argc, argv, 2));
    if (strcmp(action, "close-viewer") == 0)
        return CloseViewer();
    if (strcmp(action, "drop") == 0 && argc >= 3)
        return Drop(argc - 2, argv + 2);
    if (strcmp(action, "write") == 0 && argc == 4)
        return WriteFileText(argv[2], argv[3]);
    fputs("usage: windriver wait-window [SECONDS] | set ID TEXT | click ID | select ID INDEX |\n"
          "       state | title | rect [TITLE] | wait-box TITLE [SECONDS] |\n"
          "       answer TITLE BUTTON-ID | close | key ID|focus VK |\n"
          "       type ID|focus TEXT | focus | viewer [SECONDS] |\n"
          "       close-viewer | drop PATH... | write FILE TEXT\n",
          stderr);
    return USAGE;
}
