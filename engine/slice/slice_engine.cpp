#include "slice_engine.h"

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "integrity/crc32.h"
#include "slice_arith.h"
#include "format/slice_format.h"
#include "slice_guard.h"
#include "slice_side_files.h"
#include "os/files.h"
#include "os/media.h"
#include "os/process.h"

// Data moves in blocks of 1 MiB, through one buffer on the heap: fewer,
// larger reads and writes than the 64 KiB the format's first slicer used.
// Nothing the user sees depends on it: every block is cut to the room left
// in the portion, so a disk is still filled to its last byte.
enum { TRANSFER_SIZE = 0x100000 };

// The job's state, on the stack of the thread that runs it.
struct SliceWorkerState {
    const char *JobSource;      // the source file's path, as given
    const char *JobDestination; // "A:", a mount point or a folder, with its separator
    uint32_t JobPortionSize;    // portion file length with header; 0: removable drive
    const SliceUser *User;      // who answers the questions
    const SliceObserver *Observer; // shown every byte written to a portion; or NULL
    PortionHeader Header;       // filled once; only LastPortion changes
    OsFile Source;           // the source, read sequentially; or 0
    OsFile Portion;          // the portion being written; or 0
    char *PortionPath;          // heap: destination + file name, number at the end
    char *ClashPath;            // heap: the job's file that is the source, for 235
    const char *FailedPath;     // the file a write or close failure names, if not the portion
    SliceList List;             // the checksum list: its path and the CRCs so far
    OsFile Written[MAX_PORTIONS]; // folder job: portions written, open until made durable
    int Clash;                  // a SliceClash: what ClashPath is
    unsigned PortionNumber;     // from 0
    int DiskNumber;             // shown in prompts: always PortionNumber + 1
    uint64_t SourceSize;        // the source's size, up to MAX_SET_DATA
    uint64_t BytesDone;         // source bytes written to portions so far
    uint32_t Room;              // payload bytes the current portion may take
    uint32_t BytesInPortion;    // payload bytes written to it so far
    unsigned char *Buffer;      // TRANSFER_SIZE bytes, zero-filled
    int AskBeforeOverwrite;     // 1 until the user first agrees to overwrite
    int JustDeleted;            // 1 right after the portion's old file was deleted
    int JoinerFailureShown;     // 1 once a failed KELMORIX.EXE was reported
    long PendingError;          // number for the final message; 0: show none
};

enum FinalArgs {
    ARGS_NONE,
    ARGS_ERROR,         // pending error
    ARGS_DESTINATION,   // JobDestination
    ARGS_SOURCE,        // JobSource
    ARGS_SOURCE_ERROR,  // JobSource, pending error
    ARGS_SOURCE_SIZE,   // JobSource, JobPortionSize
    ARGS_SOURCE_LIMIT,  // JobSource, SourceSize, MAX_SET_DATA (as decimal text)
    ARGS_PORTION_ERROR, // portion path, pending error
    ARGS_CLASH          // ClashPath, JobSource (SourceClashMessage)
};

// The one final message of each failure, shown when the job ends.
struct FinalMessage {
    int Code;
    int Args;
    const char *Format;
};

