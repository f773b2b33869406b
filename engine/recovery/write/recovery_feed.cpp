// Feeding a set's portion files to the PAR2 writer on two threads.
//
// MD5 is the slow part (some 750 MB/s for one stream on one core, against
// several GB/s for reading from the page cache and XORing), and each file's
// MD5 is one sequential chain; several files' chains run at once in the
// lanes of a vector (md5_lanes.h) for little more than the price of one.
// So the main thread reads several files at once, a piece of each in turn,
// adds every piece to the recovery blocks at once (Par2WriterAccumulate:
// one thread only) and leaves it in a pool; both threads hash pieces from
// the pool, each taking the earliest pieces of as many files as a vector
// has lanes, files the other is not hashing, so each file's pieces are
// hashed in order and never two at once. The main thread reads while the
// pool has room and hashes when it is full; the hashing thread only
// hashes. The work thus shares itself out by itself, also when the other
// programs on the machine leave one of the threads waiting for a
// processor. Where no thread can be started, the main thread does it all.
#include "recovery_feed.h"

#include <condition_variable>
#include <mutex>

#include <stdlib.h>

#include "format/slice_format.h"
#include "md5_lanes.h"
#include "os/files.h"
#include "os/thread.h"

enum {
    LANES = 2 * MD5_MAX_LANES, // files read at once at most: two threads' lanes
    PIECE_SIZE = 256 * 1024, // small enough to stay in a core's cache between read and hash
    POOL_PIECES = 64         // pieces read ahead: 16 MiB, some 20 ms of hashing
};

enum PieceState { PIECE_FREE, PIECE_FILLING, PIECE_QUEUED, PIECE_HASHING };

struct Piece {
    int State;        // a PieceState
    unsigned File;
    uint32_t Size;
    uint64_t Order;   // when it was queued
    unsigned char *Data;
};

// What the two threads share, under Lock.
struct HashPool {
    std::mutex Lock;
    std::condition_variable Changed; // a piece was queued or hashed, or Stop set
    Piece Pieces[POOL_PIECES];
    unsigned char Busy[PAR2_MAX_FILES]; // a thread is hashing a piece of this file
    unsigned Free;      // pieces PIECE_FREE
    unsigned Queued;    // pieces PIECE_QUEUED
    uint64_t NextOrder;
    int Stop;           // no more pieces will come (or the feed failed)
    int Result;         // the writer's first refusal, PAR2_OK until then
    unsigned FailedFile;
    unsigned Width;     // pieces hashed at once (the vector's lanes), 1 without lanes
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
    HashPool *Pool;
    unsigned Next;       // the next portion a lane takes
    uint64_t Total;      // bytes of the whole set
    uint64_t Read;       // bytes read so far
    unsigned LaneCount;  // files read at once: enough for both threads to hash
    Lane Lanes[LANES];
};

// The earliest queued piece of a file nobody is hashing or has been
// chosen (Busy), and no smaller than a whole piece unless whole is 0; NULL
// when there is none.
static Piece *Earliest(HashPool *pool, int whole)
{
    Piece *best = NULL;

    for (unsigned i = 0; i < POOL_PIECES; i++) {
        Piece *p = &pool->Pieces[i];
        if (p->State == PIECE_QUEUED && !pool->Busy[p->File] && (!whole || p->Size == PIECE_SIZE) &&
            (!best || p->Order < best->Order))
            best = p;
    }
    return best;
}

// The pieces to hash next, taken (hashing, their files busy): the earliest
// eligible one, and with it, when it is whole, the earliest whole pieces of
// other files up to the vector's lanes. A file's last piece, shorter, is
// hashed alone; every piece before it is whole, so each file's digest has
// taken whole blocks whenever its pieces go into lanes. Returns how many.
static unsigned Choose(HashPool *pool, Piece *chosen[MD5_MAX_LANES])
{
    unsigned n = 0;
    Piece *p = Earliest(pool, 0);

    while (p) {
        p->State = PIECE_HASHING;
        pool->Queued--;
        pool->Busy[p->File] = 1;
        chosen[n++] = p;
        p = n < pool->Width && chosen[0]->Size == PIECE_SIZE ? Earliest(pool, 1) : NULL;
    }
    return n;
}

// Hashes the chosen pieces; lock is held on entry and on return, not
// meanwhile.
static void HashChosen(HashPool *pool, Piece *chosen[], unsigned n,
                       std::unique_lock<std::mutex> &lock)
{
    const unsigned char *data[MD5_MAX_LANES];
    unsigned files[MD5_MAX_LANES], i;
    int failed = pool->Result, result = PAR2_OK;

    for (i = 0; i < n; i++) {
        files[i] = chosen[i]->File;
        data[i] = chosen[i]->Data;
    }
    lock.unlock();
    // After a refusal the rest is only drained.
    if (!failed && n == 1)
        result = Par2WriterHash(pool->Writer, files[0], data[0], chosen[0]->Size);
    else if (!failed)
        result = Par2WriterHashLanes(pool->Writer, files, data, n, PIECE_SIZE);
    lock.lock();
    if (result && !pool->Result) {
        pool->Result = result;
        pool->FailedFile = files[0];
    }
    for (i = 0; i < n; i++) {
        pool->Busy[files[i]] = 0;
        chosen[i]->State = PIECE_FREE;
        pool->Free++;
    }
    pool->Changed.notify_all();
}

