// kelmorix --check (both joiners): a slice set checked without being rebuilt. Each
// portion is read once, in large blocks, and judged as the join judges it
// (join_verify.cpp): its CRC-32 against the list's line, its slice MD5 and
// CRC against the recovery data, its header against the set's where it has
// no proof, and its place (the last-portion mark). One line per portion and
// one for the file, and for a damaged set one on what its recovery data can
// rebuild (what the join would then do); nothing is written.
#include "join_run.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "integrity/crc32.h"
#include "os/files.h"
#include "recovery/repair.h"

enum { CHECK_BUFFER_SIZE = 0x100000 };

// The state of one check beside the run's.
struct CheckState {
    int Damaged;         // 1 once anything is wrong
    int Last;            // the portion marked last, or -1
    int Gap;             // 1 once a portion could not be read: where the set ends is unknown
    uint64_t Data;       // data bytes of the portions read
    unsigned Lost;       // portions missing or damaged
    unsigned Uncovered;  // of those, the ones the recovery data does not describe
    unsigned Files[MAX_PORTIONS]; // the others' files in the recovery data
    unsigned char *Buffer;
};

// Hashes the rest of the open portion. Returns 0 or the error.
static long HashRest(JoinRun *run, CheckState *check, uint32_t *crc)
{
    uint64_t read = 0;
    uint32_t done;
    long error;

    do {
        done = 0;
        error = OsRead(run->Portion.File, check->Buffer, CHECK_BUFFER_SIZE, &done);
        *crc = Crc32Update(*crc, check->Buffer, done);
        if (run->Portion.Md5ing)
            Md5Update(&run->Portion.Md5, check->Buffer, done);
        read += done;
    } while (!error && done == CHECK_BUFFER_SIZE &&
             !JoinProgress(STEP_CHECK, NULL, check->Data + read, run->Set.FileSize));
    JoinProgress(STEP_CHECK, NULL, check->Data + read, run->Set.FileSize);
    return error;
}

// Counts portion index as lost or damaged.
static void Lost(JoinRun *run, CheckState *check, unsigned index)
{
    int which = run->Repair.Recovery == RECOVERY_READ ? JoinDescribed(run, index) : -1;

    check->Damaged = 1;
    if (which < 0)
        check->Uncovered++;
    else
        check->Files[check->Lost - check->Uncovered] = (unsigned)which;
    check->Lost++;
}

// What the proofs found, by JoinDamage.
static const char *const Findings[] = {
    "ok",
    "damaged: checksum %s, the list says %s",
    "missing",
    "not verified: no intact line of a checksum list and no recovery data vouch for it",
    "damaged: not the portion the recovery data describes",
    "",
    "header damaged or of another set",
};

// The line of one portion that could be opened.
static void CheckOpenPortion(JoinRun *run, CheckState *check, unsigned index, const char *name)
{
    uint32_t dataCrc = 0;
    uint64_t data = run->Portion.Size - PORTION_HEADER_SIZE;
    char found[9], wanted[9];
    long error;
    int damage = DAMAGE_NONE;

    JoinBeginPortion(run, index);
    error = HashRest(run, check, &dataCrc);
    JoinClosePortion(run);
    if (error) {
        JoinSay("%s  cannot be read = %ld\n", name, error);
        Lost(run, check, index);
        check->Gap = 1;
        return;
    }
    run->Set.PortionCrcs[index] =
        Crc32Combine(Crc32Update(0, run->Portion.RawHeader, PORTION_HEADER_SIZE), dataCrc, data);
    run->Set.DataCrcs[index] = dataCrc;
    run->Set.Sizes[index] = run->Portion.Size;
    check->Data += data;
    if (run->Portion.Header.LastPortion == 1 && check->Last < 0)
        check->Last = (int)index;
    if (JoinCheckPortion(run, index))
        damage = run->Damage;
    // Without a proof, the header is all there is to go by.
    else if (run->List.State == LIST_NONE && run->Repair.Recovery != RECOVERY_READ &&
             (run->Portion.Header.LastPortion > 1 ||
              !SameSliceSet(run->Set.FirstHeader, run->Portion.RawHeader)))
        damage = DAMAGE_HEADER;
    JoinHexText(run->FoundCrc, found);
    JoinHexText(run->ListedCrc, wanted);
    JoinSay("%s  ", name);
    JoinSay(Findings[damage], found, wanted);
    JoinSay("\n");
    if (damage)
        Lost(run, check, index);
}

// Whether portion index is one the set should have: every one the recovery
// data describes (it describes the set), else every one the list names and
// those up to the one marked last.
static int Expected(JoinRun *run, const CheckState *check, unsigned index)
{
    uint32_t crc;

    if (run->Repair.Recovery == RECOVERY_READ)
        return JoinDescribed(run, index) >= 0;
    SetPortionNumber(run->Portion.Path, index);
    if (run->List.State == LIST_USABLE &&
        ChecklistFind(run->List.Text, run->List.Length, JoinPortionName(run->Portion.Path), &crc))
        return 1;
    return check->Last < 0 && !check->Gap;
}

