// Recovery data for a slice set in the PAR2 2.0 format, so that a lost or
// damaged portion file can be rebuilt, by our joiners or by the PAR2 tools
// people already have. Each portion file is exactly one slice: the slice
// size is the largest portion's length rounded up to a multiple of 4, and
// shorter files count as padded with zeros.
//
// Two halves, both portable (no operating-system calls):
//   writer (par2_write.cpp, the Linux dorvane): fed each portion file's
//     bytes once, in pieces; keeps the MD5s, CRC-32s and the recovery
//     blocks; then writes the index file and the one recovery file through
//     a sink the caller gives.
//   reader (par2.cpp, both joiners): fed the bytes of PAR2 files, in
//     pieces or all at once; checks every packet and reports each file's
//     name, length and checksums and where each recovery block lies.
//     Small, for KELMORIX.EXE.
// File names (both halves): SOURCE.par2 and SOURCE.vol0+N.par2 (N blocks),
// from the sliced file's name; see Par2FileNames.
#ifndef DORVANE_PAR2_H
#define DORVANE_PAR2_H

#include <stddef.h>
#include <stdint.h>

#include "md5.h"

enum {
    PAR2_MAX_FILES = 100,     // portion files in one set
    PAR2_MAX_RECOVERY = 10,   // recovery blocks, exponents 0 to 9
    PAR2_NAME_SIZE = 256,     // a file name of up to 255 bytes and its zero
    PAR2_HEAD_SIZE = 16384,   // the file descriptions' "first 16 KiB" digest
    PAR2_READ_BODY = 12 + 16 * PAR2_MAX_FILES,  // the largest body the reader keeps
    PAR2_STEM_MAX = PAR2_NAME_SIZE - 1 - 14     // 255 bytes less ".vol00+10.par2"
};

// Results: 0 is success; the others say what was wrong.
enum Par2Result {
    PAR2_OK = 0,
    PAR2_BAD_ARGUMENT,   // a size, count, index or name outside the limits
    PAR2_NOT_PRIMED,     // blocks beyond the first need every file's first bytes given first
    PAR2_TOO_MUCH_DATA,  // more bytes fed than the file's declared length
    PAR2_SHORT_FILE,     // fewer bytes fed than the file's declared length
    PAR2_FILE_CHANGED,   // the first bytes given ahead differ from those fed later
    PAR2_SINK_FAILED,    // the caller's sink reported a failure
    PAR2_NO_MAIN,        // reader: no intact main packet
    PAR2_NO_DESCRIPTION, // reader: a file of the set has no intact description
    PAR2_UNSUPPORTED,    // reader: a set this code cannot rebuild (a file of several slices)
    PAR2_NO_RECOVERY     // reader: no intact recovery block of exponent 0
};

// The CRC-32 of zlib, PNG and SFV, continued over more bytes: the caller's
// own, fast one. Start from 0; crc(crc(0, a), b) is the CRC of a then b.
typedef uint32_t (*Par2CrcFunction)(uint32_t crc, const void *data, size_t size);

// Where the writer's output goes: returns 0 when the bytes were taken.
typedef int (*Par2Sink)(void *context, const void *data, size_t size);

// The index and recovery file names for the set of the sliced file whose
// name (no folder) is `source`, for `count` recovery blocks (1 to 10):
// "SOURCE.par2" and "SOURCE.vol0+N.par2" ("SOURCE.vol00+10.par2" for ten),
// as the PAR2 tools name theirs.
// Both are longer than the source's name and end in ".par2", so neither is
// ever the sliced file, a portion (same length as the source, ending in two
// digits), the checksum list (ending in .sfv) or KELMORIX.EXE, nor found by
// the joiners' search for a first portion ("*00"). Both share one stem, the
// same for every count: a source's name longer than PAR2_STEM_MAX bytes is
// cut to it (a byte or more sooner where the cut would split a character of
// UTF-8 or make a name the source's own), so that "par2 repair INDEX" finds
// the recovery files by it. Each buffer holds PAR2_NAME_SIZE.
int Par2FileNames(const char *source, unsigned count, char *index, char *recovery);

// The slice size for portion files of which the longest has `length` bytes.
uint64_t Par2SliceSize(uint64_t length);

// The packets' magic and the types of the packets the set is made of.
extern const unsigned char Par2Magic[8];
extern const unsigned char Par2TypeMain[16];
extern const unsigned char Par2TypeFileDesc[16];
extern const unsigned char Par2TypeSliceChecksums[16];
extern const unsigned char Par2TypeRecovery[16];
extern const unsigned char Par2TypeCreator[16];

// --- writer ---------------------------------------------------------------

