// Figures the slice job computes before it touches a disk: how much room a
// drive reports and how many portions a folder job needs. Portable, so the
// edge cases are tested natively.
#ifndef DORVANE_SLICE_ARITH_H
#define DORVANE_SLICE_ARITH_H

#include <stdint.h>

// Free bytes from a drive's cluster geometry, computed in 64 bits and capped
// at 0xFFFFFFFF: a drive with 4 GiB or more free has room for any portion.
uint32_t FreeBytesFromClusters(uint32_t sectorsPerCluster, uint32_t bytesPerSector,
                               uint32_t freeClusters);

// The number of portion files a folder job writes for a source of
// sourceSize bytes in portions of portionSize bytes, header included.
// 0 for an empty source; UINT32_MAX when portionSize leaves no room for data
// or the count would not fit 32 bits (either is far above the limit of 100).
uint32_t PortionsNeeded(uint64_t sourceSize, uint32_t portionSize);

#endif
