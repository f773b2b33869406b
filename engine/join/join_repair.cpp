// The recovery data of a folder set (engine/recovery/repair.h) in the join:
// read before the copy, its index one of the proofs each portion is judged
// by; the set's header taken from a portion it vouches for, and the set
// found through it where portion 00 is lost or damaged; each lost or
// damaged portion set aside when it is met, the copy going on with the
// others, its data's place left as a gap; after the last portion, all of
// them rebuilt at once (one more read of the set), checked against the
// recovery data's slice checksums, the set's header and the checksum list,
// and written into their gaps. In order: the recovery data; the set found;
// setting a portion aside; the rebuild.
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

static void PassedOver(void *, const char *name)
{
    JoinSay("%s describes other portions than the set's; it is passed over.\n", name);
}

// Reads the recovery data in folder (heap, ending in its separator; the
// run keeps it), of the set that describes the portion `wanted`.
static int OpenIn(JoinRun *run, char *folder, const char *wanted, unsigned char *buffer,
                  uint32_t size)
{
    int result = REPAIR_NONE;

    if (run->Repair.Recovery) {
        free(folder);
        return run->Repair.Recovery == RECOVERY_READ ? REPAIR_OK : REPAIR_NONE;
    }
    run->Repair.Recovery = RECOVERY_NONE;
    run->Repair.Folder = folder;
    if (folder && !JoinRecoveryData)
        JoinRecoveryData = (RepairSet *)malloc(sizeof *JoinRecoveryData);
    if (folder && JoinRecoveryData)
        result = RepairOpen(JoinRecoveryData, folder, wanted, buffer, size, PassedOver, NULL);
    if (result == REPAIR_OK)
        run->Repair.Recovery = RECOVERY_READ;
    return result;
}

int JoinOpenRecovery(JoinRun *run, unsigned char *buffer, uint32_t size)
{
    const char *name = JoinPortionName(run->Portion.Path);
    char *folder = JoinPath(run->Portion.Path, "");

    if (folder)
        folder[name - run->Portion.Path] = 0;
    return OpenIn(run, folder, name, buffer, size);
}

int JoinDescribed(JoinRun *run, unsigned index)
{
    char *path = JoinPath(run->Portion.Path, "");
    int found = -1;

    if (path && SetPortionNumber(path, index) == 0)
        found = RepairFind(JoinRecoveryData, JoinPortionName(path));
    free(path);
    return found;
}

// ---- The set found ----------------------------------------------------------

int JoinFindSetByRecovery(JoinRun *run, int failure, unsigned char *buffer, uint32_t size)
{
    const Par2Reader *r;
    const char *wanted = "";
    char *folder;
    unsigned i;
    int which = -1;

    if (run->Set.Removable || failure == JOIN_NO_SOURCE_PATH ||
        (run->Set.NameArgument && (failure == JOIN_NO_FIRST_PORTION || !run->Portion.Path)))
        return failure;
    // Portion 00 found: the set that describes it. Not found, or unusable,
    // in a folder: whichever set the folder's recovery data describes.
    if (run->Set.NameArgument || !failure) {
        wanted = JoinPortionName(run->Portion.Path);
        folder = JoinPath(run->Portion.Path, "");
        if (folder)
            folder[wanted - run->Portion.Path] = 0;
    } else {
        folder = BuildPath(run->Set.Path, strlen(run->Set.Path), !JoinEndsWithSeparator(run->Set.Path),
                           "", NULL);
    }
    if (OpenIn(run, folder, wanted, buffer, size) != REPAIR_OK)
        return failure;
    r = &JoinRecoveryData->Reader;
    if (!run->Portion.Path || RepairFind(JoinRecoveryData, JoinPortionName(run->Portion.Path)) < 0)
        for (i = 0; i < r->FileCount; i++)
            if (PortionNumberOf(r->Files[i].Name) == 0) {
                free(run->Portion.Path);
                run->Portion.Path = JoinPath(run->Repair.Folder, r->Files[i].Name);
                break;
            }
    if (!run->Portion.Path || RepairFind(JoinRecoveryData, JoinPortionName(run->Portion.Path)) < 0)
        return failure;
    // The header of the first portion whose start the recovery data vouches for.
    for (i = 0; i < MAX_PORTIONS && (which = JoinDescribed(run, i)) >= 0; i++)
        if (SetPortionNumber(run->Portion.Path, i) == 0 && r->Files[which].Length >= PORTION_HEADER_SIZE &&
            RepairHeadMatches(JoinRecoveryData, (unsigned)which, run->Portion.Path, buffer, size) > 0)
            break;
    SetPortionNumber(run->Portion.Path, 0);
    if (which < 0 || i == MAX_PORTIONS)
        return failure;
    // The set's header, as the recovery data vouches for it.
    memcpy(run->Set.FirstHeader, buffer, PORTION_HEADER_SIZE);
    DecodePortionHeader(buffer, &run->Portion.Header);
    run->Set.FirstSize = r->Files[which].Length;
    run->DamagedHeader = 0;
    run->PendingError = 1;
    if (run->Portion.Header.LastPortion > 1)
        return JOIN_READ_FIRST_HEADER;
    if (CheckStoredFileName(run->Portion.Header.FileName) != NAME_OK ||
        NameAsText(run->Portion.Header.FileName, strlen(run->Portion.Header.FileName),
                   run->Set.FileName, sizeof run->Set.FileName) != 0)
        return JOIN_UNSAFE_NAME;
    run->PendingError = 0;
    return 0;
}

