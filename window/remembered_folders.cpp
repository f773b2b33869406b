// The window's remembered folders (remembered_folders.h): DORVANE.TXT in the
// slicer's own folder, read when the window opens and written whole when
// the program ends, through the platform layer.
#include "remembered_folders.h"

#include <stdio.h>
#include <string.h>

#include "format/name_text.h"
#include "os/files.h"
#include "os/names.h"
#include "os/process.h"

// The folder and the file's name.
enum { FOLDERS_PATH_SIZE = FOLDER_LINE_SIZE + sizeof FOLDERS_FILE_NAME };

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

// A folder line of the ANSI era (at most FOLDER_CHARACTERS bytes) in UTF-8,
// which takes at most 3 bytes for each: it fits. Left as it was should the
// reading fail.
static void ReadAnsiEra(char folder[FOLDER_LINE_SIZE])
{
    char read[FOLDER_LINE_SIZE];
    size_t length = strlen(folder);

    if (IsUtf8(folder, length) || OsLegacyNameToUtf8(folder, length, read, sizeof read))
        return;
    memcpy(folder, read, sizeof read);
}

void LoadRememberedFolders(void)
{
    char path[FOLDERS_PATH_SIZE];
    char text[FOLDER_FILE_MAX];
    uint32_t length = 0;
    OsFile file;

    Folders.RememberedSourceFolder[0] = '\0';
    Folders.RememberedDestinationFolder[0] = '\0';
    ParseRecoveryChoice("", 0, &Folders.Recovery);
    if (FoldersFilePath(path) || OsOpenRead(path, &file))
        return;
    if (OsRead(file, text, sizeof text, &length) == 0) {
        ParseRememberedFolders(text, length, Folders.RememberedSourceFolder,
                               Folders.RememberedDestinationFolder);
        ParseRecoveryChoice(text, length, &Folders.Recovery);
        ReadAnsiEra(Folders.RememberedSourceFolder);
        ReadAnsiEra(Folders.RememberedDestinationFolder);
    }
    OsClose(file);
}

void SaveRememberedFolders(void)
{
    char path[FOLDERS_PATH_SIZE];
    char text[2 * FOLDER_LINE_SIZE + 64];
    size_t length;

    if (FoldersFilePath(path))
        return;
    length = FormatRememberedFolders(Folders.RememberedSourceFolder,
                                     Folders.RememberedDestinationFolder, &Folders.Recovery, text,
                                     sizeof text);
    // Nothing to tell the user about a failure as the program ends: the next
    // start finds the folders it finds, or none.
    if (length)
        OsWriteWholeFile(path, text, (uint32_t)length);
}
