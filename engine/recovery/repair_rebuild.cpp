// Rebuilding lost portion files (RepairRebuild, repair.h). In this file:
//   what a rebuild holds: the open files and the buffers;
//   a share of the present files taken out of the blocks' pieces;
//   the second thread, which takes half the present files;
//   RepairRebuild: piece by piece, then each lost file's checksums.
// Reading every present file again is what a rebuild costs, so where a
// second thread can run it reads half of them into accumulators of its
// own, added to the first thread's before the piece is decoded.
// KELMORIX.EXE (REPAIR_ONE_THREAD) reads them all on one thread, to stay
// small.
#include "repair.h"
#include "repair_parts.h"

#include <stdlib.h>
#include <string.h>

#include "integrity/crc32.h"
#include "os/files.h"
#ifndef REPAIR_ONE_THREAD
#include "os/thread.h"
#endif

enum {
    PIECE_BUDGET = 4 << 20,  // bytes of buffers a rebuild would like
    PIECE_MAX = 1 << 20,
    PIECE_MIN = 4096,
#ifdef REPAIR_ONE_THREAD
    SHARES = 1
#else
    SHARES = 2               // threads that read the present files
#endif
};

// One thread's share of the present files, [First, End) of Reader.Files:
// each read through In and taken out of Acc[j], block j's piece, with a
// decoder of its own (a decoder keeps the table of the file it last took).
// On a failed read, the file and the error.
struct RebuildShare {
    RsDecoder Decoder;
    unsigned First, End;
    unsigned char *In, *Acc[RS_MAX_LOST];
    int Result;
    int Failed;
    long Error;
};

// What a rebuild holds. Shares[0] is the calling thread's: its Acc holds
// the chosen blocks' pieces, and its decoder decodes; Out[l] lost file l's
// piece.
struct Rebuild {
    RebuildShare Shares[SHARES];
    unsigned ShareCount;                // shares in use: 2 while the second thread runs
    unsigned Chosen[RS_MAX_LOST];
    OsFile Files[PAR2_MAX_FILES];       // the present files, 0 for the lost
    OsFile Recovery[REPAIR_MAX_FILES];  // the recovery files holding chosen blocks
    unsigned char *Out[RS_MAX_LOST];
    Md5Context Md5[RS_MAX_LOST];
    uint32_t Crc[RS_MAX_LOST];
    void *Memory;
    // The piece being decoded, for the second thread.
    const RepairSet *Set;
    unsigned Count;
    uint64_t At;
    uint32_t Size;
#ifndef REPAIR_ONE_THREAD
    OsThread *Thread;
    OsSemaphore *Go, *Done;  // a piece to take (or Stop), and the piece taken
    int Stop;
#endif
};

// The recovery file holding block j (an index into s->Names).
static unsigned BlockFile(const RepairSet *s, unsigned j)
{
    unsigned f = 0;
    for (unsigned i = 0; i < s->NameCount; i++)
        if (s->Starts[i] != UINT64_MAX && s->Starts[i] <= s->Reader.Blocks[j].Offset &&
            (s->Starts[f] == UINT64_MAX || s->Starts[i] >= s->Starts[f]))
            f = i;
    return f;
}

// Opens what the rebuild reads. Returns REPAIR_OK, _UNREADABLE or
// _WRONG_LENGTH.
static int OpenFiles(RepairSet *s, Rebuild *b, const unsigned *lost, unsigned count)
{
    const Par2Reader *r = &s->Reader;
    uint64_t length;
    unsigned i, l;

    for (i = 0; i < r->FileCount; i++) {
        for (l = 0; l < count && lost[l] != i; l++)
            ;
        if (l < count)
            continue;
        s->Failed = (int)i;
        if ((s->Error = RepairOpenIn(s, r->Files[i].Name, &b->Files[i], &length)))
            return REPAIR_UNREADABLE;
        if (length != r->Files[i].Length)
            return REPAIR_WRONG_LENGTH;
    }
    s->Failed = -1;
    for (l = 0; l < count; l++) {
        unsigned f = BlockFile(s, b->Chosen[l]);
        if (!b->Recovery[f] && (s->Error = RepairOpenIn(s, s->Names[f], &b->Recovery[f], &length)))
            return REPAIR_UNREADABLE;
    }
    return REPAIR_OK;
}

