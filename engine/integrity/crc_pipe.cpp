// The CRC-32 on a second thread (crc_pipe.h). Two counts pass the buffers
// between the threads: Free, the buffers the first may read into; Filled,
// the blocks the second is to hash. The buffers go round in a ring, so the
// order of the blocks is the order of the ring.
#include "crc_pipe.h"

#include <stdlib.h>

#include "crc32.h"
#include "os/thread.h"

struct CrcPipe {
    unsigned char *Buffers;          // CRC_PIPE_BUFFERS blocks, one allocation
    uint32_t Lengths[CRC_PIPE_BUFFERS];
    unsigned Next;                   // the first thread's next buffer
    unsigned Hashing;                // the second thread's next buffer
    unsigned Handed;                 // blocks handed since the last result
    int Held;                        // 1: Next was given out and not handed yet
    uint32_t Crc;                    // of the blocks hashed since the last result
    int Stopping;                    // 1: the next block handed is the end
    OsSemaphore *Free, *Filled, *Idle;
    OsThread *Thread;
};

static void HashBlocks(void *context)
{
    CrcPipe *pipe = (CrcPipe *)context;
    unsigned slot;

    for (;;) {
        OsWaitFor(pipe->Filled);
        if (pipe->Stopping)
            return;
        slot = pipe->Hashing;
        pipe->Hashing = (slot + 1) % CRC_PIPE_BUFFERS;
        pipe->Crc = Crc32Update(pipe->Crc, pipe->Buffers + (size_t)slot * CRC_PIPE_BLOCK,
                                pipe->Lengths[slot]);
        OsPost(pipe->Free);
        OsPost(pipe->Idle);
    }
}

static void FreePipe(CrcPipe *pipe)
{
    OsFreeSemaphore(pipe->Free);
    OsFreeSemaphore(pipe->Filled);
    OsFreeSemaphore(pipe->Idle);
    free(pipe->Buffers);
    free(pipe);
}

CrcPipe *CrcPipeStart(void)
{
    CrcPipe *pipe = (CrcPipe *)calloc(1, sizeof *pipe);

    if (!pipe)
        return NULL;
    Crc32Setup(); // the tables, before two threads could build them at once
    pipe->Buffers = (unsigned char *)malloc((size_t)CRC_PIPE_BUFFERS * CRC_PIPE_BLOCK);
    pipe->Free = OsMakeSemaphore(CRC_PIPE_BUFFERS);
    pipe->Filled = OsMakeSemaphore(0);
    pipe->Idle = OsMakeSemaphore(0);
    if (pipe->Buffers && pipe->Free && pipe->Filled && pipe->Idle)
        pipe->Thread = OsStartThread(HashBlocks, pipe);
    if (!pipe->Thread) {
        FreePipe(pipe);
        return NULL;
    }
    return pipe;
}

unsigned char *CrcPipeBuffer(CrcPipe *pipe)
{
    // A buffer given out but never handed (its read failed) is given again.
    if (!pipe->Held)
        OsWaitFor(pipe->Free);
    pipe->Held = 1;
    return pipe->Buffers + (size_t)pipe->Next * CRC_PIPE_BLOCK;
}

void CrcPipeHash(CrcPipe *pipe, const unsigned char *buffer, uint32_t length)
{
    (void)buffer; // the buffer CrcPipeBuffer gave: Next's
    pipe->Held = 0;
    pipe->Lengths[pipe->Next] = length;
    pipe->Next = (pipe->Next + 1) % CRC_PIPE_BUFFERS;
    pipe->Handed++;
    OsPost(pipe->Filled);
}

uint32_t CrcPipeResult(CrcPipe *pipe)
{
    uint32_t crc;

    for (; pipe->Handed > 0; pipe->Handed--)
        OsWaitFor(pipe->Idle);
    crc = pipe->Crc;
    pipe->Crc = 0;
    return crc;
}

void CrcPipeStop(CrcPipe *pipe)
{
    if (!pipe)
        return;
    CrcPipeResult(pipe);
    pipe->Stopping = 1;
    OsPost(pipe->Filled);
    OsJoinThread(pipe->Thread);
    FreePipe(pipe);
}