// Hashes the next pieces there are; 0 when there were none to take.
static int HashSome(HashPool *pool, std::unique_lock<std::mutex> &lock)
{
    Piece *chosen[MD5_MAX_LANES];
    unsigned n = Choose(pool, chosen);

    if (n)
        HashChosen(pool, chosen, n, lock);
    return n != 0;
}

static void HashPieces(void *context)
{
    HashPool *pool = (HashPool *)context;
    std::unique_lock<std::mutex> lock(pool->Lock);

    for (;;) {
        pool->Changed.wait(lock, [pool] { return Earliest(pool, 0) || pool->Stop; });
        if (!HashSome(pool, lock))
            return;
    }
}

// The main thread's place for the next piece it reads: a free one, or, the
// pool being full, one it frees by hashing.
static Piece *TakePiece(HashPool *pool)
{
    std::unique_lock<std::mutex> lock(pool->Lock);
    Piece *piece;

    for (;;) {
        if (pool->Free) {
            for (piece = pool->Pieces; piece->State != PIECE_FREE; piece++)
                ;
            piece->State = PIECE_FILLING;
            pool->Free--;
            return piece;
        }
        if (!HashSome(pool, lock))
            pool->Changed.wait(lock);
    }
}

// The main thread's share of what is left once everything is read.
static void HashTheRest(HashPool *pool)
{
    std::unique_lock<std::mutex> lock(pool->Lock);

    while (pool->Queued)
        if (!HashSome(pool, lock))
            pool->Changed.wait(lock);
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

// One piece of lane k's file: read, added to the blocks, left to be hashed.
static int FeedPiece(FeedState *s, unsigned k)
{
    Lane *lane = &s->Lanes[k];
    uint64_t length = s->Writer->Files[lane->Number].Length;
    Piece *piece = TakePiece(s->Pool);
    unsigned char extra;
    uint32_t size = length - lane->Done < PIECE_SIZE ? (uint32_t)(length - lane->Done)
                                                    : (uint32_t)PIECE_SIZE;
    uint32_t got;
    long error = OsRead(lane->File, piece->Data, size, &got);
    int result = error || got != size
                     ? PAR2_OK
                     : Par2WriterAccumulate(s->Writer, lane->Number, piece->Data, size);
    {
        std::lock_guard<std::mutex> lock(s->Pool->Lock);
        if (error || got != size || result) {
            piece->State = PIECE_FREE;
            s->Pool->Free++;
        } else {
            piece->State = PIECE_QUEUED;
            piece->File = lane->Number;
            piece->Size = size;
            piece->Order = s->Pool->NextOrder++;
            s->Pool->Queued++;
        }
    }
    s->Pool->Changed.notify_all();
    if (error)
        return Fail(s, lane->Number, FEED_READ_FAILED, error, 0);
    if (got != size)
        return Fail(s, lane->Number, FEED_CHANGED, 0, 0);
    if (result)
        return Fail(s, lane->Number, FEED_WRITER_FAILED, 0, result);
    lane->Done += size;
    s->Read += size;
    s->User->Progress(s->User->Context, s->Read, s->Total);
    if (SliceInterruption(s->User))
        return Fail(s, lane->Number, FEED_INTERRUPTED, 0, 0);
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

    for (k = 0; k < s->LaneCount && !result; k++)
        result = StartLane(s, k);
    while (!result && reading) {
        reading = 0;
        for (k = 0; k < s->LaneCount && !result; k++)
            if (s->Lanes[k].File) {
                result = FeedPiece(s, k);
                reading = 1;
            }
    }
    if (!result)
        HashTheRest(s->Pool);
    return result;
}

int RecoveryFeed(Par2Writer *w, char *path, const SliceUser *user, RecoveryFeedFailure *failure)
{
    HashPool *pool = new HashPool();
    unsigned char *memory = (unsigned char *)malloc((size_t)PIECE_SIZE * POOL_PIECES);
    FeedState s = {};
    OsThread *thread;
    unsigned i;
    int result;

    s.Failure = failure;
    if (!memory) {
        delete pool;
        return Fail(&s, 0, FEED_READ_FAILED, OS_NO_MEMORY, 0);
    }
    s.Writer = w;
    s.Path = path;
    s.User = user;
    s.Pool = pool;
    for (i = 0; i < POOL_PIECES; i++)
        pool->Pieces[i].Data = memory + (size_t)PIECE_SIZE * i;
    pool->Free = POOL_PIECES;
    pool->Writer = w;
    pool->Width = Md5LaneCount();
    pool->Width = pool->Width < (unsigned)MD5_MAX_LANES ? pool->Width : (unsigned)MD5_MAX_LANES;
    // Each thread's lanes full, or with one stream a thread, two files to spare.
    s.LaneCount = pool->Width > 1 ? 2 * pool->Width : 4;
    for (i = 0; i < w->FileCount; i++)
        s.Total += w->Files[i].Length;
    // Without a second thread the main one hashes everything itself.
    thread = OsStartThread(HashPieces, pool);
    result = FeedAll(&s);
    {
        std::lock_guard<std::mutex> lock(pool->Lock);
        pool->Stop = 1;
        // A failed feed leaves its queued pieces unhashed.
        if (result)
            pool->Result = pool->Result ? pool->Result : PAR2_BAD_ARGUMENT;
    }
    pool->Changed.notify_all();
    if (thread)
        OsJoinThread(thread);
    if (!result && pool->Result)
        result = Fail(&s, pool->FailedFile, FEED_WRITER_FAILED, 0, pool->Result);
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
    delete pool;
    return result;
}
