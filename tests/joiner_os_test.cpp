// The joiner's Windows layer, at the places where a wrong answer would let
// the joiner overflow a buffer or replace a file without asking.
#include <gtest/gtest.h>

#include <windows.h>

#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "../joiner/joiner_os.h"

namespace {

class JoinerOs : public ::testing::Test {
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

TEST_F(JoinerOs, CurrentFolderNeverPassesItsBuffer)
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

TEST_F(JoinerOs, CreateNewNeverReplacesAFile)
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

TEST_F(JoinerOs, OpenFilesAreNotShared)
{
    std::string path = Path("HELD.D00");
    Write(path, "x");
    OsFile first = 0, second = 0;
    ASSERT_EQ(OsOpenRead(path.c_str(), &first), 0);
    EXPECT_EQ(OsOpenRead(path.c_str(), &second), ERROR_SHARING_VIOLATION);
    OsClose(first);
}

TEST_F(JoinerOs, SizesOf4GiBAndAroundAreRead)
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

TEST_F(JoinerOs, SearchAndQueryReportMissingFiles)
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

} // namespace
