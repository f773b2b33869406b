// Names between UTF-8 and Win32's UTF-16 (utf16_win.h), the same for the
// window's own UI calls (text_win.h), and the reading of a name of the ANSI
// era in the system's code page (names.h).
#include "utf16_win.h"
#include "os/names.h"
#include "os/text_win.h"

#include <windows.h>

#include <limits.h>
#include <stdlib.h>
#include <string.h>

wchar_t *ToUtf16(const char *text, int length, int *units)
{
    // A byte never makes more than one unit, in UTF-8 as in a code page.
    wchar_t *wide;
    int made;

    if (length < 0)
        length = (int)strlen(text);
    wide = (wchar_t *)malloc(((size_t)length + 1) * sizeof *wide);
    if (!wide)
        return NULL;
    // Invalid UTF-8 fails the first (ERROR_NO_UNICODE_TRANSLATION); an empty
    // text fails both, and is empty.
    made = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, length, wide, length);
    if (!made)
        made = MultiByteToWideChar(CP_ACP, 0, text, length, wide, length);
    wide[made] = 0;
    if (units)
        *units = made;
    return wide;
}

size_t FromUtf16(const wchar_t *wide, char *out, size_t size)
{
    // Size 0 would ask how much is needed instead.
    if (!size)
        return 0;
    return (size_t)WideCharToMultiByte(CP_UTF8, 0, wide, -1, out,
                                       size > INT_MAX ? INT_MAX : (int)size, NULL, NULL);
}

long OsLegacyNameToUtf8(const char *name, size_t length, char *out, size_t size)
{
    wchar_t *wide = (wchar_t *)malloc((length + 1) * sizeof *wide);
    int made;

    if (!wide)
        return OS_NO_MEMORY;
    made = length ? MultiByteToWideChar(CP_ACP, 0, name, (int)length, wide, (int)length) : 0;
    wide[made] = 0;
    made = FromUtf16(wide, out, size) != 0;
    free(wide);
    return made ? 0 : OS_BUFFER_TOO_SMALL;
}

wchar_t *Utf8ToWide(const char *text)
{
    return ToUtf16(text, -1, NULL);
}

char *WideToUtf8(const wchar_t *wide)
{
    int size = WideCharToMultiByte(CP_UTF8, 0, wide, -1, NULL, 0, NULL, NULL);
    char *text = (char *)malloc(size > 0 ? (size_t)size : 1);

    if (!text)
        return NULL;
    text[0] = '\0';
    if (size > 0)
        WideCharToMultiByte(CP_UTF8, 0, wide, -1, text, size, NULL, NULL);
    return text;
}

size_t WideToUtf8Buffer(const wchar_t *wide, char *out, size_t size)
{
    size_t written = FromUtf16(wide, out, size);

    if (!written && size)
        out[0] = '\0';
    return written;
}
