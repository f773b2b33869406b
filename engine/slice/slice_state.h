// The slice job's state and the steps its files share (slice_job.h is the
// job's interface). One job, three files:
//   slice_job.cpp       the job from start to end: preparing, the loop over
//                       the portions, making the set durable, its list
//   slice_portion.cpp   one portion: asking, creating, measuring a disk,
//                       the copy of its data
//   slice_messages.cpp  the final message of each failure
#ifndef DORVANE_SLICE_STATE_H
#define DORVANE_SLICE_STATE_H

#include <stdint.h>

#include "format/heap_text.h"
#include "integrity/read_pipe.h"
#include "format/slice_format.h"
#include "os/os.h"
#include "slice_job.h"
#include "slice_side_files.h"

// Data moves in blocks of the read pipe's size, 256 KiB (through its
// buffers where a second thread reads and hashes, else through one buffer
// on the heap): a block is read, hashed and written while it is still in
// the processor's cache. Nothing the user sees depends on it: every block
// is cut to the room left in the portion, so a disk is still filled to its
// last byte.
enum { TRANSFER_SIZE = READ_PIPE_BLOCK };

// The job's state, on the stack of the thread that runs it.
struct SliceJobState {
    const char *JobSource;      // the source file's path, as given
    const char *JobDestination; // "A:", a mount point or a folder, with its separator
    int Mode;                   // a SliceMode
    uint32_t JobPortionSize;    // folder job: portion file length with header
    const SliceUser *User;      // who answers the questions
    const SliceObserver *Observer; // shown every byte written to a portion; or NULL
    PortionHeader Header;       // filled once; only LastPortion changes
    OsFile Source;           // the source, read sequentially; or 0
    OsFile Portion;          // the portion being written; or 0
    char *PortionPath;          // heap: destination + file name, number at the end
    char *ClashPath;            // heap: the job's file that is the source, for 235
    const char *FailedPath;     // the file a write or close failure names, if not the portion
    SliceList List;             // the checksum list: its path and the CRCs so far
    OsFile Written[MAX_PORTIONS]; // folder job: portions written, open until made durable
    int Clash;                  // a SliceClash: what ClashPath is
    unsigned PortionNumber;     // from 0
    unsigned Complete;          // portions written whole, from portion 0 on
    int DiskNumber;             // shown in prompts: always PortionNumber + 1
    uint64_t SourceSize;        // the source's size, up to MAX_SET_DATA
    uint64_t BytesDone;         // source bytes written to portions so far
    uint32_t Room;              // payload bytes the current portion may take
    uint32_t BytesInPortion;    // payload bytes written to it so far
    unsigned char *Buffer;      // TRANSFER_SIZE bytes, zero-filled
    ReadPipe *Pipe;             // the source read and hashed on a second thread; NULL: here
    int AskBeforeOverwrite;     // 1 until the user first agrees to overwrite
    int JustDeleted;            // 1 right after the portion's old file was deleted
    int JoinerFailureShown;     // 1 once a failed KELMORIX.EXE was reported
    long PendingError;          // number for the final message; 0: show none
};

// ---- slice_job.cpp ----

// A job's state before it starts: the arguments as given, nothing open.
void SliceStartState(SliceJobState *w, const char *source, const char *destination, int mode,
                     uint32_t portionSize, const SliceUser *user);

// ---- slice_portion.cpp ----

// Ends the job when path, one of the files it is about to write, is the
// source itself: nothing is then deleted or written. Returns 0 or 235.
int SliceRefuseSource(SliceJobState *w, const char *path, int clash);

// The same for the portions numbered first to first + count - 1 and, with
// withJoiner, the joiner beside them. Returns 0 or 235, or
// SLICE_NO_PATH_BUFFER when a path to compare could not be allocated: the
// job does not go on without knowing.
int SliceRefuseSourceClash(SliceJobState *w, unsigned first, unsigned count, int withJoiner);

// The overwrite question, asked at most once per job: names (a text, "BIG.D00
// to BIG.D02, BIG.DAT.sfv") are the files it is asked for. Returns
// SLICE_ANSWER_OK at once when the user agreed before.
int SliceAskOverwrite(SliceJobState *w, const char *names);

// Asks before the list replaces a file of its name, when the user has not
// agreed to overwrite yet; another set's list is never replaced. Returns 0,
// SLICE_CANCELLED or SLICE_LIST_TAKEN.
int SliceAgreeToReplaceList(SliceJobState *w);

// ---- slice_earlier.cpp ----

// A folder job, before anything is written: the files it would replace or
// remove (its portions 0 to count - 1 already there, stale portions of the
// same file above them, the list under its name, and the earlier lists and
// recovery files of the same file, by what they say), named in one overwrite
// question; with the user's agreement, the stale portions and those side
// files are removed. Returns 0, SLICE_CANCELLED or SLICE_LIST_TAKEN.
int SliceAgreeToReplaceEarlier(SliceJobState *w, unsigned count);

// Creates the current portion with room for data, and the joiner beside
// portion 0. Sets w->Room. Returns 0 or the code that ends the job.
int SliceOpenPortion(SliceJobState *w);

// Writes the header and data of the current portion. Returns 0 or the code
// that ends the job.
int SliceWritePortion(SliceJobState *w);

// ---- slice_messages.cpp ----

// The one message of a failed job (nothing while w->PendingError is 0).
void SliceShowFinalMessage(const SliceJobState *w, int result);

// The message of a job the user interrupted, ending with code: which
// portions stand, and, with removed, that the one being written is gone.
void SliceShowInterruption(const SliceJobState *w, int code, int removed);

#endif
