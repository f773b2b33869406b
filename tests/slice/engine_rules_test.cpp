// The engine's portable rules: free space from cluster geometry, the portion
// count of a folder job, and the lines of the remembered-folders file.
#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "folder_lines.h"
#include "os/media.h"
#include "slice/slice_arith.h"
#include "format/slice_format.h"

namespace {

TEST(FreeBytesFromClusters, MultipliesWithoutWrappingAndCaps)
{
    struct {
        uint32_t sectorsPerCluster, bytesPerSector, freeClusters, expected;
    } cases[] = {
        {1, 512, 100, 51200},                // a floppy
        {8, 512, 180, 737280},               // a 720k tmpfs
        {0, 512, 100, 0},                    // a drive that reports nothing
        {64, 512, 131071, 4294934528u},      // 32 KiB below 4 GiB: exact
        {64, 512, 131072, 0xFFFFFFFFu},      // exactly 4 GiB: not 0
        {64, 512, 163840, 0xFFFFFFFFu},      // 5 GiB: not 1 GiB
        {0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu}, // past 64 bits
    };
    for (const auto &c : cases)
        EXPECT_EQ(FreeBytesFromClusters(c.sectorsPerCluster, c.bytesPerSector, c.freeClusters),
                  c.expected)
            << c.sectorsPerCluster << " x " << c.bytesPerSector << " x " << c.freeClusters;
}

TEST(PortionsNeeded, CountsPortionsOfAFolderJob)
{
    struct {
        uint64_t sourceSize;
        uint32_t portionSize, expected;
    } cases[] = {
        {0, 1000, 0},
        {1, 1000, 1},
        {691, 1000, 1},          // exactly one portion's room
        {692, 1000, 2},          // one byte more: a second portion
        {2000, 1000, 3},         // 691 + 691 + 618
        {69100, 1000, 100},      // exactly 100 portions
        {69101, 1000, 101},
        {0xFFFFFFFFu, 0xFFFFFFFFu, 2}, // room is 309 short of the size
        {0xFFFFFFFFu, 310, 0xFFFFFFFFu},
        {5, 310, 5},             // one payload byte per portion
        {5, 309, 0xFFFFFFFFu},   // no room for data at all
        {5, 0, 0xFFFFFFFFu},
        // Sources of 4 GiB and more: counted in 64 bits, the count held to 32.
        {5ull << 30, 0x80000000u, 3},
        {5ull << 30, 0x6AAAABE0u, 3},         // 5 GiB in three equal portions
        {5ull << 30, 0x6AAAABDFu, 4},         // a byte less: a fourth one
        {MAX_SET_DATA, MAX_PORTION_SIZE, 100}, // the largest set
        {MAX_SET_DATA + 1, MAX_PORTION_SIZE, 101},
        {UINT64_MAX, 310, 0xFFFFFFFFu},
    };
    for (const auto &c : cases)
        EXPECT_EQ(PortionsNeeded(c.sourceSize, c.portionSize), c.expected)
            << c.sourceSize << " in portions of " << c.portionSize;
}

// What a removable disk takes of the file: filled while the rest is larger;
// the last only with the list beside the portion, both in whole units; else
// short of one byte, or nothing at all.
TEST(DiskShare, FillsLastOrStopsShortForTheList)
{
    const uint32_t H = PORTION_HEADER_SIZE;
    struct {
        uint32_t Free, Unit;
        uint64_t Rest;
        uint32_t List;
        int Kind;
        uint32_t Data;
    } const cases[] = {
        {H, 512, 10, 0, DISK_TOO_FULL, 0},           // no byte after a header
        {H + 1, 1, 1, 0, DISK_LAST, 1},              // no list: as before
        {H + 1, 1, 2, 0, DISK_FILL, 1},
        {8192, 4096, 100000, 90, DISK_FILL, 8192 - H},
        {8192, 4096, 4096 - H, 90, DISK_LAST, 4096 - H},     // a unit each
        {8192, 4096, 4097 - H, 90, DISK_STOP_SHORT, 4096 - H}, // portion takes 2 units
        {8192, 4096, 8192 - H, 90, DISK_STOP_SHORT, 8191 - H}, // fits alone, not with the list
        {8192, 0, 8192 - H - 90, 90, DISK_LAST, 8192 - H - 90}, // unit 0 counts as 1
        {8192, 1, 8192 - H - 89, 90, DISK_STOP_SHORT, 8192 - H - 90},
        {8192, 4096, 1, 8000, DISK_TOO_FULL, 0},     // one byte cannot stop short
        {8192, 4096, 0, 8000, DISK_TOO_FULL, 0},     // nor an empty source
        {8192, 4096, 0, 4096, DISK_LAST, 0},
        {0xFFFFFFFF, 4096, 0x1FFFFFFFFull, 90, DISK_FILL, 0xFFFFFFFF - H},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::to_string(c.Free) + " free, rest " + std::to_string(c.Rest));
        uint32_t data = 12345;
        EXPECT_EQ(DiskShare(c.Free, c.Unit, c.Rest, c.List, &data), c.Kind);
        EXPECT_EQ(data, c.Data);
    }
}

