// The portion planner's arithmetic: how the portion size and the number of
// portions of the two folder methods follow from the source size, the size
// typed or picked with its unit, and the number typed for equal portions.
//
// The window keeps PortionSize, EqualPortionSize and PortionCount and does
// all control reading and writing itself (the Linux command line reads its
// sizes through the same parsing); these functions only compute, with no
// OS calls, so that every figure can be checked natively. Each step function takes the
// figures the window holds and tells it what to write back: a size or count,
// a control text to replace (returned as PLAN_TEXT_REPLACED, the text in a
// caller buffer) and the note line (formatted into a caller buffer).
#ifndef DORVANE_PLANNING_H
#define DORVANE_PLANNING_H

#include <stddef.h>
#include <stdint.h>

// Indexes of UnitCombo's list, which is the order of SizeUnits.
enum { UNIT_BYTES = 0, UNIT_KB = 1, UNIT_MB = 2, UNIT_COUNT = 3 };

enum {
    SIZE_PRESET_COUNT = 5,  // entries of SizeCombo's list
    SIZE_TEXT_LIMIT = 255,  // characters of SizeCombo's text that are read
    COUNT_TEXT_LIMIT = 254, // characters of CountEdit's text that are read
    PLAN_TEXT_SIZE = 256,   // a buffer that holds any text a step writes
    PLAN_MIN_COUNT = 2      // the fewest portions once CountEdit is left
};

// What a step asks the window to do besides storing its figures.
enum {
    PLAN_TEXT_REPLACED = 1,  // set the control's text to the returned text
    PLAN_NOTE_WRITTEN = 2,   // set the note to the returned note
    PLAN_COUNT_TOO_SMALL = 4 // the note says so few portions would reach 4 GiB
};

// Which line RefreshSizeNote wrote into SizeNote.
enum { SIZE_NOTE_COUNT = 0, SIZE_NOTE_TOO_SMALL = 1, SIZE_NOTE_SOURCE_TOO_LARGE = 2 };

struct SizeUnit {
    const char *Text; // as listed in UnitCombo
    uint32_t Factor;  // bytes per unit
};

// A floppy size offered in SizeCombo. Bytes is the real capacity in whole
// sectors, which is less than Value times the unit's factor.
struct SizePreset {
    const char *Text; // as listed in SizeCombo
    double Value;     // the number in Text, compared exactly with typed values
    int Unit;         // the unit picking the entry selects
    uint32_t Bytes;   // the portion size when the preset applies
};

// UnitCombo's list: bytes, KB, MB.
extern const SizeUnit SizeUnits[UNIT_COUNT];
// SizeCombo's list: 360 and 720 KB, 1.2, 1.44 and 2.88 MB.
extern const SizePreset SizePresets[SIZE_PRESET_COUNT];

// Lines and message text the planner and the Slice command show.
extern const char SizeTooSmallNote[];      // SizeNote for a size of 309 bytes or less
extern const char SourceTooLargeNote[];    // either note for a source above MAX_SET_DATA
extern const char SourceTooLargeMessage[]; // Slice's refusal of such a source
extern const char PortionLimitMessage[];   // the resizing message box's text
extern const char PortionLimitNote[];      // SizeNote right after resizing

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

// Typed size: PortionSize from SizeCombo's value in the selected unit. A
// value below 1 becomes 1; then PLAN_TEXT_REPLACED is returned and text
// holds the replacement for SizeCombo's text. Here and in the two steps
// below a size past MAX_PORTION_SIZE is held to it.
int TypedPortionSize(double value, int unit, uint32_t *portionSize, char *text, size_t textSize);

// Picked size: index is SizeCombo's selected entry, entryValue the number in
// that entry's text. *unit holds UnitCombo's selection and receives the unit
// to select. Returns PortionSize.
uint32_t PickedPortionSize(int index, double entryValue, int *unit);

// Unit change: textValue is the number in SizeCombo's text; entrySelected
// and entryValue tell whether an entry is selected and the number in its
// text. Returns PortionSize for the newly selected unit.
uint32_t UnitChangePortionSize(double textValue, int entrySelected, double entryValue, int unit);

// Size refresh: *portionCount becomes the count that portionSize needs for
// the source, unless the size is too small or the source too large, and
// note receives SizeNote's line. Returns a SIZE_NOTE_ value.
int RefreshSizeNote(uint64_t sourceSize, uint32_t portionSize, int32_t *portionCount,
                    char *note, size_t noteSize);

// Portion limit check: 1 when portionCount is above 100; then *resized is
// the smallest size that needs at most 100 portions and text holds it for
// SizeCombo (the unit becomes bytes). 0 for a source too large to slice.
int PortionLimitResize(uint64_t sourceSize, int64_t portionCount, uint32_t *resized,
                       char *text, size_t textSize);

// Count refresh: count is the number in CountEdit's text. Sets
// *portionCount; a count above 100 becomes 100 (PLAN_TEXT_REPLACED, text
// "100"). For a count of 1 or more, *equalPortionSize and note are written
// (PLAN_NOTE_WRITTEN); for a source too large to slice only the note is.
// A count whose portions would pass MAX_PORTION_SIZE adds
// PLAN_COUNT_TOO_SMALL: the size is held to MAX_PORTION_SIZE (a job would
// make more portions than counted) and the note names the fewest that fit.
int RefreshCountNote(int32_t count, uint64_t sourceSize, int32_t *portionCount,
                     uint32_t *equalPortionSize, char *text, size_t textSize,
                     char *note, size_t noteSize);

// Smallest count, when CountEdit is left: sets *portionCount; a count of 1
// or less becomes 2 (PLAN_TEXT_REPLACED, text "2").
int SmallestPortionCount(int32_t count, int32_t *portionCount, char *text, size_t textSize);

#endif
