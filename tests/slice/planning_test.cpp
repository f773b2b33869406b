// The portion planner: number reading, the preset table, and the size and
// count steps with the figures and texts the window shows (the arithmetic in
// slice/planning.h, the window's texts from it in planner_texts.h).
#include <gtest/gtest.h>

#include <math.h>
#include <stdint.h>

#include <string>

#include "format/slice_format.h"
#include "planner_texts.h"
#include "recovery/write/recovery_size.h"
#include "slice/planning.h"

namespace {

const uint64_t FourGiB = 4294967296ull;
const uint64_t TwelveGiB = 3 * FourGiB;
const char TooLarge[] = "Too large: sets hold 429496698600";

TEST(ParseSizeValue, ReadsADecimalNumberAndStopsAtTheFirstMisfit)
{
    struct {
        std::string text;
        double expected;
    } cases[] = {
        {"", 0}, {"abc", 0}, {".", 0}, {"-.", 0}, {"+", 0}, {"- 5", 0},
        {"0x10", 0}, {"inf", 0}, {"nan", 0}, // decimal only
        {"1.44", 1.44}, {"1.440", 1.44}, {"2.88", 2.88}, {"1.2", 1.2}, {"0.1", 0.1},
        {" \t\n\v\f\r360", 360}, {"+2.5", 2.5}, {"-3", -3}, {".5", 0.5}, {"5.", 5},
        {"1.2.3", 1.2}, {"12abc", 12}, {"3,5", 3},
        {"1e3", 1000}, {"1E-2", 0.01}, {"2.5e+1", 25},
        {"2e", 2}, {"2e+", 2}, {"2e-x", 2}, // an exponent needs a digit
        {"123456789012345678901234567890", 123456789012345678901234567890.0},
        {"1e400", HUGE_VAL}, {"1e99999999999999999999", HUGE_VAL}, {"1e-400", 0},
        {std::string(254, ' ') + "5", 5}, {std::string(255, ' ') + "5", 0},
        {std::string(252, ' ') + "7e5", 700000}, {std::string(253, ' ') + "7e5", 7},
        {"1" + std::string(300, '0'), 1e254}, // 255 digits read
    };
    for (const auto &c : cases)
        EXPECT_EQ(ParseSizeValue(c.text.c_str()), c.expected) << '"' << c.text << '"';
}

TEST(ParseCountValue, ReadsAWholeNumberAndHoldsItInRange)
{
    struct {
        std::string text;
        int32_t expected;
    } cases[] = {
        {"", 0}, {"abc", 0}, {" 12", 12}, {"+7", 7}, {"-3", -3}, {"12.9", 12}, {"1e3", 1},
        {"150", 150}, {"2147483647", INT32_MAX}, {"2147483648", INT32_MAX},
        {"99999999999", INT32_MAX}, {std::string(300, '9'), INT32_MAX},
        {"-2147483648", INT32_MIN}, {"-99999999999", INT32_MIN},
        {std::string(253, ' ') + "5", 5}, {std::string(254, ' ') + "5", 0},
        {std::string(252, ' ') + "123", 12},
    };
    for (const auto &c : cases)
        EXPECT_EQ(ParseCountValue(c.text.c_str()), c.expected) << '"' << c.text << '"';
}

TEST(SizePresets, ListTheFloppySizesInWholeSectors)
{
    const uint32_t sectors[SIZE_PRESET_COUNT] = {700, 1415, 2371, 2845, 5708};
    const char *texts[SIZE_PRESET_COUNT] = {"360", "720", "1.2", "1.44", "2.88"};
    for (int i = 0; i < SIZE_PRESET_COUNT; i++) {
        EXPECT_STREQ(PresetTexts[i], texts[i]);
        EXPECT_EQ(ParseSizeValue(PresetTexts[i]), SizePresets[i].Value) << i;
        EXPECT_EQ(SizePresets[i].Bytes, sectors[i] * 512) << i;
        EXPECT_EQ(SizePresets[i].Unit, i < 2 ? UNIT_KB : UNIT_MB) << i;
    }
    EXPECT_STREQ(UnitTexts[UNIT_KB], "KB");
    EXPECT_EQ(UnitFactors[UNIT_MB], 1048576u);
}

TEST(TypedPortionSize, MultipliesByTheUnitWithoutPresets)
{
    struct {
        double value;
        int unit;
        uint32_t size;
        bool replaced;
    } cases[] = {
        {1.44, UNIT_MB, 1509949, false}, {360, UNIT_KB, 368640, false},
        {300, UNIT_BYTES, 300, false}, {2.9, UNIT_BYTES, 2, false}, {1, UNIT_BYTES, 1, false},
        {0, UNIT_BYTES, 1, true}, {0, UNIT_KB, 1024, true}, {0, UNIT_MB, 1048576, true},
        {0.5, UNIT_KB, 1024, true}, {-5, UNIT_MB, 1048576, true}, {NAN, UNIT_KB, 1024, true},
        // 4 GiB and more is the largest 32-bit size, not a wrapped one.
        {4194303.999, UNIT_KB, 4294967294u, false}, {4095.9999999, UNIT_MB, 4294967295u, false},
        {4194304, UNIT_KB, UINT32_MAX, false}, {4096, UNIT_MB, UINT32_MAX, false},
        {4294967296.0, UNIT_BYTES, UINT32_MAX, false}, {1e300, UNIT_MB, UINT32_MAX, false},
        {HUGE_VAL, UNIT_BYTES, UINT32_MAX, false},
    };
    for (const auto &c : cases) {
        uint32_t size = 7;
        char text[PLAN_TEXT_SIZE] = "untouched";
        int result = TypedPortionSize(c.value, c.unit, &size, text, sizeof text);
        EXPECT_EQ(size, c.size) << c.value << " unit " << c.unit;
        EXPECT_EQ(result, c.replaced ? PLAN_TEXT_REPLACED : 0) << c.value;
        EXPECT_STREQ(text, c.replaced ? "1" : "untouched") << c.value;
    }
}

TEST(PickedPortionSize, SelectsTheEntrysUnitAndAppliesAnyPreset)
{
    struct {
        int index;
        double value;
        int unitBefore, unitAfter;
        uint32_t size;
    } cases[] = {
        {0, 360, UNIT_MB, UNIT_KB, 358400}, {1, 720, UNIT_BYTES, UNIT_KB, 724480},
        {2, 1.2, UNIT_KB, UNIT_MB, 1213952}, {3, 1.44, UNIT_KB, UNIT_MB, 1456640},
        {4, 2.88, UNIT_BYTES, UNIT_MB, 2922496},
        {-1, 1.44, UNIT_BYTES, UNIT_BYTES, 1456640}, // a preset value in any unit
        {-1, 0, UNIT_KB, UNIT_KB, 0},                // nothing selected
        {3, 5, UNIT_BYTES, UNIT_MB, 5242880},        // not a preset: by the new unit
        {3, 1.4400000000000002, UNIT_KB, UNIT_MB, 1509949}, // exact equality only
    };
    for (const auto &c : cases) {
        int unit = c.unitBefore;
        EXPECT_EQ(PickedPortionSize(c.index, c.value, &unit), c.size) << c.index << " " << c.value;
        EXPECT_EQ(unit, c.unitAfter) << c.index;
    }
}

TEST(UnitChangePortionSize, AppliesAPresetOnlyWithItsOwnUnit)
{
    struct {
        double textValue;
        int selected;
        double entryValue;
        int unit;
        uint32_t size;
    } cases[] = {
        {360, 1, 360, UNIT_BYTES, 360}, {360, 1, 360, UNIT_KB, 358400},
        {720, 1, 720, UNIT_KB, 724480}, {360, 1, 360, UNIT_MB, 377487360},
        {1.44, 1, 1.44, UNIT_KB, 1474}, {1.44, 1, 1.44, UNIT_MB, 1456640},
        {1.2, 0, 0, UNIT_MB, 1213952}, {2.88, 0, 0, UNIT_MB, 2922496},
        {1.44, 0, 0, UNIT_BYTES, 1}, {500, 1, 360, UNIT_KB, 512000},
        {0, 1, 1.44, UNIT_MB, 1456640}, // an empty field falls back on the entry
        {0, 0, 1.44, UNIT_MB, 0},
        {-5, 1, 360, UNIT_KB, 0}, {1e10, 0, 0, UNIT_BYTES, UINT32_MAX},
        {4194304, 0, 0, UNIT_KB, UINT32_MAX},
    };
    for (const auto &c : cases)
        EXPECT_EQ(UnitChangePortionSize(c.textValue, c.selected, c.entryValue, c.unit), c.size)
            << c.textValue << " unit " << c.unit;
}

TEST(RefreshSizeNote, CountsPortionsOrSaysWhyNot)
{
    struct {
        uint64_t source;
        uint32_t size;
        int code;
        int32_t count; // starts at 42: unchanged unless a count is computed
        const char *note;
    } cases[] = {
        {1000000, 1456640, SIZE_NOTE_COUNT, 1, "1 Portions will be required"},
        {10000000, 1456640, SIZE_NOTE_COUNT, 7, "7 Portions will be required"},
        {10000000, 1509949, SIZE_NOTE_COUNT, 7, "7 Portions will be required"},
        {100000000, 358400, SIZE_NOTE_COUNT, 280, "280 Portions will be required"},
        {100000000, 1000309, SIZE_NOTE_COUNT, 100, "100 Portions will be required"},
        {12345, 433, SIZE_NOTE_COUNT, 100, "100 Portions will be required"},
        {150, 310, SIZE_NOTE_COUNT, 150, "150 Portions will be required"},
        {150, 311, SIZE_NOTE_COUNT, 75, "75 Portions will be required"},
        {1457000, 358400, SIZE_NOTE_COUNT, 5, "5 Portions will be required"},
        {1457000, 368640, SIZE_NOTE_COUNT, 4, "4 Portions will be required"},
        {0, 358400, SIZE_NOTE_COUNT, 0, "0 Portions will be required"},
        {4294967295u, UINT32_MAX, SIZE_NOTE_COUNT, 2, "2 Portions will be required"},
        {4294967295u, 310, SIZE_NOTE_COUNT, INT32_MAX, "4294967295 Portions will be required"},
        {1000, 300, SIZE_NOTE_TOO_SMALL, 42, "Portions must be larger than 309 bytes"},
        {1000, 309, SIZE_NOTE_TOO_SMALL, 42, "Portions must be larger than 309 bytes"},
        {0, 0, SIZE_NOTE_TOO_SMALL, 42, "Portions must be larger than 309 bytes"},
        // Past 4 GiB the whole size counts: every floppy needs over 100.
        {TwelveGiB, 358400, SIZE_NOTE_COUNT, 35983, "35983 Portions will be required"},
        {TwelveGiB, 724480, SIZE_NOTE_COUNT, 17793, "17793 Portions will be required"},
        {TwelveGiB, 1213952, SIZE_NOTE_COUNT, 10617, "10617 Portions will be required"},
        {TwelveGiB, 1456640, SIZE_NOTE_COUNT, 8848, "8848 Portions will be required"},
        {TwelveGiB, 2922496, SIZE_NOTE_COUNT, 4410, "4410 Portions will be required"},
        {TwelveGiB, 3221225472u, SIZE_NOTE_COUNT, 5, "5 Portions will be required"}, // 3072 MB
        {TwelveGiB, MAX_PORTION_SIZE, SIZE_NOTE_COUNT, 4, "4 Portions will be required"},
        {TwelveGiB, 128849328, SIZE_NOTE_COUNT, 100, "100 Portions will be required"},
        {MAX_SET_DATA, MAX_PORTION_SIZE, SIZE_NOTE_COUNT, 100, "100 Portions will be required"},
        {MAX_SET_DATA, 310, SIZE_NOTE_COUNT, INT32_MAX, "429496698600 Portions will be required"},
        {TwelveGiB, 309, SIZE_NOTE_TOO_SMALL, 42, "Portions must be larger than 309 bytes"},
        {MAX_SET_DATA + 1, MAX_PORTION_SIZE, SIZE_NOTE_SOURCE_TOO_LARGE, 42, TooLarge},
        {UINT64_MAX, 300, SIZE_NOTE_SOURCE_TOO_LARGE, 42, TooLarge},
    };
    for (const auto &c : cases) {
        int32_t count = 42;
        char note[PLAN_TEXT_SIZE];
        EXPECT_EQ(RefreshSizeNote(c.source, c.size, &count, note, sizeof note), c.code)
            << c.source << " / " << c.size;
        EXPECT_EQ(count, c.count) << c.source << " / " << c.size;
        EXPECT_STREQ(note, c.note);
    }
}

TEST(PortionLimitResize, ResizesAbove100PortionsOnly)
{
    struct {
        uint64_t source;
        int64_t count;
        uint32_t size; // 0: no resizing
    } cases[] = {
        {100000000, 280, 1000309}, {12345, 101, 433}, {150, 150, 311},
        {100000000, 100, 0}, {69100, 100, 0}, {100000000, 101, 1000309},
        {4294967295u, INT32_MAX, 42949982}, // 309 x 100 plus the source passes 32 bits
        {4294967295u, UINT32_MAX, 42949982}, {1000000, 0, 0}, {1000000, -5, 0},
        {FourGiB, 500, 42949982}, {FourGiB + 12345, 101, 42950106},
        {TwelveGiB, 35983, 128849328}, {MAX_SET_DATA, 101, MAX_PORTION_SIZE},
        {TwelveGiB, 100, 0}, {MAX_SET_DATA + 1, 101, 0}, {UINT64_MAX, INT32_MAX, 0},
    };
    for (const auto &c : cases) {
        uint32_t size = 0;
        char text[PLAN_TEXT_SIZE] = "";
        EXPECT_EQ(PortionLimitResize(c.source, c.count, &size, text, sizeof text), c.size != 0)
            << c.source << " in " << c.count;
        EXPECT_EQ(size, c.size) << c.source;
        EXPECT_EQ(text, c.size ? std::to_string(c.size) : "") << c.source;
    }
}

TEST(PortionLimitResize, GivesTheSmallestSizeForAtMost100Portions)
{
    const uint64_t sources[] = {1,       99,         100,          101,        150,
                                12345,   69100,      1000001,      4294967295u, TwelveGiB + 7,
                                MAX_SET_DATA - 100, MAX_SET_DATA};
    for (uint64_t source : sources) {
        uint32_t size = 0;
        char text[PLAN_TEXT_SIZE];
        ASSERT_EQ(PortionLimitResize(source, 101, &size, text, sizeof text), 1);
        // One payload byte per portion is as small as a size can be.
        int32_t fits = 0, tooSmall = 101;
        char note[PLAN_TEXT_SIZE];
        RefreshSizeNote(source, size, &fits, note, sizeof note);
        if (size > 310)
            RefreshSizeNote(source, size - 1, &tooSmall, note, sizeof note);
        EXPECT_LE(fits, 100) << source;
        EXPECT_GT(tooSmall, 100) << source;
        EXPECT_EQ(size == 310, source <= 100) << source;
    }
}

TEST(RefreshCountNote, SizesEqualPortionsAndCapsTheCount)
{
    const char *large = TooLarge;
    struct {
        int32_t typed;
        uint64_t source;
        int result;
        int32_t count;
        uint32_t size; // starts at 7: unchanged without a new size
        const char *text, *note;
    } cases[] = {
        {3, 1000, PLAN_NOTE_WRITTEN, 3, 643, "", "Portions will be 643 bytes"},
        {2, 150, PLAN_NOTE_WRITTEN, 2, 384, "", "Portions will be 384 bytes"},
        {100, 1000000, PLAN_NOTE_WRITTEN, 100, 10309, "", "Portions will be 10309 bytes"},
        {1, 1000000, PLAN_NOTE_WRITTEN, 1, 1000309, "", "Portions will be 1000309 bytes"},
        {2, 0, PLAN_NOTE_WRITTEN, 2, 310, "", "Portions will be 310 bytes"},
        {150, 1000000, 3, 100, 10309, "100", "Portions will be 10309 bytes"},
        {INT32_MAX, 1000000, 3, 100, 10309, "100", "Portions will be 10309 bytes"},
        {0, 1000000, 0, 0, 7, "", "old"}, {-5, 1000000, 0, -5, 7, "", "old"},
        {100, 4294967295u, PLAN_NOTE_WRITTEN, 100, 42949982, "", "Portions will be 42949982 bytes"},
        {1, 4294966986u, PLAN_NOTE_WRITTEN, 1, UINT32_MAX, "", "Portions will be 4294967295 bytes"},
        // One portion more than a 32-bit size: the size is held, and the
        // note names the count that fits.
        {1, 4294967295u, PLAN_NOTE_WRITTEN | PLAN_COUNT_TOO_SMALL, 1, MAX_PORTION_SIZE, "",
         "At least 2 portions: 4 GiB limit"},
        {3, FourGiB, PLAN_NOTE_WRITTEN, 3, 1431656075, "", "Portions will be 1431656075 bytes"},
        {0, FourGiB + 5, 0, 0, 7, "", "old"},
        {150, FourGiB, 3, 100, 42949982, "100", "Portions will be 42949982 bytes"},
        {100, TwelveGiB, PLAN_NOTE_WRITTEN, 100, 128849328, "", "Portions will be 128849328 bytes"},
        {4, TwelveGiB, PLAN_NOTE_WRITTEN, 4, 3221225781u, "", "Portions will be 3221225781 bytes"},
        {3, TwelveGiB, PLAN_NOTE_WRITTEN | PLAN_COUNT_TOO_SMALL, 3, MAX_PORTION_SIZE, "",
         "At least 4 portions: 4 GiB limit"},
        {100, MAX_SET_DATA, PLAN_NOTE_WRITTEN, 100, MAX_PORTION_SIZE, "",
         "Portions will be 4294967295 bytes"},
        {99, MAX_SET_DATA, PLAN_NOTE_WRITTEN | PLAN_COUNT_TOO_SMALL, 99, MAX_PORTION_SIZE, "",
         "At least 100 portions: 4 GiB limit"},
        {100, MAX_SET_DATA + 1, PLAN_NOTE_WRITTEN, 100, 7, "", large},
        {150, UINT64_MAX, 3, 100, 7, "100", large},
    };
    for (const auto &c : cases) {
        int32_t count = 42;
        uint32_t size = 7;
        char text[PLAN_TEXT_SIZE] = "", note[PLAN_TEXT_SIZE] = "old";
        EXPECT_EQ(RefreshCountNote(c.typed, c.source, &count, &size, text, sizeof text, note,
                                   sizeof note),
                  c.result)
            << c.typed << " of " << c.source;
        EXPECT_EQ(count, c.count) << c.typed;
        EXPECT_EQ(size, c.size) << c.typed << " of " << c.source;
        EXPECT_STREQ(text, c.text) << c.typed;
        EXPECT_STREQ(note, c.note) << c.typed << " of " << c.source;
    }
}

TEST(SmallestPortionCount, RaisesOneOrLessToTwo)
{
    const int32_t counts[] = {1, 0, -7, INT32_MIN, 2, 50, 150, INT32_MAX};
    for (int32_t typed : counts) {
        int32_t count = 42;
        char text[PLAN_TEXT_SIZE] = "";
        bool raised = typed < 2;
        EXPECT_EQ(SmallestPortionCount(typed, &count, text, sizeof text),
                  raised ? PLAN_TEXT_REPLACED : 0) << typed;
        EXPECT_EQ(count, raised ? 2 : typed);
        EXPECT_STREQ(text, raised ? "2" : "");
    }
}

TEST(SliceChecks, RefuseLargeSourcesAndHeaderOnlyPortions)
{
    EXPECT_FALSE(SourceTooLargeToSlice(0));
    EXPECT_FALSE(SourceTooLargeToSlice(4294967295u));
    EXPECT_FALSE(SourceTooLargeToSlice(TwelveGiB));
    EXPECT_FALSE(SourceTooLargeToSlice(MAX_SET_DATA));
    EXPECT_TRUE(SourceTooLargeToSlice(MAX_SET_DATA + 1));
    EXPECT_TRUE(SourceTooLargeToSlice(UINT64_MAX));
    // The note and the refusal name the largest source that fits.
    EXPECT_EQ(std::string(SourceTooLargeNote), TooLarge);
    EXPECT_NE(std::string(TooLarge).find(std::to_string(MAX_SET_DATA)), std::string::npos);
    EXPECT_NE(std::string(SourceTooLargeMessage).find(std::to_string(MAX_SET_DATA) + " bytes"),
              std::string::npos);
    EXPECT_FALSE(FolderPortionSizeAcceptable(0));
    EXPECT_FALSE(FolderPortionSizeAcceptable(309));
    EXPECT_TRUE(FolderPortionSizeAcceptable(310));
    EXPECT_TRUE(FolderPortionSizeAcceptable(UINT32_MAX));
}

TEST(SmallestEqualPortionCount, KeepsEqualPortionsWithinTheLargestSize)
{
    const uint64_t room = MAX_PORTION_SIZE - 309;
    struct {
        uint64_t source, count;
    } cases[] = {
        {0, 1}, {room, 1}, {room + 1, 2}, {4294967295u, 2}, {TwelveGiB, 4},
        {MAX_SET_DATA, 100}, {MAX_SET_DATA + 1, 101},
    };
    for (const auto &c : cases)
        EXPECT_EQ(SmallestEqualPortionCount(c.source), c.count) << c.source;
}

} // namespace

