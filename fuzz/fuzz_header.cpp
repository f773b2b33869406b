// Fuzz target: the portion header's decoding and the checks made on what a
// header carries, against properties that follow from the format's table.
#include <stdint.h>
#include <string.h>

#include "format/name_text.h"
#include "format/slice_format.h"
#include "os/names.h"

// Stops the run where the property broke, with the input saved.
#define REQUIRE(condition) \
    do {                    \
        if (!(condition))   \
            __builtin_trap(); \
    } while (0)

// Whether the name before its first dot, blanks at its end dropped, is a
// Windows device: compared as upper-case text against the list.
static int IsDevice(const unsigned char *field)  // UTF-8
{
    static const char *const Devices[] = {
        "CON",  "PRN",  "AUX",  "NUL",  "CONIN$", "CONOUT$", "COM1", "COM2", "COM3",
        "COM4", "COM5", "COM6", "COM7", "COM8",   "COM9",    "LPT1", "LPT2", "LPT3",
        "LPT4", "LPT5", "LPT6", "LPT7", "LPT8",   "LPT9",    "COM\xC2\xB9", "COM\xC2\xB2",
        "COM\xC2\xB3", "LPT\xC2\xB9", "LPT\xC2\xB2", "LPT\xC2\xB3"};
    char stem[NAME_TEXT_SIZE];
    size_t n = 0, i;

    while (field[n] && field[n] != '.') {
        stem[n] = (char)(field[n] >= 'a' && field[n] <= 'z' ? field[n] - 32 : field[n]);
        n++;
    }
    while (n > 0 && stem[n - 1] == ' ')
        n--;
    stem[n] = 0;
    for (i = 0; i < sizeof Devices / sizeof Devices[0]; i++)
        if (strcmp(stem, Devices[i]) == 0)
            return 1;
    return 0;
}

// The name rule spelled out character by character, independently of
// CheckStoredFileName: the name read as UTF-8, or as a name of the ANSI era.
static int ExpectedNameCheck(const unsigned char *field)
{
    unsigned char text[NAME_TEXT_SIZE];
    size_t length = 0, i;
    uint32_t c;
    int bytes;

    while (length < FILE_NAME_FIELD && field[length])
        length++;
    if (length == FILE_NAME_FIELD)
        return NAME_UNTERMINATED;
    if (IsUtf8((const char *)field, length))
        memcpy(text, field, length + 1);
    else if (OsLegacyNameToUtf8((const char *)field, length, (char *)text, sizeof text) != 0)
        return NAME_UNTERMINATED;
    length = strlen((const char *)text);
    if (length == 0)
        return NAME_EMPTY;
    if ((length == 1 && text[0] == '.') || (length == 2 && text[0] == '.' && text[1] == '.'))
        return NAME_DOT;
    for (i = 0; i < length; i += (size_t)bytes) {
        bytes = Utf8Next((const char *)text + i, length - i, &c);
        REQUIRE(bytes > 0);
        if (c < 0x20 || (c >= 0x7F && c < 0xA0))
            return NAME_CONTROL;
    }
    for (i = 0; i < length; i++)
        if (text[i] == '/' || text[i] == '\\' || text[i] == ':')
            return NAME_SEPARATOR;
    for (i = 0; i < length; i++)
        if (strchr("<>\"|?*", text[i]))
            return NAME_FORBIDDEN;
    if (IsDevice(text))
        return NAME_DEVICE;
    if (text[length - 1] == '.' || text[length - 1] == ' ')
        return NAME_ALTERED;
    return NAME_OK;
}

// Portion numbering on a path made of the input's bytes after the header.
static void CheckNumbering(const uint8_t *data, size_t size)
{
    char path[64];
    size_t length = size < sizeof path - 1 ? size : sizeof path - 1;
    unsigned number = length ? data[0] % 120 : 0;
    const char *name;

    memcpy(path, data, length);
    path[length] = 0;
    length = strlen(path);
    name = SourceFileName(path);
    REQUIRE(name >= path && name <= path + length);
    REQUIRE(!strchr(name, '\\'));
    if (SetPortionNumber(path, number) == 0) {
        REQUIRE(number < MAX_PORTIONS && length >= 2);
        REQUIRE(PortionNumberOf(path) == (int)number);
        REQUIRE(strlen(path) == length);
    } else {
        REQUIRE(number >= MAX_PORTIONS || length < 2);
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    unsigned char raw[PORTION_HEADER_SIZE], again[PORTION_HEADER_SIZE];
    size_t used = size < PORTION_HEADER_SIZE ? size : PORTION_HEADER_SIZE;
    size_t changed;
    PortionHeader header;

    memset(raw, 0, sizeof raw);
    memcpy(raw, data, used);
    DecodePortionHeader(raw, &header);
    EncodePortionHeader(&header, again);
    REQUIRE(memcmp(raw, again, sizeof raw) == 0);

    // Only byte 0 may differ between two portions of one set.
    again[0] ^= 0xFF;
    REQUIRE(SameSliceSet(raw, again));
    changed = 1 + (used ? data[used - 1] : 0) % (PORTION_HEADER_SIZE - 1);
    again[changed] ^= 0x01;
    REQUIRE(!SameSliceSet(raw, again));

    REQUIRE(CheckStoredFileName(header.FileName) ==
            ExpectedNameCheck(raw + OFFSET_FILE_NAME));
    CheckNumbering(data + used, size - used);
    return 0;
}
