// Names as text: the UTF-8 that sets carry their names in, checked strictly.
// Pure: no operating system here. A name whose bytes are not UTF-8 is a name
// of the ANSI era, which the platform layer reads (os/names.h).
#ifndef DORVANE_NAME_TEXT_H
#define DORVANE_NAME_TEXT_H

#include <stddef.h>
#include <stdint.h>

// Utf8Next: the character that text[0..length) begins with: its code point
// in *codePoint and its bytes (1 to 4) as the result. 0 when length is 0 or
// the bytes there are not a character of UTF-8: a continuation byte where a
// character begins, a sequence cut short, an overlong form, a surrogate
// (U+D800 to U+DFFF), or a code point past U+10FFFF.
int Utf8Next(const char *text, size_t length, uint32_t *codePoint);

// IsUtf8: 1 when text[0..length) is UTF-8 from end to end, as Utf8Next
// reads it; 0 otherwise. An empty text is.
int IsUtf8(const char *text, size_t length);

#endif
