// Text for the window program's own Win32 UI calls (Windows only): the
// window holds every path and name in UTF-8, as the platform layer does, and
// hands its controls, boxes and the shell UTF-16. The conversions are the
// layer's own (win/utf16_win.cpp); this header lets the window reach them
// without a copy of its own.
#ifndef DORVANE_OS_TEXT_WIN_H
#define DORVANE_OS_TEXT_WIN_H

#include <stddef.h>

// Utf8ToWide: text as a terminated UTF-16 string on the heap (free it); a
// text that is not valid UTF-8 is read in the ANSI code page, as the layer
// reads a name of the ANSI era. NULL when memory is short.
wchar_t *Utf8ToWide(const char *text);

// WideToUtf8: the terminated UTF-16 string wide as a terminated UTF-8
// string on the heap (free it). NULL when memory is short.
char *WideToUtf8(const wchar_t *wide);

// WideToUtf8Buffer: wide as UTF-8 into out[size], terminated. Returns 0 and
// leaves out empty when it does not fit; else the bytes written, terminator
// included.
size_t WideToUtf8Buffer(const wchar_t *wide, char *out, size_t size);

#endif
