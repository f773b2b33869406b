// MD5 (RFC 1321): the 64 steps written out (md5_steps.h), so that the
// compiler keeps the four state words in registers (some 750 MB/s on one
// core here); with MD5_SMALL (KELMORIX.EXE) the steps run in a loop, some
// 1.5 KiB smaller.
#include "md5.h"
#include "md5_steps.h"

#include <string.h>

static uint32_t Load32(const unsigned char *p)
{
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

#ifdef MD5_SMALL
// The small form, for KELMORIX.EXE: the steps in a loop over their table.
static const uint32_t StepConstants[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee,
    0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be,
    0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa,
    0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed,
    0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c,
    0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05,
    0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039,
    0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1,
    0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391,
};
static const unsigned char Shifts[16] = {7, 12, 17, 22, 5, 9, 14, 20, 4, 11, 16, 23, 6, 10, 15, 21};

static void Md5Blocks(uint32_t state[4], const unsigned char *p, size_t blocks)
{
    for (; blocks; blocks--, p += 64) {
        uint32_t a = state[0], b = state[1], c = state[2], d = state[3], f, t;
        for (unsigned i = 0; i < 64; i++) {
            unsigned round = i / 16, s = Shifts[round * 4 + i % 4];
            if (round == 0)
                f = (b & c) | (~b & d), t = i;
            else if (round == 1)
                f = (d & b) | (~d & c), t = 5 * i + 1;
            else if (round == 2)
                f = b ^ c ^ d, t = 3 * i + 5;
            else
                f = c ^ (b | ~d), t = 7 * i;
            f += a + StepConstants[i] + Load32(p + 4 * (t % 16));
            a = d;
            d = c;
            c = b;
            b += (f << s) | (f >> (32 - s));
        }
        state[0] += a;
        state[1] += b;
        state[2] += c;
        state[3] += d;
    }
}
#else
// Each step adds first what does not wait for b, the word just computed, so
// that the work overlaps the previous step's latency.
#define MD5_F(a, b, c, d) (a += (((c) ^ (d)) & (b)) ^ (d))
#define MD5_G(a, b, c, d) (a += (c) & ~(d), a += (b) & (d))
#define MD5_H(a, b, c, d) (a += ((c) ^ (d)) ^ (b))
#define MD5_I(a, b, c, d) (a += (c) ^ ((b) | ~(d)))
#define MD5_STEP(f, a, b, c, d, k, t, s)             \
    {                                                \
        a += w[k] + (uint32_t)(t);                   \
        MD5_##f(a, b, c, d);                         \
        a = ((a << (s)) | (a >> (32 - (s)))) + b;    \
    }

static void Md5Blocks(uint32_t state[4], const unsigned char *p, size_t blocks)
{
    uint32_t w[16];
    for (; blocks; blocks--, p += 64) {
        uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
        for (int i = 0; i < 16; i++)
            w[i] = Load32(p + 4 * i);

        MD5_BLOCK_STEPS(MD5_STEP)

        state[0] += a;
        state[1] += b;
        state[2] += c;
        state[3] += d;
    }
}
#endif

void Md5Begin(Md5Context *c)
{
    c->State[0] = 0x67452301;
    c->State[1] = 0xefcdab89;
    c->State[2] = 0x98badcfe;
    c->State[3] = 0x10325476;
    c->Length = 0;
}

void Md5Update(Md5Context *c, const void *data, size_t size)
{
    const unsigned char *p = (const unsigned char *)data;
    size_t fill = (size_t)(c->Length & 63);
    c->Length += size;
    if (fill) {
        size_t take = 64 - fill < size ? 64 - fill : size;
        memcpy(c->Buffer + fill, p, take);
        p += take;
        size -= take;
        if (fill + take < 64)
            return;
        Md5Blocks(c->State, c->Buffer, 1);
    }
    Md5Blocks(c->State, p, size / 64);
    p += size & ~(size_t)63;
    memcpy(c->Buffer, p, size & 63);
}

void Md5End(Md5Context *c, unsigned char digest[MD5_DIGEST_SIZE])
{
    static const unsigned char Pad[64] = {0x80};
    unsigned char bits[8];
    uint64_t length = c->Length;
    size_t fill = (size_t)(length & 63);

    for (int i = 0; i < 8; i++)
        bits[i] = (unsigned char)(length << 3 >> (8 * i));
    Md5Update(c, Pad, fill < 56 ? 56 - fill : 120 - fill);
    Md5Update(c, bits, 8);
    for (int i = 0; i < 16; i++)
        digest[i] = (unsigned char)(c->State[i / 4] >> (8 * (i % 4)));
}

void Md5Digest(const void *data, size_t size, unsigned char digest[MD5_DIGEST_SIZE])
{
    Md5Context c;
    Md5Begin(&c);
    Md5Update(&c, data, size);
    Md5End(&c, digest);
}
