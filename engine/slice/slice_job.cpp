// The slice job on every platform (slice_job.h): the source read and its
// header filled, the portions written one after another, the set made
// durable and its checksum list written.
#include "slice_state.h"

#include <stdlib.h>
#include <string.h>

#include "os/files.h"
#include "os/media.h"
#include "os/process.h"
#include "slice_arith.h"
#include "slice_guard.h"

// The portions a folder job writes: one at least, for an empty source.
static unsigned SetPortionCount(uint64_t sourceSize, uint32_t portionSize)
{
    uint32_t count = PortionsNeeded(sourceSize, portionSize);

    if (count > MAX_PORTIONS)
        count = MAX_PORTIONS;
    return count == 0 ? 1u : count;
}

// Fills the header from the source and makes the portion path and buffer.
// Returns 0 or the code that ends the job.
static int PrepareJob(SliceJobState *w)
{
    uint64_t size;
    char *name;
    size_t nameLength;
    unsigned count;
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
    if (CheckStoredFileName(w->Header.FileName) != NAME_OK) {
        w->PendingError = 1;
        return SLICE_UNSAFE_NAME;
    }

    w->PortionPath = JoinPath(w->JobDestination, w->Header.FileName);
    if (!w->PortionPath) {
        w->PendingError = 1;
        return SLICE_NO_PATH_BUFFER;
    }
    if (SliceListStart(&w->List, w->JobDestination, w->Header.FileName) != 0) {
        w->PendingError = 1;
        return SLICE_NO_PATH_BUFFER;
    }
    if (!w->List.Path)
        w->User->Notice(w->User->Context,
                        "The set gets no checksum list: checkers would take a file name "
                        "starting with ';' or a blank for a comment. Slicing goes on.\n");

    if (w->Mode == SLICE_ONTO_DISKS && !OsIsRemovableDrive(w->JobDestination)) {
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
    if (w->Mode == SLICE_INTO_FOLDER &&
        (PortionsNeeded(w->SourceSize, w->JobPortionSize) > MAX_PORTIONS ||
         w->JobPortionSize <= PORTION_HEADER_SIZE)) {
        w->PendingError = 1;
        return SLICE_TOO_MANY_PORTIONS;
    }
    // Before any question or deletion: none of the files the job writes
    // may be the source, however its path is spelled. A drive job meets
    // its disks one by one and checks each when it is in the drive.
    if (w->Mode == SLICE_ONTO_DISKS)
        return 0;
    count = SetPortionCount(w->SourceSize, w->JobPortionSize);
    result = SliceRefuseSourceClash(w, 0, count, 1);
    // What the job replaces or removes, the list included, only with the
    // user's word, asked once before anything is written.
    return result ? result : SliceAgreeToReplaceEarlier(w, count);
}

// A folder job's portions, written back since each was written, put on
// the disk for good and closed: one flush per file, before the list. Named
// by its path where one fails.
static int MakeDurable(SliceJobState *w)
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
static int WriteList(SliceJobState *w)
{
    int stage = 0, result;

    if (!w->List.Path)
        return 0;
    // Asked at the start, or on the last disk; a file of its name that came
    // since is not replaced without the user's word either.
    result = SliceAgreeToReplaceList(w);
    if (result)
        return result;
    w->PendingError = SliceListWrite(&w->List, w->Header.FileName, w->SourceSize,
                                     w->PortionNumber, &stage);
    if (!w->PendingError)
        return 0;
    w->FailedPath = w->List.Path;
    return stage == LIST_CLOSE_FAILED ? SLICE_CLOSE_FAILED : SLICE_WRITE_FAILED;
}

static int SliceAll(SliceJobState *w)
{
    int result = PrepareJob(w);

    // An empty source makes a set too: one header-only portion, the last.
    while (!result && (w->BytesDone < w->SourceSize || w->PortionNumber == 0)) {
        result = SliceInterruption(w->User);
        if (result)
            return result;
        if (w->PortionNumber >= MAX_PORTIONS) {
            w->PendingError = 1;
            return SLICE_TOO_MANY_DISKS;
        }
        SetPortionNumber(w->PortionPath, w->PortionNumber);
        result = SliceOpenPortion(w);
        if (!result)
            result = SliceWritePortion(w);
        w->PortionNumber++;
        w->DiskNumber++;
    }
    if (!result)
        result = SliceInterruption(w->User);
    if (!result)
        result = MakeDurable(w);
    if (!result)
        result = SliceInterruption(w->User);
    if (!result)
        result = WriteList(w);
    return result;
}

void SliceStartState(SliceJobState *w, const char *source, const char *destination, int mode,
                     uint32_t portionSize, const SliceUser *user)
{
    memset(w, 0, sizeof *w);
    w->JobSource = source;
    w->JobDestination = destination;
    w->Mode = mode;
    w->JobPortionSize = mode == SLICE_INTO_FOLDER ? portionSize : 0;
    w->User = user;
    w->DiskNumber = 1;
    w->AskBeforeOverwrite = 1;
}

int SliceFile(const char *source, const char *destination, int mode, uint32_t portionSize,
              const SliceUser *user)
{
    return SliceFileObserved(source, destination, mode, portionSize, user, NULL, NULL);
}

int SliceFileObserved(const char *source, const char *destination, int mode,
                      uint32_t portionSize, const SliceUser *user, const SliceObserver *observer,
                      SliceWritten *written)
{
    SliceJobState w;
    int result, interrupted, removed = 0;

    SliceStartState(&w, source, destination, mode, portionSize, user);
    w.Observer = observer;
    result = SliceAll(&w);
    // Whatever ended a job the user interrupted (a question left
    // unanswered, too), the interruption is what ends it.
    interrupted = result != SLICE_COMPLETE ? SliceInterruption(user) : 0;
    if (interrupted)
        result = interrupted;

    // A portion still open when the job ends is not finished: whatever
    // ended it (a failed read or write, an interruption), it goes, so that
    // no partial portion stands under a portion's name. The portions before
    // it are complete and stay where they are.
    if (w.Portion) {
        OsClose(w.Portion);
        removed = OsDelete(w.PortionPath) == 0;
    }
    for (unsigned n = 0; n < MAX_PORTIONS; n++)
        if (w.Written[n])
            OsClose(w.Written[n]);
    if (w.Source)
        OsClose(w.Source);
    if (written && result == SLICE_COMPLETE) {
        written->Portions = w.PortionNumber;
        memcpy(written->PortionCrcs, w.List.PortionCrcs, sizeof written->PortionCrcs);
    }
    if (interrupted)
        SliceShowInterruption(&w, result, removed);
    else
        SliceShowFinalMessage(&w, result);
    free(w.Buffer);
    free(w.PortionPath);
    free(w.ClashPath);
    SliceListFree(&w.List);
    return result;
}

int CheckSliceSource(const char *source, const char *destination, uint32_t portionSize,
                     uint64_t sourceSize, char **message)
{
    SliceJobState w;
    char *name = SliceSourceName(source);
    size_t length = strlen(destination);
    int result = 0;

    *message = NULL;
    if (!name)
        return SLICE_NO_PATH_BUFFER;
    SliceStartState(&w, source, destination, SLICE_INTO_FOLDER, portionSize, NULL);
    w.PortionPath = (char *)malloc(length + strlen(name) + 1);
    // A name too short to number is the job's to refuse, in its own words.
    if (!w.PortionPath) {
        result = SLICE_NO_PATH_BUFFER;
    } else if (strlen(name) >= 2) {
        if (SliceListStart(&w.List, destination, name) != 0) {
            result = SLICE_NO_PATH_BUFFER;
        } else {
            memcpy(w.PortionPath, destination, length);
            strcpy(w.PortionPath + length, name);
            result = SliceRefuseSourceClash(&w, 0, SetPortionCount(sourceSize, portionSize), 1);
        }
    }
    if (result == SLICE_SOURCE_IN_SET)
        *message = SourceClashMessage(w.Clash, w.ClashPath ? w.ClashPath : "", source);
    free(w.PortionPath);
    free(w.ClashPath);
    SliceListFree(&w.List);
    free(name);
    return result;
}
