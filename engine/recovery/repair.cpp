// Rebuilding a portion file from the recovery data (repair.h). In this file:
//   paths and positioned reads of the set's files;
//   RepairOpen: finding and reading the recovery files;
//   RepairFind, RepairAssess: what the set holds and what can be done;
//   RepairRebuild: the XOR of the block and the other files, piece by piece.
// Every length and offset used for a read comes from the reader, which only
// keeps what lay inside the files it was fed, and each read is checked for
// the bytes it promised: a hostile or shortened file ends the rebuild.
#include "repair.h"

#include <string.h>

#include "format/slice_format.h"
#include "integrity/crc32.h"
#include "os/files.h"

static long PathOf(RepairSet *s, const char *name)
{
    size_t folder = strlen(s->Folder), length = strlen(name);

    if (folder + length >= REPAIR_PATH_SIZE)
        return OS_BUFFER_TOO_SMALL;
    memcpy(s->Path, s->Folder, folder);
    memcpy(s->Path + folder, name, length + 1);
    return 0;
}

// Opens the folder's file `name`, its length in *length, positioned at offset.
static long OpenAt(RepairSet *s, const char *name, uint64_t offset, OsFile *file,
                   uint64_t *length)
{
    long error = PathOf(s, name);

    if (error || (error = OsOpenRead(s->Path, file)))
        return error;
    error = OsFileSize(*file, length);
    if (!error && offset)
        error = OsSeek(*file, offset);
    if (error)
        OsClose(*file);
    return error;
}

// count bytes from offset of the block's file (which -1) or of set file
// `which`, which must be as long as the recovery data says.
static int ReadPart(RepairSet *s, int which, uint64_t offset, unsigned char *to, uint32_t count)
{
    const char *name = which < 0 ? s->BlockName : s->Reader.Files[which].Name;
    OsFile file;
    uint64_t length;
    uint32_t got = 0;
    long error = OpenAt(s, name, offset, &file, &length);

    s->Failed = which;
    if (!error) {
        if (which >= 0 && length != s->Reader.Files[which].Length) {
            OsClose(file);
            return REPAIR_WRONG_LENGTH;
        }
        error = OsRead(file, to, count, &got);
        OsClose(file);
        if (!error && got != count)
            error = OS_SOURCE_ENDED;
    }
    s->Error = error;
    return error ? REPAIR_UNREADABLE : REPAIR_OK;
}

// ---- Reading the recovery data ---------------------------------------------

int RepairOpen(RepairSet *s, const char *folder, const char *source, unsigned char *buffer,
               uint32_t size)
{
    char index[PAR2_NAME_SIZE], volume[PAR2_NAME_SIZE];
    unsigned n, found = 0;
    uint32_t exponents;
    int result;

    Par2ReadBegin(&s->Reader);
    s->Folder = folder;
    s->BlockName[0] = 0;
    s->Blocks = 0;
    s->Failed = -1;
    s->Error = 0;
    if (!size)
        return REPAIR_NONE;
    // The index, then the recovery file of each count the slicer may write.
    for (n = 0; n <= PAR2_MAX_RECOVERY; n++) {
        const char *name = n ? volume : index;
        uint64_t start = s->Reader.Offset, length;
        uint32_t got;
        OsFile file;
        if (Par2FileNames(source, n ? n : 1, index, volume))
            return REPAIR_NONE;
        if (OpenAt(s, name, 0, &file, &length))
            continue;
        found++;
        while (!OsRead(file, buffer, size, &got) && got)
            Par2ReadFeed(&s->Reader, buffer, got);
        OsClose(file);
        Par2ReadBreak(&s->Reader);
        // The reader moves the block's place only to a later, better one.
        if (s->Reader.HaveRecovery && s->Reader.RecoveryOffset >= start) {
            strcpy(s->BlockName, name);
            s->BlockOffset = s->Reader.RecoveryOffset - start;
        }
    }
    if (!found)
        return REPAIR_NONE;
    result = Par2ReadFinish(&s->Reader);
    if (result == PAR2_UNSUPPORTED)
        return REPAIR_UNSUPPORTED;
    if (result != PAR2_OK && result != PAR2_NO_RECOVERY)
        return REPAIR_DAMAGED;
    if (result != PAR2_OK)
        s->BlockName[0] = 0;
    // Names are read from the folder given: none may lead out of it.
    for (n = 0; n < s->Reader.FileCount; n++)
        if (strpbrk(s->Reader.Files[n].Name, "/\\:"))
            return REPAIR_UNSUPPORTED;
    exponents = s->Reader.Exponents | (result == PAR2_OK);
    for (; exponents; exponents >>= 1)
        s->Blocks += exponents & 1;
    return REPAIR_OK;
}

