// Reassembly: find the first portion of a slice set, create the output under
// the sliced file's name, append every portion's data in number order (asking
// for disks on a removable drive), then give the output its times and
// attributes. Portable: the platform is reached only through joiner_os.h.
#include "restore.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "joiner_os.h"

// Data moves through memory in blocks of the first size that can be had: a
// large block takes fewer calls, the small one still works when memory is
// short.
static const uint32_t TransferSizes[] = {0x100000, 0x10000};

// The state of one run. It lives on RestoreSliceSet's stack; the heap parts
// are released by ReleaseRun on every path.
struct RestoreRun {
    const char *SourceArgument;    // as given; shown in messages and prompts
    const char *DestinationFolder; // as given; shown in messages
    const char *SourcePath;        // the source as paths are built from it
    const char *DestinationPath;   // the destination as the output path is built from it
    char *LastingSource;           // heap, or NULL: SourcePath once the current folder is left
    char *LastingDestination;      // heap, or NULL: likewise DestinationPath
    int RemovableSource;           // 1: disks are prompted for
    char DriveName[OS_DRIVE_NAME_SIZE]; // removable source: its drive, as prompts name it
    int NameArgument;              // 1: the source is not an existing folder
    int DestinationNameForm;       // 1: neither of its last two characters is '0'
    char *PortionPath;             // heap: the portion to read next
    char *OutputPath;              // heap: destination, separator, FileName
    unsigned char FirstHeader[PORTION_HEADER_SIZE]; // portion 00's header as stored
    unsigned char RawHeader[PORTION_HEADER_SIZE];   // the latest header as stored
    PortionHeader Header;          // the latest header, decoded
    unsigned PortionIndex;         // number of the portion to read next
    int DiskNumber;                // disk expected to hold it, counted from 1
    uint64_t BytesWritten;         // data bytes appended to the output
    uint64_t FileSize;             // FileSizeHigh * 2^32 + FileSizeLow: never more is written
    unsigned char *Buffer;         // BufferSize bytes for the copy through memory
    uint32_t BufferSize;           // one of TransferSizes
    int NoKernelCopy;              // 1 once the kernel has said it cannot copy here
    OsFile Portion;                // open portion, or 0
    OsFile Output;                 // open output, or 0
    int OutputCreated;             // 1 once the output exists under its name
    int DataComplete;              // 1 once the last portion's data is written
    int MoreDataThanFile;          // 1 when the set carries more than FileSize
    long PendingError;             // number for the final line, 0: print none
};

enum ReportArgs {
    ARGS_NONE,
    ARGS_NAME_AND_FOLDER, // FileName, destination folder
    ARGS_OUTPUT,          // output path, pending error
    ARGS_OUTPUT_ONLY,     // output path
    ARGS_PORTION,         // portion path, pending error
    ARGS_PORTION_ONLY,    // portion path
    ARGS_SOURCE,          // source argument
    ARGS_COUNTS,          // portion path, bytes written, FileSize (as decimal text)
    ARGS_DISK,            // disk number
    ARGS_ERROR            // pending error
};

// The final line of each result code.
struct ReportLine {
    int Code;
    int Args;
    const char *Format;
};

