// The slice-set format: byte offsets, the round trip, and the naming rules.
#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "format/slice_format.h"

namespace {

PortionHeader SampleHeader()
{
    PortionHeader h;
    memset(&h, 0, sizeof h);
    h.LastPortion = 1;
    h.FileAttributes = 0x01020321;
    h.CreationTime = {0x11223344, 0x01D2A3B4};
    h.LastAccessTime = {0x55667788, 0x01D2A3B5};
    h.LastWriteTime = {0x99AABBCC, 0x01D2A3B6};
    h.FileSizeLow = 0xDEADBEEF;
    h.FileSizeHigh = 0x00000007;
    StoreFileName(h.FileName, "BIG.DAT");
    h.SliceTime = {2026, 12, 1, 7, 8, 9, 10, 999};
    return h;
}

uint32_t Le32(const unsigned char *p)
{
    return p[0] | p[1] << 8 | p[2] << 16 | (uint32_t)p[3] << 24;
}

TEST(PortionHeaderFormat, FieldsSitAtTheirOffsetsLittleEndian)
{
    PortionHeader h = SampleHeader();
    unsigned char raw[PORTION_HEADER_SIZE];
    memset(raw, 0xCD, sizeof raw);
    EncodePortionHeader(&h, raw);

    struct {
        int Offset;
        uint32_t Value;
    } const words[] = {
        {1, 0x01020321},  {5, 0x11223344},  {9, 0x01D2A3B4},  {13, 0x55667788},
        {17, 0x01D2A3B5}, {21, 0x99AABBCC}, {25, 0x01D2A3B6}, {29, 0xDEADBEEF},
        {33, 0x00000007},
    };
    EXPECT_EQ(raw[0], 1);
    for (const auto &w : words)
        EXPECT_EQ(Le32(raw + w.Offset), w.Value) << "offset " << w.Offset;
    EXPECT_EQ(memcmp(raw + 37, "BIG.DAT", 8), 0);
    for (int i = 37 + 7; i < 293; i++)
        ASSERT_EQ(raw[i], 0) << "FileName padding at " << i;
    const uint16_t clock[8] = {2026, 12, 1, 7, 8, 9, 10, 999};
    for (int i = 0; i < 8; i++)
        EXPECT_EQ(raw[293 + 2 * i] | raw[294 + 2 * i] << 8, clock[i]) << "SliceTime word " << i;
}

TEST(PortionHeaderFormat, DecodeReversesEncodeForEveryByte)
{
    // Every byte value at every offset survives decode then encode.
    unsigned char raw[PORTION_HEADER_SIZE], again[PORTION_HEADER_SIZE];
    for (int i = 0; i < PORTION_HEADER_SIZE; i++)
        raw[i] = (unsigned char)(i * 37 + 11);
    PortionHeader h;
    DecodePortionHeader(raw, &h);
    EncodePortionHeader(&h, again);
    EXPECT_EQ(memcmp(raw, again, sizeof raw), 0);

    PortionHeader sample = SampleHeader(), back;
    EncodePortionHeader(&sample, raw);
    DecodePortionHeader(raw, &back);
    EXPECT_EQ(back.FileSizeLow, 0xDEADBEEFu);
    EXPECT_EQ(back.LastWriteTime.HighDateTime, 0x01D2A3B6u);
    EXPECT_EQ(back.SliceTime.Milliseconds, 999);
    EXPECT_STREQ(back.FileName, "BIG.DAT");
}

TEST(PortionHeaderFormat, LongestNameLeavesOneZeroBeforeSliceTime)
{
    PortionHeader h = SampleHeader();
    std::string name(255, 'N');
    ASSERT_EQ(StoreFileName(h.FileName, name.c_str()), 0);
    unsigned char raw[PORTION_HEADER_SIZE];
    EncodePortionHeader(&h, raw);
    EXPECT_EQ(raw[291], 'N');
    EXPECT_EQ(raw[292], 0);
    EXPECT_EQ(raw[293] | raw[294] << 8, 2026);
    EXPECT_EQ(CheckStoredFileName(h.FileName), NAME_OK);

    std::string tooLong(256, 'N');
    EXPECT_EQ(StoreFileName(h.FileName, tooLong.c_str()), -1);
    EXPECT_EQ(h.FileName[0], 0);
}

TEST(PortionHeaderFormat, SameSetIgnoresOnlyTheLastPortionByte)
{
    PortionHeader h = SampleHeader();
    unsigned char a[PORTION_HEADER_SIZE], b[PORTION_HEADER_SIZE];
    EncodePortionHeader(&h, a);
    memcpy(b, a, sizeof a);
    b[0] ^= 1;
    EXPECT_TRUE(SameSliceSet(a, b));
    for (int offset : {1, 12, 29, 37, 292, 308}) {
        memcpy(b, a, sizeof a);
        b[offset] ^= 0x40;
        EXPECT_FALSE(SameSliceSet(a, b)) << "offset " << offset;
    }
}

TEST(PortionNaming, LastTwoCharactersTakeTheNumber)
{
    struct {
        const char *Path;
        unsigned Number;
        const char *Expected;
    } const cases[] = {
        {"A:BIG.DAT", 0, "A:BIG.D00"},       {"A:BIG.DAT", 1, "A:BIG.D01"},
        {"D:\\SETS\\BIG.DAT", 42, "D:\\SETS\\BIG.D42"}, {"README", 99, "READ99"},
        {"AB", 7, "07"},                    {"D:\\SETS\\AB", 10, "D:\\SETS\\10"},
    };
    for (const auto &c : cases) {
        char path[64];
        strcpy(path, c.Path);
        ASSERT_EQ(SetPortionNumber(path, c.Number), 0) << c.Path;
        EXPECT_STREQ(path, c.Expected);
        EXPECT_EQ(PortionNumberOf(path), (int)c.Number);
    }
}

TEST(PortionNaming, RefusesWhatCannotBeNamed)
{
    char shortPath[] = "A";
    EXPECT_EQ(SetPortionNumber(shortPath, 0), -1);
    EXPECT_STREQ(shortPath, "A");
    char path[] = "BIG.DAT";
    EXPECT_EQ(SetPortionNumber(path, 100), -1);
    EXPECT_STREQ(path, "BIG.DAT");
    for (const char *name : {"BIG.DAT", "BIG.D0", "X", "", "BIG.D9?"})
        EXPECT_EQ(PortionNumberOf(name), -1) << name;
}

TEST(SourceFileNameRule, AfterLastSeparatorElseFirstColonElseWhole)
{
    struct {
        const char *Path;
        const char *Name;
    } const cases[] = {
        {"C:\\DATA\\BIG.DAT", "BIG.DAT"}, {"C:BIG.DAT", "BIG.DAT"},
        {"BIG.DAT", "BIG.DAT"},           {"C:\\", ""},
        {"A:B:C", "B:C"},                 {"dir/sub/file.bin", "file.bin"},
        {"C:/data\\x/big.dat", "big.dat"}, {"C:\\data/x\\big.dat", "big.dat"},
        {"\\\\srv\\share\\x.y", "x.y"},   {"C:\\DATA\\LONGNA~1.DAT", "LONGNA~1.DAT"},
    };
    for (const auto &c : cases)
        EXPECT_STREQ(SourceFileName(c.Path), c.Name) << c.Path;
}

TEST(FileNameCheck, OnlyPlainNamesInsideTheDestination)
{
    struct {
        const char *Name;
        int Expected;
    } const cases[] = {
        {"BIG.DAT", NAME_OK},    {"a", NAME_OK},          {"...", NAME_ALTERED},
        {"", NAME_EMPTY},        {".", NAME_DOT},         {"..", NAME_DOT},
        {"..\\x", NAME_SEPARATOR}, {"a/b", NAME_SEPARATOR}, {"C:x", NAME_SEPARATOR},
        {"f:stream", NAME_SEPARATOR},
        // What a terminal would act on, what Windows keeps out of names.
        {"a\x01" "b", NAME_CONTROL}, {"t\x1b]0;x\x07", NAME_CONTROL}, {"x\x7f", NAME_CONTROL},
        {"new\nline", NAME_CONTROL}, {"a<b", NAME_FORBIDDEN}, {"a>b", NAME_FORBIDDEN},
        {"\"q\"", NAME_FORBIDDEN}, {"a|b", NAME_FORBIDDEN}, {"a?", NAME_FORBIDDEN},
        {"*.*", NAME_FORBIDDEN},
        // Devices, the superscript digits of code page 1252 among them.
        {"COM1", NAME_DEVICE}, {"com\xb9", NAME_DEVICE}, {"LPT\xb2.TXT", NAME_DEVICE},
        {"Lpt\xb3 .x", NAME_DEVICE}, {"COM\xb4", NAME_OK}, {"COM10", NAME_OK},
        {"end ", NAME_ALTERED}, {"\xe9t\xe9.txt", NAME_OK},
        // Characters, not bytes: UTF-8 names, their devices and controls.
        {"M\xc3\xbcller Pr\xc3\xa4sentation.pdf", NAME_OK}, {"\xe6\x97\xa5\xe6\x9c\xac.bin", NAME_OK},
        {"\xd0\x9e\xd1\x82\xd1\x87\xd1\x91\xd1\x82", NAME_OK}, {"\xf0\x9f\x98\x80.txt", NAME_OK},
        {"COM\xc2\xb9", NAME_DEVICE}, {"lpt\xc2\xb3.log", NAME_DEVICE}, {"COM\xc2\xb9x", NAME_OK},
        {"a\xc2\x9b" "1m", NAME_CONTROL}, {"\xc2\x85", NAME_CONTROL},
        // Of the ANSI era: 0x81 and 0x9D are C1 controls in 1252's reading.
        {"a\x81", NAME_CONTROL}, {"\x80uro", NAME_OK},
    };
    for (const auto &c : cases) {
        char field[FILE_NAME_FIELD];
        ASSERT_EQ(StoreFileName(field, c.Name), 0);
        EXPECT_EQ(CheckStoredFileName(field), c.Expected) << '"' << c.Name << '"';
        EXPECT_EQ(FileNameIsSafe(c.Name), c.Expected == NAME_OK) << '"' << c.Name << '"';
    }
    char full[FILE_NAME_FIELD];
    memset(full, 'x', sizeof full);
    EXPECT_EQ(CheckStoredFileName(full), NAME_UNTERMINATED);
    full[255] = 0;
    EXPECT_EQ(CheckStoredFileName(full), NAME_OK);
}

TEST(DecimalText, EveryWidthUpTo64Bits)
{
    struct {
        uint64_t Value;
        const char *Text;
    } const cases[] = {
        {0, "0"},
        {9, "9"},
        {10, "10"},
        {0xFFFFFFFFu, "4294967295"},
        {0x100000000u, "4294967296"},
        {MAX_SET_DATA, "429496698600"},
        {UINT64_MAX, "18446744073709551615"},
    };
    for (const auto &c : cases) {
        char text[DECIMAL_TEXT_SIZE];
        memset(text, 'x', sizeof text);
        EXPECT_STREQ(DecimalText(c.Value, text), c.Text);
    }
}

} // namespace
