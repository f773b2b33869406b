// How fast the recovery data writer runs: 256 MiB in 100 portion files held
// in memory, fed in 1 MiB pieces, one block (and three for comparison),
// the output counted but not stored, the program's CRC-32 plugged in
// (carry-less multiplication where the processor has it). Prints MB/s (10^6 bytes per second) for
// the writer and for its parts alone. Not a test: build it in a Release
// tree (cmake -DCMAKE_BUILD_TYPE=Release) and run it on a quiet machine.
//   par2_bench [MiB]
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <vector>

#include "integrity/crc32.h"
#include "recovery/par2.h"

static uint64_t Counted;
static int Count(void *, const void *, size_t size)
{
    Counted += size;
    return 0;
}

static double Now()
{
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

static Par2Writer Writer;

int main(int argc, char **argv)
{
    const size_t total = (size_t)(argc > 1 ? atoi(argv[1]) : 256) << 20, piece = 1 << 20;
    const unsigned files = 100;
    const size_t portion = (total + files - 1) / files;
    std::vector<unsigned char> data(total);
    uint32_t x = 1;
    for (size_t i = 0; i < total; i++) {
        x = x * 1103515245 + 12345;
        data[i] = (unsigned char)(x >> 16);
    }
    Crc32Setup();
    printf("%zu MiB in %u files of %zu bytes, pieces of %zu\n", total >> 20, files, portion, piece);

    double t = Now();
    Md5Context m;
    unsigned char digest[MD5_DIGEST_SIZE];
    Md5Begin(&m);
    Md5Update(&m, data.data(), total);
    Md5End(&m, digest);
    printf("MD5 alone:     %7.0f MB/s\n", total / (Now() - t) / 1e6);
    t = Now();
    volatile uint32_t crc = Crc32Update(0, data.data(), total);
    (void)crc;
    printf("CRC-32 alone:  %7.0f MB/s\n", total / (Now() - t) / 1e6);
    std::vector<unsigned char> acc(portion);
    t = Now();
    for (size_t at = 0; at < total; at += portion)
        Par2Xor(acc.data(), data.data() + at, total - at < portion ? total - at : portion);
    printf("XOR alone:     %7.0f MB/s\n", total / (Now() - t) / 1e6);

    for (unsigned blocks : {1u, 3u}) {
        uint64_t slice = Par2SliceSize(portion);
        std::vector<unsigned char> memory(slice * blocks);
        t = Now();
        Par2WriterBegin(&Writer, slice, blocks, memory.data(), Crc32Update, "Dorvane bench");
        for (unsigned f = 0; f < files; f++) {
            char name[16];
            size_t at = f * portion, length = total - at < portion ? total - at : portion;
            snprintf(name, sizeof name, "BIG.D%02u", f);
            Par2WriterAddFile(&Writer, name, length);
            if (blocks > 1)
                Par2WriterPrime(&Writer, f, data.data() + at, 16384);
        }
        for (unsigned f = 0; f < files; f++) {
            size_t at = f * portion, length = total - at < portion ? total - at : portion;
            for (size_t done = 0; done < length; done += piece)
                if (Par2WriterFeed(&Writer, f, data.data() + at + done,
                                   length - done < piece ? length - done : piece)) {
                    fprintf(stderr, "feed failed\n");
                    return 1;
                }
        }
        double fed = Now();
        Counted = 0;
        if (Par2WriterFinish(&Writer) || Par2WriteIndex(&Writer, Count, 0) ||
            Par2WriteRecovery(&Writer, Count, 0)) {
            fprintf(stderr, "writer failed\n");
            return 1;
        }
        double end = Now();
        printf("writer, %u block%s: %7.0f MB/s (feeding %.3f s, finishing and writing %.3f s, "
               "%.1f MiB written, %.1f MiB of blocks)\n",
               blocks, blocks > 1 ? "s" : " ", total / (end - t) / 1e6, fed - t, end - fed,
               Counted / 1048576.0, memory.size() / 1048576.0);
    }
    return 0;
}
