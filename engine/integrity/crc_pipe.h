// A CRC-32 taken on a second thread while the first moves the bytes: the
// copies of the slicer and the joiners read a block into one of a few
// buffers, hand it to the pipe and write it, while the pipe's thread hashes
// the blocks in the order handed. Reading, writing and hashing each touch a
// block while it is still in the processor's cache, and the hash costs the
// copy almost nothing where there is a second processor.
//
// Where no thread can be started, CrcPipeStart gives NULL and the caller
// hashes itself: the result is the same.
#ifndef DORVANE_CRC_PIPE_H
#define DORVANE_CRC_PIPE_H

#include <stdint.h>

struct CrcPipe;

enum {
    CRC_PIPE_BUFFERS = 4,         // blocks on their way at once
    CRC_PIPE_BLOCK = 256 * 1024   // a block: read, hashed and written while cached
};

// CrcPipeStart: the pipe, its buffers (CRC_PIPE_BUFFERS of CRC_PIPE_BLOCK
// bytes) and its thread; NULL where any of them cannot be had.
CrcPipe *CrcPipeStart(void);

// CrcPipeBuffer: the next buffer to read a block into, once the thread is
// done hashing what it held. Asked again before that buffer is handed, it
// gives the same one.
unsigned char *CrcPipeBuffer(CrcPipe *pipe);

// CrcPipeHash: hands the buffer CrcPipeBuffer gave, holding length bytes,
// to the thread. The caller may go on writing it out: it is not reused
// before it is hashed.
void CrcPipeHash(CrcPipe *pipe, const unsigned char *buffer, uint32_t length);

// CrcPipeResult: waits until every block handed is hashed and returns the
// CRC-32 of all of them since the last result (a new run starts from here).
uint32_t CrcPipeResult(CrcPipe *pipe);

// CrcPipeStop: ends the thread and frees the pipe (NULL: nothing).
void CrcPipeStop(CrcPipe *pipe);

#endif
