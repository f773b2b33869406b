// The folders the window starts in: the slicer's own folder, and the source
// and destination folders of the last session, kept in DORVANE.TXT there
// with the recovery choice (folder_lines.h says how).
#ifndef DORVANE_REMEMBERED_FOLDERS_H
#define DORVANE_REMEMBERED_FOLDERS_H

#include "folder_lines.h"

#define FOLDERS_FILE_NAME "DORVANE.TXT"

// Process-wide; filled at window creation, written when the program ends.
// Every folder is UTF-8.
struct FolderState {
    char ProgramFolder[FOLDER_LINE_SIZE];               // the slicer's folder, with its
                                                        // backslash, or empty
    char RememberedSourceFolder[FOLDER_LINE_SIZE];      // folder of the last source chosen
    char RememberedDestinationFolder[FOLDER_LINE_SIZE]; // last valid destination folder
    RecoveryChoice Recovery;                            // the recovery choice last made
};

extern FolderState Folders;

// ProgramFolder: where the search for "dorvane.exe" finds it (the running
// program's folder first), or empty when it finds none.
void FindProgramFolder(void);

// Both remembered folders and the recovery choice from DORVANE.TXT; empty
// folders and the default choice when it cannot be read. A folder line of
// the ANSI era is read in the system's code page.
void LoadRememberedFolders(void);

// Writes both remembered folders and the recovery choice to DORVANE.TXT,
// replacing it.
void SaveRememberedFolders(void);

#endif
