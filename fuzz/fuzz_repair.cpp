// Fuzz target: the joiners' repair on hostile recovery data and portions,
// on the real Linux layer. An input is
//   one byte: the top bit makes every packet's set ID and MD5 right first
//     (par2_digests.h); the rest picks the rebuild's buffer size;
//   two bytes (little-endian) of length and that many bytes: BIG.DAT.par2;
//   up to six portion files BIG.D00 to BIG.D05, each the same way.
// The properties: no read or write outside its buffer (the sanitizers);
// a block's place, once found, lies inside the file; the sink gets pieces
// of at most half the buffer and never more bytes than the file's length,
// all of them on success; and no descriptor is left open.
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
static unsigned char Buffer[2 + 127 * 41];

struct Taken {
    uint64_t Bytes;
    uint32_t Piece;
};

static int Take(void *context, const void *, size_t size)
{
    Taken *t = (Taken *)context;
    REQUIRE(size > 0 && size <= t->Piece);
    t->Bytes += size;
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
    uint32_t buffer = 2 + (data[0] & 0x7F) * 41;
    bool fix = data[0] & 0x80;
    data++, size--;

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
    int result = RepairOpen(&Set, Folder, "BIG.DAT", Buffer, sizeof Buffer);
    REQUIRE(result == REPAIR_OK || result == REPAIR_NONE || result == REPAIR_DAMAGED ||
            result == REPAIR_UNSUPPORTED);
    if (result == REPAIR_OK) {
        REQUIRE(Set.Blocks <= 32 && Set.Reader.FileCount <= PAR2_MAX_FILES);
        if (Set.BlockName[0])
            REQUIRE(Set.BlockOffset + Set.Reader.SliceSize <= index.size());
        for (unsigned i = 0; i < Set.Reader.FileCount; i++) {
            Taken taken = {0, buffer / 2};
            if (RepairRebuild(&Set, Set.Reader.Files[i].Name, Buffer, buffer, Take, &taken) ==
                REPAIR_OK)
                REQUIRE(taken.Bytes == Set.Reader.Files[RepairFind(&Set, Set.Reader.Files[i].Name)]
                                           .Length);
            REQUIRE(taken.Bytes <= Set.Reader.SliceSize);
        }
    }
    REQUIRE(LowestFree() == before);
    return 0;
}
