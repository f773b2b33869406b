#include "slice_job.h"

#include <process.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "media.h"
#include "slice_arith.h"
#include "slice_format.h"

enum { TRANSFER_SIZE = 0x10000 };

SliceJobHooks JobHooks = {MessageBoxA, _beginthreadex};
HWND MainWindow;

// The job parameters: written by RunSliceJob before the worker starts, read
// by the worker, freed by RunSliceJob after the worker has ended. The only
// state the two threads share besides MainWindow.
struct SliceJobParameters {
    char *JobSource;         // heap copy of the source file's path
    char *JobDestination;    // heap copy: "A:" or a folder ending in a backslash
    uint32_t JobPortionSize; // portion file length with header; 0: removable drive
};

static SliceJobParameters Job;

// The worker's state for one job, on the worker's stack.
struct SliceWorkerState {
    PortionHeader Header;       // filled once; only LastPortion changes
    HANDLE Source;              // the source, read sequentially; or INVALID_HANDLE_VALUE
    HANDLE Portion;             // the portion being written; or INVALID_HANDLE_VALUE
    char *PortionPath;          // heap: destination + file name, number at the end
    unsigned PortionNumber;     // from 0
    int DiskNumber;             // shown in prompts: always PortionNumber + 1
    uint32_t BytesDone;         // source bytes written to portions so far
    uint32_t Room;              // payload bytes the current portion may take
    uint32_t BytesInPortion;    // payload bytes written to it so far
    unsigned char *Buffer;      // TRANSFER_SIZE bytes, zero-filled
    int AskBeforeOverwrite;     // 1 until the user first agrees to overwrite
    int JustDeleted;            // 1 right after preexisting portions were deleted
    int JoinerFailureShown;     // 1 once a failed KELMORIX.EXE was reported
    unsigned PercentShown;      // the progress last posted to the window
    long PendingError;          // number for the final message; 0: show none
};

static const char ErrorTitle[] = "Dorvane - Slice Error";

enum FinalArgs {
    ARGS_NONE,
    ARGS_ERROR,         // pending error
    ARGS_DESTINATION,   // JobDestination
    ARGS_SOURCE,        // JobSource
    ARGS_SOURCE_ERROR,  // JobSource, pending error
    ARGS_SOURCE_SIZE,   // JobSource, JobPortionSize
    ARGS_PORTION_ERROR  // portion path, pending error
};

// The one final message of each failure, shown when the job ends.
struct FinalMessage {
    int Code;
    int Args;
    const char *Format;
};

static const FinalMessage FinalMessages[] = {
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
    {SLICE_SOURCE_TOO_LARGE, ARGS_SOURCE,
     "%s is 4 GiB or larger. Files of 4 GiB or more cannot be sliced.\n"},
    {SLICE_NO_BUFFER, ARGS_NONE, "Error allocating transfer buffer\n"},
    {SLICE_NOT_REMOVABLE, ARGS_DESTINATION, "Destination: %s is not removable\n"},
    {SLICE_NO_PATH_BUFFER, ARGS_NONE, "Error allocating destination name buffer\n"},
    {SLICE_NO_SIZE, ARGS_SOURCE_ERROR, "Error getting size of %s = %ld\n"},
    {SLICE_NO_TIMES, ARGS_SOURCE_ERROR, "Error getting date/time(s) for %s = %ld\n"},
    {SLICE_NO_SOURCE, ARGS_SOURCE_ERROR, "Error opening %s = %ld\n"},
    {SLICE_NO_ATTRIBUTES, ARGS_SOURCE_ERROR, "Error getting attributes for %s = %ld\n"},
};

// Formats a message and shows it in a box owned by the main window, brought
// to the foreground. Returns the button chosen (IDOK when the text cannot
// even be formatted, so that no question is answered by accident with
// anything but the safe default of the box's first button).
static int ShowJobMessage(const char *title, UINT style, const char *format, ...)
{
    va_list args;
    int length;
    char *text;
    int answer;

    va_start(args, format);
    length = _vscprintf(format, args);
    va_end(args);
    text = length >= 0 ? (char *)malloc((size_t)length + 1) : NULL;
    if (!text)
        return JobHooks.ShowMessage(MainWindow, format, title, style | MB_SETFOREGROUND);
    va_start(args, format);
    vsnprintf(text, (size_t)length + 1, format, args);
    va_end(args);
    answer = JobHooks.ShowMessage(MainWindow, text, title, style | MB_SETFOREGROUND);
    free(text);
    return answer;
}

