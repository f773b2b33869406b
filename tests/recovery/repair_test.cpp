// Rebuilding lost or damaged portions from the recovery data, on sets the
// Linux dorvane writes with --recovery (and par2 under other names), read
// through the Linux layer.
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

// What a rebuild hands on: each lost file's bytes, which must come in order.
struct Collected {
    std::vector<Bytes> Files;
};

int Collect(void *context, unsigned which, uint64_t offset, const void *data, size_t size)
{
    Collected *out = (Collected *)context;
    if (out->Files.size() <= which)
        out->Files.resize(which + 1);
    Bytes &to = out->Files[which];
    EXPECT_EQ(offset, to.size());
    to.insert(to.end(), (const unsigned char *)data, (const unsigned char *)data + size);
    return 0;
}

class Repair : public Scratch {
protected:
    // A set of 3500 random bytes in portions of 1000 bytes (BIG.D00 to
    // BIG.D05, the last 354 bytes) in the folder "set", with `blocks`
    // recovery blocks (0: none); its portions kept as written.
    void Slice(unsigned blocks, unsigned scale = 1)
    {
        Folder("set");
        std::string command = "head -c " + std::to_string(3500 * scale) + " /dev/urandom >'" +
                              Path("BIG.DAT") + "' && '" + DORVANE_PATH + "' '" + Path("BIG.DAT") +
                              "' '" + Path("set/") + "' --size " + std::to_string(1000 * scale);
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
        Bytes b(1 << 20);
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
    int Open(const char *wanted = "BIG.D00")
    {
        return RepairOpen(&set, set_.c_str(), wanted, buffer_, sizeof buffer_, Note, &notes_);
    }
    static void Note(void *context, const char *name) { ((std::string *)context)->append(name); }
    // The files of these numbers, their indexes in the recovery data.
    std::vector<unsigned> Files(const std::vector<unsigned> &numbers)
    {
        std::vector<unsigned> files;
        for (unsigned n : numbers)
            files.push_back((unsigned)RepairFind(&set, ("BIG.D0" + std::to_string(n)).c_str()));
        return files;
    }
    int Rebuild(const std::vector<unsigned> &numbers, uint32_t piece, Collected &out)
    {
        std::vector<unsigned> files = Files(numbers);
        set.Piece = piece;
        return RepairRebuild(&set, files.data(), (unsigned)files.size(), Collect, &out);
    }
    int Assess(unsigned lost, int *spare)
    {
        std::vector<unsigned> files;
        for (unsigned i = 0; i < lost; i++)
            files.push_back(i);
        return RepairAssess(&set, files.data(), lost, spare);
    }
    static RepairSet set;
    std::vector<Bytes> portions_;
    std::string set_, notes_;
    unsigned char buffer_[PAR2_HEAD_SIZE];
};

RepairSet Repair::set;

TEST_F(Repair, KLostOrDamagedAreRebuiltFromKBlocksAnotherDamagedTooIsRefused)
{
    struct Case {
        const char *Name;
        unsigned Blocks;
        std::vector<unsigned> Deleted, Flipped;
        unsigned Truncated;  // a portion cut to 999 bytes, or 9
        std::vector<unsigned> Rebuilt;
        uint32_t Piece;      // bytes decoded at a time (0: the rebuild's choice)
        int Result;
        int Failed;          // the file named by the failure, or -1
    } cases[] = {
        {"deleted, in one piece", 1, {2}, {}, 9, {2}, 0, REPAIR_OK, -1},
        {"deleted, in odd pieces", 1, {2}, {}, 9, {2}, 150, REPAIR_OK, -1},
        {"the short last deleted", 1, {5}, {}, 9, {5}, 64, REPAIR_OK, -1},
        {"damaged in the data", 1, {}, {3}, 9, {3}, 0, REPAIR_OK, -1},
        {"two of three blocks", 3, {0, 4}, {}, 9, {0, 4}, 100, REPAIR_OK, -1},
        {"three, one damaged", 3, {1, 5}, {3}, 9, {1, 3, 5}, 0, REPAIR_OK, -1},
        {"four of four", 4, {0, 2, 3, 5}, {}, 9, {0, 2, 3, 5}, 52, REPAIR_OK, -1},
        {"five of four", 4, {0, 1, 2, 3, 5}, {}, 9, {0, 1, 2, 3, 5}, 0, REPAIR_TOO_MANY, -1},
        {"another damaged too", 1, {2}, {1}, 9, {2}, 0, REPAIR_MISMATCH, 2},
        {"another cut short", 1, {2}, {}, 1, {2}, 0, REPAIR_WRONG_LENGTH, 1},
        {"another missing", 2, {0, 2}, {}, 9, {2}, 0, REPAIR_UNREADABLE, 0},
    };
    unsigned sliced = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.Name);
        if (c.Blocks != sliced) {
            if (sliced) {
                ASSERT_EQ(system(("rm -r '" + Path("set") + "'").c_str()), 0);
            }
            portions_.clear();
            Slice(sliced = c.Blocks);
        }
        for (unsigned i = 0; i < 6; i++)
            Store(Portion(i), portions_[i]);
        for (unsigned i : c.Deleted)
            ASSERT_EQ(unlink(Path(Portion(i)).c_str()), 0);
        for (unsigned i : c.Flipped)
            Flip(Portion(i), 400);
        if (c.Truncated != 9) {
            ASSERT_EQ(truncate(Path(Portion(c.Truncated)).c_str(), 999), 0);
        }
        ASSERT_EQ(Open(""), REPAIR_OK);
        EXPECT_EQ(set.Blocks, c.Blocks);
        Collected out;
        EXPECT_EQ(Rebuild(c.Rebuilt, c.Piece, out), c.Result);
        if (c.Result == REPAIR_OK) {
            ASSERT_EQ(out.Files.size(), c.Rebuilt.size());
            for (size_t l = 0; l < c.Rebuilt.size(); l++)
                EXPECT_TRUE(out.Files[l] == portions_[c.Rebuilt[l]]) << c.Rebuilt[l];
        } else {
            EXPECT_TRUE(out.Files.empty()) << "bytes not proven right reached the sink";
        }
        if (c.Failed >= 0) {
            std::string failed = "BIG.D0" + std::to_string(c.Failed);
            EXPECT_EQ(set.Failed, RepairFind(&set, failed.c_str()));
        }
    }
}

