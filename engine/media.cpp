#include "media.h"

#include <windows.h>

#include "slice_arith.h"
#include "slice_engine.h"

uint32_t DiskFreeBytes(const char *drive)
{
    DWORD sectorsPerCluster, bytesPerSector, freeClusters, totalClusters;

    if (!GetDiskFreeSpaceA(drive, &sectorsPerCluster, &bytesPerSector, &freeClusters,
                           &totalClusters))
        return 0;
    return FreeBytesFromClusters(sectorsPerCluster, bytesPerSector, freeClusters);
}

long WriteJoinerProgram(const char *folder)
{
    return WriteJoinerFile(folder, NULL);
}
