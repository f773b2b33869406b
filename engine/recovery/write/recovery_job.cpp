// Recovery data beside a set just written (recovery_job.h). In this file:
//   the set as stored: each portion's length and first bytes, up to the one
//     its header marks the last, every header checked against the first;
//   the two files written under temporary names through the writer's sink;
//   the consent to replace a file under a final name, and the renames;
//   the messages.
// The read of the whole set is recovery_feed.cpp's.
#include "recovery_job.h"

#include <stdarg.h>
#include <stdlib.h>
#include <string.h>

#include "integrity/crc32.h"
#include "recovery/par2.h"
#include "recovery_feed.h"
#include "format/heap_text.h"
#include "format/portion_file.h"
#include "format/slice_format.h"
#include "format/temp_name.h"
#include "os/files.h"
#include "slice/slice_guard.h"

enum {
    SINK_BUFFER = 64 * 1024,     // the writer's small packets gathered into one write
    SINK_WRITE_LIMIT = 1 << 30   // a block goes out in writes of at most this
};

// The two files, in the order they are written and renamed into place: the
// recovery file first, since it carries everything the index does.
enum { FILE_RECOVERY, FILE_INDEX, FILE_KINDS };

// The step's state, on the stack of the thread that runs it.
struct RecoveryState {
    const RecoveryRequest *Request;
    const SliceUser *User;
    Par2Writer *Writer;                    // heap
    unsigned char *Blocks;                 // heap: Blocks * slice size
    unsigned char *Heads;                  // heap: each portion's first bytes
    char *PortionPath;                     // heap: destination + the source's name
    char Names[FILE_KINDS][PAR2_NAME_SIZE];// the final names, no folder
    char *Final[FILE_KINDS];               // heap: destination + final name
    char *Temp[FILE_KINDS];                // heap: destination + temporary name
    int Created[FILE_KINDS];               // a temporary file of ours stands at Temp
    int Agreed;                            // the user agreed to overwrite
    OsFile Out;                            // the file being written
    long OutError;                         // its first write error
    int Stopped;                           // the code of an interruption while writing
    char Words[SLICE_ERROR_PART_SIZE];     // an error number as the user side says it
    size_t Fill;                           // bytes in Buffer
    unsigned char Buffer[SINK_BUFFER];
};

// The one message of a failed step; returns SLICE_RECOVERY_FAILED.
static int Failed(RecoveryState *r, const char *format, ...) __attribute__((format(printf, 2, 3)));
static int Failed(RecoveryState *r, const char *format, ...)
{
    va_list args;
    char *text;

    va_start(args, format);
    text = FormatTextV(format, args);
    va_end(args);
    // Without memory for the text the bare format still says what failed.
    r->User->Final(r->User->Context, SLICE_RECOVERY_FAILED, text ? text : format);
    free(text);
    return SLICE_RECOVERY_FAILED;
}

// An error number as the user side words it, for a message of Failed.
static const char *Words(RecoveryState *r, long error)
{
    SliceErrorPart(r->User, error, r->Words);
    return r->Words;
}

// The end of a step the user interrupted: returns the interruption's code.
static int Interrupted(RecoveryState *r, int code)
{
    r->User->Final(r->User->Context, code,
                   "Interrupted: no recovery data was written; the set itself is complete.\n");
    return code;
}

// A line after which the step goes on: a notice, or with result the line
// that says what was written.
static void Say(RecoveryState *r, int result, const char *format, ...)
    __attribute__((format(printf, 3, 4)));
static void Say(RecoveryState *r, int result, const char *format, ...)
{
    va_list args;
    char *text;

    va_start(args, format);
    text = FormatTextV(format, args);
    va_end(args);
    if (result)
        SliceSayResult(r->User, text ? text : format);
    else
        r->User->Notice(r->User->Context, text ? text : format);
    free(text);
}

// The names and paths of both files and the portions.
static int MakePaths(RecoveryState *r)
{
    const char *folder = r->Request->Destination, *name = SourceFileName(r->Request->Source);
    unsigned i;

    if (Par2FileNames(name, r->Request->Blocks, r->Names[FILE_INDEX], r->Names[FILE_RECOVERY]))
        return Failed(r, "No recovery data can be named for %s\n", r->Request->Source);
    r->PortionPath = JoinPath(folder, name);
    for (i = 0; i < FILE_KINDS; i++)
        r->Final[i] = JoinPath(folder, r->Names[i]);
    if (!r->PortionPath || !r->Final[FILE_INDEX] || !r->Final[FILE_RECOVERY])
        return Failed(r, "Error allocating destination name buffer\n");
    return 0;
}

