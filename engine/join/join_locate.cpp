// Locating a slice set: paths built from the source and the destination,
// the source told apart (folder or name), portion 00 found and its header
// read and checked. Parts: paths; the source; headers and the first portion.
#include "join_run.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "os/files.h"
#include "os/process.h"

// ---- Paths ------------------------------------------------------------------

int JoinEndsWithSeparator(const char *path)
{
    size_t length = strlen(path);
    char last = length ? path[length - 1] : 0;

    if (!length)
        return 1; // an empty folder is the current one: the bare name
    return last == OS_SEPARATOR || (OS_DRIVE_SEPARATOR && last == OS_DRIVE_SEPARATOR);
}

// ---- The source -------------------------------------------------------------

// Folder or name: on a removable source asked only once disk 1 is in, for
// a drive without a disk is neither.
static void ClassifySource(JoinRun *run)
{
    const char *source = run->Set.Argument;
    size_t length = strlen(source);
    int isFolder = 0;

    run->Set.NameArgument = OsQueryPath(run->Set.Path, &isFolder) != 0 || !isFolder;
    run->Out.NameForm = !(length >= 1 && source[length - 1] == '0') &&
                               !(length >= 2 && source[length - 2] == '0');
}

// Before disk 1 is asked for: paths that stay valid once the current folder
// is left, for a process standing in a mount point keeps its disk in place.
int JoinLeaveCurrentFolder(JoinRun *run)
{
    long error = OsLastingPath(run->Set.Argument, &run->Set.LastingPath);

    if (!error)
        error = OsLastingPath(run->Out.Folder, &run->Out.LastingFolder);
    if (error) {
        run->PendingError = error;
        return JOIN_NO_CURRENT_FOLDER;
    }
    run->Set.Path = run->Set.LastingPath;
    run->Out.FolderPath = run->Out.LastingFolder;
    OsLeaveCurrentFolder();
    return 0;
}

// Whether the file at path can be a set's portion 00: a header's length,
// a LastPortion of 0 or 1, a name with its terminator.
static int IsFirstPortion(const char *path)
{
    unsigned char raw[PORTION_HEADER_SIZE];
    uint64_t size;

    return ReadPortionHeader(path, raw, &size) == 0 && raw[OFFSET_LAST_PORTION] <= 1 &&
           memchr(raw + OFFSET_FILE_NAME, 0, FILE_NAME_FIELD) != NULL;
}

// The first name ending in 00, in byte order, that can be a first portion:
// an unrelated build100 beside a set does not stop its rebuild. Where none
// can be, the first such file is taken, so that what is wrong with it is
// told.
static int LocateInFolder(JoinRun *run)
{
    const char *source = run->Set.Path;
    // A drive name (A:) takes a bare file name, which lands in the drive's
    // current folder. Where there are no drive names a removable source is a
    // mount point, a folder like any other.
    int separator =
        !(run->Set.Removable && OS_DRIVE_SEPARATOR) && !JoinEndsWithSeparator(source);
    char name[FILE_NAME_FIELD + 4], previous[FILE_NAME_FIELD + 4], first[FILE_NAME_FIELD + 4];
    char *pattern = BuildPath(source, strlen(source), separator, "*00", NULL);
    long error;
    int isFolder;

    if (!pattern)
        return JOIN_NO_SOURCE_PATH;
    name[0] = first[0] = 0;
    for (;;) {
        memcpy(previous, name, sizeof name);
        error = OsFindNext(pattern, previous, name, sizeof name);
        free(run->Portion.Path);
        run->Portion.Path = error ? NULL : BuildPath(source, strlen(source), separator, name, NULL);
        if (!run->Portion.Path)
            break;
        isFolder = 1;
        // A name found only through its short form (Windows) does not end in 00.
        if (PortionNumberOf(name) != 0 || OsQueryPath(run->Portion.Path, &isFolder) || isFolder)
            continue;
        if (!first[0])
            memcpy(first, name, sizeof name);
        if (IsFirstPortion(run->Portion.Path))
            break;
    }
    free(pattern);
    if (run->Portion.Path)
        return 0;
    if (error && !first[0]) {
        run->PendingError = error;
        return JOIN_NO_FIRST_PORTION;
    }
    run->Portion.Path = BuildPath(source, strlen(source), separator, first, NULL);
    return run->Portion.Path ? 0 : JOIN_NO_SOURCE_PATH;
}

#ifdef _WIN32
// The written messages name the destination folder here.
static const char *SearchedFolder(JoinRun *run, char *)
{
    return run->Out.Folder;
}
enum { SEARCHED_FOLDER_SIZE = 1 };
#else
enum { SEARCHED_FOLDER_SIZE = 4096 };

