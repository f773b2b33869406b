// The slice job's guards (slice_guard.h). Parts: the set's name; the source
// against the job's files; stale portions; side files.
#include "slice_guard.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "format/heap_text.h"
#include "format/portion_file.h"
#include "integrity/checklist.h"
#include "recovery/par2_describe.h"
#include "slice_job.h"
#include "os/files.h"

// ---- The set's name ---------------------------------------------------------

char *SliceSourceName(const char *source)
{
    char *longPath = NULL;
    const char *name;
    char *copy;

    // A path that cannot be asked keeps its name as given: the job's own
    // steps then say what is wrong with the source.
    if (OsLongPath(source, &longPath) != 0)
        longPath = NULL;
    name = longPath ? longPath : source;
#ifdef _WIN32
    name = SourceFileName(name);
#else
    if (strrchr(name, '/'))
        name = strrchr(name, '/') + 1;
#endif
    copy = strdup(name);
    free(longPath);
    return copy;
}

// ---- The source against the job's files -------------------------------------

int SliceIsSource(const char *source, const char *path)
{
    int same = 0;

    return OsSameFile(source, path, &same) == 0 && same;
}

int FindSourceClash(const char *source, char *portionPath, unsigned first, unsigned count,
                    const char *folder, int withJoiner, const char *listPath,
                    char **joinerPath)
{
    char *joiner;
    unsigned number;

    for (number = first; number < first + count && number < MAX_PORTIONS; number++) {
        SetPortionNumber(portionPath, number);
        if (SliceIsSource(source, portionPath))
            return CLASH_PORTION;
    }
    if (listPath && SliceIsSource(source, listPath))
        return CLASH_LIST;
    if (!withJoiner)
        return CLASH_NONE;
    joiner = JoinPath(folder, JOINER_FILE_NAME);
    if (!joiner)
        return CLASH_NO_MEMORY;
    if (SliceIsSource(source, joiner)) {
        if (joinerPath)
            *joinerPath = joiner;
        else
            free(joiner);
        return CLASH_JOINER;
    }
    free(joiner);
    return CLASH_NONE;
}

char *SourceClashMessage(int clash, const char *clashPath, const char *source)
{
    static const char Format[] =
        "%s %s is the source %s itself: the set would be written over it. Nothing was "
        "deleted or written; choose another destination folder.\n";
    const char *what = clash == CLASH_JOINER ? "The joiner program"
                       : clash == CLASH_LIST ? "The checksum list"
                                             : "The portion";
    size_t size = sizeof Format + strlen(what) + strlen(clashPath) + strlen(source);
    char *text = (char *)malloc(size);

    if (text)
        snprintf(text, size, Format, what, clashPath, source);
    return text;
}

// ---- Stale portions -----------------------------------------------------------

int IsPortionOf(const char *path, const char *fileName)
{
    unsigned char raw[PORTION_HEADER_SIZE];
    PortionHeader header;
    uint64_t size;

    if (ReadPortionHeader(path, raw, &size) != 0)
        return 0;
    DecodePortionHeader(raw, &header);
    return header.LastPortion <= 1 && CheckStoredFileName(header.FileName) == NAME_OK &&
           strcmp(header.FileName, fileName) == 0;
}

void DeleteStalePortions(const char *source, const char *portionPath, unsigned number,
                         const char *fileName)
{
    size_t length = strlen(portionPath);
    char *path = (char *)malloc(length + 1);

    if (!path)
        return;
    memcpy(path, portionPath, length + 1);
    for (number++; number < MAX_PORTIONS; number++) {
        SetPortionNumber(path, number);
        if (IsPortionOf(path, fileName) && !SliceIsSource(source, path))
            OsDelete(path);
    }
    free(path);
}

// ---- Side files -----------------------------------------------------------------

// The file names a recovery file describes, against one set's portions.
struct Described {
    const char *FileName; // the sliced file's name
    unsigned Own, Other;  // descriptions of its portions, and of other files
};

static char UpperAscii(char c)
{
    return c >= 'a' && c <= 'z' ? (char)(c - 'a' + 'A') : c;
}

// Counts name as one of the set's portions when it is one's name: the same
// length as fileName, the same but for the last two characters, which are
// digits (letter case aside, as Windows compares names).
static void CountDescribed(void *context, const char *name)
{
    Described *d = (Described *)context;
    size_t length = strlen(d->FileName), i;
    int own = strlen(name) == length && PortionNumberOf(name) >= 0;

    for (i = 0; own && i + 2 < length; i++)
        own = UpperAscii(name[i]) == UpperAscii(d->FileName[i]);
    if (own)
        d->Own++;
    else
        d->Other++;
}

int SideFileOwner(const char *path, const char *fileName, int isList)
{
    Described described = {fileName, 0, 0};
    ChecklistInfo info;
    char *text = NULL;
    uint64_t size = 0;
    uint32_t got = 0;
    OsFile file = 0;
    long error;
    int owner = SIDE_UNKNOWN;

    if (OsQueryPath(path, NULL) != 0)
        return SIDE_NONE;
    if (OsOpenRead(path, &file) != 0)
        return SIDE_UNKNOWN;
    error = OsFileSize(file, &size);
    if (!error && isList && size <= CHECKLIST_MAX_SIZE) {
        text = (char *)malloc(size ? (size_t)size : 1);
        if (text && OsRead(file, text, (uint32_t)size, &got) == 0 && got == size &&
            ChecklistLastLine(text, got, &info))
            owner = strcmp(info.FileName, fileName) == 0 ? SIDE_THIS : SIDE_OTHER;
        free(text);
    } else if (!error && !isList) {
        Par2DescribedFiles(file, size, CountDescribed, &described);
        if (described.Other)
            owner = SIDE_OTHER;
        else if (described.Own)
            owner = SIDE_THIS;
    }
    OsClose(file);
    return owner;
}
