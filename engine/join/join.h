// Rebuilding a sliced file from its slice set, and checking a set.
#ifndef DORVANE_JOIN_H
#define DORVANE_JOIN_H

#include <stdint.h>
#include <stdio.h>

// Result codes: the joiner's process exit code. 1 and 2 are the command
// line's own (a wildcard; an unknown option or a name too many); the rest
// count down from 254 by where the run ends. A run that Ctrl+C or SIGTERM
// ended (Linux) exits with 128 plus the signal's number: 130 or 143.
enum JoinResult {
    JOIN_OK = 0,
    JOIN_WILDCARD = 1,
    JOIN_BAD_COMMAND = 2,       // an unknown option, a name too many, --yes with --no
    JOIN_INTERRUPTED = 128,     // plus the signal's number (JoinInterruption)
    JOIN_NO_FOLDER = 229,       // the destination folder cannot be made (Linux)
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

// Checks the set named by sourceArgument without rebuilding it: every
// portion's header, length, place and checksum, one line each. Writes
// nothing. Returns 0 for a sound set, JOIN_DAMAGED, or the JoinResult
// of a set that cannot be found.
int JoinCheckSet(const char *sourceArgument);

// The usage text, to the stream given: shown for --help and after a usage
// error, and by KELMORIX.EXE also when no set can be found.
void PrintUsage(FILE *to);

// ---- The program's side (join_console.cpp) ----

// How the overwrite question is answered: asked, or answered on the
// command line (--yes, --no) for a script that cannot answer it.
enum JoinAnswer { JOIN_ASK, JOIN_ANSWER_YES, JOIN_ANSWER_NO };

// What the command line asks of every run; one per program, set by
// kelmorix.cpp before JoinStartConsole. Zeroed: the question asked,
// progress shown where there is a terminal to show it.
struct JoinSettings {
    int Overwrite; // a JoinAnswer
    int Quiet;     // -q: no progress line (kelmorix.cpp leaves out the banner too)
};
extern JoinSettings JoinOptions;

// Sets up the console for the runs to come, by JoinOptions: where the
// progress line goes (on Linux standard error when that is a terminal, else
// standard output when that is one; on Windows standard output when it is
// the console; else nowhere), and on Linux, Ctrl+C and SIGTERM recorded
// from now on, so that a run ends by itself and takes away what it wrote.
void JoinStartConsole(void);

// 0, or the exit status of a run that Ctrl+C or SIGTERM stopped:
// JOIN_INTERRUPTED plus the signal's number. Always 0 on Windows, where
// Ctrl+C ends the program at once.
#ifdef _WIN32
static inline int JoinInterruption(void)
{
    return 0;
}
#else
int JoinInterruption(void);
#endif

// An error line, formatted as every message of the joiner is (names with
// their control bytes escaped; %s, %d and %ld only): on Linux to standard
// error, an error number written " = %ld" said in the system's words
// (": No such file or directory (2)"); on Windows to standard output with
// the rest, the number as it stands.
void JoinSayError(const char *format, ...);

// Says on standard error that a run was stopped by Ctrl+C or SIGTERM: a
// join, naming the file nothing was written under (fileName; NULL or ""
// when none was known yet), or a check (checking 1).
void JoinSayInterrupted(int checking, const char *fileName);

// Whether KELMORIX.EXE, about to end, waits for a key so that its last lines
// can be read: only when its console was made for it alone
// (consoleProcesses is 1: it was started from Explorer, and the window
// closes as it ends) and a key can be pressed there (standard input is that
// console). Never from a prompt or a script (another process shares the
// console) nor with input redirected. Pure.
int JoinKeepsWindowOpen(int consoleProcesses, int inputIsConsole);

#endif
