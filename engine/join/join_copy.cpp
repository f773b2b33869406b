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

// ---- The output -------------------------------------------------------------

// The output is written under a name of its own in the destination folder
// and takes the sliced file's name only once it is whole, so that a failed
// run leaves a file of that name as it was. An 8.3 name, for FAT disks;
// it ends in letters, so it is never a portion's name.
static const char TempName[] = "~KLM0001.TMP";
enum {
    TEMP_DIGITS = 4, // the four digits before ".TMP"
    TEMP_TRIES = 9999
};

// Whether the output path is the same file as the set's portion of the
// number its name ends in (a sliced file named like DATA.A02, rebuilt beside
// its set, by whatever spelling of the folder): putting the output in its
// place would delete that portion.
static int OutputIsPortion(RestoreRun *run)
{
    int number = PortionNumberOf(run->OutputPath);
    char *portion;
    int same = 0;

    if (number < 0)
        return 0;
    portion = RestoreJoinPath(run->PortionPath, 0, "");
    if (!portion)
        return 0;
    SetPortionNumber(portion, (unsigned)number);
    OsSameFile(run->OutputPath, portion, &same);
    free(portion);
    return same;
}

// Creates the output under the first free temporary name.
static long CreateTemporary(RestoreRun *run)
{
    char *digits;
    long error = OS_FILE_EXISTS;
    unsigned n;

    run->TempPath = RestoreJoinPath(run->DestinationPath,
                                    !RestoreEndsWithSeparator(run->DestinationPath), TempName);
    if (!run->TempPath)
        return OS_NO_MEMORY;
    digits = run->TempPath + strlen(run->TempPath) - (sizeof ".TMP" - 1) - TEMP_DIGITS;
    for (n = 1; n <= TEMP_TRIES && error == OS_FILE_EXISTS; n++) {
        digits[0] = (char)('0' + n / 1000);
        digits[1] = (char)('0' + n / 100 % 10);
        digits[2] = (char)('0' + n / 10 % 10);
        digits[3] = (char)('0' + n % 10);
        error = OsCreateNew(run->TempPath, &run->Output);
    }
    return error;
}

int RestoreCreateOutput(RestoreRun *run)
{
    long error;
    int key, isFolder = 0;

    run->OutputPath = RestoreJoinPath(run->DestinationPath,
                                      !RestoreEndsWithSeparator(run->DestinationPath),
                                      run->Header.FileName);
    if (!run->OutputPath)
        return RESTORE_NO_OUTPUT_PATH;
    if (OutputIsPortion(run)) {
        run->PendingError = 1;
        return RESTORE_OUTPUT_IS_PORTION;
    }
    // Asked before any work; a folder of that name cannot be replaced.
    if (OsQueryPath(run->OutputPath, &isFolder) == 0) {
        key = isFolder ? 'n'
                       : RestoreAsk(1, "%s already exists.  Overwrite? (Y/N): ", run->OutputPath);
        if (key != 'Y' && key != 'y') {
            run->PendingError = OS_FILE_EXISTS;
            return RESTORE_OPEN_OUTPUT;
        }
    }
    error = CreateTemporary(run);
    if (error) {
        run->Output = 0;
        run->PendingError = error;
        return run->TempPath ? RESTORE_OPEN_OUTPUT : RESTORE_NO_OUTPUT_PATH;
    }
    run->OutputCreated = 1;
    run->PendingError = 0;
    return 0;
}

// ---- The next portion -------------------------------------------------------

// Whether portion 01, found not to match portion 00, matches portion 02: then
// it is portion 00's header that is damaged. Only a folder holds both.
static int FirstHeaderIsOdd(RestoreRun *run)
{
    unsigned char next[PORTION_HEADER_SIZE];
    uint64_t size;
    char *path;
    int odd;

    if (run->RemovableSource || run->PortionIndex != 1)
        return 0;
    path = RestoreJoinPath(run->PortionPath, 0, "");
    if (!path)
        return 0;
    SetPortionNumber(path, 2);
    odd = RestorePeekHeader(path, next, &size) == 0 && SameSliceSet(run->RawHeader, next);
    free(path);
    return odd;
}

