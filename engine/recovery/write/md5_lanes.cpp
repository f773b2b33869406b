// MD5 of several streams at once (md5_lanes.h). In this file: the words of
// four streams' blocks turned into vectors of lanes; the 64 steps on such
// vectors (one body, written with the compiler's vector types, for 4 and
// for 8 lanes); the SSE2 and AVX2 forms; the choice by the processor.
#include "md5_lanes.h"
#include "recovery/md5_steps.h"

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

// The steps as md5.cpp's fast form takes them (md5_steps.h), on every lane
// at once.
#define LANE_F(b, c, d) ((((c) ^ (d)) & (b)) ^ (d))
#define LANE_G(b, c, d) (((c) & ~(d)) + ((b) & (d)))
#define LANE_H(b, c, d) ((b) ^ (c) ^ (d))
#define LANE_I(b, c, d) ((c) ^ ((b) | ~(d)))
#define LANE_STEP(f, a, b, c, d, k, t, s)         \
    {                                             \
        a += w[k] + (uint32_t)(t);                \
        a += LANE_##f(b, c, d);                   \
        a = ((a << (s)) | (a >> (32 - (s)))) + b; \
    }

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

        MD5_BLOCK_STEPS(LANE_STEP)

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