static void CloseFiles(Rebuild *b)
{
    for (unsigned i = 0; i < PAR2_MAX_FILES; i++)
        if (b->Files[i])
            OsClose(b->Files[i]);
    for (unsigned f = 0; f < REPAIR_MAX_FILES; f++)
        if (b->Recovery[f])
            OsClose(b->Recovery[f]);
}

// ---- A share of the present files -------------------------------------------

// [b->At, + b->Size) of every present file of share h taken out of its
// accumulators: h->Result, with h->Failed and h->Error on a failed read.
static void TakeShare(Rebuild *b, RebuildShare *h)
{
    const Par2Reader *r = &b->Set->Reader;
    uint64_t at = b->At;

    h->Result = REPAIR_OK;
    for (unsigned i = h->First; i < h->End; i++) {
        uint64_t m = r->Files[i].Length > at ? r->Files[i].Length - at : 0;
        if (!b->Files[i] || !m)
            continue;
        m = m < b->Size ? m : b->Size;
        h->Error = RepairReadAt(b->Files[i], at, h->In, (uint32_t)m);
        if (h->Error) {
            h->Failed = (int)i;
            h->Result = REPAIR_UNREADABLE;
            return;
        }
        for (unsigned j = 0; j < b->Count; j++)
            RsDecoderRemoveSlice(&h->Decoder, j, i, h->In, (size_t)m, h->Acc[j]);
    }
}

// ---- The second thread --------------------------------------------------------

#ifndef REPAIR_ONE_THREAD
static void TakeSecondShare(void *context)
{
    Rebuild *b = (Rebuild *)context;

    for (;;) {
        OsWaitFor(b->Go);
        if (b->Stop)
            return;
        TakeShare(b, &b->Shares[1]);
        OsPost(b->Done);
    }
}

// Starts the second thread on the upper half of the present files where
// it can run; the first thread takes them all where not.
static void StartSecondShare(Rebuild *b, const unsigned *lost)
{
    const Par2Reader *r = &b->Set->Reader;
    RebuildShare *h = &b->Shares[1];
    uint32_t exponents[RS_MAX_LOST];
    unsigned j;

    for (j = 0; j < b->Count; j++)
        exponents[j] = r->Blocks[b->Chosen[j]].Exponent;
    if (r->FileCount - b->Count < 2 || RsDecoderBegin(&h->Decoder, lost, exponents, b->Count))
        return;
    b->Go = OsMakeSemaphore(0);
    b->Done = OsMakeSemaphore(0);
    b->Thread = b->Go && b->Done ? OsStartThread(TakeSecondShare, b) : NULL;
    if (!b->Thread) {
        OsFreeSemaphore(b->Go);
        OsFreeSemaphore(b->Done);
        RsDecoderEnd(&h->Decoder);
        return;
    }
    h->First = b->Shares[0].End = r->FileCount / 2;
    h->End = r->FileCount;
    b->ShareCount = 2;
}

static void StopSecondShare(Rebuild *b)
{
    if (b->ShareCount < 2)
        return;
    b->Stop = 1;
    OsPost(b->Go);
    OsJoinThread(b->Thread);
    OsFreeSemaphore(b->Go);
    OsFreeSemaphore(b->Done);
    RsDecoderEnd(&b->Shares[1].Decoder);
}
#endif

// ---- The rebuild ------------------------------------------------------------

// One piece: [at, at + n) of every lost slice into Out, from the blocks and
// the present files.
static int DecodePiece(RepairSet *s, Rebuild *b, uint64_t at, uint32_t n)
{
    const Par2Reader *r = &s->Reader;
    RebuildShare *first = &b->Shares[0];
    unsigned j, k;

    for (j = 0; j < b->Count; j++) {
        const Par2ReadBlock *block = &r->Blocks[b->Chosen[j]];
        unsigned f = BlockFile(s, b->Chosen[j]);
        s->Failed = -1;
        if ((s->Error = RepairReadAt(b->Recovery[f], block->Offset - s->Starts[f] + at,
                                     first->Acc[j], n)))
            return REPAIR_UNREADABLE;
    }
    b->At = at;
    b->Size = n;
    for (k = 1; k < b->ShareCount; k++)
        for (j = 0; j < b->Count; j++)
            memset(b->Shares[k].Acc[j], 0, n);
#ifndef REPAIR_ONE_THREAD
    if (b->ShareCount > 1)
        OsPost(b->Go);
#endif
    TakeShare(b, first);
#ifndef REPAIR_ONE_THREAD
    if (b->ShareCount > 1) {
        RsTable sum;
        OsWaitFor(b->Done);
        RsTableBuild(&sum, 1);
        for (j = 0; j < b->Count; j++)
            RsMultiplyAdd(first->Acc[j], b->Shares[1].Acc[j], n, &sum);
    }
#endif
    // The first file that failed, in the set's order.
    for (k = 0; k < b->ShareCount; k++)
        if (b->Shares[k].Result) {
            s->Failed = b->Shares[k].Failed;
            s->Error = b->Shares[k].Error;
            return b->Shares[k].Result;
        }
    RsDecodePiece(&first->Decoder, first->Acc, b->Out, n);
    return REPAIR_OK;
}

