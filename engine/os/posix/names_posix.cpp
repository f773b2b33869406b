// Names of the ANSI era on Linux and other POSIX systems (names.h): read as
// Windows-1252, the code page of the Windows systems that made most of them.
#include "os/names.h"

// Code points of the bytes 0x80 to 0x9F. The five the code page leaves
// undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) stand for the control characters
// of the same numbers, as Windows reads them; 0xA0 to 0xFF are U+00A0 to
// U+00FF, and below 0x80 is ASCII.
static const uint16_t High1252[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, // 0x80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, // 0x88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 0x90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178, // 0x98
};

long OsLegacyNameToUtf8(const char *name, size_t length, char *out, size_t size)
{
    size_t at = 0, i;
    unsigned c;

    for (i = 0; i < length; i++) {
        c = (unsigned char)name[i];
        if (c >= 0x80 && c < 0xA0)
            c = High1252[c - 0x80];
        // One to three bytes, and room left for the terminator.
        if (at + (c < 0x80 ? 1 : c < 0x800 ? 2 : 3) >= size)
            return OS_BUFFER_TOO_SMALL;
        if (c < 0x80) {
            out[at++] = (char)c;
        } else if (c < 0x800) {
            out[at++] = (char)(0xC0 | c >> 6);
            out[at++] = (char)(0x80 | (c & 0x3F));
        } else {
            out[at++] = (char)(0xE0 | c >> 12);
            out[at++] = (char)(0x80 | (c >> 6 & 0x3F));
            out[at++] = (char)(0x80 | (c & 0x3F));
        }
    }
    if (at >= size)
        return OS_BUFFER_TOO_SMALL;
    out[at] = 0;
    return 0;
}
