// The slice job against the in-memory platform layer: the faults a real disk
// shows only rarely (a short write, a failed flush or close, a full disk, a
// missing or unreadable source), each with its code, its one message and
// nothing left open.
#include <gtest/gtest.h>

#include <errno.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "integrity/checklist.h"
#include "integrity/crc32.h"
#include "fake_os.h"
#include "format/temp_name.h"
#include "slice/slice_job.h"

namespace {

const char kSource[] = "/in/BIG.DAT";
const uint32_t kRoom = 1000; // payload bytes per portion: 2500 bytes make three

struct Said {
    std::vector<std::string> Notices, Finals;
};

int NextDisk(void *, int, const char *) { return 0; }
int AskOverwrite(void *, const char *) { return SLICE_ANSWER_OK; }
int NotReady(void *, const char *) { return SLICE_ANSWER_ABORT; }
int OpenError(void *, const char *, long) { return SLICE_ANSWER_ABORT; }
void Notice(void *context, const char *text) { ((Said *)context)->Notices.push_back(text); }
void Final(void *context, int, const char *text) { ((Said *)context)->Finals.push_back(text); }
void Progress(void *, uint64_t, uint64_t) {}

// The CRC the list gives for a file, or "unlisted".
std::string Listed(const std::string &list, const char *name)
{
    uint32_t crc = 0;
    if (!ChecklistFind(list.data(), list.size(), name, &crc))
        return "unlisted";
    return std::to_string(crc);
}

std::string CrcOf(const std::string &data)
{
    return std::to_string(Crc32Update(0, data.data(), data.size()));
}

// No temporary list left behind.
bool TemporaryLeft()
{
    for (const auto &entry : Fake.Files)
        if (entry.first.find("~DVL") != std::string::npos)
            return true;
    return false;
}

class SliceOnFakeOs : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetFakeOs();
        Fake.Folders = {"/in", "/out"};
        Fake.Joiner = "MZ joiner";
        source_.clear();
        for (int i = 0; i < 2500; i++)
            source_ += (char)(i * 7);
        Fake.Files[kSource].Data = source_;
        Fake.Files[kSource].Attributes = 0x20;
    }
    int Slice()
    {
        SliceUser user = {&said_,    NextDisk, AskOverwrite, NotReady,
                          OpenError, Notice,   Final,        Progress,
                          NULL,      NULL,     NULL};
        return SliceFile(kSource, "/out/", SLICE_INTO_FOLDER, kRoom + PORTION_HEADER_SIZE, &user);
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

    // The list after the last portion, each portion written back as it is
    // done and flushed once at the end, before the list.
    const std::string &list = Fake.Files["/out/BIG.DAT.sfv"].Data;
    ChecklistInfo info;
    ASSERT_EQ(ChecklistParse(list.data(), list.size(), &info), CHECKLIST_OK);
    EXPECT_EQ(info.Portions, 3u);
    EXPECT_EQ(CrcOf(source_), std::to_string(info.FileCrc));
    for (const char *name : {"BIG.D00", "BIG.D01", "BIG.D02"})
        EXPECT_EQ(Listed(list, name), CrcOf(Fake.Files[std::string("/out/") + name].Data));
    EXPECT_FALSE(TemporaryLeft());
    EXPECT_EQ(Fake.Durability,
              (std::vector<std::string>{"writeback /out/BIG.D00", "writeback /out/BIG.D01",
                                        "writeback /out/BIG.D02", "flush /out/BIG.D00",
                                        "flush /out/BIG.D01", "flush /out/BIG.D02",
                                        "flush /out/~DVL0001.TMP"}));
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
        // The list, named by its own name, never by the temporary one.
        {{"write", "/out/~DVL0001.TMP", 1, ENOSPC}, SLICE_WRITE_FAILED,
         "Error writing /out/BIG.DAT.sfv" + number(ENOSPC)},
        {{"write", "/out/~DVL0001.TMP", 1, 0, 1}, SLICE_WRITE_FAILED,
         "Error writing /out/BIG.DAT.sfv" + number(OS_DISK_FULL)},
        {{"flush", "/out/~DVL0001.TMP", 1, EIO}, SLICE_CLOSE_FAILED,
         "Error closing /out/BIG.DAT.sfv" + number(EIO)},
        {{"create", "/out/~DVL0001.TMP", 1, EACCES}, SLICE_WRITE_FAILED,
         "Error writing /out/BIG.DAT.sfv" + number(EACCES)},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Fault.Operation + " " + c.Fault.Path);
        SetUp();
        said_ = Said();
        Fake.Faults = {c.Fault};
        EXPECT_EQ(Slice(), c.Code);
        EXPECT_EQ(said_.Finals, std::vector<std::string>{c.Message});
        EXPECT_EQ(Fake.OpenFiles, 0);
        EXPECT_FALSE(Fake.Files.count("/out/BIG.DAT.sfv"));
        EXPECT_FALSE(TemporaryLeft());
        // No partial portion stands under a portion's name: what is left is
        // whole.
        for (unsigned n = 0; n < 3; n++) {
            std::string name = "/out/BIG.D0" + std::to_string(n);
            if (Fake.Files.count(name)) {
                EXPECT_EQ(Fake.Files[name].Data.substr(PORTION_HEADER_SIZE),
                          source_.substr(n * kRoom, kRoom)) << name;
            }
        }
    }
}

