// The Windows platform layer, at the places where a wrong answer would let
// a program overflow a buffer or replace a file without asking.
#include <gtest/gtest.h>

#include <windows.h>

#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "os/console.h"
#include "os/files.h"
#include "os/process.h"

namespace {

// The test's own reading of UTF-8, for the calls it makes itself.
std::wstring Wide(const std::string &text)
{
    std::wstring wide(text.size() + 1, L'\0');
    wide.resize(MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, &wide[0], (int)wide.size()) - 1);
    return wide;
}

class OsWin : public ::testing::Test {
protected:
    void SetUp() override
    {
        char base[MAX_PATH];
        ASSERT_NE(GetTempPathA(sizeof base, base), 0u);
        snprintf(folder_, sizeof folder_, "%skelmorix-os-%lu", base, GetCurrentProcessId());
        CreateDirectoryA(folder_, NULL);
    }
    void TearDown() override
    {
        SetCurrentDirectoryA(folder_);
        SetCurrentDirectoryA("..");
        for (const std::string &path : made_) {
            SetFileAttributesW(Wide(path).c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileW(Wide(path).c_str());
        }
        for (auto folder = folders_.rbegin(); folder != folders_.rend(); ++folder)
            RemoveDirectoryW(Wide(*folder).c_str());
        RemoveDirectoryA(folder_);
    }
    std::string Path(const char *name)
    {
        std::string path = std::string(folder_) + "\\" + name;
        made_.push_back(path);
        return path;
    }
    void Write(const std::string &path, const char *text)
    {
        FILE *f = fopen(path.c_str(), "wb");
        ASSERT_TRUE(f);
        fputs(text, f);
        fclose(f);
    }

    std::string Folder(const std::string &path)
    {
        folders_.push_back(path);
        EXPECT_TRUE(CreateDirectoryW(Wide(path).c_str(), NULL)) << path;
        return path;
    }

    char folder_[MAX_PATH];
    std::vector<std::string> made_, folders_;
};

TEST_F(OsWin, CurrentFolderNeverPassesItsBuffer)
{
    char buffer[8];
    memset(buffer, 'Q', sizeof buffer);
    SetCurrentDirectoryA(folder_);
    EXPECT_NE(OsCurrentFolder(buffer, 4), 0);
    EXPECT_EQ(memcmp(buffer + 4, "QQQQ", 4), 0);

    char full[261];
    ASSERT_EQ(OsCurrentFolder(full, sizeof full), 0);
    EXPECT_STREQ(full, folder_);
}

TEST_F(OsWin, CreateNewNeverReplacesAFile)
{
    std::string path = Path("TAKEN.DAT");
    Write(path, "keep");
    OsFile file = 0;
    EXPECT_EQ(OsCreateNew(path.c_str(), &file), OS_FILE_EXISTS);

    std::string fresh = Path("FRESH.DAT");
    ASSERT_EQ(OsCreateNew(fresh.c_str(), &file), 0);
    uint32_t done = 0;
    EXPECT_EQ(OsWrite(file, "abc", 3, &done), 0);
    EXPECT_EQ(done, 3u);
    EXPECT_EQ(OsClose(file), 0);

    ASSERT_EQ(OsOpenRead(path.c_str(), &file), 0);
    char text[8] = {0};
    EXPECT_EQ(OsRead(file, text, sizeof text, &done), 0);
    EXPECT_EQ(done, 4u);
    EXPECT_STREQ(text, "keep");
    EXPECT_EQ(OsClose(file), 0);
}

TEST_F(OsWin, OpenFilesAreNotShared)
{
    std::string path = Path("HELD.D00");
    Write(path, "x");
    OsFile first = 0, second = 0;
    ASSERT_EQ(OsOpenRead(path.c_str(), &first), 0);
    EXPECT_EQ(OsOpenRead(path.c_str(), &second), ERROR_SHARING_VIOLATION);
    OsClose(first);
}

TEST_F(OsWin, SizesOf4GiBAndAroundAreRead)
{
    // Sparse files: the high word counts, and a low word of 0xFFFFFFFF (the
    // size query's error value) after an older error is a size, not a failure.
    const uint64_t sizes[] = {0xFFFFFFFFu, 0x100000000u + 5};
    for (uint64_t size : sizes) {
        std::string path = Path("HUGE.D00");
        HANDLE made = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
        ASSERT_NE(made, INVALID_HANDLE_VALUE);
        LARGE_INTEGER end;
        end.QuadPart = (LONGLONG)size;
        ASSERT_TRUE(SetFilePointerEx(made, end, NULL, FILE_BEGIN));
        ASSERT_TRUE(SetEndOfFile(made));
        CloseHandle(made);
        OsFile file = 0;
        ASSERT_EQ(OsOpenRead(path.c_str(), &file), 0);
        uint64_t read = 0;
        SetLastError(ERROR_ACCESS_DENIED);
        EXPECT_EQ(OsFileSize(file, &read), 0);
        EXPECT_EQ(read, size);
        OsClose(file);
    }
}

TEST_F(OsWin, SearchAndQueryReportMissingFiles)
{
    char name[16];
    std::string pattern = std::string(folder_) + "\\*00";
    EXPECT_NE(OsFindFirst(pattern.c_str(), name, sizeof name), 0);
    EXPECT_EQ(OsQueryPath(Path("NONE.D00").c_str(), NULL), OS_FILE_NOT_FOUND);

    std::string longName = Path("A_NAME_LONGER_THAN_THE_BUFFER.D00");
    Write(longName, "x");
    memset(name, 'Q', sizeof name);
    EXPECT_NE(OsFindFirst(pattern.c_str(), name, 8), 0);
    EXPECT_EQ(name[8], 'Q');
    char wide[64];
    ASSERT_EQ(OsFindFirst(pattern.c_str(), wide, sizeof wide), 0);
    EXPECT_STREQ(wide, "A_NAME_LONGER_THAN_THE_BUFFER.D00");

    int isFolder = -1;
    EXPECT_EQ(OsQueryPath(folder_, &isFolder), 0);
    EXPECT_EQ(isFolder, 1);
    EXPECT_EQ(OsQueryPath(longName.c_str(), &isFolder), 0);
    EXPECT_EQ(isFolder, 0);
}

TEST_F(OsWin, SameFileIsWhatTheFileIs)
{
    std::string big = Path("BIG.DAT"), copy = Path("COPY.DAT"), hard = Path("HARD.DAT");
    Write(big, "x");
    Write(copy, "x");
    ASSERT_TRUE(CreateHardLinkA(hard.c_str(), big.c_str(), NULL));
    std::string lower = std::string(folder_) + "\\big.dat";
    std::string dotted = std::string(folder_) + "\\.\\BIG.DAT";
    // (second name, error, same): names compared by the file they reach.
    const struct {
        std::string Other;
        long Error;
        int Same;
    } cases[] = {{big, 0, 1},  {lower, 0, 1}, {dotted, 0, 1}, {hard, 0, 1},
                 {copy, 0, 0}, {folder_, 0, 0}, {Path("NONE.DAT"), OS_FILE_NOT_FOUND, 0}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Other);
        int same = -1;
        EXPECT_EQ(OsSameFile(big.c_str(), c.Other.c_str(), &same), c.Error);
        EXPECT_EQ(same, c.Same);
    }
    // A file held open without sharing (a source being sliced) is still asked.
    OsFile held = 0;
    ASSERT_EQ(OsOpenRead(big.c_str(), &held), 0);
    int same = -1;
    EXPECT_EQ(OsSameFile(big.c_str(), hard.c_str(), &same), 0);
    EXPECT_EQ(same, 1);
    OsClose(held);
}