static const ReportLine ReportLines[] = {
    {RESTORE_OK, ARGS_NAME_AND_FOLDER, "%s Successfully restored to %s\n"},
    {RESTORE_NO_CURRENT_FOLDER, ARGS_ERROR, "Error reading the current folder = %ld\n"},
    {RESTORE_OUTPUT_IS_PORTION, ARGS_OUTPUT_ONLY,
     "The rebuilt file would replace %s, a portion of the slice set;\n"
     "name another destination folder.\n"},
    {RESTORE_NO_CONSOLE, ARGS_DISK, "There is no console to answer the prompt for disk #%d.\n"},
    {RESTORE_SIZE_MISMATCH, ARGS_COUNTS,
     "The slice set ends at %s with %s bytes, but its file has %s bytes.\n"},
    {RESTORE_FOREIGN_PORTION, ARGS_PORTION_ONLY, "%s belongs to another slice set.\n"},
    {RESTORE_WRITE_FAILED, ARGS_OUTPUT, "Error writing %s = %ld\n"},
    {RESTORE_READ_FAILED, ARGS_PORTION, "Error reading data from %s = %ld\n"},
    {RESTORE_SHORT_PORTION, ARGS_PORTION_ONLY, "%s is too short to be a portion of a slice set.\n"},
    {RESTORE_UNSAFE_NAME, ARGS_PORTION_ONLY,
     "%s does not name a file that can be restored safely.\n"},
    {RESTORE_SET_ATTRIBUTES, ARGS_OUTPUT, "Error setting attributes on %s = %ld\n"},
    {RESTORE_CLOSE_OUTPUT, ARGS_OUTPUT, "Error closing %s = %ld\n"},
    {RESTORE_SET_TIMES, ARGS_OUTPUT, "Error setting date/time on %s = %ld\n"},
    {RESTORE_READ_HEADER, ARGS_PORTION, "Error reading header from %s = %ld\n"},
    {RESTORE_OPEN_PORTION, ARGS_PORTION_ONLY, "The file, %s, could not be opened.\n"},
    {RESTORE_NO_BUFFER, ARGS_NONE, "Error allocating transfer buffer\n"},
    {RESTORE_OPEN_OUTPUT, ARGS_OUTPUT, "Error opening %s = %ld\n"},
    {RESTORE_NO_OUTPUT_PATH, ARGS_NONE, "Error allocating dest file path buffer\n"},
    {RESTORE_CLOSE_FIRST, ARGS_PORTION, "Error closing %s = %ld\n"},
    {RESTORE_READ_FIRST_HEADER, ARGS_PORTION, "Error reading header from %s = %ld\n"},
    {RESTORE_NO_FIRST_PORTION, ARGS_SOURCE, "Could not find the first file of a slice set in %s.\n"},
    {RESTORE_NO_SOURCE_PATH, ARGS_NONE, "Error allocating source file path buffer\n"},
};

// 236 when the data runs on past the recorded size: the output was cut there.
static const char ExcessLine[] =
    "The slice set holds more data than its file: %s goes past its %s bytes.\n";

static const char *const UsageLines[] = {
    "\nUSAGE: KELMORIX [source folder] [destination folder]\n",
    "KELMORIX.EXE will be on the first disk of a slice set\n",
    "If a destination folder is not specified, TEMP will be used.\n",
    "If a source folder is not specified, will try to find first file in current directory.\n",
    "\nOR\n",
    "\nUSAGE: KELMORIX name_of_first_file_of_slice_set [destination folder]\n",
    "The last two characters of the first file of a slice set will be 00, i.e. BIG.D00.\n",
    "If a destination folder is not specified, TEMP will be used.\n",
    "\nOR\n",
    "\nUSAGE: KELMORIX destination_filename [destination folder]\n",
    "Destination name is original name of the sliced file, i.e. BIG.DAT.\n",
    "If a destination folder is not specified, TEMP will be used.\n",
    "\nNeither the source nor the destination may contain wildcards\n",
};

void PrintUsage(void)
{
    size_t i;

    for (i = 0; i < sizeof UsageLines / sizeof UsageLines[0]; i++)
        fputs(UsageLines[i], stdout);
}

// 1 when a file name can be appended to path without a separator.
static int EndsWithSeparator(const char *path)
{
    size_t length = strlen(path);
    char last = length ? path[length - 1] : 0;

    if (!length)
        return 1; // an empty folder is the current one: the bare name
    return last == OS_SEPARATOR || (OS_DRIVE_SEPARATOR && last == OS_DRIVE_SEPARATOR);
}

// A heap string of the three parts, the separator only when asked for.
static char *JoinPath(const char *folder, int separator, const char *name)
{
    size_t folderLength = strlen(folder);
    size_t nameLength = strlen(name);
    char *path = (char *)malloc(folderLength + 1 + nameLength + 1);

    if (!path)
        return NULL;
    memcpy(path, folder, folderLength);
    if (separator)
        path[folderLength++] = OS_SEPARATOR;
    memcpy(path + folderLength, name, nameLength + 1);
    return path;
}

