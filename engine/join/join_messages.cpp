// What the joiner says: the formatting every message goes through (and on
// Linux, which lines are errors for standard error, and error numbers in
// words), the usage text, the questions and disk prompts, and the final
// line of each result code (a table), with the note on an output left under
// its temporary name, and the lines of a portion the recovery data did not
// rebuild. The Windows joiner says everything on standard output, with
// error numbers as numbers ("= 5").
#include "join_run.h"

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "os/console.h"
#include "recovery/repair.h"

enum ReportArgs {
    ARGS_NONE,
    ARGS_NAME_AND_FOLDER, // FileName, destination folder
    ARGS_OUTPUT,          // output path, pending error
    ARGS_OUTPUT_ONLY,     // output path
    ARGS_TEMPORARY,       // the output's temporary path, pending error
    ARGS_PORTION,         // portion path, pending error
    ARGS_PORTION_ONLY,    // portion path
    ARGS_SOURCE,          // source argument
    ARGS_COUNTS,          // portion path, bytes written, FileSize (as decimal text)
    ARGS_DISK,            // disk number
    ARGS_ERROR,           // pending error
    ARGS_UNSAFE_NAME,     // portion path, FileName
    ARGS_DAMAGE,          // as the damage found (DamageLines)
    ARGS_FOLDER           // destination folder, pending error
};

// The final line of each result code.
struct ReportLine {
    int Code;
    int Args;
    const char *Format;
};

static const ReportLine ReportLines[] = {
    {JOIN_OK, ARGS_NAME_AND_FOLDER, "%s Successfully restored to %s\n"},
    {JOIN_DAMAGED, ARGS_DAMAGE, ""},
    {JOIN_NO_CURRENT_FOLDER, ARGS_ERROR, "Error reading the current folder = %ld\n"},
    {JOIN_OUTPUT_IS_PORTION, ARGS_OUTPUT_ONLY,
     "The rebuilt file would replace %s, a portion of the slice set;\n"
     "name another destination folder.\n"},
    {JOIN_NO_FOLDER, ARGS_FOLDER, "Error making the folder %s = %ld\n"},
#ifdef _WIN32
    {JOIN_NO_CONSOLE, ARGS_DISK, "There is no console to answer the prompt for disk #%d.\n"},
#else
    {JOIN_NO_CONSOLE, ARGS_DISK, "There is no terminal to answer the prompt for disk #%d.\n"},
#endif
    {JOIN_SIZE_MISMATCH, ARGS_COUNTS,
     "The slice set ends at %s with %s bytes, but its file has %s bytes.\n"},
    {JOIN_FOREIGN_PORTION, ARGS_PORTION_ONLY, "%s belongs to another slice set.\n"},
    {JOIN_WRITE_FAILED, ARGS_TEMPORARY, "Error writing %s = %ld\n"},
    {JOIN_READ_FAILED, ARGS_PORTION, "Error reading data from %s = %ld\n"},
    {JOIN_SHORT_PORTION, ARGS_PORTION_ONLY, "%s is too short to be a portion of a slice set.\n"},
    {JOIN_UNSAFE_NAME, ARGS_UNSAFE_NAME,
     "%s does not name a file that can be restored safely.\nThe name it carries: \"%s\"\n"},
    {JOIN_SET_ATTRIBUTES, ARGS_OUTPUT, "Error setting attributes on %s = %ld\n"},
    {JOIN_CLOSE_OUTPUT, ARGS_TEMPORARY, "Error closing %s = %ld\n"},
    {JOIN_SET_TIMES, ARGS_TEMPORARY, "Error setting date/time on %s = %ld\n"},
    {JOIN_READ_HEADER, ARGS_PORTION, "Error reading header from %s = %ld\n"},
    {JOIN_OPEN_PORTION, ARGS_PORTION_ONLY, "The file, %s, could not be opened.\n"},
    {JOIN_NO_BUFFER, ARGS_NONE, "Error allocating transfer buffer\n"},
    {JOIN_OPEN_OUTPUT, ARGS_OUTPUT, "Error opening %s = %ld\n"},
    {JOIN_NO_OUTPUT_PATH, ARGS_NONE, "Error allocating dest file path buffer\n"},
    {JOIN_CLOSE_FIRST, ARGS_PORTION, "Error closing %s = %ld\n"},
    {JOIN_READ_FIRST_HEADER, ARGS_PORTION, "Error reading header from %s = %ld\n"},
    {JOIN_NO_FIRST_PORTION, ARGS_SOURCE, "Could not find the first file of a slice set in %s.\n"},
    {JOIN_NO_SOURCE_PATH, ARGS_NONE, "Error allocating source file path buffer\n"},
};

