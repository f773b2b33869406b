// The Linux dorvane's command line: its arguments, the portion size they ask
// for worked out with the window's own planner arithmetic, the line that says
// when a count could not be kept.
// Portable: tested natively.
#ifndef DORVANE_COMMAND_LINE_H
#define DORVANE_COMMAND_LINE_H

#include <stddef.h>
#include <stdint.h>

enum SliceMethod { METHOD_NONE, METHOD_SIZE, METHOD_COUNT, METHOD_DISKS };

// How the overwrite question is answered: on the terminal, or by --yes or
// --no for a script that has none.
enum OverwriteAnswer { OVERWRITE_ASK, OVERWRITE_YES, OVERWRITE_NO };

// What ParseSliceCommand makes of the arguments.
enum CommandOutcome {
    COMMAND_RUN,     // slice: Source, Destination and the method are set
    COMMAND_HELP,    // --help
    COMMAND_VERSION, // --version
    COMMAND_WRONG    // the message says what is wrong
};

// The exit status of a command line that makes no sense; every other status
// is a slice job's result code.
enum { COMMAND_LINE_ERROR = 1 };

struct SliceCommand {
    const char *Source;      // as given
    const char *Destination; // as given: a folder, or a mount point with --disks
    int Method;              // a SliceMethod
    uint32_t PortionSize;    // --size, in bytes, header included
    int32_t Count;           // --count, 2 to 100
    int Overwrite;           // an OverwriteAnswer
    unsigned Recovery;       // --recovery: PAR2 recovery blocks, 1 to 10; 0 without
    int Quiet;               // -q, --quiet: no progress and no result lines
};

// --recovery takes an optional count of blocks: --recovery=N, or N as the
// next argument whenever that argument is all digits (so a path made of
// digits alone goes after --, or is written ./N). Without one, 1 block.
enum { RECOVERY_DEFAULT_BLOCKS = 1, RECOVERY_MOST_BLOCKS = 10 };

// Reads argv[1..argc-1]; after "--" every argument is a path. On
// COMMAND_WRONG, message holds one line.
int ParseSliceCommand(int argc, char **argv, SliceCommand *command, char *message,
                      size_t messageSize);

// A size: a number with an optional fraction and a unit, in any case: none
// or B for bytes; K, KB or KiB; M, MB or MiB; G, GB or GiB, each 1024 times
// the one before. K, KB, M and MB are read as the window reads them, so that
// 360KB, 720KB, 1.2MB, 1.44MB and 2.88MB are the floppies' real capacities;
// KiB and MiB are exact (1.44MiB is 1509949 bytes). A size past the largest
// portion is held to it. Returns 0, SIZE_PART_OF_A_BYTE for a count of bytes
// with a fraction (1.44 alone), or -1 when the text is not such a size.
enum { SIZE_PART_OF_A_BYTE = -2 };
int ParseSizeArgument(const char *text, uint32_t *bytes);

// The portion size of a folder job for a source of sourceSize bytes: the
// --size given or the --count's equal size. Returns 0, or the job's result
// code that refuses it with message set: a size that leaves no room for
// data, or one that needs more than 100 portions (the message names the
// smallest size that fits). A source larger than a set can carry is left
// to the job, which refuses it in its own words.
int PlanFolderPortions(const SliceCommand *command, uint64_t sourceSize, uint32_t *portionSize,
                       char *message, size_t messageSize);

// 1 when a --count job of portionSize makes another number of portions
// than counted (equal portions are whole bytes: 99 of a 1,000-byte source
// hold 11 bytes each and make 91); message then holds the line saying so.
int CountNotKept(const SliceCommand *command, uint64_t sourceSize, uint32_t portionSize,
                 char *message, size_t messageSize);

#endif
