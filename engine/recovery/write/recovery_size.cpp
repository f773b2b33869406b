// The size of a set's recovery data (recovery_size.h), from the packets
// par2_write.cpp writes: every packet has a 64-byte header; texts are padded
// with zeros to whole words.
#include "recovery_size.h"

#include <string.h>

#include "recovery/par2.h"

enum {
    PACKET_HEADER = 64,
    MAIN_BODY = 12,           // slice size and file count; then 16 per file ID
    FILE_ID = 16,
    DESCRIPTION_BODY = 56,    // ID, two digests, length; then the name
    CHECKSUMS_BODY = 36,      // ID, the one slice's MD5 and CRC-32
    RECOVERY_BODY = 4,        // the exponent; then the block
    CREATOR_LIMIT = 200       // bytes of the creator's text a packet carries
};

static uint64_t Padded(size_t length)
{
    return ((uint64_t)length + 3) & ~(uint64_t)3;
}

uint64_t RecoveryDataBytes(unsigned portions, uint64_t longest, size_t nameLength,
                           unsigned blocks, const char *creator)
{
    size_t creatorLength = creator ? strlen(creator) : 0;
    uint64_t critical;

    if (portions < 1 || portions > PAR2_MAX_FILES || blocks < 1 || blocks > PAR2_MAX_RECOVERY)
        return 0;
    if (nameLength > PAR2_NAME_SIZE)
        nameLength = PAR2_NAME_SIZE;
    if (creatorLength > CREATOR_LIMIT)
        creatorLength = CREATOR_LIMIT;
    critical = PACKET_HEADER + MAIN_BODY + (uint64_t)FILE_ID * portions +
               portions * (PACKET_HEADER + DESCRIPTION_BODY + Padded(nameLength) +
                           PACKET_HEADER + CHECKSUMS_BODY) +
               PACKET_HEADER + Padded(creatorLength);
    return (blocks + 2) * critical +
           blocks * (PACKET_HEADER + RECOVERY_BODY + Par2SliceSize(longest));
}
