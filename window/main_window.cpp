// The main window: its class, its twenty-eight controls laid out in dialog
// base units, focus memory, files dropped on it, and the about box. The
// window and its controls are Unicode windows (the W calls), so that the
// path fields hold any name; the program keeps their texts in UTF-8.
#include "slicer_window.h"

#include <commctrl.h>

#include <stdlib.h>
#include <string.h>

#include "os/media.h"
#include "os/text_win.h"
#include "planner_texts.h"
#include "remembered_folders.h"
#include "slice_worker.h"

SlicerWindowState Window;

static const wchar_t WindowClassName[] = L"Dorvane";
static const char WindowTitle[] = "Dorvane";

// The window's size in pixels for base units of 8 x 16; other base units
// scale it, so that no control is cut off with larger fonts.
enum { WINDOW_WIDTH = 448, WINDOW_HEIGHT = 454, BASE_WIDTH = 8, BASE_HEIGHT = 16 };

// One child control. X and Width count horizontal base units, Y vertical
// ones; Height counts half vertical units, so that 3 is the 1.5 units of a
// single-line control and 21 the 10.5 of a combo box with its list.
struct ControlSpec {
    int Id;
    const char *Class;
    const char *Caption;
    DWORD Style;
    int X, Y, Width, Height;
};

static const DWORD Child = WS_CHILD | WS_VISIBLE;

// In creation order. The up-down controls (ids 16 and 25) are made by their
// own calls, after CountEdit and RecoveryBlocksEdit, whose buddies they are.
static const ControlSpec Controls[] = {
    {ID_SOURCE_GROUP, "BUTTON", "Choose file to slice", Child | BS_GROUPBOX, 1, 1, 53, 6},
    {ID_METHOD_GROUP, "BUTTON", "Slice method", Child | BS_GROUPBOX, 1, 5, 53, 24},
    {ID_DESTINATION_GROUP, "BUTTON", "Choose destination folder", Child | BS_GROUPBOX, 1, 20, 53, 6},
    {ID_PORTIONS_LABEL, "STATIC", "portions", Child | WS_DISABLED | SS_LEFT, 38, 9, 8, 3},
    {ID_SIZE_NOTE, "STATIC", NULL, Child | SS_LEFT, 14, 11, 35, 3},
    {ID_EQUAL_SIZE_LABEL, "STATIC", "equal-size portions", Child | WS_DISABLED | SS_LEFT, 28, 13, 19, 3},
    {ID_COUNT_NOTE, "STATIC", NULL, Child | SS_LEFT, 14, 15, 30, 3},
    {ID_SOURCE_PATH_EDIT, "EDIT", NULL, Child | WS_BORDER | ES_AUTOHSCROLL, 2, 2, 42, 3},
    {ID_SOURCE_BROWSE_BUTTON, "BUTTON", "Browse", Child | BS_PUSHBUTTON | BS_NOTIFY, 45, 2, 8, 3},
    {ID_REMOVABLE_RADIO, "BUTTON", "Slice to removable drive", Child | WS_DISABLED | BS_RADIOBUTTON, 2, 7, 24, 3},
    {ID_DRIVE_COMBO, "COMBOBOX", NULL, Child | WS_DISABLED | WS_VSCROLL | CBS_DROPDOWNLIST, 26, 7, 15, 21},
    {ID_SIZE_RADIO, "BUTTON", "Slice into", Child | WS_DISABLED | BS_RADIOBUTTON, 2, 9, 10, 3},
    {ID_SIZE_COMBO, "COMBOBOX", NULL, Child | WS_DISABLED | WS_VSCROLL | CBS_DROPDOWN, 14, 9, 10, 21},
    {ID_UNIT_COMBO, "COMBOBOX", NULL, Child | WS_DISABLED | WS_VSCROLL | CBS_DROPDOWNLIST, 26, 9, 10, 21},
    {ID_COUNT_RADIO, "BUTTON", "Slice into", Child | WS_DISABLED | BS_RADIOBUTTON, 2, 13, 10, 3},
    {ID_COUNT_EDIT, "EDIT", NULL, Child | WS_DISABLED | WS_BORDER, 14, 13, 10, 3},
    {ID_DESTINATION_EDIT, "EDIT", NULL, Child | WS_DISABLED | WS_BORDER | ES_AUTOHSCROLL, 2, 21, 42, 3},
    {ID_DESTINATION_BROWSE_BUTTON, "BUTTON", "Browse", Child | WS_DISABLED | BS_PUSHBUTTON | BS_NOTIFY, 45, 21, 8, 3},
    {ID_SLICE_BUTTON, "BUTTON", "Slice", Child | WS_DISABLED | BS_PUSHBUTTON, 1, 24, 8, 3},
    {ID_HELP_BUTTON, "BUTTON", "Help", Child | BS_PUSHBUTTON, 26, 24, 8, 3},
    {ID_ABOUT_BUTTON, "BUTTON", "About", Child | BS_PUSHBUTTON, 36, 24, 8, 3},
    {ID_EXIT_BUTTON, "BUTTON", "Exit", Child | BS_PUSHBUTTON, 46, 24, 8, 3},
    // The recovery row, between the methods and the destination: for every
    // method, its number of blocks for the folder methods only.
    {ID_RECOVERY_CHECK, "BUTTON", "Recovery data", Child | WS_DISABLED | BS_AUTOCHECKBOX, 2, 18, 15, 3},
    {ID_RECOVERY_BLOCKS_EDIT, "EDIT", NULL, Child | WS_DISABLED | WS_BORDER, 17, 18, 5, 3},
    {ID_RECOVERY_BLOCKS_LABEL, "STATIC", "blocks", Child | WS_DISABLED | SS_LEFT, 25, 18, 6, 3},
    {ID_RECOVERY_NOTE, "STATIC", NULL, Child | SS_LEFT, 32, 18, 21, 3},
};

