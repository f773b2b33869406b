// dorvane for Linux: the slice job of the Windows program as a command. It
// asks its questions on the terminal, answered with a key as the Linux
// kelmorix asks for disks, and writes the KELMORIX.EXE the build carries
// beside portion 0, so that the set rebuilds itself on Windows.
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "command_line.h"
#include "os/embedded_joiner.h"
#include "recovery/write/recovery_disk.h"
#include "recovery/write/recovery_job.h"
#include "format/slice_format.h"
#include "slice/slice_job.h"
#include "os/console.h"

#ifndef DORVANE_VERSION
#define DORVANE_VERSION "1.0.0"
#endif

static const char Usage[] =
    "Usage:\n"
    "  dorvane SOURCE DESTINATION_FOLDER --size SIZE   portions of SIZE, header included\n"
    "                                                  (650000, 97.5KB, 360KB, 1.44MB, ...;\n"
    "                                                  a fraction needs its unit, K or M)\n"
    "  dorvane SOURCE DESTINATION_FOLDER --count N     N equal portions, 2 to 100\n"
    "  dorvane SOURCE MOUNT_POINT --disks              disk after disk on a removable\n"
    "                                                  mount point, each disk filled\n"
    "  dorvane --help | --version\n"
    "\n"
    "  --yes   answers Y to \"Do you want to overwrite preexisting files?\", for a\n"
    "          script that has no terminal\n"
    "  --no    answers N to it: the job is then cancelled (246)\n"
    "  --recovery [N]  with --size or --count: after the set, writes PAR2 recovery\n"
    "          data beside it, N blocks (1 to 10, default 1) of one portion's size\n"
    "          each, so that par2 (par2 repair NAME.par2) rebuilds up to N lost or\n"
    "          damaged portions; costs one more read of the set. N follows as\n"
    "          --recovery=N, or as the next argument when that is all digits (a path\n"
    "          of digits alone goes after --). With --disks: one block, made while\n"
    "          the disks are written, onto one more disk of its own after the\n"
    "          last (each disk keeps a few KiB free, so one of the same size takes\n"
    "          it). Exit status 234 when it cannot be written: the set itself is\n"
    "          then complete\n"
    "  --      ends the options, so that a SOURCE named -x can follow\n"
    "\n"
    "Cuts SOURCE into a slice set of at most 100 portions and writes KELMORIX.EXE,\n"
    "the Windows joiner, beside the first; kelmorix rebuilds the set on Linux.\n"
    "The exit status is the job's result code: 0 when every portion was written.\n";

enum {
    PROGRESS_INTERVAL_NS = 200000000, // 0.2 s between two drawings of the progress line
    PROGRESS_LINE_SIZE = 512,         // the widest progress line drawn, and its end
    NS_PER_SECOND = 1000000000
};

// The terminal side of one job.
struct TerminalUserState {
    const char *DriveName;  // the mount point as prompts name it
    const char *Name;       // the source's name as the progress line shows it
    int Overwrite;          // the OverwriteAnswer of the command line
    int OverwriteAgreed;    // the overwrite question was answered yes
    int ProgressOn;         // 1 when standard error is a terminal
    int ProgressDrawn;      // 1 while a progress line stands on it
    int64_t Started;        // when the job began, in ns
    int64_t LastDrawn;      // when the line was last drawn, in ns
};

static TerminalUserState Terminal;

static int64_t Now(void)
{
    struct timespec t;

    clock_gettime(CLOCK_MONOTONIC, &t);
    return (int64_t)t.tv_sec * NS_PER_SECOND + t.tv_nsec;
}

// The progress line goes before anything else is said.
static void ClearProgress(void)
{
    if (Terminal.ProgressDrawn)
        fputs("\r\033[K", stderr);
    Terminal.ProgressDrawn = 0;
}

static void Say(const char *format, ...) __attribute__((format(printf, 1, 2)));
static void Say(const char *format, ...)
{
    va_list args;

    ClearProgress();
    va_start(args, format);
    vprintf(format, args);
    va_end(args);
    fflush(stdout);
}

