// Reassembly, one run from start to end: find the first portion of a slice
// set, make the destination folder (Linux), create the output under a
// temporary name beside the sliced file's, append every portion's data in
// number order (asking for disks on a removable drive), then give the
// output its times, put it in the place of the sliced file's name and give
// it its attributes, and report; a run interrupted takes its output away.
// The steps are in the files join_run.h lists.
#include "join_run.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "os/files.h"
#include "os/media.h"

// Whether the destination lies on a disk the user may take out: the drive
// of a path that names one (A:...), else the folder as the platform sees it.
static int RemovableDestination(const char *destination)
{
    char root[4];

    if (OS_DRIVE_SEPARATOR && destination[0] && destination[1] == OS_DRIVE_SEPARATOR) {
        root[0] = destination[0];
        root[1] = OS_DRIVE_SEPARATOR;
        root[2] = OS_SEPARATOR;
        root[3] = 0;
        return OsIsRemovable(root);
    }
    return OsIsRemovable(destination);
}

// Data moves through memory in blocks of the first size that can be had: a
// large block takes fewer calls, the small one still works when memory is
// short.
static const uint32_t TransferSizes[] = {0x100000, 0x10000};

static void ReleaseRun(JoinRun *run)
{
    JoinClosePortion(run);
    if (run->Out.File)
        OsClose(run->Out.File);
    free(run->Portion.Path);
    free(run->Out.Path);
    free(run->Out.TempPath);
    free(run->Set.LastingPath);
    free(run->Out.LastingFolder);
    ReadPipeStop(run->Pipe);
    free(run->Buffer);
    free(run->List.Path);
    free(run->List.Text);
    free(run->Repair.Folder);
}

static int Join(JoinRun *run)
{
    size_t i;
    int result;

    for (i = 0; i < sizeof TransferSizes / sizeof TransferSizes[0] && !run->Buffer; i++) {
        run->BufferSize = TransferSizes[i];
        run->Buffer = (unsigned char *)calloc(1, run->BufferSize);
    }
    if (!run->Buffer) {
        run->PendingError = 1;
        return JOIN_NO_BUFFER;
    }
    run->Set.Removable = OsIsRemovable(run->Set.Argument);
    if (run->Set.Removable) {
        OsDriveName(run->Set.Argument, run->Set.DriveName, sizeof run->Set.DriveName);
        result = JoinLeaveCurrentFolder(run);
        if (!result)
            result = JoinPromptForDisk(run);
        if (result)
            return result;
    }
    // In a folder the recovery data is read first: it vouches for the
    // set's header, and finds the set where portion 00 is lost or damaged.
    result = JoinFindSetByRecovery(run, JoinFindFirstPortion(run), run->Buffer, run->BufferSize);
    if (result)
        return result;
    run->Set.FileSize = (uint64_t)run->Portion.Header.FileSizeHigh << 32 | run->Portion.Header.FileSizeLow;
    // In a folder the list is read before anything is written; on disks it
    // is on the last one.
    if (!run->Set.Removable)
        JoinReadList(run);
    run->Hashing = run->Set.Removable || run->List.State != LIST_NONE ||
                   run->Repair.Recovery == RECOVERY_READ;
    // A checked set is read and hashed on a second thread while this one
    // writes; where none can be started, this one does all three.
    if (run->Hashing)
        run->Pipe = ReadPipeStart();
    run->Out.FlushEachPortion = run->Set.Removable || RemovableDestination(run->Out.FolderPath);
    result = JoinMakeFolder(run);
    if (!result)
        result = JoinCreateOutput(run);
    if (result)
        return result;
    memset(run->Buffer, 0, run->BufferSize);
    return JoinCopyPortions(run);
}

int JoinSliceSet(const char *sourceArgument, const char *destinationFolder)
{
    JoinRun run;
    int result;

    memset(&run, 0, sizeof run);
    run.Set.Argument = run.Set.Path = sourceArgument;
    run.Out.Folder = run.Out.FolderPath = destinationFolder;
    run.Portion.Disk = 1;
    result = Join(&run);
    // Allocation failures have no error number of their own, yet their
    // lines must be shown.
    if (result == JOIN_NO_SOURCE_PATH || result == JOIN_NO_OUTPUT_PATH)
        run.PendingError = 1;
    // However a step ended, an interruption is what ended the run (unless
    // the file already has its name), and what it wrote goes.
    if (result != JOIN_OK && !run.Out.Placed && JoinInterruption()) {
        result = JoinInterruption();
        if (run.Out.File)
            OsClose(run.Out.File);
        run.Out.File = 0;
        if (run.Out.Created && OsDelete(run.Out.TempPath) == 0)
            run.Out.Created = 0;
    }
    JoinFinalReport(&run, result);
    ReleaseRun(&run);
    fflush(stdout);
    return result;
}
