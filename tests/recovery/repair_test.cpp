// Rebuilding a lost or damaged portion from the recovery data, on sets the
// Linux dorvane writes with --recovery, read through the Linux layer.
#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "integrity/crc32.h"
#include "recovery/repair.h"
#include "scratch.h"

namespace {

typedef std::vector<unsigned char> Bytes;

int Collect(void *context, const void *data, size_t size)
{
    Bytes *out = (Bytes *)context;
    out->insert(out->end(), (const unsigned char *)data, (const unsigned char *)data + size);
    return 0;
}

class Repair : public Scratch {
protected:
    // A set of 3500 random bytes in portions of 1000 bytes (BIG.D00 to
    // BIG.D05, the last 354 bytes) in the folder "set", with `blocks`
    // recovery blocks (0: none); its portions kept as written.
    void Slice(unsigned blocks)
    {
        Folder("set");
        std::string command = "head -c 3500 /dev/urandom >'" + Path("BIG.DAT") + "' && '" +
                              DORVANE_PATH + "' '" + Path("BIG.DAT") + "' '" + Path("set/") +
                              "' --size 1000";
        if (blocks)
            command += " --recovery " + std::to_string(blocks);
        ASSERT_EQ(system((command + " </dev/null >/dev/null").c_str()), 0);
        for (unsigned i = 0; i < 6; i++)
            portions_.push_back(Load(Portion(i)));
        set_ = Path("set/");
    }
    static std::string Portion(unsigned i) { return "set/BIG.D0" + std::to_string(i); }
    Bytes Load(const std::string &name)
    {
        Bytes b(8192);
        FILE *f = fopen(Path(name).c_str(), "rb");
        b.resize(f ? fread(b.data(), 1, b.size(), f) : 0);
        if (f)
            fclose(f);
        return b;
    }
    void Store(const std::string &name, const Bytes &b)
    {
        FILE *f = fopen(Path(name).c_str(), "wb");
        ASSERT_TRUE(f);
        fwrite(b.data(), 1, b.size(), f);
        fclose(f);
    }
    void Flip(const std::string &name, size_t at)
    {
        Bytes b = Load(name);
        b[at] ^= 0x10;
        Store(name, b);
    }
    int Open() { return RepairOpen(&set, set_.c_str(), "BIG.DAT", buffer_, sizeof buffer_); }
    int Rebuild(const char *name, uint32_t size, Bytes &out)
    {
        return RepairRebuild(&set, name, buffer_, size, Collect, &out);
    }
    static RepairSet set;
    std::vector<Bytes> portions_;
    std::string set_;
    unsigned char buffer_[4096];
};

RepairSet Repair::set;

TEST_F(Repair, OnePortionLostOrDamagedIsRebuiltAnotherDamagedTooIsRefused)
{
    struct Case {
        const char *Name;
        std::vector<unsigned> Deleted, Flipped;
        unsigned Truncated;  // a portion cut to 999 bytes, or 9
        unsigned Rebuilt;    // the portion asked for
        uint32_t Buffer;     // bytes given to the rebuild
        int Result;
        int Failed;          // the file named by the failure, or -1
    } cases[] = {
        {"deleted, in one piece", {2}, {}, 9, 2, 4096, REPAIR_OK, -1},
        {"deleted, in odd pieces", {2}, {}, 9, 2, 150, REPAIR_OK, -1},
        {"the short last deleted", {5}, {}, 9, 5, 64, REPAIR_OK, -1},
        {"damaged in the data", {}, {3}, 9, 3, 4096, REPAIR_OK, -1},
        {"another damaged too", {2}, {1}, 9, 2, 4096, REPAIR_MISMATCH, -1},
        {"another cut short", {2}, {}, 1, 2, 4096, REPAIR_WRONG_LENGTH, 1},
        {"another missing", {0, 2}, {}, 9, 2, 4096, REPAIR_UNREADABLE, 0},
    };
    Slice(1);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.Name);
        for (unsigned i = 0; i < 6; i++)
            Store(Portion(i), portions_[i]);
        for (unsigned i : c.Deleted)
            ASSERT_EQ(unlink(Path(Portion(i)).c_str()), 0);
        for (unsigned i : c.Flipped)
            Flip(Portion(i), 400);
        if (c.Truncated != 9) {
            ASSERT_EQ(truncate(Path(Portion(c.Truncated)).c_str(), 999), 0);
        }
        ASSERT_EQ(Open(), REPAIR_OK);
        Bytes out;
        std::string name = "BIG.D0" + std::to_string(c.Rebuilt);
        EXPECT_EQ(Rebuild(name.c_str(), c.Buffer, out), c.Result);
        if (c.Result == REPAIR_OK) {
            EXPECT_TRUE(out == portions_[c.Rebuilt]);
        } else if (c.Buffer >= 2000) {
            EXPECT_TRUE(out.empty()) << "bytes not proven right reached the sink";
        }
        if (c.Failed >= 0) {
            std::string failed = "BIG.D0" + std::to_string(c.Failed);
            EXPECT_EQ(set.Failed, RepairFind(&set, failed.c_str()));
        }
    }
    int spare = 0;
    EXPECT_EQ(RepairAssess(&set, 2, &spare), REPAIR_TOO_MANY);
    EXPECT_EQ(spare, -1);
}

