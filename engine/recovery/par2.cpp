// PAR2 recovery data, the part both joiners carry (the writer is in
// par2_write.cpp). In this file:
//   the packets' magic and types, and the file names of the recovery data;
//   the reader: a byte-stream parser that checks each packet's length and
//     MD5 (a damaged one is searched for the next magic inside it) and
//     keeps the main packet, the file descriptions, the slice checksums and
//     where each recovery block lies;
//   Par2Xor, the one step of a rebuild.
// Hostile input: every length read from the stream only counts bytes down
// and is bounded by the file's end; nothing is indexed by it, so no input
// can make the reader overrun.
#include "par2.h"

#include <string.h>

const unsigned char Par2Magic[8] = {'P', 'A', 'R', '2', 0, 'P', 'K', 'T'};
const unsigned char Par2TypeMain[16] = "PAR 2.0\0Main\0\0\0";
const unsigned char Par2TypeFileDesc[16] = {'P', 'A', 'R', ' ', '2', '.', '0', 0,
                                            'F', 'i', 'l', 'e', 'D', 'e', 's', 'c'};
const unsigned char Par2TypeSliceChecksums[16] = "PAR 2.0\0IFSC\0\0\0";
const unsigned char Par2TypeRecovery[16] = {'P', 'A', 'R', ' ', '2', '.', '0', 0,
                                            'R', 'e', 'c', 'v', 'S', 'l', 'i', 'c'};
const unsigned char Par2TypeCreator[16] = "PAR 2.0\0Creator";

