// The thread service on Win32 (thread.h): CreateThread and semaphores. No
// C runtime state is touched on the second thread (it only computes), so
// CreateThread serves where _beginthreadex is not linked.
//
// A semaphore is a count kept in memory beside a system semaphore that
// only a thread with nothing to take sleeps on: the count says how many
// waits may go on (below 0: how many threads sleep). A wait first watches
// the count for a moment, yielding the processor, since the other thread
// of a copy hands on its next block within some tens of microseconds;
// every call on the system's object costs far more than that on some
// systems (a round trip to a server process under Wine).
#include "os/thread.h"

#include <windows.h>

#include <stdlib.h>

struct OsThread {
    HANDLE Handle;
    void (*Run)(void *context);
    void *Context;
};

struct OsSemaphore {
    volatile LONG Count; // waits that may go on; below 0, threads asleep
    HANDLE Handle;       // where they sleep
};

// How often a wait looks at the count before it sleeps.
enum { WAIT_SPINS = 2000 };

static DWORD WINAPI Start(LPVOID argument)
{
    OsThread *thread = (OsThread *)argument;

    thread->Run(thread->Context);
    return 0;
}

OsThread *OsStartThread(void (*run)(void *context), void *context)
{
    OsThread *thread = (OsThread *)malloc(sizeof *thread);

    if (!thread)
        return NULL;
    thread->Run = run;
    thread->Context = context;
    thread->Handle = CreateThread(NULL, 0, Start, thread, 0, NULL);
    if (!thread->Handle) {
        free(thread);
        return NULL;
    }
    return thread;
}

void OsJoinThread(OsThread *thread)
{
    WaitForSingleObject(thread->Handle, INFINITE);
    CloseHandle(thread->Handle);
    free(thread);
}

OsSemaphore *OsMakeSemaphore(unsigned initial)
{
    OsSemaphore *semaphore = (OsSemaphore *)malloc(sizeof *semaphore);

    if (!semaphore)
        return NULL;
    semaphore->Count = (LONG)initial;
    semaphore->Handle = CreateSemaphoreW(NULL, 0, 0x7FFFFFFF, NULL);
    if (!semaphore->Handle) {
        free(semaphore);
        return NULL;
    }
    return semaphore;
}

void OsPost(OsSemaphore *semaphore)
{
    if (InterlockedIncrement(&semaphore->Count) <= 0)
        ReleaseSemaphore(semaphore->Handle, 1, NULL);
}

void OsWaitFor(OsSemaphore *semaphore)
{
    LONG count;
    int i;

    for (i = 0; i < WAIT_SPINS; i++) {
        count = semaphore->Count;
        if (count > 0 && InterlockedCompareExchange(&semaphore->Count, count - 1, count) == count)
            return;
        SwitchToThread();
    }
    if (InterlockedDecrement(&semaphore->Count) < 0)
        WaitForSingleObject(semaphore->Handle, INFINITE);
}

void OsFreeSemaphore(OsSemaphore *semaphore)
{
    if (!semaphore)
        return;
    CloseHandle(semaphore->Handle);
    free(semaphore);
}
