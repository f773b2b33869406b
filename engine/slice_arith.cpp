#include "slice_arith.h"

#include "slice_format.h"

uint32_t FreeBytesFromClusters(uint32_t sectorsPerCluster, uint32_t bytesPerSector,
                               uint32_t freeClusters)
{
    uint64_t bytes = (uint64_t)sectorsPerCluster * bytesPerSector;

    // Two factors of up to 2^32 each can overflow 64 bits too: check first.
    if (bytes && freeClusters > UINT64_MAX / bytes)
        return UINT32_MAX;
    bytes *= freeClusters;
    return bytes > UINT32_MAX ? UINT32_MAX : (uint32_t)bytes;
}

uint32_t PortionsNeeded(uint64_t sourceSize, uint32_t portionSize)
{
    uint64_t room, count;

    if (sourceSize == 0)
        return 0;
    if (portionSize <= PORTION_HEADER_SIZE)
        return UINT32_MAX;
    room = portionSize - PORTION_HEADER_SIZE;
    count = sourceSize / room + (sourceSize % room != 0);
    return count > UINT32_MAX ? UINT32_MAX : (uint32_t)count;
}