// ---- What the set holds -----------------------------------------------------

// Names compared as text: a file description written on another system
// (in its code page, or in UTF-8) names the same portion.
int RepairFind(const RepairSet *s, const char *name)
{
    unsigned i;

    for (i = 0; i < s->Reader.FileCount; i++)
        if (SameNameAsText(s->Reader.Files[i].Name, strlen(s->Reader.Files[i].Name), name,
                           strlen(name), 1))
            return (int)i;
    return -1;
}

int RepairAssess(const RepairSet *s, unsigned damaged, int *spare)
{
    *spare = (int)s->Blocks - (int)damaged;
    if (!damaged || (damaged == 1 && s->BlockName[0]))
        return REPAIR_OK;
    return *spare >= 0 ? REPAIR_TOOLS_ONLY : REPAIR_TOO_MANY;
}

// ---- The rebuild ------------------------------------------------------------

int RepairRebuild(RepairSet *s, const char *name, unsigned char *buffer, uint32_t size,
                  Par2Sink sink, void *context)
{
    const Par2Reader *r = &s->Reader;
    const Par2ReadFile *lost;
    unsigned char digest[MD5_DIGEST_SIZE], *in = buffer + size / 2;
    uint64_t at, n, m;
    uint32_t crc = 0, piece = size / 2;
    Md5Context md5;
    int which = RepairFind(s, name), result;
    unsigned i;

    if (which < 0 || !piece)
        return REPAIR_NOT_IN_SET;
    lost = &r->Files[which];
    if (!s->BlockName[0])
        return REPAIR_NO_BLOCK;
    if (!lost->Checked)
        return REPAIR_DAMAGED;  // nothing to tell right bytes from wrong
    Md5Begin(&md5);
    // Piece by piece over the slice: the block's bytes, then each other
    // file's bytes at the same offset XORed in (those past a file's end are
    // its zeros of padding).
    for (at = 0; at < r->SliceSize; at += n) {
        n = r->SliceSize - at < piece ? r->SliceSize - at : piece;
        if ((result = ReadPart(s, -1, s->BlockOffset + at, buffer, (uint32_t)n)))
            return result;
        for (i = 0; i < r->FileCount; i++) {
            if ((int)i == which || at >= r->Files[i].Length)
                continue;
            m = r->Files[i].Length - at < n ? r->Files[i].Length - at : n;
            if ((result = ReadPart(s, (int)i, at, in, (uint32_t)m)))
                return result;
            Par2Xor(buffer, in, (size_t)m);
        }
        Md5Update(&md5, buffer, (size_t)n);
        crc = Crc32Update(crc, buffer, (size_t)n);
        if (at + n == r->SliceSize) {
            Md5End(&md5, digest);
            if (crc != lost->SliceCrc || memcmp(digest, lost->SliceHash, MD5_DIGEST_SIZE))
                return REPAIR_MISMATCH;
        }
        m = at < lost->Length ? lost->Length - at : 0;
        if (m && sink(context, buffer, (size_t)(m < n ? m : n)))
            return REPAIR_SINK_FAILED;
    }
    return REPAIR_OK;
}
