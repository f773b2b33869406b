// The remembered-folders file's text (folder_lines.h): its two folder lines
// read and cut to what a path may hold, the recovery choice after them, and
// the file's text written back.
#include "folder_lines.h"

#include <stdio.h>
#include <string.h>

#include "format/name_text.h"

enum { UTF8_FOUR_BYTES = 4 }; // a character beyond the BMP: two UTF-16 units

static const char RecoveryOnLine[] = "recovery=on";
static const char RecoveryOffLine[] = "recovery=off";
static const char BlocksKey[] = "recovery-blocks=";

size_t Utf8Units(const char *text, size_t length)
{
    size_t units = 0, at = 0;
    uint32_t codePoint;
    int bytes;

    while (at < length) {
        bytes = Utf8Next(text + at, length - at, &codePoint);
        units += bytes == UTF8_FOUR_BYTES ? 2 : 1;
        at += bytes ? (size_t)bytes : 1;
    }
    return units;
}

// How many of a line's bytes a folder keeps: for UTF-8, whole characters up
// to FOLDER_CHARACTERS units; for the ANSI era, FOLDER_CHARACTERS bytes.
static size_t KeptBytes(const char *line, size_t length)
{
    size_t at = 0, units = 0;
    uint32_t codePoint;
    int bytes;

    if (!IsUtf8(line, length))
        return length < FOLDER_CHARACTERS ? length : (size_t)FOLDER_CHARACTERS;
    while (at < length) {
        bytes = Utf8Next(line + at, length - at, &codePoint);
        units += bytes == UTF8_FOUR_BYTES ? 2 : 1;
        if (units > FOLDER_CHARACTERS)
            break;
        at += (size_t)bytes;
    }
    return at;
}

// The line that starts at *cursor: its start and length in *line and
// *lineLength, the cursor moved past its line feed. Returns 0, cursor at the
// end, when no line feed follows.
static int NextLine(const char **cursor, const char *end, const char **line, size_t *lineLength)
{
    const char *feed = (const char *)memchr(*cursor, '\n', (size_t)(end - *cursor));

    if (!feed) {
        *cursor = end;
        return 0;
    }
    *line = *cursor;
    *lineLength = (size_t)(feed - *cursor);
    *cursor = feed + 1;
    return 1;
}

// Copies the line that starts at *cursor into folder, cut to what it keeps,
// and moves the cursor past its line feed. Leaves folder empty when no line
// feed follows.
static void TakeLine(const char **cursor, const char *end, char folder[FOLDER_LINE_SIZE])
{
    const char *line;
    size_t length;

    folder[0] = '\0';
    if (!NextLine(cursor, end, &line, &length))
        return;
    length = KeptBytes(line, length);
    memcpy(folder, line, length);
    folder[length] = '\0';
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

static int LineIs(const char *line, size_t length, const char *expected)
{
    return length == strlen(expected) && memcmp(line, expected, length) == 0;
}

// The number of blocks a "recovery-blocks=N" line names, or 0 for none.
static unsigned BlocksOf(const char *line, size_t length)
{
    size_t key = sizeof BlocksKey - 1, at;
    unsigned blocks = 0;

    if (length <= key || length > key + 2 || memcmp(line, BlocksKey, key) != 0)
        return 0;
    for (at = key; at < length; at++) {
        if (line[at] < '0' || line[at] > '9')
            return 0;
        blocks = blocks * 10 + (unsigned)(line[at] - '0');
    }
    return blocks <= RECOVERY_BLOCKS_MOST ? blocks : 0;
}

void ParseRecoveryChoice(const char *text, size_t length, RecoveryChoice *choice)
{
    const char *cursor = text, *end, *line;
    size_t lineLength;
    unsigned n, blocks;

    choice->On = 0;
    choice->Blocks = RECOVERY_BLOCKS_DEFAULT;
    if (length > FOLDER_FILE_MAX)
        length = FOLDER_FILE_MAX;
    end = text + length;
    for (n = 0; NextLine(&cursor, end, &line, &lineLength); n++) {
        if (n < 2)
            continue; // the folders
        if (LineIs(line, lineLength, RecoveryOnLine))
            choice->On = 1;
        else if (LineIs(line, lineLength, RecoveryOffLine))
            choice->On = 0;
        else if ((blocks = BlocksOf(line, lineLength)) != 0)
            choice->Blocks = blocks;
    }
}

size_t FormatRememberedFolders(const char *source, const char *destination,
                               const RecoveryChoice *choice, char *out, size_t size)
{
    unsigned blocks = choice->Blocks >= 1 && choice->Blocks <= RECOVERY_BLOCKS_MOST
                          ? choice->Blocks
                          : (unsigned)RECOVERY_BLOCKS_DEFAULT;
    int length;

    if (choice->On || blocks != RECOVERY_BLOCKS_DEFAULT)
        length = snprintf(out, size, "%s\n%s\n%s\n%s%u\n", source, destination,
                          choice->On ? RecoveryOnLine : RecoveryOffLine, BlocksKey, blocks);
    else
        length = snprintf(out, size, "%s\n%s\n", source, destination);
    return length > 0 && (size_t)length < size ? (size_t)length : 0;
}
