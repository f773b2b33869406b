// The joiners' side files and last step, against the in-memory layer: the
// checksum list a set is checked against (the one named after its file,
// BIG.DAT.sfv, else one of the earlier rule, BIG.SFV, but never another
// set's: A.DAT and A.TXT both had A.SFV), and the output taking its name,
// which replaces only the file the overwrite question was answered for.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "fake_os.h"
#include "integrity/checklist.h"
#include "integrity/crc32.h"
#include "join/join.h"

namespace {

const char kOutput[] = "/out/BIG.DAT";
const char kTemp[] = "/out/~KLM0001.TMP";

// The portions of `name` (three of 700 bytes at most) under /sets/, and
// the list of that set as the slicer writes it.
std::string MakeSet(const char *name, const std::string &data)
{
    uint32_t crcs[3];
    for (unsigned n = 0; n < 3; n++) {
        PortionHeader h;
        memset(&h, 0, sizeof h);
        h.FileSizeLow = (uint32_t)data.size();
        h.LastPortion = n == 2;
        StoreFileName(h.FileName, name);
        unsigned char raw[PORTION_HEADER_SIZE];
        EncodePortionHeader(&h, raw);
        std::string path = std::string("/sets/") + name;
        SetPortionNumber(&path[0], n);
        std::string &file = Fake.Files[path].Data;
        file = std::string((const char *)raw, sizeof raw) + data.substr(n * 700, 700);
        crcs[n] = Crc32Update(0, file.data(), file.size());
    }
    ChecklistSet set = {"1.0.0", name, data.size(), Crc32Update(0, data.data(), data.size()), 3, crcs};
    std::string list(ChecklistSize(&set), '\0');
    ChecklistWrite(&set, &list[0], list.size());
    return list;
}

TEST(JoinList, OnlyTheSetsOwnListIsTaken)
{
    // (lists beside BIG.DAT's set, whether the set is checked against one)
    struct {
        std::vector<std::pair<std::string, std::string>> Lists; // name, whose: "BIG.DAT", "BIG.TXT"
        bool Checked;
    } const cases[] = {
        {{{"BIG.DAT.sfv", "BIG.DAT"}}, true},
        {{{"BIG.SFV", "BIG.DAT"}}, true},                            // the earlier rule
        {{{"BIG.SFV", "BIG.TXT"}}, false},                           // another set's
        {{{"BIG.SFV", "BIG.TXT"}, {"BIG.DAT.sfv", "BIG.DAT"}}, true},
        {{{"BIG.DAT.sfv", "BIG.TXT"}}, false},                       // under its name, not its own
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Lists.back().first + " of " + c.Lists.back().second);
        ResetFakeOs();
        Fake.Folders = {"/sets", "/out"};
        std::string data(2000, 'd'), other(1900, 'o');
        std::string lists[2] = {MakeSet("BIG.TXT", other), MakeSet("BIG.DAT", data)};
        for (const auto &list : c.Lists)
            Fake.Files["/sets/" + list.first].Data = lists[list.second == "BIG.DAT"];
        Fake.Files["/sets/BIG.D01"].Data[500] ^= 1; // found out only by a list of this set
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        int code = JoinSliceSet("/sets/BIG.D00", "/out");
        std::string text = testing::internal::GetCapturedStdout();
        text += testing::internal::GetCapturedStderr();
        EXPECT_EQ(code, c.Checked ? 230 : 0) << text;
        EXPECT_EQ(text.find("/sets/BIG.D01 is damaged") != std::string::npos, c.Checked) << text;
        EXPECT_EQ(text.find("The slice set carried no checksum list") != std::string::npos, !c.Checked)
            << text;
    }
}

// A file that comes under the output's name while the run goes on stays,
// and the output keeps its temporary name.
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
        std::string data(2000, 'd');
        MakeSet("BIG.DAT", data);
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
        testing::internal::CaptureStderr();
        int code = JoinSliceSet("/sets", "/out");
        std::string text = testing::internal::GetCapturedStdout();
        text += testing::internal::GetCapturedStderr();
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
