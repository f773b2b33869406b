// Which files a PAR2 file describes (par2_describe.h).
#include "par2_describe.h"

#include <string.h>

#include "md5.h"
#include "os/files.h"
#include "par2.h"

enum {
    PACKET_HEADER = 64,
    DESCRIPTION_FIXED = 56, // file ID, two digests and the length, before the name
    MOST_PACKETS = 4096     // a walk's bound: 100 files make a few hundred
};

long Par2DescribedFiles(OsFile file, uint64_t size, Par2NameSeen seen, void *context)
{
    unsigned char packet[PACKET_HEADER + DESCRIPTION_FIXED + PAR2_NAME_SIZE + 4];
    unsigned char digest[MD5_DIGEST_SIZE];
    uint64_t at = 0, length;
    uint32_t got;
    long error;

    for (unsigned n = 0; n < MOST_PACKETS && at < size; n++, at += length) {
        error = OsSeek(file, at);
        if (!error)
            error = OsRead(file, packet, PACKET_HEADER, &got);
        if (error)
            return error;
        length = 0;
        for (int i = 7; i >= 0; i--)
            length = length << 8 | packet[8 + i];
        if (got != PACKET_HEADER || memcmp(packet, Par2Magic, 8) || length < PACKET_HEADER ||
            length % 4 || length > size - at)
            return 1;
        if (memcmp(packet + 48, Par2TypeFileDesc, 16) ||
            length > sizeof packet - 1 || length <= PACKET_HEADER + DESCRIPTION_FIXED)
            continue;
        error = OsRead(file, packet + PACKET_HEADER, (uint32_t)length - PACKET_HEADER, &got);
        if (error)
            return error;
        if (got != length - PACKET_HEADER)
            return 1;
        Md5Digest(packet + 32, (size_t)length - 32, digest);
        if (memcmp(digest, packet + 16, MD5_DIGEST_SIZE))
            continue;
        packet[length] = 0; // the name is padded with zeros, but need not end in one
        seen(context, (const char *)packet + PACKET_HEADER + DESCRIPTION_FIXED);
    }
    return at < size;
}