static const FinalMessage FinalMessages[] = {
    {SLICE_SOURCE_IN_SET, ARGS_CLASH, "The source would be written over\n"},
    {SLICE_UNSAFE_NAME, ARGS_SOURCE,
     "The file name of %s cannot be carried by a slice set: the joiner would refuse to "
     "rebuild a file of that name.\n"},
    {SLICE_NO_THREAD, ARGS_ERROR, "Error starting the slice job = %ld\n"},
    {SLICE_TOO_MANY_DISKS, ARGS_SOURCE,
     "%s needs more than 100 disks, and a slice set holds at most 100 portions. "
     "The disks written do not make a complete set.\n"},
    {SLICE_CLOSE_FAILED, ARGS_PORTION_ERROR, "Error closing %s = %ld\n"},
    {SLICE_WRITE_FAILED, ARGS_PORTION_ERROR, "Error writing %s = %ld\n"},
    {SLICE_READ_FAILED, ARGS_SOURCE_ERROR, "Error reading %s = %ld\n"},
    {SLICE_TOO_MANY_PORTIONS, ARGS_SOURCE_SIZE,
     "Slicing %s into portions of %lu bytes would take more than 100 portions, "
     "and a slice set holds at most 100.\n"},
    {SLICE_UNNUMBERABLE_NAME, ARGS_SOURCE,
     "The file name of %s cannot be numbered: its last two characters become the "
     "portion number, so it needs 2 to 255 characters.\n"},
    {SLICE_SOURCE_TOO_LARGE, ARGS_SOURCE_LIMIT,
     "%s has %s bytes, more than a slice set can carry. The largest file that can be "
     "sliced has %s bytes: 100 portions of just under 4 GiB.\n"},
    {SLICE_NO_BUFFER, ARGS_NONE, "Error allocating transfer buffer\n"},
    {SLICE_NOT_REMOVABLE, ARGS_DESTINATION, "Destination: %s is not removable\n"},
    {SLICE_NO_PATH_BUFFER, ARGS_NONE, "Error allocating destination name buffer\n"},
    {SLICE_NO_SIZE, ARGS_SOURCE_ERROR, "Error getting size of %s = %ld\n"},
    {SLICE_NO_TIMES, ARGS_SOURCE_ERROR, "Error getting date/time(s) for %s = %ld\n"},
    {SLICE_NO_SOURCE, ARGS_SOURCE_ERROR, "Error opening %s = %ld\n"},
    {SLICE_NO_ATTRIBUTES, ARGS_SOURCE_ERROR, "Error getting attributes for %s = %ld\n"},
};

// A formatted text on the heap, or NULL when there is no memory for it.
// Paths have no fixed bound on every platform, so the buffer grows to fit.
static char *FormatText(const char *format, ...)
{
    size_t size = 512;
    char *text = NULL, *grown;
    va_list args;
    int length;

    for (;;) {
        grown = (char *)realloc(text, size);
        if (!grown) {
            free(text);
            return NULL;
        }
        text = grown;
        va_start(args, format);
        length = vsnprintf(text, size, format, args);
        va_end(args);
        if (length >= 0 && (size_t)length < size)
            return text;
        size = length >= 0 ? (size_t)length + 1 : size * 2;
    }
}

// Ends the job when path, one of the files it is about to write, is the
// source itself: nothing is then deleted or written. Returns 0 or 235.
static int RefuseSource(SliceWorkerState *w, const char *path, int clash)
{
    if (!SliceIsSource(w->JobSource, path))
        return 0;
    free(w->ClashPath);
    w->ClashPath = strdup(path);
    w->Clash = clash;
    w->PendingError = 1;
    return SLICE_SOURCE_IN_SET;
}

// The same for the portions numbered first to first + count - 1 and, with
// withJoiner, the joiner beside them.
static int RefuseSourceClash(SliceWorkerState *w, unsigned first, unsigned count, int withJoiner)
{
    char *joiner = NULL;
    int clash = FindSourceClash(w->JobSource, w->PortionPath, first, count, w->JobDestination,
                                withJoiner, w->List.Path, &joiner);
    int result = 0;

    if (clash) {
        free(w->ClashPath);
        w->ClashPath = strdup(clash == CLASH_JOINER ? joiner
                              : clash == CLASH_LIST ? w->List.Path
                                                    : w->PortionPath);
        w->Clash = clash;
        w->PendingError = 1;
        result = SLICE_SOURCE_IN_SET;
    }
    free(joiner);
    SetPortionNumber(w->PortionPath, w->PortionNumber);
    return result;
}

