// The Linux dorvane's side of a slice job: its questions asked on the
// terminal and answered with a key, its lines (results to standard output,
// errors and warnings to standard error, in words), its progress line, and
// the interruption that ends it (Ctrl+C, SIGTERM).
#ifndef DORVANE_TERMINAL_H
#define DORVANE_TERMINAL_H

#include <stdint.h>
#include <stdio.h>

#include "slice/slice_job.h"

// The terminal side of one run. Set up by TerminalStart; read and written
// by the job's calls into TerminalUser, on the one thread that runs it.
struct TerminalUserState {
    const char *DriveName;  // the mount point as prompts name it
    const char *Label;      // what the progress line names: the source, or the recovery data
    int Overwrite;          // the OverwriteAnswer of the command line
    int OverwriteAgreed;    // the overwrite question was answered yes
    int Quiet;              // -q: no progress and no result lines; errors and questions stay
    FILE *Progress;         // where the progress line is drawn: a terminal; NULL: nowhere
    int ProgressFd;         // its descriptor, for the terminal's width
    int ProgressDrawn;      // 1 while a progress line stands there
    int64_t Started;        // when the step began, in ns
    int64_t LastDrawn;      // when the line was last drawn, in ns
};

extern TerminalUserState Terminal;

// The job's questions, lines and progress on this terminal.
extern const SliceUser TerminalUser;

// Sets up a run: the answer to the overwrite question given on the command
// line, quiet or not, the mount point the prompts name, the source's name
// for the progress line. The progress line goes to standard error when that
// is a terminal, else to standard output when that is one, else nowhere.
// From here on Ctrl+C and SIGTERM are recorded (OsCatchInterrupts), for the
// job to end by itself.
void TerminalStart(int overwrite, int quiet, const char *driveName, const char *label);

// A new step (the slicing, the recovery data): its progress line names
// label, and its speed counts from now.
void TerminalStep(const char *label);

// Takes the progress line away, so that the next line starts clean.
void TerminalEndProgress(void);

// A result line to standard output; nothing with -q.
void SayResult(const char *format, ...) __attribute__((format(printf, 1, 2)));

// An error or a warning to standard error, -q or not.
void SayError(const char *format, ...) __attribute__((format(printf, 1, 2)));

// Error number error in words, as every message says it: ": No such file or
// directory (2)", into part[SLICE_ERROR_PART_SIZE].
void ErrorWords(long error, char *part);

// 0, or the exit status of a run that was interrupted: 128 plus the signal.
int InterruptedStatus(void);

#endif
