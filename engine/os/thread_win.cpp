// The thread service on Win32 (thread.h): CreateThread and semaphores. No
// C runtime state is touched on the second thread (it only computes), so
// CreateThread serves where _beginthreadex is not linked.
#include "thread.h"

#include <windows.h>

#include <stdlib.h>

struct OsThread {
    HANDLE Handle;
    void (*Run)(void *context);
    void *Context;
};

struct OsSemaphore {
    HANDLE Handle;
};

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
    semaphore->Handle = CreateSemaphoreW(NULL, (LONG)initial, 0x7FFFFFFF, NULL);
    if (!semaphore->Handle) {
        free(semaphore);
        return NULL;
    }
    return semaphore;
}

void OsPost(OsSemaphore *semaphore)
{
    ReleaseSemaphore(semaphore->Handle, 1, NULL);
}

void OsWaitFor(OsSemaphore *semaphore)
{
    WaitForSingleObject(semaphore->Handle, INFINITE);
}

void OsFreeSemaphore(OsSemaphore *semaphore)
{
    if (!semaphore)
        return;
    CloseHandle(semaphore->Handle);
    free(semaphore);
}
