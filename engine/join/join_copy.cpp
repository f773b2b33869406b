// The copy and the finish: the output created under a temporary name,
// every portion's data appended in number order (through memory, its CRC-32
// taken on the way, where the set is checked; else through the kernel where
// it can), the next disk asked for on a removable source, and the output
// made durable, given its times and the sliced file's name and attributes.
// Parts: the output; the next portion; moving the data; the finish.
#include "join_run.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "os/console.h"
#include "os/files.h"
#include "os/process.h"
#include "integrity/crc32.h"
#include "format/temp_name.h"

// ---- The output -------------------------------------------------------------

// The output is written under a temporary name in the destination folder
// (format/temp_name.h) and takes the sliced file's name only once it is
// whole, so that a failed run leaves a file of that name as it was.

// Whether the output path is the same file as the set's portion of the
// number its name ends in (a sliced file named like DATA.A02, rebuilt beside
// its set, by whatever spelling of the folder): putting the output in its
// place would delete that portion.
static int OutputIsPortion(JoinRun *run)
{
    int number = PortionNumberOf(run->Out.Path);
    char *portion;
    int same = 0;

    if (number < 0)
        return 0;
    portion = JoinPath(run->Portion.Path, "");
    if (!portion)
        return 0;
    SetPortionNumber(portion, (unsigned)number);
    OsSameFile(run->Out.Path, portion, &same);
    free(portion);
    return same;
}

// Creates the output under the first free temporary name.
static long CreateTemporary(JoinRun *run)
{
    return CreateTemporaryFile(run->Out.FolderPath, strlen(run->Out.FolderPath),
                               !JoinEndsWithSeparator(run->Out.FolderPath), TEMP_TAG_JOINER,
                               &run->Out.TempPath, &run->Out.File);
}

int JoinCreateOutput(JoinRun *run)
{
    long error;
    int isFolder = 0;

    run->Out.Path = BuildPath(run->Out.FolderPath, strlen(run->Out.FolderPath),
                              !JoinEndsWithSeparator(run->Out.FolderPath), run->Set.FileName,
                              NULL);
    if (!run->Out.Path)
        return JOIN_NO_OUTPUT_PATH;
    if (OutputIsPortion(run)) {
        run->PendingError = 1;
        return JOIN_OUTPUT_IS_PORTION;
    }
    // Asked before any work; a folder of that name cannot be replaced.
    if (OsQueryPath(run->Out.Path, &isFolder) == 0) {
        if (isFolder || !JoinAskOverwrite(run->Out.Path)) {
            run->PendingError = OS_FILE_EXISTS;
            return JOIN_OPEN_OUTPUT;
        }
        // The answer is for this file, not for one that takes its place.
        run->Out.Consented = OsFileIdentity(run->Out.Path, &run->Out.ConsentedId) == 0;
    }
    error = CreateTemporary(run);
    if (error) {
        run->Out.File = 0;
        run->PendingError = error;
        return run->Out.TempPath ? JOIN_OPEN_OUTPUT : JOIN_NO_OUTPUT_PATH;
    }
    run->Out.Created = 1;
    run->PendingError = 0;
    return 0;
}

// ---- The next portion -------------------------------------------------------

// Whether portion 01, found not to match portion 00, matches portion 02: then
// it is portion 00's header that is damaged. Only a folder holds both.
static int FirstHeaderIsOdd(JoinRun *run)
{
    unsigned char next[PORTION_HEADER_SIZE];
    uint64_t size;
    char *path;
    int odd;

    if (run->Set.Removable || run->Portion.Index != 1)
        return 0;
    path = JoinPath(run->Portion.Path, "");
    if (!path)
        return 0;
    SetPortionNumber(path, 2);
    odd = ReadPortionHeader(path, next, &size) == 0 && SameSliceSet(run->Portion.RawHeader, next);
    free(path);
    return odd;
}

