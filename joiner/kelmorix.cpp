// kelmorix: rebuilds a file from the slice set that dorvane cut it into, or
// checks a set (--check). The main of KELMORIX.EXE and of the Linux
// kelmorix: one command line on both systems (the options, the source and
// the destination folder), then JoinSliceSet or JoinCheckSet; KELMORIX.EXE
// started from Explorer keeps its window open until a key is pressed.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "dorvane_version.h"
#include "os/console.h"
#include "os/media.h"
#include "os/process.h"
#include "join/join.h"

#ifdef _WIN32
// Arguments reach the program as typed: a wildcard is refused, not expanded.
extern "C" {
int _dowildcard = 0;
}
#define PROGRAM_NAME "KELMORIX"
// GetCurrentDirectoryW gives fewer than MAX_PATH (260) units, each three
// bytes of UTF-8 at most.
enum { CURRENT_FOLDER_SIZE = 3 * 260 + 1, CURRENT_FOLDER_LIMIT = 260 };
#define CURRENT_FOLDER_UNITS "characters"
#else
#define PROGRAM_NAME "kelmorix"
enum { CURRENT_FOLDER_SIZE = 4096, CURRENT_FOLDER_LIMIT = CURRENT_FOLDER_SIZE - 1 };
#define CURRENT_FOLDER_UNITS "bytes"
#endif

static const char Banner[] =
    "\n"
    "KELMORIX " DORVANE_VERSION_TEXT "  joiner for slice sets cut by DORVANE\n"
    DORVANE_COPYRIGHT "\n"
    "Rebuilds a sliced file from its numbered portions and restores\n"
    "its name, times and attributes. Run it from the first disk or\n"
    "from the folder of a slice set, or name the set's first portion.\n";

static const char Options[] =
    "\nOptions:\n"
    "  --check      check the set, write nothing: exit 0 if sound, 230 if not\n"
    "  --yes, --no  answer Overwrite? (Y/N)\n"
    "  -q           no banner, no progress\n"
    "  --           a name that begins with '-' follows\n"
#ifdef _WIN32
    "  --help, --version, /CHECK, /?\n";
#else
    "  --help, --version\n";
#endif

// What the command line asks for.
enum CommandOption {
    OPTION_CHECK,
    OPTION_HELP,
    OPTION_VERSION,
    OPTION_YES,
    OPTION_NO,
    OPTION_QUIET,
    OPTION_END // --: every argument after it is a name
};

struct OptionName {
    const char *Text;
    int Option;
};

static const OptionName OptionNames[] = {
    {"--check", OPTION_CHECK}, {"--help", OPTION_HELP},   {"-h", OPTION_HELP},
    {"--version", OPTION_VERSION}, {"--yes", OPTION_YES}, {"--no", OPTION_NO},
    {"-q", OPTION_QUIET},      {"--quiet", OPTION_QUIET}, {"--", OPTION_END},
#ifdef _WIN32
    // The Windows forms, in any case.
    {"/CHECK", OPTION_CHECK},  {"/?", OPTION_HELP},
#endif
};

// The arguments read.
struct Command {
    const char *Names[2]; // the source and the destination folder, as given
    int Count;            // names given
    int Check;            // 1: --check
};


static int Lower(int c)
{
    return c >= 'A' && c <= 'Z' ? c + 'a' - 'A' : c;
}

// 1 when a and b are equal, letters of ASCII compared without regard to case.
static int SameNoCase(const char *a, const char *b)
{
    for (; *a && Lower(*a) == Lower(*b); a++, b++)
        ;
    return *a == *b;
}

// The CommandOption an argument names, or -1.
static int OptionOf(const char *argument)
{
    size_t i;

    for (i = 0; i < sizeof OptionNames / sizeof OptionNames[0]; i++)
        if (argument[0] == '/' ? SameNoCase(argument, OptionNames[i].Text)
                               : strcmp(argument, OptionNames[i].Text) == 0)
            return OptionNames[i].Option;
    return -1;
}

// A usage error: what is wrong (a format that begins with the program's
// name), the usage after it, on standard error.
static int UsageError(const char *what, const char *argument)
{
    fflush(stdout);
    fprintf(stderr, what, argument);
    PrintUsage(stderr);
    fputs("\n(" PROGRAM_NAME " --help says more)\n", stderr);
    return JOIN_BAD_COMMAND;
}

