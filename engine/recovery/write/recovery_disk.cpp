// Recovery data on a disk of its own after a set written disk after disk
// (recovery_disk.h). In this file:
//   the observer: each portion described to the PAR2 writer as it starts,
//     its bytes hashed and XORed in as the job writes them, the block
//     widened whenever a longer portion comes; the room every disk keeps
//     free, so that a disk of the set's kind takes the recovery data;
//   the recovery disk: asked for, refused while it holds a portion of the
//     set or lacks room for both files, then written through
//     WriteRecoveryFiles (temporary names, consent, renames).
#include "recovery_disk.h"

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "integrity/crc32.h"
#include "recovery/par2.h"
#include "format/heap_text.h"
#include "format/portion_file.h"
#include "format/slice_format.h"
#include "os/files.h"
#include "os/media.h"

// What kept the block from being made while the job ran.
enum DiskFault { FAULT_NONE, FAULT_MEMORY, FAULT_WRITER };

struct RecoveryDisk {
    const RecoveryRequest *Request;
    SliceObserver Observer;
    Par2Writer Writer;
    unsigned char *Block;     // heap: the exponent-0 block, Writer.SliceSize bytes
    int Begun;                // the writer has its first portion
    unsigned Portion;         // the portion being written: the writer's file index
    uint32_t HeadFill;        // bytes of portion 0's header seen
    unsigned char Head[PORTION_HEADER_SIZE]; // portion 0's header: what marks the set
    int Fault;                // a DiskFault
    uint64_t Wanted;          // FAULT_MEMORY: the block size the longest portion needs
    int Par2;                 // FAULT_WRITER: the writer's result
};

// What a line of Say is: a notice, the one message of a failure, or the
// line saying what was written.
enum { SAY_NOTICE = 0, SAY_FINAL = 1, SAY_RESULT = 2 };

static void Say(const SliceUser *user, int final, const char *format, ...)
    __attribute__((format(printf, 3, 4)));
static void Say(const SliceUser *user, int final, const char *format, ...)
{
    va_list args;
    char *text;

    va_start(args, format);
    text = FormatTextV(format, args);
    va_end(args);
    // Without memory for the text the bare format still says what happened.
    if (final == SAY_FINAL)
        user->Final(user->Context, SLICE_RECOVERY_FAILED, text ? text : format);
    else if (final == SAY_RESULT)
        SliceSayResult(user, text ? text : format);
    else
        user->Notice(user->Context, text ? text : format);
    free(text);
}

static void PortionStarts(void *context, unsigned portion, const char *path, uint64_t length)
{
    RecoveryDisk *d = (RecoveryDisk *)context;
    uint64_t slice = Par2SliceSize(length);
    unsigned char *grown;
    int result = PAR2_OK;

    d->Portion = portion;
    if (d->Fault)
        return;
    if (!d->Begun || slice > d->Writer.SliceSize) {
        grown = slice <= d->Request->MemoryLimit && slice <= (size_t)-1
                    ? (unsigned char *)realloc(d->Block, (size_t)slice)
                    : NULL;
        if (!grown) {
            d->Fault = FAULT_MEMORY;
            d->Wanted = slice;
            return;
        }
        d->Block = grown;
        result = d->Begun ? Par2WriterWiden(&d->Writer, slice, grown)
                          : Par2WriterBegin(&d->Writer, slice, 1, grown, Crc32Update,
                                            d->Request->Creator);
        d->Begun = 1;
    }
    // The job numbers its portions from 0 without a gap: file index = number.
    if (!result)
        result = Par2WriterAddFile(&d->Writer, SourceFileName(path), length);
    if (result) {
        d->Fault = FAULT_WRITER;
        d->Par2 = result;
    }
}

static void Written(void *context, const void *data, uint32_t size)
{
    RecoveryDisk *d = (RecoveryDisk *)context;
    uint32_t take;
    int result;

    if (d->Portion == 0 && d->HeadFill < PORTION_HEADER_SIZE) {
        take = PORTION_HEADER_SIZE - d->HeadFill < size ? PORTION_HEADER_SIZE - d->HeadFill : size;
        memcpy(d->Head + d->HeadFill, data, take);
        d->HeadFill += take;
    }
    if (d->Fault)
        return;
    result = Par2WriterFeed(&d->Writer, d->Portion, data, size);
    if (result) {
        d->Fault = FAULT_WRITER;
        d->Par2 = result;
    }
}

static uint64_t Padded(size_t length)
{
    return (length + 3) & ~(size_t)3;
}

// The bytes of the set's critical packets (par2_write.cpp) for count
// portions: main, each file's description and slice checksums, creator.
static uint64_t CriticalSize(const RecoveryDisk *d, unsigned count)
{
    size_t creator = strlen(d->Request->Creator ? d->Request->Creator : "");

    return 64 + 12 + 16 * (uint64_t)count +
           count * (64 + 56 + Padded(strlen(SourceFileName(d->Request->Source))) + 64 + 36) +
           64 + Padded(creator < 200 ? creator : 200);
}

// The recovery disk must take a block the size of the longest portion and,
// beside it, the critical packets three times (the index file, and before
// and after the block in the recovery file) and two files' last allocation
// units. Disks of one kind, each filled, would leave it short by just that:
// so every disk keeps it free, for the count of portions the set has if the
// disks to come are like this one. Then a blank disk as large as any of the
// set's takes the recovery data.
static uint32_t Reserve(void *context, unsigned portion, uint32_t free, uint32_t unit,
                        uint64_t rest)
{
    RecoveryDisk *d = (RecoveryDisk *)context;
    uint64_t room = free > PORTION_HEADER_SIZE ? free - PORTION_HEADER_SIZE : 1;
    uint64_t count = portion + 1 + (rest > room ? (rest - room + room - 1) / room : 0);
    uint64_t kept;

    if (count > MAX_PORTIONS)
        count = MAX_PORTIONS;
    kept = 3 * CriticalSize(d, (unsigned)count) + 68 + 2 * (uint64_t)(unit ? unit : 1) + 4;
    return kept < UINT32_MAX ? (uint32_t)kept : UINT32_MAX;
}

