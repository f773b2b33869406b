// Feeding a set's portion files to the PAR2 writer on two threads.
//
// MD5 is the slow part (some 400-750 MB/s on one core, against several GB/s
// for reading from the page cache and XORing), and each file's MD5 is one
// sequential chain, so the files are split between lanes: the main thread
// reads one piece of each lane's file in turn and adds it to the recovery
// blocks (Par2WriterAccumulate, one thread only); the pieces of the first
// lanes go to the hashing thread through a ring of buffers, those of the
// last lane are hashed by the main thread itself, which also reads and XORs
// everything: so the hashing thread takes the larger share. A lane takes the
// next file when its own ends. Where no thread can be started, the main
// thread hashes every lane.
#include "recovery_feed.h"

#include <condition_variable>
#include <mutex>
#include <thread>

#include <stdlib.h>

#include "slice_format.h"
#include "os/files.h"

enum {
    LANES = 3,               // files read at once; all but the last hashed by the thread
    PIECE_SIZE = 256 * 1024, // small enough to stay in a core's cache between read and hash
    RING_PIECES = 16         // pieces read ahead for the hashing thread
};

struct Piece {
    unsigned File;
    uint32_t Size;
    unsigned char *Data;
};

// The hashing thread's queue: pieces are filled by the main thread at
// Ring[(Head + Count) % RING_PIECES] and hashed in order from Ring[Head].
struct HashRing {
    std::mutex Lock;
    std::condition_variable Filled; // a piece was queued, or Stop was set
    std::condition_variable Freed;  // a piece was hashed
    Piece Ring[RING_PIECES];
    unsigned Head;
    unsigned Count;
    int Stop;           // no more pieces will come
    int Result;         // the writer's first refusal, PAR2_OK until then
    unsigned FailedFile;
    Par2Writer *Writer;
};

// The file one lane is reading.
struct Lane {
    OsFile File;  // 0 when the lane has ended
    unsigned Number;
    uint64_t Done;
};

// The feed's state, on the main thread's stack.
struct FeedState {
    Par2Writer *Writer;
    char *Path;
    const SliceUser *User;
    RecoveryFeedFailure *Failure;
    HashRing *Ring;
    int Threaded;        // 1 while the hashing thread runs
    unsigned Next;       // the next portion a lane takes
    uint64_t Total;      // bytes of the whole set
    uint64_t Read;       // bytes read so far
    unsigned char *Own;  // the main thread's own piece buffer
    Lane Lanes[LANES];
};

static void HashPieces(HashRing *ring)
{
    std::unique_lock<std::mutex> lock(ring->Lock);
    for (;;) {
        ring->Filled.wait(lock, [ring] { return ring->Count || ring->Stop; });
        if (!ring->Count)
            return;
        Piece piece = ring->Ring[ring->Head];
        int failed = ring->Result;
        lock.unlock();
        // After a refusal the rest is only drained, so the reader never waits.
        int result = failed ? PAR2_OK
                            : Par2WriterHash(ring->Writer, piece.File, piece.Data, piece.Size);
        lock.lock();
        if (result && !ring->Result) {
            ring->Result = result;
            ring->FailedFile = piece.File;
        }
        ring->Head = (ring->Head + 1) % RING_PIECES;
        ring->Count--;
        ring->Freed.notify_one();
    }
}

static int Fail(FeedState *s, unsigned portion, int result, long error, int par2)
{
    s->Failure->Portion = portion;
    s->Failure->Error = error;
    s->Failure->Par2 = par2;
    return result;
}

// Opens the next portion for lane k, or ends the lane when none is left.
static int StartLane(FeedState *s, unsigned k)
{
    Lane *lane = &s->Lanes[k];
    long error;

    lane->File = 0;
    if (s->Next >= s->Writer->FileCount)
        return FEED_OK;
    lane->Number = s->Next++;
    lane->Done = 0;
    SetPortionNumber(s->Path, lane->Number);
    error = OsOpenRead(s->Path, &lane->File);
    if (error) {
        lane->File = 0;
        return Fail(s, lane->Number, FEED_OPEN_FAILED, error, 0);
    }
    return FEED_OK;
}

// A buffer for lane k's next piece: a free place in the ring for the
// hashing thread's lanes while it runs, else the main thread's own.
static Piece *TakeBuffer(FeedState *s, unsigned k, Piece *own)
{
    HashRing *ring = s->Ring;

    if (k == LANES - 1 || !s->Threaded)
        return own;
    std::unique_lock<std::mutex> lock(ring->Lock);
    ring->Freed.wait(lock, [ring] { return ring->Count < RING_PIECES; });
    return &ring->Ring[(ring->Head + ring->Count) % RING_PIECES];
}

