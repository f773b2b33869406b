#include "command_line.h"

#include <stdio.h>
#include <string.h>
#include <strings.h>

#include "planning.h"
#include "slice_arith.h"
#include "slice_engine.h"
#include "slice_format.h"

// Unit names a size may end with, and the window's unit each stands for.
struct UnitName {
    const char *Text;
    int Unit;
};

static const UnitName UnitNames[] = {
    {"", UNIT_BYTES}, {"B", UNIT_BYTES}, {"K", UNIT_KB},
    {"KB", UNIT_KB},  {"M", UNIT_MB},    {"MB", UNIT_MB},
};

int ParseSizeArgument(const char *text, uint32_t *bytes)
{
    size_t digits = 0, points = 0, at;
    size_t i;

    for (at = 0; (text[at] >= '0' && text[at] <= '9') || text[at] == '.'; at++) {
        if (text[at] == '.')
            points++;
        else
            digits++;
    }
    if (!digits || points > 1 || at > SIZE_TEXT_LIMIT)
        return -1;
    for (i = 0; i < sizeof UnitNames / sizeof UnitNames[0]; i++)
        if (strcasecmp(text + at, UnitNames[i].Text) == 0) {
            // The unit list's rule: a floppy size counts as its capacity
            // only together with its own unit.
            *bytes = UnitChangePortionSize(ParseSizeValue(text), 0, 0, UnitNames[i].Unit);
            return 0;
        }
    return -1;
}

static int ParseCount(const char *text, int32_t *count)
{
    size_t at;

    for (at = 0; text[at]; at++)
        if (text[at] < '0' || text[at] > '9' || at >= COUNT_TEXT_LIMIT)
            return -1;
    if (!at)
        return -1;
    *count = ParseCountValue(text);
    return *count >= PLAN_MIN_COUNT && *count <= MAX_PORTIONS ? 0 : -1;
}

// The options that take a value, and the method each chooses.
struct ValueOption {
    const char *Name;
    int Method;
};

static const ValueOption ValueOptions[] = {{"--size", METHOD_SIZE}, {"--count", METHOD_COUNT}};

// When argv[*index] is "--size=X" or "--size X" (or --count), sets *value
// and returns its method, moving *index past the value; -1 when the value
// is missing; METHOD_NONE for any other argument.
static int TakeValueOption(int argc, char **argv, int *index, const char **value)
{
    const char *argument = argv[*index];
    size_t i, length;

    for (i = 0; i < sizeof ValueOptions / sizeof ValueOptions[0]; i++) {
        length = strlen(ValueOptions[i].Name);
        if (strncmp(argument, ValueOptions[i].Name, length) != 0)
            continue;
        if (argument[length] == '=') {
            *value = argument + length + 1;
            return ValueOptions[i].Method;
        }
        if (argument[length] != '\0')
            continue;
        if (*index + 1 >= argc)
            return -1;
        *value = argv[++*index];
        return ValueOptions[i].Method;
    }
    return METHOD_NONE;
}

static int Wrong(char *message, size_t size, const char *text, const char *argument)
{
    snprintf(message, size, text, argument);
    return COMMAND_WRONG;
}