// One input file, in the order the caller declared them.
struct Par2WriterFile {
    char Name[PAR2_NAME_SIZE];
    uint64_t Length;
    uint64_t Hashed;        // bytes through Par2WriterHash so far
    uint64_t Accumulated;   // bytes through Par2WriterAccumulate so far
    Md5Context Whole;       // the file's digest, running
    uint32_t Crc;           // the file's CRC-32, running
    int Primed;             // Head is known (given ahead, or read in the stream)
    int Changed;            // the stream's first 16 KiB differ from those given ahead
    unsigned char Head[MD5_DIGEST_SIZE];   // digest of the first 16 KiB
    unsigned char Id[MD5_DIGEST_SIZE];     // the file ID: digest of head, length, name
    unsigned char Hash[MD5_DIGEST_SIZE];   // digest of the whole file
    unsigned char SliceHash[MD5_DIGEST_SIZE];  // digest of the file padded to a slice
    uint32_t SliceCrc;      // CRC-32 of the file padded to a slice
    uint16_t Log;           // logarithm of its slice's constant, once ordered
};

// The writer's whole state; the caller owns it (about 50 KiB) and the
// recovery blocks' memory: RecoveryCount * SliceSize bytes, so up to ten
// portions' worth for ten blocks.
struct Par2Writer {
    uint64_t SliceSize;
    unsigned RecoveryCount;
    unsigned FileCount;
    Par2CrcFunction Crc;
    const char *Creator;    // the creator packet's text: program and version
    unsigned char *Blocks;  // block e at Blocks + e * SliceSize
    Par2WriterFile Files[PAR2_MAX_FILES];
    unsigned char Order[PAR2_MAX_FILES];  // file indexes in file ID order
    int Ordered;            // file IDs known, Order and every Log set
    int Finished;
    unsigned char SetId[MD5_DIGEST_SIZE];
    int TableFile;          // the file the multiplication tables are for, or -1
    uint16_t Low[PAR2_MAX_RECOVERY][256];   // coefficient^e times a low byte
    uint16_t High[PAR2_MAX_RECOVERY][256];  // coefficient^e times a high byte
    unsigned char Packet[64 + PAR2_READ_BODY];  // one critical packet being written
};

// How to stream: Begin; AddFile for every portion file (name as stored,
// exact length); with more than one block, Prime every file with its first
// min(length, 16 KiB) bytes; then Feed each file's bytes in order, in pieces
// of any size (files one after another or interleaved); Finish; then
// WriteIndex and WriteRecovery, each into its own file.
// Feed is Hash plus Accumulate: Hash touches only that file's entry and
// Accumulate only the blocks, so a caller may run the two for the same
// bytes on two threads (never two Hash calls for one file, nor two
// Accumulate calls, at once; every Prime before either thread starts).
int Par2WriterBegin(Par2Writer *w, uint64_t sliceSize, unsigned recoveryCount,
                    unsigned char *blocks, Par2CrcFunction crc, const char *creator);
int Par2WriterAddFile(Par2Writer *w, const char *name, uint64_t length);
int Par2WriterPrime(Par2Writer *w, unsigned file, const void *head, size_t size);
int Par2WriterHash(Par2Writer *w, unsigned file, const void *data, size_t size);
// Hash for count files at once (2 to Md5LaneCount(), distinct), size bytes
// of each: a multiple of 64, every file hashed so far to a multiple of 64.
// Returns PAR2_BAD_ARGUMENT or _TOO_MUCH_DATA before touching any file.
int Par2WriterHashLanes(Par2Writer *w, const unsigned *files, const unsigned char *const *data,
                        unsigned count, size_t size);
int Par2WriterAccumulate(Par2Writer *w, unsigned file, const void *data, size_t size);
int Par2WriterFeed(Par2Writer *w, unsigned file, const void *data, size_t size);
int Par2WriterFinish(Par2Writer *w);
// For a caller that meets the longest file only as the files come (disk
// after disk): a one-block writer's slice size raised before Finish. blocks
// holds the block so far in its first SliceSize bytes and has room for
// sliceSize; the rest is cleared here. Exponent 0 is a plain XOR, so more
// zeros of padding change none of the bytes already added.
int Par2WriterWiden(Par2Writer *w, uint64_t sliceSize, unsigned char *blocks);
// Main packet, then each file's description and slice checksums, creator.
int Par2WriteIndex(Par2Writer *w, Par2Sink sink, void *context);
// The critical packets, then each recovery block followed by them again.
int Par2WriteRecovery(Par2Writer *w, Par2Sink sink, void *context);

