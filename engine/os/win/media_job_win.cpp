// What the slice job asks of a destination drive on Win32 (media.h): whether
// it is one to fill disk by disk, and its free clusters.
#include "os/media.h"
#include "utf16_win.h"

#include <windows.h>

#include <stdlib.h>

enum { SECTORS_PER_CLUSTER, BYTES_PER_SECTOR, FREE_CLUSTERS, TOTAL_CLUSTERS, SPACE_FIGURES };

// The drive's figures where destination writes, into space[SPACE_FIGURES];
// 0 when they cannot be asked.
static int DiskSpace(const char *destination, DWORD space[SPACE_FIGURES])
{
    wchar_t *wide = ToUtf16(destination, -1, NULL);
    int asked = wide && GetDiskFreeSpaceW(wide, &space[SECTORS_PER_CLUSTER],
                                          &space[BYTES_PER_SECTOR], &space[FREE_CLUSTERS],
                                          &space[TOTAL_CLUSTERS]);

    free(wide);
    return asked;
}

// Only a bare drive name, "A:", names a drive the slicer fills disk by disk.
int OsIsRemovableDrive(const char *destination)
{
    char root[4] = {destination[0], ':', '\\', '\0'};

    return destination[0] && destination[1] == ':' && destination[2] == '\0' &&
           OsIsRemovable(root);
}

uint32_t OsFreeBytes(const char *destination)
{
    DWORD space[SPACE_FIGURES];

    if (!DiskSpace(destination, space))
        return 0;
    return FreeBytesFromClusters(space[SECTORS_PER_CLUSTER], space[BYTES_PER_SECTOR],
                                 space[FREE_CLUSTERS]);
}

uint32_t OsAllocationUnit(const char *destination)
{
    DWORD space[SPACE_FIGURES];
    uint64_t unit;

    if (!DiskSpace(destination, space))
        return 1;
    unit = (uint64_t)space[SECTORS_PER_CLUSTER] * space[BYTES_PER_SECTOR];
    return unit == 0 || unit > UINT32_MAX ? 1 : (uint32_t)unit;
}