// 0 when a new file may take Final[i]: nothing is there, or the user agreed
// to overwrite (asked here, once, unless the job's question was answered).
// A folder, the sliced file itself under that name, or another set's
// recovery file (by its file descriptions) is never replaced.
static int MayTake(RecoveryState *r, unsigned i)
{
    const char *name = SourceFileName(r->Request->Source);
    char *detail;
    int folder = 0, same = 0, answer;

    if (OsQueryPath(r->Final[i], &folder) != 0)
        return 0;
    if (folder)
        return Failed(r, "%s is a folder, and a recovery file cannot take its name.\n",
                      r->Final[i]);
    if (OsSameFile(r->Final[i], r->Request->Source, &same) == 0 && same)
        return Failed(r, "%s is the file being sliced, and is never replaced.\n", r->Final[i]);
    if (SideFileOwner(r->Final[i], name, 0) == SIDE_OTHER)
        return Failed(r, "%s is recovery data of another slice set, and is never replaced.\n",
                      r->Final[i]);
    if (r->Agreed)
        return 0;
    Say(r, 0, "%s is already there.\n", r->Final[i]);
    detail = FormatText("To be replaced or removed: %s", r->Names[i]);
    answer = r->User->AskOverwrite(r->User->Context, detail ? detail : r->Names[i]);
    free(detail);
    if (answer != SLICE_ANSWER_OK)
        return Failed(r, "%s was not replaced: the overwrite question was not answered yes.\n",
                      r->Final[i]);
    r->Agreed = 1;
    return 0;
}

// Every portion's length and first bytes, each header the first one's but
// for its last-portion byte, up to the portion marked the last; then the
// writer started with a slice the size of the longest.
static int ReadSet(RecoveryState *r)
{
    const RecoveryRequest *q = r->Request;
    uint64_t lengths[MAX_PORTIONS], longest = 0, slice;
    unsigned count = 0, n;
    size_t heads[MAX_PORTIONS];

    r->Heads = (unsigned char *)malloc((size_t)MAX_PORTIONS * PAR2_HEAD_SIZE);
    r->Writer = (Par2Writer *)malloc(sizeof *r->Writer);
    if (!r->Heads || !r->Writer)
        return Failed(r, "Error allocating memory for the recovery data\n");
    for (n = 0; n < MAX_PORTIONS && !count; n++) {
        unsigned char *head = r->Heads + (size_t)n * PAR2_HEAD_SIZE;
        OsFile file;
        uint32_t got = 0;
        long error;

        SetPortionNumber(r->PortionPath, n);
        error = OsOpenRead(r->PortionPath, &file);
        if (error)
            return Failed(r, "Error opening %s%s\n", r->PortionPath, Words(r, error));
        error = ReadFileStart(file, head, PAR2_HEAD_SIZE, &got, &lengths[n]);
        heads[n] = lengths[n] < PAR2_HEAD_SIZE ? (size_t)lengths[n] : (size_t)PAR2_HEAD_SIZE;
        OsClose(file);
        if (error)
            return Failed(r, "Error reading %s%s\n", r->PortionPath, Words(r, error));
        if (got != heads[n] || got < PORTION_HEADER_SIZE || (n && !SameSliceSet(r->Heads, head)))
            return Failed(r, "%s is not a portion of the set just written.\n", r->PortionPath);
        if (lengths[n] > longest)
            longest = lengths[n];
        if (head[0] == 1)
            count = n + 1;
    }
    if (!count)
        return Failed(r, "No portion up to %s is marked the last one of the set.\n",
                      r->PortionPath);
    slice = Par2SliceSize(longest);
    if (slice > q->MemoryLimit / q->Blocks)
        return Failed(r, "%u recovery block%s of %llu bytes need more memory than this machine "
                      "can spare (%llu bytes): ask for fewer blocks or make smaller portions.\n",
                      q->Blocks, q->Blocks == 1 ? "" : "s", (unsigned long long)slice,
                      (unsigned long long)q->MemoryLimit);
    r->Blocks = (unsigned char *)malloc((size_t)(slice * q->Blocks));
    if (!r->Blocks)
        return Failed(r, "Error allocating memory for the recovery data\n");
    Crc32Setup(); // before two threads hash at once
    if (Par2WriterBegin(r->Writer, slice, q->Blocks, r->Blocks, Crc32Update, q->Creator))
        return Failed(r, "Error starting the recovery data\n");
    for (n = 0; n < count; n++) {
        SetPortionNumber(r->PortionPath, n);
        // Every file primed, so that a change between the two reads is seen.
        if (Par2WriterAddFile(r->Writer, SourceFileName(r->PortionPath), lengths[n]) ||
            Par2WriterPrime(r->Writer, n, r->Heads + (size_t)n * PAR2_HEAD_SIZE, heads[n]))
            return Failed(r, "Error describing %s in the recovery data\n", r->PortionPath);
    }
    SetPortionNumber(r->PortionPath, 0);
    return 0;
}