TEST(ParseRememberedFolders, TakesTwoTerminatedLines)
{
    std::string longLine(300, 'x');
    struct {
        std::string text, source, destination;
    } cases[] = {
        {"C:\\SRC\n D:\\SETS\\\n", "C:\\SRC", " D:\\SETS\\"},
        {"\n\n", "", ""},                          // both empty: two line feeds
        {"", "", ""},
        {"C:\\SRC\nD:\\SETS\nC:\\THIRD\n", "C:\\SRC", "D:\\SETS"}, // the rest is ignored
        {"C:\\SRC\n", "C:\\SRC", ""},              // only one line
        {"C:\\SRC\nD:\\SE", "C:\\SRC", ""},        // second line without its feed
        {"C:\\SRC", "", ""},                       // no line feed at all
        {"\nD:\\SETS\n", "", "D:\\SETS"},
        {"C:\\SRC\r\nD:\\\r\n", "C:\\SRC\r", "D:\\\r"}, // carriage returns are kept
        {longLine + "\nD:\\\n", longLine.substr(0, 259), "D:\\"},
    };
    for (const auto &c : cases) {
        char source[FOLDER_LINE_SIZE], destination[FOLDER_LINE_SIZE];
        memset(source, 'q', sizeof source);
        memset(destination, 'q', sizeof destination);
        ParseRememberedFolders(c.text.data(), c.text.size(), source, destination);
        EXPECT_EQ(source, c.source) << c.text;
        EXPECT_EQ(destination, c.destination) << c.text;
    }
}

TEST(ParseRememberedFolders, ReadsNoFurtherThanItsFirstBytes)
{
    // The second line feed lies just past the part that is read.
    std::string text = "C:\\SRC\n" + std::string(FOLDER_FILE_MAX - 7, 'd') + "\n";
    char source[FOLDER_LINE_SIZE], destination[FOLDER_LINE_SIZE];
    ParseRememberedFolders(text.data(), text.size(), source, destination);
    EXPECT_STREQ(source, "C:\\SRC");
    EXPECT_STREQ(destination, "");

    text.erase(text.size() - 2, 1); // now it is the 1024th byte
    ParseRememberedFolders(text.data(), text.size(), source, destination);
    EXPECT_EQ(strlen(destination), 259u);
}

} // namespace

