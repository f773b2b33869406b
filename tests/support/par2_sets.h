// Recovery data made in memory for the PAR2 tests: sample portion files, a
// plain bytewise CRC-32 (the program plugs in its fast one), and the
// writer's output collected into vectors.
#ifndef DORVANE_TESTS_PAR2_SETS_H
#define DORVANE_TESTS_PAR2_SETS_H

#include <gtest/gtest.h>

#include <stdio.h>

#include <algorithm>
#include <string>
#include <vector>

#include "recovery/par2.h"

namespace {

typedef std::vector<unsigned char> Bytes;

uint32_t BytewiseCrc(uint32_t crc, const void *data, size_t size)
{
    const unsigned char *p = (const unsigned char *)data;
    crc = ~crc;
    while (size--) {
        crc ^= *p++;
        for (int k = 0; k < 8; k++)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

int CollectBytes(void *context, const void *data, size_t size)
{
    Bytes *out = (Bytes *)context;
    out->insert(out->end(), (const unsigned char *)data, (const unsigned char *)data + size);
    return 0;
}

// `count` files named like portions, each `length` bytes but the last,
// which has `last`; bytes that differ from file to file.
std::vector<Bytes> SampleFiles(unsigned count, size_t length, size_t last)
{
    std::vector<Bytes> files(count);
    uint32_t x = 12345;
    for (unsigned i = 0; i < count; i++) {
        files[i].resize(i + 1 == count ? last : length);
        for (unsigned char &b : files[i]) {
            x = x * 1103515245 + 12345;
            b = (unsigned char)(x >> 16);
        }
    }
    return files;
}

std::string SampleName(unsigned i)
{
    char name[16];
    snprintf(name, sizeof name, "BIG.D%02u", i);
    return name;
}

// The index and recovery files for `files`, fed in pieces of `piece` bytes,
// each file's first bytes given ahead where there are several blocks.
struct MadeSet {
    Bytes Index, Recovery;
    std::vector<unsigned char> Blocks;
    Par2Writer Writer;
};

void MakeSet(MadeSet &set, const std::vector<Bytes> &files, unsigned blocks, size_t piece)
{
    uint64_t slice = 0;
    for (const Bytes &f : files)
        slice = f.size() > slice ? f.size() : slice;
    slice = Par2SliceSize(slice);
    set.Blocks.assign(slice * blocks, 0xEE);
    ASSERT_EQ(Par2WriterBegin(&set.Writer, slice, blocks, set.Blocks.data(), BytewiseCrc,
                              "Dorvane test"), PAR2_OK);
    for (unsigned i = 0; i < files.size(); i++)
        ASSERT_EQ(Par2WriterAddFile(&set.Writer, SampleName(i).c_str(), files[i].size()), PAR2_OK);
    for (unsigned i = 0; i < files.size() && blocks > 1; i++) {
        size_t head = std::min(files[i].size(), (size_t)PAR2_HEAD_SIZE);
        ASSERT_EQ(Par2WriterPrime(&set.Writer, i, files[i].data(), head), PAR2_OK);
    }
    for (unsigned i = 0; i < files.size(); i++)
        for (size_t at = 0; at < files[i].size(); at += piece) {
            size_t n = files[i].size() - at < piece ? files[i].size() - at : piece;
            ASSERT_EQ(Par2WriterFeed(&set.Writer, i, files[i].data() + at, n), PAR2_OK);
        }
    ASSERT_EQ(Par2WriterFinish(&set.Writer), PAR2_OK);
    ASSERT_EQ(Par2WriteIndex(&set.Writer, CollectBytes, &set.Index), PAR2_OK);
    ASSERT_EQ(Par2WriteRecovery(&set.Writer, CollectBytes, &set.Recovery), PAR2_OK);
}

// Feeds one file, in pieces of `piece` bytes, going back where the reader asks.
void FeedFile(Par2Reader &r, const Bytes &data, size_t piece)
{
    const uint64_t start = r.Offset;
    Par2ReadStart(&r, data.size());
    while (r.Offset - start < data.size()) {
        size_t at = (size_t)(r.Offset - start), n = std::min(piece, data.size() - at);
        Par2ReadFeed(&r, data.data() + at, n);
    }
}

// The reader's result for `data` fed in pieces of `piece` bytes.
int ReadSet(Par2Reader &r, const Bytes &data, size_t piece)
{
    Par2ReadBegin(&r);
    FeedFile(r, data, piece);
    return Par2ReadFinish(&r);
}

// The exponent-0 block in `recovery`, read whole.
Bytes BlockZero(const Par2Reader &r, const Bytes &recovery)
{
    for (unsigned i = 0; i < r.BlockCount; i++)
        if (r.Blocks[i].Exponent == 0)
            return Bytes(recovery.begin() + r.Blocks[i].Offset,
                         recovery.begin() + r.Blocks[i].Offset + r.Blocks[i].Length);
    ADD_FAILURE() << "no block of exponent 0";
    return Bytes();
}

// File `lost` rebuilt from the exponent-0 block in `recovery` and the others,
// cut to the length its description gives.
Bytes Rebuild(const Par2Reader &r, const Bytes &recovery, const std::vector<Bytes> &files,
              unsigned lost)
{
    Bytes acc = BlockZero(r, recovery);
    for (unsigned i = 0; i < files.size(); i++)
        if (i != lost)
            Par2Xor(acc.data(), files[i].data(), files[i].size());
    for (unsigned i = 0; i < r.FileCount; i++)
        if (SampleName(lost) == r.Files[i].Name)
            acc.resize(r.Files[i].Length);
    return acc;
}

} // namespace

#endif
