// PAR2 recovery data, the writer the Linux dorvane uses (declared in
// par2.h). In this file:
//   GF(2^16): exponential and logarithm tables, the slices' constants;
//   the writer: per-file MD5s and CRC-32s, the recovery blocks (XOR for
//     exponent 0; for the others a multiply-add through two 256-entry
//     tables per exponent, one for each byte of a 16-bit word);
//   serialising the index file and the recovery file.
// Recovery block e is the sum over the input slices i of c_i^e times slice
// i, word by word (16-bit little-endian words). The slices are numbered in
// the main packet's order, which is file ID order, and slice i's constant
// c_i is 2 to the power of the i-th positive number that shares no factor
// with 65535 (1, 2, 4, 7, 8, 11, ...).
#include "recovery/par2.h"
#include "md5_lanes.h"

#include <string.h>

// The field, built once before any writer runs (Begin builds it; later
// readers only read it): Exp[n] = 2^n, Log[Exp[n]] = n, Exp[65535] = 1.
static struct {
    int Ready;
    uint16_t Exp[65536];
    uint16_t Log[65536];
} Field;

static void BuildField()
{
    uint32_t v = 1;
    if (Field.Ready)
        return;
    for (unsigned n = 0; n < 65535; n++) {
        Field.Exp[n] = (uint16_t)v;
        Field.Log[v] = (uint16_t)n;
        v <<= 1;
        if (v & 0x10000)
            v ^= 0x1100B;
    }
    Field.Exp[65535] = 1;
    Field.Ready = 1;
}

uint16_t Par2GfMultiply(uint16_t a, uint16_t b)
{
    BuildField();
    if (!a || !b)
        return 0;
    return Field.Exp[((uint32_t)Field.Log[a] + Field.Log[b]) % 65535];
}

uint16_t Par2GfInverse(uint16_t a)
{
    BuildField();
    return Field.Exp[(65535 - Field.Log[a]) % 65535];
}

uint16_t Par2SliceLog(unsigned n)
{
    unsigned log = 0;
    for (;;) {
        log++;
        if (log % 3 && log % 5 && log % 17 && log % 257 && n-- == 0)
            return (uint16_t)log;
    }
}

static void Put32(unsigned char *p, uint32_t v)
{
    for (int i = 0; i < 4; i++)
        p[i] = (unsigned char)(v >> (8 * i));
}

static void Put64(unsigned char *p, uint64_t v)
{
    Put32(p, (uint32_t)v);
    Put32(p + 4, (uint32_t)(v >> 32));
}

// --- streaming ------------------------------------------------------------

int Par2WriterBegin(Par2Writer *w, uint64_t sliceSize, unsigned recoveryCount,
                    unsigned char *blocks, Par2CrcFunction crc, const char *creator)
{
    if (!sliceSize || sliceSize % 4 || recoveryCount < 1 || recoveryCount > PAR2_MAX_RECOVERY ||
        sliceSize > (size_t)-1 / recoveryCount || !blocks || !crc)
        return PAR2_BAD_ARGUMENT;
    BuildField();
    memset(w, 0, sizeof *w);
    w->SliceSize = sliceSize;
    w->RecoveryCount = recoveryCount;
    w->Blocks = blocks;
    w->Crc = crc;
    w->Creator = creator ? creator : "";
    w->TableFile = -1;
    memset(blocks, 0, (size_t)sliceSize * recoveryCount);
    return PAR2_OK;
}

int Par2WriterAddFile(Par2Writer *w, const char *name, uint64_t length)
{
    size_t n = strlen(name);
    Par2WriterFile *f;
    if (w->Ordered || w->Finished || w->FileCount == PAR2_MAX_FILES || n == 0 ||
        n >= PAR2_NAME_SIZE || length == 0 || length > w->SliceSize)
        return PAR2_BAD_ARGUMENT;
    for (unsigned i = 0; i < w->FileCount; i++)
        if (!strcmp(w->Files[i].Name, name))
            return PAR2_BAD_ARGUMENT;
    f = &w->Files[w->FileCount];
    memcpy(f->Name, name, n + 1);
    f->Length = length;
    Md5Begin(&f->Whole);
    w->FileCount++;
    return PAR2_OK;
}

int Par2WriterPrime(Par2Writer *w, unsigned file, const void *head, size_t size)
{
    Par2WriterFile *f;
    if (file >= w->FileCount || w->Ordered)
        return PAR2_BAD_ARGUMENT;
    f = &w->Files[file];
    if (size != (f->Length < (uint64_t)PAR2_HEAD_SIZE ? f->Length : (uint64_t)PAR2_HEAD_SIZE))
        return PAR2_BAD_ARGUMENT;
    Md5Digest(head, size, f->Head);
    f->Primed = 1;
    return PAR2_OK;
}