static void PromptForDisk(const SliceWorkerState *w)
{
    ShowJobMessage("Dorvane - Next Disk", MB_OK, "Please insert disk #%d in drive %s. ",
                   w->DiskNumber, Job.JobDestination);
}

static int ShowNotReady(void)
{
    return ShowJobMessage(ErrorTitle, MB_ABORTRETRYIGNORE | MB_ICONERROR, "%s is not ready.",
                          Job.JobDestination);
}

// Asked at most once per job; after an OK later collisions count as agreed.
static int AskOverwrite(SliceWorkerState *w)
{
    if (!w->AskBeforeOverwrite)
        return IDOK;
    if (ShowJobMessage("Dorvane - Overwrite?", MB_OKCANCEL | MB_ICONWARNING,
                       "Do you want to overwrite preexisting files?") != IDOK)
        return IDCANCEL;
    w->AskBeforeOverwrite = 0;
    return IDOK;
}

// Deletes the files named like this portion and every later one, up to 99.
// Earlier numbers belong to the set being written and are left alone.
static void DeletePreexistingPortions(const SliceWorkerState *w)
{
    char *path = _strdup(w->PortionPath);
    unsigned number;

    if (!path)
        return;
    for (number = w->PortionNumber; number < MAX_PORTIONS; number++) {
        SetPortionNumber(path, number);
        DeleteFileA(path);
    }
    free(path);
}

static HANDLE CreateNewFile(const char *path)
{
    return CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, NULL);
}

// Creates the current portion file as a new file, asking before anything is
// overwritten. Returns 0 with w->Portion open, or the code that ends the job.
static int CreatePortion(SliceWorkerState *w)
{
    for (;;) {
        w->Portion = CreateNewFile(w->PortionPath);
        if (w->Portion != INVALID_HANDLE_VALUE) {
            w->PendingError = 0;
            w->JustDeleted = 0;
            return 0;
        }
        w->PendingError = (long)GetLastError();
        // Right after the deletion a collision means a file that could not be
        // deleted (read-only, say): that goes to the open-error message below
        // rather than round the deletion again.
        if (w->PendingError == ERROR_FILE_EXISTS && !w->JustDeleted) {
            if (AskOverwrite(w) != IDOK) {
                w->PendingError = 0;
                return SLICE_CANCELLED;
            }
            DeletePreexistingPortions(w);
            w->JustDeleted = 1;
            continue;
        }
        w->JustDeleted = 0;
        if (ShowJobMessage(ErrorTitle, MB_ABORTRETRYIGNORE | MB_ICONERROR,
                           "Error while opening %s.  Error Code = %ld", w->PortionPath,
                           w->PendingError) == IDABORT)
            return SLICE_ABORTED;
        PromptForDisk(w);
    }
}

// Removable drive: waits until the disk in the drive has room for more than
// a header, or holds portions the user agrees to overwrite. Returns 0 or the
// code that ends the job.
static int CheckSpace(SliceWorkerState *w)
{
    uint32_t free = DiskFreeBytes(Job.JobDestination);
    HANDLE probe;

    while (free <= PORTION_HEADER_SIZE) {
        // A file that can be created tells a full disk from a missing one.
        probe = CreateNewFile(w->PortionPath);
        if (probe != INVALID_HANDLE_VALUE) {
            CloseHandle(probe);
            DeleteFileA(w->PortionPath);
        } else if (GetLastError() == ERROR_FILE_EXISTS) {
            if (AskOverwrite(w) != IDOK) {
                w->PendingError = 0;
                return SLICE_CANCELLED;
            }
            DeletePreexistingPortions(w);
            w->JustDeleted = 1;
            return 0;
        }
        if (ShowNotReady() == IDABORT)
            return SLICE_ABORTED;
        PromptForDisk(w);
        free = DiskFreeBytes(Job.JobDestination);
    }
    return 0;
}

