// The proofs a set carries, and each portion judged by them: the checksum
// list the slicer writes beside a set (found, and read line by line as the
// common checkers read it), each portion's CRC-32 (taken as the portion is
// copied, so it is read once) compared with its line, and, where the
// recovery data describes the portion, the MD5 and CRC-32 of its slice,
// which outweigh the list. In order: the list; the verdict; the set's end;
// the not-verified line.
#include "join_run.h"

#include <stdlib.h>
#include <string.h>

#include "integrity/crc32.h"
#include "os/files.h"
#include "recovery/repair.h"

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

// A line of the list found damaged: by reading it, or by a stronger proof.
static const char DamagedLine[] = "Warning: the checksum list %s is damaged at line %d.\n";

// Reads the file at path into the run's list text: no more than a list can
// hold, cut back to its last whole line. Returns 0, the error, or
// LIST_TOO_LARGE (the text read all the same).
static long ReadListFile(JoinRun *run, const char *path)
{
    OsFile file = 0;
    uint64_t size = 0;
    uint32_t done = 0;
    long error = OsOpenRead(path, &file);
    int large;

    if (error)
        return error;
    error = OsFileSize(file, &size);
    large = size > CHECKLIST_MAX_SIZE;
    size = large ? (uint64_t)CHECKLIST_MAX_SIZE : size;
    if (!error) {
        run->List.Text = (char *)malloc(size ? (size_t)size : 1);
        error = run->List.Text ? OsRead(file, run->List.Text, (uint32_t)size, &done) : (long)OS_NO_MEMORY;
    }
    if (!error && done != size)
        error = 1;
    while (large && done > 0 && run->List.Text[done - 1] != '\n' && run->List.Text[done - 1] != '\r')
        done--;
    run->List.Length = done;
    OsClose(file);
    return error ? error : large ? LIST_TOO_LARGE : 0;
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
    return SameNamesAsText(last.FileName, run->Set.FileName, 0) &&
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
    if (error == LIST_TOO_LARGE)
        JoinSay("Warning: the checksum list %s is too long; read to 32 KiB.\n", run->List.Path);
    else if (error) {
        JoinSay("Warning: the checksum list %s cannot be read = %ld\n", run->List.Path, error);
        return 0;
    }
    // Each intact line counts; a damaged one spoils only itself.
    parsed = ChecklistParse(run->List.Text, run->List.Length, &run->List.Info);
    if (parsed == CHECKLIST_BAD_LINE || parsed == CHECKLIST_DUPLICATE)
        JoinSay(DamagedLine, run->List.Path, (int)run->List.Info.BadLine);
    else if (parsed == CHECKLIST_INCOMPLETE)
        JoinSay("Warning: the checksum list %s is incomplete.\n", run->List.Path);
    run->List.State = LIST_USABLE;
    return 0;
}

// ---- The verdict ------------------------------------------------------------

// Names portion index as the damaged one.
static int Damaged(JoinRun *run, unsigned index, int damage)
{
    SetPortionNumber(run->Portion.Path, index);
    run->Damage = damage;
    run->DamagedDisk = run->Set.Removable ? (int)index + 1 : 0;
    run->PendingError = 1;
    return JOIN_DAMAGED;
}

void JoinBeginPortion(JoinRun *run, unsigned index)
{
    uint32_t listed;

    run->Portion.Described = run->Repair.Recovery == RECOVERY_READ ? JoinDescribed(run, index) : -1;
    // Its MD5 as it is read where the list has no line for it; where the
    // line disagrees, the portion is read again for it (JoinCheckPortion).
    run->Portion.Md5ing = run->Portion.Described >= 0 &&
                          !(run->List.State == LIST_USABLE &&
                            ChecklistFind(run->List.Text, run->List.Length,
                                          JoinPortionName(run->Portion.Path), &listed));
    if (!run->Portion.Md5ing)
        return;
    Md5Begin(&run->Portion.Md5);
    Md5Update(&run->Portion.Md5, run->Portion.RawHeader, PORTION_HEADER_SIZE);
}

// The CRC of crc's bytes followed by `pad` zeros; md5, where not NULL,
// takes the zeros too.
static uint32_t Padded(Md5Context *md5, uint32_t crc, uint64_t pad)
{
    unsigned char zeros[256];

    memset(zeros, 0, sizeof zeros);
    for (size_t n; pad; pad -= n) {
        n = pad < sizeof zeros ? (size_t)pad : sizeof zeros;
        if (md5)
            Md5Update(md5, zeros, n);
        crc = Crc32Update(crc, zeros, n);
    }
    return crc;
}

