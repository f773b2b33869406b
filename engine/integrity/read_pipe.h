// Reading with the CRC-32 taken on a second thread: the copies of the slicer
// and the joiners ask for a run of a file's bytes; the pipe's thread reads
// it in blocks small enough to stay in the processor's cache, takes each
// block's CRC while the block is still there, and hands the blocks on in
// order, while the first thread writes the ones before. Reading and hashing
// on one processor, writing on the other: the copy costs about what a plain
// copy does, the check nothing.
//
// Where no thread can be started ReadPipeStart gives NULL, and the caller
// reads and hashes itself: the result is the same.
#ifndef DORVANE_READ_PIPE_H
#define DORVANE_READ_PIPE_H

#include <stdint.h>

#include "os/os.h"

struct ReadPipe;

enum {
    READ_PIPE_BUFFERS = 4,          // blocks on their way at once
    READ_PIPE_BLOCK = 256 * 1024    // a block: read, hashed and written while cached
};

// ReadPipeStart: the pipe, its buffers and its thread; NULL where any of
// them cannot be had.
ReadPipe *ReadPipeStart(void);

// ReadPipeAsk: the next length bytes of file, from its position, are to be
// read and hashed. Asked only once the run asked before is taken whole
// (ReadPipeNext gave its end, or its failure).
void ReadPipeAsk(ReadPipe *pipe, OsFile file, uint64_t length);

// ReadPipeNext: the next block of the run asked, once read and hashed:
// its bytes, with *length their count; NULL at the run's end, or where a
// read failed or the file ended early (*error: the error number, or
// OS_SOURCE_ENDED; 0 at the end). The block stays the caller's until the
// next call.
const unsigned char *ReadPipeNext(ReadPipe *pipe, uint32_t *length, long *error);

// ReadPipeCrc: the CRC-32 of the run's bytes read, once ReadPipeNext gave
// NULL.
uint32_t ReadPipeCrc(const ReadPipe *pipe);

// ReadPipeCancel: the rest of the run asked is not wanted: the blocks on
// their way are taken back and the pipe waits for the next run (a run
// already taken whole: nothing).
void ReadPipeCancel(ReadPipe *pipe);

// ReadPipeStop: ends the thread and frees the pipe (NULL: nothing). A run
// not taken whole is left unread.
void ReadPipeStop(ReadPipe *pipe);

#endif
