// The main window's field checks and pickers: the source checked as it is
// typed (and the methods that come on with a file), the open-file picker,
// the choice of method, the destination checked as it is typed, and the
// folder picker; with the small helpers every command body shares. Paths
// are read from the fields and the pickers in UTF-16 and held in UTF-8.
#include "commands.h"

#include <commdlg.h>
#include <shlobj.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "os/files.h"
#include "os/process.h"
#include "os/text_win.h"
#include "remembered_folders.h"
#include "slice_worker.h"

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

void EnableControl(int id, int on)
{
    EnableWindow(Control(id), on);
}

int ControlChecked(int id)
{
    return SendMessageA(Control(id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

int ReadControlPath(int id, char text[PATH_TEXT_SIZE])
{
    wchar_t wide[PATH_CHARACTERS + 1];

    text[0] = '\0';
    if (GetWindowTextLengthW(Control(id)) > PATH_CHARACTERS)
        return 0;
    wide[0] = 0;
    GetWindowTextW(Control(id), wide, PATH_CHARACTERS + 1);
    // 3 bytes for each unit and the terminator always fit.
    return WideToUtf8Buffer(wide, text, PATH_TEXT_SIZE) != 0;
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

void CheckSource(void)
{
    char path[PATH_TEXT_SIZE];
    OsFile file;
    uint64_t size = 0;
    long error;
    size_t i;

    // A source is a file that opens (not held by another program) and tells
    // its size.
    error = ReadControlPath(ID_SOURCE_PATH_EDIT, path) ? OsOpenRead(path, &file) : 1;
    if (!error) {
        error = OsFileSize(file, &size);
        OsClose(file);
    }
    if (error) {
        OsSetCurrentFolder(Folders.ProgramFolder);
        for (i = 0; i < sizeof MethodControls / sizeof MethodControls[0]; i++)
            EnableControl(MethodControls[i], 0);
        EnableControl(ID_SLICE_BUTTON, 0);
        Window.NoSourceFile = 1;
        Window.SliceDisabled = 1;
        RefreshRecoveryRow();
        return;
    }
    Window.SourceFileSizeLow = (uint32_t)size;
    Window.SourceFileSizeHigh = (uint32_t)(size >> 32);
    for (i = 0; i < sizeof MethodControls / sizeof MethodControls[0]; i++)
        EnableControl(MethodControls[i], 1);
    if (!Window.JobRunning) {
        EnableControl(ID_SLICE_BUTTON, 1);
        Window.SliceDisabled = 0;
    }
    Window.NoSourceFile = 0;
    // The count and unit steps refresh the recovery row too.
    NotifyAsControl(ID_COUNT_EDIT, EN_CHANGE);
    NotifyAsControl(ID_UNIT_COMBO, CBN_SELCHANGE);
    RememberSourceFolder(path);
}

void ChooseSource(void)
{
    wchar_t path[PATH_CHARACTERS + 1] = L"";
    wchar_t *folder = Utf8ToWide(Window.OpenDialogFolder ? Window.OpenDialogFolder : "");
    char chosen[PATH_TEXT_SIZE];
    OPENFILENAMEW dialog;

    memset(&dialog, 0, sizeof dialog);
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = MainWindow;
    dialog.lpstrFile = path;
    dialog.nMaxFile = PATH_CHARACTERS; // 260 characters and the terminator
    dialog.lpstrInitialDir = folder;
    dialog.Flags = OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;
    if (GetOpenFileNameW(&dialog) && WideToUtf8Buffer(path, chosen, sizeof chosen)) {
        SetWindowTextW(Control(ID_SOURCE_PATH_EDIT), path);
        RememberSourceFolder(chosen);
    }
    free(folder);
    SetFocus(Control(ID_SOURCE_BROWSE_BUTTON));
}

void ChooseMethod(int radio)
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
            EnableControl(ID_SLICE_BUTTON, 1);
    } else if (!Window.DestinationValid) {
        EnableControl(ID_SLICE_BUTTON, 0);
    }
    Window.SliceDisabled = !choice->SliceEnable;
    EnableControl(ID_DESTINATION_EDIT, choice->DestinationOn);
    EnableControl(ID_DESTINATION_BROWSE_BUTTON, choice->DestinationOn);
    Window.RemovableMode = radio == ID_REMOVABLE_RADIO;
    ShowWindow(Control(ID_COUNT_NOTE), choice->ShownNote == ID_COUNT_NOTE ? SW_SHOW : SW_HIDE);
    ShowWindow(Control(ID_SIZE_NOTE), choice->ShownNote == ID_SIZE_NOTE ? SW_SHOW : SW_HIDE);
    RefreshRecoveryRow();
    if (choice->PlannerId >= 0)
        NotifyAsControl(choice->PlannerId, choice->PlannerCode);
}

void CheckDestination(void)
{
    char path[PATH_TEXT_SIZE];
    int isFolder = 0;

    // A destination is remembered whole or not at all, and the remembered
    // folder holds 259 characters: a longer one is no destination, as a
    // path cut to fit would name another folder.
    if (ReadControlPath(ID_DESTINATION_EDIT, path) &&
        Utf8Units(path, strlen(path)) <= FOLDER_CHARACTERS &&
        OsQueryPath(path, &isFolder) == 0 && isFolder) {
        if (!Window.JobRunning)
            EnableControl(ID_SLICE_BUTTON, 1);
        Window.DestinationValid = 1;
        Window.SliceDisabled = 0;
        snprintf(Folders.RememberedDestinationFolder, sizeof Folders.RememberedDestinationFolder,
                 "%s", path);
    } else {
        EnableControl(ID_SLICE_BUTTON, 0);
        Window.DestinationValid = 0;
        Window.SliceDisabled = 1;
    }
}

static int CALLBACK FolderBrowserProc(HWND browser, UINT message, LPARAM lParam, LPARAM data)
{
    wchar_t *folder;

    (void)lParam;
    (void)data;
    if (message == BFFM_INITIALIZED) {
        folder = Utf8ToWide(Folders.RememberedDestinationFolder);
        if (folder)
            SendMessageW(browser, BFFM_SETSELECTIONW, TRUE, (LPARAM)folder);
        free(folder);
    }
    return 0;
}

void ChooseDestination(void)
{
    IMalloc *allocator;
    BROWSEINFOW browse;
    LPITEMIDLIST chosen;
    wchar_t path[MAX_PATH];

    if (SUCCEEDED(SHGetMalloc(&allocator))) {
        memset(&browse, 0, sizeof browse);
        browse.hwndOwner = MainWindow;
        browse.lpszTitle = L"Select Destination Folder for SLICE";
        browse.ulFlags = BIF_RETURNONLYFSDIRS;
        browse.lpfn = FolderBrowserProc;
        chosen = SHBrowseForFolderW(&browse);
        if (chosen) {
            if (SHGetPathFromIDListW(chosen, path))
                SetWindowTextW(Control(ID_DESTINATION_EDIT), path);
            allocator->Free(chosen);
        }
        allocator->Release();
    }
    SetFocus(Control(ID_DESTINATION_BROWSE_BUTTON));
}