// Writes the joiner beside portion 0. A set without its joiner can still be
// joined by a copy from elsewhere, so the job goes on, but the user is told.
static void WriteJoinerBesidePortion(SliceWorkerState *w)
{
    long error = WriteJoinerProgram(Job.JobDestination);

    if (!error || w->JoinerFailureShown)
        return;
    w->JoinerFailureShown = 1;
    ShowJobMessage(ErrorTitle, MB_OK | MB_ICONWARNING,
                   "Error writing %s%s = %ld\nSlicing goes on, but the set will lack its "
                   "joiner program.\n",
                   Job.JobDestination, JOINER_FILE_NAME, error);
}

// Creates the current portion with room for data, and the joiner beside
// portion 0. Sets w->Room. Returns 0 or the code that ends the job.
static int OpenPortionWithRoom(SliceWorkerState *w)
{
    int removable = Job.JobPortionSize == 0;
    uint32_t capacity;
    int result;

    for (;;) {
        if (removable) {
            PromptForDisk(w);
            result = CheckSpace(w);
            if (result)
                return result;
        }
        result = CreatePortion(w);
        if (result)
            return result;
        if (w->PortionNumber == 0)
            WriteJoinerBesidePortion(w);
        capacity = removable ? DiskFreeBytes(Job.JobDestination) : Job.JobPortionSize;
        if (capacity > PORTION_HEADER_SIZE) {
            w->Room = capacity - PORTION_HEADER_SIZE;
            return 0;
        }
        // The new portion (and on disk 1 the joiner) took the last of the
        // space: a portion without data would only confuse the joiner. Take
        // it back and treat the disk like one that is not ready.
        CloseHandle(w->Portion);
        w->Portion = INVALID_HANDLE_VALUE;
        DeleteFileA(w->PortionPath);
        if (ShowNotReady() == IDABORT)
            return SLICE_ABORTED;
    }
}

static int WriteAll(SliceWorkerState *w, const void *data, uint32_t count)
{
    DWORD written = 0;

    if (!WriteFile(w->Portion, data, count, &written, NULL)) {
        w->PendingError = (long)GetLastError();
        return SLICE_WRITE_FAILED;
    }
    if (written != count) {
        w->PendingError = ERROR_DISK_FULL; // no error, yet short: no room left
        return SLICE_WRITE_FAILED;
    }
    return 0;
}

// Tells the window how far the job is, once per percent: posted, so the
// worker never waits for the window.
static void ReportProgress(SliceWorkerState *w)
{
    unsigned percent = (unsigned)((uint64_t)w->BytesDone * 100 / w->Header.FileSizeLow);

    if (percent == w->PercentShown)
        return;
    w->PercentShown = percent;
    PostMessageA(MainWindow, WM_SLICE_PROGRESS, percent, 0);
}

// Header and data of one portion, then the file is flushed and closed.
static int WritePortion(SliceWorkerState *w)
{
    uint32_t size = w->Header.FileSizeLow;
    unsigned char raw[PORTION_HEADER_SIZE];
    uint32_t count;
    DWORD got;
    int result;

    if (w->Room >= size - w->BytesDone)
        w->Header.LastPortion = 1;
    EncodePortionHeader(&w->Header, raw);
    result = WriteAll(w, raw, sizeof raw);
    if (result)
        return result;
    for (w->BytesInPortion = 0; w->BytesInPortion < w->Room && w->BytesDone < size;) {
        count = TRANSFER_SIZE;
        if (count > w->Room - w->BytesInPortion)
            count = w->Room - w->BytesInPortion;
        if (count > size - w->BytesDone)
            count = size - w->BytesDone;
        if (!ReadFile(w->Source, w->Buffer, count, &got, NULL)) {
            w->PendingError = (long)GetLastError();
            return SLICE_READ_FAILED;
        }
        if (got != count) {
            // The source shrank since its size was read.
            w->PendingError = ERROR_HANDLE_EOF;
            return SLICE_READ_FAILED;
        }
        result = WriteAll(w, w->Buffer, count);
        if (result)
            return result;
        w->BytesInPortion += count;
        w->BytesDone += count;
        memset(w->Buffer, 0, count);
        ReportProgress(w);
    }
    if (!FlushFileBuffers(w->Portion)) {
        w->PendingError = (long)GetLastError();
        return SLICE_CLOSE_FAILED;
    }
    result = CloseHandle(w->Portion);
    w->Portion = INVALID_HANDLE_VALUE;
    if (!result) {
        w->PendingError = (long)GetLastError();
        return SLICE_CLOSE_FAILED;
    }
    return 0;
}

