// The multiply-add of the decoder (rs_decode.h): the products of one
// constant with every byte of a word in two 256-entry tables, applied a
// word at a time (measured as fast here as eight bytes at a time). Every
// byte a rebuild reads passes through here, so this file is built for
// speed where the rest of the decoder is built for size.
#include "rs_decode.h"

#include <string.h>

// x * a: one shift, reduced by the generator polynomial.
static uint32_t Times2(uint32_t a)
{
    a <<= 1;
    return a & 0x10000 ? a ^ 0x1100B : a;
}

void RsTableBuild(RsTable *t, uint16_t c)
{
    uint32_t v = c;
    t->Constant = c;
    if (c < 2)
        return;
    // c times each single bit of a word, then every byte as a sum of bits.
    for (unsigned bit = 0; bit < 16; bit++, v = Times2(v)) {
        uint16_t *half = bit < 8 ? t->Low : t->High;
        half[1u << (bit & 7)] = (uint16_t)v;
    }
    t->Low[0] = t->High[0] = 0;
    for (unsigned b = 3; b < 256; b++) {
        unsigned lowest = b & (0u - b);
        if (b != lowest) {
            t->Low[b] = t->Low[b ^ lowest] ^ t->Low[lowest];
            t->High[b] = t->High[b ^ lowest] ^ t->High[lowest];
        }
    }
}

static void XorBytes(unsigned char *o, const unsigned char *d, size_t size)
{
    uint64_t a, w;
    for (; size >= 8; size -= 8, d += 8, o += 8) {
        memcpy(&a, o, 8);
        memcpy(&w, d, 8);
        a ^= w;
        memcpy(o, &a, 8);
    }
    for (; size; size--)
        *o++ ^= *d++;
}

void RsMultiplyAdd(void *acc, const void *data, size_t size, const RsTable *t)
{
    unsigned char *o = (unsigned char *)acc;
    const unsigned char *d = (const unsigned char *)data;
    const uint16_t *low = t->Low, *high = t->High;
    unsigned v;
    if (t->Constant < 2) {
        if (t->Constant)
            XorBytes(o, d, size);
        return;
    }
    for (; size >= 2; size -= 2, d += 2, o += 2) {
        v = low[d[0]] ^ high[d[1]];
        o[0] ^= (unsigned char)v;
        o[1] ^= (unsigned char)(v >> 8);
    }
    if (size) {
        // The word's high byte is padding, 0; its product's is not.
        v = low[d[0]];
        o[0] ^= (unsigned char)v;
        o[1] ^= (unsigned char)(v >> 8);
    }
}
