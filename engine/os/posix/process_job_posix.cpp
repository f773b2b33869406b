// What the slice job asks of the process on Linux (process.h): the local time
// its headers record, the KELMORIX.EXE it carries as the array the build
// made of it (embedded_joiner.h), which the program links in, and the
// memory size that bounds the Linux dorvane's recovery data.
#include "os/process.h"

#include <time.h>
#include <unistd.h>

#include "os/embedded_joiner.h"

void OsLocalTime(SystemTime *now)
{
    struct timespec clock;
    struct tm local;

    clock_gettime(CLOCK_REALTIME, &clock);
    localtime_r(&clock.tv_sec, &local);
    now->Year = (uint16_t)(local.tm_year + 1900);
    now->Month = (uint16_t)(local.tm_mon + 1);
    now->DayOfWeek = (uint16_t)local.tm_wday;
    now->Day = (uint16_t)local.tm_mday;
    now->Hour = (uint16_t)local.tm_hour;
    now->Minute = (uint16_t)local.tm_min;
    now->Second = (uint16_t)local.tm_sec;
    now->Milliseconds = (uint16_t)(clock.tv_nsec / 1000000);
}

long OsJoinerProgram(const void **data, uint32_t *size)
{
    *data = EmbeddedJoiner;
    *size = EmbeddedJoinerSize;
    return 0;
}

uint64_t OsPhysicalMemory(void)
{
    long pages = sysconf(_SC_PHYS_PAGES), pageSize = sysconf(_SC_PAGE_SIZE);

    return pages > 0 && pageSize > 0 ? (uint64_t)pages * (uint64_t)pageSize : 0;
}
