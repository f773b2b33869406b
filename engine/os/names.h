// Names of the ANSI era: the platform layer's reading of a name whose bytes
// are not UTF-8 (posix/names_posix.cpp; win/utf16_win.cpp on Windows). Sets made
// before names were stored in UTF-8 carry them in the slicing system's code
// page; the programs hold every name in UTF-8.
#ifndef DORVANE_OS_NAMES_H
#define DORVANE_OS_NAMES_H

#include "os.h"

// OsLegacyNameToUtf8: the length bytes of name, read in the system's ANSI
// code page on Windows and as Windows-1252 elsewhere, as UTF-8 into
// out[size], terminated. The caller asks only for names that are not valid
// UTF-8. Returns 0, or OS_BUFFER_TOO_SMALL when the result does not fit
// (3 * length + 1 bytes always do); OS_NO_MEMORY on Windows.
long OsLegacyNameToUtf8(const char *name, size_t length, char *out, size_t size);

#endif
