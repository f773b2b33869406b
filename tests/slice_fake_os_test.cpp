// The slice job against the in-memory platform layer: the faults a real disk
// shows only rarely (a short write, a failed flush or close, a full disk, a
// missing or unreadable source), each with its code, its one message and
// nothing left open.
#include <gtest/gtest.h>

#include <errno.h>
#include <string.h>

#include <string>
#include <vector>

#include "fake_os.h"
#include "slice_engine.h"

namespace {

const char kSource[] = "/in/BIG.DAT";
const uint32_t kRoom = 1000; // payload bytes per portion: 2500 bytes make three

struct Said {
    std::vector<std::string> Notices, Finals;
};

int NextDisk(void *, int, const char *) { return 0; }
int AskOverwrite(void *) { return SLICE_ANSWER_OK; }
int NotReady(void *, const char *) { return SLICE_ANSWER_ABORT; }
int OpenError(void *, const char *, long) { return SLICE_ANSWER_ABORT; }
void Notice(void *context, const char *text) { ((Said *)context)->Notices.push_back(text); }
void Final(void *context, int, const char *text) { ((Said *)context)->Finals.push_back(text); }
void Progress(void *, uint64_t, uint64_t) {}

class SliceOnFakeOs : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetFakeOs();
        Fake.Folders = {"/in", "/out"};
        Fake.Joiner = "MZ joiner";
        for (int i = 0; i < 2500; i++)
            source_ += (char)(i * 7);
        Fake.Files[kSource].Data = source_;
        Fake.Files[kSource].Attributes = 0x20;
    }
    int Slice()
    {
        SliceUser user = {&said_,    NextDisk, AskOverwrite, NotReady,
                          OpenError, Notice,   Final,        Progress};
        return RunSlice(kSource, "/out/", kRoom + PORTION_HEADER_SIZE, &user);
    }
    std::string source_;
    Said said_;
};

TEST_F(SliceOnFakeOs, WritesTheSetAndItsJoiner)
{
    ASSERT_EQ(Slice(), SLICE_COMPLETE);
    std::string data;
    for (const char *name : {"/out/BIG.D00", "/out/BIG.D01", "/out/BIG.D02"}) {
        ASSERT_TRUE(Fake.Files.count(name)) << name;
        data += Fake.Files[name].Data.substr(PORTION_HEADER_SIZE);
    }
    EXPECT_EQ(data, source_);
    EXPECT_EQ(Fake.Files["/out/KELMORIX.EXE"].Data, "MZ joiner");
    EXPECT_TRUE(said_.Finals.empty());
    EXPECT_EQ(Fake.OpenFiles, 0);
}

TEST_F(SliceOnFakeOs, EveryFaultEndsWithItsCodeAndMessage)
{
    auto number = [](long error) { return " = " + std::to_string(error) + "\n"; };
    struct {
        FakeFault Fault;
        int Code;
        std::string Message;
    } const cases[] = {
        // A write that falls short without an error: the disk is full.
        {{"write", "/out/BIG.D01", 2, 0, 10}, SLICE_WRITE_FAILED,
         "Error writing /out/BIG.D01" + number(OS_DISK_FULL)},
        {{"write", "/out/BIG.D00", 1, ENOSPC}, SLICE_WRITE_FAILED,
         "Error writing /out/BIG.D00" + number(ENOSPC)},
        {{"flush", "/out/BIG.D02", 1, EIO}, SLICE_CLOSE_FAILED,
         "Error closing /out/BIG.D02" + number(EIO)},
        {{"close", "/out/BIG.D00", 1, EIO}, SLICE_CLOSE_FAILED,
         "Error closing /out/BIG.D00" + number(EIO)},
        // The source shrank after its size was read.
        {{"read", kSource, 2, 0, 1}, SLICE_READ_FAILED,
         std::string("Error reading ") + kSource + number(OS_SOURCE_ENDED)},
        {{"open", kSource, 1, EACCES}, SLICE_NO_SOURCE,
         std::string("Error opening ") + kSource + number(EACCES)},
        {{"attributes", kSource, 1, OS_FILE_NOT_FOUND}, SLICE_NO_ATTRIBUTES,
         std::string("Error getting attributes for ") + kSource + number(OS_FILE_NOT_FOUND)},
        {{"size", kSource, 1, EIO}, SLICE_NO_SIZE,
         std::string("Error getting size of ") + kSource + number(EIO)},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Fault.Operation + " " + c.Fault.Path);
        SetUp();
        said_ = Said();
        Fake.Faults = {c.Fault};
        EXPECT_EQ(Slice(), c.Code);
        EXPECT_EQ(said_.Finals, std::vector<std::string>{c.Message});
        EXPECT_EQ(Fake.OpenFiles, 0);
    }
}

