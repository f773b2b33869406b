// Heap strings the programs build: a path from a folder and a name, and a
// formatted message. One way each, so that every caller meets a failed
// allocation the same way (NULL) and no path is cut to a fixed buffer.
#ifndef DORVANE_HEAP_TEXT_H
#define DORVANE_HEAP_TEXT_H

#include <stdarg.h>
#include <stddef.h>

// BuildPath: the first folderLength bytes of folder, the platform's
// separator when separator is 1, then name and suffix (NULL: none), as a
// heap string (free it); NULL without memory.
char *BuildPath(const char *folder, size_t folderLength, int separator, const char *name,
                const char *suffix);

// JoinPath: folder and name with nothing between them (folder ends in its
// separator, or is a drive name such as "A:"); as BuildPath.
char *JoinPath(const char *folder, const char *name);

// FormatText: printf into a heap string (free it), or NULL without memory.
// The buffer grows until the text fits: the C libraries the programs run on
// do not all tell the length in advance.
char *FormatText(const char *format, ...) __attribute__((format(printf, 1, 2)));
char *FormatTextV(const char *format, va_list args);

#endif