TEST_F(OsWin, RenameOverReplacesInOneStep)
{
    std::string target = Path("BIG.DAT"), fresh = Path("BIG.TMP");
    Write(target, "old");
    Write(fresh, "new");
    ASSERT_EQ(OsRenameOver(fresh.c_str(), target.c_str()), 0);
    EXPECT_EQ(GetFileAttributesA(fresh.c_str()), INVALID_FILE_ATTRIBUTES);
    OsFile file = 0;
    ASSERT_EQ(OsOpenRead(target.c_str(), &file), 0);
    char text[8] = {0};
    uint32_t done = 0;
    EXPECT_EQ(OsRead(file, text, sizeof text, &done), 0);
    EXPECT_STREQ(text, "new");
    EXPECT_EQ(OsClose(file), 0);
    // A missing source leaves the name as it was.
    EXPECT_EQ(OsRenameOver(Path("NONE.TMP").c_str(), target.c_str()), OS_FILE_NOT_FOUND);
    EXPECT_NE(GetFileAttributesA(target.c_str()), INVALID_FILE_ATTRIBUTES);
}

// A taken name (a file, a folder) is never replaced; a free one is taken,
// and the file keeps what it is under it.
TEST_F(OsWin, RenameNoReplaceTakesOnlyAFreeName)
{
    std::string taken = Path("TAKEN.DAT"), fresh = Path("NEW.TMP"), vacant = Path("FREE.DAT");
    std::string folder = Folder(std::string(folder_) + "\\DIR.DAT");
    Write(taken, "keep");
    Write(fresh, "new");
    for (const std::string &name : {taken, folder}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(OsRenameNoReplace(fresh.c_str(), name.c_str()), OS_FILE_EXISTS);
    }
    OsFileId before, after;
    ASSERT_EQ(OsFileIdentity(fresh.c_str(), &before), 0);
    ASSERT_EQ(OsRenameNoReplace(fresh.c_str(), vacant.c_str()), 0);
    EXPECT_EQ(GetFileAttributesA(fresh.c_str()), INVALID_FILE_ATTRIBUTES);
    ASSERT_EQ(OsFileIdentity(vacant.c_str(), &after), 0);
    EXPECT_TRUE(before.Volume == after.Volume && before.Index == after.Index);
    ASSERT_EQ(OsFileIdentity(taken.c_str(), &after), 0);
    EXPECT_FALSE(before.Volume == after.Volume && before.Index == after.Index);
    EXPECT_EQ(OsFileIdentity(Path("NONE.DAT").c_str(), &after), OS_FILE_NOT_FOUND);
    OsFile file = 0;
    char text[8] = {0};
    uint32_t done = 0;
    ASSERT_EQ(OsOpenRead(taken.c_str(), &file), 0);
    EXPECT_EQ(OsRead(file, text, sizeof text, &done), 0);
    EXPECT_STREQ(text, "keep");
    EXPECT_EQ(OsClose(file), 0);
}

