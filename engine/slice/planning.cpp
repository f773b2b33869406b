// The portion planner's arithmetic (declared in planning.h): the size and
// count lists, parsing what is typed, and the steps that turn a typed or
// picked size, a unit change or a count into portion sizes, counts and
// note lines. No OS calls: the window and the Linux command line share it.
#include "planning.h"

#include <math.h>
#include <stdio.h>
#include <stdlib.h>

#include "format/slice_format.h"

// The sizes are the lists' contents; their order is the controls' indexes.
const SizeUnit SizeUnits[UNIT_COUNT] = {
    {"bytes", 1},
    {"KB", 1024},
    {"MB", 1048576},
};

// Bytes are whole 512-byte sectors: 700, 1415, 2371, 2845 and 5708.
const SizePreset SizePresets[SIZE_PRESET_COUNT] = {
    {"360", 360, UNIT_KB, 358400},
    {"720", 720, UNIT_KB, 724480},
    {"1.2", 1.2, UNIT_MB, 1213952},
    {"1.44", 1.44, UNIT_MB, 1456640},
    {"2.88", 2.88, UNIT_MB, 2922496},
};

const char SizeTooSmallNote[] = "Portions must be larger than 309 bytes";
// The number is MAX_SET_DATA; a test holds the texts and it together. The
// note is cut to the width of CountNote, the narrower note.
const char SourceTooLargeNote[] = "Too large: sets hold 429496698600";
const char SourceTooLargeMessage[] = "The file is too large for a slice set: a set holds at "
                                     "most 429496698600 bytes (100 portions of 4294967295 "
                                     "bytes, headers included).";
const char PortionLimitMessage[] = "Number of Portions MUST be less than 100 - Resizing";
const char PortionLimitNote[] = "100 Portions will be required";

// The exponent beyond which every double is 0 or infinite; holding a typed
// exponent to it keeps its sum with the digit count from overflowing.
static const long ExponentBound = 100000;