// 249 when a file came under the output's name during the run.
static const char IntruderLine[] = "%s was put there during the run; it was not replaced.\n";
// 236 when the data runs on past the recorded size: the output was cut there.
static const char ExcessLine[] =
    "The slice set holds more data than its file: %s goes past its %s bytes.\n";
// 236 when, in a set that does not add up, a portion before the last is
// not as long as the others.
static const char LengthLine[] = "%s is %s bytes long; portions before the last have %s.\n";
// 246 and 252 when a header was read but cannot be a portion's.
static const char DamagedLine[] = "The header of %s is damaged.\n";
// 247 and 253 when a portion is there but cannot be read (a folder, no
// permission): its error, not "missing".
static const char UnreadableLine[] = "Error opening %s = %ld\n";
// 230, by the damage found (JoinDamage order). A portion is followed by
// its disk on a removable source: "BIG.D03 (disk #4) is damaged: ...".
static const char DiskPart[] = " (disk #%d)";
static const char *const DamageLines[] = {
    "",
    " is damaged: its checksum is %s, the list says %s\n",
    " is missing: the checksum list %s names it.\n",
    " is not in the checksum list %s.\n",
    "The data of %s is damaged: its checksum is %s, the list says %s\n",
    "The checksum list %s describes another file than the headers do: %s, %s bytes.\n",
    " has a damaged header, or belongs to another slice set.\n",
};
// A missing portion where no usable list names it: the recovery data does.
static const char MissingLine[] = " is missing.\n";

// When a portion set aside to be rebuilt was not: why, and, when a second
// one is lost, what may still rebuild them.
static const char NotRebuiltLine[] =
    "The recovery data could not rebuild it: another file of the set is damaged too.\n";
static const char OnlyOneLine[] = "The joiner rebuilds one portion; a PAR2 tool may rebuild more: par2 repair %s\n";
// On disks the recovery disk cannot be seen: said when the damage is found.
#ifdef _WIN32
#define JOINER_NAME "KELMORIX"
#else
#define JOINER_NAME "kelmorix"
#endif
static const char DisksLine[] =
    "If the set has a recovery disk, copy every disk, the recovery disk included,\n"
    "into one folder and run " JOINER_NAME " there to repair it.\n";

// After a failure: the output was begun under its temporary name. On Linux
// a line with the bytes it holds follows, so that what is left behind, and
// why the next run's temporary name has the next number, is told whole.
static const char IncompleteLine[] = "%s is incomplete; it has been left in place.\n";
static const char WholeLine[] = "%s holds the whole file; it has been left in place.\n";
static const char DamagedOutputLine[] =
    "%s holds the data as it was read, damage and all; it has been left in place.\n";
#ifndef _WIN32
static const char HoldsLine[] = "It holds %s bytes of the file's %s.\n";
// 249 after the question was answered N (or could not be answered).
static const char DeclinedLine[] = "%s already exists; it was not replaced.\n";
// 239 and 240 where the system gave no error number: a write that took
// nothing, a portion that ended before its data did.
static const char WroteNothingLine[] = "Error writing %s: the disk took no more\n";
static const char EndedEarlyLine[] = "Error reading data from %s: it ended before its data did\n";
// 253: where the forms of the command are told.
static const char HelpLine[] = "(kelmorix --help shows how to name a slice set)\n";
#endif
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

// 1 while the final report of a failure is said: each of its lines is an error.
static int SayingErrors;

