// The Linux dorvane's side of a slice job (terminal.h). Parts: the lines it
// writes; the questions, answered with a key on the terminal as the Linux
// kelmorix asks for disks; the job's calls (TerminalUser).
#include "terminal.h"

#include <stdarg.h>
#include <stdlib.h>
#include <string.h>

#include "command_line.h"
#include "format/progress_line.h"
#include "os/console.h"
#include "os/process.h"

enum {
    PROGRESS_INTERVAL_NS = 200000000, // 0.2 s between two drawings of the progress line
    PROGRESS_LINE_SIZE = 512,         // the widest progress line drawn, and its end
    NS_PER_SECOND = 1000000000,
    SIGNAL_STATUS_BASE = 128          // a run a signal ended exits with 128 + its number
};

TerminalUserState Terminal;

// ---- Lines ------------------------------------------------------------------

void TerminalEndProgress(void)
{
    if (Terminal.ProgressDrawn)
        fputs("\r\033[K", Terminal.Progress);
    Terminal.ProgressDrawn = 0;
}

// A line to standard output or standard error, after the progress line is
// taken away (it may stand on the same terminal).
static void SayTo(FILE *to, const char *format, va_list args)
{
    TerminalEndProgress();
    vfprintf(to, format, args);
    fflush(to);
}

static void Say(const char *format, ...) __attribute__((format(printf, 1, 2)));
static void Say(const char *format, ...)
{
    va_list args;

    va_start(args, format);
    SayTo(stdout, format, args);
    va_end(args);
}

void SayResult(const char *format, ...)
{
    va_list args;

    if (Terminal.Quiet)
        return;
    va_start(args, format);
    SayTo(stdout, format, args);
    va_end(args);
}

void SayError(const char *format, ...)
{
    va_list args;

    fflush(stdout); // what was said before comes before it, wherever both go
    va_start(args, format);
    SayTo(stderr, format, args);
    va_end(args);
}

static void TerminalErrorPart(void *, long error, char *part, size_t size)
{
    snprintf(part, size, ": %s (%ld)", strerror((int)error), error);
}

void ErrorWords(long error, char *part)
{
    TerminalErrorPart(NULL, error, part, SLICE_ERROR_PART_SIZE);
}

int InterruptedStatus(void)
{
    int signal = OsInterruption();

    return signal ? SIGNAL_STATUS_BASE + signal : 0;
}

// ---- Questions ----------------------------------------------------------------

// A question, and the answer shown after it, go to standard output, and to
// the terminal as well when standard output goes elsewhere (a file, a
// pipe): the user who is to answer must see what is asked.
static void Ask(const char *format, ...) __attribute__((format(printf, 1, 2)));
static void Ask(const char *format, ...)
{
    char *text = NULL;
    va_list args;
    FILE *terminal;
    int length;

    va_start(args, format);
    length = vasprintf(&text, format, args); // a path has no fixed bound here
    va_end(args);
    if (length < 0)
        return;
    Say("%s", text);
    terminal = OsOpenConsoleOutput();
    if (terminal) {
        // Should it fail, the question stands on standard output all the same.
        fwrite(text, 1, (size_t)length, terminal);
        fclose(terminal);
    }
    free(text);
}

// 1 when there is a terminal to answer a question; keys typed before the
// question is asked are dropped then, so that they cannot answer it.
static int TerminalAnswers(void)
{
    return OsFlushTypedAhead() == 0 && !OsInterruption();
}

// One of the keys in choices (lower case), whatever its case, shown after
// the question; -1 when none can come (the terminal went, or the run was
// interrupted). Other keys are not answers and are read past.
static int AskKey(const char *choices)
{
    int key;

    for (;;) {
        key = OsReadKeyByte();
        if (key < 0)
            return -1;
        if (key >= 'A' && key <= 'Z')
            key += 'a' - 'A';
        if (key && strchr(choices, key)) {
            Ask("%c\n", key - 'a' + 'A');
            return key;
        }
    }
}

// Abort, Retry or Ignore, asked on a terminal; NONE when no key came.
static int AskAbortRetryIgnore(void)
{
    Ask("Abort, Retry or Ignore? (A/R/I): ");
    switch (AskKey("ari")) {
    case 'r':
        return SLICE_ANSWER_RETRY;
    case 'i':
        return SLICE_ANSWER_IGNORE;
    case 'a':
        return SLICE_ANSWER_ABORT;
    }
    Say("\n");
    return SLICE_ANSWER_NONE;
}

// ---- The job's calls ----------------------------------------------------------