// Shows what was printed so far, then waits for a key. Returns 0, or
// RESTORE_NO_CONSOLE when no key can ever come.
static int WaitForAnyKey(RestoreRun *run)
{
    fflush(stdout);
    if (OsReadKey() < 0) {
        run->PendingError = 1;
        return RESTORE_NO_CONSOLE;
    }
    return 0;
}

static int PromptForDisk(RestoreRun *run)
{
    printf("Please insert disk #%d in drive %s. ", run->DiskNumber, run->DriveName);
    printf("Press any key when ready.\n");
    return WaitForAnyKey(run);
}

// Folder or name: on a removable source asked only once disk 1 is in, for
// a drive without a disk is neither.
static void ClassifySource(RestoreRun *run)
{
    const char *source = run->SourceArgument;
    size_t length = strlen(source);
    int isFolder = 0;

    run->NameArgument = OsQueryPath(run->SourcePath, &isFolder) != 0 || !isFolder;
    run->DestinationNameForm = !(length >= 1 && source[length - 1] == '0') &&
                               !(length >= 2 && source[length - 2] == '0');
}

// Before disk 1 is asked for: paths that stay valid once the current folder
// is left, for a process standing in a mount point keeps its disk in place.
static int LeaveCurrentFolder(RestoreRun *run)
{
    long error = OsLastingPath(run->SourceArgument, &run->LastingSource);

    if (!error)
        error = OsLastingPath(run->DestinationFolder, &run->LastingDestination);
    if (error) {
        run->PendingError = error;
        return RESTORE_NO_CURRENT_FOLDER;
    }
    run->SourcePath = run->LastingSource;
    run->DestinationPath = run->LastingDestination;
    OsLeaveCurrentFolder();
    return 0;
}

static int LocateInFolder(RestoreRun *run)
{
    const char *source = run->SourcePath;
    // A drive name (A:) takes a bare file name, which lands in the drive's
    // current folder. Where there are no drive names a removable source is a
    // mount point, a folder like any other.
    int separator = !(run->RemovableSource && OS_DRIVE_SEPARATOR) && !EndsWithSeparator(source);
    char name[FILE_NAME_FIELD + 4];
    char *pattern = JoinPath(source, separator, "*00");
    long error;

    if (!pattern)
        return RESTORE_NO_SOURCE_PATH;
    error = OsFindFirst(pattern, name, sizeof name);
    free(pattern);
    if (error) {
        run->PendingError = error;
        return RESTORE_NO_FIRST_PORTION;
    }
    run->PortionPath = JoinPath(source, separator, name);
    return run->PortionPath ? 0 : RESTORE_NO_SOURCE_PATH;
}

static int LocateByName(RestoreRun *run)
{
    const char *source = run->SourceArgument;
    size_t length = strlen(run->SourcePath);
    int numbered = strlen(source) >= 2;
    long error;

    run->PortionPath = JoinPath(run->SourcePath, 0, "");
    if (!run->PortionPath)
        return RESTORE_NO_SOURCE_PATH;
    // Whichever portion is named, and a sliced file whose own name looks like
    // a portion's (BACKUP.001), the set is read from its portion 00, so that
    // every portion is read once and in order. A name of fewer than two
    // characters has no room for a portion number: no portion can be named
    // by it, so it is reported as not found.
    if (numbered)
        run->PortionPath[length - 2] = run->PortionPath[length - 1] = '0';
    error = numbered ? OsQueryPath(run->PortionPath, NULL) : (long)OS_FILE_NOT_FOUND;
    if (error != OS_FILE_NOT_FOUND)
        return 0;
    if (run->DestinationNameForm)
        printf("There is no slice set corresponding to %s in %s.\n", source,
               run->DestinationFolder);
    else
        printf("In %s, %s is not a valid starting file for Kelmorix.\n", run->DestinationFolder,
               source);
    return RESTORE_NO_FIRST_PORTION;
}