// The portions a folder job writes: one at least, for an empty source.
static unsigned SetPortionCount(uint64_t sourceSize, uint32_t portionSize)
{
    uint32_t count = PortionsNeeded(sourceSize, portionSize);

    if (count > MAX_PORTIONS)
        count = MAX_PORTIONS;
    return count == 0 ? 1u : count;
}

// Asked at most once per job; after an OK later collisions count as agreed.
static int AskOverwrite(SliceWorkerState *w)
{
    if (!w->AskBeforeOverwrite)
        return SLICE_ANSWER_OK;
    if (w->User->AskOverwrite(w->User->Context) != SLICE_ANSWER_OK)
        return SLICE_ANSWER_CANCEL;
    w->AskBeforeOverwrite = 0;
    return SLICE_ANSWER_OK;
}

// Creates the current portion file as a new file, asking before anything is
// overwritten. Returns 0 with w->Portion open, or the code that ends the job.
static int CreatePortion(SliceWorkerState *w)
{
    long error;
    int result;

    for (;;) {
        error = OsCreateNew(w->PortionPath, &w->Portion);
        if (!error) {
            w->JustDeleted = 0;
            w->PendingError = 0;
            return 0;
        }
        w->Portion = 0;
        // Right after the deletion a collision means a file that came back:
        // that goes to the open-error message below rather than round the
        // deletion again.
        if (error == OS_FILE_EXISTS && !w->JustDeleted) {
            result = RefuseSource(w, w->PortionPath, CLASH_PORTION);
            if (result)
                return result;
            if (AskOverwrite(w) != SLICE_ANSWER_OK) {
                w->PendingError = 0;
                return SLICE_CANCELLED;
            }
            // The answer replaces what the job writes, and stale portions
            // of an earlier set of the same file; nothing else. A deletion
            // that fails is the error worth telling, not the collision.
            error = OsDelete(w->PortionPath);
            if (!error) {
                DeleteStalePortions(w->JobSource, w->PortionPath, w->PortionNumber,
                                    w->Header.FileName);
                w->JustDeleted = 1;
                continue;
            }
        }
        w->JustDeleted = 0;
        w->PendingError = error;
        if (w->User->OpenError(w->User->Context, w->PortionPath, error) == SLICE_ANSWER_ABORT)
            return SLICE_ABORTED;
        // Retry and Ignore try the portion again; only a drive job asks for
        // the disk first, a folder has none to change.
        if (w->JobPortionSize == 0) {
            result = w->User->NextDisk(w->User->Context, w->DiskNumber, w->JobDestination);
            if (result) {
                w->PendingError = 0;
                return result;
            }
        }
    }
}

// Removable drive: waits until the disk in the drive has room for more than
// a header, or holds portions the user agrees to overwrite. Returns 0 or the
// code that ends the job.
static int CheckSpace(SliceWorkerState *w)
{
    uint32_t free = OsFreeBytes(w->JobDestination);
    OsFile probe;
    long error;
    int result;

    while (free <= PORTION_HEADER_SIZE) {
        // A file that can be created tells a full disk from a missing one.
        error = OsCreateNew(w->PortionPath, &probe);
        if (!error) {
            OsClose(probe);
            OsDelete(w->PortionPath);
        } else if (error == OS_FILE_EXISTS) {
            // A disk holding the set's file: the creation that follows
            // replaces it, once the user agreed, without measuring again.
            result = RefuseSource(w, w->PortionPath, CLASH_PORTION);
            if (result)
                return result;
            if (AskOverwrite(w) != SLICE_ANSWER_OK) {
                w->PendingError = 0;
                return SLICE_CANCELLED;
            }
            return 0;
        }
        if (w->User->NotReady(w->User->Context, w->JobDestination) == SLICE_ANSWER_ABORT)
            return SLICE_ABORTED;
        result = w->User->NextDisk(w->User->Context, w->DiskNumber, w->JobDestination);
        if (result)
            return result;
        free = OsFreeBytes(w->JobDestination);
    }
    return 0;
}