// An up-down control beside its number field: a place in base units, a
// size in pixels, and its range.
struct UpDownSpec {
    int Id, Buddy;
    int X, Y, Width, Height;
    int Lowest, Highest, Start;
};

static const UpDownSpec UpDowns[] = {
    {ID_COUNT_UP_DOWN, ID_COUNT_EDIT, 24, 13, 10, 24, 2, 100, 1},
    {ID_RECOVERY_UP_DOWN, ID_RECOVERY_BLOCKS_EDIT, 22, 18, 10, 24, 1, RECOVERY_BLOCKS_MOST, 1},
};

// The controls that get KeyNavigationProc, in the order they get it.
static const int NavigatedControls[] = {
    ID_SOURCE_PATH_EDIT, ID_SOURCE_BROWSE_BUTTON, ID_REMOVABLE_RADIO, ID_DRIVE_COMBO,
    ID_SIZE_RADIO, ID_UNIT_COMBO, ID_COUNT_RADIO, ID_COUNT_EDIT, ID_COUNT_UP_DOWN,
    ID_DESTINATION_EDIT, ID_DESTINATION_BROWSE_BUTTON, ID_SLICE_BUTTON, ID_HELP_BUTTON,
    ID_ABOUT_BUTTON, ID_EXIT_BUTTON, ID_RECOVERY_CHECK, ID_RECOVERY_BLOCKS_EDIT,
    ID_RECOVERY_UP_DOWN,
};


HWND Control(int id)
{
    return id >= 0 && id < CONTROL_COUNT ? Window.Controls[id] : NULL;
}

void NotifyAsControl(int id, int code)
{
    SendMessageA(MainWindow, WM_COMMAND, MAKEWPARAM(id, code), (LPARAM)Control(id));
}

void SetControlText(int id, const char *text)
{
    wchar_t *wide = Utf8ToWide(text);

    // Without memory for the copy the bytes are the best there is.
    if (wide)
        SetWindowTextW(Control(id), wide);
    else
        SetWindowTextA(Control(id), text);
    free(wide);
}

int WindowsHasWideCalls(DWORD version)
{
    return (version & 0x80000000u) == 0;
}

static void CreateUpDown(HWND window, const UpDownSpec *u, int h, int v)
{
    Window.Controls[u->Id] = CreateUpDownControl(
        WS_CHILD | WS_VISIBLE | WS_DISABLED | WS_BORDER | UDS_SETBUDDYINT | UDS_ARROWKEYS,
        u->X * h, u->Y * v, u->Width, u->Height, window, u->Id, Window.Instance,
        Window.Controls[u->Buddy], u->Highest, u->Lowest, u->Start);
}

