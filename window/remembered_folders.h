// The folders the window starts in: the slicer's own folder, and the source
// and destination folders of the last session, kept in DORVANE.TXT there.
#ifndef DORVANE_REMEMBERED_FOLDERS_H
#define DORVANE_REMEMBERED_FOLDERS_H

#include "folder_lines.h"

#define FOLDERS_FILE_NAME "DORVANE.TXT"

// Process-wide; filled at window creation, written when the program ends.
struct FolderState {
    char ProgramFolder[FOLDER_LINE_SIZE];               // the slicer's folder, with its
                                                        // backslash, or empty
    char RememberedSourceFolder[FOLDER_LINE_SIZE];      // folder of the last source chosen
    char RememberedDestinationFolder[FOLDER_LINE_SIZE]; // last valid destination folder
};

extern FolderState Folders;

// ProgramFolder: where the search for "dorvane.exe" finds it (the running
// program's folder first), or empty when it finds none.
void FindProgramFolder(void);

// Both remembered folders from DORVANE.TXT; empty when it cannot be read.
void LoadRememberedFolders(void);

// Writes both remembered folders to DORVANE.TXT, replacing it.
void SaveRememberedFolders(void);

#endif
