// Fuzz target: the joiners' repair on hostile recovery data and portions,
// on the real Linux layer. An input is
//   one byte: the top bit makes every packet's set ID and MD5 right first
//     (par2_digests.h); the rest picks the rebuild's piece size;
//   one byte: which files are rebuilt together (bit i: the set's file i);
//   two bytes (little-endian) of length and that many bytes: BIG.DAT.par2;
//   up to six portion files BIG.D00 to BIG.D05, each the same way.
// The properties: no read or write outside its buffer (the sanitizers);
// a block, once found, lies inside the files read; the sink gets each
// file's bytes in order, in pieces of at most the piece size, never more
// than the file's length, all of them on success; what the set can rebuild
// is what the rebuild does; and no descriptor is left open.
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "recovery/repair.h"
#include "par2_digests.h"
#include "remove_tree.h"

#define REQUIRE(condition) \
    do {                    \
        if (!(condition))   \
            __builtin_trap(); \
    } while (0)

static char Folder[256];
static RepairSet Set;
static unsigned char Buffer[PAR2_HEAD_SIZE];

struct Taken {
    uint64_t Bytes[PAR2_MAX_FILES];
    uint32_t Piece;
};

static int Take(void *context, unsigned which, uint64_t offset, const void *, size_t size)
{
    Taken *t = (Taken *)context;
    REQUIRE(which < PAR2_MAX_FILES && size > 0 && size <= t->Piece && offset == t->Bytes[which]);
    t->Bytes[which] += size;
    return 0;
}

static void Store(const char *name, const unsigned char *data, size_t size)
{
    char path[512];
    snprintf(path, sizeof path, "%s%s", Folder, name);
    FILE *f = fopen(path, "wb");
    REQUIRE(f && fwrite(data, 1, size, f) == size && fclose(f) == 0);
}

// The next length-prefixed piece of the input, or false at its end.
static bool Next(const uint8_t *&data, size_t &size, std::vector<unsigned char> &out)
{
    if (size < 2)
        return false;
    size_t length = data[0] | (size_t)data[1] << 8;
    length = length < size - 2 ? length : size - 2;
    out.assign(data + 2, data + 2 + length);
    data += 2 + length;
    size -= 2 + length;
    return true;
}

static int LowestFree(void)
{
    int fd = open("/dev/null", O_RDONLY);
    close(fd);
    return fd;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    if (!Folder[0]) {
        const char *root = getenv("TMPDIR");
        snprintf(Folder, sizeof Folder - 1, "%s/kelmorix-repair-XXXXXX", root ? root : "/tmp");
        REQUIRE(mkdtemp(Folder));
        atexit([] { RemoveTree(Folder); });
        strcat(Folder, "/");
    }
    if (size < 2)
        return 0;
    uint32_t piece = 4 + (data[0] & 0x7F) * 40;
    bool fix = data[0] & 0x80;
    unsigned pick = data[1];
    data += 2, size -= 2;

    std::vector<unsigned char> index, portion;
    char name[] = "BIG.D00";
    Next(data, size, index);
    if (fix)
        MakeDigestsRight(index);
    Store("BIG.DAT.par2", index.data(), index.size());
    for (unsigned i = 0; i < 6; i++) {
        name[6] = (char)('0' + i);
        if (Next(data, size, portion))
            Store(name, portion.data(), portion.size());
        else
            unlink((std::string(Folder) + name).c_str());
    }

    int before = LowestFree();
    int result = RepairOpen(&Set, Folder, "", Buffer, sizeof Buffer, NULL, NULL);
    REQUIRE(result == REPAIR_OK || result == REPAIR_NONE || result == REPAIR_UNSUPPORTED);
    if (result == REPAIR_OK) {
        const Par2Reader &r = Set.Reader;
        REQUIRE(Set.Blocks == r.BlockCount && r.FileCount <= PAR2_MAX_FILES);
        for (unsigned j = 0; j < r.BlockCount; j++)
            REQUIRE(r.Blocks[j].Offset + r.SliceSize <= index.size());
        unsigned lost[8], count = 0;
        for (unsigned i = 0; i < r.FileCount && i < 8; i++)
            if (pick >> i & 1)
                lost[count++] = i;
        Taken taken = {{0}, piece};
        int spare, can = RepairAssess(&Set, lost, count, &spare);
        Set.Piece = piece;
        result = RepairRebuild(&Set, lost, count, Take, &taken);
        REQUIRE(can == REPAIR_OK || result == can);
        for (unsigned l = 0; l < count; l++) {
            REQUIRE(taken.Bytes[l] <= r.Files[lost[l]].Length);
            REQUIRE(result != REPAIR_OK || taken.Bytes[l] == r.Files[lost[l]].Length);
        }
    }
    REQUIRE(LowestFree() == before);
    return 0;
}