// Fills the header from the source and makes the portion path and buffer.
// Returns 0 or the code that ends the job.
static int PrepareJob(SliceWorkerState *w)
{
    SYSTEMTIME now;
    FILETIME times[3];
    DWORD attributes, sizeLow, sizeHigh = 0;
    const char *name;
    size_t nameLength, destinationLength;

    GetLocalTime(&now);
    memcpy(&w->Header.SliceTime, &now, sizeof now);
    w->Header.LastPortion = 0;

    attributes = GetFileAttributesA(Job.JobSource);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        w->PendingError = (long)GetLastError();
        return SLICE_NO_ATTRIBUTES;
    }
    w->Header.FileAttributes = attributes;

    w->Source = CreateFileA(Job.JobSource, GENERIC_READ, 0, NULL, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, NULL);
    if (w->Source == INVALID_HANDLE_VALUE) {
        w->PendingError = (long)GetLastError();
        return SLICE_NO_SOURCE;
    }
    if (!GetFileTime(w->Source, &times[0], &times[1], &times[2])) {
        w->PendingError = (long)GetLastError();
        return SLICE_NO_TIMES;
    }
    memcpy(&w->Header.CreationTime, &times[0], sizeof times[0]);
    memcpy(&w->Header.LastAccessTime, &times[1], sizeof times[1]);
    memcpy(&w->Header.LastWriteTime, &times[2], sizeof times[2]);

    sizeLow = GetFileSize(w->Source, &sizeHigh);
    if (sizeLow == INVALID_FILE_SIZE) {
        // The size itself may be 0xFFFFFFFF: the error number tells.
        w->PendingError = (long)GetLastError();
        return SLICE_NO_SIZE;
    }
    w->Header.FileSizeLow = sizeLow;
    w->Header.FileSizeHigh = sizeHigh;
    // Only the low word is carried: a larger file would be cut short silently.
    if (sizeHigh != 0) {
        w->PendingError = 1;
        return SLICE_SOURCE_TOO_LARGE;
    }

    // The number overwrites the name's last two characters: with fewer, it
    // would land on the folder's backslash or the drive's colon.
    name = SourceFileName(Job.JobSource);
    nameLength = strlen(name);
    if (nameLength < 2 || StoreFileName(w->Header.FileName, name) != 0) {
        w->PendingError = 1;
        return SLICE_UNNUMBERABLE_NAME;
    }

    destinationLength = strlen(Job.JobDestination);
    w->PortionPath = (char *)malloc(destinationLength + nameLength + 1);
    if (!w->PortionPath) {
        w->PendingError = 1;
        return SLICE_NO_PATH_BUFFER;
    }
    memcpy(w->PortionPath, Job.JobDestination, destinationLength);
    memcpy(w->PortionPath + destinationLength, name, nameLength + 1);

    if (Job.JobPortionSize == 0) {
        char root[4] = {Job.JobDestination[0], ':', '\\', '\0'};

        if (destinationLength != 2 || Job.JobDestination[1] != ':' ||
            GetDriveTypeA(root) != DRIVE_REMOVABLE) {
            w->PendingError = 1;
            return SLICE_NOT_REMOVABLE;
        }
    }

    w->Buffer = (unsigned char *)calloc(1, TRANSFER_SIZE);
    if (!w->Buffer) {
        w->PendingError = 1;
        return SLICE_NO_BUFFER;
    }

    // A folder job knows its portion count in advance: refuse one that the
    // two-digit numbers cannot name before any portion exists.
    if (Job.JobPortionSize != 0 && PortionsNeeded(sizeLow, Job.JobPortionSize) > MAX_PORTIONS) {
        w->PendingError = 1;
        return SLICE_TOO_MANY_PORTIONS;
    }
    return 0;
}

