// What the window's planner fields and notes show, worked out from the
// planner's figures (slice/planning.h): the size and unit lists, the note
// lines under the size and count fields, the texts a step writes back into
// a field, and the planner's message texts. No Win32 calls: built
// everywhere, so that every text is checked natively.
//
// Each step takes the figures the window holds and tells it what to write
// back: a size or count, a field's new text (PLAN_TEXT_REPLACED, the text in
// a caller buffer) and the note line (in a caller buffer).
#ifndef DORVANE_PLANNER_TEXTS_H
#define DORVANE_PLANNER_TEXTS_H

#include <stddef.h>
#include <stdint.h>

#include "folder_lines.h"
#include "slice/planning.h"

enum { PLAN_TEXT_SIZE = 256 }; // a buffer that holds any text a step writes

// What a step asks the window to do besides storing its figures.
enum {
    PLAN_TEXT_REPLACED = 1,  // set the field's text to the returned text
    PLAN_NOTE_WRITTEN = 2,   // set the note to the returned note
    PLAN_COUNT_TOO_SMALL = 4 // the note says so few portions would reach 4 GiB
};

// Which line RefreshSizeNote wrote into SizeNote.
enum {
    SIZE_NOTE_COUNT = SIZE_COUNTED,
    SIZE_NOTE_TOO_SMALL = SIZE_TOO_SMALL,
    SIZE_NOTE_SOURCE_TOO_LARGE = SIZE_SOURCE_TOO_LARGE
};

// UnitCombo's list: bytes, KB, MB (the order of the UNIT_ values).
extern const char *const UnitTexts[UNIT_COUNT];
// SizeCombo's list: the texts of SizePresets, in its order.
extern const char *const PresetTexts[SIZE_PRESET_COUNT];

// Lines and message texts the planner and the Slice command show.
extern const char SizeTooSmallNote[];      // SizeNote for a size of 309 bytes or less
extern const char SourceTooLargeNote[];    // either note for a source above MAX_SET_DATA
extern const char SourceTooLargeMessage[]; // Slice's refusal of such a source
extern const char PortionLimitMessage[];   // the resizing message box's text
extern const char PortionLimitNote[];      // SizeNote right after resizing

// Typed size: PortionSize from SizeCombo's value in the selected unit
// (TypedSizeBytes). A value below 1 becomes 1; then PLAN_TEXT_REPLACED is
// returned and text holds "1" for SizeCombo.
int TypedPortionSize(double value, int unit, uint32_t *portionSize, char *text, size_t textSize);

// Size refresh: *portionCount becomes the count that portionSize needs for
// the source (held to INT32_MAX), unless the size is too small or the
// source too large, and note receives SizeNote's line. Returns a SIZE_NOTE_
// value.
int RefreshSizeNote(uint64_t sourceSize, uint32_t portionSize, int32_t *portionCount,
                    char *note, size_t noteSize);

// Portion limit check: 1 when portionCount is above 100; then *resized is
// the smallest size that needs at most 100 portions and text holds it for
// SizeCombo (the unit becomes bytes). 0 for a source too large to slice.
int PortionLimitResize(uint64_t sourceSize, int64_t portionCount, uint32_t *resized,
                       char *text, size_t textSize);

// Count refresh: count is the number in CountEdit's text (EqualPortions).
// Sets *portionCount; a count above 100 becomes 100 (PLAN_TEXT_REPLACED,
// text "100"). For a count of 1 or more, *equalPortionSize and note are
// written (PLAN_NOTE_WRITTEN); for a source too large to slice only the
// note is. A count whose portions would pass MAX_PORTION_SIZE adds
// PLAN_COUNT_TOO_SMALL: the size is held to MAX_PORTION_SIZE and the note
// names the fewest that fit.
int RefreshCountNote(int32_t count, uint64_t sourceSize, int32_t *portionCount,
                     uint32_t *equalPortionSize, char *text, size_t textSize,
                     char *note, size_t noteSize);

// Smallest count, when CountEdit is left: sets *portionCount; a count of 1
// or less becomes 2 (PLAN_TEXT_REPLACED, text "2").
int SmallestPortionCount(int32_t count, int32_t *portionCount, char *text, size_t textSize);

// The recovery row: the blocks field and the note beside it.

// Blocks field: *blocks from typed, the number in its text. A number above
// RECOVERY_BLOCKS_MOST becomes it at once, and one below 1 becomes 1 once
// the field is left (leaving 1): PLAN_TEXT_REPLACED, text holding the
// number. While the field is being typed in, a number below 1 counts as 1.
int RecoveryBlocksStep(int32_t typed, int leaving, unsigned *blocks, char *text,
                       size_t textSize);

// RecoveryNote's lines.
extern const char RecoveryDiskNote[]; // disk after disk: the block goes on one more disk

// The recovery note: what the recovery data adds to a set. removable: the
// disk method, whose one block goes on a disk of its own (RecoveryDiskNote).
// Otherwise a folder set of a source of sourceSize bytes in portions of
// portionSize bytes, header included, with names of nameLength bytes,
// blocks recovery blocks and the creator text the files carry: the bytes
// both files take ("1474996 bytes more"). Returns 1 with note written, or
// 0 with note empty where the planner's notes give no set (a size too
// small, a source too large, more than 100 portions).
int RecoveryNote(int removable, uint64_t sourceSize, uint32_t portionSize, size_t nameLength,
                 unsigned blocks, const char *creator, char *note, size_t noteSize);

#endif
