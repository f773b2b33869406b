// The Linux dorvane's command line, and the portion size it asks for worked
// out with the window's own planner arithmetic. Portable: tested natively.
#ifndef DORVANE_COMMAND_LINE_H
#define DORVANE_COMMAND_LINE_H

#include <stddef.h>
#include <stdint.h>

enum SliceMethod { METHOD_NONE, METHOD_SIZE, METHOD_COUNT, METHOD_DISKS };

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
};

// Reads argv[1..argc-1]. On COMMAND_WRONG, message holds one line.
int ParseSliceCommand(int argc, char **argv, SliceCommand *command, char *message,
                      size_t messageSize);

// A size as the window reads it: a number with an optional fraction and a
// unit (none or B for bytes, K or KB, M or MB; any case); the floppy sizes
// 360KB, 720KB, 1.2MB, 1.44MB and 2.88MB are their real capacities.
// Returns 0, or -1 when the text is not such a size.
int ParseSizeArgument(const char *text, uint32_t *bytes);

// The portion size of a folder job for a source of sourceSize bytes: the
// --size given or the --count's equal size. Returns 0, or the job's result
// code that refuses it with message set: a size that leaves no room for
// data, or one that needs more than 100 portions (the message names the
// smallest size that fits). A source larger than a set can carry is left
// to the job, which refuses it in its own words.
int PlanFolderPortions(const SliceCommand *command, uint64_t sourceSize, uint32_t *portionSize,
                       char *message, size_t messageSize);

#endif
