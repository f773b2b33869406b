// Recovery data beside a slice set that was just written into a folder: the
// PAR2 index file and one recovery file (par2.h), made from the portion files
// as they are stored, header and data, each portion file one slice.
//
// The set is read once more, in pieces; each piece is XORed into the blocks
// at once, and its MD5 (the format's file digests) is taken on one of two
// threads, so that the wall time comes near one read of the set.
// Both files are written under temporary names in the set's folder and
// renamed into place when complete; a file already standing under a final
// name is replaced only with the user's consent to overwrite.
//
// Uses the platform layer (os/files.h) and the job's user side (SliceUser),
// so it builds wherever the slice job does.
#ifndef DORVANE_RECOVERY_JOB_H
#define DORVANE_RECOVERY_JOB_H

#include <stdint.h>

#include "slice/slice_job.h"

// The result code of a set whose recovery data could not be written; the
// job's codes (slice_job.h) count down from 254, and this one follows
// them. The set itself is complete whenever this code is returned: the
// portions are only ever read.
enum { SLICE_RECOVERY_FAILED = 234 };

enum { RECOVERY_MAX_BLOCKS = 10 };

struct RecoveryRequest {
    const char *Source;      // the sliced file's path, as the job was given it
    const char *Destination; // the set's folder, ending in its separator
    unsigned Blocks;         // recovery blocks, 1 to RECOVERY_MAX_BLOCKS
    int OverwriteAgreed;     // 1 when the user already agreed to overwrite files
    uint64_t MemoryLimit;    // the most bytes the blocks may take (Blocks * slice size)
    const char *Creator;     // the program and its version, recorded in the files
    const SliceWritten *Written; // the job's record of the portions as written, which the
                                 // portions read again must match; NULL: not compared
};

// Writes the recovery data for the complete set of request->Source in
// request->Destination, from the portions as they read now; with
// request->Written, each must read back as it was written (a portion that
// changed on the destination meanwhile, as on a failing disk, would get
// recovery data that vouches for the damage). Returns 0, having said which
// files it wrote through user->Result (or Notice); or SLICE_RECOVERY_FAILED,
// having said why through user->Final, with no file left under a temporary
// name; or, the same way, the code of user->Interrupted when the user
// interrupted it. Asks
// user->AskOverwrite at most once, only when a final name is taken and
// OverwriteAgreed is 0; user->Progress counts the bytes read.
int WriteRecoveryData(const RecoveryRequest *request, const SliceUser *user);

struct Par2Writer;

// The two files of a writer that the caller fed and finished, written into
// request->Destination under temporary names and renamed into place, as
// WriteRecoveryData writes them, with the same questions and messages.
// request->Blocks names the files and must be the writer's block count;
// MemoryLimit is not used.
int WriteRecoveryFiles(const RecoveryRequest *request, Par2Writer *writer, const SliceUser *user);

#endif