// The first portion that does not read back as the job wrote it: its
// number, or -1 when all do (or nothing was recorded).
static int FirstChanged(const RecoveryState *r)
{
    const SliceWritten *written = r->Request->Written;
    unsigned n;

    if (!written)
        return -1;
    for (n = 0; n < r->Writer->FileCount && n < written->Portions; n++)
        if (r->Writer->Files[n].Crc != written->PortionCrcs[n])
            return (int)n;
    return r->Writer->FileCount == written->Portions ? -1 : (int)n;
}

static int Feed(RecoveryState *r)
{
    RecoveryFeedFailure failure = {0, 0, 0};
    int result = RecoveryFeed(r->Writer, r->PortionPath, r->User, &failure), changed;

    if (result == FEED_OK && (changed = FirstChanged(r)) >= 0) {
        result = FEED_CHANGED;
        failure.Portion = (unsigned)changed;
    }
    SetPortionNumber(r->PortionPath, failure.Portion);
    switch (result) {
    case FEED_OK:
        return 0;
    case FEED_OPEN_FAILED:
        return Failed(r, "Error opening %s%s\n", r->PortionPath, Words(r, failure.Error));
    case FEED_READ_FAILED:
        return Failed(r, "Error reading %s%s\n", r->PortionPath, Words(r, failure.Error));
    case FEED_INTERRUPTED:
        return Interrupted(r, SliceInterruption(r->User));
    case FEED_CHANGED:
        return Failed(r, "%s changed on the destination while its recovery data was made.\n",
                      r->PortionPath);
    }
    return Failed(r, "Error making the recovery data for %s (%d)\n", r->PortionPath, failure.Par2);
}

static long SendOut(RecoveryState *r, const void *data, size_t size)
{
    const unsigned char *p = (const unsigned char *)data;
    uint32_t count, written;
    long error;

    while (size) {
        // A block may be large: the user can stop it between two writes.
        r->Stopped = SliceInterruption(r->User);
        if (r->Stopped)
            return 1;
        count = size < SINK_WRITE_LIMIT ? (uint32_t)size : (uint32_t)SINK_WRITE_LIMIT;
        error = OsWrite(r->Out, p, count, &written);
        if (error)
            return error;
        if (written != count)
            return OS_DISK_FULL; // a short write without an error: no room left
        p += count;
        size -= count;
    }
    return 0;
}

// The writer's sink: small packets gathered, blocks written straight out.
static int Sink(void *context, const void *data, size_t size)
{
    RecoveryState *r = (RecoveryState *)context;

    if (r->OutError)
        return 1;
    if (r->Fill + size > SINK_BUFFER) {
        r->OutError = SendOut(r, r->Buffer, r->Fill);
        r->Fill = 0;
    }
    if (!r->OutError && size >= SINK_BUFFER)
        r->OutError = SendOut(r, data, size);
    else if (!r->OutError) {
        memcpy(r->Buffer + r->Fill, data, size);
        r->Fill += size;
    }
    return r->OutError ? 1 : 0;
}

// File i, whole and flushed, under a new temporary name beside the set
// (format/temp_name.h).
static int WriteTemporary(RecoveryState *r, unsigned i)
{
    const char *folder = r->Request->Destination;
    long closed, error = CreateTemporaryFile(folder, strlen(folder), 0, TEMP_TAG_SLICER,
                                             &r->Temp[i], &r->Out);

    if (error == OS_NO_MEMORY && !r->Temp[i])
        return Failed(r, "Error allocating destination name buffer\n");
    if (error)
        return Failed(r, "Error creating %s%s\n", r->Temp[i], Words(r, error));
    r->Created[i] = 1;
    r->Fill = 0;
    r->OutError = 0;
    if (i == FILE_RECOVERY)
        Par2WriteRecovery(r->Writer, Sink, r);
    else
        Par2WriteIndex(r->Writer, Sink, r);
    if (!r->OutError)
        r->OutError = SendOut(r, r->Buffer, r->Fill);
    if (!r->OutError)
        r->OutError = OsFlush(r->Out);
    closed = OsClose(r->Out);
    if (!r->OutError)
        r->OutError = closed;
    if (r->Stopped)
        return Interrupted(r, r->Stopped);
    if (r->OutError)
        return Failed(r, "Error writing %s%s\n", r->Temp[i], Words(r, r->OutError));
    return 0;
}