static void CheckPortions(JoinRun *run, CheckState *check)
{
    const char *name;
    int result;

    for (unsigned i = 0; i < MAX_PORTIONS && Expected(run, check, i) && !JoinInterruption(); i++) {
        SetPortionNumber(run->Portion.Path, i);
        name = JoinPortionName(run->Portion.Path);
        result = JoinReadPortionHeader(run, JOIN_READ_HEADER);
        if (result == 0) {
            CheckOpenPortion(run, check, i, name);
            continue;
        }
        JoinClosePortion(run);
        if (result == JOIN_OPEN_PORTION && run->PendingError == OS_FILE_NOT_FOUND)
            JoinSay("%s  missing\n", name);
        else if (result == JOIN_SHORT_PORTION)
            JoinSay("%s  too short to be a portion\n", name);
        else
            JoinSay("%s  cannot be read = %ld\n", name, run->PendingError);
        Lost(run, check, i);
        check->Gap = 1;
    }
}

// The file's line: its size, and its CRC where the portions were vouched for.
static void CheckFile(JoinRun *run, CheckState *check)
{
    char found[9], have[DECIMAL_TEXT_SIZE], size[DECIMAL_TEXT_SIZE];
    const char *name = run->Set.FileName;
    uint32_t data = 0;

    DecimalText(check->Data, have);
    DecimalText(run->Set.FileSize, size);
    if (check->Lost) {
        JoinSay("%s  incomplete: portions are missing, damaged or unreadable\n", name);
    } else if (check->Last < 0) {
        JoinSay("%s  incomplete: no portion is marked last\n", name);
        check->Damaged = 1;
    } else if (check->Data != run->Set.FileSize) {
        JoinSay("%s  damaged: the portions hold %s bytes, the file has %s\n", name, have, size);
        check->Damaged = 1;
    } else if (run->List.State == LIST_NONE && run->Repair.Recovery != RECOVERY_READ) {
        JoinSay("%s  %s bytes\n", name, size);
        JoinSayNotVerified(run);
    } else {
        JoinCheckSetEnd(run, (unsigned)check->Last, 1);
        for (int i = 0; i <= check->Last; i++)
            data = Crc32Combine(data, run->Set.DataCrcs[i], run->Set.Sizes[i] - PORTION_HEADER_SIZE);
        JoinHexText(data, found);
        JoinSay("%s  ok: %s bytes, checksum %s\n", name, size, found);
    }
}

// What the recovery data can do for the portions lost or damaged.
static void CheckRecovery(JoinRun *run, CheckState *check)
{
    int spare = 0, can = REPAIR_NOT_IN_SET;

    if (!check->Lost)
        return;
    if (!check->Uncovered)
        can = RepairAssess(JoinRecoveryData, check->Files, check->Lost, &spare);
    JoinSayRecoveryVerdict(run, check->Lost, can, spare);
}

int JoinCheckSet(const char *sourceArgument)
{
    JoinRun run;
    CheckState check;
    int result;

    memset(&run, 0, sizeof run);
    memset(&check, 0, sizeof check);
    run.Set.Argument = run.Set.Path = sourceArgument;
    run.Out.Folder = run.Out.FolderPath = sourceArgument;
    run.Portion.Disk = 1;
    check.Last = -1;
    run.Buffer = check.Buffer = (unsigned char *)malloc(CHECK_BUFFER_SIZE);
    run.BufferSize = CHECK_BUFFER_SIZE;
    result = check.Buffer ? JoinFindFirstPortion(&run) : JOIN_NO_BUFFER;
    if (result == JOIN_NO_BUFFER)
        run.PendingError = 1;
    else
        result = JoinFindSetByRecovery(&run, result, check.Buffer, CHECK_BUFFER_SIZE);
    if (!result) {
        run.Set.FileSize = (uint64_t)run.Portion.Header.FileSizeHigh << 32 | run.Portion.Header.FileSizeLow;
        JoinReadList(&run);
        CheckPortions(&run, &check);
        DecodePortionHeader(run.Set.FirstHeader, &run.Portion.Header);
        CheckFile(&run, &check);
        CheckRecovery(&run, &check);
        result = check.Damaged ? JOIN_DAMAGED : 0;
    } else {
        JoinFinalReport(&run, result);
    }
    JoinClosePortion(&run);
    free(check.Buffer);
    free(run.Portion.Path);
    free(run.List.Path);
    free(run.List.Text);
    free(run.Repair.Folder);
    return result;
}
