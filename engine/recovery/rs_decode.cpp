// Rebuilding lost PAR2 slices from recovery blocks (declared in
// rs_decode.h). In this file:
//   the field: products by shift and add, powers by squaring, inverses as
//     a^65534 (every non-zero a has a^65535 = 1); no log tables;
//   the decoder: the matrix [c_l^e_j] inverted by Gauss-Jordan elimination,
//     then applied to the blocks piece by piece.
// The multiply-add that every byte goes through is in rs_multiply.cpp,
// built for speed; this file is built for size.
#include "rs_decode.h"

#include <stdlib.h>
#include <string.h>

// x * a: one shift, reduced by the generator polynomial.
static uint32_t Times2(uint32_t a)
{
    a <<= 1;
    return a & 0x10000 ? a ^ 0x1100B : a;
}

uint16_t RsMultiply(uint16_t a, uint16_t b)
{
    uint32_t product = 0, x = a;
    for (; b; b >>= 1, x = Times2(x))
        if (b & 1)
            product ^= x;
    return (uint16_t)product;
}

uint16_t RsPower(uint16_t a, uint32_t e)
{
    uint16_t result = 1;
    if (!a)
        return e ? 0 : 1;
    for (e %= 65535; e; e >>= 1, a = RsMultiply(a, a))
        if (e & 1)
            result = RsMultiply(result, a);
    return result;
}

uint16_t RsInverse(uint16_t a)
{
    return a ? RsPower(a, 65534) : 0;
}

// How many of 1..m share no factor with 65535 = 3 * 5 * 17 * 257: by
// inclusion and exclusion over the sixteen products of those primes.
static uint32_t Coprimes(uint32_t m)
{
    const uint32_t primes[4] = {3, 5, 17, 257};
    int32_t count = 0;
    for (unsigned set = 0; set < 16; set++) {
        uint32_t product = 1;
        int sign = 1;
        for (unsigned b = 0; b < 4; b++)
            if (set >> b & 1) {
                product *= primes[b];
                sign = -sign;
            }
        count += sign * (int32_t)(m / product);
    }
    return (uint32_t)count;
}

// n(i) is the least m with Coprimes(m) = i + 1: found by halving.
uint16_t RsSliceConstant(unsigned i)
{
    uint32_t low = 1, high = 65534;
    if (i >= RS_MAX_SLICES)
        return 0;
    while (low < high) {
        uint32_t middle = (low + high) / 2;
        if (Coprimes(middle) > i)
            high = middle;
        else
            low = middle + 1;
    }
    return RsPower(2, low);
}

// --- the decoder ------------------------------------------------------------

// row_to ^= f * row_from, over k entries.
static void AddRow(uint16_t *to, const uint16_t *from, uint16_t f, unsigned k)
{
    for (unsigned i = 0; i < k; i++)
        to[i] ^= RsMultiply(f, from[i]);
}

// Inverts the k x k matrix m (destroyed) into inverse; 0 when singular.
static int Invert(uint16_t *m, uint16_t *inverse, unsigned k)
{
    memset(inverse, 0, (size_t)k * k * sizeof *inverse);
    for (unsigned i = 0; i < k; i++)
        inverse[i * k + i] = 1;
    for (unsigned col = 0; col < k; col++) {
        unsigned pivot = col;
        while (pivot < k && !m[pivot * k + col])
            pivot++;
        if (pivot == k)
            return 0;
        for (unsigned i = 0; pivot != col && i < k; i++) {
            uint16_t t = m[pivot * k + i];
            m[pivot * k + i] = m[col * k + i];
            m[col * k + i] = t;
            t = inverse[pivot * k + i];
            inverse[pivot * k + i] = inverse[col * k + i];
            inverse[col * k + i] = t;
        }
        uint16_t scale = RsInverse(m[col * k + col]);
        for (unsigned i = 0; i < k; i++) {
            m[col * k + i] = RsMultiply(m[col * k + i], scale);
            inverse[col * k + i] = RsMultiply(inverse[col * k + i], scale);
        }
        for (unsigned row = 0; row < k; row++) {
            uint16_t f = m[row * k + col];
            if (row != col && f) {
                AddRow(m + row * k, m + col * k, f, k);
                AddRow(inverse + row * k, inverse + col * k, f, k);
            }
        }
    }
    return 1;
}

int RsDecoderBegin(RsDecoder *d, const unsigned *lost, const uint32_t *exponents,
                   unsigned count)
{
    size_t k = count;
    uint16_t *matrix;
    memset(d, 0, sizeof *d);
    if (count < 1 || count > RS_MAX_LOST)
        return RS_BAD_ARGUMENT;
    for (unsigned l = 0; l < count; l++)
        if (lost[l] >= RS_MAX_SLICES)
            return RS_BAD_ARGUMENT;
    // Four-byte arrays first, then the tables and the matrices (two-byte).
    d->Memory = malloc(k * (3 * sizeof(unsigned) + sizeof(RsTable) + 2 * k * sizeof(uint16_t)));
    if (!d->Memory)
        return RS_NO_MEMORY;
    d->Count = count;
    d->Lost = (unsigned *)d->Memory;
    d->Slices = d->Lost + k;
    d->Exponents = (uint32_t *)(d->Slices + k);
    d->Tables = (RsTable *)(d->Exponents + k);
    d->Inverse = (uint16_t *)(d->Tables + k);
    matrix = d->Inverse + k * k;
    // Row j: block j; column l: lost slice l's constant to block j's exponent.
    for (unsigned l = 0; l < count; l++) {
        uint16_t c = RsSliceConstant(lost[l]);
        d->Lost[l] = lost[l];
        for (unsigned j = 0; j < count; j++)
            matrix[j * k + l] = RsPower(c, exponents[j]);
    }
    for (unsigned j = 0; j < count; j++) {
        d->Exponents[j] = exponents[j];
        d->Slices[j] = RS_MAX_SLICES;
    }
    if (!Invert(matrix, d->Inverse, count)) {
        RsDecoderEnd(d);
        return RS_SINGULAR;
    }
    return RS_OK;
}

int RsDecoderRemoveSlice(RsDecoder *d, unsigned block, unsigned slice, const void *data,
                         size_t size, void *acc)
{
    if (block >= d->Count || slice >= RS_MAX_SLICES)
        return RS_BAD_ARGUMENT;
    for (unsigned l = 0; l < d->Count; l++)
        if (d->Lost[l] == slice)
            return RS_BAD_ARGUMENT;
    if (d->Slices[block] != slice) {
        RsTableBuild(&d->Tables[block], RsPower(RsSliceConstant(slice), d->Exponents[block]));
        d->Slices[block] = slice;
    }
    RsMultiplyAdd(acc, data, size, &d->Tables[block]);
    return RS_OK;
}

int RsDecodePiece(const RsDecoder *d, const unsigned char *const *blocks,
                  unsigned char *const *out, size_t size)
{
    RsTable t;
    unsigned k = d->Count;
    if (size % 2)
        return RS_BAD_ARGUMENT;
    for (unsigned l = 0; l < k; l++) {
        memset(out[l], 0, size);
        for (unsigned j = 0; j < k; j++) {
            RsTableBuild(&t, d->Inverse[l * k + j]);
            RsMultiplyAdd(out[l], blocks[j], size, &t);
        }
    }
    return RS_OK;
}

void RsDecoderEnd(RsDecoder *d)
{
    free(d->Memory);
    memset(d, 0, sizeof *d);
}
