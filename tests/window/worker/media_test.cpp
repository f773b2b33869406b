// The engine's helpers under Wine: the embedded joiner written out, free
// space, the slicer's own folder and the remembered-folders file.
#include <gtest/gtest.h>

#include <windows.h>

#include <string.h>

#include <string>

#include "os/media.h"
#include "os/process.h"
#include "slice/slice_job.h"
#include "remembered_folders.h"
#include "win_files.h"

using namespace testfiles;

namespace {

TEST(WriteJoinerFile, WritesTheBuiltJoinerAndReplacesAnOldOne)
{
    ScratchFolder out("joiner");
    std::string built = ReadAll(BuiltJoinerPath());
    ASSERT_GT(built.size(), 1000u);
    EXPECT_EQ(built.substr(0, 2), "MZ");

    EXPECT_EQ(WriteJoinerFile(out.Slash().c_str(), NULL), 0);
    EXPECT_EQ(ReadAll(out / "KELMORIX.EXE"), built);

    WriteAll(out / "KELMORIX.EXE", std::string(100000, 'x')); // longer than the joiner
    EXPECT_EQ(WriteJoinerFile(out.Slash().c_str(), NULL), 0);
    EXPECT_EQ(ReadAll(out / "KELMORIX.EXE"), built);

    // One it cannot replace is reported, and left as it was.
    WriteAll(out / "KELMORIX.EXE", "locked");
    SetFileAttributesA((out / "KELMORIX.EXE").c_str(), FILE_ATTRIBUTE_READONLY);
    int replaceFailed = 0;
    EXPECT_EQ(WriteJoinerFile(out.Slash().c_str(), &replaceFailed), ERROR_ACCESS_DENIED);
    EXPECT_EQ(replaceFailed, 1);
    EXPECT_EQ(ReadAll(out / "KELMORIX.EXE"), "locked");

    EXPECT_EQ(WriteJoinerFile((out / "MISSING\\").c_str(), NULL), ERROR_PATH_NOT_FOUND);
}

TEST(WriteJoinerFile, TheSlicerCarriesTheSameJoiner)
{
    std::string path = std::string("Z:") + DORVANE_BUILD_PATH;
    HMODULE slicer = LoadLibraryExA(path.c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_TRUE(slicer) << path;
    HRSRC found = FindResourceExA(slicer, JOINER_RESOURCE_TYPE,
                                  MAKEINTRESOURCEA(JOINER_RESOURCE_ID), JOINER_RESOURCE_LANGUAGE);
    ASSERT_TRUE(found);
    const char *data = (const char *)LockResource(LoadResource(slicer, found));
    std::string carried(data, SizeofResource(slicer, found));
    FreeLibrary(slicer);
    EXPECT_TRUE(carried == ReadAll(BuiltJoinerPath()));
}

TEST(OsFreeBytes, ReportsTheDriveOrZero)
{
    ULARGE_INTEGER available, total, free;
    ASSERT_TRUE(GetDiskFreeSpaceExA("Z:\\", &available, &total, &free));
    uint64_t expected = free.QuadPart > 0xFFFFFFFFu ? 0xFFFFFFFFu : free.QuadPart;
    uint32_t measured = OsFreeBytes("Z:");
    // Other programs write meanwhile: allow for a few megabytes of drift.
    EXPECT_NEAR((double)measured, (double)expected, 16.0 * 1024 * 1024);
    EXPECT_GT(measured, 0u);
    EXPECT_EQ(OsFreeBytes("Q:"), 0u); // no such drive
}

class RememberedFolders : public ::testing::Test {
protected:
    void SetUp() override
    {
        GetCurrentDirectoryA(sizeof saved_, saved_);
        memset(&Folders, 0, sizeof Folders);
    }
    void TearDown() override { SetCurrentDirectoryA(saved_); }

    ScratchFolder home_{"home"};
    char saved_[MAX_PATH];
};

TEST_F(RememberedFolders, ProgramFolderIsWhereDorvaneExeIsFound)
{
    // Neither the test program's folder nor the current one holds it.
    SetCurrentDirectoryA(home_.Path().c_str());
    strcpy(Folders.ProgramFolder, "stale");
    FindProgramFolder();
    EXPECT_STREQ(Folders.ProgramFolder, "");

    WriteAll(home_ / "dorvane.exe", "MZ");
    FindProgramFolder();
    EXPECT_EQ(std::string(Folders.ProgramFolder), home_.Slash());
}

TEST_F(RememberedFolders, SavedFoldersComeBack)
{
    strcpy(Folders.ProgramFolder, home_.Slash().c_str());
    strcpy(Folders.RememberedSourceFolder, "C:\\DATA");
    strcpy(Folders.RememberedDestinationFolder, "D:\\SETS\\");
    SaveRememberedFolders();
    EXPECT_EQ(ReadAll(home_ / "DORVANE.TXT"), "C:\\DATA\nD:\\SETS\\\n");

    memset(Folders.RememberedSourceFolder, 'x', sizeof Folders.RememberedSourceFolder);
    memset(Folders.RememberedDestinationFolder, 'x', sizeof Folders.RememberedDestinationFolder);
    LoadRememberedFolders();
    EXPECT_STREQ(Folders.RememberedSourceFolder, "C:\\DATA");
    EXPECT_STREQ(Folders.RememberedDestinationFolder, "D:\\SETS\\");

    // Both empty: two line feeds, replacing the longer file.
    Folders.RememberedSourceFolder[0] = Folders.RememberedDestinationFolder[0] = '\0';
    SaveRememberedFolders();
    EXPECT_EQ(ReadAll(home_ / "DORVANE.TXT"), "\n\n");
    strcpy(Folders.RememberedSourceFolder, "stale");
    LoadRememberedFolders();
    EXPECT_STREQ(Folders.RememberedSourceFolder, "");
    EXPECT_STREQ(Folders.RememberedDestinationFolder, "");
}

TEST_F(RememberedFolders, MissingFileLeavesBothEmpty)
{
    strcpy(Folders.ProgramFolder, home_.Slash().c_str());
    strcpy(Folders.RememberedSourceFolder, "stale");
    strcpy(Folders.RememberedDestinationFolder, "stale");
    LoadRememberedFolders();
    EXPECT_STREQ(Folders.RememberedSourceFolder, "");
    EXPECT_STREQ(Folders.RememberedDestinationFolder, "");
}

TEST_F(RememberedFolders, WithoutProgramFolderTheCurrentFolderIsUsed)
{
    SetCurrentDirectoryA(home_.Path().c_str());
    strcpy(Folders.RememberedDestinationFolder, "E:\\");
    SaveRememberedFolders();
    EXPECT_EQ(ReadAll(home_ / "DORVANE.TXT"), "\nE:\\\n");
}

} // namespace
