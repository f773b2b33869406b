// MD5 of several streams at once (md5_lanes.h). In this file: the words of
// four streams' blocks turned into vectors of lanes; the 64 steps on such
// vectors (one body, written with the compiler's vector types, for 4 and
// for 8 lanes); the SSE2 and AVX2 forms; the choice by the processor.
#include "md5_lanes.h"

#include <string.h>

#if defined(__GNUC__) && (defined(__i386__) || defined(__x86_64__))
#define MD5_LANES_X86 1
#include <immintrin.h>
#endif

#ifdef MD5_LANES_X86

typedef uint32_t Lanes4 __attribute__((vector_size(16)));
typedef uint32_t Lanes8 __attribute__((vector_size(32)));

// Everything below runs inside the two forms at the end, which give it the
// instructions it may use.
#define LANES_INLINE static inline __attribute__((always_inline, target("sse2")))

// Words 4j to 4j + 3 of four streams' block, one stream to a lane: word k
// of stream i lands in lane i of w[k].
LANES_INLINE void Transpose4(const unsigned char *const p[4], size_t at, Lanes4 w[16])
{
    for (unsigned j = 0; j < 4; j++) {
        __m128i x0 = _mm_loadu_si128((const __m128i *)(p[0] + at + 16 * j));
        __m128i x1 = _mm_loadu_si128((const __m128i *)(p[1] + at + 16 * j));
        __m128i x2 = _mm_loadu_si128((const __m128i *)(p[2] + at + 16 * j));
        __m128i x3 = _mm_loadu_si128((const __m128i *)(p[3] + at + 16 * j));
        __m128i t0 = _mm_unpacklo_epi32(x0, x1), t1 = _mm_unpacklo_epi32(x2, x3);
        __m128i t2 = _mm_unpackhi_epi32(x0, x1), t3 = _mm_unpackhi_epi32(x2, x3);
        w[4 * j + 0] = (Lanes4)_mm_unpacklo_epi64(t0, t1);
        w[4 * j + 1] = (Lanes4)_mm_unpackhi_epi64(t0, t1);
        w[4 * j + 2] = (Lanes4)_mm_unpacklo_epi64(t2, t3);
        w[4 * j + 3] = (Lanes4)_mm_unpackhi_epi64(t2, t3);
    }
}

// The block's words for 4 or 8 lanes (8: two fours side by side).
LANES_INLINE void Words(const unsigned char *const p[], size_t at, Lanes4 w[16])
{
    Transpose4(p, at, w);
}

LANES_INLINE void Words(const unsigned char *const p[], size_t at, Lanes8 w[16])
{
    Lanes4 low[16], high[16];
    Transpose4(p, at, low);
    Transpose4(p + 4, at, high);
    for (unsigned k = 0; k < 16; k++) {
        memcpy(&w[k], &low[k], sizeof low[k]);
        memcpy((unsigned char *)&w[k] + sizeof low[k], &high[k], sizeof high[k]);
    }
}

// The steps as md5.cpp's fast form takes them, on every lane at once.
#define LANE_F(b, c, d) ((((c) ^ (d)) & (b)) ^ (d))
#define LANE_G(b, c, d) (((c) & ~(d)) + ((b) & (d)))
#define LANE_H(b, c, d) ((b) ^ (c) ^ (d))
#define LANE_I(b, c, d) ((c) ^ ((b) | ~(d)))
#define LANE_STEP(f, a, b, c, d, k, t, s)         \
    do {                                          \
        a += w[k] + (uint32_t)(t);                \
        a += f(b, c, d);                          \
        a = ((a << (s)) | (a >> (32 - (s)))) + b; \
    } while (0)