// One piece of lane k's file: read, added to the blocks, hashed or queued.
static int FeedPiece(FeedState *s, unsigned k)
{
    Lane *lane = &s->Lanes[k];
    uint64_t length = s->Writer->Files[lane->Number].Length;
    Piece own = {0, 0, s->Own}, *piece = TakeBuffer(s, k, &own);
    unsigned char extra;
    uint32_t size = length - lane->Done < PIECE_SIZE ? (uint32_t)(length - lane->Done)
                                                    : (uint32_t)PIECE_SIZE;
    uint32_t got;
    long error = OsRead(lane->File, piece->Data, size, &got);
    int result;

    if (error)
        return Fail(s, lane->Number, FEED_READ_FAILED, error, 0);
    if (got != size)
        return Fail(s, lane->Number, FEED_CHANGED, 0, 0);
    result = Par2WriterAccumulate(s->Writer, lane->Number, piece->Data, size);
    if (result)
        return Fail(s, lane->Number, FEED_WRITER_FAILED, 0, result);
    piece->File = lane->Number;
    piece->Size = size;
    if (piece == &own) {
        result = Par2WriterHash(s->Writer, lane->Number, piece->Data, size);
        if (result)
            return Fail(s, lane->Number, FEED_WRITER_FAILED, 0, result);
    } else {
        std::lock_guard<std::mutex> lock(s->Ring->Lock);
        s->Ring->Count++;
        s->Ring->Filled.notify_one();
    }
    lane->Done += size;
    s->Read += size;
    s->User->Progress(s->User->Context, s->Read, s->Total);
    if (lane->Done < length)
        return FEED_OK;
    // A file that grew since its length was taken is not the file described.
    error = OsRead(lane->File, &extra, 1, &got);
    OsClose(lane->File);
    lane->File = 0;
    if (error)
        return Fail(s, lane->Number, FEED_READ_FAILED, error, 0);
    if (got)
        return Fail(s, lane->Number, FEED_CHANGED, 0, 0);
    return StartLane(s, k);
}

static int FeedAll(FeedState *s)
{
    int result = 0, reading = 1;
    unsigned k;

    for (k = 0; k < LANES && !result; k++)
        result = StartLane(s, k);
    while (!result && reading) {
        reading = 0;
        for (k = 0; k < LANES && !result; k++)
            if (s->Lanes[k].File) {
                result = FeedPiece(s, k);
                reading = 1;
            }
    }
    return result;
}

// The hashing thread, when one can be started; the main thread hashes
// everything otherwise.
static std::thread StartHashing(FeedState *s)
{
    try {
        std::thread thread(HashPieces, s->Ring);
        s->Threaded = 1;
        return thread;
    } catch (...) {
        s->Threaded = 0;
        return std::thread();
    }
}

int RecoveryFeed(Par2Writer *w, char *path, const SliceUser *user, RecoveryFeedFailure *failure)
{
    HashRing *ring = new HashRing();
    unsigned char *memory = (unsigned char *)malloc((size_t)PIECE_SIZE * (RING_PIECES + 1));
    FeedState s = {};
    std::thread thread;
    unsigned i;
    int result;

    if (!memory) {
        delete ring;
        return Fail(&s, 0, FEED_READ_FAILED, OS_NO_MEMORY, 0);
    }
    s.Writer = w;
    s.Path = path;
    s.User = user;
    s.Failure = failure;
    s.Ring = ring;
    s.Own = memory + (size_t)PIECE_SIZE * RING_PIECES;
    for (i = 0; i < RING_PIECES; i++)
        ring->Ring[i].Data = memory + (size_t)PIECE_SIZE * i;
    ring->Writer = w;
    for (i = 0; i < w->FileCount; i++)
        s.Total += w->Files[i].Length;
    thread = StartHashing(&s);
    result = FeedAll(&s);
    if (s.Threaded) {
        {
            std::lock_guard<std::mutex> lock(ring->Lock);
            ring->Stop = 1;
        }
        ring->Filled.notify_one();
        thread.join();
        if (!result && ring->Result)
            result = Fail(&s, ring->FailedFile, FEED_WRITER_FAILED, 0, ring->Result);
    }
    for (i = 0; i < LANES; i++)
        if (s.Lanes[i].File)
            OsClose(s.Lanes[i].File);
    if (!result) {
        int finished = Par2WriterFinish(w);
        for (i = 0; finished == PAR2_FILE_CHANGED && !w->Files[i].Changed; i++)
            ;
        if (finished)
            result = Fail(&s, finished == PAR2_FILE_CHANGED ? i : 0,
                          finished == PAR2_FILE_CHANGED ? FEED_CHANGED : FEED_WRITER_FAILED, 0,
                          finished);
    }
    free(memory);
    delete ring;
    return result;
}
