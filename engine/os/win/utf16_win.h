// Names between the programs and Win32, inside the platform layer's Windows
// files only: the programs hold every path and name in UTF-8, Win32's wide
// calls take and give UTF-16. The one pair of conversions all of them use.
#ifndef DORVANE_OS_UTF16_WIN_H
#define DORVANE_OS_UTF16_WIN_H

#include <stddef.h>

// ToUtf16: text as a terminated UTF-16 string on the heap (free it). length
// is text's bytes, or -1 for all of it up to its terminator. Read as UTF-8
// when it is valid UTF-8; otherwise it is a name of the ANSI era, read in
// the system's ANSI code page. *units (unless NULL) gets the UTF-16 units
// made, terminator not counted. NULL when memory is short.
wchar_t *ToUtf16(const char *text, int length, int *units);

// FromUtf16: the terminated UTF-16 string wide as UTF-8 into out[size],
// terminated. Returns the bytes written with the terminator, or 0 when they
// do not fit (nothing is written past out[size - 1]). 3 bytes for each unit
// and the terminator always fit.
size_t FromUtf16(const wchar_t *wide, char *out, size_t size);

#endif
