// Reading the start of a portion file: the one header reader of the
// slicers (which recognise their own sets), the recovery writer and the
// joiners. Through the platform layer.
#ifndef DORVANE_PORTION_FILE_H
#define DORVANE_PORTION_FILE_H

#include <stdint.h>

#include "os/os.h"
#include "slice_format.h"

enum {
    PORTION_TOO_SHORT = -1, // the file is shorter than a header
    PORTION_CUT_SHORT = 1   // it ended while being read (it shrank meanwhile)
};

// ReadFileStart: the file's length into *size and its first bytes into
// buffer: count of them, or the whole file when it is shorter (*got says
// how many). Returns 0 or an error number. The file's position is left
// after the bytes read.
long ReadFileStart(OsFile file, void *buffer, uint32_t count, uint32_t *got, uint64_t *size);

// ReadPortionHeaderFrom: the header at the start of an open file, and the
// file's length. Returns 0, an error number, PORTION_TOO_SHORT or
// PORTION_CUT_SHORT.
long ReadPortionHeaderFrom(OsFile file, unsigned char raw[PORTION_HEADER_SIZE], uint64_t *size);

// ReadPortionHeader: the same for the file at path, opened and closed here.
long ReadPortionHeader(const char *path, unsigned char raw[PORTION_HEADER_SIZE], uint64_t *size);

#endif