// Reads the arguments into command and JoinOptions. Returns -1 when the run
// goes on, else the exit code (--help and --version answered). --help and
// --version count wherever they stand before --; any other argument that
// begins with '-' before -- is a mistyped option, never a name. A third
// name is a mistake too (a second one with --check): it would be ignored,
// and the user would not know.
static int ReadCommand(int argc, char **argv, Command *command)
{
    int options = 1, option, i;

    memset(command, 0, sizeof *command);
    for (i = 1; i < argc && OptionOf(argv[i]) != OPTION_END; i++) {
        option = OptionOf(argv[i]);
        if (option == OPTION_HELP) {
            fputs(Banner, stdout);
            PrintUsage(stdout);
            fputs(Options, stdout);
            return 0;
        }
        if (option == OPTION_VERSION) {
            printf(PROGRAM_NAME " %s\n%s\n", DORVANE_VERSION_TEXT, DORVANE_COPYRIGHT);
            return 0;
        }
    }
    for (i = 1; i < argc; i++) {
        option = options ? OptionOf(argv[i]) : -1;
        if (option == OPTION_END) {
            options = 0;
        } else if (option == OPTION_CHECK) {
            command->Check = 1;
        } else if (option == OPTION_QUIET) {
            JoinOptions.Quiet = 1;
        } else if (option == OPTION_YES || option == OPTION_NO) {
            if (JoinOptions.Overwrite != JOIN_ASK &&
                JoinOptions.Overwrite != (option == OPTION_YES ? JOIN_ANSWER_YES : JOIN_ANSWER_NO))
                return UsageError(PROGRAM_NAME ": --yes or --no, not both%s\n", "");
            JoinOptions.Overwrite = option == OPTION_YES ? JOIN_ANSWER_YES : JOIN_ANSWER_NO;
        } else if (options && argv[i][0] == '-' && argv[i][1]) {
            return UsageError(PROGRAM_NAME ": unknown option %s\n", argv[i]);
        } else if (command->Count < 2) {
            command->Names[command->Count++] = argv[i];
        } else {
            return UsageError(PROGRAM_NAME ": a name too many: %s\n", argv[i]);
        }
    }
    if (command->Check && command->Count > 1)
        return UsageError(PROGRAM_NAME ": a name too many: %s\n", command->Names[1]);
    return -1;
}

// TEMP names the destination when the joiner runs from a removable disk;
// without it the platform's usual stand-ins are asked, and where the
// platform has a folder for temporary files in every installation, that one.
// An empty value names nothing.
#ifdef _WIN32
static const char *const TemporaryVariables[] = {"TEMP", "TMP"};
static const char *const TemporaryFallback = NULL;
#else
static const char *const TemporaryVariables[] = {"TEMP", "TMPDIR"};
static const char *const TemporaryFallback = "/tmp";
#endif

static const char *TemporaryFolder(void)
{
    const char *value;
    size_t i;

    for (i = 0; i < sizeof TemporaryVariables / sizeof TemporaryVariables[0]; i++) {
        value = getenv(TemporaryVariables[i]);
        if (value && *value)
            return value;
    }
    return TemporaryFallback;
}

static int ReadCurrentFolder(char *buffer)
{
    long error = OsCurrentFolder(buffer, CURRENT_FOLDER_SIZE);

    if (error == 0)
        return 0;
    if (error != OS_BUFFER_TOO_SMALL) {
        // A folder deleted while the program stood in it, or one it may not read.
        JoinSayError("Error reading the current folder = %ld\n", error);
        return JOIN_NO_CURRENT_FOLDER;
    }
    JoinSayError("The path of the current folder is longer than %d " CURRENT_FOLDER_UNITS ";\n"
                 "name the source and the destination folder.\n",
                 (int)CURRENT_FOLDER_LIMIT);
    return JOIN_PATH_TOO_LONG;
}

static int Run(int argc, char **argv)
{
    char current[CURRENT_FOLDER_SIZE];
    const char *source, *destination;
    Command command;
    int result, i;

    OsBufferOutput();
    // Should the system not give them, the arguments as the C library read them.
    OsCommandArguments(argc, argv, &argc, &argv);
    result = ReadCommand(argc, argv, &command);
    if (result >= 0)
        return result;
    JoinStartConsole();
    // The check says only what it finds: one line per portion, no banner.
    if (!command.Check && !JoinOptions.Quiet)
        fputs(Banner, stdout);
    for (i = 0; i < command.Count; i++)
        if (strpbrk(command.Names[i], "?*")) {
            PrintUsage(stdout);
            return JOIN_WILDCARD;
        }
    if (command.Count < 2 - command.Check) {
        result = ReadCurrentFolder(current);
        if (result)
            return result;
    }
    source = command.Count ? command.Names[0] : current;
    if (command.Check) {
        result = JoinCheckSet(source);
        if (JoinInterruption()) {
            JoinSayInterrupted(1, NULL);
            result = JoinInterruption();
        }
        return result;
    }
    if (command.Count > 1) {
        destination = command.Names[1];
    } else if (!OsIsRemovable(current)) {
        destination = current;
    } else {
        // Never write the rebuilt file onto the disk it is read from.
        destination = TemporaryFolder();
        if (!destination) {
            JoinSayError("Neither TEMP nor TMP is set; name a destination folder.\n");
            return JOIN_NO_TEMP;
        }
    }
    return JoinSliceSet(source, destination);
}

int main(int argc, char **argv)
{
    int result = Run(argc, argv);

    fflush(stdout);
#ifdef _WIN32
    // Started from Explorer, the console closes as the program ends: its
    // last lines stay until a key is pressed.
    if (JoinKeepsWindowOpen(OsConsoleProcessCount(), OsIsTerminal(0))) {
        fputs("\nPress any key to close this window.\n", stdout);
        fflush(stdout);
        OsFlushTypedAhead();
        OsReadKey();
    }
#endif
    return result;
}
