// Rebuilding portion files from the recovery data (repair.h). In this file:
//   paths and the files of the folder;
//   RepairOpen: the recovery files found, sorted by set, the set chosen
//     and read;
//   RepairFind, RepairAssess: what the set holds and what can be done;
//   RepairRebuild: k blocks and the other files, decoded piece by piece.
// Every length and offset used for a read comes from the reader, which only
// keeps what lay inside the files it was fed, and each read is checked for
// the bytes it promised: a hostile or shortened file ends the rebuild.
#include "repair.h"

#include <stdlib.h>
#include <string.h>

#include "format/portion_file.h"
#include "format/slice_format.h"
#include "integrity/crc32.h"
#include "os/files.h"
#include "rs_decode.h"

enum {
    PIECE_BUDGET = 4 << 20,  // bytes of buffers a rebuild would like
    PIECE_MAX = 1 << 20,
    PIECE_MIN = 4096,
    CHOICES_TRIED = 64       // choices of blocks tried before giving up
};

static long PathOf(RepairSet *s, const char *name)
{
    size_t folder = strlen(s->Folder), length = strlen(name);

    if (folder + length >= REPAIR_PATH_SIZE)
        return OS_BUFFER_TOO_SMALL;
    memcpy(s->Path, s->Folder, folder);
    memcpy(s->Path + folder, name, length + 1);
    return 0;
}

// Opens the folder's file `name`, its length in *length.
static long OpenIn(RepairSet *s, const char *name, OsFile *file, uint64_t *length)
{
    long error = PathOf(s, name);

    if (error || (error = OsOpenRead(s->Path, file)))
        return error;
    error = OsFileSize(*file, length);
    if (error)
        OsClose(*file);
    return error;
}

// count bytes at offset of an open file. Returns 0 or the error.
static long ReadAt(OsFile file, uint64_t offset, unsigned char *to, uint32_t count)
{
    uint32_t got = 0;
    long error = OsSeek(file, offset);

    if (!error)
        error = OsRead(file, to, count, &got);
    return error ? error : got == count ? 0 : (long)OS_SOURCE_ENDED;
}

static int Upper(int c)
{
    return c >= 'a' && c <= 'z' ? c - 32 : c;
}

// The next name after `name` in the folder that ends in ".par2", into name.
static int NextRecoveryName(RepairSet *s, char *name)
{
    char found[PAR2_NAME_SIZE];
    size_t n;

    if (PathOf(s, "*"))
        return 0;
    while (!OsFindNext(s->Path, name, found, sizeof found)) {
        strcpy(name, found);
        n = strlen(found);
        if (n > 5 && found[n - 5] == '.' && Upper(found[n - 4]) == 'P' &&
            Upper(found[n - 3]) == 'A' && Upper(found[n - 2]) == 'R' && found[n - 1] == '2')
            return 1;
    }
    return 0;
}

// ---- Reading the recovery data ---------------------------------------------

// Feeds the recovery file `name` to the reader, all of it, or with `first`
// only up to its first intact packet. A hostile file that sends the search
// back again and again is read no more than four times over.
static void FeedFile(RepairSet *s, const char *name, unsigned char *buffer, uint32_t size,
                     int first)
{
    Par2Reader *r = &s->Reader;
    uint64_t length, start = r->Offset, budget;
    uint32_t got;
    OsFile file;

    if (OpenIn(s, name, &file, &length))
        return;
    Par2ReadStart(r, length);
    for (budget = 4 * length; r->Offset - start < length && budget > 0; budget -= got) {
        got = 0;
        if (OsSeek(file, r->Offset - start) || OsRead(file, buffer, size, &got) || !got ||
            got > budget)
            break;
        Par2ReadFeed(r, buffer, got);
        if (first && r->Packets + r->Foreign)
            break;
    }
    OsClose(file);
    r->Offset = start + length;
}

int RepairHeadMatches(const RepairSet *s, unsigned which, const char *path, unsigned char *buffer,
                      uint32_t size)
{
    const Par2ReadFile *f = &s->Reader.Files[which];
    unsigned char digest[MD5_DIGEST_SIZE];
    uint64_t length = 0;
    uint32_t got = 0, head = f->Length < PAR2_HEAD_SIZE ? (uint32_t)f->Length : (uint32_t)PAR2_HEAD_SIZE;
    OsFile file;

    if (OsOpenRead(path, &file))
        return -1;
    if (head <= size)
        ReadFileStart(file, buffer, head, &got, &length);
    OsClose(file);
    Md5Digest(buffer, got, digest);
    return length == f->Length && got == head && !memcmp(digest, f->Head, MD5_DIGEST_SIZE);
}

// Whether the folder's files agree with what the set describes: one of
// those there has its length and first 16 KiB, or none is there.
static int DescribesFolder(RepairSet *s, unsigned char *buffer, uint32_t size)
{
    int present = 0, match;

    for (unsigned i = 0; i < s->Reader.FileCount; i++) {
        if (PathOf(s, s->Reader.Files[i].Name))
            continue;
        match = RepairHeadMatches(s, i, s->Path, buffer, size);
        if (match > 0)
            return 1;
        present |= match == 0;
    }
    return !present;
}

