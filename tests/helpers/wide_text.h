// UTF-8 and UTF-16 for the test drivers: they take their arguments and print
// what they read in UTF-8, and meet Win32 in UTF-16, so that names outside
// the ANSI code page pass whole between a test and the window.
#ifndef DORVANE_TESTS_WIDE_TEXT_H
#define DORVANE_TESTS_WIDE_TEXT_H

#include <windows.h>

#include <shellapi.h>
#include <stdlib.h>

// text (UTF-8) as a heap UTF-16 string; free it.
inline wchar_t *WideOf(const char *text)
{
    int units = MultiByteToWideChar(CP_UTF8, 0, text, -1, NULL, 0);
    wchar_t *wide = (wchar_t *)calloc(units > 0 ? (size_t)units : 1, sizeof *wide);
    if (wide && units > 0)
        MultiByteToWideChar(CP_UTF8, 0, text, -1, wide, units);
    return wide;
}

// wide as UTF-8 into text[size], terminated (cut short should it not fit).
inline void Utf8Of(const wchar_t *wide, char *text, int size)
{
    text[0] = '\0';
    if (!WideCharToMultiByte(CP_UTF8, 0, wide, -1, text, size, NULL, NULL))
        text[size - 1] = '\0';
}

// The program's arguments in UTF-8, from its UTF-16 command line: the C
// runtime's argv holds them in the ANSI code page, which loses what it
// cannot show. The strings live for the program's life.
inline char **Utf8Arguments(int *count)
{
    wchar_t **wide = CommandLineToArgvW(GetCommandLineW(), count);
    char **arguments = (char **)calloc((size_t)*count + 1, sizeof *arguments);
    for (int i = 0; wide && arguments && i < *count; i++) {
        int size = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, NULL, 0, NULL, NULL);
        arguments[i] = (char *)calloc(size > 0 ? (size_t)size : 1, 1);
        if (arguments[i] && size > 0)
            WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, arguments[i], size, NULL, NULL);
    }
    return arguments;
}

#endif
