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
RepairSet *JoinRecoveryData;

// ---- The recovery data ------------------------------------------------------

int JoinOpenRecovery(JoinRun *run, unsigned char *buffer, uint32_t size)
{
    const char *name = JoinPortionName(run->Portion.Path);
    int result;

    if (run->Repair.Recovery)
        return run->Repair.Recovery == RECOVERY_READ ? REPAIR_OK : REPAIR_NONE;
    run->Repair.Recovery = RECOVERY_NONE;
    run->Repair.Folder = JoinPath(run->Portion.Path, "");
    if (!run->Repair.Folder)
        return REPAIR_NONE;
    run->Repair.Folder[name - run->Portion.Path] = 0;
    if (!JoinRecoveryData)
        JoinRecoveryData = (RepairSet *)malloc(sizeof *JoinRecoveryData);
    if (!JoinRecoveryData)
        return REPAIR_NONE;
    // Named after the sliced file as portion 00 names it.
    result = RepairOpen(JoinRecoveryData, run->Repair.Folder, run->Set.FileName, buffer, size);
    if (result == REPAIR_OK)
        run->Repair.Recovery = RECOVERY_READ;
    return result;
}

// The recovery data's index of the portion path with number index, or -1.
static int RecoveryIndexOf(JoinRun *run, unsigned index)
{
    char *path = JoinPath(run->Portion.Path, "");
    int found = -1;

    if (path && SetPortionNumber(path, index) == 0)
        found = RepairFind(JoinRecoveryData, JoinPortionName(path));
    free(path);
    return found;
}

// ---- Setting a portion aside ------------------------------------------------

// The failures a rebuild can mend: 1 for a missing portion, 0 for a damaged
// one, -1 for any other.
static int Repairable(const JoinRun *run, int failure)
{
    if (PortionNumberOf(run->Portion.Path) != (int)run->Portion.Index)
        return -1;  // portion 00's header was found odd: not this portion's fault
    if (failure == JOIN_DAMAGED)
        return run->Damage == DAMAGE_MISSING ? 1 : run->Damage == DAMAGE_CHECKSUM ? 0 : -1;
    // Missing where no usable list names the portions; the recovery data
    // then says whether it belongs to the set.
    if (failure == JOIN_OPEN_PORTION)
        return run->PendingError == OS_FILE_NOT_FOUND && run->List.State != LIST_USABLE ? 1 : -1;
    if (failure == JOIN_FOREIGN_PORTION || failure == JOIN_SHORT_PORTION ||
        (failure == JOIN_READ_HEADER && run->DamagedHeader))
        return 0;
    return -1;
}

int JoinSetAside(JoinRun *run, int failure, int *last)
{
    int missing = Repairable(run, failure), which;
    uint64_t length, room;

    if (run->Set.Removable || missing < 0)
        return failure;
    if (JoinOpenRecovery(run, run->Buffer, run->BufferSize) != REPAIR_OK)
        return failure;
    which = RecoveryIndexOf(run, run->Portion.Index);
    if (which < 0)
        return failure;
    // A second one: the run ends naming both (the first by the final report).
    if (run->Repair.Active) {
        if (failure != JOIN_DAMAGED) {
            run->Damage = missing ? DAMAGE_MISSING : DAMAGE_HEADER;
            run->DamagedHeader = 0;
            run->PendingError = 1;
        }
        return JOIN_DAMAGED;
    }
    length = JoinRecoveryData->Reader.Files[which].Length;
    room = run->Set.FileSize - run->Portion.Start;
    // A portion that would carry the data past the file's size is no part
    // of a sound set, whatever the recovery data says.
    if (length < PORTION_HEADER_SIZE || length - PORTION_HEADER_SIZE > room ||
        !JoinRecoveryData->Reader.Files[which].Checked || !JoinRecoveryData->BlockName[0])
        return failure;
    run->Repair.Active = 1;
    run->Repair.Index = run->Portion.Index;
    run->Repair.Damage = missing ? DAMAGE_MISSING : failure == JOIN_DAMAGED ? DAMAGE_CHECKSUM
                                                                             : DAMAGE_HEADER;
    run->Repair.Found = run->FoundCrc;
    run->Repair.Listed = run->ListedCrc;
    run->Damage = DAMAGE_NONE;
    run->DamagedHeader = 0;
    run->PendingError = 0;
    // Whatever of a damaged portion was written is written over.
    run->Repair.Offset = run->Portion.Start;
    run->Repair.Length = length - PORTION_HEADER_SIZE;
    run->Repair.CrcBefore = run->Portion.CrcBefore;
    run->Out.DataCrc = 0;
    run->Set.Sizes[run->Portion.Index] = length;
    run->Out.BytesWritten = run->Repair.Offset + run->Repair.Length;
    *last = run->Portion.Index + 1 >= MAX_PORTIONS || RecoveryIndexOf(run, run->Portion.Index + 1) < 0;
    run->PendingError = OsSeek(run->Out.File, run->Out.BytesWritten);
    return run->PendingError ? JOIN_WRITE_FAILED : 0;
}

