#include "folder_lines.h"

#include <string.h>

// Copies the line that starts at *cursor into line (cut to fit) and moves the
// cursor past its line feed. Leaves line empty when no line feed follows.
static void TakeLine(const char **cursor, const char *end, char line[FOLDER_LINE_SIZE])
{
    const char *feed = (const char *)memchr(*cursor, '\n', (size_t)(end - *cursor));
    size_t length;

    line[0] = '\0';
    if (!feed) {
        *cursor = end;
        return;
    }
    length = (size_t)(feed - *cursor);
    if (length > FOLDER_LINE_SIZE - 1)
        length = FOLDER_LINE_SIZE - 1;
    memcpy(line, *cursor, length);
    line[length] = '\0';
    *cursor = feed + 1;
}

void ParseRememberedFolders(const char *text, size_t length, char source[FOLDER_LINE_SIZE],
                            char destination[FOLDER_LINE_SIZE])
{
    const char *cursor = text;
    const char *end;

    if (length > FOLDER_FILE_MAX)
        length = FOLDER_FILE_MAX;
    end = text + length;
    TakeLine(&cursor, end, source);
    TakeLine(&cursor, end, destination);
}
