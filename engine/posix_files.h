// Plain files on Linux (and POSIX systems) as both Linux programs' layers
// use them: the joiner's and the slice job's. Compiled into each program.
// A file is its descriptor plus one, so that descriptor 0 (standard input
// closed by the caller) is still told apart from "not open"; error numbers
// are errno values.
#ifndef DORVANE_POSIX_FILES_H
#define DORVANE_POSIX_FILES_H

#include <stdint.h>

typedef intptr_t PosixFile; // the descriptor plus one; never 0 when open

static const uint64_t UNIX_EPOCH_TICKS = 116444736000000000ULL; // 1970-01-01 as a FILETIME
static const uint64_t TICKS_PER_SECOND = 10000000ULL;          // FILETIME counts 100 ns

// errno, or 1 when a call failed without setting it.
long PosixErrno(void);

// The descriptor of an open file.
int PosixFd(PosixFile file);

// Opens a plain file for reading: EISDIR for a folder, EINVAL for a device
// or FIFO (no size, no data to take), and the open never hangs on either.
long PosixOpenPlain(const char *path, PosixFile *file);

// A new file for writing: EEXIST when the name is taken, also by a link.
long PosixCreateNew(const char *path, PosixFile *file);

long PosixFileSize(PosixFile file, uint64_t *size);

// Reads until count bytes or the end of the file, as a read of a Windows
// file does; *done says how many came.
long PosixRead(PosixFile file, void *buffer, uint32_t count, uint32_t *done);

long PosixFlush(PosixFile file);
long PosixClose(PosixFile file);
long PosixDelete(const char *path);

#endif
