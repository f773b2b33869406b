// CRC-32 (reflected 0xEDB88320): the slicing-by-8 tables built at first use,
// the PCLMULQDQ folding, the run-time choice between them, and the
// combination of two CRCs by multiplication modulo the polynomial.
//
// Remainders are kept reflected, as the CRC register holds them: bit 31 is
// the coefficient of x^0 and bit 0 that of x^31. A 16-byte block loaded
// little-endian into a 128-bit register then has bit k as the coefficient
// of x^(127-k), the first byte's low bit being the highest power.
#include "crc32.h"

#if defined(__GNUC__) && (defined(__i386__) || defined(__x86_64__))
#define CRC32_X86 1
#include <cpuid.h>
#include <immintrin.h>
#endif

static const uint32_t Polynomial = 0xEDB88320u;
static const uint32_t XToTheZero = 0x80000000u; // the remainder 1

// The module's state, written once by Crc32Setup.
static struct {
    int Ready;
    int Method;               // CRC32_TABLE or CRC32_CARRYLESS
    uint32_t Table[8][256];   // Table[k][b]: byte b followed by k zero bytes
    uint64_t FoldBy64[2];     // constants that move a block 64 bytes on
    uint64_t FoldBy16[2];     // and 16 bytes on
} Crc;

// a * x modulo the polynomial.
static uint32_t TimesX(uint32_t a)
{
    return a & 1 ? (a >> 1) ^ Polynomial : a >> 1;
}

// x^n modulo the polynomial, for the small n of the folding constants.
static uint32_t XPower(unsigned n)
{
    uint32_t r = XToTheZero;
    while (n--)
        r = TimesX(r);
    return r;
}

// a * b modulo the polynomial.
static uint32_t MultiplyMod(uint32_t a, uint32_t b)
{
    uint32_t product = 0;
    for (; a; a <<= 1, b = TimesX(b))
        if (a & XToTheZero)
            product ^= b;
    return product;
}

