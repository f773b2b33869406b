// What an earlier set left in a folder job's way (slice_state.h): its
// portions, which the job replaces, and the files beside them that would
// otherwise mislead, stale portions of the same file and the lists and
// recovery files that belong to it (by what they say, never by their names
// alone), which the job removes. One question names them all before
// anything is written; a list or recovery file of another set is never one
// of them. Parts: the names for the question; finding the files; the step.
#include "slice_state.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "integrity/checklist.h"
#include "os/files.h"
#include "slice_guard.h"

// ---- The names for the question ---------------------------------------------

// The files found: their names as the question shows them, and the paths
// removed once the user agrees.
struct Earlier {
    char *Names;      // heap: "BIG.D00 to BIG.D02, BIG.DAT.sfv", or NULL
    size_t Length;
    char **Removed;   // heap array of heap paths
    unsigned Count;
    int Failed;       // no memory for a name or path
};

// Adds a name to the text, its control bytes shown as \xHH (a name found by
// a search may hold anything).
static void AddName(Earlier *e, const char *name)
{
    size_t room = (e->Names ? e->Length + 2 : 0) + strlen(name) * 4 + 1;
    char *grown = (char *)realloc(e->Names, e->Length + room);

    if (!grown) {
        e->Failed = 1;
        return;
    }
    e->Names = grown;
    if (e->Length) {
        memcpy(e->Names + e->Length, ", ", 2);
        e->Length += 2;
    }
    for (; *name; name++)
        if ((unsigned char)*name < 0x20 || *name == 0x7F)
            e->Length += (size_t)sprintf(e->Names + e->Length, "\\x%02X", (unsigned char)*name);
        else
            e->Names[e->Length++] = *name;
    e->Names[e->Length] = 0;
}

// The path to remove once the user agrees, and its name in the question.
static void AddRemoved(Earlier *e, const char *path)
{
    char **grown = (char **)realloc(e->Removed, (e->Count + 1) * sizeof *grown);
    char *copy = strdup(path);

    if (grown)
        e->Removed = grown;
    if (!grown || !copy) {
        free(copy);
        e->Failed = 1;
        return;
    }
    e->Removed[e->Count++] = copy;
    AddName(e, SourceFileName(path));
}

// ---- Finding the files ----------------------------------------------------------

// The job's own portions already there, a run of numbers as one range.
static void FindPortions(SliceJobState *w, unsigned count, Earlier *e)
{
    char first[FILE_NAME_FIELD];
    int start = -1;

    for (unsigned n = 0; n <= count; n++) {
        SetPortionNumber(w->PortionPath, n < count ? n : 0);
        if (n < count && OsQueryPath(w->PortionPath, NULL) == 0) {
            if (start < 0) {
                start = (int)n;
                snprintf(first, sizeof first, "%s", SourceFileName(w->PortionPath));
            }
            continue;
        }
        if (start < 0)
            continue;
        SetPortionNumber(w->PortionPath, n - 1);
        if (start + 1 < (int)n) {
            char *range = FormatText("%s to %s", first, SourceFileName(w->PortionPath));
            if (range)
                AddName(e, range);
            else
                e->Failed = 1;
            free(range);
        } else {
            AddName(e, first);
        }
        start = -1;
    }
    SetPortionNumber(w->PortionPath, w->PortionNumber);
}

// Portions of an earlier set of the same file numbered past this one's.
static void FindStalePortions(SliceJobState *w, unsigned count, Earlier *e)
{
    for (unsigned n = count; n < MAX_PORTIONS; n++) {
        SetPortionNumber(w->PortionPath, n);
        if (IsPortionOf(w->PortionPath, w->Header.FileName) &&
            !SliceIsSource(w->JobSource, w->PortionPath))
            AddRemoved(e, w->PortionPath);
    }
    SetPortionNumber(w->PortionPath, w->PortionNumber);
}

// The lists of the same file under either rule's name, and the recovery
// files (*.par2) whose descriptions are all of its portions. The list under
// this set's own name that says nothing is in the way too: replaced, not
// removed. Returns 0, or SLICE_LIST_TAKEN when that name is another set's.
static int FindSideFiles(SliceJobState *w, Earlier *e)
{
    char name[FILE_NAME_FIELD], after[FILE_NAME_FIELD] = "", *path, *pattern;
    int owner = w->List.Path ? SideFileOwner(w->List.Path, w->Header.FileName, 1) : SIDE_NONE;

    if (owner == SIDE_OTHER) {
        w->FailedPath = w->List.Path;
        w->PendingError = 1;
        return SLICE_LIST_TAKEN;
    }
    if (owner == SIDE_THIS)
        AddRemoved(e, w->List.Path);
    else if (owner == SIDE_UNKNOWN)
        AddName(e, SourceFileName(w->List.Path));
    if (ChecklistEarlierName(w->Header.FileName, name) == 0 &&
        (path = JoinPath(w->JobDestination, name)) != NULL) {
        if ((!w->List.Path || strcmp(path, w->List.Path) != 0) &&
            SideFileOwner(path, w->Header.FileName, 1) == SIDE_THIS && !SliceIsSource(w->JobSource, path))
            AddRemoved(e, path);
        free(path);
    }
    pattern = JoinPath(w->JobDestination, "*.par2");
    while (pattern && OsFindNext(pattern, after, name, sizeof name) == 0) {
        memcpy(after, name, sizeof after);
        path = JoinPath(w->JobDestination, name);
        if (path && SideFileOwner(path, w->Header.FileName, 0) == SIDE_THIS &&
            !SliceIsSource(w->JobSource, path))
            AddRemoved(e, path);
        free(path);
    }
    free(pattern);
    return 0;
}

// ---- The step -----------------------------------------------------------------

int SliceAgreeToReplaceEarlier(SliceJobState *w, unsigned count)
{
    Earlier e = {NULL, 0, NULL, 0, 0};
    int result;
    long error;

    FindPortions(w, count, &e);
    FindStalePortions(w, count, &e);
    result = FindSideFiles(w, &e);
    if (!result && e.Failed) {
        w->PendingError = 1;
        result = SLICE_NO_PATH_BUFFER;
    }
    if (!result && e.Names && SliceAskOverwrite(w, e.Names) != SLICE_ANSWER_OK) {
        w->PendingError = 0;
        result = SLICE_CANCELLED;
    }
    for (unsigned i = 0; i < e.Count; i++) {
        error = result ? 0 : OsDelete(e.Removed[i]);
        // The set is still written: the file is told of, and stays.
        if (error && error != OS_FILE_NOT_FOUND) {
            char *text = FormatText("%s could not be removed = %ld\n", e.Removed[i], error);
            w->User->Notice(w->User->Context, text ? text : "A file could not be removed\n");
            free(text);
        }
        free(e.Removed[i]);
    }
    free(e.Removed);
    free(e.Names);
    return result;
}