// ---- Names beyond ASCII ------------------------------------------------------

// The names in folder as Linux lists them, in the bytes of the Linux side:
// a Linux ls started from Wine writes them beside the folder, under its
// final name once complete (Wine gives back no handle to wait on).
std::vector<std::string> LinuxListing(const std::string &folder)
{
    std::string listing = folder + ".ls";
    std::string base = listing.substr(listing.rfind('\\') + 1);
    std::wstring command = Wide("/bin/sh -c \"ls -1 >../" + base + ".new && mv ../" + base +
                                ".new ../" + base + "\"");
    STARTUPINFOW start = {};
    PROCESS_INFORMATION started = {};
    std::vector<std::string> names;
    start.cb = sizeof start;
    DeleteFileA(listing.c_str());
    if (!CreateProcessW(NULL, &command[0], NULL, NULL, FALSE, 0, NULL, Wide(folder).c_str(),
                        &start, &started)) {
        ADD_FAILURE() << "Wine did not start /bin/sh: " << GetLastError();
        return names;
    }
    for (int tries = 0; GetFileAttributesA(listing.c_str()) == INVALID_FILE_ATTRIBUTES; tries++) {
        if (tries == 6000) {
            ADD_FAILURE() << "no listing from /bin/sh";
            return names;
        }
        Sleep(10);
    }
    FILE *f = fopen(listing.c_str(), "rb");
    char line[1024];
    while (f && fgets(line, sizeof line, f)) {
        line[strcspn(line, "\n")] = 0;
        names.push_back(line);
    }
    if (f)
        fclose(f);
    DeleteFileA(listing.c_str());
    std::sort(names.begin(), names.end());
    return names;
}

