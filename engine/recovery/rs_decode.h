// Rebuilding k lost slices of a PAR2 set from k of its recovery blocks:
// the field GF(2^16), the input slices' constants, a multiply-add of a
// buffer by a constant, and the decoder (the k x k system inverted, then
// applied piece by piece). Portable code: no operating-system calls, no
// static tables; the little memory it needs comes from the heap.
//
// The arithmetic. Words are 16-bit little-endian (byte 2m is the low byte
// of word m). Input slice i (from 0, in the order of the file IDs, as the
// main packet lists them) has the constant c_i = 2^n(i), where n(0), n(1),
// ... are the positive integers divisible by none of 3, 5, 17 and 257
// (1, 2, 4, 7, 8, 11, 13, 14, 16, 19, ...). The recovery block of exponent
// e is, word by word, the sum over every slice i of c_i^e * slice_i; a sum
// is an XOR, so exponent 0's block is the XOR of the slices.
//
// Decoding. With the slices L = {l_1..l_k} lost and the blocks of
// exponents E = {e_1..e_k} at hand: take out of each block j every present
// slice's share (c_i^e_j * slice_i; RsDecoderRemoveSlice), which leaves
// sum over l of c_l^e_j * slice_l; then each lost slice is the sum over j
// of Inverse[l][j] * (block j so reduced) (RsDecodePiece), where Inverse
// is the inverse of the matrix [c_l^e_j]. All of it works on pieces at the
// same offset of every buffer, so a caller streams slices of any size
// through buffers of its choosing.
//
// Padding. PAR2 pads every slice with zeros to the block size (a multiple
// of 4); zero words add nothing, so:
// - a present slice is taken out over its own bytes only, never the zeros
//   after them; but where its length is odd, its last word is (last byte,
//   0 of padding), and that word's product has a high byte: it lands one
//   byte past the slice's end, inside the block. So a piece of odd length
//   (only the one that ends a slice can be) changes size + 1 bytes of the
//   accumulator, and every piece starts at an even offset;
// - a lost slice comes out in whole words, with its padding: decode up to
//   its length rounded up to even (or the whole block) and keep its own
//   bytes. The padding comes out as zeros when the blocks and the present
//   slices are the ones the blocks were made from; a non-zero byte there
//   means they are not (the slice's MD5 and CRC, over the padded slice,
//   catch it too).
#ifndef DORVANE_RS_DECODE_H
#define DORVANE_RS_DECODE_H

#include <stddef.h>
#include <stdint.h>

enum {
    RS_MAX_SLICES = 32768,  // input slices with a constant: n(32767) = 65534
    RS_MAX_LOST = 128       // slices one decoder rebuilds (the system is k x k)
};

// Results: 0 is success.
enum RsResult {
    RS_OK = 0,
    RS_BAD_ARGUMENT,  // a count, index or length outside the limits
    RS_SINGULAR,      // these blocks cannot rebuild these slices (a repeated
                      // exponent or slice, or an unlucky choice of exponents)
    RS_NO_MEMORY
};

// --- the field ------------------------------------------------------------

// a * b in GF(2^16) with the generator polynomial 0x1100B.
uint16_t RsMultiply(uint16_t a, uint16_t b);
// a^e (a^0 = 1, also for a = 0).
uint16_t RsPower(uint16_t a, uint32_t e);
// The a' with a * a' = 1; 0 for a = 0.
uint16_t RsInverse(uint16_t a);
// c_i, the constant of input slice i (from 0, in file ID order); 0 when
// i >= RS_MAX_SLICES. A few hundred operations, whatever i.
uint16_t RsSliceConstant(unsigned i);

// --- multiply-add ---------------------------------------------------------

// The products of one constant with every low byte and every high byte of
// a word: c * w = Low[w & 255] ^ High[w >> 8]. About 1 KiB.
struct RsTable {
    uint16_t Constant;
    uint16_t Low[256];
    uint16_t High[256];
};

// Fills t for constant c (for 0 and 1 only Constant is set: nothing to add,
// and a plain XOR).
void RsTableBuild(RsTable *t, uint16_t c);
// acc ^= t->Constant * data, word by word, over `size` bytes of data. With
// `size` odd the last word's high byte is taken as 0 (a slice's padding) and
// the product's high byte goes to acc[size]: acc holds size rounded up to
// even. The buffers do not overlap, or are the same.
void RsMultiplyAdd(void *acc, const void *data, size_t size, const RsTable *t);

// --- the decoder ----------------------------------------------------------

// One system: which slices are lost, which blocks rebuild them, and the
// inverted matrix. The caller owns the struct; Begin allocates the rest.
struct RsDecoder {
    unsigned Count;          // k: lost slices, and blocks
    unsigned *Lost;          // slice indexes, as given
    uint32_t *Exponents;     // block j's exponent, as given
    uint16_t *Inverse;       // k x k: lost slice l's coefficient of block j at [l * k + j]
    RsTable *Tables;         // block j's table for the present slice Slices[j]
    unsigned *Slices;        // RS_MAX_SLICES while a table holds nothing yet
    void *Memory;            // the one allocation behind the pointers above
};

// Sets up d for rebuilding slices lost[0..count) from the blocks of
// exponents exponents[0..count): checks the indexes (below RS_MAX_SLICES,
// 1 <= count <= RS_MAX_LOST) and inverts the count x count matrix. On any
// result but RS_OK nothing is left allocated; otherwise end with
// RsDecoderEnd. lost and exponents are copied.
int RsDecoderBegin(RsDecoder *d, const unsigned *lost, const uint32_t *exponents,
                   unsigned count);
// Takes present slice `slice`'s piece out of block `block`'s accumulator:
// acc ^= c_slice^e_block * data, as RsMultiplyAdd (odd sizes included). Each
// block keeps the table of its last slice; a call for another slice builds
// that slice's (a microsecond or two), so pieces of 64 KiB and more make
// the cost vanish, whatever the order of the calls. RS_BAD_ARGUMENT for a
// block beyond count, or a slice that is lost or has no constant.
int RsDecoderRemoveSlice(RsDecoder *d, unsigned block, unsigned slice, const void *data,
                         size_t size, void *acc);
// out[l] = sum over j of Inverse[l][j] * blocks[j], over `size` bytes: the
// piece of lost slice l (in Begin's order) at the offset of the blocks'
// pieces (block j's accumulator once every present slice was taken out, in
// Begin's order of exponents). size is even (a word is never split: see
// Padding above); RS_BAD_ARGUMENT otherwise. out[l] is written, not added
// to; no out buffer is one of the blocks. Builds k * k tables per call.
int RsDecodePiece(const RsDecoder *d, const unsigned char *const *blocks,
                  unsigned char *const *out, size_t size);
// Frees what Begin allocated; d may then be begun again.
void RsDecoderEnd(RsDecoder *d);

#endif
