// The recovery step against the in-memory layer: portions that change on
// the destination between the job's write and the step's read (a failing
// disk) get no recovery data, and nothing stands under its names.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_os.h"
#include "recovery/write/recovery_job.h"

namespace {

struct Said {
    std::vector<std::string> Finals;
};

int NextDisk(void *, int, const char *) { return 0; }
int AskOverwrite(void *, const char *) { return SLICE_ANSWER_OK; }
int NotReady(void *, const char *) { return SLICE_ANSWER_ABORT; }
int OpenError(void *, const char *, long) { return SLICE_ANSWER_ABORT; }
void Notice(void *, const char *) {}
void Final(void *context, int, const char *text) { ((Said *)context)->Finals.push_back(text); }
void Progress(void *, uint64_t, uint64_t) {}

TEST(RecoveryJob, APortionThatChangedOnTheDestinationGetsNoRecoveryData)
{
    enum When { WRITTEN, READ_AGAIN };
    struct {
        const char *Portion;
        When At;          // before the step, or as the step opens it for its one read
        size_t Offset;    // the byte flipped; the end: the file loses its last byte
        int Code;
    } const cases[] = {
        {nullptr, WRITTEN, 0, 0},
        {"/out/BIG.D01", WRITTEN, 400, SLICE_RECOVERY_FAILED},
        {"/out/BIG.D00", WRITTEN, PORTION_HEADER_SIZE, SLICE_RECOVERY_FAILED},
        {"/out/BIG.D02", WRITTEN, std::string::npos, SLICE_RECOVERY_FAILED},
        {"/out/BIG.D01", READ_AGAIN, 1200, SLICE_RECOVERY_FAILED},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.Portion ? c.Portion : "none") + " " + std::to_string(c.At));
        ResetFakeOs();
        Fake.Folders = {"/in", "/out"};
        for (int i = 0; i < 2500; i++)
            Fake.Files["/in/BIG.DAT"].Data += (char)(i * 13 + 1);
        Said said;
        SliceUser user = {&said, NextDisk, AskOverwrite, NotReady, OpenError, Notice, Final, Progress,
                          NULL,  NULL,     NULL};
        SliceWritten written;
        ASSERT_EQ(SliceFileObserved("/in/BIG.DAT", "/out/", SLICE_INTO_FOLDER, 1000 + PORTION_HEADER_SIZE,
                                    &user, NULL, &written),
                  SLICE_COMPLETE);
        ASSERT_EQ(written.Portions, 3u);
        auto change = [&c] {
            std::string &data = Fake.Files[c.Portion].Data;
            if (c.Offset == std::string::npos)
                data.pop_back();
            else
                data[c.Offset] ^= 0x20;
        };
        int opens = 0;
        if (c.Portion && c.At == WRITTEN)
            change();
        else if (c.Portion)
            Fake.OnCall = [&](const std::string &operation, const std::string &path) {
                if (operation == "open" && path == c.Portion && ++opens == 2)
                    change(); // the first open reads its head, the second all of it
            };
        RecoveryRequest request = {"/in/BIG.DAT", "/out/", 1, 1, 1 << 20, "test", &written};
        EXPECT_EQ(WriteRecoveryData(&request, &user), c.Code);
        std::vector<std::string> side;
        for (const auto &entry : Fake.Files)
            if (entry.first.find(".par2") != std::string::npos || entry.first.find("~DVL") != std::string::npos)
                side.push_back(entry.first);
        if (c.Code) {
            EXPECT_EQ(said.Finals, std::vector<std::string>{std::string(c.Portion) +
                                   " changed on the destination while its recovery data was made.\n"});
            EXPECT_TRUE(side.empty()) << side[0];
        } else {
            EXPECT_EQ(side, (std::vector<std::string>{"/out/BIG.DAT.par2", "/out/BIG.DAT.vol0+1.par2"}));
        }
        EXPECT_EQ(Fake.OpenFiles, 0);
    }
}

} // namespace
