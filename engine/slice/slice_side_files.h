// The files a slice job writes beside its portions: the joiner program
// (WriteJoinerFile, declared in slice_job.h) and the checksum list, which
// the job builds as it writes the portions and writes once after the last.
// Portable; the disk is reached through os/.
#ifndef DORVANE_SLICE_SIDE_FILES_H
#define DORVANE_SLICE_SIDE_FILES_H

#include <stddef.h>
#include <stdint.h>

#include "format/slice_format.h"

// The checksum list of a job: where it goes and what it records so far.
struct SliceList {
    char *Path;                         // heap: destination + the list's name; NULL: no list
    size_t FolderLength;                // the destination's part of Path
    uint32_t PortionCrcs[MAX_PORTIONS]; // each portion file's CRC-32, header included
    uint32_t FileCrc;                   // CRC-32 of the source's data written so far
};

// Names the list of a set whose headers carry fileName, in destination.
// Returns 0, with list->Path NULL when the list cannot carry that name (see
// ChecklistSize: a name starting with ';' or a blank); or OS_NO_MEMORY.
long SliceListStart(SliceList *list, const char *destination, const char *fileName);

// The list's size in bytes for a set of that many portions of a file of
// fileSize bytes, known before any CRC is; 0 when the set gets no list.
uint32_t SliceListSize(const SliceList *list, const char *fileName, uint64_t fileSize,
                       unsigned portions);

// Records a portion as written: its header, the CRC-32 of its data and the
// data's length; the source's CRC grows by the data.
void SliceListAdd(SliceList *list, unsigned number, const unsigned char *header,
                  uint32_t dataCrc, uint32_t dataLength);

// Where writing the list failed (SliceListWrite).
enum SliceListStage {
    LIST_WRITE_FAILED = 1, // creating or writing it, or giving it its name
    LIST_CLOSE_FAILED      // flushing or closing it
};

// Writes the list of a complete set under a temporary name beside it,
// flushes it, and then gives it its name, replacing a file of that name:
// nothing partial ever stands under the list's name. Returns 0, or the error
// with *stage a SliceListStage; the temporary file is then gone.
long SliceListWrite(const SliceList *list, const char *fileName, uint64_t fileSize,
                    unsigned portions, int *stage);

void SliceListFree(SliceList *list);

#endif