// Writes the joiner beside portion 0. A set without its joiner can still be
// joined by a copy from elsewhere, so the job goes on, but the user is told.
static void WriteJoinerBesidePortion(SliceWorkerState *w)
{
    int replaceFailed = 0;
    long error = WriteJoinerFile(w->JobDestination, &replaceFailed);
    char *text;

    if (!error || w->JoinerFailureShown)
        return;
    w->JoinerFailureShown = 1;
    if (replaceFailed)
        text = FormatText("Error replacing %s%s = %ld\nThe existing file could not be replaced. "
                          "Slicing goes on, and that file stays beside the set.\n",
                          w->JobDestination, JOINER_FILE_NAME, error);
    else
        text = FormatText("Error writing %s%s = %ld\nSlicing goes on, but the set will lack its "
                          "joiner program.\n",
                          w->JobDestination, JOINER_FILE_NAME, error);
    w->User->Notice(w->User->Context, text ? text : "Error writing " JOINER_FILE_NAME "\n");
    free(text);
}

// Takes back the portion just created, still empty.
static void TakeBackPortion(SliceWorkerState *w)
{
    OsClose(w->Portion);
    w->Portion = 0;
    OsDelete(w->PortionPath);
}

// How much of the file the disk in the drive takes (a DiskShare), with
// w->Room set to it. The checksum list goes on the disk of the last portion,
// so a disk that could take the rest of the file is the last only if the
// list fits beside it. The list has a line per portion, and the number of
// portions is known only at the end: its size here is that of the list the
// set would have if this disk were the last, PortionNumber + 1 portions.
// That is exact whenever it decides anything: if the disk is the last, the
// count is that one; if not, the rest goes on and the next disk is measured
// against a list one line longer, again as if it were the last. The
// observer may keep part of every disk free (recovery_disk.cpp says why).
static int MeasureDisk(SliceWorkerState *w)
{
    uint32_t listSize = SliceListSize(&w->List, w->Header.FileName, w->SourceSize,
                                      w->PortionNumber + 1);
    uint32_t free = OsFreeBytes(w->JobDestination), unit = OsAllocationUnit(w->JobDestination);
    uint32_t kept = w->Observer && w->Observer->Reserve
                        ? w->Observer->Reserve(w->Observer->Context, w->PortionNumber, free, unit,
                                               w->SourceSize - w->BytesDone)
                        : 0;

    return DiskShare(kept < free ? free - kept : 0, unit, w->SourceSize - w->BytesDone, listSize,
                     &w->Room);
}

// Asks before the list replaces a file of its name, when the user has not
// agreed to overwrite yet. Returns 0 or SLICE_CANCELLED.
static int AgreeToReplaceList(SliceWorkerState *w)
{
    if (!w->List.Path || OsQueryPath(w->List.Path, NULL) != 0)
        return 0;
    if (AskOverwrite(w) != SLICE_ANSWER_OK) {
        w->PendingError = 0;
        return SLICE_CANCELLED;
    }
    return 0;
}

// Creates the current portion with room for data, and the joiner beside
// portion 0. Sets w->Room. Returns 0 or the code that ends the job.
static int OpenPortionWithRoom(SliceWorkerState *w)
{
    int removable = w->JobPortionSize == 0;
    int share, result;

    for (;;) {
        if (removable) {
            // Each disk is another set of files: the source may be on it.
            result = w->User->NextDisk(w->User->Context, w->DiskNumber, w->JobDestination);
            if (!result)
                result = RefuseSourceClash(w, w->PortionNumber, 1, w->PortionNumber == 0);
            if (!result)
                result = CheckSpace(w);
            if (result)
                return result;
        }
        result = CreatePortion(w);
        if (result)
            return result;
        if (w->PortionNumber == 0) {
            // The joiner replaces its older copy unasked: never the source.
            result = RefuseSourceClash(w, 0, 0, 1);
            if (result) {
                TakeBackPortion(w);
                return result;
            }
            WriteJoinerBesidePortion(w);
        }
        if (!removable) {
            w->Room = w->JobPortionSize - PORTION_HEADER_SIZE; // over 309 bytes, checked
            return 0;
        }
        share = MeasureDisk(w);
        if (share == DISK_LAST) {
            // The list will replace a file of its name on this disk.
            result = AgreeToReplaceList(w);
            if (result)
                TakeBackPortion(w);
            return result;
        }
        if (share != DISK_TOO_FULL)
            return 0;
        // The new portion (and on disk 1 the joiner) took the last of the
        // space, or left too little for the last byte with the list: a
        // portion without data would only confuse the joiner. Take it back
        // and treat the disk like one that is not ready.
        TakeBackPortion(w);
        if (w->User->NotReady(w->User->Context, w->JobDestination) == SLICE_ANSWER_ABORT)
            return SLICE_ABORTED;
    }
}