namespace {

TEST(RecoveryBlocksStep, HoldsTheBlocksWithinOneToTen)
{
    const struct {
        int32_t typed;
        int leaving;
        unsigned blocks;
        const char *replaced; // nullptr: the field's text stays
    } cases[] = {
        {3, 0, 3, nullptr},  {10, 1, 10, nullptr}, {11, 0, 10, "10"}, {99999, 1, 10, "10"},
        {0, 0, 1, nullptr},  {0, 1, 1, "1"},       {-5, 1, 1, "1"},
    };
    for (const auto &c : cases) {
        unsigned blocks = 77;
        char text[PLAN_TEXT_SIZE] = "";
        int done = RecoveryBlocksStep(c.typed, c.leaving, &blocks, text, sizeof text);
        EXPECT_EQ(blocks, c.blocks) << c.typed;
        EXPECT_EQ((done & PLAN_TEXT_REPLACED) != 0, c.replaced != nullptr) << c.typed;
        if (c.replaced) {
            EXPECT_STREQ(text, c.replaced);
        }
    }
}

// The note names what both recovery files take, from the set the planner
// plans; the figures themselves are RecoveryDataBytes' (par2 tests).
TEST(RecoveryNote, TellsTheBytesTheRecoveryDataAdds)
{
    const char *creator = "Dorvane 1.0.0";
    const struct {
        int removable;
        uint64_t source;
        uint32_t portion;
        unsigned blocks;
        unsigned portions; // 0: no note
        uint64_t longest;
    } cases[] = {
        {0, 300000, 100309, 1, 3, 100309},
        {0, 300000, 100309, 3, 3, 100309},
        {0, 1000, 100309, 2, 1, 1309},       // one portion, shorter than the size
        {0, 0, 1000, 1, 1, 309},             // an empty source: one header-only portion
        {0, 300000, 309, 1, 0, 0},           // no room for data
        {0, 300000, 2000, 1, 0, 0},          // more than 100 portions
        {0, MAX_SET_DATA + 1, 0xFFFFFFFF, 1, 0, 0},
    };
    for (const auto &c : cases) {
        char note[PLAN_TEXT_SIZE] = "x";
        int written = RecoveryNote(c.removable, c.source, c.portion, 8, c.blocks, creator, note,
                                   sizeof note);
        EXPECT_EQ(written, c.portions != 0) << c.source << " / " << c.portion;
        std::string expected =
            c.portions ? std::to_string(RecoveryDataBytes(c.portions, c.longest, 8, c.blocks,
                                                          creator)) +
                             " bytes more"
                       : "";
        EXPECT_EQ(note, expected) << c.source << " / " << c.portion;
    }
    char note[PLAN_TEXT_SIZE];
    EXPECT_EQ(RecoveryNote(1, 300000, 0, 8, 1, creator, note, sizeof note), 1);
    EXPECT_STREQ(note, RecoveryDiskNote);
}

} // namespace
