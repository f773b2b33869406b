// Figures the slice job computes before it touches a disk: how much room a
// drive reports, how many portions a folder job needs, and how much of the
// file a removable disk takes. Portable, so the edge cases are tested
// natively.
#ifndef DORVANE_SLICE_ARITH_H
#define DORVANE_SLICE_ARITH_H

#include <stdint.h>

// The number of portion files a folder job writes for a source of
// sourceSize bytes in portions of portionSize bytes, header included.
// 0 for an empty source; UINT32_MAX when portionSize leaves no room for data
// or the count would not fit 32 bits (either is far above the limit of 100).
uint32_t PortionsNeeded(uint64_t sourceSize, uint32_t portionSize);

// What a removable disk takes of the file (DiskShare).
enum DiskShareKind {
    DISK_FILL,       // not the last disk: the portion fills it
    DISK_LAST,       // the rest of the file and the checksum list fit: the last disk
    DISK_STOP_SHORT, // the rest fits but the list beside it does not: all but its last byte
    DISK_TOO_FULL    // no portion here: no data byte would go on this disk
};

// How many data bytes (*data) the portion on a disk takes, and why: the disk
// has freeBytes free once the portion's file exists (and, on disk 1, the
// joiner program), allocated in units of unit bytes (0 counts as 1); rest
// source bytes are still to be written, and listSize is the checksum list's
// size if this disk held the last portion (0: the set has no list).
int DiskShare(uint32_t freeBytes, uint32_t unit, uint64_t rest, uint32_t listSize, uint32_t *data);

#endif
