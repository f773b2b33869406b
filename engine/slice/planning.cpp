// The portion planner's arithmetic (declared in planning.h): the units and
// floppy sizes, parsing what is typed, and the figures that follow from a
// typed or picked size, a unit change or a count. No OS calls and no texts:
// the window and the Linux command line share it.
#include "planning.h"

#include <math.h>
#include <stdio.h>
#include <stdlib.h>

#include "format/slice_format.h"

const uint32_t UnitFactors[UNIT_COUNT] = {1, 1024, 1048576};

// Bytes are whole 512-byte sectors: 700, 1415, 2371, 2845 and 5708.
const SizePreset SizePresets[SIZE_PRESET_COUNT] = {
    {360, UNIT_KB, 358400},
    {720, UNIT_KB, 724480},
    {1.2, UNIT_MB, 1213952},
    {1.44, UNIT_MB, 1456640},
    {2.88, UNIT_MB, 2922496},
};

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
    return WholeBytes(KnownUnit(unit) ? value * UnitFactors[unit] : value);
}

uint32_t ScaledPortionSize(double value, uint32_t factor)
{
    return WholeBytes(value * factor);
}

int TypedSizeBytes(double value, int unit, uint32_t *portionSize)
{
    int raised = !(value >= 1);

    *portionSize = SizeInUnit(raised ? 1 : value, unit);
    return raised;
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

int PortionsForSize(uint64_t sourceSize, uint32_t portionSize, uint64_t *count)
{
    if (SourceTooLargeToSlice(sourceSize))
        return SIZE_SOURCE_TOO_LARGE;
    if (!FolderPortionSizeAcceptable(portionSize))
        return SIZE_TOO_SMALL;
    *count = PortionsFor(sourceSize, portionSize);
    return SIZE_COUNTED;
}

int SizeForPortionLimit(uint64_t sourceSize, int64_t portionCount, uint32_t *resized)
{
    if (portionCount <= MAX_PORTIONS || SourceTooLargeToSlice(sourceSize))
        return 0;
    // 309 plus a hundredth of the source rounded up: MAX_PORTION_SIZE at
    // most, as the source is MAX_SET_DATA at most.
    *resized = (uint32_t)((sourceSize + (uint64_t)MAX_PORTIONS * PORTION_HEADER_SIZE) /
                              MAX_PORTIONS +
                          (sourceSize % MAX_PORTIONS != 0));
    return 1;
}

int EqualPortions(int32_t count, uint64_t sourceSize, int32_t *portionCount,
                  uint32_t *equalPortionSize)
{
    int result = 0;
    uint64_t size;

    *portionCount = count;
    if (count > MAX_PORTIONS) {
        *portionCount = MAX_PORTIONS;
        result = EQUAL_COUNT_CAPPED;
    }
    // Whatever the count, no size fits such a source.
    if (SourceTooLargeToSlice(sourceSize))
        return result | EQUAL_SOURCE_TOO_LARGE;
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
        *equalPortionSize = MAX_PORTION_SIZE;
        return result | EQUAL_SIZED | EQUAL_SIZE_HELD;
    }
    *equalPortionSize = (uint32_t)size;
    return result | EQUAL_SIZED;
}

int LeastPortionCount(int32_t count, int32_t *portionCount)
{
    *portionCount = count < PLAN_MIN_COUNT ? PLAN_MIN_COUNT : count;
    return count < PLAN_MIN_COUNT;
}
