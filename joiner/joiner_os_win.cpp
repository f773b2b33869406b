// The joiner's operating-system layer for Windows.
#include <windows.h>

#include <stdlib.h>
#include <string.h>

#include "joiner_os.h"

static HANDLE AsHandle(OsFile file)
{
    return (HANDLE)file;
}

static long LastError(void)
{
    long error = (long)GetLastError();
    return error ? error : 1;
}

int OsIsRemovable(const char *path)
{
    return GetDriveTypeA(path) == DRIVE_REMOVABLE;
}

void OsDriveName(const char *source, char *name, size_t size)
{
    // The drive letter and colon of a root path such as A:\.
    size_t length = !source[0] ? 0 : !source[1] ? 1 : 2;

    if (length >= size)
        length = size - 1;
    memcpy(name, source, length);
    name[length] = 0;
}

long OsQueryPath(const char *path, int *isFolder)
{
    DWORD attributes = GetFileAttributesA(path);

    if (attributes == INVALID_FILE_ATTRIBUTES)
        return LastError();
    if (isFolder)
        *isFolder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    return 0;
}

long OsFindFirst(const char *pattern, char *name, size_t size)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    size_t length;

    if (search == INVALID_HANDLE_VALUE)
        return LastError();
    FindClose(search);
    length = strlen(found.cFileName);
    if (length >= size)
        return ERROR_BUFFER_OVERFLOW;
    memcpy(name, found.cFileName, length + 1);
    return 0;
}

static long OpenFile(const char *path, DWORD access, DWORD disposition, OsFile *file)
{
    HANDLE handle = CreateFileA(path, access, 0, NULL, disposition, FILE_ATTRIBUTE_NORMAL, NULL);

    if (handle == INVALID_HANDLE_VALUE)
        return LastError();
    *file = (OsFile)handle;
    return 0;
}

long OsOpenRead(const char *path, OsFile *file)
{
    return OpenFile(path, GENERIC_READ, OPEN_EXISTING, file);
}

long OsCreateNew(const char *path, OsFile *file)
{
    return OpenFile(path, GENERIC_WRITE, CREATE_NEW, file);
}

int OsSameEntry(const char *a, const char *b)
{
    char first[MAX_PATH], second[MAX_PATH];
    DWORD firstLength = GetFullPathNameA(a, sizeof first, first, NULL);
    DWORD secondLength = GetFullPathNameA(b, sizeof second, second, NULL);

    // File names are compared without regard to case, as the file system does.
    return firstLength && firstLength < sizeof first && secondLength &&
           secondLength < sizeof second && lstrcmpiA(first, second) == 0 &&
           GetFileAttributesA(a) != INVALID_FILE_ATTRIBUTES;
}

long OsFileSize(OsFile file, uint64_t *size)
{
    DWORD high = 0;
    DWORD low = GetFileSize(AsHandle(file), &high);

    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR)
        return LastError();
    *size = ((uint64_t)high << 32) | low;
    return 0;
}

long OsRead(OsFile file, void *buffer, uint32_t count, uint32_t *done)
{
    DWORD got = 0;

    if (!ReadFile(AsHandle(file), buffer, count, &got, NULL))
        return LastError();
    *done = got;
    return 0;
}

long OsWrite(OsFile file, const void *buffer, uint32_t count, uint32_t *done)
{
    DWORD put = 0;

    if (!WriteFile(AsHandle(file), buffer, count, &put, NULL))
        return LastError();
    *done = put;
    return 0;
}

long OsCopyData(OsFile, OsFile, uint32_t, uint32_t *)
{
    return OS_NO_KERNEL_COPY;
}

long OsFlush(OsFile file)
{
    return FlushFileBuffers(AsHandle(file)) ? 0 : LastError();
}

long OsClose(OsFile file)
{
    return CloseHandle(AsHandle(file)) ? 0 : LastError();
}

long OsDelete(const char *path)
{
    return DeleteFileA(path) ? 0 : LastError();
}

static FILETIME ToFiletime(const FileTime *t)
{
    FILETIME f;

    f.dwLowDateTime = t->LowDateTime;
    f.dwHighDateTime = t->HighDateTime;
    return f;
}

long OsSetTimes(OsFile file, const FileTime *creation, const FileTime *lastAccess,
                const FileTime *lastWrite)
{
    FILETIME c = ToFiletime(creation), a = ToFiletime(lastAccess), w = ToFiletime(lastWrite);

    return SetFileTime(AsHandle(file), &c, &a, &w) ? 0 : LastError();
}

long OsSetAttributes(const char *path, uint32_t attributes)
{
    return SetFileAttributesA(path, attributes) ? 0 : LastError();
}

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

// Keys that only change what another key means; pressed alone they are not
// an answer to a prompt.
static int IsModifierKey(WORD key)
{
    static const WORD Modifiers[] = {VK_SHIFT, VK_CONTROL, VK_MENU,  VK_CAPITAL,
                                     VK_NUMLOCK, VK_SCROLL, VK_LWIN, VK_RWIN};
    size_t i;

    for (i = 0; i < sizeof Modifiers / sizeof Modifiers[0]; i++)
        if (Modifiers[i] == key)
            return 1;
    return 0;
}

int OsReadKey(void)
{
    HANDLE input = CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    DWORD mode = 0, count = 0;
    INPUT_RECORD record;
    int key = -1;

    if (input == INVALID_HANDLE_VALUE)
        return -1;
    if (!GetConsoleMode(input, &mode)) {
        CloseHandle(input);
        return -1;
    }
    // No line editing and no echo; Ctrl+C still ends the program.
    SetConsoleMode(input, ENABLE_PROCESSED_INPUT);
    while (ReadConsoleInputA(input, &record, 1, &count) && count == 1) {
        if (record.EventType != KEY_EVENT || !record.Event.KeyEvent.bKeyDown)
            continue;
        if (record.Event.KeyEvent.uChar.AsciiChar) {
            key = (unsigned char)record.Event.KeyEvent.uChar.AsciiChar;
            break;
        }
        if (!IsModifierKey(record.Event.KeyEvent.wVirtualKeyCode)) {
            key = 0; // an extended key: one event carries both of its codes
            break;
        }
    }
    SetConsoleMode(input, mode);
    CloseHandle(input);
    return key;
}

long OsCurrentFolder(char *buffer, size_t size)
{
    DWORD length = GetCurrentDirectoryA((DWORD)size, buffer);

    if (length == 0)
        return LastError();
    if (length >= size)
        return ERROR_BUFFER_OVERFLOW;
    return 0;
}

long OsLastingPath(const char *path, char **lasting)
{
    // A drive's current folder holds no disk: the path stays as it is.
    size_t size = strlen(path) + 1;

    *lasting = (char *)malloc(size);
    if (!*lasting)
        return ERROR_NOT_ENOUGH_MEMORY;
    memcpy(*lasting, path, size);
    return 0;
}

void OsLeaveCurrentFolder(void)
{
}