// Opens the next portion and reads its header. On a removable source a
// missing portion or one of another set is a wrong disk: the user is told
// and asked again, for as long as it takes.
static int OpenNextPortion(RestoreRun *run)
{
    char found[FILE_NAME_FIELD + 4];
    char *pattern;
    int result, number;

    for (;;) {
        result = RestoreReadPortionHeader(run, RESTORE_READ_HEADER);
        if (result == 0 && run->Header.LastPortion > 1) {
            run->DamagedHeader = 1;
            run->PendingError = 1;
            result = RESTORE_READ_HEADER;
        }
        if (result == 0 && SameSliceSet(run->FirstHeader, run->RawHeader))
            return 0;
        if (result == 0) {
            RestoreClosePortion(run);
            run->PendingError = 1;
            if (FirstHeaderIsOdd(run)) {
                SetPortionNumber(run->PortionPath, 0);
                run->DamagedHeader = 1;
                return RESTORE_READ_HEADER;
            }
            if (!run->RemovableSource)
                return RESTORE_FOREIGN_PORTION;
            RestoreSay("\nThe disk in drive %s holds a portion of another slice set.\n",
                       run->DriveName);
        } else if (result != RESTORE_OPEN_PORTION || !run->RemovableSource) {
            RestoreClosePortion(run);
            // A portion the checksum list names cannot be missing from a sound set.
            if (result == RESTORE_OPEN_PORTION && run->PendingError == OS_FILE_NOT_FOUND &&
                RestoreListsMissing(run))
                return RESTORE_DAMAGED;
            return result;
        } else {
            pattern = RestoreJoinPath(run->PortionPath, 0, "");
            if (!pattern)
                return RESTORE_NO_SOURCE_PATH;
            pattern[strlen(pattern) - 2] = pattern[strlen(pattern) - 1] = '?';
            number = OsFindNext(pattern, "", found, sizeof found) ? -1 : PortionNumberOf(found);
            free(pattern);
            if (number < 0)
                RestoreSay("\nThe current disk in %s does not have a slice file on it.\n",
                           run->SourceArgument);
            else
                RestoreSay("\nYou need to insert Disk #%d.  You inserted Disk #%d.\n",
                           run->DiskNumber, number + 1);
        }
        result = RestorePromptForDisk(run);
        if (result)
            return result;
    }
}

// ---- Moving the data --------------------------------------------------------

// Appends count bytes of the buffer to the output. A short write is retried
// with the rest, so that a full disk is reported with its own error number.
static long WriteAll(RestoreRun *run, uint32_t count)
{
    uint32_t offset = 0, done;
    long error;

    while (offset < count) {
        done = 0;
        error = OsWrite(run->Output, run->Buffer + offset, count - offset, &done);
        run->BytesWritten += done;
        offset += done;
        if (error)
            return error;
        if (done == 0)
            return 1;
    }
    return 0;
}

// Moves what it can of count bytes inside the kernel; returns how many.
// Wherever it stops, the copy through memory goes on from the same place and
// meets any failure again, telling a read from a write and giving its number.
static uint64_t KernelCopy(RestoreRun *run, uint64_t count)
{
    uint64_t copied = 0;
    uint32_t done;
    long error;

    while (copied < count && !run->NoKernelCopy) {
        done = 0;
        // A portion of a damaged set may hold 4 GiB or more: asked in parts.
        error = OsCopyData(run->Portion, run->Output,
                           count - copied < UINT32_MAX ? (uint32_t)(count - copied) : UINT32_MAX,
                           &done);
        if (error == OS_NO_KERNEL_COPY)
            run->NoKernelCopy = 1;
        if (error || done == 0)
            break;
        copied += done;
        run->BytesWritten += done;
    }
    return copied;
}

