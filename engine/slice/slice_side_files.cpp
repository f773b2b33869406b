// The files a slice job writes beside its portions (slice_side_files.h).
// Parts: the joiner program; the checksum list.
#include "slice_side_files.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "integrity/checklist.h"
#include "integrity/crc32.h"
#include "dorvane_version.h"
#include "format/heap_text.h"
#include "format/temp_name.h"
#include "slice_job.h"
#include "os/files.h"
#include "os/process.h"

// ---- The joiner program -------------------------------------------------------

long WriteJoinerFile(const char *folder, int *replaceFailed)
{
    const void *data;
    uint32_t size, written = 0;
    char *path;
    OsFile file = 0;
    long error = OsJoinerProgram(&data, &size);

    if (replaceFailed)
        *replaceFailed = 0;
    if (error || size == 0)
        return error;
    path = JoinPath(folder, JOINER_FILE_NAME);
    if (!path)
        return OS_NO_MEMORY;

    // The joiner is the program's own file, not the user's: an older copy
    // is replaced without a question. When it cannot be deleted, that is the
    // error worth telling, not the collision that follows.
    error = OsCreateNew(path, &file);
    if (error == OS_FILE_EXISTS) {
        error = OsDelete(path);
        if (error) {
            if (replaceFailed)
                *replaceFailed = 1;
        } else {
            error = OsCreateNew(path, &file);
        }
    }
    if (!error) {
        error = OsWrite(file, data, size, &written);
        if (!error && written != size)
            error = OS_DISK_FULL; // a short write without an error: no room left
        long closed = OsClose(file);
        if (!error)
            error = closed;
        // A joiner cut short would crash when run: better none at all.
        if (error)
            OsDelete(path);
    }
    free(path);
    return error;
}

// ---- The checksum list ----------------------------------------------------------

static ChecklistSet SetOf(const SliceList *list, const char *fileName, uint64_t fileSize,
                          unsigned portions)
{
    ChecklistSet set = {DORVANE_VERSION_TEXT, fileName, fileSize, list->FileCrc, portions,
                        list->PortionCrcs};
    return set;
}

long SliceListStart(SliceList *list, const char *destination, const char *fileName)
{
    char name[FILE_NAME_FIELD];
    size_t length = strlen(destination);
    ChecklistSet set;

    memset(list, 0, sizeof *list);
    set = SetOf(list, fileName, 0, 1);
    if (ChecklistName(fileName, name) != 0 || ChecklistSize(&set) == 0)
        return 0;
    list->Path = JoinPath(destination, name);
    if (!list->Path)
        return OS_NO_MEMORY;
    list->FolderLength = length;
    return 0;
}

uint32_t SliceListSize(const SliceList *list, const char *fileName, uint64_t fileSize,
                       unsigned portions)
{
    ChecklistSet set = SetOf(list, fileName, fileSize, portions);

    return list->Path ? (uint32_t)ChecklistSize(&set) : 0;
}

void SliceListAdd(SliceList *list, unsigned number, const unsigned char *header,
                  uint32_t dataCrc, uint32_t dataLength)
{
    uint32_t headerCrc = Crc32Update(0, header, PORTION_HEADER_SIZE);

    if (number >= MAX_PORTIONS)
        return;
    list->PortionCrcs[number] = Crc32Combine(headerCrc, dataCrc, dataLength);
    list->FileCrc = Crc32Combine(list->FileCrc, dataCrc, dataLength);
}

long SliceListWrite(const SliceList *list, const char *fileName, uint64_t fileSize,
                    unsigned portions, int *stage)
{
    ChecklistSet set = SetOf(list, fileName, fileSize, portions);
    size_t size = ChecklistSize(&set);
    char *text = (char *)malloc(size ? size : 1);
    char *temporary = NULL;
    uint32_t written = 0;
    OsFile file = 0;
    long error = 0, closed;

    *stage = LIST_WRITE_FAILED;
    if (!text)
        error = OS_NO_MEMORY;
    else if (size == 0 || ChecklistWrite(&set, text, size) != size)
        error = 1; // cannot happen for a set the job wrote: SliceListStart checked it
    // Beside the list, under the slicer's temporary name (format/temp_name.h).
    if (!error)
        error = CreateTemporaryFile(list->Path, list->FolderLength, 0, TEMP_TAG_SLICER,
                                    &temporary, &file);
    if (error) {
        free(text);
        free(temporary);
        return error;
    }
    error = OsWrite(file, text, (uint32_t)size, &written);
    if (!error && written != size)
        error = OS_DISK_FULL; // a short write without an error: no room left
    if (!error) {
        *stage = LIST_CLOSE_FAILED;
        error = OsFlush(file);
    }
    closed = OsClose(file);
    if (!error && closed) {
        *stage = LIST_CLOSE_FAILED;
        error = closed;
    }
    if (!error) {
        *stage = LIST_WRITE_FAILED;
        error = OsRenameOver(temporary, list->Path);
    }
    if (error)
        OsDelete(temporary);
    free(text);
    free(temporary);
    return error;
}

void SliceListFree(SliceList *list)
{
    free(list->Path);
    list->Path = NULL;
}