static int WriteAll(SliceWorkerState *w, const void *data, uint32_t count)
{
    uint32_t written = 0;

    w->PendingError = OsWrite(w->Portion, data, count, &written);
    if (w->PendingError)
        return SLICE_WRITE_FAILED;
    if (written != count) {
        w->PendingError = OS_DISK_FULL; // no error, yet short: no room left
        return SLICE_WRITE_FAILED;
    }
    if (w->Observer)
        w->Observer->Written(w->Observer->Context, data, count);
    return 0;
}

// Header and data of one portion, each CRC-32 taken as it passes. On a
// removable drive the file is flushed and closed: its disk is about to be
// swapped. In a folder its write-back only starts, and it stays open until
// the set is made durable at once (MakeDurable).
static int WritePortion(SliceWorkerState *w)
{
    uint64_t size = w->SourceSize;
    unsigned char raw[PORTION_HEADER_SIZE];
    uint32_t count, got, dataCrc = 0;
    long closed;
    int result;

    if (w->Room >= size - w->BytesDone)
        w->Header.LastPortion = 1;
    if (w->Observer)
        w->Observer->PortionStarts(w->Observer->Context, w->PortionNumber, w->PortionPath,
                                   PORTION_HEADER_SIZE + (w->Header.LastPortion
                                                              ? size - w->BytesDone
                                                              : (uint64_t)w->Room));
    EncodePortionHeader(&w->Header, raw);
    result = WriteAll(w, raw, sizeof raw);
    if (result)
        return result;
    for (w->BytesInPortion = 0; w->BytesInPortion < w->Room && w->BytesDone < size;) {
        count = TRANSFER_SIZE;
        if (count > w->Room - w->BytesInPortion)
            count = w->Room - w->BytesInPortion;
        if (count > size - w->BytesDone)
            count = (uint32_t)(size - w->BytesDone);
        w->PendingError = OsRead(w->Source, w->Buffer, count, &got);
        if (w->PendingError)
            return SLICE_READ_FAILED;
        if (got != count) {
            // The source shrank since its size was read.
            w->PendingError = OS_SOURCE_ENDED;
            return SLICE_READ_FAILED;
        }
        result = WriteAll(w, w->Buffer, count);
        if (result)
            return result;
        dataCrc = Crc32Update(dataCrc, w->Buffer, count);
        w->BytesInPortion += count;
        w->BytesDone += count;
        memset(w->Buffer, 0, count);
        w->User->Progress(w->User->Context, w->BytesDone, size);
    }
    SliceListAdd(&w->List, w->PortionNumber, raw, dataCrc, w->BytesInPortion);
    if (w->JobPortionSize != 0) {
        w->PendingError = OsStartWriteBack(w->Portion);
        if (w->PendingError)
            return SLICE_CLOSE_FAILED;
        w->Written[w->PortionNumber] = w->Portion;
        w->Portion = 0;
        return 0;
    }
    w->PendingError = OsFlush(w->Portion);
    if (w->PendingError)
        return SLICE_CLOSE_FAILED;
    closed = OsClose(w->Portion);
    w->Portion = 0;
    if (closed) {
        w->PendingError = closed;
        return SLICE_CLOSE_FAILED;
    }
    return 0;
}