template <typename V, unsigned N>
LANES_INLINE void LaneBlocks(uint32_t *const state[], const unsigned char *const p[],
                             size_t blocks)
{
    V a, b, c, d, w[16];

    for (unsigned i = 0; i < N; i++) {
        a[i] = state[i][0];
        b[i] = state[i][1];
        c[i] = state[i][2];
        d[i] = state[i][3];
    }
    for (size_t at = 0; blocks; blocks--, at += 64) {
        V a0 = a, b0 = b, c0 = c, d0 = d;
        Words(p, at, w);

        LANE_STEP(LANE_F, a, b, c, d, 0, 0xd76aa478, 7);
        LANE_STEP(LANE_F, d, a, b, c, 1, 0xe8c7b756, 12);
        LANE_STEP(LANE_F, c, d, a, b, 2, 0x242070db, 17);
        LANE_STEP(LANE_F, b, c, d, a, 3, 0xc1bdceee, 22);
        LANE_STEP(LANE_F, a, b, c, d, 4, 0xf57c0faf, 7);
        LANE_STEP(LANE_F, d, a, b, c, 5, 0x4787c62a, 12);
        LANE_STEP(LANE_F, c, d, a, b, 6, 0xa8304613, 17);
        LANE_STEP(LANE_F, b, c, d, a, 7, 0xfd469501, 22);
        LANE_STEP(LANE_F, a, b, c, d, 8, 0x698098d8, 7);
        LANE_STEP(LANE_F, d, a, b, c, 9, 0x8b44f7af, 12);
        LANE_STEP(LANE_F, c, d, a, b, 10, 0xffff5bb1, 17);
        LANE_STEP(LANE_F, b, c, d, a, 11, 0x895cd7be, 22);
        LANE_STEP(LANE_F, a, b, c, d, 12, 0x6b901122, 7);
        LANE_STEP(LANE_F, d, a, b, c, 13, 0xfd987193, 12);
        LANE_STEP(LANE_F, c, d, a, b, 14, 0xa679438e, 17);
        LANE_STEP(LANE_F, b, c, d, a, 15, 0x49b40821, 22);

        LANE_STEP(LANE_G, a, b, c, d, 1, 0xf61e2562, 5);
        LANE_STEP(LANE_G, d, a, b, c, 6, 0xc040b340, 9);
        LANE_STEP(LANE_G, c, d, a, b, 11, 0x265e5a51, 14);
        LANE_STEP(LANE_G, b, c, d, a, 0, 0xe9b6c7aa, 20);
        LANE_STEP(LANE_G, a, b, c, d, 5, 0xd62f105d, 5);
        LANE_STEP(LANE_G, d, a, b, c, 10, 0x02441453, 9);
        LANE_STEP(LANE_G, c, d, a, b, 15, 0xd8a1e681, 14);
        LANE_STEP(LANE_G, b, c, d, a, 4, 0xe7d3fbc8, 20);
        LANE_STEP(LANE_G, a, b, c, d, 9, 0x21e1cde6, 5);
        LANE_STEP(LANE_G, d, a, b, c, 14, 0xc33707d6, 9);
        LANE_STEP(LANE_G, c, d, a, b, 3, 0xf4d50d87, 14);
        LANE_STEP(LANE_G, b, c, d, a, 8, 0x455a14ed, 20);
        LANE_STEP(LANE_G, a, b, c, d, 13, 0xa9e3e905, 5);
        LANE_STEP(LANE_G, d, a, b, c, 2, 0xfcefa3f8, 9);
        LANE_STEP(LANE_G, c, d, a, b, 7, 0x676f02d9, 14);
        LANE_STEP(LANE_G, b, c, d, a, 12, 0x8d2a4c8a, 20);

        LANE_STEP(LANE_H, a, b, c, d, 5, 0xfffa3942, 4);
        LANE_STEP(LANE_H, d, a, b, c, 8, 0x8771f681, 11);
        LANE_STEP(LANE_H, c, d, a, b, 11, 0x6d9d6122, 16);
        LANE_STEP(LANE_H, b, c, d, a, 14, 0xfde5380c, 23);
        LANE_STEP(LANE_H, a, b, c, d, 1, 0xa4beea44, 4);
        LANE_STEP(LANE_H, d, a, b, c, 4, 0x4bdecfa9, 11);
        LANE_STEP(LANE_H, c, d, a, b, 7, 0xf6bb4b60, 16);
        LANE_STEP(LANE_H, b, c, d, a, 10, 0xbebfbc70, 23);
        LANE_STEP(LANE_H, a, b, c, d, 13, 0x289b7ec6, 4);
        LANE_STEP(LANE_H, d, a, b, c, 0, 0xeaa127fa, 11);
        LANE_STEP(LANE_H, c, d, a, b, 3, 0xd4ef3085, 16);
        LANE_STEP(LANE_H, b, c, d, a, 6, 0x04881d05, 23);
        LANE_STEP(LANE_H, a, b, c, d, 9, 0xd9d4d039, 4);
        LANE_STEP(LANE_H, d, a, b, c, 12, 0xe6db99e5, 11);
        LANE_STEP(LANE_H, c, d, a, b, 15, 0x1fa27cf8, 16);
        LANE_STEP(LANE_H, b, c, d, a, 2, 0xc4ac5665, 23);

        LANE_STEP(LANE_I, a, b, c, d, 0, 0xf4292244, 6);
        LANE_STEP(LANE_I, d, a, b, c, 7, 0x432aff97, 10);
        LANE_STEP(LANE_I, c, d, a, b, 14, 0xab9423a7, 15);
        LANE_STEP(LANE_I, b, c, d, a, 5, 0xfc93a039, 21);
        LANE_STEP(LANE_I, a, b, c, d, 12, 0x655b59c3, 6);
        LANE_STEP(LANE_I, d, a, b, c, 3, 0x8f0ccc92, 10);
        LANE_STEP(LANE_I, c, d, a, b, 10, 0xffeff47d, 15);
        LANE_STEP(LANE_I, b, c, d, a, 1, 0x85845dd1, 21);
        LANE_STEP(LANE_I, a, b, c, d, 8, 0x6fa87e4f, 6);
        LANE_STEP(LANE_I, d, a, b, c, 15, 0xfe2ce6e0, 10);
        LANE_STEP(LANE_I, c, d, a, b, 6, 0xa3014314, 15);
        LANE_STEP(LANE_I, b, c, d, a, 13, 0x4e0811a1, 21);
        LANE_STEP(LANE_I, a, b, c, d, 4, 0xf7537e82, 6);
        LANE_STEP(LANE_I, d, a, b, c, 11, 0xbd3af235, 10);
        LANE_STEP(LANE_I, c, d, a, b, 2, 0x2ad7d2bb, 15);
        LANE_STEP(LANE_I, b, c, d, a, 9, 0xeb86d391, 21);

        a += a0;
        b += b0;
        c += c0;
        d += d0;
    }
    for (unsigned i = 0; i < N; i++) {
        state[i][0] = a[i];
        state[i][1] = b[i];
        state[i][2] = c[i];
        state[i][3] = d[i];
    }
}

