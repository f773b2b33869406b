// The joiner's only window on the operating system. The reassembly logic
// calls nothing else, so each platform supplies just this file's functions.
//
// Every function that can fail returns 0 on success or the platform's error
// number, which the joiner shows to the user as it stands.
#ifndef KELMORIX_JOINER_OS_H
#define KELMORIX_JOINER_OS_H

#include <stddef.h>
#include <stdint.h>

#include "../engine/slice_format.h"

typedef intptr_t OsFile; // a file handle or descriptor, never 0 when open

#ifdef _WIN32
enum {
    OS_FILE_NOT_FOUND = 2,     // ERROR_FILE_NOT_FOUND
    OS_FILE_EXISTS = 80,       // ERROR_FILE_EXISTS
    OS_BUFFER_TOO_SMALL = 111  // ERROR_BUFFER_OVERFLOW
};
#define OS_SEPARATOR '\\'
#define OS_DRIVE_SEPARATOR ':' // "A:" names a drive's current folder
enum { OS_DRIVE_NAME_SIZE = 3 }; // "A:" and the terminator
#else
#include <errno.h>
enum { OS_FILE_NOT_FOUND = ENOENT, OS_FILE_EXISTS = EEXIST, OS_BUFFER_TOO_SMALL = ERANGE };
#define OS_SEPARATOR '/'
#define OS_DRIVE_SEPARATOR '\0'
enum { OS_DRIVE_NAME_SIZE = 4096 }; // a mount point: any path
#endif

// 1 when path lies on a drive whose medium the user swaps, the only case in
// which the joiner asks for disks.
int OsIsRemovable(const char *path);

// How disk prompts name the drive of a removable source: its drive letter
// and colon on Windows, its mount point where there are no drive letters.
void OsDriveName(const char *source, char *name, size_t size);

// Whether path exists and is a folder.
long OsQueryPath(const char *path, int *isFolder);

// The first directory entry matching pattern ('*' and '?' in its last
// component), as a bare name into name[size].
long OsFindFirst(const char *pattern, char *name, size_t size);

// An existing file for reading, not shared.
long OsOpenRead(const char *path, OsFile *file);

// A new file for writing, not shared; fails with OS_FILE_EXISTS when the
// name is taken, so nothing is ever replaced by accident.
long OsCreateNew(const char *path, OsFile *file);

// Whether the two paths name the same existing directory entry, so that
// deleting one would delete the other.
int OsSameEntry(const char *a, const char *b);

long OsFileSize(OsFile file, uint64_t *size);
long OsRead(OsFile file, void *buffer, uint32_t count, uint32_t *done);
long OsWrite(OsFile file, const void *buffer, uint32_t count, uint32_t *done);
// Returned by OsCopyData where the data cannot be moved inside the kernel
// (no such call, or not between these file systems): copy it through memory.
enum { OS_NO_KERNEL_COPY = -1 };

// Appends up to count bytes from from's position to to's, without passing
// them through the program's memory. Fewer bytes (0 at the end of from)
// are not a failure. Where it is not available, also when the environment
// setting KELMORIX_NO_KERNEL_COPY is 1, returns OS_NO_KERNEL_COPY.
long OsCopyData(OsFile from, OsFile to, uint32_t count, uint32_t *done);

long OsFlush(OsFile file);
long OsClose(OsFile file);
long OsDelete(const char *path);
long OsSetTimes(OsFile file, const FileTime *creation, const FileTime *lastAccess,
                const FileTime *lastWrite);
long OsSetAttributes(const char *path, uint32_t attributes);

// The copy runs at the lowest priority so that the machine stays usable.
int OsLowerPriority(void); // returns the priority to restore
void OsRestorePriority(int priority);

// Waits for one key press on the console itself (not standard input) and
// reads it without echo. Returns its character, 0 for an extended key (whose
// second code is consumed), or -1 when there is no console to read from.
int OsReadKey(void);

// The current folder into buffer[size]; fails with OS_BUFFER_TOO_SMALL
// when it does not fit.
long OsCurrentFolder(char *buffer, size_t size);

// path as a heap string that still names the same place after
// OsLeaveCurrentFolder (made absolute where that matters).
long OsLastingPath(const char *path, char **lasting);

// Leaves the current folder where a folder that the process is in keeps its
// disk from being swapped (a mount point on Linux); nothing elsewhere.
void OsLeaveCurrentFolder(void);

#endif