// GF(2^16) with the generator polynomial 0x1100B, as the recovery blocks
// beyond the first use it (exposed for tests).
uint16_t Par2GfMultiply(uint16_t a, uint16_t b);
uint16_t Par2GfInverse(uint16_t a);  // a != 0
// The logarithm of the constant of the n-th input slice (n from 0).
uint16_t Par2SliceLog(unsigned n);

// --- reader ---------------------------------------------------------------

enum { PAR2_MAX_BLOCKS = 128 };  // distinct recovery blocks of one set the reader keeps

// One file of the set, as its packets describe it. Name holds bytes taken
// from the file: match them against the names expected, never print them
// unescaped.
struct Par2ReadFile {
    unsigned char Id[MD5_DIGEST_SIZE];
    char Name[PAR2_NAME_SIZE];
    uint64_t Length;
    unsigned char Head[MD5_DIGEST_SIZE];       // of its first 16 KiB (or all of a shorter one)
    unsigned char SliceHash[MD5_DIGEST_SIZE];  // of the slice padded with zeros
    uint32_t SliceCrc;
    unsigned char ChecksumSet[MD5_DIGEST_SIZE];  // the set whose packet gave them
    unsigned char Described;  // its description packet was read
    unsigned char Checked;    // its slice checksums were read, in the main packet's set
};

// An intact recovery block: where its bytes lie in the stream.
struct Par2ReadBlock {
    uint64_t Offset;        // its first byte, past the exponent
    uint64_t Length;        // after Finish, always the slice size
    uint32_t Exponent;
    unsigned char Set[MD5_DIGEST_SIZE];
};

struct Par2Reader {
    uint64_t Offset;        // position in the stream of the next byte to feed
    uint64_t End;           // where the file being fed ends in the stream
    // The packet being read.
    unsigned char Header[64];
    unsigned HeaderFill;    // header bytes so far (the first 8 are the magic)
    uint64_t PacketStart;
    uint64_t BodyLeft;      // body bytes still to come
    uint64_t BodyFill;      // body bytes read so far
    Md5Context Md5;
    unsigned char Body[PAR2_READ_BODY];  // the body's first bytes
    unsigned Match;         // bytes of a magic matched inside the packet so far
    uint64_t Inner;         // where the first whole magic inside the packet starts, or 0
    // What was found: the set is the one given to Par2ReadWant, else the
    // first intact main packet's.
    int Wanted;
    int HaveMain;
    unsigned char SetId[MD5_DIGEST_SIZE];
    uint64_t SliceSize;
    unsigned MainCount;     // files listed by the main packet
    unsigned char MainIds[PAR2_MAX_FILES][MD5_DIGEST_SIZE];
    unsigned FileCount;     // files known; after Finish, the main packet's, in its order
    Par2ReadFile Files[PAR2_MAX_FILES];
    unsigned BlockCount;    // after Finish, the set's blocks of the slice size only
    Par2ReadBlock Blocks[PAR2_MAX_BLOCKS];  // the first intact one of each exponent and set
    unsigned Packets;       // intact packets read (of the wanted set, where one is wanted)
    unsigned Foreign;       // intact packets of another set than the wanted one
    unsigned char FirstSet[MD5_DIGEST_SIZE];  // the set of the first intact packet
};

// Begin; for each file, Start with its size, then Feed its bytes from
// Offset on, in pieces of any size; then Finish: PAR2_OK when the main
// packet, every file's description and a block of the slice size were
// intact (the index file alone gives PAR2_NO_RECOVERY with the files known).
// A packet whose length or MD5 is wrong is skipped, and the search for the
// next packet goes on from the first magic found inside it, so that one
// damaged length hides no packet after it. That search may go back: after
// each Feed the caller feeds on from Offset, which may lie before the bytes
// it has fed (Feed takes no byte past a step back). No length is taken
// beyond the end of the file that Start announced. A stream fed without
// Start has no end.
void Par2ReadBegin(Par2Reader *r);
// Keeps only the packets of the set `set` (called after Begin).
void Par2ReadWant(Par2Reader *r, const unsigned char set[MD5_DIGEST_SIZE]);
// A new file of `size` bytes follows: a packet cut short by the end of the
// one before is dropped, never completed by its bytes.
void Par2ReadStart(Par2Reader *r, uint64_t size);
void Par2ReadFeed(Par2Reader *r, const void *data, size_t size);
int Par2ReadFinish(Par2Reader *r);

// The rebuild step: acc ^= data, byte for byte. A lost slice is the
// exponent-0 block with every other slice (padded with zeros) XORed in.
void Par2Xor(void *acc, const void *data, size_t size);

#endif