// A question, and the answer shown after it, go to standard output as every
// line does, and to the terminal as well when standard output goes elsewhere
// (a file, a pipe): the user who is to answer must see what is asked.
static void Ask(const char *format, ...) __attribute__((format(printf, 1, 2)));
static void Ask(const char *format, ...)
{
    char *text = NULL;
    va_list args;
    int terminal, length;

    va_start(args, format);
    length = vasprintf(&text, format, args); // a path has no fixed bound here
    va_end(args);
    if (length < 0)
        return;
    Say("%s", text);
    terminal = isatty(1) ? -1 : open("/dev/tty", O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (terminal >= 0) {
        if (write(terminal, text, (size_t)length) < 0) {
            // The question stands on standard output all the same.
        }
        close(terminal);
    }
    free(text);
}

// Keys typed before a question was asked do not answer it: they go before
// it is shown.
static void AskAfresh(const char *format, ...) __attribute__((format(printf, 1, 2)));
static void AskAfresh(const char *format, ...)
{
    char *text = NULL;
    va_list args;
    int length;

    OsFlushTypedAhead();
    va_start(args, format);
    length = vasprintf(&text, format, args);
    va_end(args);
    if (length >= 0)
        Ask("%s", text);
    free(text);
}

// One of the keys in choices (lower case), whatever its case; -1 without a
// terminal. Other keys are not answers and are read past.
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

static int TerminalNextDisk(void *, int disk, const char *)
{
    AskAfresh("Please insert disk #%d in drive %s. Press any key when ready.\n", disk,
              Terminal.DriveName);
    if (OsReadKeyByte() >= 0)
        return 0;
    Say("There is no terminal to read a key press from, so disk #%d cannot be asked for.\n",
        disk);
    return SLICE_NO_TERMINAL;
}

// The files it is asked for on a line of their own, then the question.
static int TerminalAskOverwrite(void *, const char *detail)
{
    AskAfresh("%s\nDo you want to overwrite preexisting files? Overwrite? (Y/N): ", detail);
    // A script's answer, given on the command line, is shown as a typed one.
    if (Terminal.Overwrite == OVERWRITE_YES) {
        Say("Y (--yes)\n");
        return SLICE_ANSWER_OK;
    }
    if (Terminal.Overwrite == OVERWRITE_NO) {
        Say("N (--no)\n\n");
        return SLICE_ANSWER_CANCEL;
    }
    // Without a terminal nothing is replaced.
    if (AskKey("yn") == 'y')
        return SLICE_ANSWER_OK;
    Say("\n");
    return SLICE_ANSWER_CANCEL;
}

// Abort, Retry or Ignore; Abort without a terminal.
static int AskAbortRetryIgnore(void)
{
    AskAfresh("Abort, Retry or Ignore? (A/R/I): ");
    switch (AskKey("ari")) {
    case 'r':
        return SLICE_ANSWER_RETRY;
    case 'i':
        return SLICE_ANSWER_IGNORE;
    case 'a':
        return SLICE_ANSWER_ABORT;
    }
    Say("\n");
    return SLICE_ANSWER_ABORT;
}

static int TerminalNotReady(void *, const char *)
{
    Ask("%s is not ready.\n", Terminal.DriveName);
    return AskAbortRetryIgnore();
}

static int TerminalOpenError(void *, const char *path, long error)
{
    Ask("Error while opening %s.  Error Code = %ld (%s)\n", path, error, strerror((int)error));
    return AskAbortRetryIgnore();
}

static void TerminalNotice(void *, const char *text)
{
    Say("%s", text);
}

static void TerminalFinal(void *, int, const char *text)
{
    Say("%s", text);
}

// "big.iso  42%  4200000 of 10000000 bytes  12.5 MB/s", redrawn in place
// and never wider than the terminal: a wrapped line would not be redrawn
// but repeated.
static void TerminalProgress(void *, uint64_t done, uint64_t total)
{
    char line[PROGRESS_LINE_SIZE];
    int64_t now;
    double seconds;

    if (!Terminal.ProgressOn)
        return;
    now = Now();
    if (done < total && now - Terminal.LastDrawn < PROGRESS_INTERVAL_NS)
        return;
    Terminal.LastDrawn = now;
    seconds = (double)(now - Terminal.Started) / NS_PER_SECOND;
    FormatProgressLine(line, sizeof line, OsConsoleColumns(2), Terminal.Name, done, total,
                       seconds > 0 ? done / seconds : 0.0);
    fprintf(stderr, "\r%s\033[K", line);
    Terminal.ProgressDrawn = 1;
}

// The overwrite question, its yes remembered: it covers the recovery files,
// which belong to the set as much as its portions.
static int AskOverwriteRemembered(void *context, const char *detail)
{
    int answer = TerminalAskOverwrite(context, detail);

    if (answer == SLICE_ANSWER_OK)
        Terminal.OverwriteAgreed = 1;
    return answer;
}

static const SliceUser TerminalUser = {
    NULL,           TerminalNextDisk, AskOverwriteRemembered, TerminalNotReady,
    TerminalOpenError, TerminalNotice, TerminalFinal,       TerminalProgress,
};

// The destination with one slash at its end, so that names are appended.
static char *WithSeparator(const char *path)
{
    size_t length = strlen(path);
    char *joined = (char *)malloc(length + 2);

    if (!joined)
        return NULL;
    memcpy(joined, path, length + 1);
    if (length == 0 || path[length - 1] != '/')
        strcpy(joined + length, "/");
    return joined;
}

// The mount point as the prompts name it: without its trailing slashes.
static char *DriveName(const char *path)
{
    size_t length = strlen(path);
    char *name;

    while (length > 1 && path[length - 1] == '/')
        length--;
    name = (char *)malloc(length + 1);
    if (name) {
        memcpy(name, path, length);
        name[length] = 0;
    }
    return name;
}

// What the recovery data of command's set in destination (with its
// separator) is to be.
static void RecoveryRequestFor(const SliceCommand *command, const char *destination,
                               RecoveryRequest *request)
{
    long pages = sysconf(_SC_PHYS_PAGES), pageSize = sysconf(_SC_PAGE_SIZE);

    request->Source = command->Source;
    request->Destination = destination;
    request->Blocks = command->Recovery;
    request->OverwriteAgreed = Terminal.OverwriteAgreed;
    // Half the machine's memory at most for the blocks: more would only be
    // swapped, or end the program.
    request->MemoryLimit = pages > 0 && pageSize > 0 ? (uint64_t)pages * (uint64_t)pageSize / 2
                                                     : (uint64_t)1 << 30;
    request->Creator = "Dorvane " DORVANE_VERSION;
    request->Written = NULL;
}

// The recovery data beside a complete set in destination, whose portions
// must read back as the job wrote them. Returns 0 or SLICE_RECOVERY_FAILED.
static int WriteRecovery(const SliceCommand *command, const char *destination,
                         const SliceWritten *written)
{
    RecoveryRequest request;
    int result;

    RecoveryRequestFor(command, destination, &request);
    request.Written = written;
    Terminal.Started = Terminal.LastDrawn = Now();
    result = WriteRecoveryData(&request, &TerminalUser);
    ClearProgress();
    return result;
}

// Disk after disk, the recovery block made from the bytes as they are
// written, onto one more disk after the set. Returns the job's code, or
// SLICE_RECOVERY_FAILED for a complete set without its recovery data.
static int SliceWithRecoveryDisk(const SliceCommand *command, const char *destination)
{
    RecoveryRequest request;
    RecoveryDisk *disk;
    int result;

    RecoveryRequestFor(command, destination, &request);
    disk = RecoveryDiskStart(&request);
    if (!disk) {
        ReportSliceFailure(&TerminalUser, SLICE_NO_BUFFER, 1, command->Source, destination,
                           SLICE_ONTO_DISKS, 0);
        return SLICE_NO_BUFFER;
    }
    result = SliceFileObserved(command->Source, destination, SLICE_ONTO_DISKS, 0, &TerminalUser,
                              RecoveryDiskObserver(disk), NULL);
    ClearProgress();
    if (result == SLICE_COMPLETE) {
        request.OverwriteAgreed = Terminal.OverwriteAgreed;
        result = RecoveryDiskWrite(disk, &TerminalUser);
    }
    RecoveryDiskFree(disk);
    return result;
}

// Works out the portion size and runs the job. Returns its result code.
static int Slice(const SliceCommand *command)
{
    char message[512];
    struct stat info;
    SliceWritten written; // what the job wrote, compared with what the recovery step reads
    const char *slash = strrchr(command->Source, '/');
    uint32_t portionSize = 0;
    int mode = command->Method == METHOD_DISKS ? SLICE_ONTO_DISKS : SLICE_INTO_FOLDER;
    int planned = 0;
    char *destination = WithSeparator(command->Destination);
    char *driveName = DriveName(command->Destination);
    int result;

    if (!destination || !driveName) {
        free(destination);
        free(driveName);
        ReportSliceFailure(&TerminalUser, SLICE_NO_PATH_BUFFER, 1, command->Source,
                           command->Destination, mode, 0);
        return SLICE_NO_PATH_BUFFER;
    }
    Terminal.DriveName = driveName;
    Terminal.Name = slash ? slash + 1 : command->Source;
    Terminal.Overwrite = command->Overwrite;
    if (EmbeddedJoinerSize == 0)
        Say("This dorvane was built without the i686 cross compiler and carries no %s: "
            "the set will lack its joiner program.\n",
            JOINER_FILE_NAME);
    // The planner needs the size; a source that cannot be read is left to
    // the job, which says why in its own words.
    result = 0;
    if (command->Method != METHOD_DISKS && stat(command->Source, &info) == 0) {
        result = PlanFolderPortions(command, (uint64_t)info.st_size, &portionSize, message,
                                    sizeof message);
        planned = 1;
    }
    else if (command->Method == METHOD_SIZE)
        portionSize = command->PortionSize;
    else if (command->Method == METHOD_COUNT)
        portionSize = UINT32_MAX; // the job refuses the source before it needs a size
    if (result) {
        Say("%s", message);
    } else {
        Terminal.ProgressOn = isatty(2);
        Terminal.Started = Terminal.LastDrawn = Now();
        if (command->Method == METHOD_DISKS && command->Recovery) {
            result = SliceWithRecoveryDisk(command, destination);
        } else {
            result = SliceFileObserved(command->Source, destination, mode, portionSize,
                                       &TerminalUser, NULL, &written);
            ClearProgress();
            if (result == SLICE_COMPLETE && command->Recovery)
                result = WriteRecovery(command, destination, &written);
        }
    }
    // A count the equal portions could not keep is no failure, but the set
    // is not what was asked for, so it is said.
    if ((result == SLICE_COMPLETE || result == SLICE_RECOVERY_FAILED) && planned &&
        CountNotKept(command, (uint64_t)info.st_size, portionSize, message, sizeof message))
        Say("%s", message);
    if (result == SLICE_COMPLETE)
        Say("Slice %s to %s is complete\n", command->Source, command->Destination);
    else if (result == SLICE_RECOVERY_FAILED)
        Say("Slice %s to %s is complete, but its recovery data could not be written\n",
            command->Source, command->Destination);
    else if (result == SLICE_CANCELLED)
        Say("Slice %s to %s was cancelled\n", command->Source, command->Destination);
    else
        Say("Errors were encountered while Slicing %s to %s\n", command->Source,
            command->Destination);
    free(destination);
    free(driveName);
    return result;
}

int main(int argc, char **argv)
{
    SliceCommand command;
    char message[512];

    switch (ParseSliceCommand(argc, argv, &command, message, sizeof message)) {
    case COMMAND_HELP:
        fputs(Usage, stdout);
        return 0;
    case COMMAND_VERSION:
        printf("dorvane %s%s\n", DORVANE_VERSION,
               EmbeddedJoinerSize ? "" : " (built without KELMORIX.EXE)");
        return 0;
    case COMMAND_WRONG:
        fprintf(stderr, "dorvane: %s\n%s", message, Usage);
        return COMMAND_LINE_ERROR;
    }
    return Slice(&command);
}