namespace {

std::string Repeat(const std::string &piece, size_t times)
{
    std::string text;
    while (times--)
        text += piece;
    return text;
}

// A folder keeps 259 characters as Windows counts them (UTF-16 units: two
// for a character beyond the BMP), never part of one; a line of the ANSI
// era, 259 bytes.
TEST(ParseRememberedFolders, CutsLinesToWholeCharacters)
{
    const struct {
        std::string line, kept;
    } cases[] = {
        {Repeat("\xE6\x97\xA5", 300), Repeat("\xE6\x97\xA5", 259)},                 // CJK
        {Repeat("\xD0\x96", 300), Repeat("\xD0\x96", 259)},                         // Cyrillic
        {Repeat("\xF0\x9F\x98\x80", 200), Repeat("\xF0\x9F\x98\x80", 129)},         // beyond the BMP
        {"C:\\" + Repeat("\xF0\x9F\x98\x80", 200), "C:\\" + Repeat("\xF0\x9F\x98\x80", 128)},
        {Repeat("\xE9", 300), Repeat("\xE9", 259)},                                 // code page 1252
    };
    for (const auto &c : cases) {
        std::string text = "C:\\SRC\n" + c.line + "\n";
        char source[FOLDER_LINE_SIZE], destination[FOLDER_LINE_SIZE];
        ParseRememberedFolders(text.data(), text.size(), source, destination);
        EXPECT_STREQ(source, "C:\\SRC");
        EXPECT_EQ(destination, c.kept) << c.line.size();
        EXPECT_LE(Utf8Units(destination, strlen(destination)), (size_t)FOLDER_CHARACTERS);
    }
}

// The recovery choice follows the two folder lines, which a program that
// knows only those reads as before; without it, or with lines it does not
// know, the defaults hold.
TEST(RecoveryChoice, WrittenAfterTheFoldersOnlyWhenNotTheDefault)
{
    const struct {
        RecoveryChoice choice;
        const char *text;
    } written[] = {
        {{0, 1}, "C:\\SRC\nD:\\\xE6\x97\xA5\n"},
        {{1, 1}, "C:\\SRC\nD:\\\xE6\x97\xA5\nrecovery=on\nrecovery-blocks=1\n"},
        {{0, 7}, "C:\\SRC\nD:\\\xE6\x97\xA5\nrecovery=off\nrecovery-blocks=7\n"},
        {{1, 10}, "C:\\SRC\nD:\\\xE6\x97\xA5\nrecovery=on\nrecovery-blocks=10\n"},
    };
    for (const auto &w : written) {
        char text[2 * FOLDER_LINE_SIZE + 64];
        size_t length = FormatRememberedFolders("C:\\SRC", "D:\\\xE6\x97\xA5", &w.choice, text,
                                                sizeof text);
        ASSERT_EQ(std::string(text, length), w.text);
        char source[FOLDER_LINE_SIZE], destination[FOLDER_LINE_SIZE];
        RecoveryChoice read = {5, 5};
        ParseRememberedFolders(text, length, source, destination);
        ParseRecoveryChoice(text, length, &read);
        EXPECT_STREQ(destination, "D:\\\xE6\x97\xA5");
        EXPECT_EQ(read.On, w.choice.On) << w.text;
        EXPECT_EQ(read.Blocks, w.choice.Blocks) << w.text;
    }
    const struct {
        const char *text;
        int on;
        unsigned blocks;
    } read[] = {
        {"", 0, 1},
        {"recovery=on\nrecovery-blocks=3\n", 0, 1},        // the folder lines, not the choice
        {"A\nB\nrecovery=on\n", 1, 1},
        {"A\nB\nrecovery-blocks=3\nrecovery=on", 0, 3},    // the last line has no feed
        {"A\nB\nrecovery=yes\nrecovery-blocks=11\nrecovery-blocks=0\nrecovery-blocks=x\n", 0, 1},
        {"A\nB\nsomething new\nrecovery=on\nrecovery-blocks=4\n", 1, 4},
    };
    for (const auto &r : read) {
        RecoveryChoice choice = {5, 5};
        ParseRecoveryChoice(r.text, strlen(r.text), &choice);
        EXPECT_EQ(choice.On, r.on) << r.text;
        EXPECT_EQ(choice.Blocks, r.blocks) << r.text;
    }
    char small[8];
    RecoveryChoice on = {1, 2};
    EXPECT_EQ(FormatRememberedFolders("C:\\SRC", "D:\\", &on, small, sizeof small), 0u);
}

} // namespace
