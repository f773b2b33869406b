// A slice job: one source file cut into a slice set, into a folder in
// portions of a given size or onto a removable drive, disk after disk. The
// work runs on its own thread; the window's thread keeps the window alive
// meanwhile and gets the job's result code when it ends.
#ifndef DORVANE_SLICE_WORKER_H
#define DORVANE_SLICE_WORKER_H

#include <windows.h>

#include <stdint.h>

#include "slice/slice_job.h"

// The result codes are the portable job's (slice_job.h).
typedef int(WINAPI *MessageBoxFunction)(HWND owner, LPCSTR text, LPCSTR title, UINT style);
typedef uintptr_t(__cdecl *ThreadStartFunction)(void *security, unsigned stackSize,
                                               unsigned(__stdcall *start)(void *),
                                               void *argument, unsigned flags,
                                               unsigned *threadId);

// The two places where the program meets the rest of the system in ways a
// test must be able to stand in for: the message boxes it shows (the job's
// on the worker thread, the window's on its own) and the start of the
// worker thread itself.
struct SliceJobHooks {
    MessageBoxFunction ShowMessage; // MessageBoxA
    ThreadStartFunction StartThread; // _beginthreadex
};

extern SliceJobHooks JobHooks;

// Posted to MainWindow by the worker whenever the share of the source
// written so far grows by a percent: wParam holds it (0 to 100).
#define WM_SLICE_PROGRESS (WM_APP + 1)

// Sent to MainWindow by the worker just before each of its message boxes
// (wParam SLICE_BOX_OPENING) and just after it has closed (SLICE_BOX_CLOSED),
// so that the window's thread, the only one that can, notes the focus and
// gives it back.
#define WM_SLICE_BOX (WM_APP + 2)
enum { SLICE_BOX_CLOSED = 0, SLICE_BOX_OPENING = 1 };

// The slicer's main window: owner of every message box of a job. The window
// sets it when it is created; it does not change during a job.
extern HWND MainWindow;

// Runs one job and returns its result code once the worker has ended. The
// strings are copied. destination is a drive name such as "A:" when
// portionSize is 0 (removable-drive mode), else a folder path ending in a
// backslash; portionSize counts the header. Messages for MainWindow are
// dispatched while the job runs.
uint32_t RunSliceJob(const char *source, const char *destination, uint32_t portionSize);

// Shows the final message of code for a folder job refused before it starts,
// in the box the worker shows the job's own in (as RunSliceJob does for a
// worker that cannot start).
void ReportRefusedJob(int code, const char *source, const char *destination,
                      uint32_t portionSize);

// The worker thread's procedure: the whole job, its questions and its final
// message, asked and shown with message boxes owned by MainWindow. Its exit
// code is the job's result code.
unsigned __stdcall SliceWorker(void *unused);

#endif
