// The joiner's console beyond its lines: what the command line asked
// (JoinOptions), the progress line of the copy, the check and the rebuild,
// the interruption that stops a run (Linux), a destination folder made
// (Linux), and the rule that keeps KELMORIX.EXE's window open. Parts: the
// progress line; interruptions; the destination; the window.
#include "join_run.h"

#include <stdio.h>
#include <string.h>

#include "os/console.h"
#include "os/files.h"
#include "os/process.h"
#ifndef _WIN32
#include "format/progress_line.h"
#endif

JoinSettings JoinOptions;

// Where the progress line stands. Set up by JoinStartConsole; used on the
// one thread that runs the join.
struct JoinProgressState {
    FILE *To;          // where the line is drawn; NULL: nowhere
    int Drawn;         // 1 while a line stands there
    int Step;          // the JoinStep drawn last
#ifdef _WIN32
    unsigned Percent;  // the percentage shown
#else
    int Fd;            // To's descriptor, for the terminal's width
    int64_t Started;   // when the step began, in ns, for its speed
    int64_t LastDrawn; // when the line was last drawn, in ns
#endif
};

static JoinProgressState Progress;

// ---- The progress line ------------------------------------------------------

#ifdef _WIN32
// KELMORIX.EXE: the percentage alone, at the start of the console's line,
// drawn when it changes or a new step begins.
static void Draw(int step, const char *, uint64_t done, uint64_t total)
{
    unsigned percent;

    // In 32 bits, as the counts come down to 24 bits.
    while (total >> 24) {
        total >>= 8;
        done >>= 8;
    }
    percent = (unsigned)done * 100 / (unsigned)total;
    if (Progress.Drawn && percent == Progress.Percent && step == Progress.Step)
        return;
    Progress.Percent = percent;
    Progress.Step = step;
    fprintf(Progress.To, "\r%3u%%", percent);
    fflush(Progress.To);
    Progress.Drawn = 1;
}

void JoinEndProgress(void)
{
    if (Progress.Drawn)
        fputs("\r    \r", Progress.To);
    Progress.Drawn = 0;
}
#else
enum {
    PROGRESS_INTERVAL_NS = 200000000, // 0.2 s between two drawings of the line
    PROGRESS_LINE_SIZE = 512,         // the widest line drawn, and its end
    LABEL_SIZE = NAME_TEXT_SIZE + 16, // "Rebuilding " and a name
    NS_PER_SECOND = 1000000000
};

static const char *const StepWords[] = {"Joining %s", "Checking", "Rebuilding %s"};

// "Joining BIG.DAT  42%  4200000 of 10000000 bytes  12.5 MB/s", as the Linux
// dorvane draws its own, never wider than the terminal.
static void Draw(int step, const char *name, uint64_t done, uint64_t total)
{
    char label[LABEL_SIZE], line[PROGRESS_LINE_SIZE];
    int64_t now = OsMonotonicTime();
    double seconds;

    // The first step's speed counts from the start, a later one's from its own.
    if (step != Progress.Step) {
        if (Progress.Step >= 0)
            Progress.Started = Progress.LastDrawn = now;
        Progress.Step = step;
    }
    if (done < total && now - Progress.LastDrawn < PROGRESS_INTERVAL_NS)
        return;
    Progress.LastDrawn = now;
    seconds = (double)(now - Progress.Started) / NS_PER_SECOND;
    snprintf(label, sizeof label, StepWords[step], name ? name : "");
    FormatProgressLine(line, sizeof line, OsConsoleColumns(Progress.Fd), label, done, total,
                       seconds > 0 ? done / seconds : 0.0);
    fprintf(Progress.To, "\r%s\033[K", line);
    fflush(Progress.To);
    Progress.Drawn = 1;
}

void JoinEndProgress(void)
{
    if (Progress.Drawn)
        fputs("\r\033[K", Progress.To);
    Progress.Drawn = 0;
}
#endif

int JoinProgress(int step, const char *name, uint64_t done, uint64_t total)
{
    int stopped = JoinInterruption();

    if (stopped)
        return stopped;
    if (Progress.To && total)
        Draw(step, name, done < total ? done : total, total);
    return 0;
}

void JoinStartConsole(void)
{
    memset(&Progress, 0, sizeof Progress);
#ifdef _WIN32
    if (!JoinOptions.Quiet && OsIsTerminal(1))
        Progress.To = stdout;
#else
    Progress.Step = -1;
    Progress.Started = Progress.LastDrawn = OsMonotonicTime();
    if (!JoinOptions.Quiet && OsIsTerminal(2)) {
        Progress.To = stderr;
        Progress.Fd = 2;
    } else if (!JoinOptions.Quiet && OsIsTerminal(1)) {
        Progress.To = stdout;
        Progress.Fd = 1;
    }
    OsCatchInterrupts();
#endif
}

// ---- Interruptions ----------------------------------------------------------

#ifndef _WIN32
int JoinInterruption(void)
{
    int signal = OsInterruption();

    return signal ? JOIN_INTERRUPTED + signal : 0;
}
#endif

// ---- The destination ----------------------------------------------------------

#ifndef _WIN32
int JoinMakeFolder(JoinRun *run)
{
    int made = 0;
    long error;

    // An empty destination is the current folder.
    if (!run->Out.FolderPath[0])
        return 0;
    error = OsMakeFolders(run->Out.FolderPath, &made);
    if (error) {
        run->PendingError = error;
        return JOIN_NO_FOLDER;
    }
    if (made)
        JoinSay("Made the folder %s\n", run->Out.Folder);
    return 0;
}
#endif

// ---- The window -------------------------------------------------------------

int JoinKeepsWindowOpen(int consoleProcesses, int inputIsConsole)
{
    return consoleProcesses == 1 && inputIsConsole;
}