// Opens the next portion and reads its header. On a removable source a
// missing portion or one of another set is a wrong disk: the user is told
// and asked again, for as long as it takes.
static int OpenNextPortion(JoinRun *run)
{
    char found[FILE_NAME_FIELD + 4];
    char *pattern;
    int result, number;

    for (;;) {
        result = JoinReadPortionHeader(run, JOIN_READ_HEADER);
        if (result == 0 && run->Portion.Header.LastPortion > 1) {
            run->DamagedHeader = 1;
            run->PendingError = 1;
            result = JOIN_READ_HEADER;
        }
        if (result == 0 && SameSliceSet(run->Set.FirstHeader, run->Portion.RawHeader))
            return 0;
        if (result == 0) {
            JoinClosePortion(run);
            run->PendingError = 1;
            // Without recovery data to vouch for a header, two others outvote it.
            if (run->Repair.Recovery != RECOVERY_READ && FirstHeaderIsOdd(run)) {
                SetPortionNumber(run->Portion.Path, 0);
                run->DamagedHeader = 1;
                return JOIN_READ_HEADER;
            }
            if (!run->Set.Removable)
                return JOIN_FOREIGN_PORTION;
            JoinSay("\nThe disk in drive %s holds a portion of another slice set.\n",
                       run->Set.DriveName);
        } else if (result != JOIN_OPEN_PORTION || !run->Set.Removable) {
            JoinClosePortion(run);
            // A portion the checksum list names cannot be missing from a sound set.
            if (result == JOIN_OPEN_PORTION && run->PendingError == OS_FILE_NOT_FOUND &&
                JoinListsMissing(run))
                return JOIN_DAMAGED;
            return result;
        } else {
            pattern = JoinPath(run->Portion.Path, "");
            if (!pattern)
                return JOIN_NO_SOURCE_PATH;
            pattern[strlen(pattern) - 2] = pattern[strlen(pattern) - 1] = '?';
            number = OsFindNext(pattern, "", found, sizeof found) ? -1 : PortionNumberOf(found);
            free(pattern);
            if (number < 0)
                JoinSay("\nThe current disk in %s does not have a slice file on it.\n",
                           run->Set.Argument);
            else
                JoinSay("\nYou need to insert Disk #%d.  You inserted Disk #%d.\n",
                           run->Portion.Disk, number + 1);
        }
        result = JoinPromptForDisk(run);
        if (result)
            return result;
    }
}

// ---- Moving the data --------------------------------------------------------

// Appends count bytes of the buffer to the output. A short write is retried
// with the rest, so that a full disk is reported with its own error number.
static long WriteAll(JoinRun *run, const unsigned char *bytes, uint32_t count)
{
    uint32_t offset = 0, done;
    long error;

    while (offset < count) {
        done = 0;
        error = OsWrite(run->Out.File, bytes + offset, count - offset, &done);
        run->Out.BytesWritten += done;
        offset += done;
        if (error)
            return error;
        if (done == 0)
            return 1;
    }
    return 0;
}

// The progress of the copy, after each part moved; 0, or the status of an
// interruption, which stops it.
static int __attribute__((noinline)) CopyProgress(JoinRun *run)
{
    return JoinProgress(STEP_JOIN, run->Set.FileName, run->Out.BytesWritten, run->Set.FileSize);
}

// Moves what it can of count bytes inside the kernel; returns how many.
// Wherever it stops, the copy through memory goes on from the same place and
// meets any failure again, telling a read from a write and giving its number.
// It moves at most KERNEL_COPY_PART bytes at a time, so that the progress
// line moves and an interruption is heard.
static const uint32_t KERNEL_COPY_PART = 0x4000000; // 64 MiB

static uint64_t KernelCopy(JoinRun *run, uint64_t count)
{
    uint64_t copied = 0;
    uint32_t done;
    long error;

    while (copied < count && !run->NoKernelCopy && !JoinInterruption()) {
        done = 0;
        error = OsCopyData(run->Portion.File, run->Out.File,
                           count - copied < KERNEL_COPY_PART ? (uint32_t)(count - copied)
                                                             : KERNEL_COPY_PART,
                           &done);
        if (error == OS_NO_KERNEL_COPY)
            run->NoKernelCopy = 1;
        if (error || done == 0)
            break;
        copied += done;
        run->Out.BytesWritten += done;
        CopyProgress(run);
    }
    return copied;
}

// Reads count bytes into the buffer, taking their CRC where the set is
// checked. Returns 0 or JOIN_READ_FAILED.
static int ReadChunk(JoinRun *run, uint32_t count, uint32_t *crc)
{
    uint32_t done = 0;
    long error = OsRead(run->Portion.File, run->Buffer, count, &done);

    if (error || done != count) {
        run->PendingError = error ? error : 1;
        return JOIN_READ_FAILED;
    }
    if (run->Hashing)
        *crc = Crc32Update(*crc, run->Buffer, count);
    if (run->Portion.Md5ing)
        Md5Update(&run->Portion.Md5, run->Buffer, count);
    return 0;
}