static void CreateControls(HWND window, int h, int v)
{
    size_t i, k;

    for (i = 0; i < sizeof Controls / sizeof Controls[0]; i++) {
        const ControlSpec *c = &Controls[i];
        wchar_t *className = Utf8ToWide(c->Class);
        wchar_t *caption = c->Caption ? Utf8ToWide(c->Caption) : NULL;

        Window.Controls[c->Id] =
            CreateWindowExW(0, className, caption, c->Style, c->X * h, c->Y * v, c->Width * h,
                            c->Height * v / 2, window, (HMENU)(INT_PTR)c->Id, Window.Instance, NULL);
        free(className);
        free(caption);
        // Writing the position into a number field already runs its step,
        // while the controls after it do not exist yet.
        for (k = 0; k < sizeof UpDowns / sizeof UpDowns[0]; k++)
            if (UpDowns[k].Buddy == c->Id)
                CreateUpDown(window, &UpDowns[k], h, v);
    }
}

static void FillLists(void)
{
    HWND drives = Control(ID_DRIVE_COMBO);
    char drive[3] = "A:";
    size_t i;

    // The drives the job can fill disk by disk, as it decides it.
    for (drive[0] = 'A'; drive[0] <= 'Z'; drive[0]++)
        if (OsIsRemovableDrive(drive))
            SendMessageA(drives, CB_ADDSTRING, 0, (LPARAM)drive);
    SendMessageA(drives, CB_SETCURSEL, 0, 0);
    for (i = 0; i < UNIT_COUNT; i++)
        SendMessageA(Control(ID_UNIT_COMBO), CB_ADDSTRING, 0, (LPARAM)UnitTexts[i]);
    SendMessageA(Control(ID_UNIT_COMBO), CB_SETCURSEL, UNIT_KB, 0);
    for (i = 0; i < SIZE_PRESET_COUNT; i++)
        SendMessageA(Control(ID_SIZE_COMBO), CB_ADDSTRING, 0, (LPARAM)PresetTexts[i]);
    SendMessageA(Control(ID_SIZE_COMBO), CB_SETCURSEL, 0, 0);
}

static void InstallKeyProcedures(void)
{
    HWND combo = Control(ID_SIZE_COMBO);
    RECT box;
    POINT middle;
    size_t i;

    for (i = 0; i < sizeof NavigatedControls / sizeof NavigatedControls[0]; i++) {
        int id = NavigatedControls[i];
        Window.PreviousProcs[id] = (WNDPROC)SetWindowLongPtrW(Control(id), GWLP_WNDPROC,
                                                              (LONG_PTR)KeyNavigationProc);
    }
    // The edit field of a drop-down combo box lies in its middle.
    GetWindowRect(combo, &box);
    middle.x = (box.right - box.left) / 2;
    middle.y = (box.bottom - box.top) / 2;
    Window.SizeFieldEdit = ChildWindowFromPoint(combo, middle);
    if (Window.SizeFieldEdit && Window.SizeFieldEdit != combo)
        Window.SizeFieldPreviousProc = (WNDPROC)SetWindowLongPtrW(
            Window.SizeFieldEdit, GWLP_WNDPROC, (LONG_PTR)SizeFieldProc);
}

// HelpFilePath: the program's folder and "dorvane.hlp". Without a program
// folder the bare name is used, and no character before the text is read.
static void BuildHelpFilePath(void)
{
    size_t length = strlen(Folders.ProgramFolder);

    memset(Window.HelpFilePath, 0, sizeof Window.HelpFilePath);
    memcpy(Window.HelpFilePath, Folders.ProgramFolder, length);
    if (length && Window.HelpFilePath[length - 1] != '\\')
        Window.HelpFilePath[length++] = '\\';
    strcpy(Window.HelpFilePath + length, "dorvane.hlp");
}

static LRESULT OnCreate(HWND window, const CREATESTRUCTW *creation)
{
    LONG units = GetDialogBaseUnits();
    int h = LOWORD(units), v = HIWORD(units);

    memset(&Window, 0, sizeof Window);
    Window.Instance = creation->hInstance;
    CreateControls(window, h, v);
    FillLists();
    InstallKeyProcedures();
    SetFocus(Control(ID_SOURCE_PATH_EDIT));
    SendMessageA(Control(ID_REMOVABLE_RADIO), BM_SETCHECK, BST_CHECKED, 0);
    SendMessageA(Control(ID_SIZE_RADIO), BM_SETCHECK, BST_UNCHECKED, 0);
    SendMessageA(Control(ID_COUNT_RADIO), BM_SETCHECK, BST_UNCHECKED, 0);
    ShowWindow(Control(ID_COUNT_NOTE), SW_HIDE);
    ShowWindow(Control(ID_SIZE_NOTE), SW_HIDE);
    ShowWindow(Control(ID_RECOVERY_NOTE), SW_HIDE);
    Window.SavedFocusControl = Control(ID_SOURCE_PATH_EDIT);
    Window.SourceFileSizeLow = Window.SourceFileSizeHigh = 0;
    Window.NoSourceFile = 1;
    Window.RemovableMode = 1;
    Window.SliceDisabled = 1;
    Window.DestinationValid = 0;
    Window.JobRunning = 0;
    FindProgramFolder();
    BuildHelpFilePath();
    LoadRememberedFolders();
    Window.OpenDialogFolder = Folders.RememberedSourceFolder;
    // A file dropped from a file manager becomes the source (WM_DROPFILES).
    DragAcceptFiles(window, TRUE);
    // The recovery choice as it was left; the row comes on with a source.
    ShowRecoveryChoice();
    // Runs the destination check: a remembered folder that exists makes
    // Slice usable at once.
    if (Folders.RememberedDestinationFolder[0])
        SetControlText(ID_DESTINATION_EDIT, Folders.RememberedDestinationFolder);
    return 0;
}