// An index file cut short anywhere: the recovery file, read after it, is
// read from its own start, its block found and counted.
TEST_F(Repair, AnIndexCutShortSpoilsNoneOfTheRecoveryFile)
{
    Slice(1);
    const Bytes index = Load("set/BIG.DAT.par2");
    for (size_t cut = 1; cut < index.size(); cut += 3) {
        Store("set/BIG.DAT.par2", Bytes(index.begin(), index.begin() + cut));
        ASSERT_EQ(Open(), REPAIR_OK) << cut;
        ASSERT_EQ(set.Blocks, 1u) << cut;
        ASSERT_STREQ(set.BlockName, "BIG.DAT.vol0+1.par2") << cut;
    }
    Bytes out;
    EXPECT_EQ(Rebuild("BIG.D01", 4096, out), REPAIR_OK);
    EXPECT_TRUE(out == portions_[1]);
}

// Blocks to spare, and who can repair, for 1 and 3 blocks.
TEST_F(Repair, BlocksToSpare)
{
    Slice(3);
    ASSERT_EQ(Open(), REPAIR_OK);
    EXPECT_EQ(set.Blocks, 3u);
    EXPECT_EQ(set.Reader.FileCount, 6u);
    struct {
        unsigned Damaged;
        int Result, Spare;
    } cases[] = {{0, REPAIR_OK, 3}, {1, REPAIR_OK, 2}, {2, REPAIR_TOOLS_ONLY, 1},
                 {3, REPAIR_TOOLS_ONLY, 0}, {4, REPAIR_TOO_MANY, -1}};
    for (const auto &c : cases) {
        int spare = 99;
        EXPECT_EQ(RepairAssess(&set, c.Damaged, &spare), c.Result) << c.Damaged;
        EXPECT_EQ(spare, c.Spare) << c.Damaged;
    }
    // The PAR2 tools' blocks stay usable by them when the joiners' one is lost.
    EXPECT_STREQ(set.BlockName, "BIG.DAT.vol0+3.par2");
    Flip("set/BIG.DAT.vol0+3.par2", (size_t)set.BlockOffset + 10);
    ASSERT_EQ(Open(), REPAIR_OK);
    EXPECT_EQ(set.Blocks, 2u);
    int spare = 0;
    EXPECT_EQ(RepairAssess(&set, 1, &spare), REPAIR_TOOLS_ONLY);
    EXPECT_EQ(spare, 1);
}

TEST_F(Repair, NoRecoveryDataOrADamagedOneIsSaidAndNothingWrongIsHandedOn)
{
    Slice(0);
    EXPECT_EQ(Open(), REPAIR_NONE);
    ASSERT_EQ(system(("rm -r '" + Path("set") + "'").c_str()), 0);
    portions_.clear();
    Slice(1);
    ASSERT_EQ(unlink(Path(Portion(4)).c_str()), 0);
    const std::string volume = "set/BIG.DAT.vol0+1.par2";
    Bytes good = Load(volume);
    int spare = 0;
    ASSERT_EQ(Open(), REPAIR_OK);
    const size_t block = (size_t)set.BlockOffset;
    ASSERT_GT(good.size(), block + 1000);

    // The block's bytes damaged before the check: its packet is refused.
    Flip(volume, block + 999);
    ASSERT_EQ(Open(), REPAIR_OK);
    EXPECT_EQ(set.Blocks, 0u);
    EXPECT_EQ(RepairAssess(&set, 1, &spare), REPAIR_TOO_MANY);
    Bytes out;
    EXPECT_EQ(Rebuild("BIG.D04", 4096, out), REPAIR_NO_BLOCK);
    // Damaged after it (a disk that reads back differently): the slice's
    // checksums catch it, before the last piece is handed on.
    Store(volume, good);
    ASSERT_EQ(Open(), REPAIR_OK);
    Flip(volume, block + 999);
    EXPECT_EQ(Rebuild("BIG.D04", 4096, out), REPAIR_MISMATCH);
    EXPECT_TRUE(out.empty());
    // The index alone describes the set but rebuilds nothing.
    ASSERT_EQ(unlink(Path(volume).c_str()), 0);
    ASSERT_EQ(Open(), REPAIR_OK);
    EXPECT_EQ(Rebuild("BIG.D04", 4096, out), REPAIR_NO_BLOCK);
    EXPECT_EQ(Rebuild("BIG.D09", 4096, out), REPAIR_NOT_IN_SET);
}

// Names are taken from a folder's recovery data only as names in that folder.
TEST_F(Repair, ANameWithAFolderInItIsRefused)
{
    static Par2Writer w;
    unsigned char block[8] = {0}, data[5] = {1, 2, 3, 4, 5};
    Bytes index;
    ASSERT_EQ(Par2WriterBegin(&w, 8, 1, block, [](uint32_t c, const void *d, size_t n) {
        return Crc32Update(c, d, n); }, "test"), PAR2_OK);
    ASSERT_EQ(Par2WriterAddFile(&w, "BIG.D00", 5), PAR2_OK);
    ASSERT_EQ(Par2WriterAddFile(&w, "../BIG.D01", 5), PAR2_OK);
    for (unsigned i = 0; i < 2; i++)
        ASSERT_EQ(Par2WriterFeed(&w, i, data, 5), PAR2_OK);
    ASSERT_EQ(Par2WriterFinish(&w), PAR2_OK);
    ASSERT_EQ(Par2WriteIndex(&w, Collect, &index), PAR2_OK);
    Folder("set");
    Store("set/BIG.DAT.par2", index);
    set_ = Path("set/");
    EXPECT_EQ(Open(), REPAIR_UNSUPPORTED);
}

} // namespace
