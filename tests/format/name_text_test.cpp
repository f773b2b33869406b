// Names as text: the strict UTF-8 check, and the reading of a name of the
// ANSI era (Windows-1252 on Linux; the ANSI code page, 1252 under the test
// harness's Wine, on Windows).
#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "format/name_text.h"
#include "os/names.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

namespace {

TEST(NameText, Utf8IsCheckedStrictly)
{
    // (bytes, valid)
    const struct {
        std::string Text;
        int Valid;
    } cases[] = {
        {"", 1}, {"PLAIN.DAT", 1}, {"Müller Präsentation.pdf", 1}, {"Привет.txt", 1},
        {"日本語.bin", 1}, {"\xF0\x9F\x98\x80.dat", 1},           // U+1F600, outside the BMP
        {"\xED\x9F\xBF\xEF\xBF\xBF", 1}, {"\xF4\x8F\xBF\xBF", 1}, // U+D7FF U+FFFF, U+10FFFF
        {std::string("a\0b", 3), 1},                           // U+0000 is a character
        {"R\xE9sum\xE9.doc", 0},                               // Windows-1252
        {"\x80", 0}, {"\xFF", 0},                              // not a first byte
        {"\xC3", 0}, {"\xE6\x97", 0}, {"\xC3\x28", 0},         // cut short or broken
        {"\xC0\xAF", 0}, {"\xC1\xBF", 0}, {"\xE0\x80\xAF", 0}, // overlong
        {"\xF0\x80\x80\xAF", 0},                               // overlong
        {"\xED\xA0\x80", 0}, {"\xED\xBF\xBF", 0},              // surrogates
        {"\xF4\x90\x80\x80", 0}, {"\xF8\x88\x80\x80\x80", 0},  // past U+10FFFF
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Text);
        EXPECT_EQ(IsUtf8(c.Text.data(), c.Text.size()), c.Valid);
    }
}

TEST(NameText, CharactersAreDecodedOneByOne)
{
    // (bytes, length given, bytes taken, code point)
    const struct {
        const char *Text;
        size_t Length;
        int Taken;
        uint32_t CodePoint;
    } cases[] = {
        {"A", 1, 1, 0x41},          {"é!", 3, 2, 0xE9},           {"日本", 6, 3, 0x65E5},
        {"\xF0\x9F\x98\x80", 4, 4, 0x1F600}, {"日", 2, 0, 0}, {"", 0, 0, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Text);
        uint32_t codePoint = 0;
        EXPECT_EQ(Utf8Next(c.Text, c.Length, &codePoint), c.Taken);
        EXPECT_EQ(codePoint, c.CodePoint);
    }
}

TEST(LegacyName, ReadInCodePage1252)
{
#ifdef _WIN32
    ASSERT_EQ(GetACP(), 1252u) << "run under the build's wine-run (LC_ALL=C.UTF-8)";
#endif
    // (bytes, UTF-8): among them the five bytes 1252 leaves undefined.
    const struct {
        const char *Legacy;
        const char *Utf8;
    } cases[] = {
        {"R\xE9sum\xE9.doc", "Résumé.doc"}, {"\x80", "€"},     {"\x9F\xFF", "Ÿÿ"},
        {"\x81\x8D\x8F\x90\x9D", "\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D"},
        {"\xA0", "\xC2\xA0"},               {"PLAIN.DAT", "PLAIN.DAT"}, {"", ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Legacy);
        char out[64];
        ASSERT_EQ(OsLegacyNameToUtf8(c.Legacy, strlen(c.Legacy), out, sizeof out), 0);
        EXPECT_STREQ(out, c.Utf8);
    }
    // "Résumé.doc" and its terminator take 13 bytes.
    char out[13];
    EXPECT_EQ(OsLegacyNameToUtf8("R\xE9sum\xE9.doc", 10, out, 12), OS_BUFFER_TOO_SMALL);
    EXPECT_EQ(OsLegacyNameToUtf8("R\xE9sum\xE9.doc", 10, out, 13), 0);
}

#ifndef _WIN32
// Every byte as the C library's converter reads Windows-1252; the five it
// refuses as Windows reads them, as the control characters of their numbers.
TEST(LegacyName, EveryByteAsTheCLibraryReadsIt)
{
    iconv_t converter = iconv_open("UTF-8", "WINDOWS-1252");
    ASSERT_NE(converter, (iconv_t)-1);
    for (int byte = 1; byte < 256; byte++) {
        SCOPED_TRACE(byte);
        char in[1] = {(char)byte}, expected[8] = {0}, out[8];
        char *from = in, *to = expected;
        size_t inLeft = 1, outLeft = sizeof expected - 1;
        if (iconv(converter, &from, &inLeft, &to, &outLeft) == (size_t)-1) {
            EXPECT_TRUE(strchr("\x81\x8D\x8F\x90\x9D", byte));
            expected[0] = (char)0xC2;
            expected[1] = (char)byte;
        }
        ASSERT_EQ(OsLegacyNameToUtf8(in, 1, out, sizeof out), 0);
        EXPECT_STREQ(out, expected);
    }
    iconv_close(converter);
}
#endif

} // namespace
