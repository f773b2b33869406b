// The Slice command: the refusals of a folder job before it starts, the
// job itself with the buttons held while it runs (and its recovery data when
// chosen), and the box that reports how it ended.
#include "commands.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "folder_lines.h"
#include "format/slice_format.h"
#include "planner_texts.h"
#include "recovery/write/recovery_job.h"
#include "slice_worker.h"

// The ways a job ends, as the Slice command reports them.
struct ResultBox {
    int Outcome;        // 0 complete, 1 cancelled, 2 errors, 3 complete without recovery data
    const char *Format; // source, destination
    const char *Title;
    UINT Icon;
};

enum { OUTCOME_COMPLETE, OUTCOME_CANCELLED, OUTCOME_ERRORS, OUTCOME_NO_RECOVERY };

static const ResultBox ResultBoxes[] = {
    {OUTCOME_COMPLETE, "Slice %s to %s is complete", "Dorvane - Slice Complete", 0},
    {OUTCOME_CANCELLED, "Slice %s to %s was cancelled", "Dorvane - Slice Cancelled", 0},
    {OUTCOME_ERRORS, "Errors were encountered while Slicing %s to %s", "Dorvane - Slice Error",
     MB_ICONERROR},
    {OUTCOME_NO_RECOVERY, "Slice %s to %s is complete, but its recovery data could not be written",
     "Dorvane - Slice Complete", MB_ICONWARNING},
};

static const char SliceErrorTitle[] = "Dorvane - Slice Error";

// The reasons Slice may refuse a folder job before it starts; each is shown
// in a box and starts nothing. Returns 1 when the job may start.
static int FolderJobAllowed(const char *source, const char *destination, uint32_t *portionSize)
{
    const char *name = SourceFileName(source);
    size_t needed = Utf8Units(destination, strlen(destination)) + Utf8Units(name, strlen(name));
    char text[128 + 2 * PATH_TEXT_SIZE];
    char *clash = NULL;
    int refused;

    // Without this the limit would be checked only when the size fields
    // lose the focus, and a job could meet its 101st portion.
    if (ControlChecked(ID_SIZE_RADIO) && !Window.NoSourceFile)
        CheckPortionLimit();
    *portionSize = ControlChecked(ID_SIZE_RADIO) ? Window.PortionSize : Window.EqualPortionSize;
    // EqualPortionSize is then held below 4 GiB, and the job would make
    // more portions than the count asks for; the note says how many fit.
    if (ControlChecked(ID_COUNT_RADIO) && Window.CountTooSmall) {
        snprintf(text, sizeof text,
                 "Portions must be smaller than 4 GiB: slice this file into at least %llu "
                 "portions.",
                 (unsigned long long)SmallestEqualPortionCount(SourceSize()));
        ShowBox(text, SliceErrorTitle, MB_OK | MB_ICONERROR);
        return 0;
    }
    if (!FolderPortionSizeAcceptable(*portionSize)) {
        ShowBox(SizeTooSmallNote, SliceErrorTitle, MB_OK | MB_ICONERROR);
        return 0;
    }
    if (needed > PATH_CHARACTERS) {
        snprintf(text, sizeof text,
                 "The destination %s cannot hold the portions of %s: their paths would be "
                 "longer than 260 characters.",
                 destination, SourceFileName(source));
        ShowBox(text, SliceErrorTitle, MB_OK | MB_ICONERROR);
        return 0;
    }
    // A portion or the joiner that would be the source itself, however
    // the two paths are spelled: the job's own refusal, before it starts.
    // So is a shortage of memory that leaves it unknown.
    if (Window.NoSourceFile)
        return 1;
    refused = CheckSliceSource(source, destination, *portionSize, SourceSize(), &clash);
    if (refused == SLICE_NO_PATH_BUFFER)
        ReportRefusedJob(refused, source, destination, *portionSize);
    else if (refused)
        ShowBox(clash ? clash : "The set would be written over its source: choose another "
                                "destination folder.",
                SliceErrorTitle, MB_OK | MB_ICONERROR);
    free(clash);
    return !refused;
}

