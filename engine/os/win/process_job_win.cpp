// What the slice job asks of the process on Win32 (process.h): the local time
// its headers record, the joiner it carries as its resource "QUORDEX" 101,
// the window's own folder and the machine's memory (for recovery data).
#include "os/process.h"
#include "utf16_win.h"

#include <windows.h>

#include <stdlib.h>

void OsLocalTime(SystemTime *now)
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

long OsJoinerProgram(const void **data, uint32_t *size)
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

long OsFindProgramFolder(const char *name, char *folder, size_t size)
{
    wchar_t *wideName = ToUtf16(name, -1, NULL);
    wchar_t found[MAX_PATH];
    wchar_t *namePart = NULL;
    DWORD length;
    long error = 0;

    if (!wideName)
        return OS_NO_MEMORY;
    length = SearchPathW(NULL, wideName, NULL, MAX_PATH, found, &namePart);
    free(wideName);
    if (length == 0) {
        error = (long)GetLastError();
        return error ? error : (long)OS_FILE_NOT_FOUND;
    }
    if (length >= MAX_PATH)
        return OS_BUFFER_TOO_SMALL;
    if (!namePart)
        return OS_FILE_NOT_FOUND; // a folder, not a file, of that name
    *namePart = 0;
    return FromUtf16(found, folder, size) ? 0 : (long)OS_BUFFER_TOO_SMALL;
}

uint64_t OsPhysicalMemory(void)
{
    MEMORYSTATUSEX status;

    status.dwLength = sizeof status;
    return GlobalMemoryStatusEx(&status) ? status.ullTotalPhys : 0;
}