// ---- Setting a portion aside ------------------------------------------------

// The failures a rebuild makes good: 1 for a portion whose data is not there
// to be copied (missing, or cannot be opened), 0 for one that is damaged,
// -1 for any other.
static int Repairable(const JoinRun *run, int failure)
{
    if (PortionNumberOf(run->Portion.Path) != (int)run->Portion.Index)
        return -1;  // portion 00's header was found odd: not this portion's fault
    if (failure == JOIN_DAMAGED)
        return run->Damage == DAMAGE_MISSING ? 1 : run->Damage == DAMAGE_HEADER ? -1 : 0;
    if (failure == JOIN_OPEN_PORTION)
        return 1;
    if (failure == JOIN_FOREIGN_PORTION || failure == JOIN_SHORT_PORTION ||
        (failure == JOIN_READ_HEADER && run->DamagedHeader))
        return 0;
    return -1;
}

int JoinSetAside(JoinRun *run, int failure, int *last)
{
    int missing = Repairable(run, failure), which;
    unsigned slot = run->Repair.Count, index = run->Portion.Index;
    const Par2ReadFile *f;

    if (run->Set.Removable || missing < 0 || run->Repair.Recovery != RECOVERY_READ ||
        (which = JoinDescribed(run, index)) < 0)
        return failure;
    f = &JoinRecoveryData->Reader.Files[which];
    // A portion that would carry the data past the file's size is no part
    // of a sound set, whatever the recovery data says.
    if (f->Length < PORTION_HEADER_SIZE ||
        f->Length - PORTION_HEADER_SIZE > run->Set.FileSize - run->Portion.Start || !f->Checked)
        return failure;
    run->Repair.Index[slot] = (unsigned char)index;
    run->Repair.Damage[slot] = (unsigned char)(
        failure == JOIN_DAMAGED       ? run->Damage
        : failure != JOIN_OPEN_PORTION ? DAMAGE_HEADER
        : run->PendingError == OS_FILE_NOT_FOUND ? DAMAGE_MISSING
                                                 : DAMAGE_UNREADABLE);
    run->Repair.Found[slot] = failure == JOIN_OPEN_PORTION ? (uint32_t)run->PendingError : run->FoundCrc;
    run->Repair.Listed[slot] = run->ListedCrc;
    // Whatever of a damaged portion was written is written over.
    run->Repair.Offset[slot] = run->Portion.Start;
    run->Repair.Count++;
    run->Damage = DAMAGE_NONE;
    run->DamagedHeader = 0;
    run->Set.Sizes[index] = f->Length;
    run->Out.BytesWritten = run->Portion.Start + f->Length - PORTION_HEADER_SIZE;
    *last = index + 1 >= MAX_PORTIONS || JoinDescribed(run, index + 1) < 0;
    run->PendingError = OsSeek(run->Out.File, run->Out.BytesWritten);
    return run->PendingError ? JOIN_WRITE_FAILED : 0;
}

// ---- The rebuild ------------------------------------------------------------

// What the rebuilt portion files' bytes go through, by their place in
// Repair.Index.
struct RebuildSink {
    JoinRun *Run;
    uint32_t Crc[MAX_PORTIONS];      // of all of a file's bytes
    uint32_t DataCrc[MAX_PORTIONS];  // of those past its header
    unsigned char Odd[MAX_PORTIONS]; // its header is not the set's
    unsigned char Last[MAX_PORTIONS]; // its LastPortion byte
    long Error;
    const char *Name;                // the first portion rebuilt, for the progress line
    uint64_t Taken, Total;           // bytes of all of them rebuilt so far, and in all
};

