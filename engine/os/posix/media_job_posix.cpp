// What the slice job asks of a destination on Linux (media.h): whether it is
// a removable mount point, and its free bytes.
#include "os/media.h"

#include <sys/statvfs.h>

// A mount point is a drive like any path that leads to one.
int OsIsRemovableDrive(const char *destination)
{
    return OsIsRemovable(destination);
}

uint32_t OsFreeBytes(const char *destination)
{
    struct statvfs info;
    uint64_t bytes;

    if (statvfs(destination, &info) != 0)
        return 0;
    bytes = (uint64_t)info.f_bavail * info.f_frsize;
    return bytes > UINT32_MAX ? UINT32_MAX : (uint32_t)bytes;
}

uint32_t OsAllocationUnit(const char *destination)
{
    struct statvfs info;

    if (statvfs(destination, &info) != 0 || info.f_frsize == 0 || info.f_frsize > UINT32_MAX)
        return 1;
    return (uint32_t)info.f_frsize;
}