// The checked copy of a portion's data bytes through the pipe: the second
// thread reads them and takes their CRC in blocks that stay in the cache,
// this one writes each (and takes its MD5 where asked). A failed read or
// write, or an interruption, ends it as the copy through memory does.
static int CopyThroughPipe(JoinRun *run, uint64_t data, uint32_t *crc)
{
    const unsigned char *block;
    uint32_t count;
    long error;
    int result;

    ReadPipeAsk(run->Pipe, run->Portion.File, data);
    while ((block = ReadPipeNext(run->Pipe, &count, &error))) {
        if (run->Portion.Md5ing)
            Md5Update(&run->Portion.Md5, block, count);
        error = WriteAll(run, block, count);
        result = error ? (int)JOIN_WRITE_FAILED : CopyProgress(run);
        if (result) {
            ReadPipeCancel(run->Pipe);
            if (error)
                run->PendingError = error;
            return result;
        }
    }
    if (error) {
        run->PendingError = error == OS_SOURCE_ENDED ? 1 : error;
        return JOIN_READ_FAILED;
    }
    *crc = ReadPipeCrc(run->Pipe);
    return 0;
}

// The CRC of the whole portion file; a folder set's portion is compared with
// its list line at once. Data past the file's size is read for the CRC
// only, so that the damaged portion is named by it.
static int EndPortionCrc(JoinRun *run, uint64_t data, uint64_t copied, uint32_t crc)
{
    uint64_t rest = data - copied;
    uint32_t chunk;
    int result;

    if (!run->Hashing)
        return 0;
    run->Set.DataCrcs[run->Portion.Index] = crc;
    while (rest > 0) {
        chunk = rest < run->BufferSize ? (uint32_t)rest : run->BufferSize;
        result = ReadChunk(run, chunk, &crc);
        if (result)
            return result;
        rest -= chunk;
    }
    run->Set.PortionCrcs[run->Portion.Index] =
        Crc32Combine(Crc32Update(0, run->Portion.RawHeader, PORTION_HEADER_SIZE), crc, data);
    return run->Set.Removable ? 0 : JoinCheckPortion(run, run->Portion.Index);
}

static int CopyPortionData(JoinRun *run)
{
    uint64_t size = 0, data, room, remaining, copied;
    uint32_t chunk, crc = 0;
    long error = OsFileSize(run->Portion.File, &size);
    int result;

    if (error) {
        run->PendingError = error;
        return JOIN_READ_FAILED;
    }
    run->Set.Sizes[run->Portion.Index] = size;
    data = size - PORTION_HEADER_SIZE;
    JoinBeginPortion(run, run->Portion.Index);
    // A damaged or hostile set may carry more than its file's size: nothing
    // past that size is written, so it cannot fill the destination disk.
    room = run->Set.FileSize - run->Out.BytesWritten;
    copied = remaining = data < room ? data : room;
    // The kernel's copy passes no byte through here: only where nothing is checked.
    if (!run->Hashing)
        remaining -= KernelCopy(run, remaining);
    // The pipe reads the whole portion: only where all of it is written.
    if (run->Pipe && data <= room) {
        result = CopyThroughPipe(run, data, &crc);
        if (result)
            return result;
        remaining = 0;
    }
    while (remaining > 0) {
        chunk = remaining < run->BufferSize ? (uint32_t)remaining : run->BufferSize;
        result = ReadChunk(run, chunk, &crc);
        if (result)
            return result;
        error = WriteAll(run, run->Buffer, chunk);
        if (error) {
            run->PendingError = error;
            return JOIN_WRITE_FAILED;
        }
        remaining -= chunk;
        result = CopyProgress(run);
        if (result)
            return result;
    }
    result = EndPortionCrc(run, data, copied, crc);
    memset(run->Buffer, 0, data < run->BufferSize ? (size_t)data : run->BufferSize);
    if (result)
        return result;
    if (data > room) {
        run->MoreDataThanFile = 1;
        run->PendingError = 1;
        return JOIN_SIZE_MISMATCH;
    }
    // Durable before a disk is swapped; in a folder the write-back is only
    // started here, and the output made durable once, at the finish.
    error = run->Out.FlushEachPortion ? OsFlush(run->Out.File) : OsStartWriteBack(run->Out.File);
    if (error) {
        run->PendingError = error;
        return JOIN_WRITE_FAILED;
    }
    return 0;
}

// ---- The finish -------------------------------------------------------------

// Gives the output its name, replacing only the file the overwrite question
// was answered for (by what it is, not by its name): a file that came under
// that name during the run, with or without a question at the start, stays,
// and the output keeps its temporary name.
static long PlaceOutput(JoinRun *run)
{
    OsFileId now;
    long error = run->Out.Consented ? OsFileIdentity(run->Out.Path, &now) : (long)OS_FILE_NOT_FOUND;

    if (!error && now.Volume == run->Out.ConsentedId.Volume &&
        now.Index == run->Out.ConsentedId.Index)
        return OsRenameOver(run->Out.TempPath, run->Out.Path);
    if (error == OS_FILE_NOT_FOUND)
        error = OsRenameNoReplace(run->Out.TempPath, run->Out.Path);
    else if (!error)
        error = OS_FILE_EXISTS;
    run->Out.Intruder = error == OS_FILE_EXISTS;
    return error;
}