static int SliceAll(SliceWorkerState *w)
{
    int result = PrepareJob(w);

    while (!result && w->BytesDone < w->Header.FileSizeLow) {
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
    return result;
}

static void ShowFinalMessage(const SliceWorkerState *w, int result)
{
    const FinalMessage *message = NULL;
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
        ShowJobMessage(ErrorTitle, MB_OK | MB_ICONERROR, "%s", message->Format);
        break;
    case ARGS_ERROR:
        ShowJobMessage(ErrorTitle, MB_OK | MB_ICONERROR, message->Format, w->PendingError);
        break;
    case ARGS_DESTINATION:
        ShowJobMessage(ErrorTitle, MB_OK | MB_ICONERROR, message->Format, Job.JobDestination);
        break;
    case ARGS_SOURCE:
        ShowJobMessage(ErrorTitle, MB_OK | MB_ICONERROR, message->Format, Job.JobSource);
        break;
    case ARGS_SOURCE_ERROR:
        ShowJobMessage(ErrorTitle, MB_OK | MB_ICONERROR, message->Format, Job.JobSource,
                       w->PendingError);
        break;
    case ARGS_SOURCE_SIZE:
        ShowJobMessage(ErrorTitle, MB_OK | MB_ICONERROR, message->Format, Job.JobSource,
                       (unsigned long)Job.JobPortionSize);
        break;
    case ARGS_PORTION_ERROR:
        ShowJobMessage(ErrorTitle, MB_OK | MB_ICONERROR, message->Format, w->PortionPath,
                       w->PendingError);
        break;
    }
}

unsigned __stdcall SliceWorker(void *unused)
{
    SliceWorkerState w;
    int result;

    (void)unused;
    memset(&w, 0, sizeof w);
    w.Source = INVALID_HANDLE_VALUE;
    w.Portion = INVALID_HANDLE_VALUE;
    w.DiskNumber = 1;
    w.AskBeforeOverwrite = 1;

    result = SliceAll(&w);

    // A portion left open by a failure is closed as it stands; the portions
    // before it are complete and stay where they are.
    if (w.Portion != INVALID_HANDLE_VALUE)
        CloseHandle(w.Portion);
    if (w.Source != INVALID_HANDLE_VALUE)
        CloseHandle(w.Source);
    ShowFinalMessage(&w, result);
    free(w.Buffer);
    free(w.PortionPath);
    return (unsigned)result;
}

uint32_t RunSliceJob(const char *source, const char *destination, uint32_t portionSize)
{
    HANDLE thread;
    DWORD code = SLICE_NO_THREAD;
    DWORD wait;
    MSG message;
    SliceWorkerState failure;

    Job.JobSource = _strdup(source);
    Job.JobDestination = _strdup(destination);
    Job.JobPortionSize = portionSize;
    // A job that cannot start is reported as the worker reports its failures.
    memset(&failure, 0, sizeof failure);
    failure.PendingError = 1;
    if (!Job.JobSource || !Job.JobDestination) {
        code = SLICE_NO_PATH_BUFFER;
        ShowFinalMessage(&failure, (int)code);
    } else {
        thread = (HANDLE)JobHooks.StartThread(NULL, 0, SliceWorker, NULL, 0, NULL);
        if (!thread) {
            if (GetLastError())
                failure.PendingError = (long)GetLastError();
            ShowFinalMessage(&failure, (int)code);
        } else {
            // One message at a time keeps the window painted and answering
            // while the worker's message boxes wait for the user.
            do {
                if (PeekMessageA(&message, MainWindow, 0, 0, PM_REMOVE)) {
                    TranslateMessage(&message);
                    DispatchMessageA(&message);
                }
                wait = WaitForSingleObject(thread, 30);
            } while (wait == WAIT_TIMEOUT);
            if (wait != WAIT_OBJECT_0)
                WaitForSingleObject(thread, INFINITE); // the job parameters outlive the worker
            if (!GetExitCodeThread(thread, &code))
                code = SLICE_NO_THREAD;
            CloseHandle(thread);
        }
    }
    free(Job.JobDestination);
    free(Job.JobSource);
    Job.JobDestination = NULL;
    Job.JobSource = NULL;
    return code;
}
