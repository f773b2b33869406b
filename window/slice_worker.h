// A slice job: one source file cut into a slice set, into a folder in
// portions of a given size or onto a removable drive, disk after disk. The
// work runs on its own thread; the window's thread keeps the window alive
// meanwhile and gets the job's result code when it ends.
#ifndef DORVANE_SLICE_WORKER_H
#define DORVANE_SLICE_WORKER_H

#include <windows.h>

#include <stdint.h>

#include "slice/slice_job.h"

// The result codes are the portable job's (slice_job.h), and
// SLICE_RECOVERY_FAILED (recovery_job.h) for a set whose recovery data could
// not be written.

// A message box taking its texts in UTF-8, as the program holds them.
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
    MessageBoxFunction ShowMessage; // Utf8MessageBox
    ThreadStartFunction StartThread; // _beginthreadex
};

extern SliceJobHooks JobHooks;

// The program's message box: text and title turned from UTF-8 into UTF-16
// and shown by MessageBoxW, so that names outside the ANSI code page are
// shown whole. Answers as MessageBoxW does.
int WINAPI Utf8MessageBox(HWND owner, LPCSTR text, LPCSTR title, UINT style);

// The creator text the recovery data records: the program and its version,
// as the Linux dorvane records it.
extern const char RecoveryCreator[];

// Posted to MainWindow by the worker whenever the share of its step done so
// far grows by a percent: wParam holds it (0 to 100), lParam the step.
#define WM_SLICE_PROGRESS (WM_APP + 1)
enum {
    SLICE_STEP_PORTIONS = 0, // the source written into portions
    SLICE_STEP_RECOVERY = 1  // the set read again for its recovery data
};

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
// backslash; portionSize counts the header. recoveryBlocks other than 0 asks
// for recovery data after a complete set, as the Linux dorvane writes it:
// that many blocks beside a folder set (1 to 10), one block on one more disk
// after a set on a removable drive. Messages for MainWindow are dispatched
// while the job runs.
uint32_t RunSliceJob(const char *source, const char *destination, uint32_t portionSize,
                     unsigned recoveryBlocks = 0);

// What the last job's recovery step had to say once its data was written
// (which files, what they rebuild; on disks, where the block went): the
// engine's lines, for the result box. Empty when it said nothing. Valid
// until the next job starts.
const char *JobRecoveryReport(void);

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