static uint32_t Get32(const unsigned char *p)
{
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

static uint64_t Get64(const unsigned char *p)
{
    return Get32(p) | (uint64_t)Get32(p + 4) << 32;
}

uint64_t Par2SliceSize(uint64_t length)
{
    return (length + 3) & ~(uint64_t)3;
}

// The stem both names share: the source's name, cut where the longest
// suffix (".vol00+10.par2") would pass 255 bytes, so that a tool given the
// index finds the recovery files beside it by that stem, whatever the count.
// Where cut, never inside a character of UTF-8, and never just before a dot
// of a source ending in ".par2" (letter case aside): a name could then be
// the source's own (all the suffixes start with a dot and end in ".par2").
static size_t StemLength(const char *source)
{
    static const char Par2[] = ".PAR2";
    size_t length = strlen(source), keep = length, i;
    int endsPar2 = length >= 5;

    for (i = 0; endsPar2 && i < 5; i++)
        endsPar2 = (source[length - 5 + i] & ~0x20) == (Par2[i] & ~0x20);
    if (keep > PAR2_STEM_MAX)
        keep = PAR2_STEM_MAX;
    while (keep > 0 && keep < length &&
           (((unsigned char)source[keep] & 0xC0) == 0x80 || (source[keep] == '.' && endsPar2)))
        keep--;
    return keep;
}

int Par2FileNames(const char *source, unsigned count, char *index, char *recovery)
{
    // Both numbers as wide as the count: ".vol0+3.par2", ".vol00+10.par2".
    char suffix[16] = ".vol0";
    char *p = suffix + 5;
    size_t stem = StemLength(source);
    if (!stem || count < 1 || count > PAR2_MAX_RECOVERY)
        return PAR2_BAD_ARGUMENT;
    if (count > 9) {
        *p++ = '0';
        *p++ = '+';
        *p++ = (char)('0' + count / 10);
    } else {
        *p++ = '+';
    }
    *p++ = (char)('0' + count % 10);
    memcpy(p, ".par2", 6);
    memcpy(index, source, stem);
    memcpy(index + stem, ".par2", 6);
    memcpy(recovery, source, stem);
    memcpy(recovery + stem, suffix, strlen(suffix) + 1);
    return PAR2_OK;
}

// --- reader ---------------------------------------------------------------

void Par2ReadBegin(Par2Reader *r)
{
    memset(r, 0, sizeof *r);
    r->End = UINT64_MAX;
}

void Par2ReadWant(Par2Reader *r, const unsigned char set[MD5_DIGEST_SIZE])
{
    r->Wanted = 1;
    memcpy(r->SetId, set, MD5_DIGEST_SIZE);
}

void Par2ReadStart(Par2Reader *r, uint64_t size)
{
    r->HeaderFill = 0;
    r->End = r->Offset + size;
}

static Par2ReadFile *FindFile(Par2Reader *r, const unsigned char *id)
{
    unsigned i;
    for (i = 0; i < r->FileCount; i++)
        if (!memcmp(r->Files[i].Id, id, MD5_DIGEST_SIZE))
            return &r->Files[i];
    if (r->FileCount == PAR2_MAX_FILES)
        return 0;
    memcpy(r->Files[i].Id, id, MD5_DIGEST_SIZE);
    return &r->Files[r->FileCount++];
}

static void KeepMain(Par2Reader *r, const unsigned char *set, const unsigned char *b, size_t n)
{
    unsigned char digest[MD5_DIGEST_SIZE];
    uint64_t count;
    if (r->HaveMain || n < 12 || n > PAR2_READ_BODY)
        return;
    count = Get32(b + 8);
    // The set ID is the digest of the main packet's body: a second check.
    Md5Digest(b, n, digest);
    if (count < 1 || count > PAR2_MAX_FILES || 12 + 16 * count > n || (n - 12) % 16 ||
        Get64(b) == 0 || Get64(b) % 4 || memcmp(digest, set, MD5_DIGEST_SIZE))
        return;
    r->HaveMain = 1;
    memcpy(r->SetId, set, MD5_DIGEST_SIZE);
    r->SliceSize = Get64(b);
    r->MainCount = (unsigned)count;
    memcpy(r->MainIds, b + 12, 16 * (size_t)count);
}

// File ID, file MD5, first 16 KiB's MD5, length, name padded to 4 bytes.
static void KeepDescription(Par2Reader *r, const unsigned char *b, size_t n)
{
    unsigned char id[MD5_DIGEST_SIZE];
    Md5Context c;
    Par2ReadFile *f;
    size_t length = 0;
    if (n < 60 || n > 56 + PAR2_NAME_SIZE)
        return;
    while (56 + length < n && b[56 + length])
        length++;
    if (length == 0 || length >= PAR2_NAME_SIZE)
        return;
    // The file ID is the digest of the 16 KiB digest, length and name.
    Md5Begin(&c);
    Md5Update(&c, b + 32, 24 + length);
    Md5End(&c, id);
    if (memcmp(id, b, MD5_DIGEST_SIZE) || !(f = FindFile(r, b)))
        return;
    memcpy(f->Name, b + 56, length);
    f->Name[length] = 0;
    memcpy(f->Head, b + 32, MD5_DIGEST_SIZE);
    f->Length = Get64(b + 48);
    f->Described = 1;
}

// File ID, then the slice's MD5 and CRC-32: kept for one-slice files only;
// once the main packet is known, its set's win over any other's.
static void KeepChecksums(Par2Reader *r, const unsigned char *set, const unsigned char *b,
                          size_t n)
{
    Par2ReadFile *f;
    if (n != 36 || !(f = FindFile(r, b)))
        return;
    if (f->Checked && !(r->HaveMain && memcmp(f->ChecksumSet, r->SetId, MD5_DIGEST_SIZE) &&
                        !memcmp(set, r->SetId, MD5_DIGEST_SIZE)))
        return;
    memcpy(f->SliceHash, b + 16, MD5_DIGEST_SIZE);
    f->SliceCrc = Get32(b + 32);
    memcpy(f->ChecksumSet, set, MD5_DIGEST_SIZE);
    f->Checked = 1;
}

// The first block of each exponent and set; the set and the length are
// sorted out by Finish (a block may come before its main packet).
static void KeepRecovery(Par2Reader *r, const unsigned char *set, uint32_t e)
{
    Par2ReadBlock *b = r->Blocks;
    for (unsigned i = 0; i < r->BlockCount; i++)
        if (b[i].Exponent == e && !memcmp(b[i].Set, set, MD5_DIGEST_SIZE))
            return;
    if (r->BlockCount == PAR2_MAX_BLOCKS)
        return;
    b += r->BlockCount++;
    b->Offset = r->PacketStart + 68;
    b->Length = r->BodyFill - 4;
    b->Exponent = e;
    memcpy(b->Set, set, MD5_DIGEST_SIZE);
}

// Whether the packet now read whole is intact; if so its contents are kept.
static int EndPacket(Par2Reader *r)
{
    unsigned char digest[MD5_DIGEST_SIZE];
    const unsigned char *set = r->Header + 32, *type = r->Header + 48;
    size_t n = r->BodyFill <= PAR2_READ_BODY ? (size_t)r->BodyFill : 0;

    r->HeaderFill = 0;
    Md5End(&r->Md5, digest);
    if (memcmp(digest, r->Header + 16, MD5_DIGEST_SIZE))
        return 0;
    if (r->Packets + r->Foreign == 0)
        memcpy(r->FirstSet, set, MD5_DIGEST_SIZE);
    if (r->Wanted && memcmp(set, r->SetId, MD5_DIGEST_SIZE)) {
        r->Foreign++;
        return 1;
    }
    r->Packets++;
    if (!memcmp(type, Par2TypeMain, 16))
        KeepMain(r, set, r->Body, n);
    else if (!memcmp(type, Par2TypeFileDesc, 16))
        KeepDescription(r, r->Body, n);
    else if (!memcmp(type, Par2TypeSliceChecksums, 16))
        KeepChecksums(r, set, r->Body, n);
    else if (!memcmp(type, Par2TypeRecovery, 16) && r->BodyFill >= 4)
        KeepRecovery(r, set, Get32(r->Body));
    return 1;
}

// A full header: its length must be whole words, cover the header and end
// within the file.
static int StartBody(Par2Reader *r)
{
    uint64_t length = Get64(r->Header + 8);
    if (length < 64 || length % 4 || length > r->End - r->PacketStart)
        return 0;
    r->BodyLeft = length - 64;
    r->BodyFill = 0;
    Md5Begin(&r->Md5);
    Md5Update(&r->Md5, r->Header + 32, 32);
    return r->BodyLeft || EndPacket(r);
}

// The magic after `matched` of its bytes and then c: how many now match.
// Only its 'P's start it anew ("PAR2\0P" then 'A' is "PA").
static unsigned Step(unsigned matched, unsigned char c)
{
    if (c == Par2Magic[matched])
        return matched + 1;
    if (matched == 6 && c == 'A')
        return 2;
    return c == 'P';
}

// Looks for a magic in the packet's bytes p[0..n), which end at stream
// offset `end`: where the next packet starts should this one be damaged.
static void ScanInside(Par2Reader *r, const unsigned char *p, size_t n, uint64_t end)
{
    size_t i = 0;
    while (i < n && !r->Inner) {
        if (!r->Match) {
            const unsigned char *q = (const unsigned char *)memchr(p + i, 'P', n - i);
            if (!q)
                return;
            i = (size_t)(q - p);
        }
        r->Match = Step(r->Match, p[i++]);
        if (r->Match == 8)
            r->Inner = end - n + i - 8;
    }
}

void Par2ReadFeed(Par2Reader *r, const void *data, size_t size)
{
    const unsigned char *first = (const unsigned char *)data, *p = first;
    const uint64_t base = r->Offset, total = size;
    size_t take;
    int intact, inHeader;

    while (size) {
        if (r->HeaderFill < 8) {
            r->HeaderFill = Step(r->HeaderFill, *p++);
            size--;
            r->Offset++;
            r->PacketStart = r->Offset - r->HeaderFill;
            r->Match = 0;
            r->Inner = 0;
            continue;
        }
        inHeader = r->HeaderFill < 64;
        if (inHeader) {
            take = 64 - r->HeaderFill < size ? 64 - r->HeaderFill : size;
            memcpy(r->Header + r->HeaderFill, p, take);
            r->HeaderFill += (unsigned)take;
        } else {
            take = r->BodyLeft < size ? (size_t)r->BodyLeft : size;
            if (r->BodyFill < PAR2_READ_BODY) {
                size_t room = PAR2_READ_BODY - (size_t)r->BodyFill;
                memcpy(r->Body + r->BodyFill, p, take < room ? take : room);
            }
            Md5Update(&r->Md5, p, take);
            r->BodyFill += take;
            r->BodyLeft -= take;
        }
        r->Offset += take;
        ScanInside(r, p, take, r->Offset);
        p += take;
        size -= take;
        if (inHeader ? r->HeaderFill < 64 : r->BodyLeft > 0)
            continue;
        intact = inHeader ? StartBody(r) : EndPacket(r);
        if (intact)
            continue;
        // Damaged: the search goes on from the first magic inside it, or,
        // where there was none, with the magic's bytes matched at its end.
        r->HeaderFill = r->Inner ? 0 : r->Match;
        r->PacketStart = r->Offset - r->HeaderFill;
        if (!r->Inner)
            continue;
        r->Offset = r->Inner;
        if (r->Inner < base)
            return;
        p = first + (r->Inner - base);
        size = (size_t)(total - (r->Inner - base));
    }
}

int Par2ReadFinish(Par2Reader *r)
{
    unsigned i, j, kept = 0;
    // The main packet's blocks, whole: none where there is no main packet.
    for (i = 0; i < r->BlockCount; i++)
        if (r->HaveMain && r->Blocks[i].Length == r->SliceSize &&
            !memcmp(r->Blocks[i].Set, r->SetId, MD5_DIGEST_SIZE))
            r->Blocks[kept++] = r->Blocks[i];
    r->BlockCount = kept;
    if (!r->HaveMain)
        return PAR2_NO_MAIN;
    // The files in the main packet's order, each described.
    for (i = 0; i < r->MainCount; i++) {
        Par2ReadFile swap;
        for (j = i; j < r->FileCount; j++)
            if (r->Files[j].Described && !memcmp(r->Files[j].Id, r->MainIds[i], MD5_DIGEST_SIZE))
                break;
        if (j == r->FileCount)
            return PAR2_NO_DESCRIPTION;
        swap = r->Files[i];
        r->Files[i] = r->Files[j];
        r->Files[j] = swap;
        if (r->Files[i].Length > r->SliceSize)
            return PAR2_UNSUPPORTED;
        if (memcmp(r->Files[i].ChecksumSet, r->SetId, MD5_DIGEST_SIZE))
            r->Files[i].Checked = 0;
    }
    r->FileCount = r->MainCount;
    return kept ? PAR2_OK : PAR2_NO_RECOVERY;
}

void Par2Xor(void *acc, const void *data, size_t size)
{
    unsigned char *a = (unsigned char *)acc;
    const unsigned char *d = (const unsigned char *)data;
    for (; size >= 8; size -= 8, a += 8, d += 8) {
        uint64_t x, y;
        memcpy(&x, a, 8);
        memcpy(&y, d, 8);
        x ^= y;
        memcpy(a, &x, 8);
    }
    while (size--)
        *a++ ^= *d++;
}
