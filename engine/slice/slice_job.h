// The slice job itself, on every platform: one source file cut into a slice
// set, into a folder in portions of a given size or onto a removable drive,
// disk after disk. The steps, their result codes and their messages live
// here; the operating system is reached only through the platform layer
// (os/), and the user only through a SliceUser, whose answers the Windows
// program gives with message boxes and the Linux command with keys on its
// terminal.
#ifndef DORVANE_SLICE_JOB_H
#define DORVANE_SLICE_JOB_H

#include <stddef.h>
#include <stdint.h>

#include "format/slice_format.h"

// Result codes: the job's outcome (the worker thread's exit code on Windows,
// the command's exit status on Linux). Failures are numbered by the place
// where they happen, counting down from 254 in the order of the work.
enum SliceResult {
    SLICE_COMPLETE = 0,           // every portion was written
    SLICE_NOT_CREATED = 232,      // Linux: a portion could not be created, and no terminal
                                  // to ask Abort, Retry or Ignore
    SLICE_NO_FOLDER = 233,        // Linux: the destination folder could not be made
    SLICE_LIST_TAKEN = 231,       // the list's name is another set's list, never replaced
    SLICE_SOURCE_IN_SET = 235,    // a file the job would write is the source itself
    SLICE_NO_TERMINAL = 236,      // Linux: a disk prompt with no terminal to answer it
    SLICE_UNSAFE_NAME = 237,      // the joiner would refuse the source's file name
    SLICE_NO_THREAD = 238,        // the worker thread could not start
    SLICE_TOO_MANY_DISKS = 239,   // removable drive: a 101st disk would be needed
    SLICE_CLOSE_FAILED = 240,     // flushing or closing a portion failed
    SLICE_WRITE_FAILED = 241,     // writing a portion failed or fell short
    SLICE_READ_FAILED = 242,      // reading the source failed or fell short
    SLICE_TOO_MANY_PORTIONS = 243,// folder: the portion size needs over 100 portions
    SLICE_UNNUMBERABLE_NAME = 244,// the source's name is too short (or long) to number
    SLICE_SOURCE_TOO_LARGE = 245, // the source has more than a set can carry (MAX_SET_DATA)
    SLICE_CANCELLED = 246,        // Cancel at the overwrite question
    SLICE_ABORTED = 247,          // Abort at a "not ready" or open-error message
    SLICE_NO_BUFFER = 248,        // the transfer buffer could not be allocated
    SLICE_NOT_REMOVABLE = 249,    // removable-drive mode on a drive that is not
    SLICE_NO_PATH_BUFFER = 250,   // the portion path could not be allocated
    SLICE_NO_SIZE = 251,          // reading the source's size failed
    SLICE_NO_TIMES = 252,         // reading the source's file times failed
    SLICE_NO_SOURCE = 253,        // opening the source failed
    SLICE_NO_ATTRIBUTES = 254     // reading the source's attributes failed
};

// The answers to the job's questions; the same numbers as the Windows
// message boxes' buttons, so that those pass straight through. NONE: nobody
// can answer (no terminal), and the job ends with the failure's own code.
enum SliceAnswer {
    SLICE_ANSWER_NONE = 0,
    SLICE_ANSWER_OK = 1,
    SLICE_ANSWER_CANCEL = 2,
    SLICE_ANSWER_ABORT = 3,
    SLICE_ANSWER_RETRY = 4,
    SLICE_ANSWER_IGNORE = 5
};

// The user's side of a job: its questions and notices. Every member is
// called on the thread that runs the job; Context is handed back to each.
struct SliceUser {
    void *Context;
    // "Please insert disk #disk in drive destination": returns once the user
    // is ready (0), or with the result code that ends the job, when there
    // is no way to ask (the user side has then said why).
    int (*NextDisk)(void *context, int disk, const char *destination);
    // "Do you want to overwrite preexisting files?": SLICE_ANSWER_OK or
    // SLICE_ANSWER_CANCEL. Asked at most once per job. detail is a line that
    // names the files the answer replaces or removes ("To be replaced or
    // removed: BIG.D00 to BIG.D02, BIG.DAT.sfv"), for the user to see with
    // the question.
    int (*AskOverwrite)(void *context, const char *detail);
    // "destination is not ready.": abort, retry or ignore; NONE ends the
    // job with SLICE_NO_TERMINAL.
    int (*NotReady)(void *context, const char *destination);
    // "Error while opening path": abort, retry or ignore; NONE ends the job
    // with SLICE_NOT_CREATED and the error in its final message.
    int (*OpenError)(void *context, const char *path, long error);
    // A warning after which the job goes on (the joiner could not be written).
    void (*Notice)(void *context, const char *text);
    // The one message of a failed job, shown where it ends.
    void (*Final)(void *context, int code, const char *text);
    // Source bytes written so far, after every transfer; 64-bit, for a
    // source may have up to MAX_SET_DATA bytes.
    void (*Progress)(void *context, uint64_t done, uint64_t total);