// ---- The rebuild ------------------------------------------------------------

// What the rebuilt portion file's bytes go through.
struct RebuildSink {
    JoinRun *Run;
    unsigned char Header[PORTION_HEADER_SIZE];
    uint64_t Taken;      // bytes of the file so far
    uint32_t Crc;        // of all of them
    uint32_t DataCrc;    // of those past the header, as far as the file holds
    long Error;
};

static int TakeRebuilt(void *context, const void *data, size_t size)
{
    RebuildSink *sink = (RebuildSink *)context;
    JoinRun *run = sink->Run;
    const unsigned char *bytes = (const unsigned char *)data;
    uint64_t at, count;
    uint32_t done;
    size_t head = 0;

    sink->Crc = Crc32Update(sink->Crc, bytes, size);
    if (JoinProgress(STEP_REBUILD, JoinPortionName(run->Portion.Path), sink->Taken + size,
                     run->Repair.Length + PORTION_HEADER_SIZE))
        return 1;
    if (sink->Taken < PORTION_HEADER_SIZE) {
        head = PORTION_HEADER_SIZE - sink->Taken < size ? (size_t)(PORTION_HEADER_SIZE - sink->Taken)
                                                        : size;
        memcpy(sink->Header + sink->Taken, bytes, head);
    }
    at = sink->Taken + head - PORTION_HEADER_SIZE;  // offset in the portion's data
    sink->Taken += size;
    if (head == size || at >= run->Repair.Length)
        return 0;
    count = size - head < run->Repair.Length - at ? size - head : run->Repair.Length - at;
    sink->DataCrc = Crc32Update(sink->DataCrc, bytes + head, (size_t)count);
    sink->Error = OsSeek(run->Out.File, run->Repair.Offset + at);
    while (!sink->Error && count > 0) {
        done = 0;
        sink->Error = OsWrite(run->Out.File, bytes + head, (uint32_t)count, &done);
        if (!sink->Error && done == 0)
            sink->Error = 1;  // the disk took no more
        head += done;
        count -= done;
    }
    return sink->Error != 0;
}

int JoinRebuildPortion(JoinRun *run, int last)
{
    RebuildSink sink;
    PortionHeader header;
    uint64_t after = run->Out.BytesWritten - run->Repair.Offset - run->Repair.Length;
    int result, missing = run->Repair.Damage == DAMAGE_MISSING;

    memset(&sink, 0, sizeof sink);
    sink.Run = run;
    SetPortionNumber(run->Portion.Path, run->Repair.Index);
    result = RepairRebuild(JoinRecoveryData, JoinPortionName(run->Portion.Path), run->Buffer,
                           run->BufferSize, TakeRebuilt, &sink);
    if (result == REPAIR_SINK_FAILED) {
        run->PendingError = sink.Error;
        return JOIN_WRITE_FAILED;
    }
    DecodePortionHeader(sink.Header, &header);
    // Right bytes for the recovery data, yet they must also be this set's
    // portion, in its place: the set's header, the last-portion mark where
    // the recovery data ends, and the list's line where there is one.
    if (!result && (!SameSliceSet(run->Set.FirstHeader, sink.Header) ||
                    header.LastPortion != (last ? 1 : 0)))
        result = REPAIR_MISMATCH;
    run->PendingError = 1;
    if (result) {
        run->Repair.Failure = result;
        return JOIN_DAMAGED;
    }
    run->Set.PortionCrcs[run->Repair.Index] = sink.Crc;
    if (JoinCheckPortion(run, run->Repair.Index)) {
        run->Repair.Failure = REPAIR_MISMATCH;
        run->Damage = DAMAGE_NONE;
        return JOIN_DAMAGED;
    }
    // Where each portion is flushed (a removable destination), so is this one.
    run->PendingError = OsSeek(run->Out.File, run->Out.BytesWritten);
    if (!run->PendingError && run->Out.FlushEachPortion)
        run->PendingError = OsFlush(run->Out.File);
    if (run->PendingError)
        return JOIN_WRITE_FAILED;
    run->Out.DataCrc = Crc32Combine(Crc32Combine(run->Repair.CrcBefore, sink.DataCrc, run->Repair.Length),
                                run->Out.DataCrc, after);
    if (last) {
        memcpy(run->Portion.RawHeader, sink.Header, PORTION_HEADER_SIZE);
        run->Portion.Header = header;
    }
    run->Repair.Rebuilt = 1;
    JoinSay(missing ? "%s was missing; rebuilt from the recovery data\n"
                       : "%s was damaged; rebuilt from the recovery data\n",
               JoinPortionName(run->Portion.Path));
    return 0;
}
