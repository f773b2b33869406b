// The process service on Linux and other POSIX systems (process.h): the nice
// value, the current folder, the command line and the clock of the progress
// lines. The slice job's part is in process_job_posix.cpp, apart, so that
// the joiner, which carries no joiner of its own, links without it.
#include "os/process.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

enum { LOWEST_PRIORITY = 19 }; // the nice value of the copy

// The copy runs at the lowest priority. Only a privileged process may take
// the old one back, so for others the rest of the run (prompts, which wait
// on the user anyway) stays at the lowest too. A test build (OS_TEST_HOOKS)
// keeps its priority when KEEP_PRIORITY (after the program's prefix) is 1:
// the fuzz targets join thousands of sets, and on a busy machine a copy at
// the lowest priority would make their run crawl.
int OsLowerPriority(void)
{
    int priority;

    errno = 0;
    priority = getpriority(PRIO_PROCESS, 0);
    if (errno)
        priority = 0;
#ifdef OS_TEST_HOOKS
    const char *keep = getenv(OS_TEST_HOOKS "KEEP_PRIORITY");
    if (keep && strcmp(keep, "1") == 0)
        return priority;
#endif
    setpriority(PRIO_PROCESS, 0, LOWEST_PRIORITY);
    return priority;
}

void OsRestorePriority(int priority)
{
    setpriority(PRIO_PROCESS, 0, priority);
}

long OsCurrentFolder(char *buffer, size_t size)
{
    return getcwd(buffer, size) ? 0 : errno ? errno : 1;
}

long OsSetCurrentFolder(const char *path)
{
    return chdir(path) == 0 ? 0 : errno ? errno : 1;
}

long OsLastingPath(const char *path, char **lasting)
{
    char *folder;
    size_t folderLength;

    if (path[0] == '/') {
        *lasting = strdup(path);
        return *lasting ? 0 : ENOMEM;
    }
    folder = getcwd(NULL, 0);
    if (!folder)
        return errno ? errno : 1;
    folderLength = strlen(folder);
    *lasting = (char *)malloc(folderLength + 1 + strlen(path) + 1);
    if (*lasting)
        sprintf(*lasting, "%s%s%s", folder, folder[folderLength - 1] == '/' ? "" : "/", path);
    free(folder);
    return *lasting ? 0 : ENOMEM;
}

// A process whose current folder lies in a mounted file system keeps it
// busy: the next disk could not be mounted in its place.
void OsLeaveCurrentFolder(void)
{
    if (chdir("/") != 0) {
        // The run goes on where it is: only the disk stays busy.
    }
}

long OsCommandArguments(int argc, char **argv, int *count, char ***arguments)
{
    *count = argc;
    *arguments = argv;
    return 0;
}

int64_t OsMonotonicTime(void)
{
    enum { NS_PER_SECOND = 1000000000 };
    struct timespec clock;

    clock_gettime(CLOCK_MONOTONIC, &clock);
    return (int64_t)clock.tv_sec * NS_PER_SECOND + clock.tv_nsec;
}