// A head digest read in the stream: it stands where none was given ahead,
// and where one was, a difference means the file changed between the reads.
// (Never written over a given one, so Accumulate may read it meanwhile.)
static void SeeHead(Par2WriterFile *f, const unsigned char *digest)
{
    if (f->Primed) {
        if (memcmp(f->Head, digest, MD5_DIGEST_SIZE))
            f->Changed = 1;
        return;
    }
    memcpy(f->Head, digest, MD5_DIGEST_SIZE);
    f->Primed = 1;
}

// The head digest of a stream that has just taken its first 16 KiB.
static void SeeStreamHead(Par2WriterFile *f)
{
    Md5Context head = f->Whole;
    unsigned char digest[MD5_DIGEST_SIZE];

    Md5End(&head, digest);
    SeeHead(f, digest);
}

int Par2WriterHash(Par2Writer *w, unsigned file, const void *data, size_t size)
{
    const unsigned char *p = (const unsigned char *)data;
    Par2WriterFile *f;
    if (file >= w->FileCount || w->Finished)
        return PAR2_BAD_ARGUMENT;
    f = &w->Files[file];
    if (size > f->Length - f->Hashed)
        return PAR2_TOO_MUCH_DATA;
    f->Crc = w->Crc(f->Crc, p, size);
    if (f->Hashed < PAR2_HEAD_SIZE && f->Hashed + size >= PAR2_HEAD_SIZE) {
        size_t first = (size_t)(PAR2_HEAD_SIZE - f->Hashed);
        Md5Update(&f->Whole, p, first);
        SeeStreamHead(f);
        Md5Update(&f->Whole, p + first, size - first);
    } else {
        Md5Update(&f->Whole, p, size);
    }
    f->Hashed += size;
    return PAR2_OK;
}

int Par2WriterHashLanes(Par2Writer *w, const unsigned *files, const unsigned char *const *data,
                        unsigned count, size_t size)
{
    Md5Context *contexts[MD5_MAX_LANES];
    Par2WriterFile *f;
    size_t at, step;
    unsigned i;

    if (count < 2 || count > MD5_MAX_LANES || size % 64 || w->Finished)
        return PAR2_BAD_ARGUMENT;
    for (i = 0; i < count; i++) {
        if (files[i] >= w->FileCount)
            return PAR2_BAD_ARGUMENT;
        f = &w->Files[files[i]];
        for (unsigned j = 0; j < i; j++)
            if (files[j] == files[i])
                return PAR2_BAD_ARGUMENT;
        if (f->Hashed % 64)
            return PAR2_BAD_ARGUMENT;
        if (size > f->Length - f->Hashed)
            return PAR2_TOO_MUCH_DATA;
        contexts[i] = &f->Whole;
    }
    for (i = 0; i < count; i++) {
        f = &w->Files[files[i]];
        f->Crc = w->Crc(f->Crc, data[i], size);
    }
    // In steps that end where a file's first 16 KiB do, to take their digest.
    for (at = 0; at < size; at += step) {
        const unsigned char *p[MD5_MAX_LANES];
        step = size - at;
        for (i = 0; i < count; i++) {
            uint64_t done = w->Files[files[i]].Hashed + at;
            if (done < PAR2_HEAD_SIZE && PAR2_HEAD_SIZE - done < step)
                step = (size_t)(PAR2_HEAD_SIZE - done);
            p[i] = data[i] + at;
        }
        Md5UpdateLanes(contexts, p, count, step);
        for (i = 0; i < count; i++) {
            f = &w->Files[files[i]];
            if (f->Hashed + at + step == PAR2_HEAD_SIZE)
                SeeStreamHead(f);
        }
    }
    for (i = 0; i < count; i++)
        w->Files[files[i]].Hashed += size;
    return PAR2_OK;
}

// File IDs from the head digests, the files sorted by them as 16-byte
// little-endian numbers, and each file's slice constant from its place.
static void OrderFiles(Par2Writer *w)
{
    for (unsigned i = 0; i < w->FileCount; i++) {
        Par2WriterFile *f = &w->Files[i];
        unsigned char length[8];
        Md5Context c;
        Put64(length, f->Length);
        Md5Begin(&c);
        Md5Update(&c, f->Head, MD5_DIGEST_SIZE);
        Md5Update(&c, length, 8);
        Md5Update(&c, f->Name, strlen(f->Name));
        Md5End(&c, f->Id);
    }
    for (unsigned i = 0; i < w->FileCount; i++) {
        unsigned j = i;
        for (; j > 0; j--) {
            const unsigned char *a = w->Files[w->Order[j - 1]].Id, *b = w->Files[i].Id;
            int k = MD5_DIGEST_SIZE - 1;
            while (k > 0 && a[k] == b[k])
                k--;
            if (a[k] < b[k])
                break;
            w->Order[j] = w->Order[j - 1];
        }
        w->Order[j] = (unsigned char)i;
    }
    for (unsigned k = 0; k < w->FileCount; k++)
        w->Files[w->Order[k]].Log = Par2SliceLog(k);
    w->Ordered = 1;
    w->TableFile = -1;
}