// Present files cut short once the rebuild has begun (after its first
// piece): it ends UNREADABLE and names the one cut short, the first in the
// set's order where the files of both halves (each half read on its own
// thread where there are two) are.
struct CutShort {
    std::vector<std::string> Paths;
    bool Cut = false;
};

int CutOnFirstPiece(void *context, unsigned, uint64_t, const void *, size_t)
{
    CutShort *c = (CutShort *)context;
    for (const std::string &path : c->Paths)
        EXPECT_EQ(truncate(path.c_str(), 100), 0);
    c->Cut = true;
    return 0;
}

TEST_F(Repair, AFileCutShortWhileReadIsNamed)
{
    Slice(1);
    ASSERT_EQ(Open(""), REPAIR_OK);
    std::vector<unsigned> lost = Files({2}), order;
    for (unsigned n : {0, 1, 3, 4, 5})
        order.push_back(Files({n})[0]);
    unsigned lower = 0, upper = 0;  // a portion of each half, by number
    for (unsigned k = 0; k < order.size(); k++) {
        unsigned n = k < 2 ? k : k + 1;
        (order[k] < set.Reader.FileCount / 2 ? lower : upper) = n;
    }
    for (const std::vector<unsigned> &cut : {std::vector<unsigned>{upper},
                                             std::vector<unsigned>{upper, lower}}) {
        for (unsigned i = 0; i < 6; i++)
            Store(Portion(i), portions_[i]);
        ASSERT_EQ(unlink(Path(Portion(2)).c_str()), 0);
        ASSERT_EQ(Open(""), REPAIR_OK);
        CutShort c;
        for (unsigned n : cut)
            c.Paths.push_back(Path(Portion(n)));
        set.Piece = 200;
        EXPECT_EQ(RepairRebuild(&set, lost.data(), 1, CutOnFirstPiece, &c), REPAIR_UNREADABLE);
        EXPECT_TRUE(c.Cut);
        EXPECT_EQ(set.Failed, Files({cut.back()})[0]) << cut.size() << " cut short";
    }
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
    }
    Collected out;
    EXPECT_EQ(Rebuild({1}, 0, out), REPAIR_OK);
    EXPECT_TRUE(out.Files[0] == portions_[1]);
}