// Each name goes through the layer in UTF-8 and is what Linux lists, byte
// for byte; a name of the ANSI era (bytes in code page 1252, as the slicer
// wrote them before) names the file its characters name.
TEST_F(OsWin, NamesBeyondAsciiTravelWhole)
{
    ASSERT_EQ(GetACP(), 1252u) << "run under the build's wine-run (LC_ALL=C.UTF-8)";
    // (as given to the layer, as listed in UTF-8)
    const struct {
        std::string Given, Listed;
    } names[] = {
        {"PLAIN.D00", "PLAIN.D00"},
        {"Müller Präsentation.pdf", "Müller Präsentation.pdf"},
        {"Привет мир.txt", "Привет мир.txt"},
        {"日本語.bin", "日本語.bin"},
        {"\xF0\x9F\x98\x80 smile.dat", "\xF0\x9F\x98\x80 smile.dat"},
        {"R\xE9sum\xE9.doc", "Résumé.doc"},
    };
    std::vector<std::string> listed, renamed;
    for (const auto &n : names) {
        SCOPED_TRACE(n.Listed);
        std::string path = Path(n.Given.c_str()), as = Path(n.Listed.c_str());
        std::string pattern = std::string(folder_) + "\\" + n.Given;
        OsFile file = 0;
        ASSERT_EQ(OsCreateNew(path.c_str(), &file), 0);
        EXPECT_EQ(OsClose(file), 0);
        // Found under its UTF-8 name, and asked by either spelling.
        char found[64], *longPath = NULL;
        ASSERT_EQ(OsFindFirst(pattern.c_str(), found, sizeof found), 0);
        EXPECT_EQ(std::string(found), n.Listed);
        int isFolder = -1, same = 0;
        uint32_t attributes = 0;
        EXPECT_EQ(OsQueryPath(as.c_str(), &isFolder), 0);
        EXPECT_EQ(isFolder, 0);
        EXPECT_EQ(OsSameFile(path.c_str(), as.c_str(), &same), 0);
        EXPECT_EQ(same, 1);
        ASSERT_EQ(OsLongPath(path.c_str(), &longPath), 0);
        EXPECT_EQ(std::string(longPath), as);
        free(longPath);
        EXPECT_EQ(OsSetAttributes(path.c_str(), FILE_ATTRIBUTE_HIDDEN), 0);
        EXPECT_EQ(OsGetAttributes(as.c_str(), &attributes), 0);
        EXPECT_TRUE(attributes & FILE_ATTRIBUTE_HIDDEN);
        listed.push_back(n.Listed);
        renamed.push_back("Ω " + n.Listed);
    }
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(LinuxListing(folder_), listed);
    // Stepped through in the order of their UTF-8 bytes, after . and ..
    std::string pattern = std::string(folder_) + "\\*";
    std::vector<std::string> stepped, expected = {".", ".."};
    char name[64] = "";
    while (OsFindNext(pattern.c_str(), std::string(name).c_str(), name, sizeof name) == 0)
        stepped.push_back(name);
    expected.insert(expected.end(), listed.begin(), listed.end());
    EXPECT_EQ(stepped, expected);

    for (const auto &n : names) {
        std::string from = Path(n.Given.c_str()), to = Path(("Ω " + n.Listed).c_str());
        ASSERT_EQ(OsRenameOver(from.c_str(), to.c_str()), 0);
    }
    std::sort(renamed.begin(), renamed.end());
    EXPECT_EQ(LinuxListing(folder_), renamed);
    for (const std::string &n : renamed) {
        std::string path = std::string(folder_) + "\\" + n;
        EXPECT_EQ(OsDelete(path.c_str()), 0);
        EXPECT_EQ(OsQueryPath(path.c_str(), NULL), OS_FILE_NOT_FOUND);
    }
    EXPECT_EQ(LinuxListing(folder_), std::vector<std::string>());
}

// A path of fewer than MAX_PATH characters can take far more bytes in UTF-8:
// the layer's buffers hold it, and a caller's too small one is told so.
TEST_F(OsWin, PathsLongerInUtf8ThanMaxPath)
{
    std::string part;
    for (int i = 0; i < 80; i++)
        part += "語"; // 240 bytes, 80 characters
    std::string sub = Folder(std::string(folder_) + "\\" + part);
    std::string path = Path((part + "\\" + part + ".bin").c_str());
    ASSERT_GT(path.size(), (size_t)MAX_PATH);
    OsFile file = 0;
    ASSERT_EQ(OsCreateNew(path.c_str(), &file), 0);
    EXPECT_EQ(OsClose(file), 0);
    char found[256];
    ASSERT_EQ(OsFindFirst((sub + "\\*.bin").c_str(), found, sizeof found), 0);
    EXPECT_EQ(std::string(found), part + ".bin");
    char *longPath = NULL;
    ASSERT_EQ(OsLongPath(path.c_str(), &longPath), 0);
    EXPECT_EQ(std::string(longPath), path);
    free(longPath);

    ASSERT_TRUE(SetCurrentDirectoryW(Wide(sub).c_str()));
    char current[MAX_PATH * 3], small[MAX_PATH + 1];
    ASSERT_EQ(OsCurrentFolder(current, sizeof current), 0);
    EXPECT_EQ(std::string(current), sub);
    EXPECT_EQ(OsCurrentFolder(small, sizeof small), OS_BUFFER_TOO_SMALL);
}