void JoinSay(const char *format, ...)
{
    va_list args;

    if (JoinInterruption())
        return;
    va_start(args, format);
    SayTo(SayingErrors || strncmp(format, "Warning: ", 9) == 0 ? ErrorStream() : stdout, format,
          args);
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
    // Nobody can answer: nothing is replaced, and the line says why.
    if (key == ASK_NO_TERMINAL) {
        JoinSay(Question, path);
        JoinSay("N (no terminal to answer; --yes would answer Y)\n");
    }
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

// The line naming one portion and how it is damaged.
static void SayPortionDamage(const JoinRun *run, const char *path, int disk, int damage,
                             uint32_t foundCrc, uint32_t listedCrc)
{
    char found[9], listed[9];

    JoinSay("%s", path);
    if (disk)
        JoinSay(DiskPart, disk);
    if (damage == DAMAGE_CHECKSUM)
        JoinSay(DamageLines[damage], JoinHexText(foundCrc, found), JoinHexText(listedCrc, listed));
    else if (damage == DAMAGE_MISSING && run->List.State != LIST_USABLE)
        JoinSay(MissingLine);
    else
        JoinSay(DamageLines[damage], run->List.Path);
}

void JoinSayDamage(const JoinRun *run)
{
    char found[9], listed[9], size[DECIMAL_TEXT_SIZE];
    const char *format = DamageLines[run->Damage];

    switch (run->Damage) {
    case DAMAGE_NONE:
        return;
    case DAMAGE_DATA:
        JoinSay(format, run->Set.FileName, JoinHexText(run->FoundCrc, found),
                   JoinHexText(run->ListedCrc, listed));
        return;
    case DAMAGE_OTHER_FILE:
        JoinSay(format, run->List.Path, run->List.Info.FileName,
                   DecimalText(run->List.Info.FileSize, size));
        return;
    default:
        SayPortionDamage(run, run->Portion.Path, run->DamagedDisk, run->Damage, run->FoundCrc,
                         run->ListedCrc);
    }
}

// A portion set aside to be rebuilt that was not: it is named, and why.
static void SayNotRebuilt(const JoinRun *run)
{
    char *path = JoinPath(run->Portion.Path, "");

    if (!path)
        return;
    SetPortionNumber(path, run->Repair.Index);
    SayPortionDamage(run, path, 0, run->Repair.Damage, run->Repair.Found, run->Repair.Listed);
    free(path);
    if (run->Repair.Failure)
        JoinSay(NotRebuiltLine);
}

// The line of a code whose failure has a form of its own, or NULL.
static const char *SpecialLine(const JoinRun *run, int result)
{
    if (run->DamagedHeader)
        return DamagedLine;
    if ((result == JOIN_OPEN_PORTION || (result == JOIN_NO_FIRST_PORTION && run->Portion.Path)) &&
        run->PendingError != OS_FILE_NOT_FOUND)
        return UnreadableLine;
    return NULL;
}

// What a failed run leaves under the output's temporary name.
static void SayLeftBehind(const JoinRun *run, int result)
{
    const char *format = run->Repair.Active && !run->Repair.Rebuilt ? IncompleteLine
                         : result == JOIN_DAMAGED                   ? DamagedOutputLine
                         : run->Out.DataComplete                     ? WholeLine
                                                                     : IncompleteLine;

    SayWith(ErrorStream(), format, run->Out.TempPath);
#ifndef _WIN32
    char written[DECIMAL_TEXT_SIZE], size[DECIMAL_TEXT_SIZE];
    SayWith(ErrorStream(), HoldsLine, DecimalText(run->Out.BytesWritten, written),
            DecimalText(run->Set.FileSize, size));
#endif
}

// The name a header carries, read as text where it can be, for the 242 line.
static void SayUnsafeName(const JoinRun *run, const char *format)
{
    char name[NAME_TEXT_SIZE];
    const char *field = run->Portion.Header.FileName;
    size_t length = 0;

    while (length < FILE_NAME_FIELD && field[length])
        length++;
    if (NameAsText(field, length, name, sizeof name) != 0) {
        memcpy(name, field, length);
        name[length] = 0;
    }
    JoinSay(format, run->Portion.Path, name);
}

// The line of a failure, by the form its code takes (ARGS_...).
static void SayFailure(const JoinRun *run, const ReportLine *line, const char *special)
{
    char written[DECIMAL_TEXT_SIZE], size[DECIMAL_TEXT_SIZE];

    switch (special ? ARGS_PORTION : line->Args) {
    case ARGS_DAMAGE:
        JoinSayDamage(run);
        break;
    case ARGS_OUTPUT:
        JoinSay(run->Out.Intruder ? IntruderLine : line->Format, run->Out.Path, run->PendingError);
        break;
    case ARGS_TEMPORARY:
        JoinSay(line->Format, run->Out.TempPath, run->PendingError);
        break;
    case ARGS_OUTPUT_ONLY:
        JoinSay(line->Format, run->Out.Path);
        break;
    case ARGS_ERROR:
        JoinSay(line->Format, run->PendingError);
        break;
    case ARGS_FOLDER:
        JoinSay(line->Format, run->Out.Folder, run->PendingError);
        break;
    case ARGS_PORTION:
        JoinSay(special ? special : line->Format, run->Portion.Path, run->PendingError);
        break;
    case ARGS_PORTION_ONLY:
        JoinSay(line->Format, run->Portion.Path);
        break;
    case ARGS_UNSAFE_NAME:
        SayUnsafeName(run, line->Format);
        break;
    case ARGS_SOURCE:
        JoinSay(line->Format, run->Set.Argument);
        break;
    case ARGS_COUNTS:
        DecimalText(run->Set.FileSize, size);
        if (run->WrongLength)
            JoinSay(LengthLine, run->Portion.Path, DecimalText(run->Portion.Size, written),
                    DecimalText(run->Set.FirstSize, size));
        else if (run->MoreDataThanFile)
            JoinSay(ExcessLine, run->Portion.Path, size);
        else
            JoinSay(line->Format, run->Portion.Path, DecimalText(run->Out.BytesWritten, written),
                    size);
        break;
    case ARGS_DISK:
        JoinSay(line->Format, run->Portion.Disk);
        break;
    default:
        JoinSay(line->Format);
        break;
    }
}

#ifndef _WIN32
// Linux: a failure whose error number would tell less than a line of its
// own. Returns 1 when it was said.
static int SayLinuxLine(const JoinRun *run, int result)
{
    if (result == JOIN_OPEN_OUTPUT && run->PendingError == OS_FILE_EXISTS && !run->Out.Intruder &&
        !run->Out.TempPath)
        JoinSay(DeclinedLine, run->Out.Path);
    else if (result == JOIN_WRITE_FAILED && run->PendingError == 1)
        JoinSay(WroteNothingLine, run->Out.TempPath);
    else if (result == JOIN_READ_FAILED && run->PendingError == 1)
        JoinSay(EndedEarlyLine, run->Portion.Path);
    else
        return 0;
    return 1;
}
#endif

void JoinFinalReport(const JoinRun *run, int result)
{
    const ReportLine *line = NULL;
    const char *special = SpecialLine(run, result);
    size_t i;

    if (result != JOIN_OK && result == JoinInterruption()) {
        JoinSayInterrupted(0, run->Set.FileName);
        if (run->Out.Created && !run->Out.Placed)
            SayLeftBehind(run, result);
        return;
    }
    for (i = 0; i < sizeof ReportLines / sizeof ReportLines[0]; i++)
        if (ReportLines[i].Code == result)
            line = &ReportLines[i];
    if (!line || (result != JOIN_OK && run->PendingError == 0))
        return;
    if (result == JOIN_OK) {
        JoinSayNotVerified(run);
        JoinSay(line->Format, run->Set.FileName, run->Out.Folder);
        return;
    }
    SayingErrors = 1;
    if (run->Repair.Active && !run->Repair.Rebuilt)
        SayNotRebuilt(run);
#ifndef _WIN32
    if (!SayLinuxLine(run, result))
#endif
        SayFailure(run, line, special);
#ifdef _WIN32
    if (result == JOIN_NO_FIRST_PORTION && !special)
        PrintUsage(stdout);
#else
    if (result == JOIN_NO_FIRST_PORTION && !special)
        JoinSay(HelpLine);
#endif
    if (result == JOIN_DAMAGED && run->Repair.Active && !run->Repair.Rebuilt && !run->Repair.Failure) {
        char index[PAR2_NAME_SIZE], volume[PAR2_NAME_SIZE];
        if (Par2FileNames(run->Set.FileName, 1, index, volume) == 0)
            JoinSay(OnlyOneLine, index);
    }
    if (run->Set.Removable && (result == JOIN_DAMAGED || result == JOIN_READ_FAILED ||
                               result == JOIN_READ_HEADER || result == JOIN_SHORT_PORTION))
        JoinSay(DisksLine);
    SayingErrors = 0;
    if (run->Out.Created && !run->Out.Placed)
        SayLeftBehind(run, result);
}
