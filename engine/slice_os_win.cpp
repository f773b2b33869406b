// The slice job's Windows layer: the Win32 calls behind slice_os.h. Error
// numbers are GetLastError values.
#include "slice_os.h"

#include <windows.h>

#include "media.h"

static HANDLE AsHandle(SliceFile file)
{
    return (HANDLE)file;
}

static long LastError(void)
{
    long error = (long)GetLastError();

    return error ? error : 1;
}

long SliceOsAttributes(const char *path, uint32_t *attributes)
{
    DWORD found = GetFileAttributesA(path);

    if (found == INVALID_FILE_ATTRIBUTES)
        return LastError();
    *attributes = found;
    return 0;
}

long SliceOsOpenSource(const char *path, SliceFile *file)
{
    HANDLE opened = CreateFileA(path, GENERIC_READ, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                NULL);

    if (opened == INVALID_HANDLE_VALUE)
        return LastError();
    *file = (SliceFile)opened;
    return 0;
}

long SliceOsTimes(SliceFile file, FileTime *creation, FileTime *lastAccess, FileTime *lastWrite)
{
    FILETIME times[3];
    FileTime *out[3] = {creation, lastAccess, lastWrite};
    int i;

    if (!GetFileTime(AsHandle(file), &times[0], &times[1], &times[2]))
        return LastError();
    for (i = 0; i < 3; i++) {
        out[i]->LowDateTime = times[i].dwLowDateTime;
        out[i]->HighDateTime = times[i].dwHighDateTime;
    }
    return 0;
}

long SliceOsSize(SliceFile file, uint64_t *size)
{
    DWORD low, high = 0;

    // A size whose low word is 0xFFFFFFFF is a size like any other: only
    // the error number tells a failure, so it is cleared first.
    SetLastError(NO_ERROR);
    low = GetFileSize(AsHandle(file), &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR)
        return (long)GetLastError();
    *size = (uint64_t)high << 32 | low;
    return 0;
}

long SliceOsCreateNew(const char *path, SliceFile *file)
{
    HANDLE created = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                 NULL);

    if (created == INVALID_HANDLE_VALUE)
        return LastError();
    *file = (SliceFile)created;
    return 0;
}

long SliceOsRead(SliceFile file, void *buffer, uint32_t count, uint32_t *done)
{
    DWORD got = 0;

    if (!ReadFile(AsHandle(file), buffer, count, &got, NULL))
        return LastError();
    *done = got;
    return 0;
}

long SliceOsWrite(SliceFile file, const void *buffer, uint32_t count, uint32_t *done)
{
    DWORD written = 0;

    if (!WriteFile(AsHandle(file), buffer, count, &written, NULL))
        return LastError();
    *done = written;
    return 0;
}

long SliceOsFlush(SliceFile file)
{
    return FlushFileBuffers(AsHandle(file)) ? 0 : LastError();
}

long SliceOsClose(SliceFile file)
{
    return CloseHandle(AsHandle(file)) ? 0 : LastError();
}

long SliceOsDelete(const char *path)
{
    return DeleteFileA(path) ? 0 : LastError();
}

uint32_t SliceOsFreeBytes(const char *destination)
{
    return DiskFreeBytes(destination);
}

// A drive name, "A:", of a drive that takes removable disks.
int SliceOsIsRemovable(const char *destination)
{
    char root[4] = {destination[0], ':', '\\', '\0'};

    return destination[0] && destination[1] == ':' && destination[2] == '\0' &&
           GetDriveTypeA(root) == DRIVE_REMOVABLE;
}

void SliceOsLocalTime(SystemTime *now)
{
    SYSTEMTIME local;

    GetLocalTime(&local);
    now->Year = local.wYear;
    now->Month = local.wMonth;
    now->DayOfWeek = local.wDayOfWeek;
    now->Day = local.wDay;
    now->Hour = local.wHour;
    now->Minute = local.wMinute;
    now->Second = local.wSecond;
    now->Milliseconds = local.wMilliseconds;
}

// The joiner travels as the program's resource "QUORDEX" 101.
long SliceOsJoinerProgram(const void **data, uint32_t *size)
{
    HRSRC found = FindResourceExA(NULL, JOINER_RESOURCE_TYPE,
                                  MAKEINTRESOURCEA(JOINER_RESOURCE_ID), JOINER_RESOURCE_LANGUAGE);
    HGLOBAL loaded;
    long error;

    if (!found || !(loaded = LoadResource(NULL, found)) || !(*data = LockResource(loaded))) {
        error = (long)GetLastError();
        return error ? error : (long)ERROR_RESOURCE_DATA_NOT_FOUND;
    }
    *size = SizeofResource(NULL, found);
    return 0;
}
