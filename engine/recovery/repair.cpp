// Rebuilding portion files from the recovery data (repair.h). In this file:
//   paths and the files of the folder;
//   RepairOpen: the recovery files found, sorted by set, the set chosen
//     and read;
//   RepairFind, RepairAssess: what the set holds and what can be done.
// The rebuild itself is repair_rebuild.cpp's.
// Every length and offset used for a read comes from the reader, which only
// keeps what lay inside the files it was fed, and each read is checked for
// the bytes it promised: a hostile or shortened file ends the rebuild.
#include "repair.h"
#include "repair_parts.h"

#include <stdlib.h>
#include <string.h>

#include "format/portion_file.h"
#include "format/slice_format.h"
#include "integrity/crc32.h"
#include "os/files.h"
#include "rs_decode.h"

enum {
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
long RepairOpenIn(RepairSet *s, const char *name, OsFile *file, uint64_t *length)
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
long RepairReadAt(OsFile file, uint64_t offset, unsigned char *to, uint32_t count)
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

    if (RepairOpenIn(s, name, &file, &length))
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
int RepairChoose(const RepairSet *s, const unsigned *lost, unsigned count, RsDecoder *d,
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
    if (!RepairChoose(s, lost, count, &d, chosen))
        return REPAIR_TOO_MANY;
    RsDecoderEnd(&d);
    return REPAIR_OK;
}
