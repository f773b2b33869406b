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

const char *JoinPortionName(const char *path)
{
    return path + NameStart(path);
}

enum { LIST_TOO_LARGE = -2 };

// Reads the file at path into the run's list text. Returns 0, the error, or
// LIST_TOO_LARGE.
static long ReadListFile(JoinRun *run, const char *path)
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
        run->List.Text = (char *)malloc(size ? (size_t)size : 1);
        error = run->List.Text ? OsRead(file, run->List.Text, (uint32_t)size, &done) : (long)OS_NO_MEMORY;
    }
    if (!error && done != size)
        error = 1;
    run->List.Length = done;
    OsClose(file);
    return error;
}

// Whether the list read is this set's: its last line names the set's file
// and size, or it lists the portion at hand (another set's list never does:
// sets that share a folder have other portion names), or, that line lost,
// it has the name only this set's list has (fromFileName).
static int IsThisSetsList(JoinRun *run, int fromFileName)
{
    ChecklistInfo last;
    uint32_t crc;

    if (ChecklistFind(run->List.Text, run->List.Length, JoinPortionName(run->Portion.Path), &crc))
        return 1;
    if (!ChecklistLastLine(run->List.Text, run->List.Length, &last))
        return fromFileName;
    return SameNameAsText(last.FileName, strlen(last.FileName), run->Set.FileName,
                          strlen(run->Set.FileName), 0) &&
           last.FileSize == run->Set.FileSize;
}

// Reads the file name beside the portion as the set's list (fromFileName:
// named after the sliced file by the list's rule). Returns 0 when it is this
// set's, OS_FILE_NOT_FOUND when there is none or it is another set's, or
// the error that keeps it from being read.
static long TryList(JoinRun *run, const char *name, int fromFileName)
{
    long error;

    free(run->List.Path);
    free(run->List.Text);
    run->List.Text = NULL;
    run->List.Path = BuildPath(run->Portion.Path, NameStart(run->Portion.Path), 0, name, NULL);
    if (!run->List.Path)
        return OS_NO_MEMORY;
    error = ReadListFile(run, run->List.Path);
    if (!error && !IsThisSetsList(run, fromFileName))
        error = OS_FILE_NOT_FOUND;
    return error;
}

// The list is named after the sliced file (BIG.DAT: BIG.DAT.sfv), or by the
// earlier rule (BIG.SFV, which A.DAT and A.TXT shared), from the header's
// name or the portion's: each is taken only when it is this set's. Where
// none is, the lists named like the portions (BIG.D??.sfv) are read, in
// byte order: a damaged file name in a header must not hide the list that
// finds it out. Returns as TryList.
static long FindList(JoinRun *run)
{
    const char *fileName = run->Set.FileName;
    char name[FILE_NAME_FIELD], after[FILE_NAME_FIELD] = "", *pattern;
    long error = OS_FILE_NOT_FOUND;

    for (int i = 0; i < 3 && error == OS_FILE_NOT_FOUND; i++)
        if ((i == 0 ? ChecklistName(fileName, name)
                    : ChecklistEarlierName(i == 1 ? fileName : JoinPortionName(run->Portion.Path),
                                           name)) == 0)
            error = TryList(run, name, i == 0);
    if (error != OS_FILE_NOT_FOUND)
        return error;
    pattern = BuildPath(run->Portion.Path, strlen(run->Portion.Path) - 2, 0, "??.sfv", NULL);
    if (!pattern) {
        free(run->List.Path);
        run->List.Path = NULL;
        return OS_NO_MEMORY;
    }
    while (error == OS_FILE_NOT_FOUND && OsFindNext(pattern, after, name, sizeof name) == 0) {
        error = TryList(run, name, 0);
        memcpy(after, name, sizeof after);
    }
    free(pattern);
    return error;
}

