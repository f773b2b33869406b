// What every service of the platform layer shares: the file handle, the
// error numbers that callers test for, and the path separators.
//
// The layer is the programs' only way to the operating system (the window
// program's own Win32 calls aside). It is split by service, each a header
// here with a _win.cpp and a _posix.cpp beside it:
//   files.h    open, create, read, write, seek, flush, close, delete, size,
//              times, attributes, search, identity, rename, kernel copy,
//              whole-file write, folders made (POSIX)
//   media.h    removable drives, drive names, free bytes (mount table, sysfs)
//   console.h  key presses, typed-ahead input, the terminal's output and width,
//              interruptions recorded (POSIX: SIGINT, SIGTERM)
//   process.h  priority, current folder, local time, the carried joiner, the
//              program's folder, the clock and the machine's memory
//   names.h    names of the ANSI era
//   text_win.h (Windows) UTF-8 to and from UTF-16 for the window's own UI
//              calls, the layer's conversions and no copy of them
//
// Every call that can fail returns 0 on success or the platform's own error
// number (GetLastError, errno), never 0 for a failure: the programs show it
// to the user as it stands.
//
// Paths and names are UTF-8 on both systems, given and returned. On Windows
// they meet the system's wide calls as UTF-16; a path that is not valid
// UTF-8 there is a name of the ANSI era and is read in the ANSI code page.
// names.h reads such a name into UTF-8.
#ifndef DORVANE_OS_H
#define DORVANE_OS_H

#include <stddef.h>
#include <stdint.h>


// A Windows file time: 100-ns intervals since 1601-01-01 UTC, low word first.
struct FileTime {
    uint32_t LowDateTime;
    uint32_t HighDateTime;
};

// A Windows calendar time, in the word order the local-time query returns.
struct SystemTime {
    uint16_t Year;
    uint16_t Month;
    uint16_t DayOfWeek;
    uint16_t Day;
    uint16_t Hour;
    uint16_t Minute;
    uint16_t Second;
    uint16_t Milliseconds;
};

typedef intptr_t OsFile; // a handle (Windows) or descriptor plus one (POSIX); never 0 when open

#ifdef _WIN32
enum {
    OS_FILE_NOT_FOUND = 2,     // ERROR_FILE_NOT_FOUND
    OS_NO_MEMORY = 8,          // ERROR_NOT_ENOUGH_MEMORY
    OS_SOURCE_ENDED = 38,      // ERROR_HANDLE_EOF: a file ended before the bytes it promised
    OS_FILE_EXISTS = 80,       // ERROR_FILE_EXISTS
    OS_BUFFER_TOO_SMALL = 111, // ERROR_BUFFER_OVERFLOW
    OS_DISK_FULL = 112         // ERROR_DISK_FULL: a write fell short without an error
};
#define OS_SEPARATOR '\\'
#define OS_DRIVE_SEPARATOR ':' // "A:" names a drive's current folder
enum { OS_DRIVE_NAME_SIZE = 3 }; // "A:" and the terminator
#else
#include <errno.h>
enum {
    OS_FILE_NOT_FOUND = ENOENT,
    OS_NO_MEMORY = ENOMEM,
    OS_SOURCE_ENDED = ENODATA,
    OS_FILE_EXISTS = EEXIST,
    OS_BUFFER_TOO_SMALL = ERANGE,
    OS_DISK_FULL = ENOSPC
};
#define OS_SEPARATOR '/'
#define OS_DRIVE_SEPARATOR '\0'
enum { OS_DRIVE_NAME_SIZE = 4096 }; // a mount point: any path
#endif

#endif
