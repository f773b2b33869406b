// Rebuilding one lost or damaged portion file of a folder set from the
// recovery data beside it (par2.h), for both joiners, and the figures a
// check of a damaged set reports.
//
// Each portion file as stored is one slice; the recovery block of exponent
// 0 is the XOR of all slices, each padded with zeros to the slice size. So
// XORing every other portion file into that block leaves the lost one,
// padded: the whole, the zeros past its length included, must match the
// slice MD5 and CRC-32 the recovery data records for it.
//
// The joiners can use only that block; blocks of further exponents are
// counted (for the check's "blocks to spare") and left to the PAR2 tools.
//
// How a joiner repairs, for one extra read of the set at most:
//   1. Copy the portions as usual, checking each against the list. When one
//      is missing, or its CRC does not match, and it is the first such one:
//      RepairOpen (reads the recovery files once, checking their packets),
//      RepairFind its name; when the recovery data can stand in for it, go
//      on with the next portion instead of ending the run. A missing
//      portion's payload (its Length from the recovery data, minus the
//      309-byte header) is left as a gap: OsSeek the output past it. A
//      damaged one was written already and is written over in step 2.
//      A second one ends the run (RepairAssess says what the PAR2 tools
//      could still do); so does a portion the recovery set does not hold.
//   2. After the last portion: RepairRebuild with a sink that takes the
//      portion file's bytes as they come: CRC-32 of all of them for the
//      list's line, the first 309 held as the header, the rest written at
//      the payload's place in the output (OsSeek there, then OsWrite).
//   3. The sink's CRC must match the list (and the data's CRC, combined as
//      usual, the list's file line). On any failure the output keeps its
//      temporary name.
// The rebuild reads every other portion file once and the block once, in
// pieces, each file opened at the piece's offset and closed again, so no
// more than two files are ever open and memory is the caller's buffer.
//
// Uses the platform layer (os/files.h), the PAR2 reader and the CRC-32.
// No name read from the recovery data is printed here; a caller printing
// one escapes it. Names with a folder in them are refused.
#ifndef DORVANE_REPAIR_H
#define DORVANE_REPAIR_H

#include <stdint.h>

#include "par2.h"

enum RepairResult {
    REPAIR_OK = 0,
    REPAIR_NONE,          // no recovery data beside the set
    REPAIR_DAMAGED,       // recovery data without an intact description of the set,
                          // or of the file to rebuild
    REPAIR_UNSUPPORTED,   // a file of several slices, or a name with a folder in it
    REPAIR_NO_BLOCK,      // no intact exponent-0 block: only the PAR2 tools may help
    REPAIR_NOT_IN_SET,    // the file asked for is not in the recovery set
    REPAIR_UNREADABLE,    // a file needed could not be read (Failed, Error)
    REPAIR_WRONG_LENGTH,  // another portion is not as long as the recovery data says (Failed)
    REPAIR_MISMATCH,      // the rebuilt bytes are not the slice recorded: another
                          // portion or the recovery block is damaged too
    REPAIR_SINK_FAILED,   // the caller's sink said so
    REPAIR_TOOLS_ONLY,    // (RepairAssess) the blocks suffice, but not for the joiners
    REPAIR_TOO_MANY       // (RepairAssess) more lost than recovery blocks
};

enum { REPAIR_PATH_SIZE = 4096 + PAR2_NAME_SIZE };

// One set's recovery data, as RepairOpen found it. About 40 KiB: a joiner
// keeps it in static storage.
struct RepairSet {
    Par2Reader Reader;      // Reader.Files[0..FileCount): names, lengths, slice
                            // checksums; Reader.SliceSize
    const char *Folder;     // the set's folder as given to RepairOpen
    char BlockName[PAR2_NAME_SIZE];  // the file holding the exponent-0 block, "" if none
    uint64_t BlockOffset;   // where the block's bytes start in it
    unsigned Blocks;        // recovery blocks present: distinct exponents, 0 to 32
    int Failed;             // after UNREADABLE or WRONG_LENGTH: the file (index into
                            // Reader.Files), or -1 for BlockName
    long Error;             // after UNREADABLE: the system's error number
    char Path[REPAIR_PATH_SIZE];  // a file's path, being built
};

// Reads the recovery data of the set of the sliced file named `source` (no
// folder; as the portions' headers carry it) lying in `folder` (empty, or
// ending in its separator; kept by pointer until the last call): the index
// SOURCE.par2 and the recovery files SOURCE.vol0+N.par2 (N from 1 to 10),
// whichever are there, each streamed through buffer[0..size).
// REPAIR_OK when the set is described; Blocks and BlockName then say what
// can be rebuilt. Otherwise REPAIR_NONE, _DAMAGED or _UNSUPPORTED.
int RepairOpen(RepairSet *s, const char *folder, const char *source, unsigned char *buffer,
               uint32_t size);

// The index in Reader.Files of the file named `name` (ASCII letters in
// either case, as FAT compares names; both names read as text, as
// SameNameAsText reads them), or -1.
int RepairFind(const RepairSet *s, const char *name);

// Rebuilds the file `name` of the set and hands its bytes, cut to its
// length, to sink in order, in pieces of at most size / 2 bytes; buffer
// holds size bytes (at least 2). The last piece reaches the sink only once
// the whole slice matched its checksums, so a slice that fits in one piece
// reaches it only when right; with several pieces, the earlier ones are
// good only when the call returns REPAIR_OK.
int RepairRebuild(RepairSet *s, const char *name, unsigned char *buffer, uint32_t size,
                  Par2Sink sink, void *context);

// For a set with `damaged` portion files lost or damaged, all of them in the
// recovery set: *spare = Blocks - damaged (negative when short). REPAIR_OK
// when the joiners rebuild them themselves (none, or one with the exponent-0
// block there), REPAIR_TOOLS_ONLY when the PAR2 tools can, else
// REPAIR_TOO_MANY.
int RepairAssess(const RepairSet *s, unsigned damaged, int *spare);

#endif
