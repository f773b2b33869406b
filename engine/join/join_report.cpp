// The final report of a run: the line of each result code (a table), the
// lines of the damage found and of a portion the recovery data did not
// rebuild, the note on an output left under its temporary name, and on
// Linux the lines that say more than an error number would. Every line of
// a failure is an error (JoinSayError: standard error on Linux).
#include "join_run.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

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
#ifdef _WIN32
    {JOIN_NO_CONSOLE, ARGS_DISK, "There is no console to answer the prompt for disk #%d.\n"},
#else
    {JOIN_NO_FOLDER, ARGS_FOLDER, "Error making the folder %s = %ld\n"},
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

// The line naming one portion and how it is damaged.
static void SayPortionDamage(const JoinRun *run, const char *path, int disk, int damage,
                             uint32_t foundCrc, uint32_t listedCrc)
{
    char found[9], listed[9];

    JoinSayError("%s", path);
    if (disk)
        JoinSayError(DiskPart, disk);
    if (damage == DAMAGE_CHECKSUM)
        JoinSayError(DamageLines[damage], JoinHexText(foundCrc, found), JoinHexText(listedCrc, listed));
    else if (damage == DAMAGE_UNREADABLE)
        JoinSayError(DamageLines[damage], (long)foundCrc);
    else if (damage == DAMAGE_MISSING && run->List.State != LIST_USABLE)
        JoinSayError(MissingLine);
    else
        JoinSayError(DamageLines[damage], run->List.Path);
}

void JoinSayDamage(const JoinRun *run)
{
    if (run->Damage != DAMAGE_NONE)
        SayPortionDamage(run, run->Portion.Path, run->DamagedDisk, run->Damage, run->FoundCrc,
                         run->ListedCrc);
}

// The recovery data's verdict, said by say: JoinSay for --check's result,
// JoinSayError in the report of a failure.
static void SayRecoveryVerdict(void (*say)(const char *, ...), const JoinRun *run, unsigned lost,
                               int can, int spare)
{
    const char *them = lost == 1 ? "it" : "them";

    say("%d portion%s damaged or missing", (int)lost, lost == 1 ? "" : "s");
    if (run->Repair.Recovery != RECOVERY_READ)
        say("; the set carries no recovery data\n");
    else if (can == REPAIR_NOT_IN_SET)
        say("; the recovery data does not describe %s\n", lost == 1 ? them : "them all");
    else if (can == REPAIR_OK)
        say("; the recovery data can rebuild %s (%d block%s to spare)\n", them, spare,
            spare == 1 ? "" : "s");
    else
        say(", more than the recovery data can rebuild: par2 repair needs %d block%s, "
            "the set has %d\n", (int)lost, lost == 1 ? "" : "s", (int)(lost + spare));
}

void JoinSayRecoveryVerdict(const JoinRun *run, unsigned lost, int can, int spare)
{
    SayRecoveryVerdict(JoinSay, run, lost, can, spare);
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
        SayRecoveryVerdict(JoinSayError, run, count, REPAIR_TOO_MANY,
                           (int)((RepairSet *)JoinRecoveryData)->Blocks - (int)count);
    else if (run->Repair.Failure)
        JoinSayError(NotRebuiltLine, count == 1 ? "it" : "them");
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
    const char *format = run->Repair.Count && !run->Repair.Rebuilt ? IncompleteLine
                         : result == JOIN_DAMAGED                   ? DamagedOutputLine
                         : run->Out.DataComplete                     ? WholeLine
                                                                     : IncompleteLine;

    JoinSayErrorAlways(format, run->Out.TempPath);
#ifndef _WIN32
    char written[DECIMAL_TEXT_SIZE], size[DECIMAL_TEXT_SIZE];
    JoinSayErrorAlways(HoldsLine, DecimalText(run->Out.BytesWritten, written),
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
    JoinSayError(format, run->Portion.Path, name);
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
        JoinSayError(run->Out.Intruder ? IntruderLine : line->Format, run->Out.Path, run->PendingError);
        break;
    case ARGS_TEMPORARY:
        JoinSayError(line->Format, run->Out.TempPath, run->PendingError);
        break;
    case ARGS_OUTPUT_ONLY:
        JoinSayError(line->Format, run->Out.Path);
        break;
    case ARGS_ERROR:
        JoinSayError(line->Format, run->PendingError);
        break;
    case ARGS_FOLDER:
        JoinSayError(line->Format, run->Out.Folder, run->PendingError);
        break;
    case ARGS_PORTION:
        JoinSayError(special ? special : line->Format, run->Portion.Path, run->PendingError);
        break;
    case ARGS_PORTION_ONLY:
        JoinSayError(line->Format, run->Portion.Path);
        break;
    case ARGS_UNSAFE_NAME:
        SayUnsafeName(run, line->Format);
        break;
    case ARGS_SOURCE:
        JoinSayError(line->Format, run->Set.Argument);
        break;
    case ARGS_COUNTS:
        DecimalText(run->Set.FileSize, size);
        if (run->WrongLength)
            JoinSayError(LengthLine, run->Portion.Path, DecimalText(run->Portion.Size, written),
                    DecimalText(run->Set.FirstSize, size));
        else if (run->MoreDataThanFile)
            JoinSayError(ExcessLine, run->Portion.Path, size);
        else
            JoinSayError(line->Format, run->Portion.Path, DecimalText(run->Out.BytesWritten, written),
                    size);
        break;
    case ARGS_DISK:
        JoinSayError(line->Format, run->Portion.Disk);
        break;
    default:
        JoinSayError(line->Format);
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
        JoinSayError(DeclinedLine, run->Out.Path);
    else if (result == JOIN_WRITE_FAILED && run->PendingError == 1)
        JoinSayError(WroteNothingLine, run->Out.TempPath);
    else if (result == JOIN_READ_FAILED && run->PendingError == 1)
        JoinSayError(EndedEarlyLine, run->Portion.Path);
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
    if (run->Repair.Count && !run->Repair.Rebuilt)
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
        JoinSayError(HelpLine);
#endif
    if (run->Set.Removable && (result == JOIN_DAMAGED || result == JOIN_READ_FAILED ||
                               result == JOIN_READ_HEADER || result == JOIN_SHORT_PORTION))
        JoinSayError(DisksLine);
    if (run->Out.Created && !run->Out.Placed)
        SayLeftBehind(run, result);
}
