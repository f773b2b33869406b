// The running program: the platform layer's process service (process_win.cpp,
// process_posix.cpp; the slice job's part in process_job_win/posix.cpp).
#ifndef DORVANE_OS_PROCESS_H
#define DORVANE_OS_PROCESS_H

#include "os.h"

// OsLowerPriority: puts the program at the lowest priority, so that a long
// copy leaves the machine usable. Returns the priority to restore.
int OsLowerPriority(void);

// OsRestorePriority: gives back a priority OsLowerPriority returned. On POSIX
// only a privileged process can raise it again; others stay at the lowest.
void OsRestorePriority(int priority);

// OsCurrentFolder: the current folder into buffer[size]; fails with
// OS_BUFFER_TOO_SMALL when it does not fit, buffer[size..] untouched.
long OsCurrentFolder(char *buffer, size_t size);

// OsSetCurrentFolder: makes path the current folder.
long OsSetCurrentFolder(const char *path);

// OsLastingPath: path as a heap string (free it) that still names the same
// place after OsLeaveCurrentFolder: made absolute where that matters.
long OsLastingPath(const char *path, char **lasting);

// OsLeaveCurrentFolder: leaves the current folder where a process standing in
// it keeps its disk from being swapped (a mount point on Linux); does nothing
// elsewhere.
void OsLeaveCurrentFolder(void);

// OsCommandArguments: the program's arguments as UTF-8, argv[0] first, in
// *count and *arguments (terminated by NULL). On POSIX, argc and argv as
// main got them (names are bytes there); on Windows they are read from the
// wide command line (GetCommandLineW) and split by the system's own rule,
// so that a name outside the ANSI code page arrives whole: argc and argv
// are not looked at. The strings live as long as the program. Returns 0, or
// the error (*count and *arguments untouched).
long OsCommandArguments(int argc, char **argv, int *count, char ***arguments);

// OsLocalTime: the local time now, as Windows' local-time query gives it.
void OsLocalTime(SystemTime *now);

// The joiner travels in the Windows slicer as its resource "QUORDEX" 101.
enum {
    JOINER_RESOURCE_ID = 101,       // integer name of the "QUORDEX" resource
    JOINER_RESOURCE_LANGUAGE = 1033 // US English
};
#define JOINER_RESOURCE_TYPE "QUORDEX"

// OsJoinerProgram: the joiner program this build carries, its bytes in
// *data, and *size 0 when the build carries none.
long OsJoinerProgram(const void **data, uint32_t *size);

#ifdef _WIN32
// OsFindProgramFolder: the folder in which the system's search for the
// program file name finds it (the running program's folder first, then the
// current folder, the system's folders and PATH), with its separator, into
// folder[size]. Fails with OS_BUFFER_TOO_SMALL when it does not fit, with
// OS_FILE_NOT_FOUND or another error when no folder holds it; folder's
// contents are then undefined. The window keeps its remembered folders there.
long OsFindProgramFolder(const char *name, char *folder, size_t size);
#else
// OsMonotonicTime: nanoseconds on a clock that only moves forward, whatever
// is done to the time of day meanwhile: for how long something took (the
// speed on the Linux programs' progress lines; KELMORIX.EXE shows none).
int64_t OsMonotonicTime(void);
#endif

// OsPhysicalMemory: the machine's memory in bytes; 0 when the system does
// not say. The slicers hold their recovery blocks within half of it.
uint64_t OsPhysicalMemory(void);

#endif