// Blocks beyond the first need each file's constant, so its place among
// the file IDs, before its first byte is added.
static int ReadyToAccumulate(Par2Writer *w, unsigned file)
{
    if (file >= w->FileCount || w->Finished)
        return PAR2_BAD_ARGUMENT;
    if (w->RecoveryCount > 1 && !w->Ordered) {
        for (unsigned i = 0; i < w->FileCount; i++)
            if (!w->Files[i].Primed)
                return PAR2_NOT_PRIMED;
        OrderFiles(w);
    }
    return PAR2_OK;
}

// block[pos...] += coefficient * data, one byte at a time into 16-bit
// little-endian words: a byte at an even position is a word's low byte.
static void MultiplyAdd(unsigned char *block, uint64_t pos, const unsigned char *d, size_t n,
                        const uint16_t *low, const uint16_t *high)
{
    unsigned char *out = block + pos - (pos & 1);
    uint16_t v;
    if (n && (pos & 1)) {
        v = high[*d++];
        out[0] ^= (unsigned char)v;
        out[1] ^= (unsigned char)(v >> 8);
        out += 2;
        n--;
    }
    for (; n >= 2; n -= 2, d += 2, out += 2) {
        v = low[d[0]] ^ high[d[1]];
        out[0] ^= (unsigned char)v;
        out[1] ^= (unsigned char)(v >> 8);
    }
    if (n) {
        // The slice size is a multiple of 4, so the word's high byte exists.
        v = low[d[0]];
        out[0] ^= (unsigned char)v;
        out[1] ^= (unsigned char)(v >> 8);
    }
}

int Par2WriterAccumulate(Par2Writer *w, unsigned file, const void *data, size_t size)
{
    int result = ReadyToAccumulate(w, file);
    Par2WriterFile *f;
    if (result)
        return result;
    f = &w->Files[file];
    if (size > f->Length - f->Accumulated)
        return PAR2_TOO_MUCH_DATA;
    Par2Xor(w->Blocks + f->Accumulated, data, size);
    if (w->RecoveryCount > 1 && w->TableFile != (int)file) {
        for (unsigned e = 1; e < w->RecoveryCount; e++) {
            uint16_t c = Field.Exp[(uint32_t)f->Log * e % 65535];
            for (unsigned b = 0; b < 256; b++) {
                w->Low[e][b] = Par2GfMultiply(c, (uint16_t)b);
                w->High[e][b] = Par2GfMultiply(c, (uint16_t)(b << 8));
            }
        }
        w->TableFile = (int)file;
    }
    for (unsigned e = 1; e < w->RecoveryCount; e++)
        MultiplyAdd(w->Blocks + (size_t)w->SliceSize * e, f->Accumulated,
                    (const unsigned char *)data, size, w->Low[e], w->High[e]);
    f->Accumulated += size;
    return PAR2_OK;
}

int Par2WriterFeed(Par2Writer *w, unsigned file, const void *data, size_t size)
{
    int result = ReadyToAccumulate(w, file);
    if (result == PAR2_OK)
        result = Par2WriterHash(w, file, data, size);
    return result ? result : Par2WriterAccumulate(w, file, data, size);
}

int Par2WriterFinish(Par2Writer *w)
{
    static const unsigned char Zeros[4096] = {0};
    if (w->Finished || w->FileCount == 0)
        return PAR2_BAD_ARGUMENT;
    for (unsigned i = 0; i < w->FileCount; i++) {
        Par2WriterFile *f = &w->Files[i];
        Md5Context c = f->Whole;
        if (f->Hashed != f->Length || f->Accumulated != f->Length)
            return PAR2_SHORT_FILE;
        Md5End(&c, f->Hash);
        if (f->Length < PAR2_HEAD_SIZE)
            SeeHead(f, f->Hash);
        if (f->Changed)
            return PAR2_FILE_CHANGED;
        // The slice's checksums cover the zeros that pad it.
        c = f->Whole;
        f->SliceCrc = f->Crc;
        for (uint64_t left = w->SliceSize - f->Length; left;) {
            size_t take = left < sizeof Zeros ? (size_t)left : sizeof Zeros;
            Md5Update(&c, Zeros, take);
            f->SliceCrc = w->Crc(f->SliceCrc, Zeros, take);
            left -= take;
        }
        Md5End(&c, f->SliceHash);
    }
    if (!w->Ordered)
        OrderFiles(w);
    // The set ID is the digest of the main packet's body.
    unsigned char *body = w->Packet + 64;
    Put64(body, w->SliceSize);
    Put32(body + 8, w->FileCount);
    for (unsigned k = 0; k < w->FileCount; k++)
        memcpy(body + 12 + 16 * k, w->Files[w->Order[k]].Id, MD5_DIGEST_SIZE);
    Md5Digest(body, 12 + 16 * (size_t)w->FileCount, w->SetId);
    w->Finished = 1;
    return PAR2_OK;
}

