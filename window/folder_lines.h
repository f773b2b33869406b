// The text of the remembered-folders file: two lines, each ended by a line
// feed, the source folder first. Portable, so its rules are tested natively.
#ifndef DORVANE_FOLDER_LINES_H
#define DORVANE_FOLDER_LINES_H

#include <stddef.h>

enum {
    FOLDER_LINE_SIZE = 260,     // 259 characters and the terminator
    FOLDER_FILE_MAX = 1024      // bytes of the file that are ever read
};

// Splits text[length] into the two folders. A line counts only with its line
// feed: text after the last line feed may be the cut-off end of a failed
// write, so it is dropped and a missing line is empty. Lines longer than 259
// characters are cut; bytes after the first FOLDER_FILE_MAX are ignored.
void ParseRememberedFolders(const char *text, size_t length, char source[FOLDER_LINE_SIZE],
                            char destination[FOLDER_LINE_SIZE]);

#endif