// Reads count bytes into the buffer, taking their CRC where the set is
// checked. Returns 0 or RESTORE_READ_FAILED.
static int ReadChunk(RestoreRun *run, uint32_t count, uint32_t *crc)
{
    uint32_t done = 0;
    long error = OsRead(run->Portion, run->Buffer, count, &done);

    if (error || done != count) {
        run->PendingError = error ? error : 1;
        return RESTORE_READ_FAILED;
    }
    if (run->Hashing)
        *crc = Crc32Update(*crc, run->Buffer, count);
    return 0;
}

// The CRC of the whole portion file; a folder set's portion is compared with
// its list line at once. Data past the file's size is read for the CRC
// only, so that the damaged portion is named by it.
static int EndPortionCrc(RestoreRun *run, uint64_t data, uint64_t copied, uint32_t crc)
{
    uint64_t rest = data - copied;
    uint32_t chunk;
    int result;

    if (!run->Hashing)
        return 0;
    run->DataCrc = Crc32Combine(run->DataCrc, crc, copied);
    while (rest > 0) {
        chunk = rest < run->BufferSize ? (uint32_t)rest : run->BufferSize;
        result = ReadChunk(run, chunk, &crc);
        if (result)
            return result;
        rest -= chunk;
    }
    run->PortionCrcs[run->PortionIndex] =
        Crc32Combine(Crc32Update(0, run->RawHeader, PORTION_HEADER_SIZE), crc, data);
    return run->RemovableSource ? 0 : RestoreCheckPortion(run, run->PortionIndex);
}

static int CopyPortionData(RestoreRun *run)
{
    uint64_t size = 0, data, room, remaining, copied;
    uint32_t chunk, crc = 0;
    long error = OsFileSize(run->Portion, &size);
    int result;

    if (error) {
        run->PendingError = error;
        return RESTORE_READ_FAILED;
    }
    run->Sizes[run->PortionIndex] = size;
    data = size - PORTION_HEADER_SIZE;
    // A damaged or hostile set may carry more than its file's size: nothing
    // past that size is written, so it cannot fill the destination disk.
    room = run->FileSize - run->BytesWritten;
    copied = remaining = data < room ? data : room;
    // The kernel's copy passes no byte through here: only where nothing is checked.
    if (!run->Hashing)
        remaining -= KernelCopy(run, remaining);
    while (remaining > 0) {
        chunk = remaining < run->BufferSize ? (uint32_t)remaining : run->BufferSize;
        result = ReadChunk(run, chunk, &crc);
        if (result)
            return result;
        error = WriteAll(run, chunk);
        if (error) {
            run->PendingError = error;
            return RESTORE_WRITE_FAILED;
        }
        remaining -= chunk;
    }
    result = EndPortionCrc(run, data, copied, crc);
    memset(run->Buffer, 0, data < run->BufferSize ? (size_t)data : run->BufferSize);
    if (result)
        return result;
    if (data > room) {
        run->MoreDataThanFile = 1;
        run->PendingError = 1;
        return RESTORE_SIZE_MISMATCH;
    }
    // Durable before a disk is swapped; in a folder the write-back is only
    // started here, and the output made durable once, at the finish.
    error = run->FlushEachPortion ? OsFlush(run->Output) : OsStartWriteBack(run->Output);
    if (error) {
        run->PendingError = error;
        return RESTORE_WRITE_FAILED;
    }
    return 0;
}

// ---- The finish -------------------------------------------------------------