int Par2WriterWiden(Par2Writer *w, uint64_t sliceSize, unsigned char *blocks)
{
    if (w->Finished || w->RecoveryCount != 1 || sliceSize < w->SliceSize || sliceSize % 4 ||
        sliceSize > (size_t)-1 || !blocks)
        return PAR2_BAD_ARGUMENT;
    memset(blocks + w->SliceSize, 0, (size_t)(sliceSize - w->SliceSize));
    w->Blocks = blocks;
    w->SliceSize = sliceSize;
    return PAR2_OK;
}

// --- serialising ----------------------------------------------------------

// The header for a body already in w->Packet + 64, and the whole packet out.
static int SendPacket(Par2Writer *w, const unsigned char *type, size_t body, Par2Sink sink,
                      void *context)
{
    unsigned char *p = w->Packet;
    memcpy(p, Par2Magic, 8);
    Put64(p + 8, 64 + body);
    memcpy(p + 32, w->SetId, MD5_DIGEST_SIZE);
    memcpy(p + 48, type, 16);
    Md5Digest(p + 32, 32 + body, p + 16);
    return sink(context, p, 64 + body) ? PAR2_SINK_FAILED : PAR2_OK;
}

// Text padded with zeros to whole words; returns the padded length.
static size_t PutText(unsigned char *p, const char *text, size_t limit)
{
    size_t n = strlen(text) < limit ? strlen(text) : limit;
    memcpy(p, text, n);
    memset(p + n, 0, 3);
    return (n + 3) & ~(size_t)3;
}

static int SendCritical(Par2Writer *w, Par2Sink sink, void *context)
{
    unsigned char *body = w->Packet + 64;
    int result;
    Put64(body, w->SliceSize);
    Put32(body + 8, w->FileCount);
    for (unsigned k = 0; k < w->FileCount; k++)
        memcpy(body + 12 + 16 * k, w->Files[w->Order[k]].Id, MD5_DIGEST_SIZE);
    result = SendPacket(w, Par2TypeMain, 12 + 16 * (size_t)w->FileCount, sink, context);
    for (unsigned k = 0; k < w->FileCount && !result; k++) {
        const Par2WriterFile *f = &w->Files[w->Order[k]];
        memcpy(body, f->Id, MD5_DIGEST_SIZE);
        memcpy(body + 16, f->Hash, MD5_DIGEST_SIZE);
        memcpy(body + 32, f->Head, MD5_DIGEST_SIZE);
        Put64(body + 48, f->Length);
        result = SendPacket(w, Par2TypeFileDesc, 56 + PutText(body + 56, f->Name, PAR2_NAME_SIZE),
                            sink, context);
        if (result)
            break;
        memcpy(body, f->Id, MD5_DIGEST_SIZE);
        memcpy(body + 16, f->SliceHash, MD5_DIGEST_SIZE);
        Put32(body + 32, f->SliceCrc);
        result = SendPacket(w, Par2TypeSliceChecksums, 36, sink, context);
    }
    if (!result)
        result = SendPacket(w, Par2TypeCreator, PutText(body, w->Creator, 200), sink, context);
    return result;
}

int Par2WriteIndex(Par2Writer *w, Par2Sink sink, void *context)
{
    return w->Finished ? SendCritical(w, sink, context) : PAR2_BAD_ARGUMENT;
}

int Par2WriteRecovery(Par2Writer *w, Par2Sink sink, void *context)
{
    int result = w->Finished ? SendCritical(w, sink, context) : PAR2_BAD_ARGUMENT;
    for (unsigned e = 0; e < w->RecoveryCount && !result; e++) {
        unsigned char *p = w->Packet;
        const unsigned char *block = w->Blocks + (size_t)w->SliceSize * e;
        Md5Context c;
        memcpy(p, Par2Magic, 8);
        Put64(p + 8, 68 + w->SliceSize);
        memcpy(p + 32, w->SetId, MD5_DIGEST_SIZE);
        memcpy(p + 48, Par2TypeRecovery, 16);
        Put32(p + 64, e);
        Md5Begin(&c);
        Md5Update(&c, p + 32, 36);
        Md5Update(&c, block, (size_t)w->SliceSize);
        Md5End(&c, p + 16);
        if (sink(context, p, 68) || sink(context, block, (size_t)w->SliceSize))
            return PAR2_SINK_FAILED;
        result = SendCritical(w, sink, context);
    }
    return result;
}
