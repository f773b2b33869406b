// The slice job's only window on the operating system. The job's steps call
// nothing else, so each platform supplies just these functions:
// slice_os_win.cpp for Windows, slice_os_posix.cpp for Linux.
//
// Every function that can fail returns 0 on success or the platform's error
// number (GetLastError, errno), which the job shows to the user as it stands.
#ifndef DORVANE_SLICE_OS_H
#define DORVANE_SLICE_OS_H

#include <stdint.h>

#include "slice_format.h"

typedef intptr_t SliceFile; // a handle or descriptor; never 0 when open

#ifdef _WIN32
enum {
    SLICE_OS_FILE_EXISTS = 80,   // ERROR_FILE_EXISTS
    SLICE_OS_DISK_FULL = 112,    // ERROR_DISK_FULL: a write fell short without an error
    SLICE_OS_SOURCE_ENDED = 38,  // ERROR_HANDLE_EOF: the source shrank while it was read
    SLICE_OS_NO_MEMORY = 8       // ERROR_NOT_ENOUGH_MEMORY
};
#else
#include <errno.h>
enum {
    SLICE_OS_FILE_EXISTS = EEXIST,
    SLICE_OS_DISK_FULL = ENOSPC,
    SLICE_OS_SOURCE_ENDED = ENODATA,
    SLICE_OS_NO_MEMORY = ENOMEM
};
#endif

// The source's attribute bits as Windows keeps them.
long SliceOsAttributes(const char *path, uint32_t *attributes);

// The source for reading, not shared where the platform can refuse sharing.
long SliceOsOpenSource(const char *path, SliceFile *file);
long SliceOsTimes(SliceFile file, FileTime *creation, FileTime *lastAccess, FileTime *lastWrite);
long SliceOsSize(SliceFile file, uint64_t *size);

// A new file for writing; fails with SLICE_OS_FILE_EXISTS when the name is
// taken, so nothing is replaced but by the job's own deletion.
long SliceOsCreateNew(const char *path, SliceFile *file);

// Reads until count bytes or the end of the file.
long SliceOsRead(SliceFile file, void *buffer, uint32_t count, uint32_t *done);
long SliceOsWrite(SliceFile file, const void *buffer, uint32_t count, uint32_t *done);
long SliceOsFlush(SliceFile file);
long SliceOsClose(SliceFile file);
long SliceOsDelete(const char *path);

// Free bytes where destination (a drive name or a mount point) writes,
// capped at 0xFFFFFFFF; 0 when it cannot be measured (no disk).
uint32_t SliceOsFreeBytes(const char *destination);

// 1 when destination is a drive or mount point whose disk the user swaps.
int SliceOsIsRemovable(const char *destination);

// The local time, as Windows' local-time query gives it.
void SliceOsLocalTime(SystemTime *now);

// The joiner program the build carries: its bytes, or a size of 0 when the
// build carries none.
long SliceOsJoinerProgram(const void **data, uint32_t *size);

#endif
