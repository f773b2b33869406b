// Rebuilding lost or damaged portion files of a folder set from the
// recovery data beside it (par2.h), for both joiners, and what a check of a
// damaged set reports.
//
// Each portion file as stored is one slice of a PAR2 set; k recovery
// blocks rebuild any k slices (Reed-Solomon over GF(2^16), rs_decode.h).
// Each rebuilt slice, its zeros of padding included, must match the slice
// MD5 and CRC-32 the recovery data records for it before its last piece is
// handed on.
//
// Which recovery data is the set's: every *.par2 file in the folder
// (letters in either case), whatever it is called, is sorted by the set of
// its first intact packet. A set counts only when it describes the portion
// asked for (where one is named) and, of the files it describes that are
// there, at least one has the length and the first 16 KiB it records (or
// none is there at all): recovery data of an earlier set of the same names,
// met before the set's own, is passed over, and the caller is told of each
// of its files. The sets are tried in the order their first files come.
//
// How a joiner repairs: RepairOpen before the copy (the index's checksums
// are one of the proofs each portion is judged by); during the copy a lost
// or damaged portion's data is left as a gap in the output; after it,
// RepairAssess and RepairRebuild for all of them at once, with a sink that
// writes each portion's data into its gap. The rebuild reads every other
// portion file and the blocks once more, piece by piece over the slice:
// the set is read at most twice, whatever the number of portions lost.
//
// Uses the platform layer (os/files.h), the PAR2 reader, the decoder and
// the CRC-32. No name read from the recovery data is printed here; a
// caller printing one escapes it. Names with a folder in them are refused.
#ifndef DORVANE_REPAIR_H
#define DORVANE_REPAIR_H

#include <stdint.h>

#include "par2.h"

enum RepairResult {
    REPAIR_OK = 0,
    REPAIR_NONE,          // no recovery data of the set beside it
    REPAIR_DAMAGED,       // a file to rebuild has no intact slice checksums
    REPAIR_UNSUPPORTED,   // a file of several slices, or a name with a folder in it
    REPAIR_TOO_MANY,      // fewer blocks than files to rebuild, or none of their
                          // choices can rebuild them
    REPAIR_NOT_IN_SET,    // a file asked for is not in the recovery set
    REPAIR_UNREADABLE,    // a file needed could not be read (Failed, Error)
    REPAIR_WRONG_LENGTH,  // another portion is not as long as the recovery data says (Failed)
    REPAIR_MISMATCH,      // a rebuilt slice is not the one recorded (Failed): another
                          // portion changed since it was checked
    REPAIR_SINK_FAILED,   // the caller's sink said so
    REPAIR_NO_MEMORY
};

enum {
    REPAIR_PATH_SIZE = 4096 + PAR2_NAME_SIZE,
    REPAIR_MAX_FILES = 64  // recovery files looked at in one folder
};

// One set's recovery data, as RepairOpen found it. About 60 KiB: a joiner
// keeps it on the heap.
struct RepairSet {
    Par2Reader Reader;      // Files[0..FileCount): names, lengths, checksums, in slice
                            // order; Blocks[0..BlockCount); SliceSize
    const char *Folder;     // the set's folder as given to RepairOpen
    unsigned Blocks;        // recovery blocks of the set: Reader.BlockCount
    unsigned NameCount;     // *.par2 files found
    char Names[REPAIR_MAX_FILES][PAR2_NAME_SIZE];
    unsigned char Sets[REPAIR_MAX_FILES][MD5_DIGEST_SIZE];  // each one's set
    uint64_t Starts[REPAIR_MAX_FILES];  // where the set's files begin in the
                                        // reader's stream (UINT64_MAX: not read)
    uint32_t Piece;         // bytes a rebuild decodes at a time; 0: as memory allows
    int Failed;             // after UNREADABLE, WRONG_LENGTH, MISMATCH: the file
                            // (index into Reader.Files), or -1 for a recovery file
    long Error;             // after UNREADABLE: the system's error number
    char Path[REPAIR_PATH_SIZE];  // a file's path, being built
};

// Told the name of each recovery file passed over (no folder; bytes from
// the folder: escape them).
typedef void (*RepairNote)(void *context, const char *name);

// Finds and reads the recovery data in `folder` (empty, or ending in its
// separator; kept by pointer until the last call) of the set that describes
// the portion `wanted` (no folder; "" for any set), each file streamed
// through buffer[0..size), which holds at least PAR2_HEAD_SIZE bytes.
// REPAIR_OK when the set is described (Blocks may be 0); otherwise
// REPAIR_NONE or REPAIR_UNSUPPORTED. Files passed over are told to note
// (may be NULL).
int RepairOpen(RepairSet *s, const char *folder, const char *wanted, unsigned char *buffer,
               uint32_t size, RepairNote note, void *context);

// Whether the file at path has the length the set records for its file
// `which`, and the same first 16 KiB (all of a shorter file), read into
// buffer[0..size) (size at least PAR2_HEAD_SIZE): 1 if so, 0 if not, -1
// when it cannot be opened.
int RepairHeadMatches(const RepairSet *s, unsigned which, const char *path, unsigned char *buffer,
                      uint32_t size);

// The index in Reader.Files of the file named `name` (ASCII letters in
// either case, as FAT compares names; both names read as text, as
// SameNameAsText reads them), or -1.
int RepairFind(const RepairSet *s, const char *name);

// Whether the files lost[0..count) (indexes into Reader.Files, distinct)
// can be rebuilt: REPAIR_OK (also for none), REPAIR_DAMAGED, REPAIR_TOO_MANY.
// *spare = Blocks - count, negative when short. Reads nothing.
int RepairAssess(const RepairSet *s, const unsigned *lost, unsigned count, int *spare);

// Where the rebuilt bytes go: `size` bytes of lost file lost[which], from
// `offset` in it. Returns 0 when taken.
typedef int (*RepairSink)(void *context, unsigned which, uint64_t offset, const void *data,
                          size_t size);

// Rebuilds the files lost[0..count) together and hands their bytes, cut to
// their lengths, to sink in order of offset (pieces of the lost files in
// turn). Every file but those is read once more, each recovery block used
// once. The last pieces reach the sink only once every slice matched its
// checksums, so a rebuild that fails hands on bytes that are not proven
// right only where it returns something else than REPAIR_OK.
int RepairRebuild(RepairSet *s, const unsigned *lost, unsigned count, RepairSink sink,
                  void *context);

#endif