__attribute__((target("sse2"))) static void Blocks4(uint32_t *const state[],
                                                   const unsigned char *const p[], size_t blocks)
{
    LaneBlocks<Lanes4, 4>(state, p, blocks);
}

__attribute__((target("avx2"))) static void Blocks8(uint32_t *const state[],
                                                   const unsigned char *const p[], size_t blocks)
{
    LaneBlocks<Lanes8, 8>(state, p, blocks);
}

unsigned Md5LaneCount(void)
{
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2"))
        return 8;
    return __builtin_cpu_supports("sse2") ? 4 : 1;
}

void Md5UpdateLanes(Md5Context *const contexts[], const unsigned char *const data[],
                    unsigned count, size_t size)
{
    uint32_t spare[MD5_MAX_LANES][4] = {};
    uint32_t *state[MD5_MAX_LANES];
    const unsigned char *p[MD5_MAX_LANES];
    unsigned lanes = count <= 4 ? 4 : 8, i;

    // Lanes beyond count hash the first stream again into states of their own.
    for (i = 0; i < lanes; i++) {
        state[i] = i < count ? contexts[i]->State : spare[i];
        p[i] = i < count ? data[i] : data[0];
        if (i < count)
            contexts[i]->Length += size;
    }
    if (lanes == 4)
        Blocks4(state, p, size / 64);
    else
        Blocks8(state, p, size / 64);
}

#else

unsigned Md5LaneCount(void)
{
    return 1;
}

void Md5UpdateLanes(Md5Context *const contexts[], const unsigned char *const data[],
                    unsigned count, size_t size)
{
    for (unsigned i = 0; i < count; i++)
        Md5Update(contexts[i], data[i], size);
}

#endif
