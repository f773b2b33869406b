// What the joiner says: the formatting every message goes through, the
// usage text, the questions and disk prompts, and the final line of each
// result code (a table), with the note on an output left under its
// temporary name, and the lines of a portion the recovery data did not
// rebuild.
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
    ARGS_DAMAGE           // as the damage found (DamageLines)
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
    {JOIN_NO_CONSOLE, ARGS_DISK, "There is no console to answer the prompt for disk #%d.\n"},
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
    " is not verified: no intact line of a checksum list and no recovery data vouch for it.\n",
    " is damaged: it is not the portion the recovery data describes.\n",
    " cannot be opened = %ld\n",
    " has a damaged header, or belongs to another slice set.\n",
};
// A missing portion where no usable list names it: the recovery data does.
static const char MissingLine[] = " is missing.\n";

// When the portions set aside to be rebuilt were not, and the blocks were
// enough: why.
static const char NotRebuiltLine[] =
    "The recovery data could not rebuild %s: another file of the set is damaged too.\n";
// On disks the recovery disk cannot be seen: said when the damage is found.
#ifdef _WIN32
#define JOINER_NAME "KELMORIX"
#else
#define JOINER_NAME "kelmorix"
#endif
static const char DisksLine[] =
    "If the set has a recovery disk, copy every disk, the recovery disk included,\n"
    "into one folder and run " JOINER_NAME " there to repair it.\n";

// After a failure: the output was begun under its temporary name.
static const char IncompleteLine[] = "%s is incomplete; it has been left in place.\n";
static const char WholeLine[] = "%s holds the whole file; it has been left in place.\n";
static const char DamagedOutputLine[] =
    "%s holds the data as it was read, damage and all; it has been left in place.\n";

#ifdef _WIN32
#define DESTINATION_LINE "If a destination folder is not specified, TEMP will be used.\n"
#else
// What Linux does: TEMP only stands in for a disk the set is read from.
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

static void SayTo(FILE *to, const char *format, va_list args)
{
    for (; *format; format++) {
        if (*format != '%') {
            putc(*format, to);
        } else if (*++format == 's') {
            PutEscaped(to, va_arg(args, const char *));
        } else if (*format == 'd') {
            fprintf(to, "%d", va_arg(args, int));
        } else if (*format == 'l') {
            format++;
            fprintf(to, "%ld", va_arg(args, long));
        } else {
            putc(*format, to);
        }
    }
}

void JoinSay(const char *format, ...)
{
    va_list args;

    va_start(args, format);
    SayTo(stdout, format, args);
    va_end(args);
}

int JoinAsk(int endLine, const char *format, ...)
{
    FILE *console = OsOpenConsoleOutput();
    va_list args;
    int key;

    // Only a key pressed once the question is shown answers it.
    OsFlushTypedAhead();
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
        JoinSay("\n");
        if (console)
            fputs("\n", console);
    }
    if (console)
        fclose(console);
    return key;
}

void PrintUsage(void)
{
    size_t i;

    for (i = 0; i < sizeof UsageLines / sizeof UsageLines[0]; i++)
        fputs(UsageLines[i], stdout);
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

// Eight upper-case hex digits, as the list writes a CRC.
static const char *HexText(uint32_t value, char out[9])
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
        JoinSay(DamageLines[damage], HexText(foundCrc, found), HexText(listedCrc, listed));
    else if (damage == DAMAGE_MISSING && run->List.State != LIST_USABLE)
        JoinSay(MissingLine);
    else if (damage == DAMAGE_UNREADABLE)
        JoinSay(DamageLines[damage], (long)foundCrc);
    else
        JoinSay(DamageLines[damage], run->List.Path);
}

void JoinSayDamage(const JoinRun *run)
{
    if (run->Damage != DAMAGE_NONE)
        SayPortionDamage(run, run->Portion.Path, run->DamagedDisk, run->Damage, run->FoundCrc,
                         run->ListedCrc);
}

