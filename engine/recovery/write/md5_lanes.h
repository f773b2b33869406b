// MD5 of several streams at once, for the slicers' recovery step.
//
// One MD5 is a chain of 64 dependent steps per 64-byte block: a core runs
// it at the speed of that chain, its vector units idle. The recovery data
// needs the digest of every portion, and the portions are independent
// streams, so the lanes form runs the same steps on a vector whose every
// 32-bit lane belongs to another stream: four streams for the price of
// about one and a half (SSE2), eight with AVX2, where the processor has it.
//
// Portable code: no operating-system calls. Without vector units, or off
// x86, Md5LaneCount says 1 and the caller hashes each stream alone.
#ifndef DORVANE_MD5_LANES_H
#define DORVANE_MD5_LANES_H

#include <stddef.h>

#include "recovery/md5.h"

enum { MD5_MAX_LANES = 8 };

// How many streams one Md5UpdateLanes call hashes for the price of one on
// this processor: 8, 4, or 1 (no lanes form; use Md5Update).
unsigned Md5LaneCount(void);

// Adds size bytes of data[i] to contexts[i], for i below count (2 to
// Md5LaneCount()): the same as count calls of Md5Update. Every context
// holds a whole number of 64-byte blocks on entry, and size is a multiple
// of 64, so no context buffers a partial block before or after. The
// contexts are distinct.
void Md5UpdateLanes(Md5Context *const contexts[], const unsigned char *const data[],
                    unsigned count, size_t size);

#endif