// Fills the header from the source and makes the portion path and buffer.
// Returns 0 or the code that ends the job.
static int PrepareJob(SliceWorkerState *w)
{
    uint64_t size;
    char *name;
    size_t nameLength, destinationLength;
    int stored, result;

    OsLocalTime(&w->Header.SliceTime);
    w->Header.LastPortion = 0;

    w->PendingError = OsGetAttributes(w->JobSource, &w->Header.FileAttributes);
    if (w->PendingError)
        return SLICE_NO_ATTRIBUTES;
    w->PendingError = OsOpenRead(w->JobSource, &w->Source);
    if (w->PendingError) {
        w->Source = 0;
        return SLICE_NO_SOURCE;
    }
    w->PendingError = OsGetTimes(w->Source, &w->Header.CreationTime,
                                   &w->Header.LastAccessTime, &w->Header.LastWriteTime);
    if (w->PendingError)
        return SLICE_NO_TIMES;
    w->PendingError = OsFileSize(w->Source, &size);
    if (w->PendingError)
        return SLICE_NO_SIZE;
    // The header carries the size in two words; under 4 GiB the high one
    // is 0 and the set is what it always was. A portion's size is a 32-bit
    // number, so 100 of them carry at most MAX_SET_DATA bytes.
    w->SourceSize = size;
    w->Header.FileSizeLow = (uint32_t)size;
    w->Header.FileSizeHigh = (uint32_t)(size >> 32);
    if (size > MAX_SET_DATA) {
        w->PendingError = 1;
        return SLICE_SOURCE_TOO_LARGE;
    }

    // The number overwrites the name's last two characters: with fewer, it
    // would land on the folder's separator or the drive's colon. The set
    // carries the long name even when the source was given by its short one.
    name = SliceSourceName(w->JobSource);
    if (!name) {
        w->PendingError = 1;
        return SLICE_NO_PATH_BUFFER;
    }
    nameLength = strlen(name);
    stored = StoreFileName(w->Header.FileName, name);
    free(name);
    if (nameLength < 2 || stored != 0) {
        w->PendingError = 1;
        return SLICE_UNNUMBERABLE_NAME;
    }
    // A name the set's own joiner would refuse makes a set nobody can
    // rebuild: refused with the very check the joiner makes.
    if (CheckRestoreName(w->Header.FileName) != NAME_OK) {
        w->PendingError = 1;
        return SLICE_UNSAFE_NAME;
    }

    destinationLength = strlen(w->JobDestination);
    w->PortionPath = (char *)malloc(destinationLength + nameLength + 1);
    if (!w->PortionPath) {
        w->PendingError = 1;
        return SLICE_NO_PATH_BUFFER;
    }
    memcpy(w->PortionPath, w->JobDestination, destinationLength);
    memcpy(w->PortionPath + destinationLength, w->Header.FileName, nameLength + 1);
    if (SliceListStart(&w->List, w->JobDestination, w->Header.FileName) != 0) {
        w->PendingError = 1;
        return SLICE_NO_PATH_BUFFER;
    }
    if (!w->List.Path)
        w->User->Notice(w->User->Context,
                        "The set gets no checksum list: checkers would take a file name "
                        "starting with ';' or a blank for a comment. Slicing goes on.\n");

    if (w->JobPortionSize == 0 && !OsIsRemovableDrive(w->JobDestination)) {
        w->PendingError = 1;
        return SLICE_NOT_REMOVABLE;
    }

    w->Buffer = (unsigned char *)calloc(1, TRANSFER_SIZE);
    if (!w->Buffer) {
        w->PendingError = 1;
        return SLICE_NO_BUFFER;
    }

    // A folder job knows its portion count in advance: refuse one that the
    // two-digit numbers cannot name before any portion exists. A size with
    // no room for data is refused so too, also for an empty source, whose
    // one portion is a whole header.
    if (w->JobPortionSize != 0 &&
        (PortionsNeeded(w->SourceSize, w->JobPortionSize) > MAX_PORTIONS ||
         w->JobPortionSize <= PORTION_HEADER_SIZE)) {
        w->PendingError = 1;
        return SLICE_TOO_MANY_PORTIONS;
    }
    // Before any question or deletion: none of the files the job writes
    // may be the source, however its path is spelled. A drive job meets
    // its disks one by one and checks each when it is in the drive.
    if (w->JobPortionSize == 0)
        return 0;
    result = RefuseSourceClash(w, 0, SetPortionCount(w->SourceSize, w->JobPortionSize), 1);
    // The list replaces a file of its name only with the user's word, asked
    // before anything is written.
    return result ? result : AgreeToReplaceList(w);
}