static uint32_t Le32(const unsigned char *p)
{
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

// Advances the raw (not inverted) register over n bytes, eight at a time.
static uint32_t TableUpdate(uint32_t r, const unsigned char *p, size_t n)
{
    const uint32_t(*t)[256] = Crc.Table;
    for (; n >= 8; p += 8, n -= 8) {
        uint32_t a = r ^ Le32(p), b = Le32(p + 4);
        r = t[7][a & 0xFF] ^ t[6][a >> 8 & 0xFF] ^ t[5][a >> 16 & 0xFF] ^ t[4][a >> 24] ^
            t[3][b & 0xFF] ^ t[2][b >> 8 & 0xFF] ^ t[1][b >> 16 & 0xFF] ^ t[0][b >> 24];
    }
    while (n--)
        r = r >> 8 ^ t[0][(r ^ *p++) & 0xFF];
    return r;
}

#ifdef CRC32_X86
// 32-bit Windows keeps its stack 4-byte aligned, and the compiler spills
// 128-bit registers with aligned stores: realign on entry there.
#ifdef __i386__
#define CRC32_REALIGN __attribute__((force_align_arg_pointer))
#else
#define CRC32_REALIGN
#endif
#define CRC32_CLMUL __attribute__((target("pclmul,sse2")))

// A block's polynomial is A * x^64 + B, A in the low half (the earlier
// bytes). The carry-less product of two reflected 64-bit operands stands for
// their product times x, so multiplying A by x^(63+d) mod P and B by
// x^(d-1) mod P yields, within 96 bits, a block congruent to the one d bits
// further on.
CRC32_CLMUL static inline __m128i Fold(__m128i block, __m128i constants)
{
    return _mm_xor_si128(_mm_clmulepi64_si128(block, constants, 0x00),
                         _mm_clmulepi64_si128(block, constants, 0x11));
}

CRC32_CLMUL static inline __m128i Load(const unsigned char *p)
{
    return _mm_loadu_si128((const __m128i *)p);
}

// Four blocks in flight, 64 bytes a step; then one block, 16 bytes a step;
// the last block and the tail of fewer than 16 bytes go through the table.
CRC32_REALIGN CRC32_CLMUL static uint32_t FoldUpdate(uint32_t r, const unsigned char *p, size_t n)
{
    if (n < 64)
        return TableUpdate(r, p, n);
    __m128i x0 = _mm_xor_si128(Load(p), _mm_cvtsi32_si128((int)r));
    __m128i x1 = Load(p + 16), x2 = Load(p + 32), x3 = Load(p + 48);
    __m128i k = Load((const unsigned char *)Crc.FoldBy64);
    for (p += 64, n -= 64; n >= 64; p += 64, n -= 64) {
        x0 = _mm_xor_si128(Fold(x0, k), Load(p));
        x1 = _mm_xor_si128(Fold(x1, k), Load(p + 16));
        x2 = _mm_xor_si128(Fold(x2, k), Load(p + 32));
        x3 = _mm_xor_si128(Fold(x3, k), Load(p + 48));
    }
    k = Load((const unsigned char *)Crc.FoldBy16);
    x0 = _mm_xor_si128(Fold(x0, k), x1);
    x0 = _mm_xor_si128(Fold(x0, k), x2);
    x0 = _mm_xor_si128(Fold(x0, k), x3);
    for (; n >= 16; p += 16, n -= 16)
        x0 = _mm_xor_si128(Fold(x0, k), Load(p));
    // The block left over is a message of its own, the register now zero.
    unsigned char last[16];
    _mm_storeu_si128((__m128i *)last, x0);
    return TableUpdate(TableUpdate(0, last, 16), p, n);
}

static int HasCarryless(void)
{
    unsigned a, b, c, d;
    if (!__get_cpuid(1, &a, &b, &c, &d))
        return 0;
    return (c & bit_PCLMUL) && (d & bit_SSE2);
}
#endif

// The folding constants for moving a block d bytes on: the low half pairs
// with the block's earlier bytes. A 32-bit remainder sits in the upper half
// of its 64-bit operand, where the reflected order puts x^31 .. x^0.
static void SetFoldConstants(uint64_t out[2], unsigned bytes)
{
    out[0] = (uint64_t)XPower(63 + 8 * bytes) << 32;
    out[1] = (uint64_t)XPower(8 * bytes - 1) << 32;
}

void Crc32Setup(void)
{
    if (Crc.Ready)
        return;
    for (unsigned b = 0; b < 256; b++) {
        uint32_t c = b;
        for (int bit = 0; bit < 8; bit++)
            c = TimesX(c);
        Crc.Table[0][b] = c;
    }
    for (int k = 1; k < 8; k++)
        for (unsigned b = 0; b < 256; b++)
            Crc.Table[k][b] = Crc.Table[k - 1][b] >> 8 ^ Crc.Table[0][Crc.Table[k - 1][b] & 0xFF];
    SetFoldConstants(Crc.FoldBy64, 64);
    SetFoldConstants(Crc.FoldBy16, 16);
    Crc.Method = CRC32_TABLE;
#ifdef CRC32_X86
    if (HasCarryless())
        Crc.Method = CRC32_CARRYLESS;
#endif
    Crc.Ready = 1;
}

int Crc32Method(void)
{
    Crc32Setup();
    return Crc.Method;
}

uint32_t Crc32UpdateBy(int method, uint32_t crc, const void *data, size_t length)
{
    const unsigned char *p = (const unsigned char *)data;
    Crc32Setup();
#ifdef CRC32_X86
    if (method == CRC32_CARRYLESS && Crc.Method == CRC32_CARRYLESS)
        return ~FoldUpdate(~crc, p, length);
#else
    (void)method;
#endif
    return ~TableUpdate(~crc, p, length);
}

uint32_t Crc32Update(uint32_t crc, const void *data, size_t length)
{
    return Crc32UpdateBy(Crc32Method(), crc, data, length);
}

// The CRCs are affine in the register, so the starting ones and the final
// inversions cancel: CRC(A B) = CRC(A) * x^(8 * |B|) + CRC(B) modulo P.
uint32_t Crc32Combine(uint32_t crcA, uint32_t crcB, uint64_t lengthB)
{
    uint32_t shift = XToTheZero, square = XPower(8);
    for (; lengthB; lengthB >>= 1, square = MultiplyMod(square, square))
        if (lengthB & 1)
            shift = MultiplyMod(shift, square);
    return MultiplyMod(shift, crcA) ^ crcB;
}