static int TerminalNextDisk(void *, int disk, const char *)
{
    if (TerminalAnswers()) {
        Ask("Please insert disk #%d in drive %s. Press any key when ready.\n", disk,
            Terminal.DriveName);
        if (OsReadKeyByte() >= 0)
            return 0;
    }
    if (OsInterruption())
        return InterruptedStatus(); // the job says what stands
    SayError("There is no terminal to read a key press from, so disk #%d cannot be asked for.\n",
             disk);
    return SLICE_NO_TERMINAL;
}

// The files it is asked for on a line of their own, then the question.
static int TerminalAskOverwrite(void *, const char *detail)
{
    int answers = Terminal.Overwrite == OVERWRITE_ASK && TerminalAnswers(), answer;

    Ask("%s\nDo you want to overwrite preexisting files? Overwrite? (Y/N): ", detail);
    // A script's answer, given on the command line, is shown as a typed one.
    if (Terminal.Overwrite != OVERWRITE_ASK) {
        answer = Terminal.Overwrite == OVERWRITE_YES ? SLICE_ANSWER_OK : SLICE_ANSWER_CANCEL;
        Say(answer == SLICE_ANSWER_OK ? "Y (--yes)\n" : "N (--no)\n\n");
    } else if (!answers) {
        // Without a terminal nothing is replaced.
        Say("N (no terminal to answer; --yes would answer Y)\n");
        answer = SLICE_ANSWER_CANCEL;
    } else {
        answer = AskKey("yn") == 'y' ? SLICE_ANSWER_OK : SLICE_ANSWER_CANCEL;
        if (answer == SLICE_ANSWER_CANCEL)
            Say("\n");
    }
    // A yes covers the recovery files too, which belong to the set.
    if (answer == SLICE_ANSWER_OK)
        Terminal.OverwriteAgreed = 1;
    return answer;
}

// Without a terminal the question is not asked: the job ends with the
// failure's own code and says why.
static int TerminalNotReady(void *, const char *)
{
    if (!TerminalAnswers())
        return SLICE_ANSWER_NONE;
    SayError("%s is not ready.\n", Terminal.DriveName);
    return AskAbortRetryIgnore();
}

static int TerminalOpenError(void *, const char *path, long error)
{
    char words[SLICE_ERROR_PART_SIZE];

    if (!TerminalAnswers())
        return SLICE_ANSWER_NONE;
    ErrorWords(error, words);
    SayError("Error opening %s%s\n", path, words);
    return AskAbortRetryIgnore();
}

static void TerminalNotice(void *, const char *text)
{
    SayError("%s", text);
}

static void TerminalResult(void *, const char *text)
{
    SayResult("%s", text);
}

static void TerminalFinal(void *, int, const char *text)
{
    SayError("%s", text);
}

// "big.iso  42%  4200000 of 10000000 bytes  12.5 MB/s", redrawn in place
// and never wider than the terminal: a wrapped line would not be redrawn
// but repeated.
static void TerminalProgress(void *, uint64_t done, uint64_t total)
{
    char line[PROGRESS_LINE_SIZE];
    int64_t now;
    double seconds;

    if (!Terminal.Progress)
        return;
    now = OsMonotonicTime();
    if (done < total && now - Terminal.LastDrawn < PROGRESS_INTERVAL_NS)
        return;
    Terminal.LastDrawn = now;
    seconds = (double)(now - Terminal.Started) / NS_PER_SECOND;
    FormatProgressLine(line, sizeof line, OsConsoleColumns(Terminal.ProgressFd), Terminal.Label,
                       done, total, seconds > 0 ? done / seconds : 0.0);
    fprintf(Terminal.Progress, "\r%s\033[K", line);
    fflush(Terminal.Progress);
    Terminal.ProgressDrawn = 1;
}

static int TerminalInterrupted(void *)
{
    return InterruptedStatus();
}

const SliceUser TerminalUser = {
    NULL,           TerminalNextDisk,  TerminalAskOverwrite, TerminalNotReady,
    TerminalOpenError, TerminalNotice, TerminalFinal,        TerminalProgress,
    TerminalErrorPart, TerminalResult, TerminalInterrupted,
};

void TerminalStart(int overwrite, int quiet, const char *driveName, const char *label)
{
    memset(&Terminal, 0, sizeof Terminal);
    Terminal.Overwrite = overwrite;
    Terminal.Quiet = quiet;
    Terminal.DriveName = driveName;
    if (!quiet && OsIsTerminal(2)) {
        Terminal.Progress = stderr;
        Terminal.ProgressFd = 2;
    } else if (!quiet && OsIsTerminal(1)) {
        Terminal.Progress = stdout;
        Terminal.ProgressFd = 1;
    }
    TerminalStep(label);
    OsCatchInterrupts();
}

void TerminalStep(const char *label)
{
    Terminal.Label = label;
    Terminal.Started = Terminal.LastDrawn = OsMonotonicTime();
}
