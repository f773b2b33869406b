// The text of the remembered-folders file, DORVANE.TXT: the source folder
// and the destination folder, one line each, each ended by a line feed;
// then, only when they differ from the defaults, lines that remember the
// recovery choice ("recovery=on", "recovery-blocks=3"), which a program that
// knows only the two folder lines never reads. Folders are UTF-8; a line
// that is not UTF-8 was written by a program of the ANSI era, in the ANSI
// code page (the caller reads it so). Portable, so its rules are tested
// natively.
#ifndef DORVANE_FOLDER_LINES_H
#define DORVANE_FOLDER_LINES_H

#include <stddef.h>

enum {
    FOLDER_CHARACTERS = 259,    // a folder's length, in UTF-16 units as Windows counts a path
    FOLDER_LINE_SIZE = 3 * FOLDER_CHARACTERS + 1, // its bytes in UTF-8 (at most 3 a unit)
                                                  // and the terminator
    FOLDER_FILE_MAX = 4096,     // bytes of the file that are ever read
    RECOVERY_BLOCKS_DEFAULT = 1,
    RECOVERY_BLOCKS_MOST = 10
};

// The recovery choice the window remembers beside the folders.
struct RecoveryChoice {
    int On;          // 1: write recovery data after the set
    unsigned Blocks; // its blocks, 1 to 10 (disk after disk: always 1)
};

// Splits text[length] into the two folders. A line counts only with its line
// feed: text after the last line feed may be the cut-off end of a failed
// write, so it is dropped and a missing line is empty. A line of UTF-8 is
// cut to its first 259 characters (UTF-16 units), never inside a character;
// any other line, of the ANSI era, to its first 259 bytes. Bytes after the
// first FOLDER_FILE_MAX are ignored.
void ParseRememberedFolders(const char *text, size_t length, char source[FOLDER_LINE_SIZE],
                            char destination[FOLDER_LINE_SIZE]);

// The recovery choice from the terminated lines after the first two of
// text[length] (within FOLDER_FILE_MAX): "recovery=on" or "recovery=off",
// "recovery-blocks=N" with N from 1 to 10. Lines it does not know, and
// values out of range, leave the defaults (off, 1 block).
void ParseRecoveryChoice(const char *text, size_t length, RecoveryChoice *choice);

// The file's text for both folders and the choice into out[size]: the two
// folder lines, and the choice's lines only when it differs from the
// defaults (a count of blocks out of range counts as 1). Returns the length, or 0 when it does not fit.
size_t FormatRememberedFolders(const char *source, const char *destination,
                               const RecoveryChoice *choice, char *out, size_t size);

// Utf8Units: the UTF-16 units of the UTF-8 text[0..length), a 4-byte
// character counting 2; each byte that is no part of a character counts 1.
size_t Utf8Units(const char *text, size_t length);

#endif
