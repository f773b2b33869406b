// Rebuilding a sliced file from its slice set.
#ifndef DORVANE_JOIN_H
#define DORVANE_JOIN_H

// Result codes: the joiner's process exit code. 1 is the command line's own
// refusal of wildcards; the rest count down from 254 by where the run ends.
enum JoinResult {
    JOIN_OK = 0,
    JOIN_WILDCARD = 1,
    JOIN_DAMAGED = 230,         // a portion or the data disagrees with the checksum list
    JOIN_NO_CURRENT_FOLDER = 231, // the current folder cannot be read (deleted)
    JOIN_OUTPUT_IS_PORTION = 232, // the rebuilt file would take a portion's place
    JOIN_NO_CONSOLE = 233,      // a disk prompt has no console to read a key from
    JOIN_PATH_TOO_LONG = 234,   // the current folder does not fit its buffer
    JOIN_NO_TEMP = 235,         // neither TEMP nor TMP names a destination
    JOIN_SIZE_MISMATCH = 236,   // the portions hold more or less than the set's size
                                   // 237 is free: it refused sets of 4 GiB or more
    JOIN_FOREIGN_PORTION = 238, // a portion of another set under the expected name
    JOIN_WRITE_FAILED = 239,    // the output took fewer bytes than given (disk full)
    JOIN_READ_FAILED = 240,     // a portion yielded fewer data bytes than its size
    JOIN_SHORT_PORTION = 241,   // a portion shorter than its header
    JOIN_UNSAFE_NAME = 242,     // the header's file name would leave the destination
    JOIN_SET_ATTRIBUTES = 243,
    JOIN_CLOSE_OUTPUT = 244,
    JOIN_SET_TIMES = 245,
    JOIN_READ_HEADER = 246,
    JOIN_OPEN_PORTION = 247,
    JOIN_NO_BUFFER = 248,
    JOIN_OPEN_OUTPUT = 249,
    JOIN_NO_OUTPUT_PATH = 250,
    JOIN_CLOSE_FIRST = 251,
    JOIN_READ_FIRST_HEADER = 252,
    JOIN_NO_FIRST_PORTION = 253,
    JOIN_NO_SOURCE_PATH = 254
};

// Finds the set named by sourceArgument (a folder, a first portion or the
// sliced file's name), rebuilds its file in destinationFolder and reports the
// outcome on standard output. Returns a JoinResult.
int JoinSliceSet(const char *sourceArgument, const char *destinationFolder);

#ifndef _WIN32
// Checks the set named by sourceArgument without rebuilding it: every
// portion's header, length, place and checksum, one line each. Writes
// nothing. Returns 0 for a sound set, JOIN_DAMAGED, or the JoinResult
// of a set that cannot be found.
int JoinCheckSet(const char *sourceArgument);
#endif

// The usage text, also shown when no set can be found.
void PrintUsage(void);

#endif
