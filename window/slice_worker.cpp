// The slice job on Windows: the portable job run on a worker thread while
// the window's thread keeps the window alive, its questions and notices
// answered with message boxes owned by the main window; and, when asked,
// the recovery data written after the set, by the same engine as the Linux
// dorvane's.
#include "slice_worker.h"

#include <process.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "format/heap_text.h"
#include "os/process.h"
#include "os/text_win.h"
#include "recovery/write/recovery_disk.h"
#include "recovery/write/recovery_job.h"

SliceJobHooks JobHooks = {Utf8MessageBox, _beginthreadex};
HWND MainWindow;
const char RecoveryCreator[] = "Dorvane " DORVANE_VERSION;

// The job parameters: written by RunSliceJob before the worker starts, read
// by the worker, freed by RunSliceJob after the worker has ended. The only
// state the two threads share besides MainWindow and BoxState.Held.
struct SliceJobParameters {
    char *JobSource;            // heap copy of the source file's path
    char *JobDestination;       // heap copy: "A:" or a folder ending in a backslash
    int JobMode;                // a SliceMode
    uint32_t JobPortionSize;    // folder job: portion file length with header
    unsigned JobRecoveryBlocks; // 0: no recovery data
};

static SliceJobParameters Job;

// The worker's own side of the boxes: written and read by the worker only,
// but for Held, which RunSliceJob takes as the job's report once the worker
// has ended.
struct BoxUserState {
    unsigned PercentShown; // the progress last posted to the window
    int Step;              // a SLICE_STEP_ value: what the progress counts
    int OverwriteAgreed;   // OK was the answer to the overwrite question
    char *Held;            // heap: the recovery step's notices not shown yet
};

static BoxUserState BoxState;

// The last job's report (JobRecoveryReport): the window's thread only.
static char *Report;

static const char ErrorTitle[] = "Dorvane - Slice Error";

enum { PERCENT_NONE = 101 }; // no percentage posted yet for this step

int WINAPI Utf8MessageBox(HWND owner, LPCSTR text, LPCSTR title, UINT style)
{
    wchar_t *wideText = Utf8ToWide(text);
    wchar_t *wideTitle = Utf8ToWide(title);
    int answer;

    // Without memory for the copies the bytes still say what happened.
    if (wideText && wideTitle)
        answer = MessageBoxW(owner, wideText, wideTitle, style);
    else
        answer = MessageBoxA(owner, text, title, style);
    free(wideText);
    free(wideTitle);
    return answer;
}

// Adds a notice of the recovery step to those held for the next box or the
// result box. Kept as they come should memory run short: a notice is lost,
// never the job.
static void Hold(const char *text)
{
    char *joined = BoxState.Held ? FormatText("%s%s", BoxState.Held, text) : _strdup(text);

    if (!joined)
        return;
    free(BoxState.Held);
    BoxState.Held = joined;
}

// A box of the job, owned by the main window and brought to the foreground.
// The box takes the keyboard focus, and the focus of the window's controls
// belongs to the window's thread: only that thread can note it before the
// box and set it again after (the window answers WM_SLICE_BOX). Both are
// sent, not posted: they reach the window in order and before the next box,
// and the window's thread dispatches sent messages while it waits for the
// job (RunSliceJob's loop, or any modal loop it is in), so the worker waits
// no longer than that loop's 30 ms. Called on the window's thread too, when
// the job cannot start; a message sent there is a plain call. Notices held
// by the recovery step come first in the box, since they lead up to it
// ("... is already there." before the overwrite question).
static int ShowOwnedBox(const char *text, const char *title, UINT style)
{
    char *joined = BoxState.Held ? FormatText("%s\n%s", BoxState.Held, text) : NULL;
    int answer;

    free(BoxState.Held);
    BoxState.Held = NULL;
    SendMessageA(MainWindow, WM_SLICE_BOX, SLICE_BOX_OPENING, 0);
    answer = JobHooks.ShowMessage(MainWindow, joined ? joined : text, title,
                                  style | MB_SETFOREGROUND);
    SendMessageA(MainWindow, WM_SLICE_BOX, SLICE_BOX_CLOSED, 0);
    free(joined);
    return answer;
}

// Formats a message and shows it in a box of the job. Returns the button
// chosen (the box's answer to the bare format when the text cannot even be
// formatted).
static int ShowJobMessage(const char *title, UINT style, const char *format, ...)
{
    va_list args;
    char *text;
    int answer;

    va_start(args, format);
    text = FormatTextV(format, args);
    va_end(args);
    if (!text)
        return ShowOwnedBox(format, title, style);
    answer = ShowOwnedBox(text, title, style);
    free(text);
    return answer;
}