// The MD5 of the whole portion file, read again (through the open file
// where it is open: a second open may be refused).
static long Md5OfPortion(JoinRun *run)
{
    OsFile file = run->Portion.File;
    uint32_t done = 0;
    long error = file ? 0 : OsOpenRead(run->Portion.Path, &file);

    Md5Begin(&run->Portion.Md5);
    if (!error)
        error = OsSeek(file, 0);
    while (!error && !(error = OsRead(file, run->Buffer, run->BufferSize, &done)) && done)
        Md5Update(&run->Portion.Md5, run->Buffer, done);
    if (file && file != run->Portion.File)
        OsClose(file);
    return error;
}

// Whether the portion read is the slice the recovery data describes: its
// length, and the CRC-32 and MD5 of the file padded with zeros. Where the
// list's line agrees with the portion as well, the two CRCs settle it.
static int MatchesRecovery(JoinRun *run, const Par2ReadFile *f, uint32_t crc, int listAgrees)
{
    unsigned char digest[MD5_DIGEST_SIZE];
    uint64_t pad = JoinRecoveryData->Reader.SliceSize - f->Length;

    if (run->Portion.Size != f->Length || Padded(NULL, crc, pad) != f->SliceCrc)
        return 0;
    if (!run->Portion.Md5ing && (listAgrees || Md5OfPortion(run)))
        return listAgrees;
    Padded(&run->Portion.Md5, 0, pad);
    Md5End(&run->Portion.Md5, digest);
    return !memcmp(digest, f->SliceHash, MD5_DIGEST_SIZE);
}

int JoinCheckPortion(JoinRun *run, unsigned index)
{
    uint32_t crc = run->Set.PortionCrcs[index], listed = 0;
    unsigned line = 0;
    int found;

    SetPortionNumber(run->Portion.Path, index);
    found = run->List.State == LIST_USABLE &&
            ChecklistFind(run->List.Text, run->List.Length, JoinPortionName(run->Portion.Path),
                          &listed, &line);
    run->FoundCrc = crc;
    run->ListedCrc = listed;
    if (run->Portion.Described != -1) {
        if (run->Portion.Described >= 0 &&
            !MatchesRecovery(run, &JoinRecoveryData->Reader.Files[run->Portion.Described], crc,
                             found && listed == crc))
            return Damaged(run, index, found && listed != crc ? DAMAGE_CHECKSUM : DAMAGE_RECOVERY);
        // Its MD5 outweighs the list's line.
        if (found && listed != crc)
            JoinSay(DamagedLine, run->List.Path, (int)line);
        return 0;
    }
    // Where the set carries a proof, a portion none vouches for is not sound.
    if (run->List.State == LIST_NONE && run->Repair.Recovery != RECOVERY_READ)
        return 0;
    if (!found)
        return Damaged(run, index, DAMAGE_UNLISTED);
    return listed == crc ? 0 : Damaged(run, index, DAMAGE_CHECKSUM);
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

// ---- The set's end ----------------------------------------------------------

int JoinCheckSetEnd(JoinRun *run, unsigned last, int portionsChecked)
{
    const ChecklistInfo *info = &run->List.Info;
    uint32_t data = 0, listed;
    int result = 0;

    if (run->List.State == LIST_NONE)
        return 0;
    for (unsigned i = 0; i <= last && !portionsChecked && !result; i++) {
        run->Portion.Described = -1;
        result = JoinCheckPortion(run, i);
    }
    // A portion the list names past the last one is missing, unless the
    // recovery data, which describes the set, says where it ends.
    if (!result && last + 1 < MAX_PORTIONS && run->Repair.Recovery != RECOVERY_READ) {
        SetPortionNumber(run->Portion.Path, last + 1);
        if (run->List.State == LIST_USABLE &&
            ChecklistFind(run->List.Text, run->List.Length, JoinPortionName(run->Portion.Path), &listed))
            result = Damaged(run, last + 1, DAMAGE_MISSING);
        SetPortionNumber(run->Portion.Path, last);
    }
    for (unsigned i = 0; i <= last; i++)
        data = Crc32Combine(data, run->Set.DataCrcs[i], run->Set.Sizes[i] - PORTION_HEADER_SIZE);
    // Every portion is vouched for: a file line that disagrees is the damage.
    if (!result && info->FileLine &&
        (!SameNamesAsText(info->FileName, run->Set.FileName, 0) ||
         info->FileSize != run->Set.FileSize ||
         info->FileCrc != data))
        JoinSay(DamagedLine, run->List.Path, (int)info->FileLineNumber);
    return result;
}

// ---- The not-verified line --------------------------------------------------

void JoinSayNotVerified(const JoinRun *run)
{
    if (run->List.State == LIST_NONE && run->Repair.Recovery != RECOVERY_READ)
        JoinSay("The slice set carried no checksum list; %s was not verified.\n",
                run->Set.FileName);
}
