// For the fuzz targets that read recovery data: packets whose set ID and
// MD5 are made right, so that hostile bodies get past the digest check to
// the parsing behind it.
#ifndef DORVANE_FUZZ_PAR2_DIGESTS_H
#define DORVANE_FUZZ_PAR2_DIGESTS_H

#include <stdint.h>
#include <string.h>

#include <vector>

#include "recovery/par2.h"

static uint64_t Get64(const unsigned char *p)
{
    uint64_t v = 0;
    for (int i = 7; i >= 0; i--)
        v = v << 8 | p[i];
    return v;
}

// Visits each packet whose length fits, as a reader that trusts it would.
template <typename Visit> static void EachPacket(std::vector<unsigned char> &d, Visit visit)
{
    for (size_t at = 0; at + 64 <= d.size();) {
        uint64_t length = Get64(&d[at + 8]);
        if (memcmp(&d[at], Par2Magic, 8) || length < 64 || length % 4 || length > d.size() - at) {
            at++;
            continue;
        }
        visit(&d[at], (size_t)length);
        at += (size_t)length;
    }
}

static void MakeDigestsRight(std::vector<unsigned char> &d)
{
    unsigned char set[MD5_DIGEST_SIZE] = {0};
    bool found = false;
    EachPacket(d, [&](unsigned char *p, size_t length) {
        if (!found && !memcmp(p + 48, Par2TypeMain, 16)) {
            Md5Digest(p + 64, length - 64, set);
            found = true;
        }
    });
    EachPacket(d, [&](unsigned char *p, size_t length) {
        memcpy(p + 32, set, MD5_DIGEST_SIZE);
        Md5Digest(p + 32, length - 32, p + 16);
    });
}

#endif
