// One lost or damaged portion of a folder set rebuilt from the recovery data
// beside it (engine/repair.h): the portion set aside when it is met, the
// copy going on with the others, its data's place left as a gap; after the
// last portion, its bytes rebuilt from the recovery block and the other
// portion files (one more read of the set), checked against the recovery
// data's slice checksums, the set's header and the checksum list, and
// written into the gap. Parts: the recovery data; setting a portion aside;
// the rebuild.
#include "join_run.h"

#include <stdlib.h>
#include <string.h>

#include "integrity/crc32.h"
#include "os/files.h"
#include "recovery/repair.h"

// On the heap, only where there is a repair: a static one would add its
// size to KELMORIX.EXE (the linker stores it as data).
RepairSet *RestoreRecoveryData;

// ---- The recovery data ------------------------------------------------------

int RestoreOpenRecovery(RestoreRun *run, unsigned char *buffer, uint32_t size)
{
    const char *name = RestorePortionName(run->PortionPath);
    PortionHeader first;
    int result;

    if (run->Recovery)
        return run->Recovery == RECOVERY_READ ? REPAIR_OK : REPAIR_NONE;
    run->Recovery = RECOVERY_NONE;
    run->RepairFolder = RestoreJoinPath(run->PortionPath, 0, "");
    if (!run->RepairFolder)
        return REPAIR_NONE;
    run->RepairFolder[name - run->PortionPath] = 0;
    if (!RestoreRecoveryData)
        RestoreRecoveryData = (RepairSet *)malloc(sizeof *RestoreRecoveryData);
    if (!RestoreRecoveryData)
        return REPAIR_NONE;
    // Named after the sliced file as portion 00 names it.
    DecodePortionHeader(run->FirstHeader, &first);
    result = RepairOpen(RestoreRecoveryData, run->RepairFolder, first.FileName, buffer, size);
    if (result == REPAIR_OK)
        run->Recovery = RECOVERY_READ;
    return result;
}

// The recovery data's index of the portion path with number index, or -1.
static int RecoveryIndexOf(RestoreRun *run, unsigned index)
{
    char *path = RestoreJoinPath(run->PortionPath, 0, "");
    int found = -1;

    if (path && SetPortionNumber(path, index) == 0)
        found = RepairFind(RestoreRecoveryData, RestorePortionName(path));
    free(path);
    return found;
}

// ---- Setting a portion aside ------------------------------------------------

// The failures a rebuild can mend: 1 for a missing portion, 0 for a damaged
// one, -1 for any other.
static int Repairable(const RestoreRun *run, int failure)
{
    if (PortionNumberOf(run->PortionPath) != (int)run->PortionIndex)
        return -1;  // portion 00's header was found odd: not this portion's fault
    if (failure == RESTORE_DAMAGED)
        return run->Damage == DAMAGE_MISSING ? 1 : run->Damage == DAMAGE_CHECKSUM ? 0 : -1;
    // Missing where no usable list names the portions; the recovery data
    // then says whether it belongs to the set.
    if (failure == RESTORE_OPEN_PORTION)
        return run->PendingError == OS_FILE_NOT_FOUND && run->List != LIST_USABLE ? 1 : -1;
    if (failure == RESTORE_FOREIGN_PORTION || failure == RESTORE_SHORT_PORTION ||
        (failure == RESTORE_READ_HEADER && run->DamagedHeader))
        return 0;
    return -1;
}

int RestoreSetAside(RestoreRun *run, int failure, int *last)
{
    int missing = Repairable(run, failure), which;
    uint64_t length, room;

    if (run->RemovableSource || missing < 0)
        return failure;
    if (RestoreOpenRecovery(run, run->Buffer, run->BufferSize) != REPAIR_OK)
        return failure;
    which = RecoveryIndexOf(run, run->PortionIndex);
    if (which < 0)
        return failure;
    // A second one: the run ends naming both (the first by the final report).
    if (run->Repairing) {
        if (failure != RESTORE_DAMAGED) {
            run->Damage = missing ? DAMAGE_MISSING : DAMAGE_HEADER;
            run->DamagedHeader = 0;
            run->PendingError = 1;
        }
        return RESTORE_DAMAGED;
    }
    length = RestoreRecoveryData->Reader.Files[which].Length;
    room = run->FileSize - run->PortionStart;
    // A portion that would carry the data past the file's size is no part
    // of a sound set, whatever the recovery data says.
    if (length < PORTION_HEADER_SIZE || length - PORTION_HEADER_SIZE > room ||
        !RestoreRecoveryData->Reader.Files[which].Checked || !RestoreRecoveryData->BlockName[0])
        return failure;
    run->Repairing = 1;
    run->RepairIndex = run->PortionIndex;
    run->RepairDamage = missing ? DAMAGE_MISSING : failure == RESTORE_DAMAGED ? DAMAGE_CHECKSUM
                                                                             : DAMAGE_HEADER;
    run->RepairFound = run->FoundCrc;
    run->RepairListed = run->ListedCrc;
    run->Damage = DAMAGE_NONE;
    run->DamagedHeader = 0;
    run->PendingError = 0;
    // Whatever of a damaged portion was written is written over.
    run->RepairOffset = run->PortionStart;
    run->RepairLength = length - PORTION_HEADER_SIZE;
    run->CrcBeforeRepair = run->CrcBeforePortion;
    run->DataCrc = 0;
    run->Sizes[run->PortionIndex] = length;
    run->BytesWritten = run->RepairOffset + run->RepairLength;
    *last = run->PortionIndex + 1 >= MAX_PORTIONS || RecoveryIndexOf(run, run->PortionIndex + 1) < 0;
    run->PendingError = OsSeek(run->Output, run->BytesWritten);
    return run->PendingError ? RESTORE_WRITE_FAILED : 0;
}

