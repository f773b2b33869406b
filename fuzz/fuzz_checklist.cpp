// Fuzz target: the checksum list. Any text is read without reading outside
// it; a list written for a set made of the input reads back as that set;
// the list's name never takes another member's name; and the two CRC
// methods agree on the input at any alignment.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "integrity/checklist.h"
#include "integrity/crc32.h"

// Stops the run where the property broke, with the input saved.
#define REQUIRE(condition) \
    do {                    \
        if (!(condition))   \
            __builtin_trap(); \
    } while (0)

static char Upper(char c)
{
    return c >= 'a' && c <= 'z' ? (char)(c - 32) : c;
}

static int SameNoCase(const char *a, const char *b)
{
    for (; *a && *b; a++, b++)
        if (Upper(*a) != Upper(*b))
            return 0;
    return *a == *b;
}

// Reads the input as a list, from an exact-size copy so that any read past
// its end is caught.
static void ReadAsList(const uint8_t *data, size_t size)
{
    char *text = (char *)malloc(size ? size : 1);
    ChecklistInfo info;
    uint32_t crc;

    memcpy(text, data, size);
    int result = ChecklistParse(text, size, &info);
    if (result == CHECKLIST_OK) {
        REQUIRE(info.Portions >= 1 && info.Portions <= MAX_PORTIONS);
        REQUIRE(memchr(info.FileName, 0, sizeof info.FileName));
        ChecklistFind(text, size, info.FileName, &crc);
    }
    REQUIRE(result != CHECKLIST_BAD_LINE || info.BadLine > 0);
    free(text);
}

// A set whose name, size and CRCs come from the input.
static void WriteAndReadBack(const uint8_t *data, size_t size)
{
    char name[FILE_NAME_FIELD], listName[FILE_NAME_FIELD];
    uint32_t crcs[MAX_PORTIONS];
    size_t length = size < FILE_NAME_FIELD - 1 ? size : FILE_NAME_FIELD - 1;
    uint64_t fileSize = 0;

    memcpy(name, data, length);
    name[length] = 0;
    crcs[0] = Crc32Update(0, data, size);
    for (unsigned i = 1; i < MAX_PORTIONS; i++)
        crcs[i] = crcs[i - 1] * 2654435761u + i;
    for (size_t i = 0; i < 8 && i < size; i++)
        fileSize = fileSize << 8 | data[size - 1 - i];
    ChecklistSet set = {"1.0.0", name, fileSize, crcs[7], 1 + (unsigned)(size % MAX_PORTIONS), crcs};
    size_t expected = ChecklistSize(&set);
    if (expected) {
        char *text = (char *)malloc(expected);
        ChecklistInfo info;
        REQUIRE(ChecklistWrite(&set, text, expected) == expected);
        REQUIRE(ChecklistParse(text, expected, &info) == CHECKLIST_OK);
        REQUIRE(strcmp(info.FileName, name) == 0 && info.FileSize == fileSize);
        REQUIRE(info.FileCrc == crcs[7] && info.Portions == set.Portions);
        for (unsigned n = 0; n < set.Portions; n++) {
            char portion[FILE_NAME_FIELD];
            uint32_t crc;
            strcpy(portion, name);
            SetPortionNumber(portion, n);
            REQUIRE(ChecklistFind(text, expected, portion, &crc) && crc == crcs[n]);
        }
        free(text);
    }
    if (ChecklistName(name, listName) == 0) {
        REQUIRE(strlen(listName) < FILE_NAME_FIELD && PortionNumberOf(listName) == -1);
        REQUIRE(!SameNoCase(listName, name) && !SameNoCase(listName, "KELMORIX.EXE"));
    } else {
        REQUIRE(name[0] == 0);
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    ReadAsList(data, size);
    WriteAndReadBack(data, size);
    for (size_t skip = 0; skip < 16 && skip < size; skip += 5)
        REQUIRE(Crc32UpdateBy(CRC32_CARRYLESS, 0, data + skip, size - skip) ==
                Crc32UpdateBy(CRC32_TABLE, 0, data + skip, size - skip));
    return 0;
}
