// The slice job's figures (slice_arith.h).
#include "slice_arith.h"

#include "format/slice_format.h"

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

// The bytes a file of size bytes takes on a disk: whole units.
static uint64_t OnDisk(uint64_t size, uint32_t unit)
{
    return (size + unit - 1) / unit * unit;
}

int DiskShare(uint32_t freeBytes, uint32_t unit, uint64_t rest, uint32_t listSize, uint32_t *data)
{
    uint32_t room;

    *data = 0;
    if (unit == 0)
        unit = 1;
    // A portion must carry data after its header.
    if (freeBytes <= PORTION_HEADER_SIZE)
        return DISK_TOO_FULL;
    room = freeBytes - PORTION_HEADER_SIZE;
    if (rest > room) {
        *data = room;
        return DISK_FILL;
    }
    // The list goes on the disk of the last portion, in units of its own
    // beside the portion's.
    if (OnDisk(PORTION_HEADER_SIZE + rest, unit) + OnDisk(listSize, unit) <= freeBytes) {
        *data = (uint32_t)rest;
        return DISK_LAST;
    }
    // The disk cannot be the last: the portion here stops short, and at
    // least one byte goes on, with the list, to the next disk. A portion
    // that would keep no data byte is not written at all (an empty source
    // has none to keep): the whole rest goes to the next disk.
    if (rest >= 2) {
        *data = (uint32_t)rest - 1;
        return DISK_STOP_SHORT;
    }
    return DISK_TOO_FULL;
}