// A folder job's portions, written back since each was written, put on
// the disk for good and closed: one flush per file, before the list. Named
// by its path where one fails.
static int MakeDurable(SliceWorkerState *w)
{
    long error, closed;

    for (unsigned n = 0; n < MAX_PORTIONS; n++) {
        if (!w->Written[n])
            continue;
        error = OsFlush(w->Written[n]);
        closed = OsClose(w->Written[n]);
        w->Written[n] = 0;
        if (!error)
            error = closed;
        if (error) {
            SetPortionNumber(w->PortionPath, n);
            w->PendingError = error;
            return SLICE_CLOSE_FAILED;
        }
    }
    return 0;
}

// The checksum list, after the last portion: beside portion 0 in a folder,
// on the last portion's disk on a drive. A set that cannot prove itself is
// no complete set: a failure ends the job, naming the list.
static int WriteList(SliceWorkerState *w)
{
    int stage = 0, result;

    if (!w->List.Path)
        return 0;
    // Asked at the start, or on the last disk; a file of its name that came
    // since is not replaced without the user's word either.
    result = AgreeToReplaceList(w);
    if (result)
        return result;
    w->PendingError = SliceListWrite(&w->List, w->Header.FileName, w->SourceSize,
                                     w->PortionNumber, &stage);
    if (!w->PendingError)
        return 0;
    w->FailedPath = w->List.Path;
    return stage == LIST_CLOSE_FAILED ? SLICE_CLOSE_FAILED : SLICE_WRITE_FAILED;
}

static int SliceAll(SliceWorkerState *w)
{
    int result = PrepareJob(w);

    // An empty source makes a set too: one header-only portion, the last.
    while (!result && (w->BytesDone < w->SourceSize || w->PortionNumber == 0)) {
        if (w->PortionNumber >= MAX_PORTIONS) {
            w->PendingError = 1;
            return SLICE_TOO_MANY_DISKS;
        }
        SetPortionNumber(w->PortionPath, w->PortionNumber);
        result = OpenPortionWithRoom(w);
        if (!result)
            result = WritePortion(w);
        w->PortionNumber++;
        w->DiskNumber++;
    }
    if (!result)
        result = MakeDurable(w);
    if (!result)
        result = WriteList(w);
    return result;
}

