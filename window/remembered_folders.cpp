// The window's remembered folders (remembered_folders.h): DORVANE.TXT in the
// slicer's own folder, read when the window opens and written whole when
// the program ends, through the platform layer.
#include "remembered_folders.h"

#include <stdio.h>
#include <string.h>

#include "os/files.h"
#include "os/process.h"

enum { FOLDERS_PATH_SIZE = 260 }; // MAX_PATH: the folder and the file's name

FolderState Folders;

void FindProgramFolder(void)
{
    if (OsFindProgramFolder("dorvane.exe", Folders.ProgramFolder, sizeof Folders.ProgramFolder))
        Folders.ProgramFolder[0] = '\0';
}

// ProgramFolder + "DORVANE.TXT" into path; 0, or -1 when it does not fit.
static int FoldersFilePath(char path[FOLDERS_PATH_SIZE])
{
    int length =
        snprintf(path, FOLDERS_PATH_SIZE, "%s%s", Folders.ProgramFolder, FOLDERS_FILE_NAME);

    return length >= 0 && length < FOLDERS_PATH_SIZE ? 0 : -1;
}

void LoadRememberedFolders(void)
{
    char path[FOLDERS_PATH_SIZE];
    char text[FOLDER_FILE_MAX];
    uint32_t length = 0;
    OsFile file;

    Folders.RememberedSourceFolder[0] = '\0';
    Folders.RememberedDestinationFolder[0] = '\0';
    if (FoldersFilePath(path) || OsOpenRead(path, &file))
        return;
    if (OsRead(file, text, sizeof text, &length) == 0)
        ParseRememberedFolders(text, length, Folders.RememberedSourceFolder,
                               Folders.RememberedDestinationFolder);
    OsClose(file);
}

void SaveRememberedFolders(void)
{
    char path[FOLDERS_PATH_SIZE];
    char text[2 * FOLDER_LINE_SIZE + 2];
    int length;

    if (FoldersFilePath(path))
        return;
    length = snprintf(text, sizeof text, "%s\n%s\n", Folders.RememberedSourceFolder,
                      Folders.RememberedDestinationFolder);
    if (length < 0 || (size_t)length >= sizeof text)
        return;
    // Nothing to tell the user about a failure as the program ends: the next
    // start finds the folders it finds, or none.
    OsWriteWholeFile(path, text, (uint32_t)length);
}
