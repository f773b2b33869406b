// The main window's commands: checking the source and the destination as
// they are typed, the pickers, the choice of method, the slice job and its
// outcome, Help, About and Exit.
#include "slicer_window.h"

#include <commdlg.h>
#include <shlobj.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "planning.h"
#include "remembered_folders.h"
#include "slice_format.h"
#include "slice_job.h"

// The method controls: enabled and disabled together, with the source.
static const int MethodControls[] = {
    ID_REMOVABLE_RADIO, ID_DRIVE_COMBO, ID_SIZE_RADIO, ID_SIZE_COMBO, ID_UNIT_COMBO,
    ID_COUNT_RADIO, ID_COUNT_EDIT, ID_COUNT_UP_DOWN, ID_PORTIONS_LABEL, ID_EQUAL_SIZE_LABEL,
};

// What choosing each method does to the window.
struct MethodChoice {
    int Radio;          // the radio clicked
    int SliceEnable;    // 1: enable Slice; 0: disable it unless the destination is valid
    int DestinationOn;  // DestinationEdit and its Browse button
    int ShownNote;      // the note shown, or -1 for none
    int PlannerId;      // the planner step run afterwards, or -1
    int PlannerCode;
};

static const MethodChoice MethodChoices[] = {
    {ID_REMOVABLE_RADIO, 1, 0, -1, -1, 0},
    {ID_SIZE_RADIO, 0, 1, ID_SIZE_NOTE, ID_SIZE_COMBO, CBN_EDITCHANGE},
    {ID_COUNT_RADIO, 0, 1, ID_COUNT_NOTE, ID_COUNT_EDIT, EN_CHANGE},
};

// The three ways a job ends, as the Slice command reports them.
struct ResultBox {
    int Outcome;        // 0 complete, 1 cancelled, 2 errors
    const char *Format; // source, destination
    const char *Title;
    UINT Icon;
};

static const ResultBox ResultBoxes[] = {
    {0, "Slice %s to %s is complete", "Dorvane - Slice Complete", 0},
    {1, "Slice %s to %s was cancelled", "Dorvane - Slice Cancelled", 0},
    {2, "Errors were encountered while Slicing %s to %s", "Dorvane - Slice Error", MB_ICONERROR},
};

static const char SliceErrorTitle[] = "Dorvane - Slice Error";

static void Enable(int id, int on)
{
    EnableWindow(Control(id), on);
}

