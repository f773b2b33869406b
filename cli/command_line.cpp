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

// The value of an option: "--size=X" or "--size X". Returns NULL when the
// argument is not the option; *missing when it has no value.
static const char *OptionValue(const char *option, int argc, char **argv, int *index,
                               int *missing)
{
    size_t length = strlen(option);
    const char *argument = argv[*index];

    *missing = 0;
    if (strncmp(argument, option, length) != 0)
        return NULL;
    if (argument[length] == '=')
        return argument + length + 1;
    if (argument[length] != '\0')
        return NULL;
    if (*index + 1 >= argc) {
        *missing = 1;
        return NULL;
    }
    return argv[++*index];
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
    int positionals = 0, missing, methods = 0, i;

    memset(command, 0, sizeof *command);
    for (i = 1; i < argc; i++) {
        if (strcmp(argv[i], "--help") == 0 || strcmp(argv[i], "-h") == 0)
            return COMMAND_HELP;
        if (strcmp(argv[i], "--version") == 0)
            return COMMAND_VERSION;
    }
    for (i = 1; i < argc; i++) {
        if ((value = OptionValue("--size", argc, argv, &i, &missing)) != NULL) {
            if (ParseSizeArgument(value, &command->PortionSize) != 0)
                return Wrong(message, messageSize,
                             "--size takes a size such as 650000, 97.5KB or 1.44MB, not \"%s\"",
                             value);
            command->Method = METHOD_SIZE;
            methods++;
        } else if ((value = OptionValue("--count", argc, argv, &i, &missing)) != NULL) {
            if (ParseCount(value, &command->Count) != 0)
                return Wrong(message, messageSize,
                             "--count takes a number of portions from 2 to 100, not \"%s\"",
                             value);
            command->Method = METHOD_COUNT;
            methods++;
        } else if (missing) {
            return Wrong(message, messageSize, "%s needs a value", argv[i]);
        } else if (strcmp(argv[i], "--disks") == 0) {
            command->Method = METHOD_DISKS;
            methods++;
        } else if (argv[i][0] == '-' && argv[i][1] != '\0') {
            return Wrong(message, messageSize, "unknown option %s", argv[i]);
        } else if (positionals < 2) {
            positional[positionals++] = argv[i];
        } else {
            return Wrong(message, messageSize, "one source and one destination, not also \"%s\"",
                         argv[i]);
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

    *portionSize = command->PortionSize;
    if (command->Method == METHOD_COUNT)
        RefreshCountNote(command->Count, sourceSize, &count, portionSize, text, sizeof text,
                         note, sizeof note);
    if (SourceTooLargeToSlice(sourceSize))
        return 0;
    if (!FolderPortionSizeAcceptable(*portionSize)) {
        snprintf(message, messageSize, "%s: a portion of %lu bytes has no room for data.\n",
                 SizeTooSmallNote, (unsigned long)*portionSize);
        return SLICE_TOO_MANY_PORTIONS;
    }
    // No silent resizing on a command line: the size that fits is named.
    if (PortionLimitResize(sourceSize, PortionsNeeded((uint32_t)sourceSize, *portionSize),
                           &resized, text, sizeof text)) {
        snprintf(message, messageSize,
                 "Portions of %lu bytes would take %lu portions, and a slice set holds at most "
                 "100. The smallest size that fits is %lu bytes (--size %lu).\n",
                 (unsigned long)*portionSize,
                 (unsigned long)PortionsNeeded((uint32_t)sourceSize, *portionSize),
                 (unsigned long)resized, (unsigned long)resized);
        return SLICE_TOO_MANY_PORTIONS;
    }
    return 0;
}
