// Heap strings: formatted messages (heap_text.h). In a file of its own: the
// joiner builds paths but formats no heap messages, and a file the link
// pulls in brings its imports with it.
#include "heap_text.h"

#include <stdio.h>
#include <stdlib.h>

char *FormatTextV(const char *format, va_list args)
{
    size_t size = 512;
    char *text = NULL, *grown;
    va_list again;
    int length;

    for (;;) {
        grown = (char *)realloc(text, size);
        if (!grown) {
            free(text);
            return NULL;
        }
        text = grown;
        va_copy(again, args);
        length = vsnprintf(text, size, format, again);
        va_end(again);
        if (length >= 0 && (size_t)length < size)
            return text;
        size = length >= 0 ? (size_t)length + 1 : size * 2;
    }
}

char *FormatText(const char *format, ...)
{
    va_list args;
    char *text;

    va_start(args, format);
    text = FormatTextV(format, args);
    va_end(args);
    return text;
}
