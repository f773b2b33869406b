// The process service on Win32 (process.h): the thread's priority, the
// current folder and the command line. The slice job's part is in process_job_win.cpp, apart, so
// that the joiner, which links this library, carries none of it.
#include "os/process.h"
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

// The C runtime's own reading of the wide command line (the rules a C
// program's arguments follow), kept by the runtime. Taken from it rather
// than from the shell's CommandLineToArgvW: a program that imports the
// shell's library loads it, and what it needs, at every start (some 40 ms
// under Wine, a tenth of a 1 GiB join there).
extern "C" int __wgetmainargs(int *count, wchar_t ***arguments, wchar_t ***environment,
                              int expandWildcards, int *startInfo);

long OsCommandArguments(int, char **, int *count, char ***arguments)
{
    int n, i, newMode = 0;
    size_t room = 0, made;
    wchar_t **wide = NULL, **environment = NULL;
    char **list, *text;

    if (__wgetmainargs(&n, &wide, &environment, 0, &newMode) < 0 || !wide)
        return OS_NO_MEMORY;
    // Three bytes of UTF-8 at most for each unit, as FromUtf16 needs.
    for (i = 0; i < n; i++)
        room += 3 * wcslen(wide[i]) + 1;
    list = (char **)malloc((size_t)(n + 1) * sizeof *list + room);
    if (!list)
        return OS_NO_MEMORY;
    text = (char *)(list + n + 1);
    for (i = 0; i < n; i++) {
        list[i] = text;
        made = FromUtf16(wide[i], text, 3 * wcslen(wide[i]) + 1);
        text += made ? made : 1;
    }
    list[n] = NULL;
    *count = n;
    *arguments = list;
    return 0;
}