static int WriteFiles(RecoveryState *r)
{
    unsigned i, blocks = r->Request->Blocks;
    long error;
    int result;

    for (i = 0; i < FILE_KINDS; i++) {
        result = WriteTemporary(r, i);
        if (result)
            return result;
    }
    // Asked again: a file may have come under a final name meanwhile.
    for (i = 0; i < FILE_KINDS; i++)
        if (MayTake(r, i))
            return SLICE_RECOVERY_FAILED;
    for (i = 0; i < FILE_KINDS; i++) {
        error = OsRenameOver(r->Temp[i], r->Final[i]);
        if (error)
            return Failed(r, "Error renaming %s to %s%s\n", r->Temp[i], r->Final[i],
                          Words(r, error));
        r->Created[i] = 0;
    }
    Say(r, 1, "Recovery data written: %s and %s, %u block%s of %llu bytes for %u portion%s; "
              "par2 rebuilds up to %u lost or damaged portion%s from it.\n",
        r->Names[FILE_INDEX], r->Names[FILE_RECOVERY], blocks, blocks == 1 ? "" : "s",
        (unsigned long long)r->Writer->SliceSize, r->Writer->FileCount,
        r->Writer->FileCount == 1 ? "" : "s", blocks, blocks == 1 ? "" : "s");
    return 0;
}

// A state for one step, or NULL (said through user->Final) without memory.
static RecoveryState *StartRecovery(const RecoveryRequest *request, const SliceUser *user)
{
    RecoveryState *r = (RecoveryState *)calloc(1, sizeof *r);

    if (!r) {
        user->Final(user->Context, SLICE_RECOVERY_FAILED,
                    "Error allocating memory for the recovery data\n");
        return NULL;
    }
    r->Request = request;
    r->User = user;
    r->Agreed = request->OverwriteAgreed;
    return r;
}

// Releases the state, and deletes the temporary files it left.
static void EndRecovery(RecoveryState *r)
{
    unsigned i;

    for (i = 0; i < FILE_KINDS; i++) {
        if (r->Created[i])
            OsDelete(r->Temp[i]);
        free(r->Temp[i]);
        free(r->Final[i]);
    }
    free(r->PortionPath);
    free(r->Blocks);
    free(r->Heads);
    free(r->Writer);
    free(r);
}

int WriteRecoveryData(const RecoveryRequest *request, const SliceUser *user)
{
    RecoveryState *r = StartRecovery(request, user);
    unsigned i;
    int result;

    if (!r)
        return SLICE_RECOVERY_FAILED;
    if (request->Blocks < 1 || request->Blocks > RECOVERY_MAX_BLOCKS)
        result = Failed(r, "Recovery data has 1 to %d blocks, not %u\n", RECOVERY_MAX_BLOCKS,
                        request->Blocks);
    else
        result = MakePaths(r);
    // Asked before the work, so that a "no" costs no time.
    for (i = 0; i < FILE_KINDS && !result; i++)
        result = MayTake(r, i);
    if (!result)
        result = ReadSet(r);
    if (!result)
        result = Feed(r);
    if (!result && SliceInterruption(user))
        result = Interrupted(r, SliceInterruption(user));
    if (!result)
        result = WriteFiles(r);
    EndRecovery(r);
    return result;
}

int WriteRecoveryFiles(const RecoveryRequest *request, Par2Writer *writer, const SliceUser *user)
{
    RecoveryState *r = StartRecovery(request, user);
    unsigned i;
    int result;

    if (!r)
        return SLICE_RECOVERY_FAILED;
    r->Writer = writer;
    result = MakePaths(r);
    // Asked before anything is written, so that a "no" costs no space.
    for (i = 0; i < FILE_KINDS && !result; i++)
        result = MayTake(r, i);
    if (!result)
        result = WriteFiles(r);
    r->Writer = NULL; // the caller's
    EndRecovery(r);
    return result;
}
