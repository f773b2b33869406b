// Fuzz target: the decoder that rebuilds k lost PAR2 slices. The input
// chooses k, the slices' indexes and lengths, which are lost, the blocks'
// exponents, the pieces' sizes and the bytes; the blocks are made with the
// module's own multiply-add, k slices dropped and rebuilt. The properties:
// a system the decoder solves gives back every lost slice byte for byte
// with zero padding; one of consecutive exponents is always solved, and
// for k <= 2 the decoder refuses exactly the systems whose determinant is 0.
#include <stdint.h>
#include <string.h>

#include <vector>

#include "recovery/rs_decode.h"

#define REQUIRE(condition) \
    do {                    \
        if (!(condition))   \
            __builtin_trap(); \
    } while (0)

typedef std::vector<unsigned char> Bytes;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 16)
        return 0;
    const uint8_t *p = data + 16;
    size_t left = size - 16;
    unsigned k = 1 + data[0] % 6, n = k + data[1] % 8;
    size_t block = 4 * (1 + data[2] % 16);
    unsigned base = (data[3] | data[4] << 8) % RS_MAX_SLICES, step = 1 + data[5] % 64;
    size_t removePiece = 1 + data[6] % 9, decodePiece = 2 * (1 + data[7] % 8);
    uint32_t seed = data[8] | data[9] << 8;
    int consecutive = data[10] & 1;

    // The slices: indexes, lengths, and the input's bytes mixed with a
    // generator's.
    std::vector<unsigned> index(n);
    std::vector<Bytes> slices(n);
    size_t taken = 0;
    for (unsigned s = 0; s < n; s++) {
        index[s] = (base + s * step) % RS_MAX_SLICES;
        slices[s].resize(1 + (s < left ? p[s] : seed) % block);
        for (unsigned char &b : slices[s]) {
            seed = seed * 1103515245 + 12345;
            b = (unsigned char)(seed >> 16) ^ (left ? p[taken++ % left] : 0);
        }
    }
    // Which are lost (a shuffle of the first k places) and the exponents.
    std::vector<unsigned> order(n), lost(k);
    std::vector<uint32_t> exponents(k);
    for (unsigned s = 0; s < n; s++)
        order[s] = s;
    for (unsigned s = 0; s < n; s++) {
        unsigned pick = s + (data[11 + s % 5] + s) % (n - s);
        unsigned t = order[s];
        order[s] = order[pick];
        order[pick] = t;
    }
    for (unsigned j = 0; j < k; j++) {
        lost[j] = index[order[j]];
        exponents[j] = consecutive && j ? exponents[0] + j
                                        : (uint32_t)(data[12 + j % 4] << 8 | data[13 + j % 3]) >> (data[10] >> 4);
    }

    // The blocks, made with the module's own arithmetic.
    std::vector<Bytes> acc(k, Bytes(block, 0));
    for (unsigned j = 0; j < k; j++)
        for (unsigned s = 0; s < n; s++) {
            RsTable t;
            RsTableBuild(&t, RsPower(RsSliceConstant(index[s]), exponents[j]));
            RsMultiplyAdd(acc[j].data(), slices[s].data(), slices[s].size(), &t);
        }

    RsDecoder d;
    int result = RsDecoderBegin(&d, lost.data(), exponents.data(), k);
    REQUIRE(result == RS_OK || result == RS_SINGULAR);
    REQUIRE((d.Memory != nullptr) == (result == RS_OK));
    if (consecutive || k == 1)
        REQUIRE(result == RS_OK);
    if (k == 2) {
        uint16_t a = RsSliceConstant(lost[0]), b = RsSliceConstant(lost[1]);
        uint16_t det = RsMultiply(RsPower(a, exponents[0]), RsPower(b, exponents[1])) ^
                       RsMultiply(RsPower(a, exponents[1]), RsPower(b, exponents[0]));
        REQUIRE((result == RS_SINGULAR) == (det == 0));
    }
    if (result != RS_OK)
        return 0;

    // Every present slice taken out, in pieces; then the lost ones rebuilt.
    REQUIRE(RsDecoderRemoveSlice(&d, 0, lost[k - 1], acc[0].data(), 2, acc[0].data()) ==
            RS_BAD_ARGUMENT);
    for (unsigned s = k; s < n; s++) {
        const Bytes &slice = slices[order[s]];
        for (size_t at = 0; at < slice.size(); at += 2 * removePiece)
            for (unsigned j = 0; j < k; j++) {
                size_t take = slice.size() - at < 2 * removePiece ? slice.size() - at : 2 * removePiece;
                REQUIRE(RsDecoderRemoveSlice(&d, j, index[order[s]], &slice[at], take, &acc[j][at]) ==
                        RS_OK);
            }
    }
    std::vector<Bytes> rebuilt(k, Bytes(block, 0xEE));
    for (size_t at = 0; at < block; at += decodePiece) {
        size_t take = block - at < decodePiece ? block - at : decodePiece;
        const unsigned char *in[6];
        unsigned char *out[6];
        for (unsigned j = 0; j < k; j++) {
            in[j] = &acc[j][at];
            out[j] = &rebuilt[j][at];
        }
        REQUIRE(RsDecodePiece(&d, in, out, take) == RS_OK);
    }
    RsDecoderEnd(&d);
    for (unsigned l = 0; l < k; l++) {
        Bytes expected = slices[order[l]];
        expected.resize(block, 0);
        REQUIRE(rebuilt[l] == expected);
    }
    return 0;
}
