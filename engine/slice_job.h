// A slice job: one source file cut into a slice set, into a folder in
// portions of a given size or onto a removable drive, disk after disk. The
// work runs on its own thread; the window's thread keeps the window alive
// meanwhile and gets the job's result code when it ends.
#ifndef DORVANE_SLICE_JOB_H
#define DORVANE_SLICE_JOB_H

#include <windows.h>

#include <stdint.h>

// Result codes: the worker thread's exit code. Failures are numbered by the
// place where they happen, counting down from 254 in the order of the work.
enum SliceResult {
    SLICE_COMPLETE = 0,           // every portion was written
    SLICE_NO_THREAD = 238,        // the worker thread could not start
    SLICE_TOO_MANY_DISKS = 239,   // removable drive: a 101st disk would be needed
    SLICE_CLOSE_FAILED = 240,     // flushing or closing a portion failed
    SLICE_WRITE_FAILED = 241,     // writing a portion failed or fell short
    SLICE_READ_FAILED = 242,      // reading the source failed or fell short
    SLICE_TOO_MANY_PORTIONS = 243,// folder: the portion size needs over 100 portions
    SLICE_UNNUMBERABLE_NAME = 244,// the source's name is too short (or long) to number
    SLICE_SOURCE_TOO_LARGE = 245, // the source has 4 GiB or more
    SLICE_CANCELLED = 246,        // Cancel at the overwrite question
    SLICE_ABORTED = 247,          // Abort at a "not ready" or open-error message
    SLICE_NO_BUFFER = 248,        // the transfer buffer could not be allocated
    SLICE_NOT_REMOVABLE = 249,    // removable-drive mode on a drive that is not
    SLICE_NO_PATH_BUFFER = 250,   // the portion path could not be allocated
    SLICE_NO_SIZE = 251,          // reading the source's size failed
    SLICE_NO_TIMES = 252,         // reading the source's file times failed
    SLICE_NO_SOURCE = 253,        // opening the source failed
    SLICE_NO_ATTRIBUTES = 254     // reading the source's attributes failed
};

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

// The slicer's main window: owner of every message box of a job. The window
// sets it when it is created; it does not change during a job.
extern HWND MainWindow;

// Runs one job and returns its result code once the worker has ended. The
// strings are copied. destination is a drive name such as "A:" when
// portionSize is 0 (removable-drive mode), else a folder path ending in a
// backslash; portionSize counts the header. Messages for MainWindow are
// dispatched while the job runs.
uint32_t RunSliceJob(const char *source, const char *destination, uint32_t portionSize);

// The worker thread's procedure: the whole job, its questions and its final
// message. Its exit code is the job's result code.
unsigned __stdcall SliceWorker(void *unused);

#endif
