// kelmorix --check (both joiners): a slice set checked without being rebuilt. Each
// portion is read once, in large blocks: its header compared with portion
// 00's (where there is no list), its place (the last-portion mark), and its
// CRC-32 with the list's line; then the data's size and CRC with the list's
// file line. One line per portion and one for the file, and for a damaged
// set one on what its recovery data can rebuild; nothing is written.
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
    int Gap;             // 1 once a portion could not be read: the data CRC is void
    uint64_t Data;       // data bytes of the portions read
    uint32_t DataCrc;    // their CRC, in order
    unsigned Lost;       // portions missing or damaged
    unsigned Uncovered;  // of those, the ones the recovery data does not hold
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
        read += done;
    } while (!error && done == CHECK_BUFFER_SIZE &&
             !JoinProgress(STEP_CHECK, NULL, check->Data + read, run->Set.FileSize));
    JoinProgress(STEP_CHECK, NULL, check->Data + read, run->Set.FileSize);
    return error;
}

// Counts portion `name` as lost or damaged.
static void Lost(CheckState *check, const char *name)
{
    check->Damaged = 1;
    check->Lost++;
    if (!JoinRecoveryData || RepairFind(JoinRecoveryData, name) < 0)
        check->Uncovered++;
}

// The line of one portion that could be opened.
static void CheckOpenPortion(JoinRun *run, CheckState *check, unsigned index, const char *name)
{
    uint32_t dataCrc = 0, crc, listed;
    uint64_t data = run->Portion.Size - PORTION_HEADER_SIZE;
    int listedFound = run->List.State == LIST_USABLE &&
                      ChecklistFind(run->List.Text, run->List.Length, name, &listed);
    long error = HashRest(run, check, &dataCrc);

    JoinClosePortion(run);
    if (error) {
        JoinSay("%s  cannot be read = %ld\n", name, error);
        Lost(check, name);
        check->Gap = 1;
        return;
    }
    crc = Crc32Combine(Crc32Update(0, run->Portion.RawHeader, PORTION_HEADER_SIZE), dataCrc, data);
    check->DataCrc = Crc32Combine(check->DataCrc, dataCrc, data);
    check->Data += data;
    if (run->Portion.Header.LastPortion == 1 && check->Last < 0)
        check->Last = (int)index;
    if (run->List.State == LIST_USABLE && !listedFound) {
        JoinSay("%s  not in the checksum list\n", name);
        check->Damaged = 1;
        return;
    } else if (listedFound && listed != crc) {
        char found[9], wanted[9];
        JoinSay("%s  damaged: checksum %s, the list says %s\n", name, JoinHexText(crc, found),
                JoinHexText(listed, wanted));
    } else if (run->Portion.Header.LastPortion > 1 ||
               (!listedFound && !SameSliceSet(run->Set.FirstHeader, run->Portion.RawHeader))) {
        JoinSay("%s  header damaged or of another set\n", name);
    } else {
        JoinSay("%s  ok\n", name);
        return;
    }
    Lost(check, name);
}

// Whether portion index is one the set should have: up to the one marked
// last, and every one the list or the recovery data names.
static int Expected(const JoinRun *run, const CheckState *check, unsigned index)
{
    if (run->List.State == LIST_USABLE && index < run->List.Info.Portions)
        return 1;
    if (run->List.State != LIST_USABLE && run->Repair.Recovery == RECOVERY_READ &&
        index < JoinRecoveryData->Reader.FileCount)
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
        Lost(check, name);
        check->Gap = 1;
    }
}

// The file's line: its size, and its CRC where there is a list.
static void CheckFile(JoinRun *run, CheckState *check)
{
    char found[9], wanted[9], have[DECIMAL_TEXT_SIZE], size[DECIMAL_TEXT_SIZE];
    const char *name = run->Set.FileName;

    JoinHexText(check->DataCrc, found);
    JoinHexText(run->List.Info.FileCrc, wanted);
    DecimalText(check->Data, have);
    DecimalText(run->Set.FileSize, size);
    if (check->Gap) {
        JoinSay("%s  incomplete: portions are missing or unreadable\n", name);
    } else if (check->Last < 0) {
        JoinSay("%s  incomplete: no portion is marked last\n", name);
        check->Damaged = 1;
    } else if (check->Data != run->Set.FileSize) {
        JoinSay("%s  damaged: the portions hold %s bytes, the file has %s\n", name, have, size);
        check->Damaged = 1;
    } else if (run->List.State == LIST_USABLE && run->List.Foreign) {
        JoinSay("%s  describes another file than the headers do\n", run->List.Path);
        check->Damaged = 1;
    } else if (run->List.State == LIST_USABLE && check->DataCrc != run->List.Info.FileCrc) {
        JoinSay("%s  damaged: checksum %s, the list says %s\n", name, found, wanted);
        check->Damaged = 1;
    } else if (run->List.State == LIST_USABLE) {
        JoinSay("%s  ok: %s bytes, checksum %s\n", name, size, found);
    } else {
        JoinSay("%s  %s bytes\n", name, size);
        JoinSayNotVerified(run);
    }
}

// What the recovery data can do for the portions lost or damaged.
static void CheckRecovery(JoinRun *run, CheckState *check)
{
    char index[PAR2_NAME_SIZE], volume[PAR2_NAME_SIZE];
    const char *plural = check->Lost == 1 ? "" : "s";
    int spare = 0, can;

    if (!check->Lost)
        return;
    JoinSay("%d portion%s damaged or missing", (int)check->Lost, plural);
    if (run->Repair.Recovery != RECOVERY_READ) {
        JoinSay("; the set carries no recovery data\n");
        return;
    }
    if (check->Uncovered) {
        JoinSay("; the recovery data does not describe %s\n", check->Lost == 1 ? "it" : "them all");
        return;
    }
    can = RepairAssess(JoinRecoveryData, check->Lost, &spare);
    Par2FileNames(run->Set.FileName, 1, index, volume);
    if (can == REPAIR_OK)
        JoinSay("; the recovery data can rebuild it (%d block%s to spare)\n", spare,
                   spare == 1 ? "" : "s");
    else if (can == REPAIR_TOOLS_ONLY)
        JoinSay("; par2 repair %s can rebuild them (%d block%s to spare)\n", index, spare,
                   spare == 1 ? "" : "s");
    else
        JoinSay(", more than the recovery data can rebuild: par2 repair needs %d blocks, "
                   "the set has %d\n", (int)check->Lost, (int)JoinRecoveryData->Blocks);
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
    result = JoinFindFirstPortion(&run);
    if (!result) {
        check.Buffer = (unsigned char *)malloc(CHECK_BUFFER_SIZE);
        if (!check.Buffer) {
            run.PendingError = 1;
            result = JOIN_NO_BUFFER;
        }
    }
    if (!result) {
        run.Set.FileSize = (uint64_t)run.Portion.Header.FileSizeHigh << 32 | run.Portion.Header.FileSizeLow;
        JoinReadList(&run);
        JoinOpenRecovery(&run, check.Buffer, CHECK_BUFFER_SIZE);
        CheckPortions(&run, &check);
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
