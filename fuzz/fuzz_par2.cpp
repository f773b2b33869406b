// Fuzz target: the joiners' PAR2 reader on hostile files. With the first
// byte's top bit set, every packet found gets its set ID and MD5 made right
// first, so that packets with valid digests but hostile bodies get through
// to the parsing behind the check. The properties: pieces of any size read
// as the whole does, and what a successful read reports lies within the
// input and is well formed.
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

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    std::vector<unsigned char> d(data + 1, data + size);
    size_t piece = 1 + (data[0] & 0x7F) * 37;
    if (data[0] & 0x80)
        MakeDigestsRight(d);

    Par2ReadBegin(&Whole);
    Par2ReadFeed(&Whole, d.data(), d.size());
    int result = Par2ReadFinish(&Whole);
    Par2ReadBegin(&Pieces);
    for (size_t at = 0; at < d.size(); at += piece)
        Par2ReadFeed(&Pieces, d.data() + at, d.size() - at < piece ? d.size() - at : piece);
    REQUIRE(Par2ReadFinish(&Pieces) == result);
    REQUIRE(Whole.Offset == d.size() && Pieces.Offset == d.size());
    REQUIRE(Whole.FileCount == Pieces.FileCount);
    for (unsigned i = 0; i < Whole.FileCount; i++) {
        const Par2ReadFile &a = Whole.Files[i], &b = Pieces.Files[i];
        REQUIRE(!memcmp(a.Id, b.Id, MD5_DIGEST_SIZE) && !strcmp(a.Name, b.Name) &&
                a.Length == b.Length && a.Described == b.Described && a.Checked == b.Checked);
    }

    REQUIRE(Whole.FileCount <= PAR2_MAX_FILES);
    if (result != PAR2_OK)
        return 0;
    REQUIRE(Whole.RecoveryOffset >= 68 && Whole.RecoveryOffset <= d.size());
    REQUIRE(Whole.RecoveryLength == Whole.SliceSize);
    REQUIRE(Whole.RecoveryLength <= d.size() - Whole.RecoveryOffset);
    REQUIRE(!memcmp(&d[Whole.RecoveryOffset - 68], Par2Magic, 8));
    REQUIRE(Pieces.RecoveryOffset == Whole.RecoveryOffset);
    for (unsigned i = 0; i < Whole.FileCount; i++) {
        size_t n = strnlen(Whole.Files[i].Name, PAR2_NAME_SIZE);
        REQUIRE(n > 0 && n < PAR2_NAME_SIZE);
        REQUIRE(Whole.Files[i].Length <= Whole.SliceSize);
        REQUIRE(!memcmp(Whole.Files[i].Id, Whole.MainIds[i], MD5_DIGEST_SIZE));
    }
    return 0;
}
