// Reassembly, one run from start to end: find the first portion of a slice
// set, create the output under a temporary name beside the sliced file's,
// append every portion's data in number order (asking for disks on a
// removable drive), then give the output its times, put it in the place of
// the sliced file's name and give it its attributes, and report. The steps are
// in the files restore_run.h lists.
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

static void ReleaseRun(RestoreRun *run)
{
    RestoreClosePortion(run);
    if (run->Output)
        OsClose(run->Output);
    free(run->PortionPath);
    free(run->OutputPath);
    free(run->TempPath);
    free(run->LastingSource);
    free(run->LastingDestination);
    free(run->Buffer);
    free(run->ListPath);
    free(run->ListText);
    free(run->RepairFolder);
}

static int Restore(RestoreRun *run)
{
    size_t i;
    int result;

    run->RemovableSource = OsIsRemovable(run->SourceArgument);
    if (run->RemovableSource) {
        OsDriveName(run->SourceArgument, run->DriveName, sizeof run->DriveName);
        result = RestoreLeaveCurrentFolder(run);
        if (!result)
            result = RestorePromptForDisk(run);
        if (result)
            return result;
    }
    result = RestoreFindFirstPortion(run);
    if (result)
        return result;
    run->FileSize = (uint64_t)run->Header.FileSizeHigh << 32 | run->Header.FileSizeLow;
    // In a folder the list is read before anything is written; on disks it
    // is on the last one.
    if (!run->RemovableSource)
        RestoreReadList(run);
    run->Hashing = run->RemovableSource || run->List == LIST_USABLE;
    run->FlushEachPortion = run->RemovableSource || RemovableDestination(run->DestinationPath);
    result = RestoreCreateOutput(run);
    if (result)
        return result;
    for (i = 0; i < sizeof TransferSizes / sizeof TransferSizes[0] && !run->Buffer; i++) {
        run->BufferSize = TransferSizes[i];
        run->Buffer = (unsigned char *)calloc(1, run->BufferSize);
    }
    if (!run->Buffer) {
        run->PendingError = 1;
        return RESTORE_NO_BUFFER;
    }
    return RestoreCopyPortions(run);
}

int RestoreSliceSet(const char *sourceArgument, const char *destinationFolder)
{
    RestoreRun run;
    int result;

    memset(&run, 0, sizeof run);
    run.SourceArgument = run.SourcePath = sourceArgument;
    run.DestinationFolder = run.DestinationPath = destinationFolder;
    run.DiskNumber = 1;
    result = Restore(&run);
    // Allocation failures have no error number of their own, yet their
    // lines must be shown.
    if (result == RESTORE_NO_SOURCE_PATH || result == RESTORE_NO_OUTPUT_PATH)
        run.PendingError = 1;
    RestoreFinalReport(&run, result);
    ReleaseRun(&run);
    fflush(stdout);
    return result;
}
