// PAR2 recovery data without the tools: the field's arithmetic, the file
// names, the writer's output read back by the joiners' reader (lost files
// rebuilt, damaged packets refused) and the writer's refusals.
#include <gtest/gtest.h>

#include <string.h>

#include <algorithm>

#include <string>
#include <vector>

#include "par2_sets.h"
#include "recovery/write/md5_lanes.h"
#include "recovery/write/recovery_size.h"

namespace {

TEST(Par2Field, MultiplicationLaws)
{
    // x^16 = x^12 + x^3 + x + 1 for the polynomial 0x1100B.
    EXPECT_EQ(Par2GfMultiply(0x8000, 2), 0x100B);
    const uint16_t values[] = {1, 2, 3, 0x100B, 0x8000, 0xFFFF, 0x1234, 0xBEEF};
    for (uint16_t a : values) {
        EXPECT_EQ(Par2GfMultiply(a, 1), a);
        EXPECT_EQ(Par2GfMultiply(a, 0), 0);
        EXPECT_EQ(Par2GfMultiply(a, Par2GfInverse(a)), 1) << a;
        for (uint16_t b : values) {
            EXPECT_EQ(Par2GfMultiply(a, b), Par2GfMultiply(b, a));
            EXPECT_EQ(Par2GfMultiply(a, b ^ 0x5A5A),
                      Par2GfMultiply(a, b) ^ Par2GfMultiply(a, 0x5A5A)) << a << ' ' << b;
        }
    }
}

TEST(Par2Field, SliceConstantsSkipFactorsOf65535)
{
    const uint16_t logs[] = {1, 2, 4, 7, 8, 11, 13, 14, 16, 19, 22, 23};
    for (unsigned n = 0; n < sizeof logs / sizeof logs[0]; n++)
        EXPECT_EQ(Par2SliceLog(n), logs[n]) << n;
}

TEST(Par2Names, FromTheSourceName)
{
    const std::string longest(255, 'L');
    const std::string tricky = std::string(241, 'T') + ".vol00+10.PAR2";  // 255 bytes
    const std::string accented = std::string(240, 'U') + "\xC3\xA9tude";  // a cut inside é
    struct {
        std::string Source;
        unsigned Count;
        std::string Index, Recovery;
    } cases[] = {
        {"BIG.DAT", 1, "BIG.DAT.par2", "BIG.DAT.vol0+1.par2"},
        {"BIG.DAT", 9, "BIG.DAT.par2", "BIG.DAT.vol0+9.par2"},
        {"AB", 10, "AB.par2", "AB.vol00+10.par2"},
        // One stem for both, whatever the count: par2 finds the blocks by it.
        {longest, 3, std::string(241, 'L') + ".par2", std::string(241, 'L') + ".vol0+3.par2"},
        {longest, 10, std::string(241, 'L') + ".par2", std::string(241, 'L') + ".vol00+10.par2"},
        // Cut short to the source's own name: one byte more goes.
        {tricky, 10, std::string(240, 'T') + ".par2", std::string(240, 'T') + ".vol00+10.par2"},
        {accented, 1, std::string(240, 'U') + ".par2", std::string(240, 'U') + ".vol0+1.par2"},
    };
    for (const auto &c : cases) {
        char index[PAR2_NAME_SIZE], recovery[PAR2_NAME_SIZE];
        ASSERT_EQ(Par2FileNames(c.Source.c_str(), c.Count, index, recovery), PAR2_OK);
        EXPECT_EQ(index, c.Index);
        EXPECT_EQ(recovery, c.Recovery);
    }
    char index[PAR2_NAME_SIZE], recovery[PAR2_NAME_SIZE];
    EXPECT_EQ(Par2FileNames("", 1, index, recovery), PAR2_BAD_ARGUMENT);
    EXPECT_EQ(Par2FileNames("BIG.DAT", 0, index, recovery), PAR2_BAD_ARGUMENT);
    EXPECT_EQ(Par2FileNames("BIG.DAT", 11, index, recovery), PAR2_BAD_ARGUMENT);
}

// The padded slices XORed together: what the exponent-0 block must hold.
Bytes XorOfSlices(const std::vector<Bytes> &files, size_t slice)
{
    Bytes x(slice, 0);
    for (const Bytes &f : files)
        for (size_t i = 0; i < f.size(); i++)
            x[i] ^= f[i];
    return x;
}

TEST(Par2Reader, ReadsWhatTheWriterWrote)
{
    std::vector<Bytes> files = SampleFiles(7, 1001, 333);
    MadeSet set;
    MakeSet(set, files, 2, 777);
    for (size_t piece : {(size_t)1, (size_t)5, (size_t)4096, set.Recovery.size()}) {
        Par2Reader r;
        ASSERT_EQ(ReadSet(r, set.Recovery, piece), PAR2_OK) << "pieces of " << piece;
        ASSERT_EQ(r.FileCount, 7u);
        EXPECT_EQ(r.SliceSize, 1004u);
        EXPECT_EQ(r.BlockCount, 2u);
        EXPECT_TRUE(BlockZero(r, set.Recovery) == XorOfSlices(files, 1004));
        for (unsigned i = 0; i < r.FileCount; i++) {
            // The main packet lists the files in file ID order, as 16-byte
            // little-endian numbers.
            if (i > 0) {
                int k = 15;
                while (k > 0 && r.MainIds[i - 1][k] == r.MainIds[i][k])
                    k--;
                EXPECT_LT(r.MainIds[i - 1][k], r.MainIds[i][k]);
            }
            unsigned n = (unsigned)atoi(r.Files[i].Name + 5);
            ASSERT_LT(n, 7u);
            EXPECT_EQ(r.Files[i].Name, SampleName(n));
            EXPECT_EQ(r.Files[i].Length, files[n].size());
            Bytes padded = files[n];
            padded.resize(1004, 0);
            unsigned char hash[MD5_DIGEST_SIZE];
            Md5Digest(padded.data(), padded.size(), hash);
            EXPECT_TRUE(r.Files[i].Checked);
            EXPECT_EQ(r.Files[i].SliceCrc, BytewiseCrc(0, padded.data(), padded.size()));
            EXPECT_EQ(memcmp(r.Files[i].SliceHash, hash, MD5_DIGEST_SIZE), 0);
            EXPECT_TRUE(Rebuild(r, set.Recovery, files, n) == files[n]) << n;
        }
    }
    // The index file names the files but holds no recovery block.
    Par2Reader r;
    EXPECT_EQ(ReadSet(r, set.Index, 100), PAR2_NO_RECOVERY);
    EXPECT_EQ(r.FileCount, 7u);
}

// Hashing and accumulating apart (as two threads would), the blocks fed in
// another file order and in pieces that start at odd offsets, give the same
// files as feeding.
TEST(Par2Writer, HashAndAccumulateApartAsFeed)
{
    std::vector<Bytes> files = SampleFiles(3, 20000, 17);
    MadeSet fed, apart;
    MakeSet(fed, files, 3, 1000);
    apart.Blocks.resize(3 * 20000);
    Par2Writer &w = apart.Writer;
    ASSERT_EQ(Par2WriterBegin(&w, 20000, 3, apart.Blocks.data(), BytewiseCrc, "Dorvane test"), 0);
    for (unsigned i = 0; i < 3; i++)
        ASSERT_EQ(Par2WriterAddFile(&w, SampleName(i).c_str(), files[i].size()), 0);
    for (unsigned i = 0; i < 3; i++)
        ASSERT_EQ(Par2WriterPrime(&w, i, files[i].data(), i < 2 ? 16384 : 17), 0);
    for (unsigned i = 0; i < 3; i++)
        ASSERT_EQ(Par2WriterHash(&w, i, files[i].data(), files[i].size()), 0);
    EXPECT_EQ(Par2WriterFinish(&w), PAR2_SHORT_FILE);
    for (unsigned i = 3; i-- > 0;)
        for (size_t at = 0, piece = 1; at < files[i].size(); at += piece, piece += 2)
            ASSERT_EQ(Par2WriterAccumulate(&w, i, files[i].data() + at,
                                           std::min(piece, files[i].size() - at)), 0);
    ASSERT_EQ(Par2WriterFinish(&w), PAR2_OK);
    ASSERT_EQ(Par2WriteIndex(&w, CollectBytes, &apart.Index), 0);
    ASSERT_EQ(Par2WriteRecovery(&w, CollectBytes, &apart.Recovery), 0);
    EXPECT_TRUE(apart.Index == fed.Index);
    EXPECT_TRUE(apart.Recovery == fed.Recovery);
}

// Files hashed partly alone and partly in lanes, the lanes' steps crossing
// each file's first 16 KiB at another offset, give the files feeding does;
// a call the lanes refuse touches no file.
TEST(Par2Writer, LanesHashAsFilesAlone)
{
    std::vector<Bytes> files = SampleFiles(8, 40000, 39000);
    MadeSet fed, lanes;
    // One block: nothing primed, so each head digest comes from the stream.
    MakeSet(fed, files, 1, 777);
    lanes.Blocks.resize(40000);
    Par2Writer &w = lanes.Writer;
    ASSERT_EQ(Par2WriterBegin(&w, 40000, 1, lanes.Blocks.data(), BytewiseCrc, "Dorvane test"), 0);
    for (unsigned i = 0; i < 8; i++)
        ASSERT_EQ(Par2WriterAddFile(&w, SampleName(i).c_str(), files[i].size()), 0);
    unsigned ids[8] = {0, 1, 2, 3, 4, 5, 6, 7};
    const unsigned char *data[8];
    for (unsigned i = 0; i < 8; i++) {
        ASSERT_EQ(Par2WriterHash(&w, i, files[i].data(), 64 * 37 * i), 0);
        data[i] = files[i].data() + 64 * 37 * i;
    }
    unsigned twice[2] = {3, 3};
    const struct {
        const unsigned *Files;
        unsigned Count;
        size_t Size;
        int Result;
    } refusals[] = {
        {ids, 1, 4096, PAR2_BAD_ARGUMENT},  {ids, 9, 4096, PAR2_BAD_ARGUMENT},
        {ids, 4, 4000, PAR2_BAD_ARGUMENT},  {twice, 2, 4096, PAR2_BAD_ARGUMENT},
        {ids, 8, 40000 - 64 * 37 * 7 + 64, PAR2_TOO_MUCH_DATA},
    };
    for (const auto &r : refusals)
        EXPECT_EQ(Par2WriterHashLanes(&w, r.Files, data, r.Count, r.Size), r.Result);
    const unsigned count = std::max(2u, std::min(8u, Md5LaneCount()));
    for (unsigned first = 0; first < 8; first += count) {
        unsigned n = std::min(count, 8 - first);
        if (n == 1)
            ASSERT_EQ(Par2WriterHash(&w, first, data[first], 64 * 300), 0);
        else
            ASSERT_EQ(Par2WriterHashLanes(&w, ids + first, data + first, n, 64 * 300), 0);
    }
    for (unsigned i = 0; i < 8; i++) {
        size_t done = 64 * 37 * i + 64 * 300;
        ASSERT_EQ(Par2WriterHash(&w, i, files[i].data() + done, files[i].size() - done), 0);
        ASSERT_EQ(Par2WriterAccumulate(&w, i, files[i].data(), files[i].size()), 0);
    }
    ASSERT_EQ(Par2WriterFinish(&w), PAR2_OK);
    ASSERT_EQ(Par2WriteIndex(&w, CollectBytes, &lanes.Index), 0);
    ASSERT_EQ(Par2WriteRecovery(&w, CollectBytes, &lanes.Recovery), 0);
    EXPECT_TRUE(lanes.Index == fed.Index);
    EXPECT_TRUE(lanes.Recovery == fed.Recovery);
}

// Offset of the n-th packet of `type` in `data`.
size_t FindPacket(const Bytes &data, const unsigned char *type, int n)
{
    for (size_t at = 0; at + 64 <= data.size(); at += 4)
        if (!memcmp(&data[at], Par2Magic, 8) && !memcmp(&data[at + 48], type, 16) && n-- == 0)
            return at;
    ADD_FAILURE() << "no such packet";
    return 0;
}

TEST(Par2Reader, RefusesDamagedPackets)
{
    std::vector<Bytes> files = SampleFiles(4, 3000, 1234);
    MadeSet set;
    MakeSet(set, files, 1, 3000);
    struct {
        bool Recovery;              // damage the recovery file, else the index
        const unsigned char *Type;  // in the first packet of this type
        int Copy;
        size_t Offset;              // at this offset in it
        int Expected;
    } cases[] = {
        {false, Par2TypeMain, 0, 70, PAR2_NO_MAIN},
        {false, Par2TypeFileDesc, 2, 100, PAR2_NO_DESCRIPTION},
        {false, Par2TypeFileDesc, 1, 20, PAR2_NO_DESCRIPTION},  // the packet's MD5
        {false, Par2TypeFileDesc, 3, 1, PAR2_NO_DESCRIPTION},   // its magic
        {false, Par2TypeSliceChecksums, 0, 80, PAR2_NO_RECOVERY},  // not needed to rebuild
        {true, Par2TypeMain, 0, 40, PAR2_OK},                   // a later copy stands
        {true, Par2TypeFileDesc, 0, 64, PAR2_OK},
        {true, Par2TypeRecovery, 0, 64, PAR2_NO_RECOVERY},      // its exponent
        {true, Par2TypeRecovery, 0, 2000, PAR2_NO_RECOVERY},
        {true, Par2TypeRecovery, 0, 9, PAR2_NO_RECOVERY},       // its length
    };
    for (const auto &c : cases) {
        Bytes data = c.Recovery ? set.Recovery : set.Index;
        data[FindPacket(data, c.Type, c.Copy) + c.Offset] ^= 0x40;
        Par2Reader r;
        EXPECT_EQ(ReadSet(r, data, 512), c.Expected) << c.Type + 8 << ' ' << c.Offset;
    }
    // Cut short anywhere before the recovery block's end.
    size_t end = FindPacket(set.Recovery, Par2TypeRecovery, 0) + 68 + 3000;
    for (size_t cut = 1; cut < set.Recovery.size(); cut += 97) {
        Par2Reader r;
        int result = ReadSet(r, Bytes(set.Recovery.begin(), set.Recovery.begin() + cut), 512);
        EXPECT_EQ(result == PAR2_OK, cut >= end) << cut;
    }
}

// One bit flipped anywhere in a packet's length, that packet is lost and no
// other: the search goes on from the magic inside it, and no length runs
// past the end of the file.
TEST(Par2Reader, ADamagedLengthHidesNoPacketAfterIt)
{
    std::vector<Bytes> files = SampleFiles(4, 3000, 1234);
    MadeSet set;
    MakeSet(set, files, 2, 3000);
    const size_t first = FindPacket(set.Recovery, Par2TypeRecovery, 0);
    for (size_t byte = 8; byte < 16; byte++)
        for (unsigned char bit : {0x01, 0x04, 0x10, 0x80}) {
            Bytes data = set.Recovery;
            data[first + byte] ^= bit;
            Par2Reader r;
            for (size_t piece : {(size_t)7, data.size()}) {
                ASSERT_EQ(ReadSet(r, data, piece), PAR2_OK) << byte << ' ' << (int)bit;
                EXPECT_EQ(r.FileCount, 4u);
                ASSERT_EQ(r.BlockCount, 1u) << byte << ' ' << (int)bit;
                EXPECT_EQ(r.Blocks[0].Exponent, 1u);
            }
        }
}

TEST(Par2Writer, Refusals)
{
    std::vector<Bytes> files = SampleFiles(2, 20000, 20000);
    Bytes blocks(2 * 20000);
    Par2Writer w;
    EXPECT_EQ(Par2WriterBegin(&w, 20002, 1, blocks.data(), BytewiseCrc, ""), PAR2_BAD_ARGUMENT);
    EXPECT_EQ(Par2WriterBegin(&w, 20000, 11, blocks.data(), BytewiseCrc, ""), PAR2_BAD_ARGUMENT);
    ASSERT_EQ(Par2WriterBegin(&w, 20000, 2, blocks.data(), BytewiseCrc, ""), PAR2_OK);
    EXPECT_EQ(Par2WriterAddFile(&w, "BIG.D00", 20001), PAR2_BAD_ARGUMENT);
    ASSERT_EQ(Par2WriterAddFile(&w, "BIG.D00", 20000), PAR2_OK);
    EXPECT_EQ(Par2WriterAddFile(&w, "BIG.D00", 20000), PAR2_BAD_ARGUMENT);
    ASSERT_EQ(Par2WriterAddFile(&w, "BIG.D01", 20000), PAR2_OK);
    // Blocks beyond the first need every file's head first.
    ASSERT_EQ(Par2WriterPrime(&w, 0, files[0].data(), 16384), PAR2_OK);
    EXPECT_EQ(Par2WriterFeed(&w, 0, files[0].data(), 100), PAR2_NOT_PRIMED);
    EXPECT_EQ(Par2WriterPrime(&w, 1, files[1].data(), 100), PAR2_BAD_ARGUMENT);
    ASSERT_EQ(Par2WriterPrime(&w, 1, files[0].data(), 16384), PAR2_OK);  // not its head
    ASSERT_EQ(Par2WriterFeed(&w, 0, files[0].data(), 20000), PAR2_OK);
    EXPECT_EQ(Par2WriterFeed(&w, 0, files[0].data(), 1), PAR2_TOO_MUCH_DATA);
    EXPECT_EQ(Par2WriterFeed(&w, 2, files[0].data(), 1), PAR2_BAD_ARGUMENT);
    ASSERT_EQ(Par2WriterFeed(&w, 1, files[1].data(), 19999), PAR2_OK);
    EXPECT_EQ(Par2WriterFinish(&w), PAR2_SHORT_FILE);
    ASSERT_EQ(Par2WriterFeed(&w, 1, files[1].data() + 19999, 1), PAR2_OK);
    EXPECT_EQ(Par2WriterFinish(&w), PAR2_FILE_CHANGED);
}

} // namespace

namespace {

// What the planner tells beforehand is what the writer writes: the index
// and the recovery file together, for sets of every shape.
TEST(RecoveryDataBytes, IsWhatTheWriterWrites)
{
    const struct {
        unsigned files;
        size_t length, last;
        unsigned blocks;
    } cases[] = {{1, 0, 310, 1}, {3, 1001, 333, 1}, {7, 1001, 1001, 2}, {100, 64, 1, 10}};
    for (const auto &c : cases) {
        MadeSet set;
        MakeSet(set, SampleFiles(c.files, c.length, c.last), c.blocks, 4096);
        uint64_t longest = c.files == 1 ? c.last : std::max(c.length, c.last);
        EXPECT_EQ(RecoveryDataBytes(c.files, longest, SampleName(0).size(), c.blocks,
                                    "Dorvane test"),
                  set.Index.size() + set.Recovery.size())
            << c.files << " files, " << c.blocks << " blocks";
    }
    EXPECT_EQ(RecoveryDataBytes(0, 100, 7, 1, ""), 0u);
    EXPECT_EQ(RecoveryDataBytes(101, 100, 7, 1, ""), 0u);
    EXPECT_EQ(RecoveryDataBytes(3, 100, 7, 11, ""), 0u);
}

} // namespace