// The disk prompts cannot be cancelled: OK is the only way on.
static int BoxNextDisk(void *, int disk, const char *destination)
{
    ShowJobMessage("Dorvane - Next Disk", MB_OK, "Please insert disk #%d in drive %s. ", disk,
                   destination);
    return 0;
}

// The question as the product words it, and the files it is asked for
// below it. A yes covers the recovery files too, which belong to the set as
// much as its portions: the recovery step does not ask again.
static int BoxAskOverwrite(void *, const char *detail)
{
    int answer = ShowJobMessage("Dorvane - Overwrite?", MB_OKCANCEL | MB_ICONWARNING,
                                "Do you want to overwrite preexisting files?\n\n%s", detail);

    if (answer == SLICE_ANSWER_OK)
        BoxState.OverwriteAgreed = 1;
    return answer;
}

static int BoxNotReady(void *, const char *destination)
{
    return ShowJobMessage(ErrorTitle, MB_ABORTRETRYIGNORE | MB_ICONERROR, "%s is not ready.",
                          destination);
}

static int BoxOpenError(void *, const char *path, long error)
{
    return ShowJobMessage(ErrorTitle, MB_ABORTRETRYIGNORE | MB_ICONERROR,
                          "Error while opening %s.  Error Code = %ld", path, error);
}

// The job's notices are warnings (the joiner could not be written); the
// recovery step's lead up to its next question.
static void BoxNotice(void *, const char *text)
{
    if (BoxState.Step == SLICE_STEP_RECOVERY)
        Hold(text);
    else
        ShowJobMessage(ErrorTitle, MB_OK | MB_ICONWARNING, "%s", text);
}

// What the recovery step wrote: kept for the result box.
static void BoxResult(void *, const char *text)
{
    Hold(text);
}

static void BoxFinal(void *, int, const char *text)
{
    ShowJobMessage(ErrorTitle, MB_OK | MB_ICONERROR, "%s", text);
}

// Tells the window how far the step is, once per percent: posted, so the
// worker never waits for the window.
static void BoxProgress(void *, uint64_t done, uint64_t total)
{
    // At most MAX_SET_DATA times 100: far from wrapping 64 bits.
    unsigned percent = total ? (unsigned)(done * 100 / total) : 100;

    if (percent == BoxState.PercentShown)
        return;
    BoxState.PercentShown = percent;
    PostMessageA(MainWindow, WM_SLICE_PROGRESS, percent, BoxState.Step);
}

// The error numbers as the window's texts give them (" = 5"), its results
// held for the result box, and no interruption.
static const SliceUser BoxUser = {
    NULL,      BoxNextDisk, BoxAskOverwrite, BoxNotReady, BoxOpenError, BoxNotice,
    BoxFinal,  BoxProgress, NULL,            BoxResult,   NULL,
};

// From here on the notices are the recovery step's, and the progress
// counts its reading of the set.
static void StartRecoveryStep(void)
{
    BoxState.Step = SLICE_STEP_RECOVERY;
    BoxState.PercentShown = PERCENT_NONE;
}

// Half the machine's memory for the blocks, as the Linux dorvane allows,
// and no more than a quarter of what a 32-bit program can address.
static uint64_t RecoveryMemoryLimit(void)
{
    uint64_t memory = OsPhysicalMemory();
    uint64_t limit = memory ? memory / 2 : (uint64_t)1 << 30;
    uint64_t addressable = (uint64_t)SIZE_MAX / 4;

    return limit < addressable ? limit : addressable;
}

// Disk after disk: the block made from the bytes as they are written, then
// put on one more disk. Returns the job's code, or SLICE_RECOVERY_FAILED
// for a complete set without its recovery data.
static int SliceWithRecoveryDisk(RecoveryRequest *request)
{
    RecoveryDisk *disk = RecoveryDiskStart(request);
    int result;

    if (!disk) {
        ReportSliceFailure(&BoxUser, SLICE_NO_BUFFER, 1, Job.JobSource, Job.JobDestination,
                           SLICE_ONTO_DISKS, 0);
        return SLICE_NO_BUFFER;
    }
    result = SliceFileObserved(Job.JobSource, Job.JobDestination, SLICE_ONTO_DISKS, 0, &BoxUser,
                               RecoveryDiskObserver(disk), NULL);
    if (result == SLICE_COMPLETE) {
        StartRecoveryStep();
        request->OverwriteAgreed = BoxState.OverwriteAgreed;
        result = RecoveryDiskWrite(disk, &BoxUser);
    }
    RecoveryDiskFree(disk);
    return result;
}

