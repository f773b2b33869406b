// Reading with the CRC-32 on a second thread (read_pipe.h). The buffers go
// round a ring. Three counts pass the work between the threads: Asked, a
// run to read; Free, the buffers the reading thread may fill; Filled, the
// blocks the first thread is to take. Each run ends with one more block of
// no bytes that says how it ended.
#include "read_pipe.h"

#include <stdlib.h>

#include "crc32.h"
#include "os/files.h"
#include "os/thread.h"

struct PipeBlock {
    uint32_t Length; // bytes in it; 0 for the block that ends a run
    long Error;      // that block's: 0 at the run's end, else why it ended early
};

struct ReadPipe {
    unsigned char *Buffers;             // READ_PIPE_BUFFERS blocks, one allocation
    PipeBlock Blocks[READ_PIPE_BUFFERS];
    OsFile File;                        // the run asked
    uint64_t Length;
    uint32_t Crc;                       // of the run, once its end is handed on
    int Cancelled;                      // 1: the run is not to be read further (atomic)
    int Stopping;                       // 1: the next run asked is none: the thread ends
    unsigned Filling, Taking;           // each thread's next block in the ring
    int Holding;                        // 1: the first thread holds block Taking - 1
    int Running;                        // 1: a run is asked and not taken whole
    OsSemaphore *Asked, *Free, *Filled;
    OsThread *Thread;
};

static unsigned char *BufferOf(ReadPipe *pipe, unsigned block)
{
    return pipe->Buffers + (size_t)block * READ_PIPE_BLOCK;
}

// Hands on the next block, length bytes of it, or the end of the run.
static void Hand(ReadPipe *pipe, uint32_t length, long error)
{
    pipe->Blocks[pipe->Filling].Length = length;
    pipe->Blocks[pipe->Filling].Error = error;
    pipe->Filling = (pipe->Filling + 1) % READ_PIPE_BUFFERS;
    OsPost(pipe->Filled);
}

static void ReadRuns(void *context)
{
    ReadPipe *pipe = (ReadPipe *)context;
    uint64_t left;
    uint32_t crc, count, got;
    long error;

    for (;;) {
        OsWaitFor(pipe->Asked);
        if (pipe->Stopping)
            return;
        crc = 0;
        error = 0;
        for (left = pipe->Length; left > 0 && !error && !__atomic_load_n(&pipe->Cancelled, __ATOMIC_ACQUIRE);
             left -= count) {
            count = left < READ_PIPE_BLOCK ? (uint32_t)left : (uint32_t)READ_PIPE_BLOCK;
            OsWaitFor(pipe->Free);
            got = 0;
            error = OsRead(pipe->File, BufferOf(pipe, pipe->Filling), count, &got);
            if (!error && got != count)
                error = OS_SOURCE_ENDED;
            if (error) {
                OsPost(pipe->Free);
                break;
            }
            crc = Crc32Update(crc, BufferOf(pipe, pipe->Filling), count);
            Hand(pipe, count, 0);
        }
        pipe->Crc = crc;
        OsWaitFor(pipe->Free);
        Hand(pipe, 0, error);
    }
}

static void FreePipe(ReadPipe *pipe)
{
    OsFreeSemaphore(pipe->Asked);
    OsFreeSemaphore(pipe->Free);
    OsFreeSemaphore(pipe->Filled);
    free(pipe->Buffers);
    free(pipe);
}

ReadPipe *ReadPipeStart(void)
{
    ReadPipe *pipe = (ReadPipe *)calloc(1, sizeof *pipe);

    if (!pipe)
        return NULL;
    Crc32Setup(); // the tables, before two threads could build them at once
    pipe->Buffers = (unsigned char *)malloc((size_t)READ_PIPE_BUFFERS * READ_PIPE_BLOCK);
    pipe->Asked = OsMakeSemaphore(0);
    pipe->Free = OsMakeSemaphore(READ_PIPE_BUFFERS);
    pipe->Filled = OsMakeSemaphore(0);
    if (pipe->Buffers && pipe->Asked && pipe->Free && pipe->Filled)
        pipe->Thread = OsStartThread(ReadRuns, pipe);
    if (!pipe->Thread) {
        FreePipe(pipe);
        return NULL;
    }
    return pipe;
}

void ReadPipeAsk(ReadPipe *pipe, OsFile file, uint64_t length)
{
    pipe->File = file;
    pipe->Length = length;
    __atomic_store_n(&pipe->Cancelled, 0, __ATOMIC_RELEASE);
    pipe->Running = 1;
    OsPost(pipe->Asked);
}

const unsigned char *ReadPipeNext(ReadPipe *pipe, uint32_t *length, long *error)
{
    unsigned block;

    if (pipe->Holding)
        OsPost(pipe->Free);
    pipe->Holding = 0;
    OsWaitFor(pipe->Filled);
    block = pipe->Taking;
    pipe->Taking = (block + 1) % READ_PIPE_BUFFERS;
    *length = pipe->Blocks[block].Length;
    *error = pipe->Blocks[block].Error;
    if (*length == 0) {
        OsPost(pipe->Free);
        pipe->Running = 0;
        return NULL;
    }
    pipe->Holding = 1;
    return BufferOf(pipe, block);
}

uint32_t ReadPipeCrc(const ReadPipe *pipe)
{
    return pipe->Crc;
}

void ReadPipeCancel(ReadPipe *pipe)
{
    uint32_t length;
    long error;

    __atomic_store_n(&pipe->Cancelled, 1, __ATOMIC_RELEASE);
    while (pipe->Running)
        ReadPipeNext(pipe, &length, &error);
}

void ReadPipeStop(ReadPipe *pipe)
{
    if (!pipe)
        return;
    ReadPipeCancel(pipe);
    pipe->Stopping = 1;
    OsPost(pipe->Asked);
    OsJoinThread(pipe->Thread);
    FreePipe(pipe);
}
