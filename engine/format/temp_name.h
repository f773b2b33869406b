// The temporary names the programs write a file under before it takes its
// own name, one rule for the slicers and the joiners: "~", a three-letter
// tag, four digits and ".TMP" (~KLM0001.TMP: a joiner's output;
// ~DVL0001.TMP: a slicer's checksum list or recovery file), the first of
// 0001 to 9999 that can be created as a new file. An 8.3 name, for FAT
// disks; it ends in letters, so it is never a portion's name (two digits),
// a list (.sfv), a recovery file (.par2) or KELMORIX.EXE, nor found by the
// first-portion search "*00". Left-over temporaries of earlier runs only
// move the next one on; nothing of the user's is touched.
// Through the platform layer.
#ifndef DORVANE_TEMP_NAME_H
#define DORVANE_TEMP_NAME_H

#include <stddef.h>

#include "os/os.h"

#define TEMP_TAG_JOINER "KLM"
#define TEMP_TAG_SLICER "DVL"

enum { TEMP_NAME_TRIES = 9999 };

// CreateTemporaryFile: creates a new file, open for writing, under the
// first free temporary name of tag (three letters) in the folder
// folder[0..folderLength), with a separator between them when separator
// is 1. Returns 0 with *path (heap, free()) and *file; or the error of the
// last try (OS_FILE_EXISTS when all are taken), *path then the last name
// tried, or NULL with OS_NO_MEMORY.
long CreateTemporaryFile(const char *folder, size_t folderLength, int separator, const char *tag,
                         char **path, OsFile *file);

#endif
