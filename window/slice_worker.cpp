// The slice job on Windows: the portable job run on a worker thread while
// the window's thread keeps the window alive, its questions and notices
// answered with message boxes owned by the main window.
#include "slice_worker.h"

#include <process.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "format/heap_text.h"

SliceJobHooks JobHooks = {MessageBoxA, _beginthreadex};
HWND MainWindow;

// The job parameters: written by RunSliceJob before the worker starts, read
// by the worker, freed by RunSliceJob after the worker has ended. The only
// state the two threads share besides MainWindow.
struct SliceJobParameters {
    char *JobSource;         // heap copy of the source file's path
    char *JobDestination;    // heap copy: "A:" or a folder ending in a backslash
    int JobMode;             // a SliceMode
    uint32_t JobPortionSize; // folder job: portion file length with header
};

static SliceJobParameters Job;

// The worker's own side of the boxes: written and read by the worker only.
struct BoxUserState {
    unsigned PercentShown; // the progress last posted to the window
};

static BoxUserState BoxState;

static const char ErrorTitle[] = "Dorvane - Slice Error";

// A box of the job, owned by the main window and brought to the foreground.
// The box takes the keyboard focus, and the focus of the window's controls
// belongs to the window's thread: only that thread can note it before the
// box and set it again after (the window answers WM_SLICE_BOX). Both are
// sent, not posted: they reach the window in order and before the next box,
// and the window's thread dispatches sent messages while it waits for the
// job (RunSliceJob's loop, or any modal loop it is in), so the worker waits
// no longer than that loop's 30 ms. Called on the window's thread too, when
// the job cannot start; a message sent there is a plain call.
static int ShowOwnedBox(const char *text, const char *title, UINT style)
{
    int answer;

    SendMessageA(MainWindow, WM_SLICE_BOX, SLICE_BOX_OPENING, 0);
    answer = JobHooks.ShowMessage(MainWindow, text, title, style | MB_SETFOREGROUND);
    SendMessageA(MainWindow, WM_SLICE_BOX, SLICE_BOX_CLOSED, 0);
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
// below it.
static int BoxAskOverwrite(void *, const char *detail)
{
    return ShowJobMessage("Dorvane - Overwrite?", MB_OKCANCEL | MB_ICONWARNING,
                          "Do you want to overwrite preexisting files?\n\n%s", detail);
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

static void BoxNotice(void *, const char *text)
{
    ShowJobMessage(ErrorTitle, MB_OK | MB_ICONWARNING, "%s", text);
}

static void BoxFinal(void *, int, const char *text)
{
    ShowJobMessage(ErrorTitle, MB_OK | MB_ICONERROR, "%s", text);
}

// Tells the window how far the job is, once per percent: posted, so the
// worker never waits for the window.
static void BoxProgress(void *, uint64_t done, uint64_t total)
{
    // At most MAX_SET_DATA times 100: far from wrapping 64 bits.
    unsigned percent = (unsigned)(done * 100 / total);

    if (percent == BoxState.PercentShown)
        return;
    BoxState.PercentShown = percent;
    PostMessageA(MainWindow, WM_SLICE_PROGRESS, percent, 0);
}

// The error numbers as the window's texts give them (" = 5"), its results
// as notices, and no interruption: the members past Progress stay NULL.
static const SliceUser BoxUser = {
    NULL,      BoxNextDisk, BoxAskOverwrite, BoxNotReady, BoxOpenError, BoxNotice,
    BoxFinal,  BoxProgress, NULL,            NULL,        NULL,
};

unsigned __stdcall SliceWorker(void *unused)
{
    (void)unused;
    BoxState.PercentShown = 0;
    return (unsigned)SliceFile(Job.JobSource, Job.JobDestination, Job.JobMode, Job.JobPortionSize,
                               &BoxUser);
}

void ReportRefusedJob(int code, const char *source, const char *destination,
                      uint32_t portionSize)
{
    ReportSliceFailure(&BoxUser, code, 1, source, destination, SLICE_INTO_FOLDER, portionSize);
}

uint32_t RunSliceJob(const char *source, const char *destination, uint32_t portionSize)
{
    HANDLE thread;
    DWORD code = SLICE_NO_THREAD;
    DWORD wait;
    MSG message;
    long error = 1;

    Job.JobSource = _strdup(source);
    Job.JobDestination = _strdup(destination);
    // The window names the removable-drive method by a portion size of 0.
    Job.JobMode = portionSize == 0 ? SLICE_ONTO_DISKS : SLICE_INTO_FOLDER;
    Job.JobPortionSize = portionSize;
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