// Opens the portion path, checks its length and reads its header.
static int ReadPortionHeader(RestoreRun *run, int readFailure)
{
    uint64_t size = 0;
    uint32_t done = 0;
    long error = OsOpenRead(run->PortionPath, &run->Portion);

    if (error) {
        run->Portion = 0;
        run->PendingError = error;
        return RESTORE_OPEN_PORTION;
    }
    error = OsFileSize(run->Portion, &size);
    if (!error && size < PORTION_HEADER_SIZE) {
        run->PendingError = 1;
        return RESTORE_SHORT_PORTION;
    }
    if (!error)
        error = OsRead(run->Portion, run->RawHeader, PORTION_HEADER_SIZE, &done);
    if (error || done != PORTION_HEADER_SIZE) {
        run->PendingError = error ? error : 1;
        return readFailure;
    }
    DecodePortionHeader(run->RawHeader, &run->Header);
    return 0;
}

static void ClosePortion(RestoreRun *run)
{
    if (run->Portion)
        OsClose(run->Portion);
    run->Portion = 0;
}

static int ReadFirstHeader(RestoreRun *run)
{
    int result = ReadPortionHeader(run, RESTORE_READ_FIRST_HEADER);
    long error;

    if (result == RESTORE_OPEN_PORTION)
        return RESTORE_NO_FIRST_PORTION;
    if (result) {
        ClosePortion(run);
        return result;
    }
    error = OsClose(run->Portion);
    run->Portion = 0;
    if (error) {
        run->PendingError = error;
        return RESTORE_CLOSE_FIRST;
    }
    memcpy(run->FirstHeader, run->RawHeader, PORTION_HEADER_SIZE);
    // The name becomes a path in the destination: refuse anything that would
    // reach another folder, drive or stream, or run past its field.
    if (CheckRestoreName(run->Header.FileName) != NAME_OK) {
        run->PendingError = 1;
        return RESTORE_UNSAFE_NAME;
    }
    return 0;
}

// Whether the output path is the path of one of the set's portions (a sliced
// file named like DATA.A02, rebuilt beside its set): replacing it would
// delete that portion before it is read.
static int OutputIsPortion(RestoreRun *run)
{
    int number = PortionNumberOf(run->OutputPath);
    char *portion;
    int same;

    if (number < 0)
        return 0;
    portion = JoinPath(run->PortionPath, 0, "");
    if (!portion)
        return 0;
    SetPortionNumber(portion, (unsigned)number);
    same = OsSameEntry(run->OutputPath, portion);
    free(portion);
    return same;
}

static int CreateOutput(RestoreRun *run)
{
    long error;
    int key;

    run->OutputPath = JoinPath(run->DestinationPath, !EndsWithSeparator(run->DestinationPath),
                               run->Header.FileName);
    if (!run->OutputPath)
        return RESTORE_NO_OUTPUT_PATH;
    if (OutputIsPortion(run)) {
        run->PendingError = 1;
        return RESTORE_OUTPUT_IS_PORTION;
    }
    error = OsCreateNew(run->OutputPath, &run->Output);
    if (error == OS_FILE_EXISTS) {
        printf("%s already exists.  Overwrite? (Y/N): ", run->OutputPath);
        fflush(stdout);
        key = OsReadKey();
        printf("\n");
        if (key != 'Y' && key != 'y') {
            run->Output = 0;
            run->PendingError = error;
            return RESTORE_OPEN_OUTPUT;
        }
        OsDelete(run->OutputPath);
        error = OsCreateNew(run->OutputPath, &run->Output);
    }
    if (error) {
        run->Output = 0;
        run->PendingError = error;
        return RESTORE_OPEN_OUTPUT;
    }
    run->OutputCreated = 1;
    run->PendingError = 0;
    return 0;
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
        result = ReadPortionHeader(run, RESTORE_READ_HEADER);
        if (result == 0 && SameSliceSet(run->FirstHeader, run->RawHeader))
            return 0;
        if (result == 0) {
            ClosePortion(run);
            run->PendingError = 1;
            if (!run->RemovableSource)
                return RESTORE_FOREIGN_PORTION;
            printf("\nThe disk in drive %s holds a portion of another slice set.\n",
                   run->DriveName);
        } else if (result != RESTORE_OPEN_PORTION || !run->RemovableSource) {
            ClosePortion(run);
            return result;
        } else {
            pattern = JoinPath(run->PortionPath, 0, "");
            if (!pattern)
                return RESTORE_NO_SOURCE_PATH;
            pattern[strlen(pattern) - 2] = pattern[strlen(pattern) - 1] = '?';
            number = OsFindFirst(pattern, found, sizeof found) ? -1 : PortionNumberOf(found);
            free(pattern);
            if (number < 0)
                printf("\nThe current disk in %s does not have a slice file on it.\n",
                       run->SourceArgument);
            else
                printf("\nYou need to insert Disk #%d.  You inserted Disk #%d.\n",
                       run->DiskNumber, number + 1);
        }
        result = PromptForDisk(run);
        if (result)
            return result;
    }
}

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

