// Locating a slice set: paths built from the source and the destination,
// the source told apart (folder or name), portion 00 found and its header
// read and checked. Parts: paths; the source; headers and the first portion.
#include "restore_run.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "os/files.h"
#include "os/process.h"

// ---- Paths ------------------------------------------------------------------

int RestoreEndsWithSeparator(const char *path)
{
    size_t length = strlen(path);
    char last = length ? path[length - 1] : 0;

    if (!length)
        return 1; // an empty folder is the current one: the bare name
    return last == OS_SEPARATOR || (OS_DRIVE_SEPARATOR && last == OS_DRIVE_SEPARATOR);
}

// A heap string of the three parts, the separator only when asked for.
char *RestoreJoinPath(const char *folder, int separator, const char *name)
{
    size_t folderLength = strlen(folder);
    size_t nameLength = strlen(name);
    char *path = (char *)malloc(folderLength + 1 + nameLength + 1);

    if (!path)
        return NULL;
    memcpy(path, folder, folderLength);
    if (separator)
        path[folderLength++] = OS_SEPARATOR;
    memcpy(path + folderLength, name, nameLength + 1);
    return path;
}

// ---- The source -------------------------------------------------------------

// Folder or name: on a removable source asked only once disk 1 is in, for
// a drive without a disk is neither.
static void ClassifySource(RestoreRun *run)
{
    const char *source = run->SourceArgument;
    size_t length = strlen(source);
    int isFolder = 0;

    run->NameArgument = OsQueryPath(run->SourcePath, &isFolder) != 0 || !isFolder;
    run->DestinationNameForm = !(length >= 1 && source[length - 1] == '0') &&
                               !(length >= 2 && source[length - 2] == '0');
}

// Before disk 1 is asked for: paths that stay valid once the current folder
// is left, for a process standing in a mount point keeps its disk in place.
int RestoreLeaveCurrentFolder(RestoreRun *run)
{
    long error = OsLastingPath(run->SourceArgument, &run->LastingSource);

    if (!error)
        error = OsLastingPath(run->DestinationFolder, &run->LastingDestination);
    if (error) {
        run->PendingError = error;
        return RESTORE_NO_CURRENT_FOLDER;
    }
    run->SourcePath = run->LastingSource;
    run->DestinationPath = run->LastingDestination;
    OsLeaveCurrentFolder();
    return 0;
}

static int LocateInFolder(RestoreRun *run)
{
    const char *source = run->SourcePath;
    // A drive name (A:) takes a bare file name, which lands in the drive's
    // current folder. Where there are no drive names a removable source is a
    // mount point, a folder like any other.
    int separator =
        !(run->RemovableSource && OS_DRIVE_SEPARATOR) && !RestoreEndsWithSeparator(source);
    char name[FILE_NAME_FIELD + 4];
    char *pattern = RestoreJoinPath(source, separator, "*00");
    long error;

    if (!pattern)
        return RESTORE_NO_SOURCE_PATH;
    error = OsFindFirst(pattern, name, sizeof name);
    free(pattern);
    if (error) {
        run->PendingError = error;
        return RESTORE_NO_FIRST_PORTION;
    }
    run->PortionPath = RestoreJoinPath(source, separator, name);
    return run->PortionPath ? 0 : RESTORE_NO_SOURCE_PATH;
}

static int LocateByName(RestoreRun *run)
{
    const char *source = run->SourceArgument;
    size_t length = strlen(run->SourcePath);
    int numbered = strlen(source) >= 2;
    long error;

    run->PortionPath = RestoreJoinPath(run->SourcePath, 0, "");
    if (!run->PortionPath)
        return RESTORE_NO_SOURCE_PATH;
    // Whichever portion is named, and a sliced file whose own name looks like
    // a portion's (BACKUP.001), the set is read from its portion 00, so that
    // every portion is read once and in order. A name of fewer than two
    // characters has no room for a portion number: no portion can be named
    // by it, so it is reported as not found.
    if (numbered)
        run->PortionPath[length - 2] = run->PortionPath[length - 1] = '0';
    error = numbered ? OsQueryPath(run->PortionPath, NULL) : (long)OS_FILE_NOT_FOUND;
    if (error != OS_FILE_NOT_FOUND)
        return 0;
    if (run->DestinationNameForm)
        printf("There is no slice set corresponding to %s in %s.\n", source,
               run->DestinationFolder);
    else
        printf("In %s, %s is not a valid starting file for Kelmorix.\n", run->DestinationFolder,
               source);
    return RESTORE_NO_FIRST_PORTION;
}

// ---- Headers and the first portion ------------------------------------------

// Opens the portion path, checks its length and reads its header.
int RestoreReadPortionHeader(RestoreRun *run, int readFailure)
{
    uint64_t size = 0;
    uint32_t done = 0;
    long error = OsOpenRead(run->PortionPath, &run->Portion);

    if (error) {
        run->Portion = 0;
        run->PendingError = error;
        return RESTORE_OPEN_PORTION;
    }
    error = OsFileSize(run->Portion, &size);
    if (!error && size < PORTION_HEADER_SIZE) {
        run->PendingError = 1;
        return RESTORE_SHORT_PORTION;
    }
    if (!error)
        error = OsRead(run->Portion, run->RawHeader, PORTION_HEADER_SIZE, &done);
    if (error || done != PORTION_HEADER_SIZE) {
        run->PendingError = error ? error : 1;
        return readFailure;
    }
    DecodePortionHeader(run->RawHeader, &run->Header);
    return 0;
}

void RestoreClosePortion(RestoreRun *run)
{
    if (run->Portion)
        OsClose(run->Portion);
    run->Portion = 0;
}

static int ReadFirstHeader(RestoreRun *run)
{
    int result = RestoreReadPortionHeader(run, RESTORE_READ_FIRST_HEADER);
    long error;

    if (result == RESTORE_OPEN_PORTION)
        return RESTORE_NO_FIRST_PORTION;
    if (result) {
        RestoreClosePortion(run);
        return result;
    }
    error = OsClose(run->Portion);
    run->Portion = 0;
    if (error) {
        run->PendingError = error;
        return RESTORE_CLOSE_FIRST;
    }
    memcpy(run->FirstHeader, run->RawHeader, PORTION_HEADER_SIZE);
    // The name becomes a path in the destination: refuse anything that would
    // reach another folder, drive or stream, or run past its field.
    if (CheckRestoreName(run->Header.FileName) != NAME_OK) {
        run->PendingError = 1;
        return RESTORE_UNSAFE_NAME;
    }
    return 0;
}

int RestoreFindFirstPortion(RestoreRun *run)
{
    int result;

    ClassifySource(run);
    result = run->NameArgument ? LocateByName(run) : LocateInFolder(run);
    return result ? result : ReadFirstHeader(run);
}
