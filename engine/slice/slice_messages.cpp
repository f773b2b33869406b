// The final message of a failed slice job: one table row per result code,
// with the arguments its text takes; an error number in it is worded as the
// user side words it. And the message of an interrupted job.
#include "slice_state.h"

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "format/heap_text.h"
#include "slice_guard.h"

// An error number goes into a text as its words (SliceErrorPart), the last
// %s of the format.
enum FinalArgs {
    ARGS_NONE,
    ARGS_ERROR,         // pending error
    ARGS_DESTINATION,   // JobDestination
    ARGS_SOURCE,        // JobSource
    ARGS_SOURCE_ERROR,  // JobSource, pending error
    ARGS_SOURCE_SIZE,   // JobSource, JobPortionSize
    ARGS_SOURCE_LIMIT,  // JobSource, SourceSize, MAX_SET_DATA (as decimal text)
    ARGS_PORTION_ERROR, // portion path, pending error
    ARGS_PATH,          // FailedPath
    ARGS_CLASH          // ClashPath, JobSource (SourceClashMessage)
};

// The one final message of each failure, shown when the job ends.
struct FinalMessage {
    int Code;
    int Args;
    const char *Format;
};

static const FinalMessage FinalMessages[] = {
    {SLICE_LIST_TAKEN, ARGS_PATH,
     "%s is the checksum list of another slice set and is never replaced, so this set's list "
     "cannot take its name. Choose another destination folder.\n"},
    {SLICE_SOURCE_IN_SET, ARGS_CLASH, "The source would be written over\n"},
    {SLICE_UNSAFE_NAME, ARGS_SOURCE,
     "The file name of %s cannot be carried by a slice set: the joiner would refuse to "
     "rebuild a file of that name.\n"},
    {SLICE_NOT_CREATED, ARGS_PORTION_ERROR, "Error opening %s%s\n"},
    {SLICE_NO_TERMINAL, ARGS_DESTINATION,
     "%s is not ready, and there is no terminal to ask whether to try again.\n"},
    {SLICE_NO_THREAD, ARGS_ERROR, "Error starting the slice job%s\n"},
    {SLICE_TOO_MANY_DISKS, ARGS_SOURCE,
     "%s needs more than 100 disks, and a slice set holds at most 100 portions. "
     "The disks written do not make a complete set.\n"},
    {SLICE_CLOSE_FAILED, ARGS_PORTION_ERROR, "Error closing %s%s\n"},
    {SLICE_WRITE_FAILED, ARGS_PORTION_ERROR, "Error writing %s%s\n"},
    {SLICE_READ_FAILED, ARGS_SOURCE_ERROR, "Error reading %s%s\n"},
    {SLICE_TOO_MANY_PORTIONS, ARGS_SOURCE_SIZE,
     "Slicing %s into portions of %lu bytes would take more than 100 portions, "
     "and a slice set holds at most 100.\n"},
    {SLICE_UNNUMBERABLE_NAME, ARGS_SOURCE,
     "The file name of %s cannot be numbered: its last two characters become the "
     "portion number, so it needs 2 to 255 characters.\n"},
    {SLICE_SOURCE_TOO_LARGE, ARGS_SOURCE_LIMIT,
     "%s has %s bytes, more than a slice set can carry. The largest file that can be "
     "sliced has %s bytes: 100 portions of just under 4 GiB.\n"},
    {SLICE_NO_BUFFER, ARGS_NONE, "Error allocating transfer buffer\n"},
    {SLICE_NOT_REMOVABLE, ARGS_DESTINATION, "Destination: %s is not removable\n"},
    {SLICE_NO_PATH_BUFFER, ARGS_NONE, "Error allocating destination name buffer\n"},
    {SLICE_NO_SIZE, ARGS_SOURCE_ERROR, "Error getting size of %s%s\n"},
    {SLICE_NO_TIMES, ARGS_SOURCE_ERROR, "Error getting date/time(s) for %s%s\n"},
    {SLICE_NO_SOURCE, ARGS_SOURCE_ERROR, "Error opening %s%s\n"},
    {SLICE_NO_ATTRIBUTES, ARGS_SOURCE_ERROR, "Error getting attributes for %s%s\n"},
};

