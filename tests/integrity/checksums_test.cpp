// CRC-32 (known values, the two methods against each other, combination)
// and the checksum list (round trip, size in advance, tolerant and strict
// reading, the name rule).
#include <gtest/gtest.h>

#include <ctype.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "integrity/checklist.h"
#include "integrity/crc32.h"

namespace {

TEST(Crc32, KnownValues)
{
    const struct {
        const char *Text;
        uint32_t Crc;
    } cases[] = {
        {"", 0x00000000},
        {"123456789", 0xCBF43926},
        {"The quick brown fox jumps over the lazy dog", 0x414FA339},
    };
    for (const auto &c : cases)
        for (int method : {CRC32_TABLE, CRC32_CARRYLESS})
            EXPECT_EQ(Crc32UpdateBy(method, 0, c.Text, strlen(c.Text)), c.Crc)
                << '"' << c.Text << "\" method " << method;
    std::vector<unsigned char> zeros(1 << 20);
    EXPECT_EQ(Crc32Update(0, zeros.data(), 32), 0x190A55AD);
    EXPECT_EQ(Crc32Update(0, zeros.data(), zeros.size()), 0xA738EA1C);
}

// A fixed pseudo-random sequence, the same on every platform.
uint32_t Next(uint32_t *state)
{
    *state = *state * 1664525u + 1013904223u;
    return *state >> 8;
}

TEST(Crc32, FoldingAgreesWithTableOnAnyLengthAndAlignment)
{
    if (Crc32Method() != CRC32_CARRYLESS) {
        printf("skipped: this processor has no PCLMULQDQ, the table is the only method\n");
        GTEST_SKIP();
    }
    std::vector<unsigned char> data(70000);
    uint32_t state = 7;
    for (auto &b : data)
        b = (unsigned char)Next(&state);
    for (int i = 0; i < 600; i++) {
        size_t offset = Next(&state) % 64;
        size_t length = i < 200 ? (size_t)i : Next(&state) % (data.size() - offset);
        uint32_t start = i % 3 ? Next(&state) : 0;
        ASSERT_EQ(Crc32UpdateBy(CRC32_CARRYLESS, start, &data[offset], length),
                  Crc32UpdateBy(CRC32_TABLE, start, &data[offset], length))
            << "offset " << offset << " length " << length;
    }
}

TEST(Crc32, PiecesAndCombinationGiveTheWholesCrc)
{
    std::vector<unsigned char> data(300000);
    uint32_t state = 11;
    for (auto &b : data)
        b = (unsigned char)Next(&state);
    const uint32_t whole = Crc32Update(0, data.data(), data.size());
    const size_t cuts[] = {0, 1, 15, 16, 63, 64, 65, 4096, 299999, 300000};
    for (size_t cut : cuts) {
        uint32_t a = Crc32Update(0, data.data(), cut);
        uint32_t b = Crc32Update(0, data.data() + cut, data.size() - cut);
        EXPECT_EQ(Crc32Update(a, data.data() + cut, data.size() - cut), whole) << cut;
        EXPECT_EQ(Crc32Combine(a, b, data.size() - cut), whole) << cut;
    }
    // A header hashed apart from its data: the file's CRC and the data's
    // running CRC, each from the one reading.
    uint32_t header = Crc32Update(0, data.data(), 309);
    uint32_t payload = Crc32Update(0, data.data() + 309, 1000);
    EXPECT_EQ(Crc32Combine(header, payload, 1000), Crc32Update(0, data.data(), 1309));
    // Lengths past 4 GiB: 2^32 + 5 zero bytes, the 2^32 first or last. The
    // 4 GiB of zeros are combined from 1 MiB pieces, small lengths only.
    std::vector<unsigned char> none(1 << 20);
    uint32_t mib = Crc32Update(0, none.data(), none.size()), gib4 = mib;
    for (int i = 1; i < 4096; i++)
        gib4 = Crc32Combine(gib4, mib, none.size());
    uint32_t five = Crc32Update(0, none.data(), 5);
    EXPECT_EQ(Crc32Combine(five, gib4, (uint64_t)1 << 32), Crc32Combine(gib4, five, 5));
}

int SameNoCase(const char *a, const char *b)
{
    for (; *a && *b; a++, b++)
        if (tolower((unsigned char)*a) != tolower((unsigned char)*b))
            return 0;
    return *a == *b;
}

std::string Write(const ChecklistSet &set)
{
    std::string text(ChecklistSize(&set), '?');
    EXPECT_EQ(ChecklistWrite(&set, &text[0], text.size()), text.size());
    return text;
}

TEST(Checklist, WritesTheExactLayoutAndReadsItBack)
{
    const uint32_t crcs[] = {0x1A2B3C4D, 0x0000BEEF};
    ChecklistSet set = {"1.0.0", "BIG.DAT", 1048576, 0xCBF43926, 2, crcs};
    std::string text = Write(set);
    EXPECT_EQ(text, "; Written by Dorvane 1.0.0\r\n"
                    "BIG.D00 1A2B3C4D\r\n"
                    "BIG.D01 0000BEEF\r\n"
                    "; Sliced file BIG.DAT, 1048576 bytes, CRC-32 CBF43926, 2 portions\r\n");
    EXPECT_EQ(ChecklistWrite(&set, &text[0], text.size() - 1), 0u);

    ChecklistInfo info;
    ASSERT_EQ(ChecklistParse(text.data(), text.size(), &info), CHECKLIST_OK);
    EXPECT_STREQ(info.FileName, "BIG.DAT");
    EXPECT_EQ(info.FileSize, 1048576u);
    EXPECT_EQ(info.FileCrc, 0xCBF43926u);
    EXPECT_EQ(info.Portions, 2u);
    uint32_t crc = 0;
    EXPECT_TRUE(ChecklistFind(text.data(), text.size(), "big.d01", &crc));
    EXPECT_EQ(crc, 0x0000BEEFu);
    EXPECT_FALSE(ChecklistFind(text.data(), text.size(), "BIG.D02", &crc));
    EXPECT_FALSE(ChecklistFind(text.data(), text.size(), "BIG.D0", &crc));
}

TEST(Checklist, SizeIsKnownBeforeTheCrcs)
{
    std::vector<uint32_t> crcs(100, 0xFFFFFFFF);
    const std::string longName(255, 'n');
    const struct {
        const char *Name;
        uint64_t Size;
        unsigned Portions;
    } cases[] = {
        {"AB", 0, 1}, {"BIG.DAT", 1, 1}, {"a b;c, 5 bytes.dat", 123456789012ull, 17},
        {longName.c_str(), ~0ull, 100}, {"DATA99", 4294967295ull, 10},
    };
    for (const auto &c : cases) {
        ChecklistSet set = {"12.34.56-rc7", c.Name, c.Size, 0x89ABCDEF, c.Portions, nullptr};
        size_t size = ChecklistSize(&set);
        set.PortionCrcs = crcs.data();
        std::string text = Write(set);
        EXPECT_EQ(text.size(), size) << c.Name;
        ChecklistInfo info;
        ASSERT_EQ(ChecklistParse(text.data(), text.size(), &info), CHECKLIST_OK) << c.Name;
        EXPECT_STREQ(info.FileName, c.Name);
        EXPECT_EQ(info.FileSize, c.Size);
        EXPECT_EQ(info.Portions, c.Portions);
        EXPECT_LE(size, (size_t)CHECKLIST_MAX_SIZE);
    }
}

TEST(Checklist, RefusesWhatItCannotCarry)
{
    const uint32_t crcs[101] = {0};
    const std::string tooLong(256, 'n');
    const struct {
        const char *Version;
        const char *Name;
        unsigned Portions;
    } cases[] = {
        {"1.0", "BIG.DAT", 0},      {"1.0", "BIG.DAT", 101}, {"1.0", "B", 1},
        {"1.0", "BI\nG.DAT", 1},    {"1.0", ";BIG.DAT", 1},  {"1.0", " BIG.DAT", 1},
        {"1.0", tooLong.c_str(), 1}, {"1.0\r\n", "BIG.DAT", 1},
    };
    for (const auto &c : cases) {
        ChecklistSet set = {c.Version, c.Name, 1, 0, c.Portions, crcs};
        char out[1024];
        EXPECT_EQ(ChecklistSize(&set) + ChecklistWrite(&set, out, sizeof out), 0u) << c.Name;
    }
    // Two-character names have portions "00", "01": nothing to misread.
    ChecklistSet set = {"1.0", ";B", 1, 0, 1, crcs};
    EXPECT_NE(ChecklistSize(&set), 0u);
}

const char FileLine[] = "; Sliced file X.DAT, 3 bytes, CRC-32 0a0B0c0D, 2 portions";

TEST(Checklist, ReadsForgivinglyButRejectsMalformedOrCutLists)
{
    const std::string file = FileLine;
    const struct {
        std::string Text;
        int Result;
        unsigned BadLine;
    } cases[] = {
        {"X.D00 00000001\nX.D01 00000002\n" + file, CHECKLIST_OK, 0},
        {"\xEF\xBB\xBF; other\r\n\r\n  x.d00\t 00000001  \r\n\t\r\nX.D01 00000002\r\n" + file +
             "\r\n\r\n; trailing comment",
         CHECKLIST_OK, 0},
        {file + "\nX.D01 00000002\r\nX.D00 00000001\r", CHECKLIST_OK, 0},
        {"X.D00 00000001\r\nX.D01 0000002\r\n" + file, CHECKLIST_BAD_LINE, 2},
        {"X.D00 00000001\r\nX.D0100000002\r\n" + file, CHECKLIST_BAD_LINE, 2},
        {"X.D00 00000001\r\nX.D\001 00000002\r\n" + file, CHECKLIST_BAD_LINE, 2},
        {"X.D00 00000001\r\nX.D01 000000002\r\n" + file, CHECKLIST_BAD_LINE, 2},
        {"X.D00 00000001\r\nx.d00 00000002\r\n" + file, CHECKLIST_DUPLICATE, 2},
        {"X.D00 00000001\r\nX.D01 00000002\r\n", CHECKLIST_INCOMPLETE, 0},
        {"X.D00 00000001\r\n" + file, CHECKLIST_INCOMPLETE, 0},
        {"X.D00 00000001\r\nX.D01 00000002\r\n" + file.substr(0, file.size() - 4),
         CHECKLIST_BAD_LINE, 3},
        {"X.D00 00000001\r\nX.D01 00000002\r\n" + file + "\r\n" + file, CHECKLIST_BAD_LINE, 4},
        {"; Sliced file , 3 bytes, CRC-32 0A0B0C0D, 1 portion\r\n", CHECKLIST_BAD_LINE, 1},
        {"; Sliced file X, 3 bytes, CRC-32 0A0B0C0D, 101 portions\r\n", CHECKLIST_BAD_LINE, 1},
        {"; Sliced file X, 18446744073709551616 bytes, CRC-32 0A0B0C0D, 1 portion\r\n",
         CHECKLIST_BAD_LINE, 1},
        {"", CHECKLIST_INCOMPLETE, 0},
        {std::string(CHECKLIST_MAX_SIZE + 1, '\n'), CHECKLIST_TOO_LARGE, 0},
    };
    for (const auto &c : cases) {
        ChecklistInfo info;
        EXPECT_EQ(ChecklistParse(c.Text.data(), c.Text.size(), &info), c.Result) << c.Text;
        EXPECT_EQ(info.BadLine, c.BadLine) << c.Text;
        uint32_t crc = 0;
        if (c.Result == CHECKLIST_OK) {
            EXPECT_EQ(info.FileCrc, 0x0A0B0C0Du);
            EXPECT_TRUE(ChecklistFind(c.Text.data(), c.Text.size(), "X.D01", &crc) && crc == 2);
        }
    }
}

// As the common checkers read a list: a damaged line spoils itself only,
// and a name given twice with two CRCs is vouched for by neither.
TEST(Checklist, ADamagedLineSpoilsOnlyItself)
{
    const struct {
        std::string Text;
        const char *Name;
        uint32_t Crc;        // 0: no intact line vouches for it
        int FileLine;
        unsigned Entries;
    } cases[] = {
        {"X.D00 00000001\r\nX.D01 0000", "X.D00", 1, 0, 1},
        {"X.D00 00000001\r\nX.D01 0000", "X.D01", 0, 0, 1},
        {"X.D00 00000001\nX.D\x1B" "01 00000002\nX.D02 00000003\n", "X.D02", 3, 0, 2},
        {"X.D00 00000001\nX.D01 000000002\n" + std::string(FileLine), "X.D01", 0, 1, 1},
        {"X.D01 00000001\nX.D01 00000002\n" + std::string(FileLine), "X.D01", 0, 1, 1},
        {"X.D01 00000002\nx.d01 00000002\n", "X.D01", 2, 0, 1},
        {"X.D00 00000001\rX.D01 00000002\r" + std::string(FileLine) + "\r", "X.D01", 2, 1, 2},
        {"X.D00 00000001\nX.D01 00000002\n; Sliced file X.DAT, 3 bytes, CRC-32 0A0B0C0D, 2 port",
         "X.D01", 2, 0, 2},
        {"", "X.D00", 0, 0, 0},
    };
    for (const auto &c : cases) {
        ChecklistInfo info;
        uint32_t crc = 0;
        unsigned line = 0;
        ChecklistParse(c.Text.data(), c.Text.size(), &info);
        EXPECT_EQ(info.FileLine, c.FileLine) << c.Text;
        EXPECT_EQ(info.Entries, c.Entries) << c.Text;
        EXPECT_EQ(ChecklistFind(c.Text.data(), c.Text.size(), c.Name, &crc, &line), c.Crc != 0)
            << c.Text;
        EXPECT_EQ(c.Crc ? crc : 0, c.Crc) << c.Text;
    }
}

TEST(ChecklistEarlierName, FollowsTheSourceAndAvoidsEveryOtherName)
{
    const std::string longName = std::string(251, 'L') + ".DAT";
    const std::string longSfv = std::string(251, 'L') + ".SFV";
    const std::string longBare(255, 'l');
    const struct {
        std::string Source;
        std::string List;
    } cases[] = {
        {"BIG.DAT", "BIG.SFV"},       {"big.dat", "big.sfv"},
        {"Big.dat", "Big.SFV"},       {"README", "README.SFV"},
        {"AB", "AB.SFV"},             {"A", "A.SFV"},
        {"DATA01", "DATA01.SFV"},     {"X.D00", "X.SFV"},
        {"a.tar.gz", "a.tar.sfv"},    {".profile", ".profile.sfv"},
        {"X.SFV", "X_.SFV"},          {"x.sfv", "x_.sfv"},
        {"KELMORIX.SFV", "KELMORI_.SFV"}, {"KELMORI_.SFV", "KELMORI-.SFV"},
        {"KELMORIX.EXE", "KELMORIX.SFV"}, {"LONGNAME9.SFV", "LONGNAME9_.SFV"},
        {"1234.SFV.SFV", "1234.SF_.SFV"}, {"12.", "12.SFV"},
        {longName, std::string(251, 'L') + ".SFV"},
        {longSfv, std::string(250, 'L') + "_.SFV"},
        {longBare, std::string(251, 'l') + ".sfv"},
    };
    for (const auto &c : cases) {
        char list[FILE_NAME_FIELD];
        ASSERT_EQ(ChecklistEarlierName(c.Source.c_str(), list), 0) << c.Source;
        EXPECT_EQ(std::string(list), c.List) << c.Source;
        // Never the source, a portion, the joiner, or found by "*00".
        size_t n = strlen(list);
        EXPECT_FALSE(SameNoCase(list, c.Source.c_str()));
        EXPECT_EQ(PortionNumberOf(list), -1) << list;
        EXPECT_FALSE(SameNoCase(list, "KELMORIX.EXE"));
        EXPECT_LT(n, (size_t)FILE_NAME_FIELD);
    }
    char list[FILE_NAME_FIELD];
    EXPECT_EQ(ChecklistEarlierName("", list), -1);
    EXPECT_EQ(ChecklistEarlierName(std::string(256, 'n').c_str(), list), -1);
}

// The whole name and ".sfv": sources whose sets can share a folder (A.DAT
// and A.TXT) get lists of their own; long names are cut whole characters.
TEST(ChecklistName, TheWholeSourceNameAndSfv)
{
    const std::string longSfv = std::string(251, 'L') + ".SFV";                   // 255 bytes
    const std::string accented = std::string(250, 'U') + "\xC3\xA9xx";           // 254 bytes
    const struct {
        std::string Source;
        std::string List;
    } cases[] = {
        {"BIG.DAT", "BIG.DAT.sfv"},  {"A.DAT", "A.DAT.sfv"},     {"A.TXT", "A.TXT.sfv"},
        {"A", "A.sfv"},              {"X.sfv", "X.sfv.sfv"},     {"X.D00", "X.D00.sfv"},
        {"KELMORIX.EXE", "KELMORIX.EXE.sfv"},
        {std::string(251, 'n'), std::string(251, 'n') + ".sfv"},
        {std::string(255, 'n'), std::string(251, 'n') + ".sfv"},
        {longSfv, std::string(250, 'L') + ".sfv"},  // cut to the source's own name
        {accented, std::string(250, 'U') + ".sfv"},
    };
    for (const auto &c : cases) {
        char list[FILE_NAME_FIELD];
        ASSERT_EQ(ChecklistName(c.Source.c_str(), list), 0) << c.Source;
        EXPECT_EQ(std::string(list), c.List) << c.Source;
        EXPECT_FALSE(SameNoCase(list, c.Source.c_str()));
        EXPECT_EQ(PortionNumberOf(list), -1) << list;
    }
    char list[FILE_NAME_FIELD];
    EXPECT_EQ(ChecklistName("", list), -1);
    EXPECT_EQ(ChecklistName(std::string(256, 'n').c_str(), list), -1);
}

// The last line tells whose list it is; a list cut short has none.
TEST(ChecklistLastLine, NamesTheSetTheListBelongsTo)
{
    const std::string file = "; Sliced file A.DAT, 1000 bytes, CRC-32 CBF43926, 2 portions";
    const std::string body = "; Written by Dorvane 1.0.0\r\nA.D00 1A2B3C4D\r\nA.D01 5E6F7A8B\r\n";
    const struct {
        std::string Text;
        int Found;
    } cases[] = {
        {body + file + "\r\n", 1},
        {body + file, 1},                            // no line end after it
        {body + file + "\r\n\r\n  \n", 1},          // blank lines after it
        {"A.D00 1A2B3C4D\rA.D01 5E6F7A8B\r" + file + "\r", 1},  // CR alone
        {body, 0},                                   // cut short
        {body + file.substr(0, 30), 0},              // its last line cut
        {body + file + "\r\nA.D02 00000000\r\n", 0}, // a line after it
        {"", 0},
    };
    for (const auto &c : cases) {
        ChecklistInfo info;
        EXPECT_EQ(ChecklistLastLine(c.Text.data(), c.Text.size(), &info), c.Found) << c.Text;
        if (c.Found) {
            EXPECT_STREQ(info.FileName, "A.DAT");
            EXPECT_EQ(info.FileSize, 1000u);
            EXPECT_EQ(info.Portions, 2u);
        }
    }
}

} // namespace