// A recovery file larger than the buffer, one block's length damaged so
// that it runs 16 KiB into what follows: the search goes back to the
// packets it hid, across the buffer's pieces, and the other blocks count.
TEST_F(Repair, ADamagedLengthHidesNoBlockBehindIt)
{
    Slice(3, 20);
    const std::string volume = "set/BIG.DAT.vol0+3.par2";
    ASSERT_EQ(Open(), REPAIR_OK);
    ASSERT_EQ(set.Blocks, 3u);
    Bytes data = Load(volume);
    ASSERT_GT(data.size(), 3 * sizeof buffer_);
    data[(size_t)(set.Reader.Blocks[0].Offset - set.Starts[1]) - 68 + 9] ^= 0x40;
    Store(volume, data);
    ASSERT_EQ(Open(), REPAIR_OK);
    EXPECT_EQ(set.Blocks, 2u);
    Collected out;
    ASSERT_EQ(unlink(Path(Portion(2)).c_str()), 0);
    EXPECT_EQ(Rebuild({2}, 0, out), REPAIR_OK);
    EXPECT_TRUE(out.Files.size() == 1 && out.Files[0] == portions_[2]);
}

// Blocks to spare: the joiners rebuild as many portions as there are blocks.
TEST_F(Repair, BlocksToSpare)
{
    Slice(3);
    ASSERT_EQ(Open(), REPAIR_OK);
    EXPECT_EQ(set.Blocks, 3u);
    EXPECT_EQ(set.Reader.FileCount, 6u);
    struct {
        unsigned Damaged;
        int Result, Spare;
    } cases[] = {{0, REPAIR_OK, 3}, {1, REPAIR_OK, 2}, {2, REPAIR_OK, 1}, {3, REPAIR_OK, 0},
                 {4, REPAIR_TOO_MANY, -1}};
    for (const auto &c : cases) {
        int spare = 99;
        EXPECT_EQ(Assess(c.Damaged, &spare), c.Result) << c.Damaged;
        EXPECT_EQ(spare, c.Spare) << c.Damaged;
    }
    // A damaged block is not counted; the others still are.
    const Par2ReadBlock block = set.Reader.Blocks[1];
    Flip("set/BIG.DAT.vol0+3.par2", (size_t)block.Offset - set.Starts[1] + 10);
    ASSERT_EQ(Open(), REPAIR_OK);
    EXPECT_EQ(set.Blocks, 2u);
    int spare = 0;
    EXPECT_EQ(Assess(3, &spare), REPAIR_TOO_MANY);
    EXPECT_EQ(Assess(2, &spare), REPAIR_OK);
    EXPECT_EQ(spare, 0);
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
    const size_t block = (size_t)(set.Reader.Blocks[0].Offset - set.Starts[1]);
    ASSERT_GT(good.size(), block + 1000);

    // The block's bytes damaged before the check: its packet is refused.
    Flip(volume, block + 999);
    ASSERT_EQ(Open(), REPAIR_OK);
    EXPECT_EQ(set.Blocks, 0u);
    EXPECT_EQ(Assess(1, &spare), REPAIR_TOO_MANY);
    Collected out;
    EXPECT_EQ(Rebuild({4}, 0, out), REPAIR_TOO_MANY);
    // Damaged after it (a disk that reads back differently): the slice's
    // checksums catch it, before the last piece is handed on.
    Store(volume, good);
    ASSERT_EQ(Open(), REPAIR_OK);
    Flip(volume, block + 999);
    EXPECT_EQ(Rebuild({4}, 0, out), REPAIR_MISMATCH);
    EXPECT_TRUE(out.Files.empty());
    // The index alone describes the set but rebuilds nothing.
    ASSERT_EQ(unlink(Path(volume).c_str()), 0);
    ASSERT_EQ(Open(), REPAIR_OK);
    EXPECT_EQ(Rebuild({4}, 0, out), REPAIR_TOO_MANY);
    EXPECT_EQ(RepairFind(&set, "BIG.D09"), -1);
}