// The buffers, as large as the budget allows and memory gives, for every
// share the rebuild may use; a piece is a whole number of words (the
// slice size is one too).
static int Allocate(Rebuild *b, unsigned count, uint64_t slice, uint32_t *piece)
{
    unsigned buffers = SHARES * (count + 1) + count;
    uint64_t p = PIECE_BUDGET / buffers;
    unsigned char *at;

    p = p > PIECE_MAX ? (uint64_t)PIECE_MAX : p < PIECE_MIN ? (uint64_t)PIECE_MIN : p;
    p = *piece ? *piece + 3 : p;
    p = (p < slice ? p : slice) & ~(uint64_t)3;
    while (!(b->Memory = malloc((size_t)p * buffers))) {
        if (p <= 4)
            return REPAIR_NO_MEMORY;
        p = p / 8 * 4;
    }
    *piece = (uint32_t)p;
    at = (unsigned char *)b->Memory;
    for (unsigned k = 0; k < SHARES; k++) {
        b->Shares[k].In = at;
        at += p;
        for (unsigned l = 0; l < count; l++, at += p)
            b->Shares[k].Acc[l] = at;
    }
    for (unsigned l = 0; l < count; l++, at += p)
        b->Out[l] = at;
    return REPAIR_OK;
}

int RepairRebuild(RepairSet *s, const unsigned *lost, unsigned count, RepairSink sink,
                  void *context)
{
    const Par2Reader *r = &s->Reader;
    unsigned char digest[MD5_DIGEST_SIZE];
    uint64_t at, slice = r->SliceSize;
    uint32_t piece = s->Piece, n;
    unsigned l;
    int spare, result = RepairAssess(s, lost, count, &spare);
    Rebuild *b;

    if (result || !count)
        return result;
    b = (Rebuild *)calloc(1, sizeof *b);
    if (!b)
        return REPAIR_NO_MEMORY;
    RepairChoose(s, lost, count, &b->Shares[0].Decoder, b->Chosen);
    b->Set = s;
    b->Count = count;
    b->ShareCount = 1;
    b->Shares[0].End = r->FileCount;
    result = Allocate(b, count, slice, &piece);
    if (!result)
        result = OpenFiles(s, b, lost, count);
#ifndef REPAIR_ONE_THREAD
    if (!result)
        StartSecondShare(b, lost);
#endif
    for (l = 0; l < count; l++) {
        Md5Begin(&b->Md5[l]);
        b->Crc[l] = 0;
    }
    for (at = 0; !result && at < slice; at += n) {
        n = slice - at < piece ? (uint32_t)(slice - at) : piece;
        result = DecodePiece(s, b, at, n);
        for (l = 0; !result && l < count; l++) {
            const Par2ReadFile *f = &r->Files[lost[l]];
            Md5Update(&b->Md5[l], b->Out[l], n);
            b->Crc[l] = Crc32Update(b->Crc[l], b->Out[l], n);
            if (at + n < slice)
                continue;
            Md5End(&b->Md5[l], digest);
            s->Failed = (int)lost[l];
            if (b->Crc[l] != f->SliceCrc || memcmp(digest, f->SliceHash, MD5_DIGEST_SIZE))
                result = REPAIR_MISMATCH;
        }
        for (l = 0; !result && l < count; l++) {
            uint64_t length = r->Files[lost[l]].Length, m = length > at ? length - at : 0;
            if (m && sink(context, l, at, b->Out[l], (size_t)(m < n ? m : n)))
                result = REPAIR_SINK_FAILED;
        }
    }
    if (!result)
        s->Failed = -1;
#ifndef REPAIR_ONE_THREAD
    StopSecondShare(b);
#endif
    CloseFiles(b);
    RsDecoderEnd(&b->Shares[0].Decoder);
    free(b->Memory);
    free(b);
    return result;
}
