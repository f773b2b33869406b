// The final message of a failed slice job: one table row per result code,
// with the arguments its text takes.
#include "slice_state.h"

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>

#include "format/heap_text.h"
#include "slice_guard.h"

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
    {SLICE_NO_THREAD, ARGS_ERROR, "Error starting the slice job = %ld\n"},
    {SLICE_TOO_MANY_DISKS, ARGS_SOURCE,
     "%s needs more than 100 disks, and a slice set holds at most 100 portions. "
     "The disks written do not make a complete set.\n"},
    {SLICE_CLOSE_FAILED, ARGS_PORTION_ERROR, "Error closing %s = %ld\n"},
    {SLICE_WRITE_FAILED, ARGS_PORTION_ERROR, "Error writing %s = %ld\n"},
    {SLICE_READ_FAILED, ARGS_SOURCE_ERROR, "Error reading %s = %ld\n"},
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
    {SLICE_NO_SIZE, ARGS_SOURCE_ERROR, "Error getting size of %s = %ld\n"},
    {SLICE_NO_TIMES, ARGS_SOURCE_ERROR, "Error getting date/time(s) for %s = %ld\n"},
    {SLICE_NO_SOURCE, ARGS_SOURCE_ERROR, "Error opening %s = %ld\n"},
    {SLICE_NO_ATTRIBUTES, ARGS_SOURCE_ERROR, "Error getting attributes for %s = %ld\n"},
};

void SliceShowFinalMessage(const SliceJobState *w, int result)
{
    const FinalMessage *message = NULL;
    char *text = NULL;
    char size[DECIMAL_TEXT_SIZE], limit[DECIMAL_TEXT_SIZE];
    size_t i;

    if (w->PendingError == 0)
        return;
    for (i = 0; i < sizeof FinalMessages / sizeof FinalMessages[0]; i++)
        if (FinalMessages[i].Code == result)
            message = &FinalMessages[i];
    if (!message)
        return;
    switch (message->Args) {
    case ARGS_NONE:
        text = FormatText("%s", message->Format);
        break;
    case ARGS_ERROR:
        text = FormatText(message->Format, w->PendingError);
        break;
    case ARGS_DESTINATION:
        text = FormatText(message->Format, w->JobDestination);
        break;
    case ARGS_SOURCE:
        text = FormatText(message->Format, w->JobSource);
        break;
    case ARGS_SOURCE_ERROR:
        text = FormatText(message->Format, w->JobSource, w->PendingError);
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
                          w->PendingError);
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

void ReportSliceFailure(const SliceUser *user, int code, long error, const char *source,
                        const char *destination, int mode, uint32_t portionSize)
{
    SliceJobState w;

    SliceStartState(&w, source ? source : "", destination ? destination : "", mode, portionSize,
                    user);
    w.PendingError = error;
    SliceShowFinalMessage(&w, code);
}
