// What the slice job keeps from harm besides its own output: the source,
// which no file the job writes may be, whatever path names it; and the
// files beside a set that are not stale portions or side files of the same
// file. Also the name the set is recorded under. Portable; the disk is reached through os/.
#ifndef DORVANE_SLICE_GUARD_H
#define DORVANE_SLICE_GUARD_H

#include <stdint.h>

#include "format/slice_format.h"

// The name the set carries and its portions are named by: the source's file
// name, taken from its long path (a short 8.3 name gives way to the long
// one). On POSIX only '/' separates folders, so a '\' stays in the name for
// the name check to refuse rather than cut it. A heap copy (free()), or NULL
// without memory.
char *SliceSourceName(const char *source);

// 1 when path names the source itself (by what the file is, not its path
// text); 0 when it does not, or does not exist.
int SliceIsSource(const char *source, const char *path);

// Which of the job's files would be the source itself.
enum SliceClash {
    CLASH_NO_MEMORY = -1, // a path to compare could not be made: nothing is known
    CLASH_NONE = 0,
    CLASH_PORTION, // a portion path
    CLASH_JOINER,  // the joiner program beside portion 0
    CLASH_LIST     // the checksum list
};

// Compares the source with portionPath numbered first to first + count - 1,
// when withJoiner is 1 with folder + KELMORIX.EXE, and with listPath when
// not NULL. portionPath's last two characters are rewritten and left as the
// clash (or the last compared) number; the joiner's path goes to
// *joinerPath (heap, when not NULL there). CLASH_NO_MEMORY when the
// joiner's path cannot be allocated: the caller refuses the job, as it
// cannot tell that the joiner is not the source.
int FindSourceClash(const char *source, char *portionPath, unsigned first, unsigned count,
                    const char *folder, int withJoiner, const char *listPath,
                    char **joinerPath);

// The job's message for a clash: the path that is the source, and the
// source. A heap text, or NULL without memory.
char *SourceClashMessage(int clash, const char *clashPath, const char *source);

// 1 when the file at path starts with a header a slicer could have written
// for a file named fileName: a LastPortion byte of 0 or 1 and that name.
int IsPortionOf(const char *path, const char *fileName);

// Whose side file the file at path is, by what it says: a checksum list by
// its last line (the sliced file it names), a recovery file (isList 0) by
// its file descriptions (all of them portions of that file's set).
enum SideOwner {
    SIDE_NONE = 0, // no file of that name
    SIDE_THIS,     // the set of fileName's
    SIDE_OTHER,    // another set's: never replaced nor removed for this one
    SIDE_UNKNOWN   // it does not say (damaged, not such a file, a folder)
};
int SideFileOwner(const char *path, const char *fileName, int isList);

// After the user agreed to overwrite at portion number: deletes the files
// numbered above it that carry a valid header whose FileName is fileName,
// stale portions of an earlier set of the same file. Every other file, and
// the source whatever its name, is kept. Failures are left for the portion's
// own creation to meet.
void DeleteStalePortions(const char *source, const char *portionPath, unsigned number,
                         const char *fileName);

#endif
