// The Linux dorvane's command line: sizes read as the window reads them,
// the arguments and the portions they plan, recovery blocks, counts a set
// cannot keep, and the progress line on a terminal of any width.
#include <gtest/gtest.h>

#include <stdint.h>
#include <string.h>

#include <string>
#include <vector>

#include "command_line.h"
#include "format/progress_line.h"
#include "format/slice_format.h"

namespace {

TEST(SliceCommandLine, SizesReadAsTheWindowReadsThem)
{
    struct {
        const char *text;
        int result;
        uint32_t bytes;
    } cases[] = {
        {"650000", 0, 650000},  {"97.5KB", 0, 99840},  {"1.44MB", 0, 1456640},
        {"1.44mb", 0, 1456640}, {"360KB", 0, 358400},  {"360k", 0, 358400},
        {"1.2M", 0, 1213952},   {"2MB", 0, 2097152},   {"1.44KB", 0, 1474},
        {"720b", 0, 720},       {"5000MB", 0, 0xFFFFFFFFu},
        {"", -1, 0},            {"abc", -1, 0},        {"1.2.3KB", -1, 0},
        {"-5", -1, 0},          {"1e6", -1, 0},        {"2.5M", 0, 2621440},
        // The units the window does not list: G, and the exact KiB and MiB.
        {"1G", 0, 1073741824},  {"1gb", 0, 1073741824}, {"2.5GiB", 0, 2684354560u},
        {"12GB", 0, 0xFFFFFFFFu}, {"25MiB", 0, 26214400}, {"1.44MiB", 0, 1509949},
        {"360KiB", 0, 368640},  {"1.5KiB", 0, 1536},   {"1.5T", -1, 0},
        {"1.44Gi", -1, 0},      {"1.5GiB ", -1, 0},
        {" 5", -1, 0},          {"1.5K", 0, 1536},     {"720.0", 0, 720},
        {"1.44", SIZE_PART_OF_A_BYTE, 0}, {"1.5b", SIZE_PART_OF_A_BYTE, 0},
    };
    for (const auto &c : cases) {
        uint32_t bytes = 0;
        EXPECT_EQ(ParseSizeArgument(c.text, &bytes), c.result) << c.text;
        if (c.result == 0) {
            EXPECT_EQ(bytes, c.bytes) << c.text;
        }
    }
}

TEST(SliceCommandLine, ArgumentsAndThePlannedPortions)
{
    struct {
        std::vector<const char *> args;
        int outcome;
        uint64_t sourceSize;
        int planned;          // PlanFolderPortions' result
        uint32_t portionSize; // when planned is 0
        const char *message;  // a part of the message
        int overwrite = OVERWRITE_ASK;
        const char *source = "s";
    } cases[] = {
        {{"s", "d", "--size", "1.44MB"}, COMMAND_RUN, 10000000, 0, 1456640, ""},
        {{"--count=7", "s", "d"}, COMMAND_RUN, 10000000, 0, 1428881, ""},
        {{"s", "d", "--size", "100000"}, COMMAND_RUN, 10000000, 243, 0,
         "would take 101 portions, and a slice set holds at most 100. The smallest size that "
         "fits is 100309 bytes (--size 100309)."},
        {{"s", "d", "--size", "309"}, COMMAND_RUN, 10, 243, 0, "has no room for data"},
        // An empty source makes its one header-only portion by count too.
        {{"s", "d", "--count", "2"}, COMMAND_RUN, 0, 0, 310, ""},
        {{"s", "d", "--count", "7"}, COMMAND_RUN, 0x100000000ull, 0, 613567066, ""}, // past 4 GiB
        {{"s", "d", "--count", "3"}, COMMAND_RUN, 5 * 0x40000000ull + 4321, 0, 1789571456, ""},
        {{"s", "d", "--count", "3"}, COMMAND_RUN, 12 * 0x40000000ull, 243, 0,
         "3 equal portions of this file would be 4 GiB or more each, and a portion must be "
         "smaller. The fewest that fit are 4 (--count 4)."},
        {{"s", "d", "--disks", "--help"}, COMMAND_HELP, 0, 0, 0, ""},
        {{"--version"}, COMMAND_VERSION, 0, 0, 0, ""},
        {{"s", "d"}, COMMAND_WRONG, 0, 0, 0, "give one of --size, --count and --disks"},
        {{"s", "d", "--disks", "--count", "3"}, COMMAND_WRONG, 0, 0, 0, "give one of"},
        {{"s", "--disks"}, COMMAND_WRONG, 0, 0, 0, "a source file and a destination"},
        {{"s", "d", "e", "--disks"}, COMMAND_WRONG, 0, 0, 0, "not also \"e\""},
        {{"s", "d", "--size"}, COMMAND_WRONG, 0, 0, 0, "--size needs a value"},
        {{"s", "d", "--count", "101"}, COMMAND_WRONG, 0, 0, 0, "from 2 to 100, not \"101\""},
        {{"s", "d", "--fast"}, COMMAND_WRONG, 0, 0, 0, "unknown option --fast"},
        {{"", "d", "--disks"}, COMMAND_WRONG, 0, 0, 0, "an empty path"},
        {{"--disks", "--", "-x", "--help"}, COMMAND_RUN, 0, 0, 0, "", OVERWRITE_ASK, "-x"},
        {{"--", "--disks", "d"}, COMMAND_WRONG, 0, 0, 0, "give one of"},
        {{"s", "d", "--disks", "--yes"}, COMMAND_RUN, 0, 0, 0, "", OVERWRITE_YES},
        {{"--no", "s", "--no", "d", "--disks"}, COMMAND_RUN, 0, 0, 0, "", OVERWRITE_NO},
        {{"s", "d", "--disks", "--yes", "--no"}, COMMAND_WRONG, 0, 0, 0, "cannot both"},
        {{"s", "d", "--size", "1.44"}, COMMAND_WRONG, 0, 0, 0,
         "--size \"1.44\" is a fraction of a byte: give its unit"},
    };
    for (const auto &c : cases) {
        std::vector<char *> argv = {(char *)"dorvane"};
        for (const char *a : c.args)
            argv.push_back((char *)a);
        SliceCommand command;
        char message[512] = "";
        int outcome = ParseSliceCommand((int)argv.size(), argv.data(), &command, message, sizeof message);
        EXPECT_EQ(outcome, c.outcome) << c.args.back();
        if (outcome == COMMAND_RUN) {
            EXPECT_EQ(command.Overwrite, c.overwrite) << c.args.back();
            EXPECT_STREQ(command.Source, c.source);
        }
        if (outcome == COMMAND_RUN && command.Method != METHOD_DISKS) {
            uint32_t size = 0;
            EXPECT_EQ(PlanFolderPortions(&command, c.sourceSize, &size, message, sizeof message),
                      c.planned);
            if (!c.planned) {
                EXPECT_EQ(size, c.portionSize);
            }
        }
        EXPECT_NE(strstr(message, c.message), nullptr) << message;
    }
}

// --recovery's count is taken only when it is all digits; a digit path
// after it would otherwise be read as one.
TEST(SliceCommandLine, RecoveryBlocks)
{
    struct {
        std::vector<const char *> args;
        unsigned recovery;   // 0: the line is wrong
        const char *text;    // the source, or a part of the message
    } cases[] = {
        {{"s", "d", "--size", "1000", "--recovery"}, 1, "s"},
        {{"--recovery", "3", "s", "d", "--count", "5"}, 3, "s"},
        {{"--recovery", "s", "d", "--count", "5"}, 1, "s"},
        {{"s", "d", "--count", "5", "--recovery=10"}, 10, "s"},
        {{"s", "d", "--count", "5", "--recovery", "010"}, 10, "s"},
        {{"--count", "5", "--recovery", "--", "12", "34"}, 1, "12"},
        {{"--recovery", "12", "34", "--count", "5"}, 0, "from 1 to 10, not \"12\""},
        {{"s", "d", "--count", "5", "--recovery", "0"}, 0, "from 1 to 10, not \"0\""},
        {{"s", "d", "--count", "5", "--recovery="}, 0, "from 1 to 10, not \"\""},
        {{"s", "d", "--count", "5", "--recovery=2x"}, 0, "not \"2x\""},
        {{"s", "d", "--count", "5", "--recovery", "--recovery"}, 0, "--recovery is given twice"},
        {{"s", "d", "--disks", "--recovery"}, 1, "s"},
        {{"--recovery=1", "s", "d", "--disks"}, 1, "s"},
        {{"s", "d", "--disks", "--recovery", "2"}, 0, "--disks writes one block (--recovery 1)"},
        {{"--recovery=10", "s", "d", "--disks"}, 0, "only into a folder (--size or --count)"},
        {{"s", "d", "--count", "5", "--recoveryx"}, 0, "unknown option --recoveryx"},
    };
    for (const auto &c : cases) {
        std::vector<char *> argv = {(char *)"dorvane"};
        for (const char *a : c.args)
            argv.push_back((char *)a);
        SliceCommand command;
        char message[512] = "";
        int outcome = ParseSliceCommand((int)argv.size(), argv.data(), &command, message, sizeof message);
        EXPECT_EQ(outcome, c.recovery ? COMMAND_RUN : COMMAND_WRONG) << message;
        if (outcome == COMMAND_RUN) {
            EXPECT_EQ(command.Recovery, c.recovery);
            EXPECT_STREQ(command.Source, c.text);
        } else {
            EXPECT_NE(strstr(message, c.text), nullptr) << message;
        }
    }
}

TEST(SliceCommandLine, ACountThePortionsCannotKeepIsSaid)
{
    struct {
        int32_t count;
        uint64_t sourceSize;
        const char *line; // "" when the count is kept
    } cases[] = {
        {99, 1000, "dorvane: 91 portions made, not 99: a portion is whole bytes, and 1000 bytes at "
                   "11 data bytes a portion (320 bytes with the header) fill 91\n"},
        {3, 2, "dorvane: 2 portions made, not 3:"},
        {2, 1, "dorvane: 1 portion made, not 2:"},
        {100, 1000, ""},
        {7, 10000000, ""},
    };
    for (const auto &c : cases) {
        SliceCommand command = {"s", "d", METHOD_COUNT, 0, c.count, OVERWRITE_ASK, 0, 0};
        char message[512] = "";
        uint32_t size;
        ASSERT_EQ(PlanFolderPortions(&command, c.sourceSize, &size, message, sizeof message), 0);
        EXPECT_EQ(CountNotKept(&command, c.sourceSize, size, message, sizeof message), *c.line != 0);
        EXPECT_EQ(std::string(message).substr(0, strlen(c.line)), c.line) << c.count;
    }
}

// Never wider than the terminal; the figures before the name, the
// percentage before everything; a name cut between UTF-8 characters.
TEST(SliceCommandLine, ProgressLineFitsTheTerminal)
{
    struct {
        int columns;
        const char *line;
    } cases[] = {
        {80, "ab\xC3\xA9?]0;x.iso   42%  4200000000 of 10000000000 bytes  12.5 MB/s"},
        {60, "ab\xC3\xA9?]...   42%  4200000000 of 10000000000 bytes  12.5 MB/s"},
        {50, " 42%  4200000000 of 10000000000 bytes  12.5 MB/s"},
        {40, "ab...   42%  4200000000 of 10000000000"},
        {20, "ab\xC3\xA9?]0;x.iso   42%"},
        {5, " 42%"},
    };
    for (const auto &c : cases) {
        char line[512];
        FormatProgressLine(line, sizeof line, c.columns, "ab\xC3\xA9\x1B]0;x.iso", 4200000000u,
                           10000000000u, 12.5e6);
        EXPECT_STREQ(line, c.line) << c.columns;
    }
    for (int columns = 5; columns < 100; columns++) {
        char line[512];
        FormatProgressLine(line, sizeof line, columns, "a-very-long-name.iso", 4200000000u,
                           10000000000u, 12.5e6);
        EXPECT_LT(strlen(line), (size_t)columns);
        EXPECT_NE(strstr(line, "42%"), nullptr) << line;
    }
}

} // namespace
