// dorvane for Linux: the slice job of the Windows program as a command. It
// works out the portion size, makes a missing destination folder, runs the
// job with its questions on the terminal (terminal.cpp) and writes the
// KELMORIX.EXE the build carries beside portion 0, so that the set rebuilds
// itself on Windows; then, when asked, the recovery data.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "command_line.h"
#include "dorvane_version.h"
#include "format/slice_format.h"
#include "os/files.h"
#include "os/process.h"
#include "recovery/write/recovery_disk.h"
#include "recovery/write/recovery_job.h"
#include "slice/slice_job.h"
#include "terminal.h"

// The forms of the command; after a usage error, they follow the message.
static const char Synopsis[] =
    "Usage:\n"
    "  dorvane SOURCE DESTINATION_FOLDER --size SIZE   portions of SIZE, header included\n"
    "  dorvane SOURCE DESTINATION_FOLDER --count N     N equal portions, 2 to 100\n"
    "  dorvane SOURCE MOUNT_POINT --disks              disk after disk on a removable\n"
    "                                                  mount point, each disk filled\n"
    "  dorvane --help | --version\n";

static const char Options[] =
    "\n"
    "  SIZE    bytes (650000), or a number with a unit: K, KB or KiB; M, MB or MiB;\n"
    "          G, GB or GiB, all of them 1024 times the one before (97.5KB, 2.5M,\n"
    "          1G). A fraction needs its unit. 360KB, 720KB, 1.2MB, 1.44MB and\n"
    "          2.88MB (K or M) are the floppies' real capacities\n"
    "  --yes   answers Y to \"Do you want to overwrite preexisting files?\", for a\n"
    "          script that has no terminal\n"
    "  --no    answers N to it: the job is then cancelled (246)\n"
    "  -q, --quiet  no progress line and no lines about what was made; errors,\n"
    "          warnings and questions are still said\n"
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
    "the Windows joiner, beside the first; kelmorix rebuilds the set on Linux. A\n"
    "destination folder that does not exist is made. Errors go to standard error,\n"
    "the rest to standard output; the progress line to the terminal. The exit\n"
    "status is the job's result code (man dorvane lists them): 0 when every\n"
    "portion was written, 130 or 143 when Ctrl+C or SIGTERM stopped it.\n";

// 1 when this build carries KELMORIX.EXE to write beside a set.
static int CarriesJoiner(void)
{
    const void *data;
    uint32_t size = 0;

    return OsJoinerProgram(&data, &size) == 0 && size != 0;
}

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
    uint64_t memory = OsPhysicalMemory();

    request->Source = command->Source;
    request->Destination = destination;
    request->Blocks = command->Recovery;
    request->OverwriteAgreed = Terminal.OverwriteAgreed;
    // Half the machine's memory at most for the blocks: more would only be
    // swapped, or end the program.
    request->MemoryLimit = memory ? memory / 2 : (uint64_t)1 << 30;
    request->Creator = "Dorvane " DORVANE_VERSION_TEXT;
    request->Written = NULL;
}

// The recovery data beside a complete set in destination, whose portions
// must read back as the job wrote them. Returns 0, SLICE_RECOVERY_FAILED, or
// the status of an interruption.
static int WriteRecovery(const SliceCommand *command, const char *destination,
                         const SliceWritten *written)
{
    RecoveryRequest request;
    int result;

    RecoveryRequestFor(command, destination, &request);
    request.Written = written;
    TerminalStep("Recovery data");
    result = WriteRecoveryData(&request, &TerminalUser);
    TerminalEndProgress();
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
    TerminalEndProgress();
    if (result == SLICE_COMPLETE) {
        request.OverwriteAgreed = Terminal.OverwriteAgreed;
        result = RecoveryDiskWrite(disk, &TerminalUser);
    }
    RecoveryDiskFree(disk);
    return result;
}

// A folder method's destination, made with the folders above it when it is
// missing. Returns 0, or SLICE_NO_FOLDER having said why not.
static int MakeDestination(const char *folder)
{
    char words[SLICE_ERROR_PART_SIZE];
    int made = 0;
    long error = OsMakeFolders(folder, &made);

    if (error) {
        ErrorWords(error, words);
        SayError("Error making the folder %s%s\n", folder, words);
        return SLICE_NO_FOLDER;
    }
    if (made)
        SayResult("Made the folder %s\n", folder);
    return 0;
}

// 1 when the source opens for reading, as the job will open it: only then
// is a folder made for its set.
static int SourceOpens(const char *source)
{
    OsFile file;

    if (OsOpenRead(source, &file) != 0)
        return 0;
    OsClose(file);
    return 1;
}