int JoinReadList(JoinRun *run)
{
    long error = FindList(run);
    int parsed;

    run->List.State = LIST_UNUSABLE;
    if (error == OS_FILE_NOT_FOUND || (error && !run->List.Path)) {
        run->List.State = LIST_NONE;
        return 0;
    }
    if (error == LIST_TOO_LARGE) {
        JoinSay("Warning: the checksum list %s is too large to be one.\n", run->List.Path);
        return 0;
    }
    if (error) {
        JoinSay("Warning: the checksum list %s cannot be read = %ld\n", run->List.Path, error);
        return 0;
    }
    parsed = ChecklistParse(run->List.Text, run->List.Length, &run->List.Info);
    if (parsed == CHECKLIST_BAD_LINE || parsed == CHECKLIST_DUPLICATE) {
        JoinSay("Warning: the checksum list %s is damaged at line %d.\n", run->List.Path,
                   (int)run->List.Info.BadLine);
        return 0;
    }
    if (parsed) {
        JoinSay("Warning: the checksum list %s is incomplete.\n", run->List.Path);
        return 0;
    }
    // A list that describes another file than the headers do: either the
    // list or the headers are damaged. The portions' own lines tell which,
    // so the check goes on and names a damaged portion where there is one;
    // otherwise the set ends as damaged all the same, never as restored.
    run->List.Foreign = !SameNameAsText(run->List.Info.FileName, strlen(run->List.Info.FileName),
                                        run->Set.FileName, strlen(run->Set.FileName), 0) ||
                       run->List.Info.FileSize != run->Set.FileSize;
    run->List.State = LIST_USABLE;
    return 0;
}

// ---- The comparisons --------------------------------------------------------

// Names portion index as the damaged one.
static int Damaged(JoinRun *run, unsigned index, int damage)
{
    SetPortionNumber(run->Portion.Path, index);
    run->Damage = damage;
    run->DamagedDisk = run->Set.Removable ? (int)index + 1 : 0;
    run->PendingError = 1;
    return JOIN_DAMAGED;
}

int JoinCheckPortion(JoinRun *run, unsigned index)
{
    uint32_t listed;

    if (run->List.State != LIST_USABLE)
        return 0;
    SetPortionNumber(run->Portion.Path, index);
    if (!ChecklistFind(run->List.Text, run->List.Length, JoinPortionName(run->Portion.Path),
                       &listed))
        return Damaged(run, index, DAMAGE_UNLISTED);
    if (listed == run->Set.PortionCrcs[index])
        return 0;
    run->FoundCrc = run->Set.PortionCrcs[index];
    run->ListedCrc = listed;
    return Damaged(run, index, DAMAGE_CHECKSUM);
}

int JoinListsMissing(JoinRun *run)
{
    uint32_t listed;

    if (run->List.State != LIST_USABLE ||
        !ChecklistFind(run->List.Text, run->List.Length, JoinPortionName(run->Portion.Path), &listed))
        return 0;
    Damaged(run, run->Portion.Index, DAMAGE_MISSING);
    return 1;
}

int JoinCheckSetEnd(JoinRun *run, unsigned last, int portionsChecked)
{
    int result = 0;

    if (run->List.State != LIST_USABLE)
        return 0;
    for (unsigned i = 0; i <= last && !portionsChecked && !result; i++)
        result = JoinCheckPortion(run, i);
    if (!result && run->List.Info.Portions > last + 1)
        result = Damaged(run, last + 1, DAMAGE_MISSING);
    if (!result && run->Out.DataCrc != run->List.Info.FileCrc) {
        run->FoundCrc = run->Out.DataCrc;
        run->ListedCrc = run->List.Info.FileCrc;
        run->Damage = DAMAGE_DATA;
        run->PendingError = 1;
        result = JOIN_DAMAGED;
    }
    if (!result && run->List.Foreign) {
        run->Damage = DAMAGE_OTHER_FILE;
        run->PendingError = 1;
        result = JOIN_DAMAGED;
    }
    return result;
}

// ---- The not-verified line --------------------------------------------------

void JoinSayNotVerified(const JoinRun *run)
{
    if (run->List.State == LIST_NONE)
        JoinSay("The slice set carried no checksum list; %s was not verified.\n",
                   run->Set.FileName);
    else if (run->List.State == LIST_UNUSABLE)
        JoinSay("The slice set carried no usable checksum list; %s was not verified.\n",
                   run->Set.FileName);
}