// Gives the output the sliced file's times, puts it in the place of the
// file of that name in one step, and gives it the sliced file's attributes
// there: set before, a read-only or system bit could stop the replacement.
static int FinishOutput(RestoreRun *run)
{
    const PortionHeader *h = &run->Header;
    long error = OsSetTimes(run->Output, &h->CreationTime, &h->LastAccessTime, &h->LastWriteTime);

    if (error) {
        run->PendingError = error;
        return RESTORE_SET_TIMES;
    }
    // Durable before it takes the file's name and success is told.
    error = run->FlushEachPortion ? 0 : OsFlush(run->Output);
    if (error) {
        run->PendingError = error;
        return RESTORE_WRITE_FAILED;
    }
    error = OsClose(run->Output);
    run->Output = 0;
    if (error) {
        run->PendingError = error;
        return RESTORE_CLOSE_OUTPUT;
    }
    // Refused for a read-only file of that name, as its replacement was.
    error = OsRenameOver(run->TempPath, run->OutputPath);
    if (error) {
        run->PendingError = error;
        return RESTORE_OPEN_OUTPUT;
    }
    run->Placed = 1;
    error = OsSetAttributes(run->OutputPath, h->FileAttributes);
    if (error) {
        run->PendingError = error;
        return RESTORE_SET_ATTRIBUTES;
    }
    return 0;
}

// A set whose data does not add up: in a folder set every portion but the
// last has one length, so the first of another length is named, rather
// than the portion where the count came out wrong. The usual length is the
// first that two neighbours share (portion 00's when none do): a set cut on
// disks and copied into a folder has a shorter portion 00.
static void NameWrongLength(RestoreRun *run)
{
    unsigned count = run->PortionIndex + (run->Header.LastPortion != 1);
    uint64_t usual = run->Sizes[0];
    unsigned i;

    if (run->RemovableSource)
        return;
    for (i = 1; i < count; i++)
        if (run->Sizes[i] == run->Sizes[i - 1]) {
            usual = run->Sizes[i];
            break;
        }
    for (i = 0; i < count; i++)
        if (run->Sizes[i] != usual) {
            run->WrongLength = 1;
            run->PortionSize = run->Sizes[i];
            run->FirstSize = usual;
            SetPortionNumber(run->PortionPath, i);
            return;
        }
}

int RestoreCopyPortions(RestoreRun *run)
{
    const uint64_t fileSize = run->FileSize;
    int result, priority, last, asideLast;

    for (;;) {
        run->PortionStart = run->BytesWritten;
        run->CrcBeforePortion = run->DataCrc;
        asideLast = -1;
        result = OpenNextPortion(run);
        // On disks only the list on the last portion's disk counts: an
        // older set's list may linger on an earlier one.
        if (!result && run->RemovableSource && run->Header.LastPortion == 1)
            result = RestoreReadList(run);
        if (!result) {
            run->PendingError = 0;
            priority = OsLowerPriority();
            result = CopyPortionData(run);
            RestoreClosePortion(run);
            OsRestorePriority(priority);
        }
        // A lost or damaged portion the recovery data can stand in for is
        // rebuilt once the others are copied.
        if (result)
            result = RestoreSetAside(run, result, &asideLast);
        if (result == RESTORE_SIZE_MISMATCH)
            NameWrongLength(run);
        if (result)
            return result;
        last = asideLast >= 0 ? asideLast : run->Header.LastPortion == 1;
        if (asideLast == 1) {
            result = RestoreRebuildPortion(run, 1);
            if (result)
                return result;
        }
        // The set's size and its last-portion mark must agree with the data
        // actually found; anything else is a damaged set, not a success.
        if ((last && run->BytesWritten != fileSize) ||
            (!last && run->PortionIndex + 1 >= MAX_PORTIONS)) {
            run->PendingError = 1;
            NameWrongLength(run);
            return RESTORE_SIZE_MISMATCH;
        }
        if (last && run->Repairing && !run->Rebuilt) {
            result = RestoreRebuildPortion(run, 0);
            if (result)
                return result;
        }
        if (last) {
            result = RestoreCheckSetEnd(run, run->PortionIndex, !run->RemovableSource);
            if (result)
                return result;
        }
        run->PortionIndex++;
        run->DiskNumber++;
        if (last) {
            run->DataComplete = 1;
            return FinishOutput(run);
        }
        SetPortionNumber(run->PortionPath, run->PortionIndex);
        if (run->RemovableSource) {
            result = RestorePromptForDisk(run);
            if (result)
                return result;
        }
    }
}
