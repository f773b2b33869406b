// What the joiner says: the usage text, the disk prompts and the final
// line of each result code (a table), with the note on an incomplete output.
#include "restore_run.h"

#include <stdio.h>

#include "os/console.h"

enum ReportArgs {
    ARGS_NONE,
    ARGS_NAME_AND_FOLDER, // FileName, destination folder
    ARGS_OUTPUT,          // output path, pending error
    ARGS_OUTPUT_ONLY,     // output path
    ARGS_PORTION,         // portion path, pending error
    ARGS_PORTION_ONLY,    // portion path
    ARGS_SOURCE,          // source argument
    ARGS_COUNTS,          // portion path, bytes written, FileSize (as decimal text)
    ARGS_DISK,            // disk number
    ARGS_ERROR            // pending error
};

// The final line of each result code.
struct ReportLine {
    int Code;
    int Args;
    const char *Format;
};

static const ReportLine ReportLines[] = {
    {RESTORE_OK, ARGS_NAME_AND_FOLDER, "%s Successfully restored to %s\n"},
    {RESTORE_NO_CURRENT_FOLDER, ARGS_ERROR, "Error reading the current folder = %ld\n"},
    {RESTORE_OUTPUT_IS_PORTION, ARGS_OUTPUT_ONLY,
     "The rebuilt file would replace %s, a portion of the slice set;\n"
     "name another destination folder.\n"},
    {RESTORE_NO_CONSOLE, ARGS_DISK, "There is no console to answer the prompt for disk #%d.\n"},
    {RESTORE_SIZE_MISMATCH, ARGS_COUNTS,
     "The slice set ends at %s with %s bytes, but its file has %s bytes.\n"},
    {RESTORE_FOREIGN_PORTION, ARGS_PORTION_ONLY, "%s belongs to another slice set.\n"},
    {RESTORE_WRITE_FAILED, ARGS_OUTPUT, "Error writing %s = %ld\n"},
    {RESTORE_READ_FAILED, ARGS_PORTION, "Error reading data from %s = %ld\n"},
    {RESTORE_SHORT_PORTION, ARGS_PORTION_ONLY, "%s is too short to be a portion of a slice set.\n"},
    {RESTORE_UNSAFE_NAME, ARGS_PORTION_ONLY,
     "%s does not name a file that can be restored safely.\n"},
    {RESTORE_SET_ATTRIBUTES, ARGS_OUTPUT, "Error setting attributes on %s = %ld\n"},
    {RESTORE_CLOSE_OUTPUT, ARGS_OUTPUT, "Error closing %s = %ld\n"},
    {RESTORE_SET_TIMES, ARGS_OUTPUT, "Error setting date/time on %s = %ld\n"},
    {RESTORE_READ_HEADER, ARGS_PORTION, "Error reading header from %s = %ld\n"},
    {RESTORE_OPEN_PORTION, ARGS_PORTION_ONLY, "The file, %s, could not be opened.\n"},
    {RESTORE_NO_BUFFER, ARGS_NONE, "Error allocating transfer buffer\n"},
    {RESTORE_OPEN_OUTPUT, ARGS_OUTPUT, "Error opening %s = %ld\n"},
    {RESTORE_NO_OUTPUT_PATH, ARGS_NONE, "Error allocating dest file path buffer\n"},
    {RESTORE_CLOSE_FIRST, ARGS_PORTION, "Error closing %s = %ld\n"},
    {RESTORE_READ_FIRST_HEADER, ARGS_PORTION, "Error reading header from %s = %ld\n"},
    {RESTORE_NO_FIRST_PORTION, ARGS_SOURCE, "Could not find the first file of a slice set in %s.\n"},
    {RESTORE_NO_SOURCE_PATH, ARGS_NONE, "Error allocating source file path buffer\n"},
};

// 236 when the data runs on past the recorded size: the output was cut there.
static const char ExcessLine[] =
    "The slice set holds more data than its file: %s goes past its %s bytes.\n";

static const char *const UsageLines[] = {
    "\nUSAGE: KELMORIX [source folder] [destination folder]\n",
    "KELMORIX.EXE will be on the first disk of a slice set\n",
    "If a destination folder is not specified, TEMP will be used.\n",
    "If a source folder is not specified, will try to find first file in current directory.\n",
    "\nOR\n",
    "\nUSAGE: KELMORIX name_of_first_file_of_slice_set [destination folder]\n",
    "The last two characters of the first file of a slice set will be 00, i.e. BIG.D00.\n",
    "If a destination folder is not specified, TEMP will be used.\n",
    "\nOR\n",
    "\nUSAGE: KELMORIX destination_filename [destination folder]\n",
    "Destination name is original name of the sliced file, i.e. BIG.DAT.\n",
    "If a destination folder is not specified, TEMP will be used.\n",
    "\nNeither the source nor the destination may contain wildcards\n",
};

void PrintUsage(void)
{
    size_t i;

    for (i = 0; i < sizeof UsageLines / sizeof UsageLines[0]; i++)
        fputs(UsageLines[i], stdout);
}

// Shows what was printed so far, then waits for a key. Returns 0, or
// RESTORE_NO_CONSOLE when no key can ever come.
static int WaitForAnyKey(RestoreRun *run)
{
    fflush(stdout);
    if (OsReadKey() < 0) {
        run->PendingError = 1;
        return RESTORE_NO_CONSOLE;
    }
    return 0;
}

int RestorePromptForDisk(RestoreRun *run)
{
    printf("Please insert disk #%d in drive %s. ", run->DiskNumber, run->DriveName);
    printf("Press any key when ready.\n");
    return WaitForAnyKey(run);
}

void RestoreFinalReport(const RestoreRun *run, int result)
{
    char written[DECIMAL_TEXT_SIZE], size[DECIMAL_TEXT_SIZE];
    const ReportLine *line = NULL;
    size_t i;

    for (i = 0; i < sizeof ReportLines / sizeof ReportLines[0]; i++)
        if (ReportLines[i].Code == result)
            line = &ReportLines[i];
    if (!line || (result != RESTORE_OK && run->PendingError == 0))
        return;
    switch (line->Args) {
    case ARGS_NAME_AND_FOLDER:
        printf(line->Format, run->Header.FileName, run->DestinationFolder);
        break;
    case ARGS_OUTPUT:
        printf(line->Format, run->OutputPath, run->PendingError);
        break;
    case ARGS_OUTPUT_ONLY:
        printf(line->Format, run->OutputPath);
        break;
    case ARGS_ERROR:
        printf(line->Format, run->PendingError);
        break;
    case ARGS_PORTION:
        printf(line->Format, run->PortionPath, run->PendingError);
        break;
    case ARGS_PORTION_ONLY:
        printf(line->Format, run->PortionPath);
        break;
    case ARGS_SOURCE:
        printf(line->Format, run->SourceArgument);
        break;
    case ARGS_COUNTS:
        DecimalText(run->FileSize, size);
        if (run->MoreDataThanFile)
            printf(ExcessLine, run->PortionPath, size);
        else
            printf(line->Format, run->PortionPath, DecimalText(run->BytesWritten, written),
                   size);
        break;
    case ARGS_DISK:
        printf(line->Format, run->DiskNumber);
        break;
    default:
        printf("%s", line->Format);
        break;
    }
    if (result == RESTORE_NO_FIRST_PORTION)
        PrintUsage();
    if (result != RESTORE_OK && run->OutputCreated && !run->DataComplete)
        printf("%s is incomplete; it has been left in place.\n", run->OutputPath);
}
