// MD5: the test suite of RFC 1321, each message also fed in uneven pieces;
// several streams at once in the lanes of a vector, against each alone.
#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <string>

#include "recovery/md5.h"
#include "recovery/write/md5_lanes.h"

namespace {

struct Vector {
    const char *Message;
    const char *Digest;
};

const Vector Vectors[] = {
    {"", "d41d8cd98f00b204e9800998ecf8427e"},
    {"a", "0cc175b9c0f1b6a831c399e269772661"},
    {"abc", "900150983cd24fb0d6963f7d28e17f72"},
    {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
    {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
    {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
     "d174ab98d277d9f5a5611c2c9f419d9f"},
    {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
     "57edf4a22be3c955ac49da2e2107b67a"},
};

std::string Hex(const unsigned char *digest)
{
    char text[2 * MD5_DIGEST_SIZE + 1];
    for (int i = 0; i < MD5_DIGEST_SIZE; i++)
        snprintf(text + 2 * i, 3, "%02x", digest[i]);
    return text;
}

TEST(Md5, Rfc1321Vectors)
{
    for (const Vector &v : Vectors) {
        unsigned char digest[MD5_DIGEST_SIZE];
        Md5Digest(v.Message, strlen(v.Message), digest);
        EXPECT_EQ(Hex(digest), v.Digest) << '"' << v.Message << '"';
    }
}

// The last vector 40 times (its digest from Python's hashlib), in pieces of
// 1, 3, 7 ... bytes that cross the block boundaries at every offset.
TEST(Md5, PiecesGiveTheWholeDigest)
{
    std::string message;
    for (int i = 0; i < 40; i++)
        message += Vectors[6].Message;
    for (size_t step = 1; step < 5000; step = 2 * step + 1) {
        Md5Context c;
        unsigned char digest[MD5_DIGEST_SIZE];
        Md5Begin(&c);
        for (size_t at = 0; at < message.size(); at += step)
            Md5Update(&c, message.data() + at, std::min(step, message.size() - at));
        Md5End(&c, digest);
        EXPECT_EQ(Hex(digest), "269f224ae797bee8d9ec4d597b07a584") << "pieces of " << step;
    }
}

// Every lane count the processor has (and the plain form where it has none),
// streams already some blocks in, then fed lane steps of several sizes.
TEST(Md5Lanes, EachLaneAsItsStreamAlone)
{
    const unsigned most = std::max(2u, Md5LaneCount());
    for (unsigned count = 2; count <= most; count++) {
        std::string streams[MD5_MAX_LANES];
        Md5Context lanes[MD5_MAX_LANES], alone[MD5_MAX_LANES];
        Md5Context *contexts[MD5_MAX_LANES];
        for (unsigned i = 0; i < count; i++) {
            for (size_t n = 0; n < 64 * (3 + 300 + 5 + 1024); n++)
                streams[i] += (char)((n * (2 * i + 7) + n / 97 + i) & 0xff);
            Md5Begin(&lanes[i]);
            Md5Update(&lanes[i], streams[i].data(), 64 * (i + 1));
            contexts[i] = &lanes[i];
        }
        size_t at[MD5_MAX_LANES];
        for (unsigned i = 0; i < count; i++)
            at[i] = 64 * (i + 1);
        for (size_t step : {64 * 3, 64 * 300, 64 * 5}) {
            const unsigned char *data[MD5_MAX_LANES];
            for (unsigned i = 0; i < count; i++)
                data[i] = (const unsigned char *)streams[i].data() + at[i];
            Md5UpdateLanes(contexts, data, count, step);
            for (unsigned i = 0; i < count; i++)
                at[i] += step;
        }
        for (unsigned i = 0; i < count; i++) {
            unsigned char got[MD5_DIGEST_SIZE], want[MD5_DIGEST_SIZE];
            Md5Begin(&alone[i]);
            Md5Update(&alone[i], streams[i].data(), at[i]);
            Md5End(&lanes[i], got);
            Md5End(&alone[i], want);
            EXPECT_EQ(Hex(got), Hex(want)) << count << " lanes, lane " << i;
        }
    }
}

} // namespace