static const ResultBox *ResultBoxFor(uint32_t result)
{
    switch (result) {
    case SLICE_COMPLETE:
        return &ResultBoxes[OUTCOME_COMPLETE];
    case SLICE_CANCELLED:
        return &ResultBoxes[OUTCOME_CANCELLED];
    case SLICE_RECOVERY_FAILED:
        return &ResultBoxes[OUTCOME_NO_RECOVERY];
    }
    return &ResultBoxes[OUTCOME_ERRORS];
}

// The box gives the focus to after when it closes. After the line that
// says how the job ended come the recovery step's own lines, which say what
// recovery data was written.
static void ReportResult(uint32_t result, const char *source, const char *destination, HWND after)
{
    const ResultBox *box = ResultBoxFor(result);
    const char *report = JobRecoveryReport();
    size_t size = strlen(box->Format) + strlen(source) + strlen(destination) + strlen(report) + 3;
    char *text = (char *)malloc(size);
    int length;

    // The text holds both paths whole, however long they are.
    if (text) {
        length = snprintf(text, size, box->Format, source, destination);
        if (report[0] && length > 0)
            snprintf(text + length, size - (size_t)length, "\n\n%s", report);
    }
    ShowBoxFocusing(text ? text : box->Title, box->Title, MB_OK | box->Icon, after);
    free(text);
}

void Slice(void)
{
    char source[PATH_TEXT_SIZE];
    char destination[PATH_TEXT_SIZE + 1];
    uint32_t portionSize = 0, result;
    HWND focusAfter;
    LRESULT drive;
    size_t length;

    if (Window.JobRunning)
        return;
    if (!Window.NoSourceFile && SourceTooLargeToSlice(SourceSize())) {
        ShowBox(SourceTooLargeMessage, SliceErrorTitle, MB_OK | MB_ICONERROR);
        return;
    }
    ReadControlPath(ID_SOURCE_PATH_EDIT, source);
    if (ControlChecked(ID_REMOVABLE_RADIO)) {
        destination[0] = '\0';
        drive = SendMessageA(Control(ID_DRIVE_COMBO), CB_GETCURSEL, 0, 0);
        if (drive != CB_ERR && SendMessageA(Control(ID_DRIVE_COMBO), CB_GETLBTEXTLEN, drive, 0) < 4)
            SendMessageA(Control(ID_DRIVE_COMBO), CB_GETLBTEXT, drive, (LPARAM)destination);
    } else {
        ReadControlPath(ID_DESTINATION_EDIT, destination);
        length = strlen(destination);
        if (!length || destination[length - 1] != '\\')
            strcpy(destination + length, "\\");
        if (!FolderJobAllowed(source, destination, &portionSize))
            return;
    }
    EnableControl(ID_SLICE_BUTTON, 0);
    EnableControl(ID_EXIT_BUTTON, 0);
    Window.JobRunning = 1;
    result = RunSliceJob(source, destination, portionSize, ChosenRecoveryBlocks());
    Window.JobRunning = 0;
    SetWindowTextA(MainWindow, "Dorvane");
    // After a folder job Slice waits for the destination to be checked
    // again; the Tab order passes over it meanwhile, or the focus would
    // stop at a button that cannot take it. The destination gets the focus
    // when the result box closes, not before: the box would take it away
    // again, and its check on losing the focus would enable Slice at once.
    if (ControlChecked(ID_SIZE_RADIO) || ControlChecked(ID_COUNT_RADIO)) {
        focusAfter = Control(ID_DESTINATION_EDIT);
        Window.SliceDisabled = 1;
    } else {
        // Slice had the focus and lost it when it was disabled: without
        // this no control would have it after a drive job, and Tab, which
        // only the controls answer, would do nothing.
        EnableControl(ID_SLICE_BUTTON, 1);
        focusAfter = Control(ID_SLICE_BUTTON);
    }
    EnableControl(ID_EXIT_BUTTON, 1);
    ReportResult(result, source, destination, focusAfter);
}
