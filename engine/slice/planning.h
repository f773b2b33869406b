// The portion planner's arithmetic: how the portion size and the number of
// portions of the two folder methods follow from the source size, a size
// typed or picked with its unit, and a number of equal portions.
//
// Pure computation: no OS calls and no texts. The window keeps the figures
// and writes its fields and notes from them (window/planner_texts.h); the
// Linux command works out its portion size with the same functions and
// says in its own words what it refuses. So every figure is checked
// natively.
#ifndef DORVANE_PLANNING_H
#define DORVANE_PLANNING_H

#include <stddef.h>
#include <stdint.h>

// The units a size is given in, in the order the window lists them.
enum { UNIT_BYTES = 0, UNIT_KB = 1, UNIT_MB = 2, UNIT_COUNT = 3 };

enum {
    SIZE_PRESET_COUNT = 5,  // the floppy sizes offered
    SIZE_TEXT_LIMIT = 255,  // characters of a typed size that are read
    COUNT_TEXT_LIMIT = 254, // characters of a typed count that are read
    PLAN_MIN_COUNT = 2      // the fewest equal portions a job makes
};

// Bytes per unit: 1, 1024, 1048576.
extern const uint32_t UnitFactors[UNIT_COUNT];

// A floppy size on offer. Bytes is the real capacity in whole sectors, which
// is less than Value times the unit's factor.
struct SizePreset {
    double Value;   // the size's number, compared exactly with typed values
    int Unit;       // the unit picking the size selects
    uint32_t Bytes; // the portion size when the preset applies
};

// 360 and 720 KB, 1.2, 1.44 and 2.88 MB, in the order the window lists them.
extern const SizePreset SizePresets[SIZE_PRESET_COUNT];

// The number at the start of text, read as a decimal number with an optional
// fraction and exponent: 0 when the text does not start with one. At most
// SIZE_TEXT_LIMIT characters are looked at; the locale plays no part.
double ParseSizeValue(const char *text);

// The whole decimal number at the start of text (at most COUNT_TEXT_LIMIT
// characters), 0 when there is none, held to the int32_t range.
int32_t ParseCountValue(const char *text);

// 1 when a source of sourceSize bytes is too large for any slice set: more
// than MAX_SET_DATA, 100 portions of the largest size.
int SourceTooLargeToSlice(uint64_t sourceSize);

// The fewest equal portions of a source that stay within MAX_PORTION_SIZE,
// header included: 1 up to MAX_PORTION_SIZE - 309 bytes, 100 at
// MAX_SET_DATA, more than 100 for a source too large to slice.
uint64_t SmallestEqualPortionCount(uint64_t sourceSize);

// 1 when a folder job's portion size leaves room for data after the header.
int FolderPortionSizeAcceptable(uint32_t portionSize);

// Typed size: *portionSize from value in unit. A value below 1 counts as 1;
// then 1 is returned (the size typed is to read 1), else 0. Here and in the
// two functions below a size past MAX_PORTION_SIZE is held to it.
int TypedSizeBytes(double value, int unit, uint32_t *portionSize);

// Picked size: index is the picked preset (-1 for none), entryValue the
// number it shows. *unit holds the selected unit and receives the unit to
// select. Returns the portion size.
uint32_t PickedPortionSize(int index, double entryValue, int *unit);

// A size of value units of factor bytes each, where the window's units and
// floppy sizes do not apply (the command line's G, KiB, MiB): whole bytes,
// 0 for a value below 0, held to MAX_PORTION_SIZE.
uint32_t ScaledPortionSize(double value, uint32_t factor);

// Unit change: textValue is the number typed; entrySelected and entryValue
// tell whether a preset is picked and its number. Returns the portion size
// in the newly selected unit.
uint32_t UnitChangePortionSize(double textValue, int entrySelected, double entryValue, int unit);

// What PortionsForSize found.
enum { SIZE_COUNTED = 0, SIZE_TOO_SMALL = 1, SIZE_SOURCE_TOO_LARGE = 2 };

// The portions of portionSize bytes, header included, that a source of
// sourceSize bytes needs, into *count: SIZE_COUNTED. *count is untouched
// when the source is too large for any set (SIZE_SOURCE_TOO_LARGE, asked
// first) or the size leaves no room for data (SIZE_TOO_SMALL).
int PortionsForSize(uint64_t sourceSize, uint32_t portionSize, uint64_t *count);

// 1 when portionCount is above 100 for a source a set can carry: *resized
// is then the smallest size that needs at most 100 portions. 0 otherwise.
int SizeForPortionLimit(uint64_t sourceSize, int64_t portionCount, uint32_t *resized);

// What EqualPortions did, as bits.
enum {
    EQUAL_COUNT_CAPPED = 1,    // a count above 100 became 100
    EQUAL_SIZED = 2,           // *equalPortionSize was written
    EQUAL_SIZE_HELD = 4,       // with EQUAL_SIZED: the size is held to MAX_PORTION_SIZE,
                               // so few portions cannot hold the source (a job would make
                               // SmallestEqualPortionCount of them)
    EQUAL_SOURCE_TOO_LARGE = 8 // no count fits such a source; no size is written
};

// Equal portions: *portionCount becomes count, held to 100, and for a count
// of 1 or more *equalPortionSize the size that makes that many portions of
// the source. Returns EQUAL_ bits.
int EqualPortions(int32_t count, uint64_t sourceSize, int32_t *portionCount,
                  uint32_t *equalPortionSize);

// The count once the count field is left: *portionCount becomes count, or
// PLAN_MIN_COUNT for a count below it; then 1 is returned, else 0.
int LeastPortionCount(int32_t count, int32_t *portionCount);

#endif
