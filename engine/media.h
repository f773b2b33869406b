// The two things the slice job asks of a destination drive: how much room it
// has, and a copy of the joiner program beside the set's first portion.
#ifndef DORVANE_MEDIA_H
#define DORVANE_MEDIA_H

#include <stdint.h>

#include "slice_engine.h" // WriteJoinerFile, JOINER_FILE_NAME

enum {
    JOINER_RESOURCE_ID = 101,      // integer name of the "QUORDEX" resource
    JOINER_RESOURCE_LANGUAGE = 1033 // US English
};

#define JOINER_RESOURCE_TYPE "QUORDEX"

// Free bytes of the drive named like "A:", capped at 0xFFFFFFFF; 0 when the
// drive cannot be queried (no disk, not ready).
uint32_t DiskFreeBytes(const char *drive);

// Writes the embedded joiner program as folder + "KELMORIX.EXE", replacing
// one that is there without asking. Returns 0, or the error number that kept
// it from being written in full (the set then lacks its joiner).
long WriteJoinerProgram(const char *folder);

#endif
