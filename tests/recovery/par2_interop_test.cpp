// Recovery data written here, checked and used by Debian's par2 (verify,
// then repair of deleted portion files), and a lost file rebuilt by the
// joiners' XOR step from the recovery file as stored.
#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <ostream>
#include <string>
#include <vector>

#include "host_tools.h"
#include "par2_sets.h"
#include "scratch.h"

namespace {

struct InteropCase {
    const char *Name;
    unsigned Files;
    size_t Length, Last;    // each file's length, the last one's
    unsigned Blocks;
    std::vector<unsigned> Lost;
};

const InteropCase Cases[] = {
    {"OneBlock", 7, 1000, 537, 1, {3}},
    {"ThreeBlocksTwoLost", 7, 1000, 537, 3, {0, 6}},
    {"PaddedSlices", 7, 1001, 999, 2, {6}},          // slices of 1004 bytes
    {"LongFilesThreeLost", 5, 40001, 20000, 3, {1, 2, 4}},  // heads of 16 KiB
    {"OneFile", 1, 70000, 70000, 1, {0}},
};

void PrintTo(const InteropCase &c, std::ostream *out)
{
    *out << c.Name;
}

class Par2Interop : public Scratch, public ::testing::WithParamInterface<InteropCase> {
protected:
    int Tool(const std::string &verb)
    {
        std::string command = "cd '" + folder_ + "' && '" + par2_ + "' " + verb +
                              " -q BIG.DAT.par2 >output.txt 2>&1";
        int status = system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    void Store(const std::string &name, const Bytes &data)
    {
        FILE *f = fopen(Path(name).c_str(), "wb");
        ASSERT_TRUE(f);
        ASSERT_EQ(fwrite(data.data(), 1, data.size(), f), data.size());
        ASSERT_EQ(fclose(f), 0);
    }
    Bytes Load(const std::string &name)
    {
        Bytes data;
        FILE *f = fopen(Path(name).c_str(), "rb");
        if (!f)
            return data;
        int c;
        while ((c = getc(f)) != EOF)
            data.push_back((unsigned char)c);
        fclose(f);
        return data;
    }
    std::string par2_; // Debian's par2cmdline
};

TEST_P(Par2Interop, ToolVerifiesAndRepairsJoinerRebuilds)
{
    const InteropCase &c = GetParam();
    NEED_TOOL(par2_, "par2");
    std::vector<Bytes> files = SampleFiles(c.Files, c.Length, c.Last);
    MadeSet set;
    MakeSet(set, files, c.Blocks, 4093);
    char index[PAR2_NAME_SIZE], recovery[PAR2_NAME_SIZE];
    ASSERT_EQ(Par2FileNames("BIG.DAT", c.Blocks, index, recovery), PAR2_OK);
    for (unsigned i = 0; i < files.size(); i++)
        Store(SampleName(i), files[i]);
    Store(index, set.Index);
    Store(recovery, set.Recovery);
    EXPECT_EQ(Tool("verify"), 0) << Load("output.txt").data();

    for (unsigned lost : c.Lost)
        ASSERT_EQ(unlink(Path(SampleName(lost)).c_str()), 0);
    EXPECT_EQ(Tool("repair"), 0);
    for (unsigned lost : c.Lost)
        EXPECT_TRUE(Load(SampleName(lost)) == files[lost]) << SampleName(lost);

    // The joiners' way: the recovery file as stored, one file lost.
    Par2Reader r;
    Bytes stored = Load(recovery);
    ASSERT_EQ(ReadSet(r, stored, 65536), PAR2_OK);
    EXPECT_TRUE(Rebuild(r, stored, files, c.Lost[0]) == files[c.Lost[0]]);
}

INSTANTIATE_TEST_SUITE_P(Sets, Par2Interop, ::testing::ValuesIn(Cases),
                         [](const ::testing::TestParamInfo<InteropCase> &info) {
                             return std::string(info.param.Name);
                         });

} // namespace