// The folder a name was looked for in: its own, or the current one.
static const char *SearchedFolder(JoinRun *run, char *folder)
{
    const char *source = run->Set.Argument;
    const char *slash = strrchr(source, '/');

    if (slash)
        snprintf(folder, SEARCHED_FOLDER_SIZE, "%.*s", slash == source ? 1 : (int)(slash - source),
                 source);
    else if (OsCurrentFolder(folder, SEARCHED_FOLDER_SIZE))
        snprintf(folder, SEARCHED_FOLDER_SIZE, ".");
    return folder;
}
#endif

static int LocateByName(JoinRun *run)
{
    const char *source = run->Set.Argument;
    char folder[SEARCHED_FOLDER_SIZE];
    size_t length = strlen(run->Set.Path);
    int numbered = strlen(source) >= 2;
    long error;

    run->Portion.Path = JoinPath(run->Set.Path, "");
    if (!run->Portion.Path)
        return JOIN_NO_SOURCE_PATH;
    // Whichever portion is named, and a sliced file whose own name looks like
    // a portion's (BACKUP.001), the set is read from its portion 00, so that
    // every portion is read once and in order. A name of fewer than two
    // characters has no room for a portion number: no portion can be named
    // by it, so it is reported as not found.
    if (numbered)
        run->Portion.Path[length - 2] = run->Portion.Path[length - 1] = '0';
    error = numbered ? OsQueryPath(run->Portion.Path, NULL) : (long)OS_FILE_NOT_FOUND;
    if (error != OS_FILE_NOT_FOUND)
        return 0;
    if (run->Out.NameForm)
        JoinSayError("There is no slice set corresponding to %s in %s.\n", source,
                   SearchedFolder(run, folder));
    else
        JoinSayError("In %s, %s is not a valid starting file for Kelmorix.\n",
                   SearchedFolder(run, folder), source);
    return JOIN_NO_FIRST_PORTION;
}

// ---- Headers and the first portion ------------------------------------------

// Opens the portion path, checks its length and reads its header.
int JoinReadPortionHeader(JoinRun *run, int readFailure)
{
    long error = OsOpenRead(run->Portion.Path, &run->Portion.File);

    if (error) {
        run->Portion.File = 0;
        run->PendingError = error;
        return JOIN_OPEN_PORTION;
    }
    error = ReadPortionHeaderFrom(run->Portion.File, run->Portion.RawHeader, &run->Portion.Size);
    run->PendingError = error < 0 ? 1 : error;
    if (error)
        return error < 0 ? JOIN_SHORT_PORTION : readFailure;
    DecodePortionHeader(run->Portion.RawHeader, &run->Portion.Header);
    return 0;
}

void JoinClosePortion(JoinRun *run)
{
    if (run->Portion.File)
        OsClose(run->Portion.File);
    run->Portion.File = 0;
}

static int ReadFirstHeader(JoinRun *run)
{
    int result = JoinReadPortionHeader(run, JOIN_READ_FIRST_HEADER);
    long error;

    // A portion 00 that is there but cannot be read is told with its error.
    if (result == JOIN_OPEN_PORTION)
        return JOIN_NO_FIRST_PORTION;
    if (result) {
        JoinClosePortion(run);
        return result;
    }
    error = OsClose(run->Portion.File);
    run->Portion.File = 0;
    if (error) {
        run->PendingError = error;
        return JOIN_CLOSE_FIRST;
    }
    memcpy(run->Set.FirstHeader, run->Portion.RawHeader, PORTION_HEADER_SIZE);
    run->Set.FirstSize = run->Portion.Size;
    run->PendingError = 1;
    if (run->Portion.Header.LastPortion > 1) {
        run->DamagedHeader = 1;
        return JOIN_READ_FIRST_HEADER;
    }
    // The slicer's own rule: one plain file in the destination, a name
    // Windows can hold, nothing a terminal would act on.
    if (CheckStoredFileName(run->Portion.Header.FileName) != NAME_OK)
        return JOIN_UNSAFE_NAME;
    // UTF-8, or a name of the ANSI era read as text: the output takes it,
    // and every message shows it.
    if (NameAsText(run->Portion.Header.FileName, strlen(run->Portion.Header.FileName),
                   run->Set.FileName, sizeof run->Set.FileName) != 0)
        return JOIN_UNSAFE_NAME;
    run->PendingError = 0;
    return 0;
}

int JoinFindFirstPortion(JoinRun *run)
{
    int result;

    ClassifySource(run);
    result = run->Set.NameArgument ? LocateByName(run) : LocateInFolder(run);
    return result ? result : ReadFirstHeader(run);
}
