// The process service on Win32 (process.h): the thread's priority and the
// current folder. The slice job's part is in process_job_win.cpp, apart, so
// that the joiner, which links this library, carries none of it.
#include "process.h"
#include "utf16_win.h"

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

// A program that does not declare itself aware of long paths has a current
// folder of fewer than MAX_PATH units; in UTF-8 it can take three times the
// bytes.
long OsCurrentFolder(char *buffer, size_t size)
{
    wchar_t wide[MAX_PATH];
    DWORD length = GetCurrentDirectoryW(MAX_PATH, wide);

    if (length == 0) {
        long error = (long)GetLastError();
        return error ? error : 1;
    }
    if (length >= MAX_PATH || !FromUtf16(wide, buffer, size))
        return OS_BUFFER_TOO_SMALL;
    return 0;
}

long OsSetCurrentFolder(const char *path)
{
    wchar_t *wide = ToUtf16(path, -1, NULL);
    long error = 0;

    if (!wide)
        return OS_NO_MEMORY;
    if (!SetCurrentDirectoryW(wide)) {
        error = (long)GetLastError();
        if (!error)
            error = 1;
    }
    free(wide);
    return error;
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
