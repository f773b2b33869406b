// The output's last step against the in-memory layer: it takes the sliced
// file's name replacing only the file the overwrite question was answered
// for. A file that comes under that name while the run goes on stays, and
// the output keeps its temporary name.
#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "fake_os.h"
#include "format/slice_format.h"
#include "join/join.h"

namespace {

const char kOutput[] = "/out/BIG.DAT";
const char kTemp[] = "/out/~KLM0001.TMP";

// BIG.DAT as three portions in /sets/, without a list.
std::string MakeSet()
{
    std::string data;
    for (int i = 0; i < 2000; i++)
        data += (char)(i * 31 + 7);
    for (unsigned n = 0; n < 3; n++) {
        PortionHeader h;
        memset(&h, 0, sizeof h);
        h.FileSizeLow = (uint32_t)data.size();
        h.LastPortion = n == 2;
        StoreFileName(h.FileName, "BIG.DAT");
        unsigned char raw[PORTION_HEADER_SIZE];
        EncodePortionHeader(&h, raw);
        std::string name = "/sets/BIG.D00";
        SetPortionNumber(&name[0], n);
        Fake.Files[name].Data = std::string((const char *)raw, sizeof raw) + data.substr(n * 700, 700);
    }
    return data;
}

TEST(JoinPlace, OnlyTheFileTheAnswerWasForIsReplaced)
{
    enum Change { NONE, CREATED, SWAPPED, DELETED };
    struct {
        const char *Name;
        bool There;   // a file of the output's name at the start (answered Y)
        Change During;
        int Code;
    } const cases[] = {
        {"nothing there, nothing comes", false, NONE, 0},
        {"nothing there, a file comes", false, CREATED, 249},
        {"answered for, stays", true, NONE, 0},
        {"answered for, another takes its place", true, SWAPPED, 249},
        {"answered for, deleted meanwhile", true, DELETED, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Name);
        ResetFakeOs();
        Fake.Folders = {"/sets", "/out"};
        std::string data = MakeSet();
        if (c.There)
            Fake.Files[kOutput] = {"mine", 0, {}, false, 1};
        Fake.Keys = {'y'};
        // Once the output is whole and closed, just before it takes its name.
        Fake.OnCall = [&](const std::string &operation, const std::string &path) {
            if (operation != "close" || path != kTemp)
                return;
            if (c.During == DELETED)
                Fake.Files.erase(kOutput);
            else if (c.During != NONE)
                Fake.Files[kOutput] = {"theirs", 0, {}, false, 2};
        };
        testing::internal::CaptureStdout();
        int code = JoinSliceSet("/sets", "/out");
        std::string text = testing::internal::GetCapturedStdout();
        EXPECT_EQ(code, c.Code) << text;
        EXPECT_EQ(Fake.KeysRead, c.There ? 1 : 0);
        if (c.Code == 0) {
            EXPECT_TRUE(Fake.Files[kOutput].Data == data);
            EXPECT_FALSE(Fake.Files.count(kTemp));
        } else {
            EXPECT_EQ(Fake.Files[kOutput].Data, "theirs");
            EXPECT_TRUE(Fake.Files[kTemp].Data == data);
            EXPECT_NE(text.find("/out/BIG.DAT was put there during the run; it was not replaced.\n"
                                "/out/~KLM0001.TMP holds the whole file; it has been left in place.\n"),
                      std::string::npos)
                << text;
        }
        EXPECT_EQ(Fake.OpenFiles, 0);
    }
}

} // namespace