TEST_F(SliceOnFakeOs, MissingSourceAndAJoinerCutShort)
{
    Fake.Files.erase(kSource);
    EXPECT_EQ(Slice(), SLICE_NO_ATTRIBUTES);
    EXPECT_EQ(said_.Finals, std::vector<std::string>{
                                std::string("Error getting attributes for ") + kSource + " = " +
                                std::to_string(OS_FILE_NOT_FOUND) + "\n"});
    EXPECT_EQ(Fake.Files.count("/out/BIG.D00"), 0u);

    // A joiner the disk could not take in full is taken back: the job goes
    // on, and says so once.
    SetUp();
    said_ = Said();
    Fake.Faults = {{"write", "/out/KELMORIX.EXE", 1, 0, 3}};
    EXPECT_EQ(Slice(), SLICE_COMPLETE);
    EXPECT_EQ(Fake.Files.count("/out/KELMORIX.EXE"), 0u);
    ASSERT_EQ(said_.Notices.size(), 1u);
    EXPECT_EQ(said_.Notices[0].rfind("Error writing /out/KELMORIX.EXE" + std::string(" = ") +
                                         std::to_string(OS_DISK_FULL) + "\n",
                                     0),
              0u);
    EXPECT_EQ(Fake.OpenFiles, 0);
}

// An empty source on a disk: one header-only portion, the last. And a folder
// job whose old portion cannot be deleted: the box shows the deletion's error,
// Retry tries the portion again, and no disk is asked for.
TEST_F(SliceOnFakeOs, EmptySourceOnADiskAndAnOldPortionThatStays)
{
    struct Seen {
        std::vector<std::string> Lines;
    } seen;
    SliceUser user = {&seen,
                      [](void *c, int disk, const char *) {
                          ((Seen *)c)->Lines.push_back("disk " + std::to_string(disk));
                          return 0;
                      },
                      AskOverwrite,
                      NotReady,
                      [](void *c, const char *path, long error) {
                          ((Seen *)c)->Lines.push_back(std::string(path) + " " +
                                                       std::to_string(error));
                          return (int)SLICE_ANSWER_RETRY;
                      },
                      Notice,
                      Final,
                      Progress};
    Fake.Files[kSource].Data.clear();
    Fake.Folders.insert("/fd/");
    Fake.Removable = {"/fd/"};
    Fake.FreeBytes["/fd/"] = 100000;
    EXPECT_EQ(RunSlice(kSource, "/fd/", 0, &user), SLICE_COMPLETE);
    EXPECT_EQ(seen.Lines, std::vector<std::string>{"disk 1"});
    ASSERT_EQ(Fake.Files["/fd/BIG.D00"].Data.size(), (size_t)PORTION_HEADER_SIZE);
    EXPECT_EQ(Fake.Files["/fd/BIG.D00"].Data[0], 1);
    EXPECT_EQ(Fake.Files["/fd/KELMORIX.EXE"].Data, "MZ joiner");

    SetUp();
    seen.Lines.clear();
    Fake.Files["/out/BIG.D00"].Data = "old";
    Fake.Faults = {{"delete", "/out/BIG.D00", 1, EACCES}};
    user.Context = &seen;
    EXPECT_EQ(RunSlice(kSource, "/out/", kRoom + PORTION_HEADER_SIZE, &user), SLICE_COMPLETE);
    EXPECT_EQ(seen.Lines, std::vector<std::string>{"/out/BIG.D00 " + std::to_string(EACCES)});
    EXPECT_EQ(Fake.Files["/out/BIG.D00"].Data.substr(PORTION_HEADER_SIZE), source_.substr(0, kRoom));
}

} // namespace
