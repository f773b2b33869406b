// What the joiner says: the formatting every message goes through (and on
// Linux, which lines are errors for standard error, and error numbers in
// words), the usage text, the questions and disk prompts, and the line of
// an interruption; the final report is in join_report.cpp. The Windows
// joiner says everything on standard output, with error numbers as numbers
// ("= 5").
#include "join_run.h"

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "os/console.h"

static const char InterruptedLine[] = "Interrupted: nothing was written under %s\n";
static const char InterruptedEarlyLine[] = "Interrupted: nothing was written\n";
static const char InterruptedCheckLine[] = "Interrupted: the check was stopped before its end\n";

// Where the rebuilt file goes when none is named: the current folder, and
// from a removable disk the folder for temporary files, so that the file is
// never written onto the disk it is read from.
#ifdef _WIN32
#define DESTINATION_LINE                                                                           \
    "If a destination folder is not specified, the current folder will be used\n"                 \
    "(on a removable disk: TEMP or TMP).\n"
#else
#define DESTINATION_LINE                                                                           \
    "If a destination folder is not specified, the current folder will be used\n"                 \
    "(on a removable disk: TEMP, TMPDIR or /tmp).\n"
#endif

static const char *const UsageLines[] = {
    "\nUSAGE: KELMORIX [source folder] [destination folder]\n",
    "KELMORIX.EXE will be on the first disk of a slice set\n",
    DESTINATION_LINE,
    "If a source folder is not specified, will try to find first file in current directory.\n",
    "\nOR\n",
    "\nUSAGE: KELMORIX name_of_first_file_of_slice_set [destination folder]\n",
    "The last two characters of the first file of a slice set will be 00, i.e. BIG.D00.\n",
    DESTINATION_LINE,
    "\nOR\n",
    "\nUSAGE: KELMORIX destination_filename [destination folder]\n",
    "Destination name is original name of the sliced file, i.e. BIG.DAT.\n",
    DESTINATION_LINE,
    "\nNeither the source nor the destination may contain wildcards\n",
};

// ---- Formatting -------------------------------------------------------------

// Control bytes as \xHH: an Escape sequence in a name is shown, never run.
// What lies between them leaves through the console service, which shows
// names whole on a Windows console (no control byte is part of a character).
static void PutEscaped(FILE *to, const char *text)
{
    const char *run = text;
    unsigned char c;

    for (;; text++) {
        c = (unsigned char)*text;
        if (c < 0x20 || c == 0x7F) {
            OsWriteText(to, run, (size_t)(text - run));
            if (c == 0)
                return;
            fprintf(to, "\\x%02X", c);
            run = text + 1;
        }
    }
}

// The stream for errors: standard error on Linux, after what standard
// output holds (both may go to one place); standard output on Windows.
static FILE *ErrorStream(void)
{
#ifdef _WIN32
    return stdout;
#else
    fflush(stdout);
    return stderr;
#endif
}

static void SayTo(FILE *to, const char *format, va_list args)
{
    long error;

    JoinEndProgress();
    for (; *format; format++) {
#ifndef _WIN32
        // The system's words for an error number, the number after them.
        if (strncmp(format, " = %ld", 6) == 0) {
            error = va_arg(args, long);
            fprintf(to, ": %s (%ld)", strerror((int)error), error);
            format += 5;
            continue;
        }
#endif
        if (*format != '%') {
            putc(*format, to);
        } else if (*++format == 's') {
            PutEscaped(to, va_arg(args, const char *));
        } else if (*format == 'd') {
            fprintf(to, "%d", va_arg(args, int));
        } else if (*format == 'l') {
            format++;
            error = va_arg(args, long);
            fprintf(to, "%ld", error);
        } else {
            putc(*format, to);
        }
    }
    if (to == stderr)
        fflush(to);
}

// A line said whatever happened to the run.
static void SayWith(FILE *to, const char *format, ...)
{
    va_list args;

    va_start(args, format);
    SayTo(to, format, args);
    va_end(args);
}

void JoinSay(const char *format, ...)
{
    va_list args;

    if (JoinInterruption())
        return;
    va_start(args, format);
    SayTo(strncmp(format, "Warning: ", 9) == 0 ? ErrorStream() : stdout, format, args);
    va_end(args);
}

void JoinSayError(const char *format, ...)
{
    va_list args;

    if (JoinInterruption())
        return;
    va_start(args, format);
    SayTo(ErrorStream(), format, args);
    va_end(args);
}

#ifndef _WIN32
void JoinSayErrorAlways(const char *format, ...)
{
    va_list args;

    va_start(args, format);
    SayTo(ErrorStream(), format, args);
    va_end(args);
}
#endif

int JoinAsk(int endLine, const char *format, ...)
{
    FILE *console;
    va_list args;
    int key;

    // Only a key pressed once the question is shown answers it. On Linux a
    // question nobody can answer is not asked.
#ifdef _WIN32
    OsFlushTypedAhead();
#else
    if (OsFlushTypedAhead() != 0)
        return ASK_NO_TERMINAL;
#endif
    console = OsOpenConsoleOutput();
    va_start(args, format);
    SayTo(stdout, format, args);
    va_end(args);
    fflush(stdout);
    if (console) {
        va_start(args, format);
        SayTo(console, format, args);
        va_end(args);
        fflush(console);
    }
    key = OsReadKey();
    if (endLine) {
        SayWith(stdout, "\n");
        if (console)
            fputs("\n", console);
    }
    if (console)
        fclose(console);
    return key;
}

int JoinAskOverwrite(const char *path)
{
    static const char Question[] = "%s already exists.  Overwrite? (Y/N): ";
    int key;

    // A script's answer, given on the command line, is shown as a typed one.
    if (JoinOptions.Overwrite != JOIN_ASK) {
        JoinSay(Question, path);
        JoinSay(JoinOptions.Overwrite == JOIN_ANSWER_YES ? "Y (--yes)\n" : "N (--no)\n");
        return JoinOptions.Overwrite == JOIN_ANSWER_YES;
    }
    key = JoinAsk(1, Question, path);
#ifndef _WIN32
    // Nobody can answer: nothing is replaced, and the line says why.
    if (key == ASK_NO_TERMINAL) {
        JoinSay(Question, path);
        JoinSay("N (no terminal to answer; --yes would answer Y)\n");
    }
#endif
    return key == 'Y' || key == 'y';
}

void JoinSayInterrupted(int checking, const char *fileName)
{
    if (checking)
        SayWith(ErrorStream(), InterruptedCheckLine);
    else if (fileName && fileName[0])
        SayWith(ErrorStream(), InterruptedLine, fileName);
    else
        SayWith(ErrorStream(), InterruptedEarlyLine);
}

void PrintUsage(FILE *to)
{
    size_t i;

    for (i = 0; i < sizeof UsageLines / sizeof UsageLines[0]; i++)
        fputs(UsageLines[i], to);
}

int JoinPromptForDisk(JoinRun *run)
{
    if (JoinAsk(0, "Please insert disk #%d in drive %s. Press any key when ready.\n",
                   run->Portion.Disk, run->Set.DriveName) < 0) {
        run->PendingError = 1;
        return JOIN_NO_CONSOLE;
    }
    return 0;
}

const char *JoinHexText(uint32_t value, char out[9])
{
    for (int i = 7; i >= 0; i--, value >>= 4)
        out[i] = "0123456789ABCDEF"[value & 15];
    out[8] = 0;
    return out;
}
