// The order in which a directory search (OsFindNext) hands out names: byte
// order, the same on every platform and file system, whatever order the
// system lists a folder in (a FAT disk lists in directory order). Shared by
// the _win.cpp and _posix.cpp searches; not part of the layer's interface.
#ifndef DORVANE_OS_SEARCH_ORDER_H
#define DORVANE_OS_SEARCH_ORDER_H

#include <string.h>

// OsComesNext: 1 when name comes after `after` and before best, the least
// name found so far (NULL: none yet).
static inline int OsComesNext(const char *name, const char *after, const char *best)
{
    return strcmp(name, after) > 0 && (!best || strcmp(name, best) < 0);
}

#endif