// Whatever the recovery files are called, the blocks of the set count (par2
// names its volumes vol0+1, vol1+2); those of an earlier set of the same
// name are passed over and named; a device among them is not read.
TEST_F(Repair, EveryRecoveryFileOfTheSetCountsAStaleOneIsPassedOver)
{
    Slice(0);
    const std::string in = "cd '" + Path("set") + "' && ";
    ASSERT_EQ(system((in + "par2 create -q -q -s1000 -c3 BIG.DAT.par2 BIG.D0? >/dev/null && "
                           "ln -s /dev/zero BIG.DAT.vol9+1.par2").c_str()), 0);
    ASSERT_EQ(Open(), REPAIR_OK);
    EXPECT_EQ(set.Blocks, 3u);
    EXPECT_EQ(set.NameCount, 3u);
    ASSERT_EQ(unlink(Path(Portion(1)).c_str()), 0);
    ASSERT_EQ(unlink(Path(Portion(4)).c_str()), 0);
    Collected out;
    EXPECT_EQ(Rebuild({1, 4}, 0, out), REPAIR_OK);
    EXPECT_TRUE(out.Files.size() == 2 && out.Files[1] == portions_[4]);

    // Sliced again: the old files describe other portions. Alone, or met
    // before the new ones (without their index), they are passed over and
    // named; met after them, they are never read.
    const std::string keep = "mkdir '" + Path("old") + "' && mv '" + Path("set") + "'/*.par2 '" +
                             Path("old") + "' && rm -r '" + Path("set") + "'";
    ASSERT_EQ(system(keep.c_str()), 0);
    const std::string back = "cp '" + Path("old") + "'/BIG.DAT.vol0+1.par2 '" + Path("set") + "'";
    const struct {
        unsigned Blocks;
        bool Index;
        const char *Noted;
    } cases[] = {{0, true, "BIG.DAT.vol0+1.par2"}, {2, false, "BIG.DAT.vol0+1.par2"},
                 {2, true, ""}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Blocks + c.Index);
        portions_.clear();
        Slice(c.Blocks);
        ASSERT_EQ(system(back.c_str()), 0);
        if (!c.Index) {
            ASSERT_EQ(unlink(Path("set/BIG.DAT.par2").c_str()), 0);
        }
        notes_.clear();
        EXPECT_EQ(Open(), c.Blocks ? REPAIR_OK : REPAIR_NONE);
        EXPECT_EQ(set.Blocks, c.Blocks);
        EXPECT_EQ(notes_, c.Noted);
        ASSERT_EQ(system(("rm -r '" + Path("set") + "'").c_str()), 0);
    }
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
    ASSERT_EQ(Par2WriteIndex(&w, [](void *context, const void *data, size_t size) {
        Bytes *out = (Bytes *)context;
        out->insert(out->end(), (const unsigned char *)data, (const unsigned char *)data + size);
        return 0; }, &index), PAR2_OK);
    Folder("set");
    Store("set/BIG.DAT.par2", index);
    set_ = Path("set/");
    EXPECT_EQ(Open(), REPAIR_UNSUPPORTED);
}

} // namespace