// A file of the list's name is replaced only with the user's word, asked
// before anything is written; a taken temporary name is passed over.
TEST_F(SliceOnFakeOs, AnOldListIsReplacedOnlyWithConsent)
{
    for (int answer : {SLICE_ANSWER_CANCEL, SLICE_ANSWER_OK}) {
        SetUp();
        Fake.Files["/out/BIG.DAT.sfv"].Data = "old list";
        Fake.Files["/out/~DVL0001.TMP"].Data = "someone's";
        int asked = 0;
        std::pair<int *, int> context{&asked, answer};
        SliceUser user = {&context, NextDisk,
                          [](void *c, const char *) {
                              auto *p = (std::pair<int *, int> *)c;
                              ++*p->first;
                              return p->second;
                          },
                          NotReady, OpenError, [](void *, const char *) {},
                          [](void *, int, const char *) {}, Progress, NULL, NULL, NULL};
        int code = SliceFile(kSource, "/out/", SLICE_INTO_FOLDER, kRoom + PORTION_HEADER_SIZE, &user);
        EXPECT_EQ(asked, 1);
        EXPECT_EQ(Fake.Files["/out/~DVL0001.TMP"].Data, "someone's");
        if (answer == SLICE_ANSWER_CANCEL) {
            EXPECT_EQ(code, SLICE_CANCELLED);
            EXPECT_EQ(Fake.Files["/out/BIG.DAT.sfv"].Data, "old list");
            EXPECT_FALSE(Fake.Files.count("/out/BIG.D00"));
        } else {
            EXPECT_EQ(code, SLICE_COMPLETE);
            EXPECT_EQ(Listed(Fake.Files["/out/BIG.DAT.sfv"].Data, "BIG.D02"),
                      CrcOf(Fake.Files["/out/BIG.D02"].Data));
            EXPECT_FALSE(Fake.Files.count("/out/~DVL0002.TMP"));
        }
    }
}

// Temporaries left by earlier runs only move the list's on: one rule for
// the slicers and the joiners, four digits (format/temp_name.h).
TEST_F(SliceOnFakeOs, LeftOverTemporariesAreSteppedOver)
{
    auto names = [](const char *format, int first, int last) {
        std::vector<std::string> out;
        char name[32];
        for (int n = first; n <= last; n++) {
            snprintf(name, sizeof name, format, n);
            out.push_back(name);
        }
        return out;
    };
    struct {
        std::vector<std::string> Left;
        int Code;
    } const cases[] = {
        {names("/out/~DVLST%d.TMP", 0, 9), SLICE_COMPLETE},
        {names("/out/~DVL%04d.TMP", 1, 10), SLICE_COMPLETE},
        {names("/out/~DVL%04d.TMP", 1, TEMP_NAME_TRIES), SLICE_WRITE_FAILED},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Left.back());
        SetUp();
        said_ = Said();
        for (const std::string &name : c.Left)
            Fake.Files[name].Data = "left";
        EXPECT_EQ(Slice(), c.Code);
        for (const std::string &name : c.Left)
            EXPECT_EQ(Fake.Files[name].Data, "left");
        EXPECT_EQ(Fake.Files.size(), c.Left.size() + (c.Code ? 5 : 6)); // 3 portions, joiner, source, list
        if (c.Code) {
            EXPECT_EQ(said_.Finals, std::vector<std::string>{"Error writing /out/BIG.DAT.sfv = " +
                                                             std::to_string(OS_FILE_EXISTS) + "\n"});
        }
    }
}