// Reads the files of the set of file `which` into a fresh reader. Returns
// REPAIR_OK when that set describes the folder's files (and `wanted`).
static int ReadSet(RepairSet *s, unsigned which, const char *wanted, unsigned char *buffer,
                   uint32_t size, RepairNote note, void *context)
{
    const unsigned char *set = s->Sets[which];
    Par2Reader *r = &s->Reader;
    unsigned i;
    int result;

    Par2ReadBegin(r);
    Par2ReadWant(r, set);
    for (i = 0; i < s->NameCount; i++) {
        s->Starts[i] = UINT64_MAX;
        if (!memcmp(s->Sets[i], set, MD5_DIGEST_SIZE)) {
            s->Starts[i] = r->Offset;
            FeedFile(s, s->Names[i], buffer, size, 0);
        }
    }
    result = Par2ReadFinish(r);
    if (result == PAR2_UNSUPPORTED)
        return REPAIR_UNSUPPORTED;
    if (result != PAR2_OK && result != PAR2_NO_RECOVERY)
        return REPAIR_NONE;
    // Names are read from the folder given: none may lead out of it.
    for (i = 0; i < r->FileCount; i++)
        if (strpbrk(r->Files[i].Name, "/\\:"))
            return REPAIR_UNSUPPORTED;
    if (wanted[0] && RepairFind(s, wanted) < 0)
        return REPAIR_NONE;  // another set's, in the same folder
    if (DescribesFolder(s, buffer, size))
        return REPAIR_OK;
    // An earlier set of the same names: its files are named.
    for (i = 0; note && i < s->NameCount; i++)
        if (s->Starts[i] != UINT64_MAX)
            note(context, s->Names[i]);
    return REPAIR_NONE;
}

int RepairOpen(RepairSet *s, const char *folder, const char *wanted, unsigned char *buffer,
               uint32_t size, RepairNote note, void *context)
{
    unsigned i, j;
    int result = REPAIR_NONE, unsupported = 0;

    s->Folder = folder;
    s->Blocks = 0;
    s->Piece = 0;
    s->NameCount = 0;
    s->Failed = -1;
    s->Error = 0;
    Par2ReadBegin(&s->Reader);
    if (!size)
        return REPAIR_NONE;
    // Every recovery file, sorted by the set of its first intact packet.
    s->Names[0][0] = 0;
    while (s->NameCount < REPAIR_MAX_FILES && NextRecoveryName(s, s->Names[s->NameCount])) {
        Par2ReadBegin(&s->Reader);
        FeedFile(s, s->Names[s->NameCount], buffer, size, 1);
        if (!s->Reader.Packets)
            continue;
        memcpy(s->Sets[s->NameCount], s->Reader.FirstSet, MD5_DIGEST_SIZE);
        if (++s->NameCount < REPAIR_MAX_FILES)
            strcpy(s->Names[s->NameCount], s->Names[s->NameCount - 1]);
    }
    // The sets in the order their first files come.
    for (i = 0; i < s->NameCount && result != REPAIR_OK; i++) {
        for (j = 0; j < i && memcmp(s->Sets[j], s->Sets[i], MD5_DIGEST_SIZE); j++)
            ;
        if (j < i)
            continue;
        result = ReadSet(s, i, wanted, buffer, size, note, context);
        unsupported |= result == REPAIR_UNSUPPORTED;
    }
    if (result == REPAIR_OK)
        s->Blocks = s->Reader.BlockCount;
    else
        Par2ReadBegin(&s->Reader);
    return result == REPAIR_OK ? REPAIR_OK : unsupported ? REPAIR_UNSUPPORTED : REPAIR_NONE;
}

// ---- What the set holds -----------------------------------------------------

// Names compared as text: a file description written on another system
// (in its code page, or in UTF-8) names the same portion.
int RepairFind(const RepairSet *s, const char *name)
{
    unsigned i;

    for (i = 0; i < s->Reader.FileCount; i++)
        if (SameNamesAsText(s->Reader.Files[i].Name, name, 1))
            return (int)i;
    return -1;
}

// A choice of count blocks whose system can be solved, begun in d; tried
// in order (0, 1, ..., count - 1 first). 0 when none of those tried can.
static int Choose(const RepairSet *s, const unsigned *lost, unsigned count, RsDecoder *d,
                  unsigned *chosen)
{
    uint32_t exponents[RS_MAX_LOST];
    unsigned i, tries;
    int result;

    if (!count || count > s->Blocks || count > RS_MAX_LOST)
        return 0;
    for (i = 0; i < count; i++)
        chosen[i] = i;
    for (tries = 0; tries < CHOICES_TRIED; tries++) {
        for (i = 0; i < count; i++)
            exponents[i] = s->Reader.Blocks[chosen[i]].Exponent;
        result = RsDecoderBegin(d, lost, exponents, count);
        if (result == RS_OK)
            return 1;
        if (result != RS_SINGULAR)
            return 0;
        // The next choice in order: the last index that can move moves.
        for (i = count; i-- > 0 && chosen[i] == s->Blocks - count + i;)
            ;
        if (i == (unsigned)-1)
            return 0;
        for (chosen[i]++; ++i < count;)
            chosen[i] = chosen[i - 1] + 1;
    }
    return 0;
}

