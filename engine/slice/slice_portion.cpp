// One portion of a slice job: the questions before it is created, the
// measure of a removable disk, and the copy of the source's bytes into it.
#include "slice_state.h"

#include <stdlib.h>
#include <string.h>

#include "integrity/crc32.h"
#include "os/files.h"
#include "os/media.h"
#include "slice_arith.h"
#include "slice_guard.h"

// Ends the job when path, one of the files it is about to write, is the
// source itself: nothing is then deleted or written. Returns 0 or 235.
int SliceRefuseSource(SliceJobState *w, const char *path, int clash)
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
int SliceRefuseSourceClash(SliceJobState *w, unsigned first, unsigned count, int withJoiner)
{
    char *joiner = NULL;
    int clash = FindSourceClash(w->JobSource, w->PortionPath, first, count, w->JobDestination,
                                withJoiner, w->List.Path, &joiner);
    int result = 0;

    if (clash == CLASH_NO_MEMORY) {
        w->PendingError = 1;
        result = SLICE_NO_PATH_BUFFER;
    } else if (clash) {
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

// Asked at most once per job; after an OK later collisions count as agreed.
int SliceAskOverwrite(SliceJobState *w, const char *names)
{
    char *detail;
    int answer;

    if (!w->AskBeforeOverwrite)
        return SLICE_ANSWER_OK;
    detail = FormatText("To be replaced or removed: %s", names);
    answer = w->User->AskOverwrite(w->User->Context, detail ? detail : names);
    free(detail);
    if (answer != SLICE_ANSWER_OK)
        return SLICE_ANSWER_CANCEL;
    w->AskBeforeOverwrite = 0;
    return SLICE_ANSWER_OK;
}

// The question for the one file at path.
static int AskOverwrite(SliceJobState *w, const char *path)
{
    return SliceAskOverwrite(w, SourceFileName(path));
}

int SliceAgreeToReplaceList(SliceJobState *w)
{
    int owner = w->List.Path ? SideFileOwner(w->List.Path, w->Header.FileName, 1) : SIDE_NONE;

    if (owner == SIDE_NONE)
        return 0;
    if (owner == SIDE_OTHER) {
        w->FailedPath = w->List.Path;
        w->PendingError = 1;
        return SLICE_LIST_TAKEN;
    }
    if (AskOverwrite(w, w->List.Path) != SLICE_ANSWER_OK) {
        w->PendingError = 0;
        return SLICE_CANCELLED;
    }
    return 0;
}

// Creates the current portion file as a new file, asking before anything is
// overwritten. Returns 0 with w->Portion open, or the code that ends the job.
static int CreatePortion(SliceJobState *w)
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
            result = SliceRefuseSource(w, w->PortionPath, CLASH_PORTION);
            if (result)
                return result;
            if (AskOverwrite(w, w->PortionPath) != SLICE_ANSWER_OK) {
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
        switch (w->User->OpenError(w->User->Context, w->PortionPath, error)) {
        case SLICE_ANSWER_ABORT:
            return SLICE_ABORTED;
        case SLICE_ANSWER_NONE:
            return SLICE_NOT_CREATED; // nobody to answer: the error is the end
        }
        // Retry and Ignore try the portion again; only a drive job asks for
        // the disk first, a folder has none to change.
        if (w->Mode == SLICE_ONTO_DISKS) {
            result = w->User->NextDisk(w->User->Context, w->DiskNumber, w->JobDestination);
            if (result) {
                w->PendingError = 0;
                return result;
            }
        }
    }
}

// "destination is not ready": 0 to try again, or the code that ends the
// job (Abort, or nobody to answer).
static int AskNotReady(SliceJobState *w)
{
    switch (w->User->NotReady(w->User->Context, w->JobDestination)) {
    case SLICE_ANSWER_ABORT:
        return SLICE_ABORTED;
    case SLICE_ANSWER_NONE:
        w->PendingError = 1;
        return SLICE_NO_TERMINAL;
    }
    return 0;
}

// Removable drive: waits until the disk in the drive has room for more than
// a header, or holds portions the user agrees to overwrite. Returns 0 or the
// code that ends the job.
static int CheckSpace(SliceJobState *w)
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
            result = SliceRefuseSource(w, w->PortionPath, CLASH_PORTION);
            if (result)
                return result;
            if (AskOverwrite(w, w->PortionPath) != SLICE_ANSWER_OK) {
                w->PendingError = 0;
                return SLICE_CANCELLED;
            }
            return 0;
        }
        result = AskNotReady(w);
        if (!result)
            result = w->User->NextDisk(w->User->Context, w->DiskNumber, w->JobDestination);
        if (result)
            return result;
        free = OsFreeBytes(w->JobDestination);
    }
    return 0;
}