static void ShowFinalMessage(const SliceWorkerState *w, int result)
{
    const FinalMessage *message = NULL;
    char *text = NULL;
    char size[DECIMAL_TEXT_SIZE], limit[DECIMAL_TEXT_SIZE];
    size_t i;

    if (w->PendingError == 0)
        return;
    for (i = 0; i < sizeof FinalMessages / sizeof FinalMessages[0]; i++)
        if (FinalMessages[i].Code == result)
            message = &FinalMessages[i];
    if (!message)
        return;
    switch (message->Args) {
    case ARGS_NONE:
        text = FormatText("%s", message->Format);
        break;
    case ARGS_ERROR:
        text = FormatText(message->Format, w->PendingError);
        break;
    case ARGS_DESTINATION:
        text = FormatText(message->Format, w->JobDestination);
        break;
    case ARGS_SOURCE:
        text = FormatText(message->Format, w->JobSource);
        break;
    case ARGS_SOURCE_ERROR:
        text = FormatText(message->Format, w->JobSource, w->PendingError);
        break;
    case ARGS_SOURCE_SIZE:
        text = FormatText(message->Format, w->JobSource, (unsigned long)w->JobPortionSize);
        break;
    case ARGS_SOURCE_LIMIT:
        text = FormatText(message->Format, w->JobSource, DecimalText(w->SourceSize, size),
                          DecimalText(MAX_SET_DATA, limit));
        break;
    case ARGS_PORTION_ERROR:
        text = FormatText(message->Format, w->FailedPath ? w->FailedPath : w->PortionPath,
                          w->PendingError);
        break;
    case ARGS_CLASH:
        text = SourceClashMessage(w->Clash, w->ClashPath ? w->ClashPath : "", w->JobSource);
        break;
    }
    // Without memory for the text the bare format still says what failed.
    w->User->Final(w->User->Context, result, text ? text : message->Format);
    free(text);
}

static void StartState(SliceWorkerState *w, const char *source, const char *destination,
                       uint32_t portionSize, const SliceUser *user)
{
    memset(w, 0, sizeof *w);
    w->JobSource = source;
    w->JobDestination = destination;
    w->JobPortionSize = portionSize;
    w->User = user;
    w->DiskNumber = 1;
    w->AskBeforeOverwrite = 1;
}

int RunSlice(const char *source, const char *destination, uint32_t portionSize,
             const SliceUser *user)
{
    return RunSliceObserved(source, destination, portionSize, user, NULL);
}

int RunSliceObserved(const char *source, const char *destination, uint32_t portionSize,
                     const SliceUser *user, const SliceObserver *observer)
{
    SliceWorkerState w;
    int result;

    StartState(&w, source, destination, portionSize, user);
    w.Observer = observer;
    result = SliceAll(&w);

    // A portion left open by a failure is closed as it stands; the portions
    // before it are complete and stay where they are.
    if (w.Portion)
        OsClose(w.Portion);
    for (unsigned n = 0; n < MAX_PORTIONS; n++)
        if (w.Written[n])
            OsClose(w.Written[n]);
    if (w.Source)
        OsClose(w.Source);
    ShowFinalMessage(&w, result);
    free(w.Buffer);
    free(w.PortionPath);
    free(w.ClashPath);
    SliceListFree(&w.List);
    return result;
}

void ReportSliceFailure(const SliceUser *user, int code, long error, const char *source,
                        const char *destination, uint32_t portionSize)
{
    SliceWorkerState w;

    StartState(&w, source ? source : "", destination ? destination : "", portionSize, user);
    w.PendingError = error;
    ShowFinalMessage(&w, code);
}

int CheckSliceSource(const char *source, const char *destination, uint32_t portionSize,
                     uint64_t sourceSize, char **message)
{
    SliceWorkerState w;
    char *name = SliceSourceName(source);
    size_t length = strlen(destination);
    int result = 0;

    *message = NULL;
    if (!name)
        return 0;
    StartState(&w, source, destination, portionSize, NULL);
    w.PortionPath = (char *)malloc(length + strlen(name) + 1);
    if (w.PortionPath && strlen(name) >= 2 && SliceListStart(&w.List, destination, name) == 0) {
        memcpy(w.PortionPath, destination, length);
        strcpy(w.PortionPath + length, name);
        result = RefuseSourceClash(&w, 0, SetPortionCount(sourceSize, portionSize), 1);
        if (result)
            *message = SourceClashMessage(w.Clash, w.ClashPath ? w.ClashPath : "", source);
    }
    free(w.PortionPath);
    free(w.ClashPath);
    SliceListFree(&w.List);
    free(name);
    return result;
}
