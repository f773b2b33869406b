// Fuzz target: the joiners' PAR2 reader on hostile files. With the first
// byte's top bit set, every packet found gets its set ID and MD5 made right
// first, so that packets with valid digests but hostile bodies get through
// to the parsing behind the check. The properties: pieces of any size read
// as the whole does (the reader's steps back included); what a successful
// read reports lies within the input and is well formed; and the reader
// finds every intact packet that no intact packet before it holds, as a
// search of every offset does: no damaged packet, whatever its length
// says, hides one that follows.
#include <stdint.h>
#include <string.h>

#include <vector>

#include "recovery/par2.h"
#include "par2_digests.h"

#define REQUIRE(condition) \
    do {                    \
        if (!(condition))   \
            __builtin_trap(); \
    } while (0)

static Par2Reader Whole, Pieces;

// Feeds d as one file in pieces of `piece`, going back where the reader asks.
static int Read(Par2Reader *r, const std::vector<unsigned char> &d, size_t piece)
{
    Par2ReadBegin(r);
    Par2ReadStart(r, d.size());
    while (r->Offset < d.size()) {
        size_t at = (size_t)r->Offset, n = d.size() - at < piece ? d.size() - at : piece;
        Par2ReadFeed(r, d.data() + at, n);
        REQUIRE(r->Offset > at || r->Offset < at);
    }
    return Par2ReadFinish(r);
}

// The intact packets a search of every offset finds, each search going on
// after the packet found.
static unsigned IntactPackets(const std::vector<unsigned char> &d)
{
    unsigned char digest[MD5_DIGEST_SIZE];
    unsigned count = 0;
    for (size_t at = 0; at + 64 <= d.size(); at++) {
        uint64_t length = Get64(&d[at + 8]);
        if (memcmp(&d[at], Par2Magic, 8) || length < 64 || length % 4 || length > d.size() - at)
            continue;
        Md5Digest(&d[at + 32], (size_t)length - 32, digest);
        if (!memcmp(digest, &d[at + 16], MD5_DIGEST_SIZE)) {
            count++;
            at += (size_t)length - 1;
        }
    }
    return count;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    std::vector<unsigned char> d(data + 1, data + size);
    size_t piece = 1 + (data[0] & 0x7F) * 37;
    if (data[0] & 0x80)
        MakeDigestsRight(d);

    int result = Read(&Whole, d, d.size());
    REQUIRE(Read(&Pieces, d, piece) == result);
    REQUIRE(Whole.Packets == IntactPackets(d) && Pieces.Packets == Whole.Packets);
    REQUIRE(Whole.FileCount == Pieces.FileCount && Whole.BlockCount == Pieces.BlockCount);
    for (unsigned i = 0; i < Whole.FileCount; i++) {
        const Par2ReadFile &a = Whole.Files[i], &b = Pieces.Files[i];
        REQUIRE(!memcmp(a.Id, b.Id, MD5_DIGEST_SIZE) && !strcmp(a.Name, b.Name) &&
                a.Length == b.Length && a.Described == b.Described && a.Checked == b.Checked);
    }
    REQUIRE(Whole.FileCount <= PAR2_MAX_FILES && Whole.BlockCount <= PAR2_MAX_BLOCKS);
    for (unsigned i = 0; i < Whole.BlockCount; i++) {
        const Par2ReadBlock &b = Whole.Blocks[i];
        REQUIRE(b.Offset >= 68 && b.Length == Whole.SliceSize && b.Length <= d.size() - b.Offset);
        REQUIRE(!memcmp(&d[b.Offset - 68], Par2Magic, 8));
        REQUIRE(b.Offset == Pieces.Blocks[i].Offset && b.Exponent == Pieces.Blocks[i].Exponent);
    }
    if (result != PAR2_OK && result != PAR2_NO_RECOVERY)
        return 0;
    for (unsigned i = 0; i < Whole.FileCount; i++) {
        size_t n = strnlen(Whole.Files[i].Name, PAR2_NAME_SIZE);
        REQUIRE(n > 0 && n < PAR2_NAME_SIZE);
        REQUIRE(Whole.Files[i].Length <= Whole.SliceSize);
        REQUIRE(!memcmp(Whole.Files[i].Id, Whole.MainIds[i], MD5_DIGEST_SIZE));
    }
    return 0;
}
