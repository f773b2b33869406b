// The check against the checksum list that the slicer writes beside a set:
// the list found and read, each portion's CRC-32 (taken as the portion is
// copied, so it is read once) compared with its line, and the data's CRC
// with the list's file line. Parts: the list; the comparisons; the
// not-verified line.
#include "join_run.h"

#include <stdlib.h>
#include <string.h>

#include "os/files.h"

// ---- The list -------------------------------------------------------------

// Where the file name starts in a path.
static size_t NameStart(const char *path)
{
    size_t i = strlen(path);

    while (i > 0 && path[i - 1] != OS_SEPARATOR && path[i - 1] != '/' &&
           !(OS_DRIVE_SEPARATOR && path[i - 1] == OS_DRIVE_SEPARATOR))
        i--;
    return i;
}

const char *RestorePortionName(const char *path)
{
    return path + NameStart(path);
}

enum { LIST_TOO_LARGE = -2 };

// Reads the file at path into the run's list text. Returns 0, the error, or
// LIST_TOO_LARGE.
static long ReadListFile(RestoreRun *run, const char *path)
{
    OsFile file = 0;
    uint64_t size = 0;
    uint32_t done = 0;
    long error = OsOpenRead(path, &file);

    if (error)
        return error;
    error = OsFileSize(file, &size);
    if (!error && size > CHECKLIST_MAX_SIZE)
        error = LIST_TOO_LARGE;
    if (!error) {
        run->ListText = (char *)malloc(size ? (size_t)size : 1);
        error = run->ListText ? OsRead(file, run->ListText, (uint32_t)size, &done) : (long)OS_NO_MEMORY;
    }
    if (!error && done != size)
        error = 1;
    run->ListLength = done;
    OsClose(file);
    return error;
}

// The list is named after the sliced file (BIG.DAT: BIG.SFV). Where that
// name is not there, the one made from the portion's name is tried: a
// damaged file name in a header must not hide the list that finds it out.
static long FindList(RestoreRun *run)
{
    const char *names[2] = {run->Header.FileName, RestorePortionName(run->PortionPath)};
    size_t folder = NameStart(run->PortionPath);
    char name[FILE_NAME_FIELD];
    long error = OS_FILE_NOT_FOUND;

    for (int i = 0; i < 2 && error == OS_FILE_NOT_FOUND; i++) {
        if (ChecklistName(names[i], name) != 0)
            continue;
        free(run->ListPath);
        run->ListPath = (char *)malloc(folder + strlen(name) + 1);
        if (!run->ListPath)
            return OS_NO_MEMORY;
        memcpy(run->ListPath, run->PortionPath, folder);
        strcpy(run->ListPath + folder, name);
        free(run->ListText);
        run->ListText = NULL;
        error = ReadListFile(run, run->ListPath);
    }
    return error;
}

int RestoreReadList(RestoreRun *run)
{
    long error = FindList(run);
    int parsed;

    run->List = LIST_UNUSABLE;
    if (error == OS_FILE_NOT_FOUND || (error && !run->ListPath)) {
        run->List = LIST_NONE;
        return 0;
    }
    if (error == LIST_TOO_LARGE) {
        RestoreSay("Warning: the checksum list %s is too large to be one.\n", run->ListPath);
        return 0;
    }
    if (error) {
        RestoreSay("Warning: the checksum list %s cannot be read = %ld\n", run->ListPath, error);
        return 0;
    }
    parsed = ChecklistParse(run->ListText, run->ListLength, &run->ListInfo);
    if (parsed == CHECKLIST_BAD_LINE || parsed == CHECKLIST_DUPLICATE) {
        RestoreSay("Warning: the checksum list %s is damaged at line %d.\n", run->ListPath,
                   (int)run->ListInfo.BadLine);
        return 0;
    }
    if (parsed) {
        RestoreSay("Warning: the checksum list %s is incomplete.\n", run->ListPath);
        return 0;
    }
    // A list that describes another file than the headers do: either the
    // list or the headers are damaged. The portions' own lines tell which,
    // so the check goes on and names a damaged portion where there is one;
    // otherwise the set ends as damaged all the same, never as restored.
    run->ListForeign = strcmp(run->ListInfo.FileName, run->Header.FileName) != 0 ||
                       run->ListInfo.FileSize != run->FileSize;
    run->List = LIST_USABLE;
    return 0;
}

// ---- The comparisons --------------------------------------------------------

// Names portion index as the damaged one.
static int Damaged(RestoreRun *run, unsigned index, int damage)
{
    SetPortionNumber(run->PortionPath, index);
    run->Damage = damage;
    run->DamagedDisk = run->RemovableSource ? (int)index + 1 : 0;
    run->PendingError = 1;
    return RESTORE_DAMAGED;
}

int RestoreCheckPortion(RestoreRun *run, unsigned index)
{
    uint32_t listed;

    if (run->List != LIST_USABLE)
        return 0;
    SetPortionNumber(run->PortionPath, index);
    if (!ChecklistFind(run->ListText, run->ListLength, RestorePortionName(run->PortionPath),
                       &listed))
        return Damaged(run, index, DAMAGE_UNLISTED);
    if (listed == run->PortionCrcs[index])
        return 0;
    run->FoundCrc = run->PortionCrcs[index];
    run->ListedCrc = listed;
    return Damaged(run, index, DAMAGE_CHECKSUM);
}

int RestoreListsMissing(RestoreRun *run)
{
    uint32_t listed;

    if (run->List != LIST_USABLE ||
        !ChecklistFind(run->ListText, run->ListLength, RestorePortionName(run->PortionPath), &listed))
        return 0;
    Damaged(run, run->PortionIndex, DAMAGE_MISSING);
    return 1;
}

int RestoreCheckSetEnd(RestoreRun *run, unsigned last, int portionsChecked)
{
    int result = 0;

    if (run->List != LIST_USABLE)
        return 0;
    for (unsigned i = 0; i <= last && !portionsChecked && !result; i++)
        result = RestoreCheckPortion(run, i);
    if (!result && run->ListInfo.Portions > last + 1)
        result = Damaged(run, last + 1, DAMAGE_MISSING);
    if (!result && run->DataCrc != run->ListInfo.FileCrc) {
        run->FoundCrc = run->DataCrc;
        run->ListedCrc = run->ListInfo.FileCrc;
        run->Damage = DAMAGE_DATA;
        run->PendingError = 1;
        result = RESTORE_DAMAGED;
    }
    if (!result && run->ListForeign) {
        run->Damage = DAMAGE_OTHER_FILE;
        run->PendingError = 1;
        result = RESTORE_DAMAGED;
    }
    return result;
}

// ---- The not-verified line --------------------------------------------------

void RestoreSayNotVerified(const RestoreRun *run)
{
    if (run->List == LIST_NONE)
        RestoreSay("The slice set carried no checksum list; %s was not verified.\n",
                   run->Header.FileName);
    else if (run->List == LIST_UNUSABLE)
        RestoreSay("The slice set carried no usable checksum list; %s was not verified.\n",
                   run->Header.FileName);
}