static int CopyPortionData(RestoreRun *run)
{
    uint64_t size = 0, data, room, remaining;
    uint32_t chunk, done, used = 0;
    long error = OsFileSize(run->Portion, &size);

    if (error) {
        run->PendingError = error;
        return RESTORE_READ_FAILED;
    }
    data = size - PORTION_HEADER_SIZE;
    // A damaged or hostile set may carry more than its file's size: nothing
    // past that size is written, so it cannot fill the destination disk.
    room = run->FileSize - run->BytesWritten;
    remaining = data < room ? data : room;
    remaining -= KernelCopy(run, remaining);
    while (remaining > 0) {
        chunk = remaining < run->BufferSize ? (uint32_t)remaining : run->BufferSize;
        done = 0;
        error = OsRead(run->Portion, run->Buffer, chunk, &done);
        if (error || done != chunk) {
            run->PendingError = error ? error : 1;
            return RESTORE_READ_FAILED;
        }
        error = WriteAll(run, chunk);
        if (error) {
            run->PendingError = error;
            return RESTORE_WRITE_FAILED;
        }
        remaining -= chunk;
        used = chunk > used ? chunk : used;
    }
    memset(run->Buffer, 0, used);
    if (data > room) {
        run->MoreDataThanFile = 1;
        run->PendingError = 1;
        return RESTORE_SIZE_MISMATCH;
    }
    error = OsFlush(run->Output);
    if (error) {
        run->PendingError = error;
        return RESTORE_WRITE_FAILED;
    }
    return 0;
}

// Gives the output the sliced file's times and attributes.
static int FinishOutput(RestoreRun *run)
{
    const PortionHeader *h = &run->Header;
    long error = OsSetTimes(run->Output, &h->CreationTime, &h->LastAccessTime, &h->LastWriteTime);

    if (error) {
        run->PendingError = error;
        return RESTORE_SET_TIMES;
    }
    error = OsClose(run->Output);
    run->Output = 0;
    if (error) {
        run->PendingError = error;
        return RESTORE_CLOSE_OUTPUT;
    }
    error = OsSetAttributes(run->OutputPath, h->FileAttributes);
    if (error) {
        run->PendingError = error;
        return RESTORE_SET_ATTRIBUTES;
    }
    return 0;
}

static int CopyPortions(RestoreRun *run)
{
    const uint64_t fileSize = run->FileSize;
    int result, priority, last;

    for (;;) {
        result = OpenNextPortion(run);
        if (result)
            return result;
        run->PendingError = 0;
        priority = OsLowerPriority();
        result = CopyPortionData(run);
        ClosePortion(run);
        OsRestorePriority(priority);
        if (result)
            return result;
        last = run->Header.LastPortion == 1;
        // The set's size and its last-portion mark must agree with the data
        // actually found; anything else is a damaged set, not a success.
        if ((last && run->BytesWritten != fileSize) ||
            (!last && run->PortionIndex + 1 >= MAX_PORTIONS)) {
            run->PendingError = 1;
            return RESTORE_SIZE_MISMATCH;
        }
        run->PortionIndex++;
        run->DiskNumber++;
        if (last) {
            run->DataComplete = 1;
            return FinishOutput(run);
        }
        SetPortionNumber(run->PortionPath, run->PortionIndex);
        if (run->RemovableSource) {
            result = PromptForDisk(run);
            if (result)
                return result;
        }
    }
}