// The "C" locale's white space, which is all a number may be preceded by.
static int IsBlank(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

static int IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

double ParseSizeValue(const char *text)
{
    // The digits are gathered without their point and handed to strtod with
    // a matching power of ten ("1.44" becomes "144e-2"): strtod rounds
    // correctly, and a text without a point reads the same in every locale.
    char digits[SIZE_TEXT_LIMIT + 24];
    size_t at = 0, length = 0;
    long fraction = 0, exponent = 0;
    int seen = 0;

    while (at < SIZE_TEXT_LIMIT && IsBlank(text[at]))
        at++;
    if (at < SIZE_TEXT_LIMIT && (text[at] == '+' || text[at] == '-')) {
        if (text[at] == '-')
            digits[length++] = '-';
        at++;
    }
    for (; at < SIZE_TEXT_LIMIT && IsDigit(text[at]); at++, seen++)
        digits[length++] = text[at];
    if (at < SIZE_TEXT_LIMIT && text[at] == '.')
        for (at++; at < SIZE_TEXT_LIMIT && IsDigit(text[at]); at++, seen++, fraction++)
            digits[length++] = text[at];
    if (!seen)
        return 0;

    // An exponent counts only with at least one digit: "2e" and "2e+" are 2.
    if (at < SIZE_TEXT_LIMIT && (text[at] == 'e' || text[at] == 'E')) {
        size_t mark = at + 1;
        int negative = 0;

        if (mark < SIZE_TEXT_LIMIT && (text[mark] == '+' || text[mark] == '-'))
            negative = text[mark++] == '-';
        for (; mark < SIZE_TEXT_LIMIT && IsDigit(text[mark]); mark++)
            if (exponent < ExponentBound)
                exponent = exponent * 10 + (text[mark] - '0');
        if (negative)
            exponent = -exponent;
    }
    snprintf(digits + length, sizeof digits - length, "e%ld", exponent - fraction);
    return strtod(digits, NULL);
}

int32_t ParseCountValue(const char *text)
{
    size_t at = 0;
    int64_t value = 0;
    int negative = 0;

    while (at < COUNT_TEXT_LIMIT && IsBlank(text[at]))
        at++;
    if (at < COUNT_TEXT_LIMIT && (text[at] == '+' || text[at] == '-'))
        negative = text[at++] == '-';
    // Past INT32_MAX + 1 the value only has to stay there, not grow.
    for (; at < COUNT_TEXT_LIMIT && IsDigit(text[at]); at++)
        if (value <= INT32_MAX)
            value = value * 10 + (text[at] - '0');
    if (negative)
        value = -value;
    if (value > INT32_MAX)
        return INT32_MAX;
    if (value < INT32_MIN)
        return INT32_MIN;
    return (int32_t)value;
}

int SourceTooLargeToSlice(uint64_t sourceSize)
{
    return sourceSize > MAX_SET_DATA;
}

// Portions of portionSize bytes (above the header) needed for the source.
static uint64_t PortionsFor(uint64_t sourceSize, uint32_t portionSize)
{
    uint64_t room = portionSize - PORTION_HEADER_SIZE;

    return sourceSize / room + (sourceSize % room != 0);
}

uint64_t SmallestEqualPortionCount(uint64_t sourceSize)
{
    uint64_t count = PortionsFor(sourceSize, MAX_PORTION_SIZE);

    return count ? count : 1;
}

int FolderPortionSizeAcceptable(uint32_t portionSize)
{
    return portionSize > PORTION_HEADER_SIZE;
}

// A byte count from a double: negative and NaN values, which no integer
// conversion may see, are 0; past the largest portion it is that portion.
static uint32_t WholeBytes(double bytes)
{
    if (!(bytes >= 0))
        return 0;
    if (bytes >= (double)MAX_PORTION_SIZE + 1)
        return MAX_PORTION_SIZE;
    return (uint32_t)bytes;
}

static int KnownUnit(int unit)
{
    return unit >= 0 && unit < UNIT_COUNT;
}

// Value times the unit's factor; an unknown unit leaves the value in bytes.
static uint32_t SizeInUnit(double value, int unit)
{
    return WholeBytes(KnownUnit(unit) ? value * SizeUnits[unit].Factor : value);
}

int TypedPortionSize(double value, int unit, uint32_t *portionSize, char *text, size_t textSize)
{
    int result = 0;

    if (!(value >= 1)) {
        value = 1;
        snprintf(text, textSize, "%1.lf", value);
        result = PLAN_TEXT_REPLACED;
    }
    *portionSize = SizeInUnit(value, unit);
    return result;
}

uint32_t PickedPortionSize(int index, double entryValue, int *unit)
{
    int i;

    if (index >= 0 && index < SIZE_PRESET_COUNT)
        *unit = SizePresets[index].Unit;
    // A preset's value gives its capacity in whichever unit is selected.
    for (i = 0; i < SIZE_PRESET_COUNT; i++)
        if (entryValue == SizePresets[i].Value)
            return SizePresets[i].Bytes;
    return SizeInUnit(entryValue, *unit);
}

uint32_t UnitChangePortionSize(double textValue, int entrySelected, double entryValue, int unit)
{
    double value = textValue;
    int i;

    if (value == 0 && entrySelected)
        value = entryValue;
    // Here a preset applies only together with its own unit.
    for (i = 0; i < SIZE_PRESET_COUNT; i++)
        if (value == SizePresets[i].Value && unit == SizePresets[i].Unit)
            return SizePresets[i].Bytes;
    return SizeInUnit(value, unit);
}

int RefreshSizeNote(uint64_t sourceSize, uint32_t portionSize, int32_t *portionCount,
                    char *note, size_t noteSize)
{
    uint64_t count;

    if (SourceTooLargeToSlice(sourceSize)) {
        snprintf(note, noteSize, "%s", SourceTooLargeNote);
        return SIZE_NOTE_SOURCE_TOO_LARGE;
    }
    if (!FolderPortionSizeAcceptable(portionSize)) {
        snprintf(note, noteSize, "%s", SizeTooSmallNote);
        return SIZE_NOTE_TOO_SMALL;
    }
    count = PortionsFor(sourceSize, portionSize);
    // Beyond INT32_MAX the stored count only has to stay above the limit;
    // the note shows the real number.
    *portionCount = count > INT32_MAX ? INT32_MAX : (int32_t)count;
    snprintf(note, noteSize, "%llu Portions will be required", (unsigned long long)count);
    return SIZE_NOTE_COUNT;
}

int PortionLimitResize(uint64_t sourceSize, int64_t portionCount, uint32_t *resized,
                       char *text, size_t textSize)
{
    uint64_t size;

    if (portionCount <= MAX_PORTIONS || SourceTooLargeToSlice(sourceSize))
        return 0;
    // 309 plus a hundredth of the source rounded up: MAX_PORTION_SIZE at
    // most, as the source is MAX_SET_DATA at most.
    size = (sourceSize + (uint64_t)MAX_PORTIONS * PORTION_HEADER_SIZE) / MAX_PORTIONS +
           (sourceSize % MAX_PORTIONS != 0);
    *resized = (uint32_t)size;
    snprintf(text, textSize, "%lu", (unsigned long)*resized);
    return 1;
}

int RefreshCountNote(int32_t count, uint64_t sourceSize, int32_t *portionCount,
                     uint32_t *equalPortionSize, char *text, size_t textSize,
                     char *note, size_t noteSize)
{
    int result = 0;
    uint64_t size, fewest;

    *portionCount = count;
    if (count > MAX_PORTIONS) {
        *portionCount = MAX_PORTIONS;
        snprintf(text, textSize, "%d", MAX_PORTIONS);
        result = PLAN_TEXT_REPLACED;
    }
    // Whatever the count, no size fits such a source.
    if (SourceTooLargeToSlice(sourceSize)) {
        snprintf(note, noteSize, "%s", SourceTooLargeNote);
        return result | PLAN_NOTE_WRITTEN;
    }
    if (*portionCount <= 0)
        return result;
    size = ((uint64_t)*portionCount * PORTION_HEADER_SIZE + sourceSize) / (uint64_t)*portionCount +
           (sourceSize % (uint64_t)*portionCount != 0);
    // An empty source still makes a set, its one portion the header alone;
    // a size with room for a byte is one every check takes for a portion.
    if (size == PORTION_HEADER_SIZE)
        size = PORTION_HEADER_SIZE + 1;
    if (size > MAX_PORTION_SIZE) {
        // A portion's size is a 32-bit number: so few portions cannot hold
        // the source. The held size keeps a job from meeting a wrapped one.
        fewest = SmallestEqualPortionCount(sourceSize);
        *equalPortionSize = MAX_PORTION_SIZE;
        snprintf(note, noteSize, "At least %llu portions: 4 GiB limit", (unsigned long long)fewest);
        return result | PLAN_NOTE_WRITTEN | PLAN_COUNT_TOO_SMALL;
    }
    *equalPortionSize = (uint32_t)size;
    snprintf(note, noteSize, "Portions will be %lu bytes", (unsigned long)*equalPortionSize);
    return result | PLAN_NOTE_WRITTEN;
}

int SmallestPortionCount(int32_t count, int32_t *portionCount, char *text, size_t textSize)
{
    *portionCount = count;
    if (count >= PLAN_MIN_COUNT)
        return 0;
    *portionCount = PLAN_MIN_COUNT;
    snprintf(text, textSize, "%d", PLAN_MIN_COUNT);
    return PLAN_TEXT_REPLACED;
}