int ParseSliceCommand(int argc, char **argv, SliceCommand *command, char *message,
                      size_t messageSize)
{
    const char *positional[2] = {NULL, NULL};
    const char *value;
    int positionals = 0, methods = 0, method, i;

    memset(command, 0, sizeof *command);
    for (i = 1; i < argc; i++) {
        if (strcmp(argv[i], "--help") == 0 || strcmp(argv[i], "-h") == 0)
            return COMMAND_HELP;
        if (strcmp(argv[i], "--version") == 0)
            return COMMAND_VERSION;
    }
    for (i = 1; i < argc; i++) {
        method = TakeValueOption(argc, argv, &i, &value);
        if (method == -1)
            return Wrong(message, messageSize, "%s needs a value", argv[i]);
        if (method == METHOD_SIZE && ParseSizeArgument(value, &command->PortionSize) != 0)
            return Wrong(message, messageSize,
                         "--size takes a size such as 650000, 97.5KB or 1.44MB, not \"%s\"",
                         value);
        if (method == METHOD_COUNT && ParseCount(value, &command->Count) != 0)
            return Wrong(message, messageSize,
                         "--count takes a number of portions from 2 to 100, not \"%s\"", value);
        if (method == METHOD_NONE && strcmp(argv[i], "--disks") == 0)
            method = METHOD_DISKS;
        if (method != METHOD_NONE) {
            command->Method = method;
            methods++;
        } else if (argv[i][0] == '-' && argv[i][1] != '\0') {
            return Wrong(message, messageSize, "unknown option %s", argv[i]);
        } else if (positionals < 2) {
            positional[positionals++] = argv[i];
        } else {
            return Wrong(message, messageSize,
                         "one source and one destination, not also \"%s\"", argv[i]);
        }
    }
    if (positionals < 2)
        return Wrong(message, messageSize, "%s", "a source file and a destination are needed");
    if (methods != 1)
        return Wrong(message, messageSize, "%s", "give one of --size, --count and --disks");
    if (!positional[0][0] || !positional[1][0])
        return Wrong(message, messageSize, "%s", "an empty path names nothing");
    command->Source = positional[0];
    command->Destination = positional[1];
    return COMMAND_RUN;
}

int PlanFolderPortions(const SliceCommand *command, uint64_t sourceSize, uint32_t *portionSize,
                       char *message, size_t messageSize)
{
    char text[PLAN_TEXT_SIZE], note[PLAN_TEXT_SIZE];
    int32_t count = 0;
    uint32_t resized;

    int planned = 0;

    *portionSize = command->PortionSize;
    if (command->Method == METHOD_COUNT)
        planned = RefreshCountNote(command->Count, sourceSize, &count, portionSize, text,
                                   sizeof text, note, sizeof note);
    // The job refuses such a source in its own words; any folder size will
    // do to get it there (0 would mean a removable drive).
    if (SourceTooLargeToSlice(sourceSize)) {
        if (*portionSize == 0)
            *portionSize = UINT32_MAX;
        return 0;
    }
    // Equal portions of 4 GiB or more cannot be: the planner held the size
    // to the largest portion, which would make more portions than asked.
    if (planned & PLAN_COUNT_TOO_SMALL) {
        char fewest[DECIMAL_TEXT_SIZE];
        DecimalText(SmallestEqualPortionCount(sourceSize), fewest);
        snprintf(message, messageSize,
                 "%d equal portions of this file would be 4 GiB or more each, and a portion "
                 "must be smaller. The fewest that fit are %s (--count %s).\n",
                 (int)command->Count, fewest, fewest);
        return SLICE_TOO_MANY_PORTIONS;
    }
    if (!FolderPortionSizeAcceptable(*portionSize)) {
        snprintf(message, messageSize, "%s: a portion of %lu bytes has no room for data.\n",
                 SizeTooSmallNote, (unsigned long)*portionSize);
        return SLICE_TOO_MANY_PORTIONS;
    }
    // No silent resizing on a command line: the size that fits is named.
    if (PortionLimitResize(sourceSize, PortionsNeeded(sourceSize, *portionSize),
                           &resized, text, sizeof text)) {
        snprintf(message, messageSize,
                 "Portions of %lu bytes would take %lu portions, and a slice set holds at most "
                 "100. The smallest size that fits is %lu bytes (--size %lu).\n",
                 (unsigned long)*portionSize,
                 (unsigned long)PortionsNeeded(sourceSize, *portionSize),
                 (unsigned long)resized, (unsigned long)resized);
        return SLICE_TOO_MANY_PORTIONS;
    }
    return 0;
}
