// MD5 (RFC 1321), fed in pieces of any size: the digest the recovery data's
// packets and file descriptions carry.
//
// Portable code: no operating-system calls. A context may be copied to fork
// a running digest (the writer takes the first 16 KiB's digest, and the
// digest of a file padded with zeros, from the one pass over the file).
#ifndef DORVANE_MD5_H
#define DORVANE_MD5_H

#include <stddef.h>
#include <stdint.h>

enum { MD5_DIGEST_SIZE = 16 };

struct Md5Context {
    uint32_t State[4];
    uint64_t Length;           // bytes fed so far
    unsigned char Buffer[64];  // a block not yet full
};

void Md5Begin(Md5Context *c);
void Md5Update(Md5Context *c, const void *data, size_t size);
// Pads and writes the digest; the context is spent afterwards.
void Md5End(Md5Context *c, unsigned char digest[MD5_DIGEST_SIZE]);
// The digest of one buffer.
void Md5Digest(const void *data, size_t size, unsigned char digest[MD5_DIGEST_SIZE]);

#endif