static void FinalReport(const RestoreRun *run, int result)
{
    char written[DECIMAL_TEXT_SIZE], size[DECIMAL_TEXT_SIZE];
    const ReportLine *line = NULL;
    size_t i;

    for (i = 0; i < sizeof ReportLines / sizeof ReportLines[0]; i++)
        if (ReportLines[i].Code == result)
            line = &ReportLines[i];
    if (!line || (result != RESTORE_OK && run->PendingError == 0))
        return;
    switch (line->Args) {
    case ARGS_NAME_AND_FOLDER:
        printf(line->Format, run->Header.FileName, run->DestinationFolder);
        break;
    case ARGS_OUTPUT:
        printf(line->Format, run->OutputPath, run->PendingError);
        break;
    case ARGS_OUTPUT_ONLY:
        printf(line->Format, run->OutputPath);
        break;
    case ARGS_ERROR:
        printf(line->Format, run->PendingError);
        break;
    case ARGS_PORTION:
        printf(line->Format, run->PortionPath, run->PendingError);
        break;
    case ARGS_PORTION_ONLY:
        printf(line->Format, run->PortionPath);
        break;
    case ARGS_SOURCE:
        printf(line->Format, run->SourceArgument);
        break;
    case ARGS_COUNTS:
        DecimalText(run->FileSize, size);
        if (run->MoreDataThanFile)
            printf(ExcessLine, run->PortionPath, size);
        else
            printf(line->Format, run->PortionPath, DecimalText(run->BytesWritten, written),
                   size);
        break;
    case ARGS_DISK:
        printf(line->Format, run->DiskNumber);
        break;
    default:
        printf("%s", line->Format);
        break;
    }
    if (result == RESTORE_NO_FIRST_PORTION)
        PrintUsage();
    if (result != RESTORE_OK && run->OutputCreated && !run->DataComplete)
        printf("%s is incomplete; it has been left in place.\n", run->OutputPath);
}

static void ReleaseRun(RestoreRun *run)
{
    ClosePortion(run);
    if (run->Output)
        OsClose(run->Output);
    free(run->PortionPath);
    free(run->OutputPath);
    free(run->LastingSource);
    free(run->LastingDestination);
    free(run->Buffer);
}

static int Restore(RestoreRun *run)
{
    size_t i;
    int result;

    run->RemovableSource = OsIsRemovable(run->SourceArgument);
    if (run->RemovableSource) {
        OsDriveName(run->SourceArgument, run->DriveName, sizeof run->DriveName);
        result = LeaveCurrentFolder(run);
        if (!result)
            result = PromptForDisk(run);
        if (result)
            return result;
    }
    ClassifySource(run);
    result = run->NameArgument ? LocateByName(run) : LocateInFolder(run);
    if (!result)
        result = ReadFirstHeader(run);
    if (!result)
        result = CreateOutput(run);
    if (result)
        return result;
    run->FileSize = (uint64_t)run->Header.FileSizeHigh << 32 | run->Header.FileSizeLow;
    for (i = 0; i < sizeof TransferSizes / sizeof TransferSizes[0] && !run->Buffer; i++) {
        run->BufferSize = TransferSizes[i];
        run->Buffer = (unsigned char *)calloc(1, run->BufferSize);
    }
    if (!run->Buffer) {
        run->PendingError = 1;
        return RESTORE_NO_BUFFER;
    }
    return CopyPortions(run);
}

int RestoreSliceSet(const char *sourceArgument, const char *destinationFolder)
{
    RestoreRun run;
    int result;

    memset(&run, 0, sizeof run);
    run.SourceArgument = run.SourcePath = sourceArgument;
    run.DestinationFolder = run.DestinationPath = destinationFolder;
    run.DiskNumber = 1;
    result = Restore(&run);
    // Allocation failures have no error number of their own, yet their
    // lines must be shown.
    if (result == RESTORE_NO_SOURCE_PATH || result == RESTORE_NO_OUTPUT_PATH)
        run.PendingError = 1;
    FinalReport(&run, result);
    ReleaseRun(&run);
    fflush(stdout);
    return result;
}
