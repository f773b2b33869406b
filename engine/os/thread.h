// A second thread beside the program's own: the platform layer's thread
// service (thread_win.cpp, thread_posix.cpp). The copies use it to take a
// checksum on one processor while the other moves the bytes; each caller
// has its own way on where no thread can be started (it does the work
// itself).
#ifndef DORVANE_OS_THREAD_H
#define DORVANE_OS_THREAD_H

#include "os.h"

struct OsThread;    // a running thread
struct OsSemaphore; // a count two threads share

// OsStartThread: runs run(context) on a new thread. Returns it, or NULL
// when no thread can be started. On POSIX the new thread never takes the
// signals that end the program (SIGINT, SIGQUIT, SIGTERM, SIGHUP): they go
// to the thread that started it, which may be waiting for a key.
OsThread *OsStartThread(void (*run)(void *context), void *context);

// OsJoinThread: waits until thread's run has returned, and frees it.
void OsJoinThread(OsThread *thread);

// OsMakeSemaphore: a count starting at initial; NULL without memory or
// where the system refuses one.
OsSemaphore *OsMakeSemaphore(unsigned initial);

// OsPost: adds one to the count, waking a thread that waits on it.
void OsPost(OsSemaphore *semaphore);

// OsWaitFor: waits until the count is above 0, then takes one off it.
void OsWaitFor(OsSemaphore *semaphore);

// OsFreeSemaphore: frees a semaphore no thread waits on (NULL: nothing).
void OsFreeSemaphore(OsSemaphore *semaphore);

#endif