static int IsChecked(int id)
{
    return SendMessageA(Control(id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

// Reads a path from a control. Returns 0 when it is longer than a path can
// be: cut to fit, it would name another file or folder.
static int ReadText(int id, char text[PATH_TEXT_SIZE])
{
    text[0] = '\0';
    if (GetWindowTextLengthA(Control(id)) >= PATH_TEXT_SIZE)
        return 0;
    GetWindowTextA(Control(id), text, PATH_TEXT_SIZE);
    return 1;
}

// A message box owned by the main window and brought to the foreground,
// shown the way the job shows its own.
int ShowBox(const char *text, const char *title, UINT style)
{
    return JobHooks.ShowMessage(MainWindow, text, title, style | MB_SETFOREGROUND);
}

// The folder part of a source path: cut before the last backslash, else
// after the last colon. Returns 0 when the path has neither.
static int CutToFolder(const char *path, char folder[FOLDER_LINE_SIZE])
{
    const char *slash = strrchr(path, '\\');
    const char *colon = strrchr(path, ':');
    size_t length;

    if (slash)
        length = (size_t)(slash - path);
    else if (colon)
        length = (size_t)(colon - path) + 1;
    else
        length = strlen(path);
    if (length >= FOLDER_LINE_SIZE)
        length = FOLDER_LINE_SIZE - 1;
    memmove(folder, path, length);
    folder[length] = '\0';
    return slash || colon;
}

static void RememberSourceFolder(const char *path)
{
    Window.OpenDialogFolder = CutToFolder(path, Folders.RememberedSourceFolder)
                                  ? Folders.RememberedSourceFolder
                                  : Folders.ProgramFolder;
}

static void CheckSource(void)
{
    char path[PATH_TEXT_SIZE];
    HANDLE file;
    DWORD high = 0;
    size_t i;

    file = ReadText(ID_SOURCE_PATH_EDIT, path)
               ? CreateFileA(path, GENERIC_READ, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL)
               : INVALID_HANDLE_VALUE;
    if (file == INVALID_HANDLE_VALUE) {
        SetCurrentDirectoryA(Folders.ProgramFolder);
        for (i = 0; i < sizeof MethodControls / sizeof MethodControls[0]; i++)
            Enable(MethodControls[i], 0);
        Enable(ID_SLICE_BUTTON, 0);
        Window.NoSourceFile = 1;
        Window.SliceDisabled = 1;
        return;
    }
    Window.SourceFileSizeLow = GetFileSize(file, &high);
    Window.SourceFileSizeHigh = high;
    CloseHandle(file);
    for (i = 0; i < sizeof MethodControls / sizeof MethodControls[0]; i++)
        Enable(MethodControls[i], 1);
    if (!Window.JobRunning) {
        Enable(ID_SLICE_BUTTON, 1);
        Window.SliceDisabled = 0;
    }
    Window.NoSourceFile = 0;
    NotifyAsControl(ID_COUNT_EDIT, EN_CHANGE);
    NotifyAsControl(ID_UNIT_COMBO, CBN_SELCHANGE);
    RememberSourceFolder(path);
}

static void ChooseSource(void)
{
    char path[PATH_TEXT_SIZE] = "";
    OPENFILENAMEA dialog;

    memset(&dialog, 0, sizeof dialog);
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = MainWindow;
    dialog.lpstrFile = path;
    dialog.nMaxFile = sizeof path - 1; // 260 characters and the terminator
    dialog.lpstrInitialDir = Window.OpenDialogFolder;
    dialog.Flags = OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;
    if (GetOpenFileNameA(&dialog)) {
        SetWindowTextA(Control(ID_SOURCE_PATH_EDIT), path);
        RememberSourceFolder(path);
    }
    SetFocus(Control(ID_SOURCE_BROWSE_BUTTON));
}

static void ChooseMethod(int radio)
{
    const MethodChoice *choice = &MethodChoices[0];
    size_t i;

    for (i = 0; i < sizeof MethodChoices / sizeof MethodChoices[0]; i++)
        if (MethodChoices[i].Radio == radio)
            choice = &MethodChoices[i];
    for (i = 0; i < sizeof MethodChoices / sizeof MethodChoices[0]; i++)
        SendMessageA(Control(MethodChoices[i].Radio), BM_SETCHECK,
                     MethodChoices[i].Radio == radio ? BST_CHECKED : BST_UNCHECKED, 0);
    if (choice->SliceEnable) {
        if (!Window.JobRunning)
            Enable(ID_SLICE_BUTTON, 1);
    } else if (!Window.DestinationValid) {
        Enable(ID_SLICE_BUTTON, 0);
    }
    Window.SliceDisabled = !choice->SliceEnable;
    Enable(ID_DESTINATION_EDIT, choice->DestinationOn);
    Enable(ID_DESTINATION_BROWSE_BUTTON, choice->DestinationOn);
    Window.RemovableMode = radio == ID_REMOVABLE_RADIO;
    ShowWindow(Control(ID_COUNT_NOTE), choice->ShownNote == ID_COUNT_NOTE ? SW_SHOW : SW_HIDE);
    ShowWindow(Control(ID_SIZE_NOTE), choice->ShownNote == ID_SIZE_NOTE ? SW_SHOW : SW_HIDE);
    if (choice->PlannerId >= 0)
        NotifyAsControl(choice->PlannerId, choice->PlannerCode);
}

static void CheckDestination(void)
{
    char path[PATH_TEXT_SIZE];
    DWORD attributes;

    // A destination is remembered whole or not at all, and the remembered
    // folder holds 259 characters: a longer one is no destination, as a
    // path cut to fit would name another folder.
    attributes = ReadText(ID_DESTINATION_EDIT, path) && strlen(path) < FOLDER_LINE_SIZE
                     ? GetFileAttributesA(path)
                     : INVALID_FILE_ATTRIBUTES;
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        if (!Window.JobRunning)
            Enable(ID_SLICE_BUTTON, 1);
        Window.DestinationValid = 1;
        Window.SliceDisabled = 0;
        snprintf(Folders.RememberedDestinationFolder, sizeof Folders.RememberedDestinationFolder,
                 "%s", path);
    } else {
        Enable(ID_SLICE_BUTTON, 0);
        Window.DestinationValid = 0;
        Window.SliceDisabled = 1;
    }
}

static int CALLBACK FolderBrowserProc(HWND browser, UINT message, LPARAM lParam, LPARAM data)
{
    (void)lParam;
    (void)data;
    if (message == BFFM_INITIALIZED)
        SendMessageA(browser, BFFM_SETSELECTIONA, TRUE, (LPARAM)Folders.RememberedDestinationFolder);
    return 0;
}

static void ChooseDestination(void)
{
    IMalloc *allocator;
    BROWSEINFOA browse;
    LPITEMIDLIST chosen;
    char path[MAX_PATH];

    if (SUCCEEDED(SHGetMalloc(&allocator))) {
        memset(&browse, 0, sizeof browse);
        browse.hwndOwner = MainWindow;
        browse.lpszTitle = "Select Destination Folder for SLICE";
        browse.ulFlags = BIF_RETURNONLYFSDIRS;
        browse.lpfn = FolderBrowserProc;
        chosen = SHBrowseForFolderA(&browse);
        if (chosen) {
            if (SHGetPathFromIDListA(chosen, path))
                SetDlgItemTextA(MainWindow, ID_DESTINATION_EDIT, path);
            allocator->Free(chosen);
        }
        allocator->Release();
    }
    SetFocus(Control(ID_DESTINATION_BROWSE_BUTTON));
}

// The reasons Slice may refuse a folder job before it starts; each is shown
// in a box and starts nothing. Returns 1 when the job may start.
static int FolderJobAllowed(const char *source, const char *destination, uint32_t *portionSize)
{
    size_t needed = strlen(destination) + strlen(SourceFileName(source));
    char text[128 + 2 * PATH_TEXT_SIZE];

    // Without this the limit would be checked only when the size fields
    // lose the focus, and a job could meet its 101st portion.
    if (IsChecked(ID_SIZE_RADIO) && !Window.NoSourceFile)
        CheckPortionLimit();
    *portionSize = IsChecked(ID_SIZE_RADIO) ? Window.PortionSize : Window.EqualPortionSize;
    // EqualPortionSize is then held below 4 GiB, and the job would make
    // more portions than the count asks for; the note says how many fit.
    if (IsChecked(ID_COUNT_RADIO) && Window.CountTooSmall) {
        snprintf(text, sizeof text,
                 "Portions must be smaller than 4 GiB: slice this file into at least %llu "
                 "portions.",
                 (unsigned long long)SmallestEqualPortionCount(SourceSize()));
        ShowBox(text, SliceErrorTitle, MB_OK | MB_ICONERROR);
        return 0;
    }
    if (!FolderPortionSizeAcceptable(*portionSize)) {
        ShowBox("Portions must be larger than 309 bytes", SliceErrorTitle, MB_OK | MB_ICONERROR);
        return 0;
    }
    if (needed >= PATH_TEXT_SIZE) {
        snprintf(text, sizeof text,
                 "The destination %s cannot hold the portions of %s: their paths would be "
                 "longer than 260 characters.",
                 destination, SourceFileName(source));
        ShowBox(text, SliceErrorTitle, MB_OK | MB_ICONERROR);
        return 0;
    }
    return 1;
}

static void ReportResult(uint32_t result, const char *source, const char *destination)
{
    const ResultBox *box = &ResultBoxes[result == 0 ? 0 : result == SLICE_CANCELLED ? 1 : 2];
    size_t size = strlen(box->Format) + strlen(source) + strlen(destination) + 1;
    char *text = (char *)malloc(size);

    // The text holds both paths whole, however long they are.
    if (text)
        snprintf(text, size, box->Format, source, destination);
    ShowBox(text ? text : box->Title, box->Title, MB_OK | box->Icon);
    free(text);
}

static void Slice(void)
{
    char source[PATH_TEXT_SIZE];
    char destination[PATH_TEXT_SIZE + 1];
    uint32_t portionSize = 0, result;
    LRESULT drive;
    size_t length;

    if (Window.JobRunning)
        return;
    if (!Window.NoSourceFile && SourceTooLargeToSlice(SourceSize())) {
        ShowBox(SourceTooLargeMessage, SliceErrorTitle, MB_OK | MB_ICONERROR);
        return;
    }
    ReadText(ID_SOURCE_PATH_EDIT, source);
    if (IsChecked(ID_REMOVABLE_RADIO)) {
        destination[0] = '\0';
        drive = SendMessageA(Control(ID_DRIVE_COMBO), CB_GETCURSEL, 0, 0);
        if (drive != CB_ERR && SendMessageA(Control(ID_DRIVE_COMBO), CB_GETLBTEXTLEN, drive, 0) < 4)
            SendMessageA(Control(ID_DRIVE_COMBO), CB_GETLBTEXT, drive, (LPARAM)destination);
    } else {
        ReadText(ID_DESTINATION_EDIT, destination);
        length = strlen(destination);
        if (!length || destination[length - 1] != '\\')
            strcpy(destination + length, "\\");
        if (!FolderJobAllowed(source, destination, &portionSize))
            return;
    }
    Enable(ID_SLICE_BUTTON, 0);
    Enable(ID_EXIT_BUTTON, 0);
    Window.JobRunning = 1;
    result = RunSliceJob(source, destination, portionSize);
    Window.JobRunning = 0;
    SetWindowTextA(MainWindow, "Dorvane");
    // After a folder job Slice waits for the destination to be checked
    // again; the Tab order passes over it meanwhile, or the focus would
    // stop at a button that cannot take it.
    if (IsChecked(ID_SIZE_RADIO) || IsChecked(ID_COUNT_RADIO)) {
        SetFocus(Control(ID_DESTINATION_EDIT));
        Window.SliceDisabled = 1;
    } else {
        // Slice had the focus and lost it when it was disabled: without
        // this no control would have it after a drive job, and Tab, which
        // only the controls answer, would do nothing.
        Enable(ID_SLICE_BUTTON, 1);
        SetFocus(Control(ID_SLICE_BUTTON));
    }
    Enable(ID_EXIT_BUTTON, 1);
    ReportResult(result, source, destination);
}

static void ShowHelp(void)
{
    if (!WinHelpA(MainWindow, Window.HelpFilePath, HELP_FINDER, 0))
        ShowBox("HELP Error", "Dorvane - Error", MB_OK);
}

static void ShowAbout(void)
{
    DialogBoxParamA(Window.Instance, ABOUT_BOX_NAME, MainWindow, AboutBoxProc, 0);
}

static void Exit(void)
{
    // Enter on the button reaches here even while it is disabled.
    if (Window.JobRunning)
        return;
    WinHelpA(MainWindow, "dorvane.hlp", HELP_QUIT, 0);
    SaveRememberedFolders();
    PostQuitMessage(0);
}

void HandleCommand(int id, int code, HWND control)
{
    (void)control;
    switch (id) {
    case ID_SOURCE_PATH_EDIT:
        if (code == EN_CHANGE || code == EN_KILLFOCUS)
            CheckSource();
        break;
    case ID_SOURCE_BROWSE_BUTTON:
        if (code == BN_CLICKED)
            ChooseSource();
        break;
    case ID_REMOVABLE_RADIO:
    case ID_SIZE_RADIO:
    case ID_COUNT_RADIO:
        if (code == BN_CLICKED)
            ChooseMethod(id);
        break;
    case ID_SIZE_COMBO:
    case ID_UNIT_COMBO:
    case ID_COUNT_EDIT:
        HandlePlannerCommand(id, code);
        break;
    case ID_DESTINATION_EDIT:
        if (code == EN_CHANGE || code == EN_KILLFOCUS)
            CheckDestination();
        break;
    case ID_DESTINATION_BROWSE_BUTTON:
        if (code == BN_CLICKED)
            ChooseDestination();
        break;
    case ID_SLICE_BUTTON:
        Slice();
        break;
    case ID_HELP_BUTTON:
        ShowHelp();
        break;
    case ID_ABOUT_BUTTON:
        ShowAbout();
        break;
    case ID_EXIT_BUTTON:
        Exit();
        break;
    }
}