// Disks: the list on the last portion's disk. A disk that takes the rest of
// the file but not the list beside it keeps all but the last byte, which goes
// with the list on the next disk. Each portion is flushed before its disk
// is swapped.
TEST_F(SliceOnFakeOs, TheListGoesOnTheLastDisk)
{
    // 2500 bytes and a header take 6 units of 512 bytes; the list takes one.
    for (uint32_t free : {7u * 512, 6u * 512}) {
        SCOPED_TRACE(free);
        SetUp();
        Fake.Folders.insert("/fd/");
        Fake.Removable = {"/fd/"};
        Fake.FreeBytes["/fd/"] = free;
        Fake.AllocationUnits["/fd/"] = 512;
        std::vector<std::string> seen;
        SliceUser user = {&seen,
                          [](void *c, int disk, const char *) {
                              auto *seen = (std::vector<std::string> *)c;
                              seen->push_back("disk " + std::to_string(disk));
                              for (const auto &line : Fake.Durability)
                                  seen->push_back(line);
                              Fake.Durability.clear();
                              if (Fake.Files.count("/fd/BIG.DAT.sfv"))
                                  seen->push_back("list");
                              return 0;
                          },
                          AskOverwrite, NotReady, OpenError, Notice, Final, Progress,
                          NULL, NULL, NULL};
        ASSERT_EQ(SliceFile(kSource, "/fd/", SLICE_ONTO_DISKS, 0, &user), SLICE_COMPLETE);
        std::vector<std::string> expected = {"disk 1"};
        std::vector<size_t> sizes = {2500};
        if (free == 6 * 512) {
            expected.insert(expected.end(), {"disk 2", "flush /fd/BIG.D00"});
            sizes = {2499, 1};
        }
        EXPECT_EQ(seen, expected);
        const std::string &list = Fake.Files["/fd/BIG.DAT.sfv"].Data;
        ChecklistInfo info;
        ASSERT_EQ(ChecklistParse(list.data(), list.size(), &info), CHECKLIST_OK);
        ASSERT_EQ(info.Portions, sizes.size());
        for (size_t n = 0; n < sizes.size(); n++) {
            std::string name = "BIG.D0" + std::to_string(n);
            const std::string &portion = Fake.Files["/fd/" + name].Data;
            EXPECT_EQ(portion.size() - PORTION_HEADER_SIZE, sizes[n]);
            EXPECT_EQ(portion[0], n + 1 == sizes.size());
            EXPECT_EQ(Listed(list, name.c_str()), CrcOf(portion));
        }
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
                      Progress,
                      NULL,
                      NULL,
                      NULL};
    Fake.Files[kSource].Data.clear();
    Fake.Folders.insert("/fd/");
    Fake.Removable = {"/fd/"};
    Fake.FreeBytes["/fd/"] = 100000;
    EXPECT_EQ(SliceFile(kSource, "/fd/", SLICE_ONTO_DISKS, 0, &user), SLICE_COMPLETE);
    EXPECT_EQ(seen.Lines, std::vector<std::string>{"disk 1"});
    ASSERT_EQ(Fake.Files["/fd/BIG.D00"].Data.size(), (size_t)PORTION_HEADER_SIZE);
    EXPECT_EQ(Fake.Files["/fd/BIG.D00"].Data[0], 1);
    EXPECT_EQ(Fake.Files["/fd/KELMORIX.EXE"].Data, "MZ joiner");

    SetUp();
    seen.Lines.clear();
    Fake.Files["/out/BIG.D00"].Data = "old";
    Fake.Faults = {{"delete", "/out/BIG.D00", 1, EACCES}};
    user.Context = &seen;
    EXPECT_EQ(SliceFile(kSource, "/out/", SLICE_INTO_FOLDER, kRoom + PORTION_HEADER_SIZE, &user), SLICE_COMPLETE);
    EXPECT_EQ(seen.Lines, std::vector<std::string>{"/out/BIG.D00 " + std::to_string(EACCES)});
    EXPECT_EQ(Fake.Files["/out/BIG.D00"].Data.substr(PORTION_HEADER_SIZE), source_.substr(0, kRoom));
}

} // namespace
