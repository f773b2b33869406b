// The Linux dorvane's command line, in three parts: the arguments (sizes,
// counts, options and paths), the portion size they come to with the
// planner's arithmetic, and the line the command prints when a count could
// not be kept.
#include "command_line.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include "slice/planning.h"
#include "slice/slice_arith.h"
#include "slice/slice_job.h"
#include "format/slice_format.h"

// Unit names a size may end with: the window's unit each stands for, whose
// floppy sizes apply; or, for the units the window does not list, the bytes
// each stands for.
enum { UNIT_EXACT = -1 };

struct UnitName {
    const char *Text;
    int Unit;       // a window unit, or UNIT_EXACT
    uint32_t Bytes; // UNIT_EXACT: bytes per unit
};

static const UnitName UnitNames[] = {
    {"", UNIT_BYTES, 1},         {"B", UNIT_BYTES, 1},
    {"K", UNIT_KB, 1},           {"KB", UNIT_KB, 1},
    {"KiB", UNIT_EXACT, 1u << 10},
    {"M", UNIT_MB, 1},           {"MB", UNIT_MB, 1},
    {"MiB", UNIT_EXACT, 1u << 20},
    {"G", UNIT_EXACT, 1u << 30}, {"GB", UNIT_EXACT, 1u << 30},
    {"GiB", UNIT_EXACT, 1u << 30},
};