static int TakeRebuilt(void *context, unsigned slot, uint64_t offset, const void *data,
                       size_t size)
{
    RebuildSink *sink = (RebuildSink *)context;
    JoinRun *run = sink->Run;
    const unsigned char *bytes = (const unsigned char *)data;
    uint64_t at = offset;
    uint32_t done;

    sink->Taken += size;
    if (JoinProgress(STEP_REBUILD, sink->Name, sink->Taken, sink->Total))
        return 1;
    sink->Crc[slot] = Crc32Update(sink->Crc[slot], bytes, size);
    for (; at < PORTION_HEADER_SIZE && at < offset + size; at++, bytes++) {
        if (at == OFFSET_LAST_PORTION)
            sink->Last[slot] = *bytes;
        else
            sink->Odd[slot] |= *bytes != run->Set.FirstHeader[at];
    }
    size -= (size_t)(at - offset);
    if (!size)
        return 0;
    sink->DataCrc[slot] = Crc32Update(sink->DataCrc[slot], bytes, size);
    sink->Error = OsSeek(run->Out.File, run->Repair.Offset[slot] + at - PORTION_HEADER_SIZE);
    while (!sink->Error && size > 0) {
        done = 0;
        sink->Error = OsWrite(run->Out.File, bytes, (uint32_t)size, &done);
        if (!sink->Error && done == 0)
            sink->Error = 1;  // the disk took no more
        bytes += done;
        size -= done;
    }
    return sink->Error != 0;
}

int JoinRebuildPortions(JoinRun *run, unsigned last)
{
    RebuildSink sink;
    unsigned lost[MAX_PORTIONS], slot, count = run->Repair.Count;
    int result;

    // The label of the Linux progress line; KELMORIX.EXE shows a percentage.
#ifdef _WIN32
    char *name = NULL;
#else
    char *name = JoinPath(run->Portion.Path, "");
#endif

    memset(&sink, 0, sizeof sink);
    sink.Run = run;
    for (slot = 0; slot < count; slot++) {
        lost[slot] = (unsigned)JoinDescribed(run, run->Repair.Index[slot]);
        sink.Total += JoinRecoveryData->Reader.Files[lost[slot]].Length;
    }
    if (name && SetPortionNumber(name, run->Repair.Index[0]) == 0)
        sink.Name = JoinPortionName(name);
    result = RepairRebuild(JoinRecoveryData, lost, count, TakeRebuilt, &sink);
    free(name);
    run->PendingError = 1;
    if (result == REPAIR_SINK_FAILED) {
        run->PendingError = sink.Error;
        return JOIN_WRITE_FAILED;
    }
    run->Repair.Failed = -1;
    if (JoinRecoveryData->Failed >= 0)
        run->Repair.Failed = PortionNumberOf(JoinRecoveryData->Reader.Files[JoinRecoveryData->Failed].Name);
    // Right bytes for the recovery data, yet each must also be this set's
    // portion, in its place: the set's header, the last-portion mark, and
    // the list's line where there is one (which its MD5 outweighs).
    for (slot = 0; slot < count && !result; slot++) {
        unsigned index = run->Repair.Index[slot];
        if (sink.Odd[slot] || sink.Last[slot] != (index == last)) {
            result = REPAIR_MISMATCH;
            run->Repair.Failed = (int)index;
            break;
        }
        run->Set.PortionCrcs[index] = sink.Crc[slot];
        run->Set.DataCrcs[index] = sink.DataCrc[slot];
        run->Portion.Described = PORTION_VOUCHED;
        JoinCheckPortion(run, index);
        JoinSay("%s %s; rebuilt from the recovery data\n", JoinPortionName(run->Portion.Path),
                run->Repair.Damage[slot] == DAMAGE_MISSING      ? "was missing"
                : run->Repair.Damage[slot] == DAMAGE_UNREADABLE ? "could not be opened"
                                                                : "was damaged");
    }
    if (result) {
        run->Repair.Failure = result;
        return JOIN_DAMAGED;
    }
    // Where each portion is flushed (a removable destination), so are these.
    SetPortionNumber(run->Portion.Path, last);
    run->PendingError = OsSeek(run->Out.File, run->Out.BytesWritten);
    if (!run->PendingError && run->Out.FlushEachPortion)
        run->PendingError = OsFlush(run->Out.File);
    if (run->PendingError)
        return JOIN_WRITE_FAILED;
    run->Repair.Rebuilt = 1;
    return 0;
}
