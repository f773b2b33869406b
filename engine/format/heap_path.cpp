// Heap strings: paths (heap_text.h). Apart from the formatter, whose
// printf the joiner would otherwise carry.
#include "heap_text.h"

#include <stdlib.h>
#include <string.h>

#include "os/os.h"

char *BuildPath(const char *folder, size_t folderLength, int separator, const char *name,
                const char *suffix)
{
    size_t nameLength = strlen(name), suffixLength = suffix ? strlen(suffix) : 0;
    char *path = (char *)malloc(folderLength + 1 + nameLength + suffixLength + 1);
    char *at = path;

    if (!path)
        return NULL;
    memcpy(at, folder, folderLength);
    at += folderLength;
    if (separator)
        *at++ = OS_SEPARATOR;
    memcpy(at, name, nameLength);
    at += nameLength;
    memcpy(at, suffix ? suffix : "", suffixLength + 1);
    return path;
}

char *JoinPath(const char *folder, const char *name)
{
    return BuildPath(folder, strlen(folder), 0, name, NULL);
}