int ParseSizeArgument(const char *text, uint32_t *bytes)
{
    const char *point = strchr(text, '.');
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
            // A portion is whole bytes: 1.44 alone is more likely a size
            // whose unit was forgotten than a byte and a bit.
            if (UnitNames[i].Unit == UNIT_BYTES && point && strpbrk(point + 1, "123456789"))
                return SIZE_PART_OF_A_BYTE;
            // The unit list's rule: a floppy size counts as its capacity
            // only together with its own unit.
            if (UnitNames[i].Unit == UNIT_EXACT)
                *bytes = ScaledPortionSize(ParseSizeValue(text), UnitNames[i].Bytes);
            else
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

static int AllDigits(const char *text)
{
    if (!*text)
        return 0;
    for (; *text; text++)
        if (*text < '0' || *text > '9')
            return 0;
    return 1;
}

// When argv[*index] is --recovery, with its count as --recovery=N or as the
// next argument when that is all digits: sets command->Recovery and returns
// COMMAND_RUN, or COMMAND_WRONG with the message; -1 for any other argument.
static int TakeRecovery(int argc, char **argv, int *index, SliceCommand *command, char *message,
                        size_t messageSize)
{
    static const char Name[] = "--recovery";
    const char *argument = argv[*index], *count = NULL;
    size_t length = sizeof Name - 1;

    if (strncmp(argument, Name, length) != 0 || (argument[length] && argument[length] != '='))
        return -1;
    if (argument[length] == '=')
        count = argument + length + 1;
    else if (*index + 1 < argc && AllDigits(argv[*index + 1]))
        count = argv[++*index];
    if (command->Recovery)
        return Wrong(message, messageSize, "%s", "--recovery is given twice");
    command->Recovery = RECOVERY_DEFAULT_BLOCKS;
    if (!count)
        return COMMAND_RUN;
    // Leading zeros aside, more than two digits are out of range anyway.
    while (count[0] == '0' && count[1])
        count++;
    if (!AllDigits(count) || strlen(count) > 2 || atoi(count) < 1 ||
        atoi(count) > RECOVERY_MOST_BLOCKS)
        return Wrong(message, messageSize,
                     "--recovery takes a number of recovery blocks from 1 to 10, not \"%s\"",
                     count);
    command->Recovery = (unsigned)atoi(count);
    return COMMAND_RUN;
}

// The options that answer the overwrite question.
struct AnswerOption {
    const char *Name;
    int Answer;
};

static const AnswerOption AnswerOptions[] = {{"--yes", OVERWRITE_YES}, {"--no", OVERWRITE_NO}};

// The OverwriteAnswer an argument gives, OVERWRITE_ASK for any other.
static int AnswerOf(const char *argument)
{
    size_t i;

    for (i = 0; i < sizeof AnswerOptions / sizeof AnswerOptions[0]; i++)
        if (strcmp(argument, AnswerOptions[i].Name) == 0)
            return AnswerOptions[i].Answer;
    return OVERWRITE_ASK;
}

int ParseSliceCommand(int argc, char **argv, SliceCommand *command, char *message,
                      size_t messageSize)
{
    const char *positional[2] = {NULL, NULL};
    const char *value;
    int positionals = 0, methods = 0, options = 1, method, answer, sized, i;

    memset(command, 0, sizeof *command);
    for (i = 1; i < argc && strcmp(argv[i], "--") != 0; i++) {
        if (strcmp(argv[i], "--help") == 0 || strcmp(argv[i], "-h") == 0)
            return COMMAND_HELP;
        if (strcmp(argv[i], "--version") == 0)
            return COMMAND_VERSION;
    }
    for (i = 1; i < argc; i++) {
        method = METHOD_NONE;
        answer = OVERWRITE_ASK;
        if (options) {
            if (strcmp(argv[i], "--") == 0) {
                options = 0;
                continue;
            }
            int recovery = TakeRecovery(argc, argv, &i, command, message, messageSize);
            if (recovery == COMMAND_WRONG)
                return COMMAND_WRONG;
            if (recovery == COMMAND_RUN)
                continue;
            method = TakeValueOption(argc, argv, &i, &value);
            answer = AnswerOf(argv[i]);
        }
        if (method == -1)
            return Wrong(message, messageSize, "%s needs a value", argv[i]);
        sized = method == METHOD_SIZE ? ParseSizeArgument(value, &command->PortionSize) : 0;
        if (sized == SIZE_PART_OF_A_BYTE)
            return Wrong(message, messageSize,
                         "--size \"%s\" is a fraction of a byte: give its unit (K, M or G, as "
                         "in 1.44MB) or a whole number of bytes",
                         value);
        if (sized != 0)
            return Wrong(message, messageSize,
                         "--size takes a size such as 650000, 97.5KB, 1.44MB, 2.5M or 1G, "
                         "not \"%s\"",
                         value);
        if (method == METHOD_COUNT && ParseCount(value, &command->Count) != 0)
            return Wrong(message, messageSize,
                         "--count takes a number of portions from 2 to 100, not \"%s\"", value);
        if (options && method == METHOD_NONE && strcmp(argv[i], "--disks") == 0)
            method = METHOD_DISKS;
        if (options && (strcmp(argv[i], "-q") == 0 || strcmp(argv[i], "--quiet") == 0)) {
            command->Quiet = 1;
            continue;
        }
        if (answer != OVERWRITE_ASK) {
            if (command->Overwrite != OVERWRITE_ASK && command->Overwrite != answer)
                return Wrong(message, messageSize, "%s",
                             "--yes and --no cannot both answer the overwrite question");
            command->Overwrite = answer;
        } else if (method != METHOD_NONE) {
            command->Method = method;
            methods++;
        } else if (options && argv[i][0] == '-' && argv[i][1] != '\0') {
            return Wrong(message, messageSize, "unknown option %s (a path that starts with - "
                         "goes after --)", argv[i]);
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
    // Disk after disk, the block is made while the portions pass, and only
    // the first block can be: the others need every portion's first bytes
    // before the first portion's data, and the later disks are not there yet.
    if (command->Recovery > 1 && command->Method == METHOD_DISKS)
        return Wrong(message, messageSize, "%s",
                     "--recovery with --disks writes one block (--recovery 1): more blocks are "
                     "written only into a folder (--size or --count)");
    if (!positional[0][0] || !positional[1][0])
        return Wrong(message, messageSize, "%s", "an empty path names nothing");
    command->Source = positional[0];
    command->Destination = positional[1];
    return COMMAND_RUN;
}

int PlanFolderPortions(const SliceCommand *command, uint64_t sourceSize, uint32_t *portionSize,
                       char *message, size_t messageSize)
{
    int32_t count = 0;
    uint32_t resized;
    int planned = 0;

    *portionSize = command->PortionSize;
    if (command->Method == METHOD_COUNT)
        planned = EqualPortions(command->Count, sourceSize, &count, portionSize);
    // The job refuses such a source in its own words; any folder size will
    // do to get it there (0 would mean a removable drive).
    if (SourceTooLargeToSlice(sourceSize)) {
        if (*portionSize == 0)
            *portionSize = UINT32_MAX;
        return 0;
    }
    // Equal portions of 4 GiB or more cannot be: the planner held the size
    // to the largest portion, which would make more portions than asked.
    if (planned & EQUAL_SIZE_HELD) {
        char fewest[DECIMAL_TEXT_SIZE];
        DecimalText(SmallestEqualPortionCount(sourceSize), fewest);
        snprintf(message, messageSize,
                 "%d equal portions of this file would be 4 GiB or more each, and a portion "
                 "must be smaller. The fewest that fit are %s (--count %s).\n",
                 (int)command->Count, fewest, fewest);
        return SLICE_TOO_MANY_PORTIONS;
    }
    if (!FolderPortionSizeAcceptable(*portionSize)) {
        snprintf(message, messageSize,
                 "Portions must be larger than 309 bytes: a portion of %lu bytes has no room "
                 "for data.\n",
                 (unsigned long)*portionSize);
        return SLICE_TOO_MANY_PORTIONS;
    }
    // No silent resizing on a command line: the size that fits is named.
    if (SizeForPortionLimit(sourceSize, PortionsNeeded(sourceSize, *portionSize), &resized)) {
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

int CountNotKept(const SliceCommand *command, uint64_t sourceSize, uint32_t portionSize,
                 char *message, size_t messageSize)
{
    uint32_t made;

    if (command->Method != METHOD_COUNT || !FolderPortionSizeAcceptable(portionSize) ||
        SourceTooLargeToSlice(sourceSize))
        return 0;
    // An empty source still makes its one header-only portion.
    made = sourceSize ? PortionsNeeded(sourceSize, portionSize) : 1;
    if (made == (uint32_t)command->Count)
        return 0;
    snprintf(message, messageSize,
             "dorvane: %lu portion%s made, not %d: a portion is whole bytes, and %llu bytes at "
             "%lu data bytes a portion (%lu bytes with the header) fill %lu\n",
             (unsigned long)made, made == 1 ? "" : "s", (int)command->Count,
             (unsigned long long)sourceSize, (unsigned long)(portionSize - PORTION_HEADER_SIZE),
             (unsigned long)portionSize, (unsigned long)made);
    return 1;
}