void JoinSayRecoveryVerdict(const JoinRun *run, unsigned lost, int can, int spare)
{
    const char *them = lost == 1 ? "it" : "them";

    JoinSay("%d portion%s damaged or missing", (int)lost, lost == 1 ? "" : "s");
    if (run->Repair.Recovery != RECOVERY_READ)
        JoinSay("; the set carries no recovery data\n");
    else if (can == REPAIR_NOT_IN_SET)
        JoinSay("; the recovery data does not describe %s\n", lost == 1 ? them : "them all");
    else if (can == REPAIR_OK)
        JoinSay("; the recovery data can rebuild %s (%d block%s to spare)\n", them, spare,
                spare == 1 ? "" : "s");
    else
        JoinSay(", more than the recovery data can rebuild: par2 repair needs %d block%s, "
                "the set has %d\n", (int)lost, lost == 1 ? "" : "s", (int)(lost + spare));
}

// The portions set aside to be rebuilt that were not: each named, and why.
static void SayNotRebuilt(const JoinRun *run)
{
    char *path = JoinPath(run->Portion.Path, "");
    unsigned count = run->Repair.Count;

    for (unsigned slot = 0; path && slot < count; slot++) {
        SetPortionNumber(path, run->Repair.Index[slot]);
        SayPortionDamage(run, path, 0, run->Repair.Damage[slot], run->Repair.Found[slot],
                         run->Repair.Listed[slot]);
    }
    free(path);
    if (run->Repair.Failure == REPAIR_TOO_MANY)
        JoinSayRecoveryVerdict(run, count, REPAIR_TOO_MANY,
                               (int)((RepairSet *)JoinRecoveryData)->Blocks - (int)count);
    else if (run->Repair.Failure)
        JoinSay(NotRebuiltLine, count == 1 ? "it" : "them");
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

void JoinFinalReport(const JoinRun *run, int result)
{
    char written[DECIMAL_TEXT_SIZE], size[DECIMAL_TEXT_SIZE];
    char name[FILE_NAME_FIELD + 1];
    const ReportLine *line = NULL;
    const char *special = SpecialLine(run, result);
    size_t i;

    for (i = 0; i < sizeof ReportLines / sizeof ReportLines[0]; i++)
        if (ReportLines[i].Code == result)
            line = &ReportLines[i];
    if (!line || (result != JOIN_OK && run->PendingError == 0))
        return;
    if (result != JOIN_OK && run->Repair.Count && !run->Repair.Rebuilt)
        SayNotRebuilt(run);
    switch (special ? ARGS_PORTION : line->Args) {
    case ARGS_NAME_AND_FOLDER:
        JoinSayNotVerified(run);
        JoinSay(line->Format, run->Portion.Header.FileName, run->Out.Folder);
        break;
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
    case ARGS_PORTION:
        JoinSay(special ? special : line->Format, run->Portion.Path, run->PendingError);
        break;
    case ARGS_PORTION_ONLY:
        JoinSay(line->Format, run->Portion.Path);
        break;
    case ARGS_UNSAFE_NAME:
        memcpy(name, run->Portion.Header.FileName, FILE_NAME_FIELD);
        name[FILE_NAME_FIELD] = 0;
        JoinSay(line->Format, run->Portion.Path, name);
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
        fputs(line->Format, stdout);
        break;
    }
    if (result == JOIN_NO_FIRST_PORTION && !special)
        PrintUsage();
    if (run->Set.Removable && (result == JOIN_DAMAGED || result == JOIN_READ_FAILED ||
                                 result == JOIN_READ_HEADER || result == JOIN_SHORT_PORTION))
        JoinSay(DisksLine);
    if (result != JOIN_OK && run->Out.Created && !run->Out.Placed)
        JoinSay(run->Repair.Count && !run->Repair.Rebuilt ? IncompleteLine
                   : result == JOIN_DAMAGED     ? DamagedOutputLine
                   : run->Out.DataComplete       ? WholeLine
                                             : IncompleteLine,
                   run->Out.TempPath);
}
