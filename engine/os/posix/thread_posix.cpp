// The thread service on POSIX (thread.h): POSIX threads and unnamed
// semaphores.
#include "os/thread.h"

#include <errno.h>
#include <pthread.h>
#include <semaphore.h>
#include <signal.h>
#include <stdlib.h>

// The signals a person or the system sends to end the program (Ctrl+C,
// Ctrl+\, kill, a hang-up): the thread that waits for a key blocks them
// until its wait begins and counts on being woken by them (console_posix.cpp).
// A thread started here blocks them for good, so that one sent while that
// wait is being set up stays pending for it instead of going to this thread.
static const int ProgramSignals[] = {SIGINT, SIGQUIT, SIGTERM, SIGHUP};

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
    sigset_t blocked, previous;
    size_t i;
    int started;

    if (!thread)
        return NULL;
    thread->Run = run;
    thread->Context = context;
    // The new thread starts with the caller's mask, these signals added.
    sigemptyset(&blocked);
    for (i = 0; i < sizeof ProgramSignals / sizeof ProgramSignals[0]; i++)
        sigaddset(&blocked, ProgramSignals[i]);
    pthread_sigmask(SIG_BLOCK, &blocked, &previous);
    started = pthread_create(&thread->Thread, NULL, Start, thread) == 0;
    pthread_sigmask(SIG_SETMASK, &previous, NULL);
    if (!started) {
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
