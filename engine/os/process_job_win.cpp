// What the slice job asks of the process on Win32 (process.h): the local time
// its headers record, and the joiner it carries as its resource "QUORDEX" 101.
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
