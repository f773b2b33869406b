// The window planner's texts (planner_texts.h): the lists, the notes and the
// texts written back into the size and count fields, each formatted from
// the figures the planner works out.
#include "planner_texts.h"

#include <stdio.h>

#include "format/slice_format.h"
#include "recovery/write/recovery_size.h"

const char *const UnitTexts[UNIT_COUNT] = {"bytes", "KB", "MB"};
const char *const PresetTexts[SIZE_PRESET_COUNT] = {"360", "720", "1.2", "1.44", "2.88"};

const char SizeTooSmallNote[] = "Portions must be larger than 309 bytes";
// The number is MAX_SET_DATA; a test holds the texts and it together. The
// note is cut to the width of CountNote, the narrower note.
const char SourceTooLargeNote[] = "Too large: sets hold 429496698600";
const char SourceTooLargeMessage[] = "The file is too large for a slice set: a set holds at "
                                     "most 429496698600 bytes (100 portions of 4294967295 "
                                     "bytes, headers included).";
const char PortionLimitMessage[] = "Number of Portions MUST be less than 100 - Resizing";
const char PortionLimitNote[] = "100 Portions will be required";
const char RecoveryDiskNote[] = "On one more disk";

int TypedPortionSize(double value, int unit, uint32_t *portionSize, char *text, size_t textSize)
{
    if (!TypedSizeBytes(value, unit, portionSize))
        return 0;
    snprintf(text, textSize, "1");
    return PLAN_TEXT_REPLACED;
}

int RefreshSizeNote(uint64_t sourceSize, uint32_t portionSize, int32_t *portionCount,
                    char *note, size_t noteSize)
{
    uint64_t count = 0;
    int found = PortionsForSize(sourceSize, portionSize, &count);

    if (found == SIZE_SOURCE_TOO_LARGE) {
        snprintf(note, noteSize, "%s", SourceTooLargeNote);
    } else if (found == SIZE_TOO_SMALL) {
        snprintf(note, noteSize, "%s", SizeTooSmallNote);
    } else {
        // Beyond INT32_MAX the stored count only has to stay above the
        // limit; the note shows the real number.
        *portionCount = count > INT32_MAX ? INT32_MAX : (int32_t)count;
        snprintf(note, noteSize, "%llu Portions will be required", (unsigned long long)count);
    }
    return found;
}

int PortionLimitResize(uint64_t sourceSize, int64_t portionCount, uint32_t *resized,
                       char *text, size_t textSize)
{
    if (!SizeForPortionLimit(sourceSize, portionCount, resized))
        return 0;
    snprintf(text, textSize, "%lu", (unsigned long)*resized);
    return 1;
}

int RefreshCountNote(int32_t count, uint64_t sourceSize, int32_t *portionCount,
                     uint32_t *equalPortionSize, char *text, size_t textSize,
                     char *note, size_t noteSize)
{
    int plan = EqualPortions(count, sourceSize, portionCount, equalPortionSize);
    int result = 0;

    if (plan & EQUAL_COUNT_CAPPED) {
        snprintf(text, textSize, "%d", MAX_PORTIONS);
        result = PLAN_TEXT_REPLACED;
    }
    if (plan & EQUAL_SOURCE_TOO_LARGE)
        snprintf(note, noteSize, "%s", SourceTooLargeNote);
    else if (plan & EQUAL_SIZE_HELD)
        snprintf(note, noteSize, "At least %llu portions: 4 GiB limit",
                 (unsigned long long)SmallestEqualPortionCount(sourceSize));
    else if (plan & EQUAL_SIZED)
        snprintf(note, noteSize, "Portions will be %lu bytes", (unsigned long)*equalPortionSize);
    else
        return result;
    return result | PLAN_NOTE_WRITTEN | (plan & EQUAL_SIZE_HELD ? PLAN_COUNT_TOO_SMALL : 0);
}

int SmallestPortionCount(int32_t count, int32_t *portionCount, char *text, size_t textSize)
{
    if (!LeastPortionCount(count, portionCount))
        return 0;
    snprintf(text, textSize, "%d", PLAN_MIN_COUNT);
    return PLAN_TEXT_REPLACED;
}

int RecoveryBlocksStep(int32_t typed, int leaving, unsigned *blocks, char *text,
                       size_t textSize)
{
    if (typed > RECOVERY_BLOCKS_MOST) {
        *blocks = RECOVERY_BLOCKS_MOST;
        snprintf(text, textSize, "%d", RECOVERY_BLOCKS_MOST);
        return PLAN_TEXT_REPLACED;
    }
    if (typed >= 1) {
        *blocks = (unsigned)typed;
        return 0;
    }
    *blocks = 1;
    if (!leaving)
        return 0;
    snprintf(text, textSize, "1");
    return PLAN_TEXT_REPLACED;
}

int RecoveryNote(int removable, uint64_t sourceSize, uint32_t portionSize, size_t nameLength,
                 unsigned blocks, const char *creator, char *note, size_t noteSize)
{
    uint64_t count = 0, longest, bytes;

    note[0] = '\0';
    if (removable) {
        snprintf(note, noteSize, "%s", RecoveryDiskNote);
        return 1;
    }
    if (PortionsForSize(sourceSize, portionSize, &count) != SIZE_COUNTED || count > MAX_PORTIONS)
        return 0;
    // An empty source makes one header-only portion; a source that fits in
    // one portion makes a shorter one.
    longest = sourceSize + PORTION_HEADER_SIZE < portionSize ? sourceSize + PORTION_HEADER_SIZE
                                                             : portionSize;
    bytes = RecoveryDataBytes(count ? (unsigned)count : 1, longest, nameLength, blocks, creator);
    if (!bytes)
        return 0;
    snprintf(note, noteSize, "%llu bytes more", (unsigned long long)bytes);
    return 1;
}
