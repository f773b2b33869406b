// The one read of a slice set that its recovery data costs: every portion
// file fed to a PAR2 writer (par2.h), on two threads. Used by
// recovery_job.cpp; portable through the platform layer.
#ifndef DORVANE_RECOVERY_FEED_H
#define DORVANE_RECOVERY_FEED_H

#include "recovery/par2.h"
#include "slice/slice_job.h"

// What went wrong with which portion.
enum RecoveryFeedResult {
    FEED_OK = 0,
    FEED_OPEN_FAILED,  // Error: the open's
    FEED_READ_FAILED,  // Error: the read's
    FEED_CHANGED,      // the file is not as long as it was, or its first bytes differ
    FEED_WRITER_FAILED,// the writer refused the bytes (Par2: its result)
    FEED_INTERRUPTED   // the user interrupted it (SliceInterruption)
};

struct RecoveryFeedFailure {
    unsigned Portion; // the portion's number
    long Error;
    int Par2;
};

// Feeds portions 0 to w->FileCount - 1, already added to the writer with
// their lengths (and primed where it needs that), and finishes the writer.
// path is the first portion's path; its number is overwritten for each.
// Progress goes to user->Progress; an interruption (user->Interrupted) is
// asked after every piece. Returns a RecoveryFeedResult.
int RecoveryFeed(Par2Writer *w, char *path, const SliceUser *user,
                 RecoveryFeedFailure *failure);

#endif