static void OnActivate(WPARAM wParam)
{
    if (LOWORD(wParam) != WA_INACTIVE)
        SetFocus(Window.SavedFocusControl);
    else if (!Window.WindowMinimized)
        Window.SavedFocusControl = GetFocus();
}

static void OnDestroy(void)
{
    WinHelpW(MainWindow, L"dorvane.hlp", HELP_QUIT, 0);
    SaveRememberedFolders();
    PostQuitMessage(0);
}

// The worker's progress, shown in the title while the job runs: the
// portions written, then the set read again for its recovery data.
static void OnSliceProgress(HWND window, WPARAM percent, LPARAM step)
{
    char title[48];

    if (!Window.JobRunning)
        return;
    if (step == SLICE_STEP_RECOVERY)
        wsprintfA(title, "%s - Recovery data %u%%", WindowTitle, (unsigned)percent);
    else
        wsprintfA(title, "%s - %u%%", WindowTitle, (unsigned)percent);
    SetWindowTextA(window, title);
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        return OnCreate(window, (const CREATESTRUCTW *)lParam);
    case WM_ACTIVATE:
        OnActivate(wParam);
        return 0;
    case WM_SIZE:
        if (wParam == SIZE_RESTORED)
            Window.WindowMinimized = 0;
        return 0;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_MINIMIZE) {
            Window.SavedFocusControl = GetFocus();
            Window.WindowMinimized = 1;
        }
        break;
    case WM_CLOSE:
        // The worker's message boxes are owned by this window and the job
        // waits in the Slice command: the window outlives every job.
        if (Window.JobRunning)
            return 0;
        break;
    case WM_DESTROY:
        OnDestroy();
        return 0;
    case WM_COMMAND:
        HandleCommand(LOWORD(wParam), HIWORD(wParam), (HWND)lParam);
        return 0;
    case WM_DROPFILES:
        DropSource((HDROP)wParam);
        DragFinish((HDROP)wParam);
        return 0;
    case WM_SLICE_PROGRESS:
        OnSliceProgress(window, wParam, lParam);
        return 0;
    case WM_SLICE_BOX:
        OnJobBox(wParam);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

INT_PTR CALLBACK AboutBoxProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    (void)lParam;
    switch (message) {
    case WM_INITDIALOG:
        return TRUE;
    case WM_COMMAND:
        // Only the OK button (or Enter, its default) closes the box.
        if (LOWORD(wParam) == ID_ABOUT_OK)
            EndDialog(dialog, 0);
        return TRUE;
    }
    return FALSE;
}

HWND CreateMainWindow(HINSTANCE instance)
{
    WNDCLASSW windowClass;
    LONG units = GetDialogBaseUnits();
    int width = MulDiv(WINDOW_WIDTH, LOWORD(units), BASE_WIDTH);
    int height = MulDiv(WINDOW_HEIGHT, HIWORD(units), BASE_HEIGHT);

    memset(&windowClass, 0, sizeof windowClass);
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(ID_ICON));
    windowClass.hCursor = LoadCursorW(NULL, (LPCWSTR)IDC_ARROW);
    windowClass.hbrBackground = (HBRUSH)GetStockObject(LTGRAY_BRUSH);
    windowClass.lpszClassName = WindowClassName;
    if (!RegisterClassW(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        return NULL;
    return CreateWindowExW(0, WindowClassName, L"Dorvane", WS_OVERLAPPED | WS_SYSMENU | WS_MINIMIZEBOX,
                           (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                           (GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height, NULL, NULL,
                           instance, NULL);
}
