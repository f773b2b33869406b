// The repair of lost portions against the in-memory layer: the failures
// the real platforms rarely show while they are rebuilt, and what the run
// leaves behind after each.
#include <gtest/gtest.h>

#include <errno.h>
#include <string.h>

#include <string>

#include "join/join.h"
#include "fake_os.h"
#include "format/slice_format.h"
// Its helpers for the reader's tests go unused here.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#include "par2_sets.h"
#pragma GCC diagnostic pop

namespace {

const char kOutput[] = "/out/BIG.DAT";
const char kTemp[] = "/out/~KLM0001.TMP";

// Four portions of 700 data bytes but the last, and their recovery data.
std::string MakeRepairableSet(unsigned blocks)
{
    std::vector<Bytes> files = SampleFiles(4, 700, 300);
    std::string data;
    for (unsigned i = 0; i < files.size(); i++)
        data.append(files[i].begin(), files[i].end());
    for (unsigned i = 0; i < files.size(); i++) {
        PortionHeader h;
        unsigned char raw[PORTION_HEADER_SIZE];
        memset(&h, 0, sizeof h);
        h.FileSizeLow = (uint32_t)data.size();
        h.LastPortion = i + 1 == files.size();
        StoreFileName(h.FileName, "BIG.DAT");
        EncodePortionHeader(&h, raw);
        files[i].insert(files[i].begin(), raw, raw + sizeof raw);
        Fake.Files["/sets/" + SampleName(i)].Data.assign(files[i].begin(), files[i].end());
    }
    MadeSet set;
    MakeSet(set, files, blocks, 4096);
    Fake.Files["/sets/BIG.DAT.par2"].Data.assign(set.Index.begin(), set.Index.end());
    Fake.Files["/sets/BIG.DAT.vol0+N.par2"].Data.assign(set.Recovery.begin(), set.Recovery.end());
    return data;
}

TEST(JoinRepair, FailuresDuringTheRebuildKeepTheTemporaryName)
{
    // (case, fault, code, a line said)
    const struct {
        const char *Case;
        unsigned Blocks;
        std::vector<const char *> Lost;
        FakeFault Fault;
        size_t Flip;  // a byte of portion 02 changed after the recovery data was made, or 0
        int Code;
        const char *Said;
    } cases[] = {
        {"rebuilt", 1, {"/sets/BIG.D01"}, {"none", "", 1, 0, 0}, 0, 0,
         "BIG.D01 was missing; rebuilt from the recovery data\n"},
        // Portion 00 too: the set is found through the recovery data.
        {"two rebuilt", 2, {"/sets/BIG.D00", "/sets/BIG.D02"}, {"none", "", 1, 0, 0}, 0, 0,
         "BIG.D00 was missing; rebuilt from the recovery data\n"
         "BIG.D02 was missing; rebuilt from the recovery data\n"},
        // The copy writes portions 00, 02 and 03; the fourth write is the rebuilt data.
        {"disk full", 1, {"/sets/BIG.D01"}, {"write", kTemp, 4, ENOSPC, 0}, 0, 239,
         "Error writing /out/~KLM0001.TMP"},
        // The second open of portion 02 is the rebuild's.
        {"unreadable", 1, {"/sets/BIG.D01"}, {"open", "/sets/BIG.D02", 2, EIO, 0}, 0, 230,
         "/sets/BIG.D01 is missing.\nThe recovery data could not rebuild it"},
        // Without a list the recovery data's checksums find it out: two
        // lost, one block.
        {"another damaged", 1, {"/sets/BIG.D01"}, {"none", "", 1, 0, 0}, 500, 230,
         "/sets/BIG.D02 is damaged: it is not the portion the recovery data describes.\n"
         "2 portions damaged or missing, more than the recovery data can rebuild"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Case);
        ResetFakeOs();
        Fake.Folders = {"/sets", "/sets/", "/out"};
        std::string data = MakeRepairableSet(c.Blocks);
        for (const char *lost : c.Lost)
            Fake.Files.erase(lost);
        if (c.Flip)
            Fake.Files["/sets/BIG.D02"].Data[c.Flip] ^= 0x20;
        Fake.Faults = {c.Fault};
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        int code = JoinSliceSet("/sets", "/out");
        std::string said = testing::internal::GetCapturedStdout();
        said += testing::internal::GetCapturedStderr();
        EXPECT_EQ(code, c.Code) << said;
        EXPECT_NE(said.find(c.Said), std::string::npos) << said;
        EXPECT_EQ(Fake.OpenFiles, 0);
        if (c.Code == 0) {
            EXPECT_EQ(Fake.Files[kOutput].Data, data);
        } else {
            EXPECT_EQ(Fake.Files.count(kOutput), 0u);
            EXPECT_EQ(Fake.Files.count(kTemp), 1u);
        }
    }
}

}  // namespace