// Keys typed ahead are gone after the flush; without a console (a test run
// whose output is no terminal) the call says so.
TEST(Console, TypedAheadKeysAreDropped)
{
    HANDLE input = CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    DWORD mode = 0;
    if (input == INVALID_HANDLE_VALUE || !GetConsoleMode(input, &mode)) {
        EXPECT_EQ(OsFlushTypedAhead(), -1);
        EXPECT_EQ(OsReadKey(), -1);
        if (input != INVALID_HANDLE_VALUE)
            CloseHandle(input);
        return;
    }
    INPUT_RECORD key = {};
    key.EventType = KEY_EVENT;
    key.Event.KeyEvent.bKeyDown = TRUE;
    key.Event.KeyEvent.wRepeatCount = 1;
    key.Event.KeyEvent.uChar.AsciiChar = 'y';
    DWORD count = 0;
    ASSERT_TRUE(WriteConsoleInputA(input, &key, 1, &count));
    ASSERT_TRUE(GetNumberOfConsoleInputEvents(input, &count));
    EXPECT_GT(count, 0u);
    EXPECT_EQ(OsFlushTypedAhead(), 0);
    ASSERT_TRUE(GetNumberOfConsoleInputEvents(input, &count));
    EXPECT_EQ(count, 0u);
    CloseHandle(input);
}

// Text to a console shows as characters, whatever the console's code page
// (a name of the ANSI era in the ANSI code page); to a file, as its bytes.
TEST(Console, NamesShowWholeOnAConsoleAndAsBytesElsewhere)
{
    // (bytes, as the console shows them)
    const struct {
        std::string Text;
        std::wstring Shown;
    } texts[] = {
        {"Müller 日本語 \xF0\x9F\x98\x80", L"M\u00fcller \u65e5\u672c\u8a9e \U0001F600"},
        {"R\xE9sum\xE9.doc", L"R\u00e9sum\u00e9.doc"},
    };
    for (const auto &t : texts) {
        FILE *file = tmpfile();
        ASSERT_TRUE(file);
        EXPECT_EQ(OsWriteText(file, t.Text.data(), t.Text.size()), 0);
        rewind(file);
        std::string back(t.Text.size() + 1, '\0');
        back.resize(fread(&back[0], 1, back.size(), file));
        EXPECT_EQ(back, t.Text);
        fclose(file);
    }

    // A console of the test's own, in the code page of a US system's console.
    FreeConsole();
    ASSERT_TRUE(AllocConsole());
    SetConsoleOutputCP(437);
    HANDLE screen = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(screen, INVALID_HANDLE_VALUE);
    for (const auto &t : texts) {
        CONSOLE_SCREEN_BUFFER_INFO info;
        ASSERT_TRUE(GetConsoleScreenBufferInfo(screen, &info));
        // Opened as the joiner opens it: for writing only.
        FILE *console = fopen("CONOUT$", "w");
        ASSERT_TRUE(console);
        fputs("> ", console);
        EXPECT_EQ(OsWriteText(console, t.Text.data(), t.Text.size()), 0);
        fputs("\n", console);
        fclose(console);
        std::wstring shown(t.Shown.size() + 2, L'?');
        DWORD got = 0;
        ASSERT_TRUE(ReadConsoleOutputCharacterW(screen, &shown[0], (DWORD)shown.size(),
                                                info.dwCursorPosition, &got));
        shown.resize(got);
        EXPECT_TRUE(shown == L"> " + t.Shown) << t.Text;
    }
    CloseHandle(screen);
}

} // namespace
