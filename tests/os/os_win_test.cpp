// The Windows platform layer, at the places where a wrong answer would let
// a program overflow a buffer or replace a file without asking.
#include <gtest/gtest.h>

#include <windows.h>

#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "os/console.h"
#include "os/files.h"
#include "os/process.h"

namespace {

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
        for (const std::string &path : made_) {
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileA(path.c_str());
        }
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

    char folder_[MAX_PATH];
    std::vector<std::string> made_;
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

} // namespace
