// Recovery data for a set written disk after disk: the portions leave the
// drive one by one, so their bytes are taken as the job writes them (a
// SliceObserver) into one recovery block of exponent 0, which grows with the
// longest portion met; after the last portion the two PAR2 files go onto
// one more disk of their own, asked for as the job asks for the others.
// Every disk keeps a few KiB free for what the recovery files carry beside
// the block, so that a blank disk of the same size takes them.
//
// One block only: blocks of higher exponents need each file's place among
// the file IDs, and so its first 16 KiB, before its first byte is added,
// and those of a later disk are not known while an earlier one is written.
//
// Portable through the platform layer, like the job.
#ifndef DORVANE_RECOVERY_DISK_H
#define DORVANE_RECOVERY_DISK_H

#include "recovery_job.h"
#include "slice/slice_job.h"

struct RecoveryDisk;

// The accumulation for a job about to run with request (Blocks 1; its
// Destination the mount point or drive, with its separator). NULL without
// memory. Hand RecoveryDiskObserver's observer to SliceFileObserved.
RecoveryDisk *RecoveryDiskStart(const RecoveryRequest *request);
const SliceObserver *RecoveryDiskObserver(RecoveryDisk *d);

// After a complete job: asks for the next disk through user->NextDisk, and
// writes the two files onto it once it holds no portion of the set and has
// room for both. Returns 0, or SLICE_RECOVERY_FAILED having said why (the
// set itself is complete then).
int RecoveryDiskWrite(RecoveryDisk *d, const SliceUser *user);

void RecoveryDiskFree(RecoveryDisk *d);

#endif
