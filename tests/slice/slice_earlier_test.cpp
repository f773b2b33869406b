// What an earlier set leaves in a folder job's way, on the in-memory layer:
// one question names every file the job replaces or removes; with a yes the
// earlier set's stale portions, lists and recovery files go; another set's
// list or recovery file is never one of them.
#include <gtest/gtest.h>

#include <string.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "fake_os.h"
#include "integrity/checklist.h"
#include "integrity/crc32.h"
#include "recovery/par2.h"
#include "slice/slice_job.h"

namespace {

struct Asked {
    std::vector<std::string> Details, Finals;
    int Answer = SLICE_ANSWER_OK;
};

int NextDisk(void *, int, const char *) { return 0; }
int Ask(void *c, const char *detail)
{
    ((Asked *)c)->Details.push_back(detail);
    return ((Asked *)c)->Answer;
}
int NotReady(void *, const char *) { return SLICE_ANSWER_ABORT; }
int OpenError(void *, const char *, long) { return SLICE_ANSWER_ABORT; }
void Notice(void *, const char *) {}
void Final(void *c, int, const char *text) { ((Asked *)c)->Finals.push_back(text); }
void Progress(void *, uint64_t, uint64_t) {}

std::string Portion(const char *fileName, bool last)
{
    PortionHeader h;
    memset(&h, 0, sizeof h);
    h.LastPortion = last;
    StoreFileName(h.FileName, fileName);
    unsigned char raw[PORTION_HEADER_SIZE];
    EncodePortionHeader(&h, raw);
    return std::string((const char *)raw, sizeof raw) + "old";
}

std::string List(const char *fileName)
{
    uint32_t crcs[1] = {0};
    ChecklistSet set = {"1.0.0", fileName, 3, 0, 1, crcs};
    std::string text(ChecklistSize(&set), '\0');
    ChecklistWrite(&set, &text[0], text.size());
    return text;
}

int Collect(void *context, const void *data, size_t size)
{
    ((std::string *)context)->append((const char *)data, size);
    return 0;
}

// An index file describing files of these names, 100 bytes each.
std::string Index(const std::vector<std::string> &names)
{
    static Par2Writer w;
    unsigned char block[100];
    std::string out, data(100, 7);
    EXPECT_EQ(Par2WriterBegin(&w, 100, 1, block, Crc32Update, "test"), PAR2_OK);
    for (unsigned i = 0; i < names.size(); i++)
        EXPECT_EQ(Par2WriterAddFile(&w, names[i].c_str(), 100), PAR2_OK);
    for (unsigned i = 0; i < names.size(); i++)
        EXPECT_EQ(Par2WriterFeed(&w, i, data.data(), 100), PAR2_OK);
    EXPECT_EQ(Par2WriterFinish(&w), PAR2_OK);
    EXPECT_EQ(Par2WriteIndex(&w, Collect, &out), PAR2_OK);
    return out;
}

TEST(SliceEarlier, OneQuestionNamesWhatGoesAndNothingOfAnotherSet)
{
    const std::map<std::string, std::string> earlier = {
        {"/out/BIG.D00", Portion("BIG.DAT", false)}, {"/out/BIG.D01", Portion("BIG.DAT", false)},
        {"/out/BIG.D02", Portion("BIG.DAT", false)}, {"/out/BIG.D04", Portion("BIG.DAT", true)},
        {"/out/BIG.DAT.sfv", List("BIG.DAT")},      {"/out/BIG.SFV", List("BIG.DAT")},
        {"/out/BIG.DAT.par2", Index({"BIG.D00", "BIG.D01"})},
        {"/out/BIG.DAT.vol0+3.par2", Index({"big.d02"})}};
    const std::map<std::string, std::string> others = {
        {"/out/BIG.D07", "not a portion"},           {"/out/BIG.SFV", List("BIG.TXT")},
        {"/out/BIG.TXT.par2", Index({"BIG.T00"})},   {"/out/MIXED.par2", Index({"BIG.D00", "X.Y"})},
        {"/out/BROKEN.par2", Index({"BIG.D00"}).substr(0, 70)}};
    struct {
        const char *Name;
        std::map<std::string, std::string> There;
        int Answer, Code;
        std::string Detail;                 // "": no question
        std::vector<std::string> Gone;      // of There
    } const cases[] = {
        {"an earlier set, yes", earlier, SLICE_ANSWER_OK, SLICE_COMPLETE,
         "To be replaced or removed: BIG.D00 to BIG.D02, BIG.D04, BIG.DAT.sfv, BIG.SFV, "
         "BIG.DAT.par2, BIG.DAT.vol0+3.par2",
         {"/out/BIG.D04", "/out/BIG.SFV", "/out/BIG.DAT.par2", "/out/BIG.DAT.vol0+3.par2"}},
        {"an earlier set, no", earlier, SLICE_ANSWER_CANCEL, SLICE_CANCELLED,
         "To be replaced or removed: BIG.D00 to BIG.D02, BIG.D04, BIG.DAT.sfv, BIG.SFV, "
         "BIG.DAT.par2, BIG.DAT.vol0+3.par2",
         {}},
        {"other sets' files", others, SLICE_ANSWER_OK, SLICE_COMPLETE, "", {}},
        {"a list of its name that says nothing", {{"/out/BIG.DAT.sfv", "mine"}}, SLICE_ANSWER_OK,
         SLICE_COMPLETE, "To be replaced or removed: BIG.DAT.sfv", {}},
        {"its list's name taken by another's", {{"/out/BIG.DAT.sfv", List("BIG.DAX")}},
         SLICE_ANSWER_OK, SLICE_LIST_TAKEN, "", {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Name);
        ResetFakeOs();
        Fake.Folders = {"/in", "/out"};
        Fake.Files["/in/BIG.DAT"].Data = std::string(2500, 'n');
        for (const auto &file : c.There)
            Fake.Files[file.first].Data = file.second;
        Asked asked;
        asked.Answer = c.Answer;
        SliceUser user = {&asked, NextDisk, Ask, NotReady, OpenError, Notice, Final, Progress,
                          NULL,   NULL,     NULL};
        EXPECT_EQ(SliceFile("/in/BIG.DAT", "/out/", SLICE_INTO_FOLDER, 1000 + PORTION_HEADER_SIZE,
                            &user),
                  c.Code);
        EXPECT_EQ(asked.Details, c.Detail.empty() ? std::vector<std::string>{}
                                                  : std::vector<std::string>{c.Detail});
        // Gone, or as it was; the set's own portions and list are written anew.
        for (const auto &file : c.There) {
            bool gone = std::find(c.Gone.begin(), c.Gone.end(), file.first) != c.Gone.end();
            bool written = c.Code == SLICE_COMPLETE &&
                           (file.first == "/out/BIG.DAT.sfv" || file.first < "/out/BIG.D03");
            EXPECT_EQ(Fake.Files.count(file.first) == 0, gone) << file.first;
            if (!gone) {
                EXPECT_EQ(Fake.Files[file.first].Data == file.second, !written) << file.first;
            }
        }
        if (c.Code == SLICE_LIST_TAKEN) {
            EXPECT_EQ(asked.Finals, std::vector<std::string>{
                          "/out/BIG.DAT.sfv is the checksum list of another slice set and is never "
                          "replaced, so this set's list cannot take its name. Choose another "
                          "destination folder.\n"});
            EXPECT_FALSE(Fake.Files.count("/out/BIG.D00"));
        }
    }
}

} // namespace