int RepairAssess(const RepairSet *s, const unsigned *lost, unsigned count, int *spare)
{
    unsigned chosen[RS_MAX_LOST];
    RsDecoder d;

    *spare = (int)s->Blocks - (int)count;
    for (unsigned i = 0; i < count; i++)
        if (!s->Reader.Files[lost[i]].Checked)
            return REPAIR_DAMAGED;
    if (!count)
        return REPAIR_OK;
    if (!Choose(s, lost, count, &d, chosen))
        return REPAIR_TOO_MANY;
    RsDecoderEnd(&d);
    return REPAIR_OK;
}

// ---- The rebuild ------------------------------------------------------------

// What a rebuild holds: the decoder, the open files, and the buffers:
// Acc[j] block j's piece, Out[l] lost file l's, In one present file's.
struct Rebuild {
    RsDecoder Decoder;
    unsigned Chosen[RS_MAX_LOST];
    OsFile Files[PAR2_MAX_FILES];       // the present files, 0 for the lost
    OsFile Recovery[REPAIR_MAX_FILES];  // the recovery files holding chosen blocks
    unsigned char *Acc[RS_MAX_LOST], *Out[RS_MAX_LOST], *In;
    Md5Context Md5[RS_MAX_LOST];
    uint32_t Crc[RS_MAX_LOST];
    void *Memory;
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
        if ((s->Error = OpenIn(s, r->Files[i].Name, &b->Files[i], &length)))
            return REPAIR_UNREADABLE;
        if (length != r->Files[i].Length)
            return REPAIR_WRONG_LENGTH;
    }
    s->Failed = -1;
    for (l = 0; l < count; l++) {
        unsigned f = BlockFile(s, b->Chosen[l]);
        if (!b->Recovery[f] && (s->Error = OpenIn(s, s->Names[f], &b->Recovery[f], &length)))
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

// One piece: [at, at + n) of every lost slice into Out, from the blocks and
// the present files.
static int DecodePiece(RepairSet *s, Rebuild *b, unsigned count, uint64_t at, uint32_t n)
{
    const Par2Reader *r = &s->Reader;
    unsigned i, j;

    for (j = 0; j < count; j++) {
        const Par2ReadBlock *block = &r->Blocks[b->Chosen[j]];
        unsigned f = BlockFile(s, b->Chosen[j]);
        s->Failed = -1;
        if ((s->Error = ReadAt(b->Recovery[f], block->Offset - s->Starts[f] + at, b->Acc[j], n)))
            return REPAIR_UNREADABLE;
    }
    for (i = 0; i < r->FileCount; i++) {
        uint64_t m = r->Files[i].Length > at ? r->Files[i].Length - at : 0;
        if (!b->Files[i] || !m)
            continue;
        m = m < n ? m : n;
        s->Failed = (int)i;
        if ((s->Error = ReadAt(b->Files[i], at, b->In, (uint32_t)m)))
            return REPAIR_UNREADABLE;
        for (j = 0; j < count; j++)
            RsDecoderRemoveSlice(&b->Decoder, j, i, b->In, (size_t)m, b->Acc[j]);
    }
    RsDecodePiece(&b->Decoder, b->Acc, b->Out, n);
    return REPAIR_OK;
}

// The buffers, as large as the budget allows and memory gives; a piece is
// a whole number of words (the slice size is one too).
static int Allocate(Rebuild *b, unsigned count, uint64_t slice, uint32_t *piece)
{
    uint64_t p = PIECE_BUDGET / (2 * count + 1);

    p = p > PIECE_MAX ? (uint64_t)PIECE_MAX : p < PIECE_MIN ? (uint64_t)PIECE_MIN : p;
    p = *piece ? *piece + 3 : p;
    p = (p < slice ? p : slice) & ~(uint64_t)3;
    while (!(b->Memory = malloc((size_t)p * (2 * count + 1)))) {
        if (p <= 4)
            return REPAIR_NO_MEMORY;
        p = p / 8 * 4;
    }
    *piece = (uint32_t)p;
    b->In = (unsigned char *)b->Memory;
    for (unsigned l = 0; l < count; l++) {
        b->Acc[l] = b->In + (size_t)p * (1 + l);
        b->Out[l] = b->In + (size_t)p * (1 + count + l);
    }
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
    Choose(s, lost, count, &b->Decoder, b->Chosen);
    result = Allocate(b, count, slice, &piece);
    if (!result)
        result = OpenFiles(s, b, lost, count);
    for (l = 0; l < count; l++) {
        Md5Begin(&b->Md5[l]);
        b->Crc[l] = 0;
    }
    for (at = 0; !result && at < slice; at += n) {
        n = slice - at < piece ? (uint32_t)(slice - at) : piece;
        result = DecodePiece(s, b, count, at, n);
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
    CloseFiles(b);
    RsDecoderEnd(&b->Decoder);
    free(b->Memory);
    free(b);
    return result;
}
