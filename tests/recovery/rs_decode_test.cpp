// The GF(2^16) decoder: the field and the slices' constants (products
// checked against the writer's log tables), multiply-add against products
// taken word by word, systems that cannot be solved, and natively the
// blocks Debian's par2 writes: k = 1..4 slices dropped, rebuilt byte for
// byte with their padding zero.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "recovery/par2.h"
#include "recovery/rs_decode.h"

#ifndef _WIN32
#include <dirent.h>
#include <unistd.h>

#include <map>

#include "host_tools.h"
#include "scratch.h"
#endif

namespace {

typedef std::vector<unsigned char> Bytes;

Bytes Noise(size_t size, uint32_t seed)
{
    Bytes b(size);
    for (unsigned char &c : b) {
        seed = seed * 1103515245 + 12345;
        c = (unsigned char)(seed >> 16);
    }
    return b;
}

TEST(RsField, ProductsPowersInverses)
{
    static const struct { uint16_t A, B, Product; } Products[] = {
        {0, 0x1234, 0}, {1, 0x1234, 0x1234}, {3, 3, 5}, {2, 0x8000, 0x100B},
        {0x100, 0x100, 0x100B}, {0x8000, 0x8000, 0x8EFA},
    };
    for (const auto &p : Products) {
        EXPECT_EQ(RsMultiply(p.A, p.B), p.Product) << p.A << " * " << p.B;
        EXPECT_EQ(RsMultiply(p.B, p.A), p.Product) << p.B << " * " << p.A;
    }
    Bytes pairs = Noise(40000, 7);
    for (size_t i = 0; i < pairs.size(); i += 4) {
        uint16_t a = (uint16_t)(pairs[i] | pairs[i + 1] << 8), b = (uint16_t)(pairs[i + 2] | pairs[i + 3] << 8);
        ASSERT_EQ(RsMultiply(a, b), Par2GfMultiply(a, b)) << a << " * " << b;
    }
    for (uint32_t a = 1; a < 65536; a++)
        ASSERT_EQ(RsMultiply((uint16_t)a, RsInverse((uint16_t)a)), 1) << a;
    EXPECT_EQ(RsInverse(0), 0);
    EXPECT_EQ(RsPower(2, 16), 0x100B);
    EXPECT_EQ(RsPower(2, 65535), 1);
    EXPECT_EQ(RsPower(0x1234, 0), 1);
    EXPECT_EQ(RsPower(0, 0), 1);
    EXPECT_EQ(RsPower(0, 5), 0);
}

TEST(RsField, SliceConstants)
{
    static const unsigned FirstLogs[] = {1, 2, 4, 7, 8, 11, 13, 14, 16, 19, 22, 23, 26, 28, 29, 31};
    for (unsigned i = 0; i < sizeof FirstLogs / sizeof *FirstLogs; i++)
        EXPECT_EQ(RsSliceConstant(i), RsPower(2, FirstLogs[i])) << i;
    for (unsigned i = 0; i < RS_MAX_SLICES; i += 331)  // the writer's count
        EXPECT_EQ(RsSliceConstant(i), RsPower(2, Par2SliceLog(i))) << i;
    EXPECT_EQ(RsSliceConstant(32767), RsPower(2, 65534));
    EXPECT_EQ(RsSliceConstant(RS_MAX_SLICES), 0);
}

TEST(RsMultiplyAdd, EveryWordAndTheOddTail)
{
    static const uint16_t Constants[] = {0, 1, 2, 0x8EFA, 0xFFFF};
    static const size_t Sizes[] = {0, 1, 2, 7, 8, 9, 16, 17, 31};
    for (uint16_t c : Constants) {
        RsTable t;
        RsTableBuild(&t, c);
        for (size_t size : Sizes) {
            Bytes data = Noise(size, c + (uint32_t)size), acc = Noise(size + 8, 99);
            Bytes expected = acc;
            for (size_t i = 0; i < size; i += 2) {
                uint16_t w = (uint16_t)(data[i] | (i + 1 < size ? data[i + 1] << 8 : 0));
                uint16_t p = RsMultiply(c, w);
                expected[i] ^= (unsigned char)p;
                expected[i + 1] ^= (unsigned char)(p >> 8);
            }
            RsMultiplyAdd(acc.data(), data.data(), size, &t);
            EXPECT_EQ(acc, expected) << "constant " << c << ", " << size << " bytes";
        }
    }
}

TEST(RsDecoder, RefusedSystems)
{
    static const struct {
        std::vector<unsigned> Lost;
        std::vector<uint32_t> Exponents;
        int Result;
    } Cases[] = {
        {{0, 1}, {3, 3}, RS_SINGULAR},
        {{2, 2}, {0, 1}, RS_SINGULAR},
        // (c_0 / c_2)^21845 = 2^(-3 * 21845) = 1: distinct exponents, no solution.
        {{0, 2}, {0, 21845}, RS_SINGULAR},
        {{0, 8}, {5, 5 + 4369}, RS_SINGULAR},  // n = 1 and 16: 2^15 has order 4369
        {{0, 2}, {0, 21844}, RS_OK},
        {{RS_MAX_SLICES}, {0}, RS_BAD_ARGUMENT},
        {{}, {}, RS_BAD_ARGUMENT},
        {std::vector<unsigned>(RS_MAX_LOST + 1), std::vector<uint32_t>(RS_MAX_LOST + 1), RS_BAD_ARGUMENT},
    };
    for (const auto &c : Cases) {
        RsDecoder d;
        EXPECT_EQ(RsDecoderBegin(&d, c.Lost.data(), c.Exponents.data(), (unsigned)c.Lost.size()),
                  c.Result) << "case " << &c - Cases;
        EXPECT_EQ(d.Memory != nullptr, c.Result == RS_OK);
        RsDecoderEnd(&d);
    }
    RsDecoder d;
    unsigned lost[] = {4, 9};
    uint32_t exponents[] = {0, 7};
    unsigned char piece[8] = {0}, out0[8], out1[8];
    const unsigned char *blocks[] = {piece, piece};
    unsigned char *out[] = {out0, out1};
    ASSERT_EQ(RsDecoderBegin(&d, lost, exponents, 2), RS_OK);
    EXPECT_EQ(RsDecoderRemoveSlice(&d, 0, 9, piece, 4, piece), RS_BAD_ARGUMENT);
    EXPECT_EQ(RsDecoderRemoveSlice(&d, 2, 3, piece, 4, piece), RS_BAD_ARGUMENT);
    EXPECT_EQ(RsDecodePiece(&d, blocks, out, 7), RS_BAD_ARGUMENT);
    EXPECT_EQ(RsDecodePiece(&d, blocks, out, 8), RS_OK);
    RsDecoderEnd(&d);
}

#ifndef _WIN32
// --- against Debian's par2 ----------------------------------------------------

const size_t Block = 1000;
// The files, each one slice: odd lengths, a single byte, a full block.
const size_t Lengths[] = {1000, 999, 537, 1, 333, 1000, 2, 998};
const unsigned FileCount = sizeof Lengths / sizeof *Lengths;

struct ToolCase {
    const char *Name;
    unsigned First, Count;            // par2 create -f<First> -c<Count>
    std::vector<unsigned> Lost;       // slices, in file ID order
    std::vector<uint32_t> Exponents;  // the blocks that rebuild them
};

const ToolCase ToolCases[] = {
    {"OneByXor", 0, 6, {3}, {0}},
    {"OneByExponent5", 0, 6, {0}, {5}},
    {"Two", 0, 6, {1, 6}, {2, 5}},
    {"Three", 0, 6, {0, 3, 7}, {4, 0, 1}},
    {"Four", 0, 6, {2, 3, 4, 5}, {1, 2, 3, 5}},
    {"FourFromExponent1000", 1000, 4, {7, 0, 1, 6}, {1000, 1001, 1002, 1003}},
};

void PrintTo(const ToolCase &c, std::ostream *out)
{
    *out << c.Name;
}

// Every recovery slice packet in the .par2 files of `folder`: exponent -> data.
std::map<uint32_t, Bytes> Par2Blocks(const std::string &folder)
{
    std::map<uint32_t, Bytes> blocks;
    DIR *dir = opendir(folder.c_str());
    for (struct dirent *e; dir && (e = readdir(dir));) {
        std::string name = e->d_name;
        if (name.size() < 5 || name.compare(name.size() - 5, 5, ".par2"))
            continue;
        Bytes f;
        FILE *file = fopen((folder + "/" + name).c_str(), "rb");
        for (int c; file && (c = getc(file)) != EOF;)
            f.push_back((unsigned char)c);
        if (file)
            fclose(file);
        for (size_t at = 0, length; at + 68 <= f.size(); at += length) {
            length = 0;
            for (int i = 7; i >= 0; i--)
                length = length << 8 | f[at + 8 + i];
            if (memcmp(&f[at], "PAR2\0PKT", 8) || length < 68 || length > f.size() - at)
                length = 4;
            else if (!memcmp(&f[at + 48], "PAR 2.0\0RecvSlic", 16))
                blocks[f[at + 64] | f[at + 65] << 8 | f[at + 66] << 16 | (uint32_t)f[at + 67] << 24]
                    .assign(f.begin() + at + 68, f.begin() + at + length);
        }
    }
    if (dir)
        closedir(dir);
    return blocks;
}

class RsDecodeTool : public Scratch, public ::testing::WithParamInterface<ToolCase> {};

TEST_P(RsDecodeTool, RebuildsTheSlicesDropped)
{
    const ToolCase &c = GetParam();
    std::string par2;
    NEED_TOOL(par2, "par2");
    // The files and their IDs: MD5 of (MD5 of the first 16 KiB, length, name).
    std::vector<Bytes> files;
    std::vector<std::pair<std::string, unsigned>> ids;  // reversed ID, file
    for (unsigned i = 0; i < FileCount; i++) {
        std::string name = "F" + std::to_string(i) + ".BIN";
        files.push_back(Noise(Lengths[i], 1000 + i));
        FILE *f = fopen(Path(name).c_str(), "wb");
        ASSERT_TRUE(f && fwrite(files[i].data(), 1, Lengths[i], f) == Lengths[i]);
        fclose(f);
        unsigned char head[MD5_DIGEST_SIZE], length[8], id[MD5_DIGEST_SIZE];
        Md5Digest(files[i].data(), Lengths[i], head);
        for (int b = 0; b < 8; b++)
            length[b] = (unsigned char)((uint64_t)Lengths[i] >> 8 * b);
        Md5Context m;
        Md5Begin(&m);
        Md5Update(&m, head, sizeof head);
        Md5Update(&m, length, sizeof length);
        Md5Update(&m, name.data(), name.size());
        Md5End(&m, id);
        // Ordered as 16-byte little-endian numbers: compare from the last byte.
        ids.push_back({std::string(id, id + MD5_DIGEST_SIZE), i});
        std::reverse(ids.back().first.begin(), ids.back().first.end());
    }
    std::sort(ids.begin(), ids.end());
    std::string command = "cd '" + folder_ + "' && " + par2 + " create -q -q -s" +
                          std::to_string(Block) + " -f" + std::to_string(c.First) + " -c" +
                          std::to_string(c.Count) + " SET.par2 F*.BIN >output.txt 2>&1";
    ASSERT_EQ(system(command.c_str()), 0) << command;
    std::map<uint32_t, Bytes> blocks = Par2Blocks(folder_);
    ASSERT_EQ(blocks.size(), c.Count);

    unsigned k = (unsigned)c.Lost.size();
    RsDecoder d;
    ASSERT_EQ(RsDecoderBegin(&d, c.Lost.data(), c.Exponents.data(), k), RS_OK);
    std::vector<Bytes> acc, rebuilt(k, Bytes(Block));
    for (uint32_t e : c.Exponents) {
        ASSERT_EQ(blocks[e].size(), Block) << "exponent " << e;
        acc.push_back(blocks[e]);
    }
    // The present slices taken out in pieces of 250 bytes (the last odd where
    // the file is), block after block.
    for (unsigned slice = 0; slice < FileCount; slice++) {
        if (std::count(c.Lost.begin(), c.Lost.end(), slice))
            continue;
        const Bytes &file = files[ids[slice].second];
        for (size_t at = 0; at < file.size(); at += 250)
            for (unsigned j = 0; j < k; j++)
                ASSERT_EQ(RsDecoderRemoveSlice(&d, j, slice, &file[at],
                                               std::min<size_t>(250, file.size() - at), &acc[j][at]),
                          RS_OK);
    }
    for (size_t at = 0; at < Block; at += 200) {
        std::vector<const unsigned char *> in;
        std::vector<unsigned char *> out;
        for (unsigned j = 0; j < k; j++) {
            in.push_back(&acc[j][at]);
            out.push_back(&rebuilt[j][at]);
        }
        ASSERT_EQ(RsDecodePiece(&d, in.data(), out.data(), 200), RS_OK);
    }
    RsDecoderEnd(&d);
    for (unsigned l = 0; l < k; l++) {
        Bytes expected = files[ids[c.Lost[l]].second];
        expected.resize(Block);  // the padding: zeros
        EXPECT_EQ(rebuilt[l], expected) << "slice " << c.Lost[l];
    }
}

INSTANTIATE_TEST_SUITE_P(Par2, RsDecodeTool, ::testing::ValuesIn(ToolCases),
                         [](const ::testing::TestParamInfo<ToolCase> &i) { return i.param.Name; });
#endif

} // namespace
