// The thread service on POSIX (thread.h): POSIX threads and unnamed
// semaphores.
#include "os/thread.h"

#include <errno.h>
#include <pthread.h>
#include <semaphore.h>
#include <stdlib.h>

struct OsThread {
    pthread_t Thread;
    void (*Run)(void *context);
    void *Context;
};

struct OsSemaphore {
    sem_t Count;
};

static void *Start(void *argument)
{
    OsThread *thread = (OsThread *)argument;

    thread->Run(thread->Context);
    return NULL;
}

OsThread *OsStartThread(void (*run)(void *context), void *context)
{
    OsThread *thread = (OsThread *)malloc(sizeof *thread);

    if (!thread)
        return NULL;
    thread->Run = run;
    thread->Context = context;
    if (pthread_create(&thread->Thread, NULL, Start, thread) != 0) {
        free(thread);
        return NULL;
    }
    return thread;
}

void OsJoinThread(OsThread *thread)
{
    pthread_join(thread->Thread, NULL);
    free(thread);
}

OsSemaphore *OsMakeSemaphore(unsigned initial)
{
    OsSemaphore *semaphore = (OsSemaphore *)malloc(sizeof *semaphore);

    if (semaphore && sem_init(&semaphore->Count, 0, initial) != 0) {
        free(semaphore);
        return NULL;
    }
    return semaphore;
}

void OsPost(OsSemaphore *semaphore)
{
    sem_post(&semaphore->Count);
}

void OsWaitFor(OsSemaphore *semaphore)
{
    // A signal caught meanwhile (Ctrl+C is recorded, not fatal) only
    // interrupts the wait.
    while (sem_wait(&semaphore->Count) != 0 && errno == EINTR) {
    }
}

void OsFreeSemaphore(OsSemaphore *semaphore)
{
    if (!semaphore)
        return;
    sem_destroy(&semaphore->Count);
    free(semaphore);
}
