// kelmorix: rebuilds a file from the slice set that dorvane cut it into.
// Reads the command line, picks the source and the destination folder, and
// leaves the rest to JoinSliceSet.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "os/media.h"
#include "os/process.h"
#include "join/join.h"

#ifdef _WIN32
// Arguments reach the program as typed: a wildcard is refused, not expanded.
extern "C" {
int _dowildcard = 0;
}
#else
#include "dorvane_version.h"
#endif

enum { CURRENT_FOLDER_SIZE = 261 }; // 260 characters and the terminator

static const char *const BannerLines[] = {
    "\n",
    "KELMORIX 1.0  joiner for slice sets cut by DORVANE\n",
    "Copyright (c) 2026 the Dorvane developers.\n",
    "Rebuilds a sliced file from its numbered portions and restores\n",
    "its name, times and attributes. Run it from the first disk or\n",
    "from the folder of a slice set, or name the set's first portion.\n",
};

static int HasWildcard(const char *argument)
{
    return strpbrk(argument, "?*") != NULL;
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
        printf("Error reading the current folder = %ld\n", error);
        return JOIN_NO_CURRENT_FOLDER;
    }
    printf("The path of the current folder is longer than %d characters;\n"
           "name the source and the destination folder.\n",
           CURRENT_FOLDER_SIZE - 1);
    return JOIN_PATH_TOO_LONG;
}

static void PrintBanner(void)
{
    size_t i;

    for (i = 0; i < sizeof BannerLines / sizeof BannerLines[0]; i++)
        fputs(BannerLines[i], stdout);
}

#ifndef _WIN32
// On Linux the joiner follows the usual conventions of a command: --help,
// --version, and -- before a name that begins with '-'. Any other argument
// that begins with '-' ahead of -- is a mistyped option, never a name. The
// Windows joiner takes no options: every argument is a name there.
enum { EXIT_BAD_OPTION = 2 }; // well away from the joiner's 1 and 2xx codes

static const char *const OptionLines[] = {
    "\nOptions:\n",
    "  --check    check the slice set, every portion's checksum included,\n",
    "             without rebuilding it; exit 0 when it is sound, 230 if not\n",
    "  --help     show this text and exit\n",
    "  --version  show the version and exit\n",
    "  --         end of options: a name after it may begin with '-'\n",
};

static void PrintOptions(void)
{
    size_t i;

    for (i = 0; i < sizeof OptionLines / sizeof OptionLines[0]; i++)
        fputs(OptionLines[i], stdout);
}

// Takes argument i out of argv.
static void TakeArgument(int *argc, char **argv, int i)
{
    for (; i + 1 < *argc; i++)
        argv[i] = argv[i + 1];
    argv[--*argc] = NULL;
}

// Answers the options and takes the first -- and --check out of argv.
// Returns -1 when the run goes on with the names left in argv, else the exit
// code. A third name is a mistake too (a second one with --check): it would
// be ignored, and the user would not know.
static int ReadOptions(int *argc, char **argv, int *check)
{
    int i;

    for (i = 1; i < *argc; i++) {
        const char *argument = argv[i];

        if (strcmp(argument, "--") == 0) {
            TakeArgument(argc, argv, i);
            break;
        }
        if (strcmp(argument, "--check") == 0) {
            TakeArgument(argc, argv, i--);
            *check = 1;
            continue;
        }
        if (strcmp(argument, "--version") == 0) {
            printf("kelmorix %s\n%s\n", DORVANE_VERSION_TEXT, DORVANE_COPYRIGHT);
            return 0;
        }
        if (strcmp(argument, "--help") == 0) {
            PrintBanner();
            PrintUsage();
            PrintOptions();
            return 0;
        }
        if (argument[0] == '-' && argument[1]) {
            PrintBanner();
            fflush(stdout);
            fprintf(stderr, "kelmorix: unknown option %s\n", argument);
            PrintUsage();
            PrintOptions();
            return EXIT_BAD_OPTION;
        }
    }
    if (*argc > 3 - *check) {
        PrintBanner();
        fflush(stdout);
        fprintf(stderr, *check ? "kelmorix: --check takes one source at most\n"
                               : "kelmorix: one source and one destination folder at most\n");
        PrintUsage();
        PrintOptions();
        return EXIT_BAD_OPTION;
    }
    return -1;
}
#endif

int main(int argc, char **argv)
{
    char current[CURRENT_FOLDER_SIZE];
    const char *destination;
    const char *source;
    int result;

#ifndef _WIN32
    int check = 0;

    result = ReadOptions(&argc, argv, &check);
    if (result >= 0)
        return result;
    // The check says only what it finds: one line per portion, no banner.
    if (check) {
        result = argc < 2 ? ReadCurrentFolder(current) : 0;
        if (result)
            return result;
        result = JoinCheckSet(argc > 1 ? argv[1] : current);
        fflush(stdout);
        return result;
    }
#endif
    PrintBanner();
    if ((argc > 1 && HasWildcard(argv[1])) || (argc > 2 && HasWildcard(argv[2]))) {
        PrintUsage();
        return JOIN_WILDCARD;
    }
    if (argc < 3) {
        result = ReadCurrentFolder(current);
        if (result)
            return result;
    }
    if (argc > 2) {
        destination = argv[2];
    } else if (OsIsRemovable(current)) {
        // Never write the rebuilt file onto the disk it is read from.
        destination = TemporaryFolder();
        if (!destination) {
            printf("Neither TEMP nor TMP is set; name a destination folder.\n");
            return JOIN_NO_TEMP;
        }
    } else {
        destination = current;
    }
    source = argc > 1 ? argv[1] : current;
    result = JoinSliceSet(source, destination);
    fflush(stdout);
    return result;
}
