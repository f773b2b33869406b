#include "remembered_folders.h"

#include <windows.h>

#include <stdio.h>
#include <string.h>

FolderState Folders;

void FindProgramFolder(void)
{
    char *namePart = NULL;
    DWORD length;

    Folders.ProgramFolder[0] = '\0';
    length = SearchPathA(NULL, "dorvane.exe", NULL, sizeof Folders.ProgramFolder,
                         Folders.ProgramFolder, &namePart);
    if (length == 0 || length >= sizeof Folders.ProgramFolder || !namePart) {
        Folders.ProgramFolder[0] = '\0';
        return;
    }
    *namePart = '\0';
}

// ProgramFolder + "DORVANE.TXT" into path; 0, or -1 when it does not fit.
static int FoldersFilePath(char path[MAX_PATH])
{
    int length = snprintf(path, MAX_PATH, "%s%s", Folders.ProgramFolder, FOLDERS_FILE_NAME);

    return length >= 0 && length < MAX_PATH ? 0 : -1;
}

void LoadRememberedFolders(void)
{
    char path[MAX_PATH];
    char text[FOLDER_FILE_MAX];
    DWORD length = 0;
    HANDLE file;

    Folders.RememberedSourceFolder[0] = '\0';
    Folders.RememberedDestinationFolder[0] = '\0';
    if (FoldersFilePath(path))
        return;
    file = CreateFileA(path, GENERIC_READ, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return;
    if (ReadFile(file, text, sizeof text, &length, NULL))
        ParseRememberedFolders(text, length, Folders.RememberedSourceFolder,
                               Folders.RememberedDestinationFolder);
    CloseHandle(file);
}

void SaveRememberedFolders(void)
{
    char path[MAX_PATH];
    char text[2 * FOLDER_LINE_SIZE + 2];
    int length;
    DWORD written;
    HANDLE file;

    if (FoldersFilePath(path))
        return;
    length = snprintf(text, sizeof text, "%s\n%s\n", Folders.RememberedSourceFolder,
                      Folders.RememberedDestinationFolder);
    if (length < 0 || (size_t)length >= sizeof text)
        return;
    file = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return;
    WriteFile(file, text, (DWORD)length, &written, NULL);
    CloseHandle(file);
}
