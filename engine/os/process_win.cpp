// The process service on Win32 (process.h): the thread's priority and the
// current folder. The slice job's part is in process_job_win.cpp, apart, so
// that the joiner, which links this library, carries none of it.
#include "process.h"

#include <windows.h>

#include <stdlib.h>
#include <string.h>

int OsLowerPriority(void)
{
    HANDLE thread = GetCurrentThread();
    int priority = GetThreadPriority(thread);

    SetThreadPriority(thread, THREAD_PRIORITY_LOWEST);
    return priority;
}

void OsRestorePriority(int priority)
{
    SetThreadPriority(GetCurrentThread(), priority);
}

long OsCurrentFolder(char *buffer, size_t size)
{
    DWORD length = GetCurrentDirectoryA((DWORD)size, buffer);

    if (length == 0) {
        long error = (long)GetLastError();
        return error ? error : 1;
    }
    if (length >= size)
        return OS_BUFFER_TOO_SMALL;
    return 0;
}

long OsSetCurrentFolder(const char *path)
{
    if (SetCurrentDirectoryA(path))
        return 0;
    long error = (long)GetLastError();
    return error ? error : 1;
}

long OsLastingPath(const char *path, char **lasting)
{
    // A drive's current folder holds no disk: the path stays as it is.
    size_t size = strlen(path) + 1;

    *lasting = (char *)malloc(size);
    if (!*lasting)
        return OS_NO_MEMORY;
    memcpy(*lasting, path, size);
    return 0;
}

void OsLeaveCurrentFolder(void)
{
}