unsigned __stdcall SliceWorker(void *unused)
{
    RecoveryRequest request;
    SliceWritten written; // what the job wrote, compared with what the recovery step reads
    int result;

    (void)unused;
    BoxState.PercentShown = 0;
    BoxState.Step = SLICE_STEP_PORTIONS;
    BoxState.OverwriteAgreed = 0;
    if (!Job.JobRecoveryBlocks)
        return (unsigned)SliceFile(Job.JobSource, Job.JobDestination, Job.JobMode,
                                   Job.JobPortionSize, &BoxUser);
    request.Source = Job.JobSource;
    request.Destination = Job.JobDestination;
    request.Blocks = Job.JobMode == SLICE_ONTO_DISKS ? 1 : Job.JobRecoveryBlocks;
    request.OverwriteAgreed = 0;
    request.MemoryLimit = RecoveryMemoryLimit();
    request.Creator = RecoveryCreator;
    request.Written = NULL;
    if (Job.JobMode == SLICE_ONTO_DISKS)
        return (unsigned)SliceWithRecoveryDisk(&request);
    result = SliceFileObserved(Job.JobSource, Job.JobDestination, Job.JobMode,
                               Job.JobPortionSize, &BoxUser, NULL, &written);
    if (result != SLICE_COMPLETE)
        return (unsigned)result;
    // A portion that no longer reads as the job wrote it is refused, as the
    // Linux dorvane refuses it.
    StartRecoveryStep();
    request.OverwriteAgreed = BoxState.OverwriteAgreed;
    request.Written = &written;
    return (unsigned)WriteRecoveryData(&request, &BoxUser);
}

void ReportRefusedJob(int code, const char *source, const char *destination,
                      uint32_t portionSize)
{
    ReportSliceFailure(&BoxUser, code, 1, source, destination, SLICE_INTO_FOLDER, portionSize);
}

const char *JobRecoveryReport(void)
{
    return Report ? Report : "";
}

uint32_t RunSliceJob(const char *source, const char *destination, uint32_t portionSize,
                     unsigned recoveryBlocks)
{
    HANDLE thread;
    DWORD code = SLICE_NO_THREAD;
    DWORD wait;
    MSG message;
    long error = 1;

    free(Report);
    Report = NULL;
    free(BoxState.Held);
    BoxState.Held = NULL;
    BoxState.Step = SLICE_STEP_PORTIONS;
    Job.JobSource = _strdup(source);
    Job.JobDestination = _strdup(destination);
    // The window names the removable-drive method by a portion size of 0.
    Job.JobMode = portionSize == 0 ? SLICE_ONTO_DISKS : SLICE_INTO_FOLDER;
    Job.JobPortionSize = portionSize;
    Job.JobRecoveryBlocks = recoveryBlocks;
    // A job that cannot start is reported as the worker reports its failures.
    if (!Job.JobSource || !Job.JobDestination) {
        code = SLICE_NO_PATH_BUFFER;
        ReportSliceFailure(&BoxUser, (int)code, error, source, destination, Job.JobMode,
                           portionSize);
    } else {
        thread = (HANDLE)JobHooks.StartThread(NULL, 0, SliceWorker, NULL, 0, NULL);
        if (!thread) {
            if (GetLastError())
                error = (long)GetLastError();
            ReportSliceFailure(&BoxUser, (int)code, error, source, destination, Job.JobMode,
                           portionSize);
        } else {
            // One message at a time keeps the window painted and answering
            // while the worker's message boxes wait for the user.
            do {
                if (PeekMessageW(&message, MainWindow, 0, 0, PM_REMOVE)) {
                    TranslateMessage(&message);
                    DispatchMessageW(&message);
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
    // What the recovery step said last, with no box after it, is the
    // report of what it wrote.
    Report = BoxState.Held;
    BoxState.Held = NULL;
    if (Report && Report[0] && Report[strlen(Report) - 1] == '\n')
        Report[strlen(Report) - 1] = '\0';
    free(Job.JobDestination);
    free(Job.JobSource);
    Job.JobDestination = NULL;
    Job.JobSource = NULL;
    return code;
}