// ---- The rebuild ------------------------------------------------------------

// What the rebuilt portion file's bytes go through.
struct RebuildSink {
    RestoreRun *Run;
    unsigned char Header[PORTION_HEADER_SIZE];
    uint64_t Taken;      // bytes of the file so far
    uint32_t Crc;        // of all of them
    uint32_t DataCrc;    // of those past the header, as far as the file holds
    long Error;
};

static int TakeRebuilt(void *context, const void *data, size_t size)
{
    RebuildSink *sink = (RebuildSink *)context;
    RestoreRun *run = sink->Run;
    const unsigned char *bytes = (const unsigned char *)data;
    uint64_t at, count;
    uint32_t done;
    size_t head = 0;

    sink->Crc = Crc32Update(sink->Crc, bytes, size);
    if (sink->Taken < PORTION_HEADER_SIZE) {
        head = PORTION_HEADER_SIZE - sink->Taken < size ? (size_t)(PORTION_HEADER_SIZE - sink->Taken)
                                                        : size;
        memcpy(sink->Header + sink->Taken, bytes, head);
    }
    at = sink->Taken + head - PORTION_HEADER_SIZE;  // offset in the portion's data
    sink->Taken += size;
    if (head == size || at >= run->RepairLength)
        return 0;
    count = size - head < run->RepairLength - at ? size - head : run->RepairLength - at;
    sink->DataCrc = Crc32Update(sink->DataCrc, bytes + head, (size_t)count);
    sink->Error = OsSeek(run->Output, run->RepairOffset + at);
    while (!sink->Error && count > 0) {
        done = 0;
        sink->Error = OsWrite(run->Output, bytes + head, (uint32_t)count, &done);
        if (!sink->Error && done == 0)
            sink->Error = 1;  // the disk took no more
        head += done;
        count -= done;
    }
    return sink->Error != 0;
}

int RestoreRebuildPortion(RestoreRun *run, int last)
{
    RebuildSink sink;
    PortionHeader header;
    uint64_t after = run->BytesWritten - run->RepairOffset - run->RepairLength;
    int result, missing = run->RepairDamage == DAMAGE_MISSING;

    memset(&sink, 0, sizeof sink);
    sink.Run = run;
    SetPortionNumber(run->PortionPath, run->RepairIndex);
    result = RepairRebuild(RestoreRecoveryData, RestorePortionName(run->PortionPath), run->Buffer,
                           run->BufferSize, TakeRebuilt, &sink);
    if (result == REPAIR_SINK_FAILED) {
        run->PendingError = sink.Error;
        return RESTORE_WRITE_FAILED;
    }
    DecodePortionHeader(sink.Header, &header);
    // Right bytes for the recovery data, yet they must also be this set's
    // portion, in its place: the set's header, the last-portion mark where
    // the recovery data ends, and the list's line where there is one.
    if (!result && (!SameSliceSet(run->FirstHeader, sink.Header) ||
                    header.LastPortion != (last ? 1 : 0)))
        result = REPAIR_MISMATCH;
    run->PendingError = 1;
    if (result) {
        run->RepairFailure = result;
        return RESTORE_DAMAGED;
    }
    run->PortionCrcs[run->RepairIndex] = sink.Crc;
    if (RestoreCheckPortion(run, run->RepairIndex)) {
        run->RepairFailure = REPAIR_MISMATCH;
        run->Damage = DAMAGE_NONE;
        return RESTORE_DAMAGED;
    }
    // Where each portion is flushed (a removable destination), so is this one.
    run->PendingError = OsSeek(run->Output, run->BytesWritten);
    if (!run->PendingError && run->FlushEachPortion)
        run->PendingError = OsFlush(run->Output);
    if (run->PendingError)
        return RESTORE_WRITE_FAILED;
    run->DataCrc = Crc32Combine(Crc32Combine(run->CrcBeforeRepair, sink.DataCrc, run->RepairLength),
                                run->DataCrc, after);
    if (last) {
        memcpy(run->RawHeader, sink.Header, PORTION_HEADER_SIZE);
        run->Header = header;
    }
    run->Rebuilt = 1;
    RestoreSay(missing ? "%s was missing; rebuilt from the recovery data\n"
                       : "%s was damaged; rebuilt from the recovery data\n",
               RestorePortionName(run->PortionPath));
    return 0;
}