    // The members below may be left out (NULL): the window's boxes need none.

    // How a message names error number error: the text that follows
    // "Error writing PATH", into part[size]. NULL: " = 27", as the window
    // says it; the Linux command says ": File too large (27)".
    void (*ErrorPart)(void *context, long error, char *part, size_t size);
    // A line that says what was made (the recovery data written), where
    // Notice says what went wrong and the job goes on. NULL: Notice says it.
    void (*Result)(void *context, const char *text);
    // 0, or the result code that ends the job because the user interrupted
    // it (the Linux command's Ctrl+C): asked between transfers and after
    // every question. NULL: never.
    int (*Interrupted)(void *context);
};

// The text that follows a message about error number error, as user words
// it (its ErrorPart, else " = error"), into part[SLICE_ERROR_PART_SIZE].
enum { SLICE_ERROR_PART_SIZE = 160 };
void SliceErrorPart(const SliceUser *user, long error, char *part);

// 0, or the code that ends the job because user was interrupted.
int SliceInterruption(const SliceUser *user);

// What the user side says after a step: a result line, through Result, or
// Notice where it has none.
void SliceSayResult(const SliceUser *user, const char *text);

// Sees the bytes of every portion file as the job writes them, header and
// data, in order: for a caller that makes something of the set as it
// passes, such as recovery data for disks that leave the drive one by one.
struct SliceObserver {
    void *Context;
    // Portion number portion, at path, is about to be written: length
    // bytes, header included.
    void (*PortionStarts)(void *context, unsigned portion, const char *path, uint64_t length);
    // Bytes just written into it, following those before.
    void (*Written)(void *context, const void *data, uint32_t size);
    // Removable drive: bytes each disk keeps free beside its portion (NULL:
    // none), asked when the disk for portion is measured, with its free
    // bytes and allocation unit and the source bytes still to be written.
    uint32_t (*Reserve)(void *context, unsigned portion, uint32_t free, uint32_t unit,
                        uint64_t rest);
};

// The two ways a job cuts its source.
enum SliceMode {
    SLICE_INTO_FOLDER = 0, // portions of a given size, header included, in one folder
    SLICE_ONTO_DISKS = 1   // onto a removable drive, each portion filling its disk
};

// What a complete job wrote, for a step that reads the set again (the
// recovery data): a portion that reads back otherwise changed on the
// destination meanwhile.
struct SliceWritten {
    unsigned Portions;                  // portion files written
    uint32_t PortionCrcs[MAX_PORTIONS]; // each one's CRC-32 as written, header included
};

// Runs one job and returns its result code. For SLICE_ONTO_DISKS destination
// is a drive name such as "A:" (Windows) or a mount point ending in a slash
// (Linux), and portionSize is not used; for SLICE_INTO_FOLDER it is a folder
// path ending in its separator, and portionSize counts the header.
int SliceFile(const char *source, const char *destination, int mode, uint32_t portionSize,
              const SliceUser *user);
// The same, with observer (or NULL) shown every byte written to a portion,
// and, when written is not NULL, what a complete job wrote filled in.
int SliceFileObserved(const char *source, const char *destination, int mode,
                      uint32_t portionSize, const SliceUser *user, const SliceObserver *observer,
                      SliceWritten *written);

// Shows the final message of code for a job that ends before it ran (the
// worker that cannot start), as the job itself would.
void ReportSliceFailure(const SliceUser *user, int code, long error, const char *source,
                        const char *destination, int mode, uint32_t portionSize);

// The refusal of a folder job one of whose files (a portion, the joiner)
// would be the source itself, for a caller that refuses it before the job
// starts: returns 0, or SLICE_SOURCE_IN_SET with *message the job's own text
// for it (heap, free(); NULL without memory). SLICE_NO_PATH_BUFFER (*message
// NULL) when memory for the paths to compare ran short: whether a file
// would be the source is then unknown, and the job is refused as the job
// itself would refuse it. Arguments as for SliceFile in SLICE_INTO_FOLDER
// mode, and the source's size.
int CheckSliceSource(const char *source, const char *destination, uint32_t portionSize,
                     uint64_t sourceSize, char **message);

// Writes the joiner program the platform carries as folder + "KELMORIX.EXE",
// replacing one that is there without asking. Returns 0, or the error number
// that kept it from being written in full; then nothing half-written is left,
// and *replaceFailed (when not NULL) tells whether the error is that of
// deleting an existing copy, which stays as it was. A build that carries no
// joiner writes nothing and returns 0.
long WriteJoinerFile(const char *folder, int *replaceFailed);


#endif
