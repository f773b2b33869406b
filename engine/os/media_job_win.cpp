// What the slice job asks of a destination drive on Win32 (media.h): whether
// it is one to fill disk by disk, and its free clusters.
#include "media.h"

#include <windows.h>

// Only a bare drive name, "A:", names a drive the slicer fills disk by disk.
int OsIsRemovableDrive(const char *destination)
{
    char root[4] = {destination[0], ':', '\\', '\0'};

    return destination[0] && destination[1] == ':' && destination[2] == '\0' &&
           OsIsRemovable(root);
}

uint32_t OsFreeBytes(const char *destination)
{
    DWORD sectorsPerCluster, bytesPerSector, freeClusters, totalClusters;

    if (!GetDiskFreeSpaceA(destination, &sectorsPerCluster, &bytesPerSector, &freeClusters,
                           &totalClusters))
        return 0;
    return FreeBytesFromClusters(sectorsPerCluster, bytesPerSector, freeClusters);
}

uint32_t OsAllocationUnit(const char *destination)
{
    DWORD sectorsPerCluster, bytesPerSector, freeClusters, totalClusters;
    uint64_t unit;

    if (!GetDiskFreeSpaceA(destination, &sectorsPerCluster, &bytesPerSector, &freeClusters,
                           &totalClusters))
        return 1;
    unit = (uint64_t)sectorsPerCluster * bytesPerSector;
    return unit == 0 || unit > UINT32_MAX ? 1 : (uint32_t)unit;
}