// Runs the job (and the recovery data after it) once the size is planned.
// Returns its result code.
static int RunJob(const SliceCommand *command, const char *destination, uint32_t portionSize)
{
    SliceWritten written; // what the job wrote, compared with what the recovery step reads
    int result;

    if (command->Method == METHOD_DISKS && command->Recovery)
        return SliceWithRecoveryDisk(command, destination);
    result = SliceFileObserved(command->Source, destination,
                               command->Method == METHOD_DISKS ? SLICE_ONTO_DISKS
                                                               : SLICE_INTO_FOLDER,
                               portionSize, &TerminalUser, NULL, &written);
    TerminalEndProgress();
    if (result == SLICE_COMPLETE && command->Recovery)
        result = WriteRecovery(command, destination, &written);
    return result;
}

// The line that ends a run: what became of the set.
static void SayOutcome(const SliceCommand *command, int result)
{
    const char *source = command->Source, *destination = command->Destination;

    if (result == SLICE_COMPLETE)
        SayResult("Slice %s to %s is complete\n", source, destination);
    else if (result == SLICE_RECOVERY_FAILED)
        SayError("Slice %s to %s is complete, but its recovery data could not be written\n",
                 source, destination);
    else if (result == SLICE_CANCELLED)
        SayError("Slice %s to %s was cancelled\n", source, destination);
    else if (result == InterruptedStatus())
        SayError("Slice %s to %s was interrupted\n", source, destination);
    else
        SayError("Errors were encountered while Slicing %s to %s\n", source, destination);
}

// Works out the portion size and runs the job. Returns its result code.
static int Slice(const SliceCommand *command)
{
    char message[512];
    uint64_t sourceSize = 0;
    const char *slash = strrchr(command->Source, '/');
    uint32_t portionSize = 0;
    int planned = 0, result = 0;
    char *destination = WithSeparator(command->Destination);
    char *driveName = DriveName(command->Destination);

    TerminalStart(command->Overwrite, command->Quiet, driveName,
                  slash ? slash + 1 : command->Source);
    if (!destination || !driveName) {
        free(destination);
        free(driveName);
        ReportSliceFailure(&TerminalUser, SLICE_NO_PATH_BUFFER, 1, command->Source,
                           command->Destination,
                           command->Method == METHOD_DISKS ? SLICE_ONTO_DISKS : SLICE_INTO_FOLDER,
                           0);
        return SLICE_NO_PATH_BUFFER;
    }
    if (!CarriesJoiner())
        SayError("This dorvane was built without the i686 cross compiler and carries no %s: "
                 "the set will lack its joiner program.\n",
                 JOINER_FILE_NAME);
    // The planner needs the size; a source that cannot be read is left to
    // the job, which says why in its own words (and no folder is made).
    if (command->Method != METHOD_DISKS && SourceOpens(command->Source) &&
        OsPathSize(command->Source, &sourceSize) == 0) {
        result = PlanFolderPortions(command, sourceSize, &portionSize, message, sizeof message);
        if (result)
            SayError("%s", message);
        else
            result = MakeDestination(command->Destination);
        planned = 1;
    } else if (command->Method == METHOD_SIZE) {
        portionSize = command->PortionSize;
    } else if (command->Method == METHOD_COUNT) {
        portionSize = UINT32_MAX; // the job refuses the source before it needs a size
    }
    if (!result)
        result = RunJob(command, destination, portionSize);
    // However a step ended, an interruption is what ended the run.
    if (result != SLICE_COMPLETE && InterruptedStatus())
        result = InterruptedStatus();
    // A count the equal portions could not keep is no failure, but the set
    // is not what was asked for, so it is said.
    if ((result == SLICE_COMPLETE || result == SLICE_RECOVERY_FAILED) && planned &&
        CountNotKept(command, sourceSize, portionSize, message, sizeof message))
        SayError("%s", message);
    SayOutcome(command, result);
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
        fputs(Synopsis, stdout);
        fputs(Options, stdout);
        return 0;
    case COMMAND_VERSION:
        printf("dorvane %s%s\n%s\n", DORVANE_VERSION_TEXT,
               CarriesJoiner() ? "" : " (built without KELMORIX.EXE)", DORVANE_COPYRIGHT);
        return 0;
    case COMMAND_WRONG:
        fprintf(stderr, "dorvane: %s\n%s(dorvane --help says more)\n", message, Synopsis);
        return COMMAND_LINE_ERROR;
    }
    return Slice(&command);
}
