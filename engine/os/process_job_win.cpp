// What the slice job asks of the process on Win32 (process.h): the local time
// its headers record, the joiner it carries as its resource "QUORDEX" 101,
// and the window's own folder.
#include "process.h"

#include <windows.h>

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
    char *namePart = NULL;
    DWORD length = SearchPathA(NULL, name, NULL, (DWORD)size, folder, &namePart);
    long error;

    if (length == 0) {
        error = (long)GetLastError();
        return error ? error : (long)OS_FILE_NOT_FOUND;
    }
    if (length >= size)
        return OS_BUFFER_TOO_SMALL;
    if (!namePart)
        return OS_FILE_NOT_FOUND; // a folder, not a file, of that name
    *namePart = '\0';
    return 0;
}
