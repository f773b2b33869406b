// What recovery data costs on the disk, worked out before it is written: the
// bytes of the two PAR2 files (par2.h) for a set of a given shape, so that a
// planner can tell the user beforehand. Pure: no operating-system calls.
#ifndef DORVANE_RECOVERY_SIZE_H
#define DORVANE_RECOVERY_SIZE_H

#include <stddef.h>
#include <stdint.h>

// RecoveryDataBytes: the bytes of the index file and the recovery file
// together for `portions` portion files (1 to 100), the longest `longest`
// bytes long, each name `nameLength` bytes (a portion's name is as long as
// the source's), with `blocks` recovery blocks (1 to 10) and the creator
// text `creator`: the critical packets blocks + 2 times, and each block with
// its packet header. 0 for counts outside those limits.
uint64_t RecoveryDataBytes(unsigned portions, uint64_t longest, size_t nameLength,
                           unsigned blocks, const char *creator);

#endif