// Writes the joiner beside portion 0. A set without its joiner can still be
// joined by a copy from elsewhere, so the job goes on, but the user is told.
static void WriteJoinerBesidePortion(SliceJobState *w)
{
    int replaceFailed = 0;
    long error = WriteJoinerFile(w->JobDestination, &replaceFailed);
    char *text, part[SLICE_ERROR_PART_SIZE];

    if (!error || w->JoinerFailureShown)
        return;
    w->JoinerFailureShown = 1;
    SliceErrorPart(w->User, error, part);
    if (replaceFailed)
        text = FormatText("Error replacing %s%s%s\nThe existing file could not be replaced. "
                          "Slicing goes on, and that file stays beside the set.\n",
                          w->JobDestination, JOINER_FILE_NAME, part);
    else
        text = FormatText("Error writing %s%s%s\nSlicing goes on, but the set will lack its "
                          "joiner program.\n",
                          w->JobDestination, JOINER_FILE_NAME, part);
    w->User->Notice(w->User->Context, text ? text : "Error writing " JOINER_FILE_NAME "\n");
    free(text);
}

// Takes back the portion just created, still empty.
static void TakeBackPortion(SliceJobState *w)
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
static int MeasureDisk(SliceJobState *w)
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

// Creates the current portion with room for data, and the joiner beside
// portion 0. Sets w->Room. Returns 0 or the code that ends the job.
int SliceOpenPortion(SliceJobState *w)
{
    int removable = w->Mode == SLICE_ONTO_DISKS;
    int share, result;

    for (;;) {
        if (removable) {
            // Each disk is another set of files: the source may be on it.
            result = w->User->NextDisk(w->User->Context, w->DiskNumber, w->JobDestination);
            if (!result)
                result = SliceRefuseSourceClash(w, w->PortionNumber, 1, w->PortionNumber == 0);
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
            result = SliceRefuseSourceClash(w, 0, 0, 1);
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
            result = SliceAgreeToReplaceList(w);
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
        result = AskNotReady(w);
        if (result)
            return result;
    }
}

static int WriteAll(SliceJobState *w, const void *data, uint32_t count)
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

// The portion's data after its header, read, written and hashed on this
// thread, block after block. Returns 0 or the code that ends the job.
static int CopyHere(SliceJobState *w, uint32_t *dataCrc)
{
    uint64_t size = w->SourceSize;
    uint32_t count, got;
    int result;

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
        *dataCrc = Crc32Update(*dataCrc, w->Buffer, count);
        w->BytesInPortion += count;
        w->BytesDone += count;
        w->User->Progress(w->User->Context, w->BytesDone, size);
        result = SliceInterruption(w->User);
        if (result)
            return result;
    }
    return 0;
}

// The same, the source read and hashed on the pipe's thread while this one
// writes.
static int CopyThroughPipe(SliceJobState *w, uint32_t *dataCrc)
{
    uint64_t size = w->SourceSize, rest = size - w->BytesDone;
    const unsigned char *block;
    uint32_t count;
    long error;
    int result;

    ReadPipeAsk(w->Pipe, w->Source, rest < w->Room ? rest : w->Room);
    for (w->BytesInPortion = 0; (block = ReadPipeNext(w->Pipe, &count, &error));) {
        result = WriteAll(w, block, count);
        if (!result) {
            w->BytesInPortion += count;
            w->BytesDone += count;
            w->User->Progress(w->User->Context, w->BytesDone, size);
            result = SliceInterruption(w->User);
        }
        // The rest of the run is not wanted: the pipe is left ready for the
        // next, wherever the job goes from here.
        if (result) {
            ReadPipeCancel(w->Pipe);
            return result;
        }
    }
    if (error) {
        w->PendingError = error; // OS_SOURCE_ENDED: it shrank since its size was read
        return SLICE_READ_FAILED;
    }
    *dataCrc = ReadPipeCrc(w->Pipe);
    return 0;
}

// Header and data of one portion, each CRC-32 taken as it passes. On a
// removable drive the file is flushed and closed: its disk is about to be
// swapped. In a folder its write-back only starts, and it stays open until
// the set is made durable at once (MakeDurable).
int SliceWritePortion(SliceJobState *w)
{
    uint64_t size = w->SourceSize;
    unsigned char raw[PORTION_HEADER_SIZE];
    uint32_t dataCrc = 0;
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
    result = w->Pipe ? CopyThroughPipe(w, &dataCrc) : CopyHere(w, &dataCrc);
    if (result)
        return result;
    SliceListAdd(&w->List, w->PortionNumber, raw, dataCrc, w->BytesInPortion);
    if (w->Mode == SLICE_INTO_FOLDER) {
        w->PendingError = OsStartWriteBack(w->Portion);
        if (w->PendingError)
            return SLICE_CLOSE_FAILED;
        w->Written[w->PortionNumber] = w->Portion;
        w->Portion = 0;
        w->Complete++;
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
    w->Complete++;
    return 0;
}