// Gives the output the sliced file's times, puts it in the place of the
// file of that name in one step, and gives it the sliced file's attributes
// there: set before, a read-only or system bit could stop the replacement.
static int FinishOutput(JoinRun *run)
{
    const PortionHeader *h = &run->Portion.Header;
    long error = OsSetTimes(run->Out.File, &h->CreationTime, &h->LastAccessTime, &h->LastWriteTime);

    if (error) {
        run->PendingError = error;
        return JOIN_SET_TIMES;
    }
    // Durable before it takes the file's name and success is told.
    error = run->Out.FlushEachPortion ? 0 : OsFlush(run->Out.File);
    if (error) {
        run->PendingError = error;
        return JOIN_WRITE_FAILED;
    }
    error = OsClose(run->Out.File);
    run->Out.File = 0;
    if (error) {
        run->PendingError = error;
        return JOIN_CLOSE_OUTPUT;
    }
    // Refused for a read-only file of that name, as its replacement was.
    error = PlaceOutput(run);
    if (error) {
        run->PendingError = error;
        return JOIN_OPEN_OUTPUT;
    }
    run->Out.Placed = 1;
    error = OsSetAttributes(run->Out.Path, h->FileAttributes);
    if (error) {
        run->PendingError = error;
        return JOIN_SET_ATTRIBUTES;
    }
    return 0;
}

// A set whose data does not add up: in a folder set every portion but the
// last has one length, so the first of another length is named, rather
// than the portion where the count came out wrong. The usual length is the
// first that two neighbours share (portion 00's when none do): a set cut on
// disks and copied into a folder has a shorter portion 00.
static void NameWrongLength(JoinRun *run)
{
    unsigned count = run->Portion.Index + (run->Portion.Header.LastPortion != 1);
    uint64_t usual = run->Set.Sizes[0];
    unsigned i;

    if (run->Set.Removable)
        return;
    for (i = 1; i < count; i++)
        if (run->Set.Sizes[i] == run->Set.Sizes[i - 1]) {
            usual = run->Set.Sizes[i];
            break;
        }
    for (i = 0; i < count; i++)
        if (run->Set.Sizes[i] != usual) {
            run->WrongLength = 1;
            run->Portion.Size = run->Set.Sizes[i];
            run->Set.FirstSize = usual;
            SetPortionNumber(run->Portion.Path, i);
            return;
        }
}

int JoinCopyPortions(JoinRun *run)
{
    const uint64_t fileSize = run->Set.FileSize;
    int result, priority, last, asideLast;

    for (;;) {
        run->Portion.Start = run->Out.BytesWritten;
        asideLast = -1;
        result = OpenNextPortion(run);
        // On disks only the list on the last portion's disk counts: an
        // older set's list may linger on an earlier one.
        if (!result && run->Set.Removable && run->Portion.Header.LastPortion == 1)
            result = JoinReadList(run);
        if (!result) {
            run->PendingError = 0;
            priority = OsLowerPriority();
            result = CopyPortionData(run);
            JoinClosePortion(run);
            OsRestorePriority(priority);
        }
        // A lost or damaged portion the recovery data can stand in for is
        // rebuilt once the others are copied.
        if (result)
            result = JoinSetAside(run, result, &asideLast);
        if (result == JOIN_SIZE_MISMATCH)
            NameWrongLength(run);
        if (result)
            return result;
        last = asideLast >= 0 ? asideLast : run->Portion.Header.LastPortion == 1;
        // The set's size and its last-portion mark must agree with the data
        // actually found; anything else is a damaged set, not a success.
        if ((last && run->Out.BytesWritten != fileSize) ||
            (!last && run->Portion.Index + 1 >= MAX_PORTIONS)) {
            run->PendingError = 1;
            NameWrongLength(run);
            return JOIN_SIZE_MISMATCH;
        }
        if (last && run->Repair.Count) {
            result = JoinRebuildPortions(run, run->Portion.Index);
            if (result)
                return result;
        }
        if (last) {
            // Times and attributes are the set's, whichever portion was last.
            DecodePortionHeader(run->Set.FirstHeader, &run->Portion.Header);
            result = JoinCheckSetEnd(run, run->Portion.Index, !run->Set.Removable);
            if (result)
                return result;
        }
        run->Portion.Index++;
        run->Portion.Disk++;
        if (last) {
            run->Out.DataComplete = 1;
            return FinishOutput(run);
        }
        SetPortionNumber(run->Portion.Path, run->Portion.Index);
        if (run->Set.Removable) {
            result = JoinPromptForDisk(run);
            if (result)
                return result;
        }
    }
}