void SliceErrorPart(const SliceUser *user, long error, char *part)
{
    if (user && user->ErrorPart)
        user->ErrorPart(user->Context, error, part, SLICE_ERROR_PART_SIZE);
    else
        snprintf(part, SLICE_ERROR_PART_SIZE, " = %ld", error);
}

int SliceInterruption(const SliceUser *user)
{
    return user && user->Interrupted ? user->Interrupted(user->Context) : 0;
}

void SliceSayResult(const SliceUser *user, const char *text)
{
    if (user->Result)
        user->Result(user->Context, text);
    else
        user->Notice(user->Context, text);
}

void SliceShowFinalMessage(const SliceJobState *w, int result)
{
    const FinalMessage *message = NULL;
    char *text = NULL;
    char size[DECIMAL_TEXT_SIZE], limit[DECIMAL_TEXT_SIZE], error[SLICE_ERROR_PART_SIZE];
    size_t i;

    if (w->PendingError == 0)
        return;
    for (i = 0; i < sizeof FinalMessages / sizeof FinalMessages[0]; i++)
        if (FinalMessages[i].Code == result)
            message = &FinalMessages[i];
    if (!message)
        return;
    SliceErrorPart(w->User, w->PendingError, error);
    switch (message->Args) {
    case ARGS_NONE:
        text = FormatText("%s", message->Format);
        break;
    case ARGS_ERROR:
        text = FormatText(message->Format, error);
        break;
    case ARGS_DESTINATION:
        text = FormatText(message->Format, w->JobDestination);
        break;
    case ARGS_SOURCE:
        text = FormatText(message->Format, w->JobSource);
        break;
    case ARGS_SOURCE_ERROR:
        text = FormatText(message->Format, w->JobSource, error);
        break;
    case ARGS_SOURCE_SIZE:
        text = FormatText(message->Format, w->JobSource, (unsigned long)w->JobPortionSize);
        break;
    case ARGS_SOURCE_LIMIT:
        text = FormatText(message->Format, w->JobSource, DecimalText(w->SourceSize, size),
                          DecimalText(MAX_SET_DATA, limit));
        break;
    case ARGS_PORTION_ERROR:
        text = FormatText(message->Format, w->FailedPath ? w->FailedPath : w->PortionPath,
                          error);
        break;
    case ARGS_PATH:
        text = FormatText(message->Format, w->FailedPath ? w->FailedPath : "");
        break;
    case ARGS_CLASH:
        text = SourceClashMessage(w->Clash, w->ClashPath ? w->ClashPath : "", w->JobSource);
        break;
    }
    // Without memory for the text the bare format still says what failed.
    w->User->Final(w->User->Context, result, text ? text : message->Format);
    free(text);
}

// The path of portion number of w's set (heap, free()), or NULL.
static char *PortionPathOf(const SliceJobState *w, unsigned number)
{
    char *path = strdup(w->PortionPath);

    if (path)
        SetPortionNumber(path, number);
    return path;
}

void SliceShowInterruption(const SliceJobState *w, int code, int removed)
{
    char *first = NULL, *last = NULL, *gone = NULL, *standing = NULL, *text = NULL;

    if (w->PortionPath) {
        first = PortionPathOf(w, 0);
        last = PortionPathOf(w, w->Complete ? w->Complete - 1 : 0);
    }
    if (first && last) {
        gone = removed ? FormatText("%s was not finished and is removed; ", w->PortionPath)
                       : strdup("");
        if (w->Complete == 0)
            standing = strdup("no portion of the set was completed");
        else if (w->Complete == 1)
            standing = FormatText("%s stands, but the set is not complete", first);
        else
            standing = FormatText("%s to %s stand, but the set is not complete", first, last);
    }
    if (gone && standing)
        text = FormatText("Interrupted: %s%s.\n", gone, standing);
    w->User->Final(w->User->Context, code,
                   text ? text : w->PortionPath ? "Interrupted\n"
                                                : "Interrupted: nothing was written.\n");
    free(text);
    free(standing);
    free(gone);
    free(last);
    free(first);
}

void ReportSliceFailure(const SliceUser *user, int code, long error, const char *source,
                        const char *destination, int mode, uint32_t portionSize)
{
    SliceJobState w;

    SliceStartState(&w, source ? source : "", destination ? destination : "", mode, portionSize,
                    user);
    w.PendingError = error;
    SliceShowFinalMessage(&w, code);
}