RecoveryDisk *RecoveryDiskStart(const RecoveryRequest *request)
{
    RecoveryDisk *d = (RecoveryDisk *)calloc(1, sizeof *d);

    if (!d)
        return NULL;
    Crc32Setup();
    d->Request = request;
    d->Observer.Context = d;
    d->Observer.PortionStarts = PortionStarts;
    d->Observer.Written = Written;
    d->Observer.Reserve = Reserve;
    return d;
}

const SliceObserver *RecoveryDiskObserver(RecoveryDisk *d)
{
    return &d->Observer;
}

void RecoveryDiskFree(RecoveryDisk *d)
{
    if (d)
        free(d->Block);
    free(d);
}

static int CountBytes(void *context, const void *, size_t size)
{
    *(uint64_t *)context += size;
    return 0;
}

static uint64_t WholeUnits(uint64_t bytes, uint32_t unit)
{
    return unit > 1 ? (bytes + unit - 1) / unit * unit : bytes;
}

// The room both files take on the disk in the drive, in its allocation
// units: the index is the set's critical packets; the recovery file has
// them, then each block's packet followed by them again.
static uint64_t FilesRoom(RecoveryDisk *d, const char *destination)
{
    uint32_t unit = OsAllocationUnit(destination);
    uint64_t critical = 0;

    Par2WriteIndex(&d->Writer, CountBytes, &critical);
    return WholeUnits(critical, unit) +
           WholeUnits(critical + d->Writer.RecoveryCount * (68 + d->Writer.SliceSize + critical),
                      unit);
}

// The number of a portion of this set on the disk in the drive, or -1.
static int PortionOnDisk(RecoveryDisk *d, const char *destination)
{
    unsigned char head[PORTION_HEADER_SIZE];
    uint64_t size;
    unsigned n;

    for (n = 0; n < d->Writer.FileCount; n++) {
        char *path = JoinPath(destination, d->Writer.Files[n].Name);
        long error = path ? ReadPortionHeader(path, head, &size) : (long)OS_NO_MEMORY;

        free(path);
        if (!error && SameSliceSet(d->Head, head))
            return (int)n;
    }
    return -1;
}

int RecoveryDiskWrite(RecoveryDisk *d, const SliceUser *user)
{
    const char *destination = d->Request->Destination;
    int disk, held, result, answer;
    uint64_t room;
    uint32_t free;
    char index[PAR2_NAME_SIZE], recovery[PAR2_NAME_SIZE];

    if (d->Fault == FAULT_MEMORY) {
        Say(user, SAY_FINAL,
            "A recovery block the size of the longest portion, %llu bytes, needs more memory "
            "than this machine can spare (%llu bytes): no recovery data was written.\n",
            (unsigned long long)d->Wanted, (unsigned long long)d->Request->MemoryLimit);
        return SLICE_RECOVERY_FAILED;
    }
    result = d->Fault ? d->Par2 : d->Begun ? Par2WriterFinish(&d->Writer) : PAR2_BAD_ARGUMENT;
    if (result || d->HeadFill != PORTION_HEADER_SIZE ||
        Par2FileNames(SourceFileName(d->Request->Source), 1, index, recovery)) {
        Say(user, SAY_FINAL, "Error making the recovery data (%d): none was written.\n", result);
        return SLICE_RECOVERY_FAILED;
    }
    disk = (int)d->Writer.FileCount + 1;
    for (;;) {
        if (user->NextDisk(user->Context, disk, destination)) {
            Say(user, SAY_FINAL, "No recovery data was written: disk #%d could not be asked for.\n",
                disk);
            return SLICE_RECOVERY_FAILED;
        }
        held = PortionOnDisk(d, destination);
        free = OsFreeBytes(destination);
        room = FilesRoom(d, destination);
        if (held >= 0)
            Say(user, SAY_NOTICE,
                "This disk holds %s of the set just written. The recovery data goes on a disk of "
                "its own, so that losing one disk never loses a portion and the recovery data "
                "together.\n",
                d->Writer.Files[held].Name);
        // A free count at its cap says only that the disk is large.
        else if (free < room && free != UINT32_MAX)
            Say(user, SAY_NOTICE,
                "Disk #%d has %lu bytes free; the recovery data (%s and %s) needs %llu.\n",
                disk, (unsigned long)free, index, recovery, (unsigned long long)room);
        else
            break;
        answer = user->NotReady(user->Context, destination);
        if (answer == SLICE_ANSWER_ABORT || answer == SLICE_ANSWER_NONE) {
            Say(user, SAY_FINAL, "No recovery data was written: disk #%d was not given%s.\n", disk,
                answer == SLICE_ANSWER_NONE ? ", and there is no terminal to ask for another"
                                            : "");
            return SLICE_RECOVERY_FAILED;
        }
    }
    result = WriteRecoveryFiles(d->Request, &d->Writer, user);
    if (!result)
        Say(user, SAY_RESULT,
            "Disk #%d holds the recovery data. To repair the set, copy every disk, this one "
            "included, into one folder and run par2 repair %s there.\n",
            disk, index);
    return result;
}
