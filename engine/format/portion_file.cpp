// The start of a portion file (portion_file.h).
#include "portion_file.h"

#include "os/files.h"

long ReadFileStart(OsFile file, void *buffer, uint32_t count, uint32_t *got, uint64_t *size)
{
    long error = OsFileSize(file, size);

    *got = 0;
    if (error)
        return error;
    if (*size < count)
        count = (uint32_t)*size;
    return OsRead(file, buffer, count, got);
}

long ReadPortionHeaderFrom(OsFile file, unsigned char raw[PORTION_HEADER_SIZE], uint64_t *size)
{
    uint32_t got = 0;
    long error = OsFileSize(file, size);

    if (error)
        return error;
    if (*size < PORTION_HEADER_SIZE)
        return PORTION_TOO_SHORT;
    error = OsRead(file, raw, PORTION_HEADER_SIZE, &got);
    if (error)
        return error;
    return got == PORTION_HEADER_SIZE ? 0 : PORTION_CUT_SHORT;
}

long ReadPortionHeader(const char *path, unsigned char raw[PORTION_HEADER_SIZE], uint64_t *size)
{
    OsFile file = 0;
    long error = OsOpenRead(path, &file);

    if (error)
        return error;
    error = ReadPortionHeaderFrom(file, raw, size);
    OsClose(file);
    return error;
}
