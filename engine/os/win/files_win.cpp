// The file service on Win32 (files.h). Error numbers are GetLastError values.
// Every path goes to the wide calls, turned from UTF-8 into UTF-16 on the
// heap (utf16_win.h), whatever its length: a path too long is the system's
// to refuse, as it always was. Parts: opening and closing; reading and
// writing; times and attributes; paths, search and identity.
#include "os/files.h"
#include "os/search_order.h"
#include "utf16_win.h"

#include <windows.h>

#include <stdlib.h>
#include <string.h>

static HANDLE AsHandle(OsFile file)
{
    return (HANDLE)file;
}

// The last error, never 0 for a call that said it failed.
static long LastError(void)
{
    long error = (long)GetLastError();

    return error ? error : 1;
}

// ---- Opening and closing ----------------------------------------------------

// Not shared (share mode 0): no other program writes a portion while it is
// read, nor reads the output while it is written.
static long OpenFile(const char *path, DWORD access, DWORD disposition, OsFile *file)
{
    wchar_t *wide = ToUtf16(path, -1, NULL);
    HANDLE handle;
    long error = 0;

    if (!wide)
        return OS_NO_MEMORY;
    handle = CreateFileW(wide, access, 0, NULL, disposition, FILE_ATTRIBUTE_NORMAL, NULL);
    if (handle == INVALID_HANDLE_VALUE)
        error = LastError();
    else
        *file = (OsFile)handle;
    free(wide);
    return error;
}

// Only a file on a disk opens: a device or pipe has no size and holds no
// portion, and a read of one (NUL, a console) may never end.
long OsOpenRead(const char *path, OsFile *file)
{
    long error = OpenFile(path, GENERIC_READ, OPEN_EXISTING, file);

    if (!error && GetFileType(AsHandle(*file)) != FILE_TYPE_DISK) {
        CloseHandle(AsHandle(*file));
        error = ERROR_INVALID_PARAMETER;
    }
    return error;
}

long OsCreateNew(const char *path, OsFile *file)
{
    return OpenFile(path, GENERIC_WRITE, CREATE_NEW, file);
}

long OsWriteWholeFile(const char *path, const void *data, uint32_t count)
{
    OsFile file;
    uint32_t written = 0;
    long error = OpenFile(path, GENERIC_WRITE, CREATE_ALWAYS, &file);
    long closed;

    if (error)
        return error;
    error = OsWrite(file, data, count, &written);
    if (!error && written != count)
        error = OS_DISK_FULL;
    closed = OsClose(file);
    return error ? error : closed;
}

long OsFlush(OsFile file)
{
    return FlushFileBuffers(AsHandle(file)) ? 0 : LastError();
}

// Windows writes its cache back by itself; no call starts it sooner.
long OsStartWriteBack(OsFile)
{
    return 0;
}

long OsClose(OsFile file)
{
    return CloseHandle(AsHandle(file)) ? 0 : LastError();
}

long OsDelete(const char *path)
{
    wchar_t *wide = ToUtf16(path, -1, NULL);
    long error;

    if (!wide)
        return OS_NO_MEMORY;
    error = DeleteFileW(wide) ? 0 : LastError();
    free(wide);
    return error;
}

long OsRenameOver(const char *from, const char *to)
{
    wchar_t *wideFrom = ToUtf16(from, -1, NULL), *wideTo = ToUtf16(to, -1, NULL);
    long error = OS_NO_MEMORY;

    // Write-through: the rename is on the disk when the call returns.
    if (wideFrom && wideTo)
        error = MoveFileExW(wideFrom, wideTo, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
                    ? 0
                    : LastError();
    free(wideFrom);
    free(wideTo);
    return error;
}

// Without replacing: a taken name fails with ERROR_ALREADY_EXISTS, told as
// the file-exists error every caller tests for.
long OsRenameNoReplace(const char *from, const char *to)
{
    wchar_t *wideFrom = ToUtf16(from, -1, NULL), *wideTo = ToUtf16(to, -1, NULL);
    long error = OS_NO_MEMORY;

    if (wideFrom && wideTo)
        error = MoveFileExW(wideFrom, wideTo, MOVEFILE_WRITE_THROUGH) ? 0 : LastError();
    if (error == ERROR_ALREADY_EXISTS)
        error = OS_FILE_EXISTS;
    free(wideFrom);
    free(wideTo);
    return error;
}

// ---- Reading and writing ----------------------------------------------------

long OsRead(OsFile file, void *buffer, uint32_t count, uint32_t *done)
{
    DWORD got = 0;

    if (!ReadFile(AsHandle(file), buffer, count, &got, NULL))
        return LastError();
    *done = got;
    return 0;
}

long OsWrite(OsFile file, const void *buffer, uint32_t count, uint32_t *done)
{
    uint32_t written = 0;
    DWORD put;

    while (written < count) {
        put = 0;
        if (!WriteFile(AsHandle(file), (const char *)buffer + written, count - written, &put,
                       NULL)) {
            *done = written;
            return LastError();
        }
        if (put == 0)
            break;
        written += put;
    }
    *done = written;
    return 0;
}

// SetFilePointer rather than its Ex form, which the oldest systems lack; a
// position whose low word is all ones is a position like any other, so the
// error number alone tells a failure, as for the size below.
long OsSeek(OsFile file, uint64_t offset)
{
    LONG high = (LONG)(offset >> 32);

    SetLastError(NO_ERROR);
    if (SetFilePointer(AsHandle(file), (LONG)(DWORD)offset, &high, FILE_BEGIN) ==
            INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR)
        return (long)GetLastError();
    return 0;
}

long OsFileSize(OsFile file, uint64_t *size)
{
    DWORD low, high = 0;

    // A size whose low word is 0xFFFFFFFF is a size like any other: only
    // the error number tells a failure, so it is cleared first.
    SetLastError(NO_ERROR);
    low = GetFileSize(AsHandle(file), &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR)
        return (long)GetLastError();
    *size = (uint64_t)high << 32 | low;
    return 0;
}

long OsCopyData(OsFile, OsFile, uint32_t, uint32_t *)
{
    return OS_NO_KERNEL_COPY;
}

// ---- Times and attributes ---------------------------------------------------

long OsGetTimes(OsFile file, FileTime *creation, FileTime *lastAccess, FileTime *lastWrite)
{
    FILETIME times[3];
    FileTime *out[3] = {creation, lastAccess, lastWrite};
    int i;

    if (!GetFileTime(AsHandle(file), &times[0], &times[1], &times[2]))
        return LastError();
    for (i = 0; i < 3; i++) {
        out[i]->LowDateTime = times[i].dwLowDateTime;
        out[i]->HighDateTime = times[i].dwHighDateTime;
    }
    return 0;
}

static FILETIME ToFiletime(const FileTime *t)
{
    FILETIME f;

    f.dwLowDateTime = t->LowDateTime;
    f.dwHighDateTime = t->HighDateTime;
    return f;
}

long OsSetTimes(OsFile file, const FileTime *creation, const FileTime *lastAccess,
                const FileTime *lastWrite)
{
    FILETIME c = ToFiletime(creation), a = ToFiletime(lastAccess), w = ToFiletime(lastWrite);

    return SetFileTime(AsHandle(file), &c, &a, &w) ? 0 : LastError();
}

long OsGetAttributes(const char *path, uint32_t *attributes)
{
    wchar_t *wide = ToUtf16(path, -1, NULL);
    DWORD found;
    long error = 0;

    if (!wide)
        return OS_NO_MEMORY;
    found = GetFileAttributesW(wide);
    if (found == INVALID_FILE_ATTRIBUTES)
        error = LastError();
    else
        *attributes = found;
    free(wide);
    return error;
}

long OsSetAttributes(const char *path, uint32_t attributes)
{
    wchar_t *wide = ToUtf16(path, -1, NULL);
    long error;

    if (!wide)
        return OS_NO_MEMORY;
    error = SetFileAttributesW(wide, attributes) ? 0 : LastError();
    free(wide);
    return error;
}

// ---- Paths, search and identity ---------------------------------------------

long OsQueryPath(const char *path, int *isFolder)
{
    uint32_t attributes;
    long error = OsGetAttributes(path, &attributes);

    if (!error && isFolder)
        *isFolder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    return error;
}

long OsFindFirst(const char *pattern, char *name, size_t size)
{
    return OsFindNext(pattern, "", name, size);
}

// The listing's order differs between file systems (a FAT disk lists in
// directory order): the least name after `after` is looked for in all of it,
// names compared in UTF-8, whose byte order is the characters' order.
long OsFindNext(const char *pattern, const char *after, char *name, size_t size)
{
    // A name of MAX_PATH - 1 units takes at most 3 bytes a unit in UTF-8.
    enum { NAME_BYTES = MAX_PATH * 3 };
    WIN32_FIND_DATAW found;
    wchar_t *wide = ToUtf16(pattern, -1, NULL);
    HANDLE search;
    char each[NAME_BYTES], best[NAME_BYTES];
    size_t length;
    long error;

    if (!wide)
        return OS_NO_MEMORY;
    search = FindFirstFileW(wide, &found);
    error = search == INVALID_HANDLE_VALUE ? LastError() : 0;
    free(wide);
    if (error)
        return error;
    best[0] = 0;
    do
        if (FromUtf16(found.cFileName, each, sizeof each) &&
            OsComesNext(each, after, best[0] ? best : NULL))
            strcpy(best, each);
    while (FindNextFileW(search, &found));
    FindClose(search);
    if (!best[0])
        return OS_FILE_NOT_FOUND;
    length = strlen(best);
    if (length >= size)
        return OS_BUFFER_TOO_SMALL;
    memcpy(name, best, length + 1);
    return 0;
}

// What a file is: its volume and its index on that volume. Asked through a
// handle that reads no data and shares everything, so that a file another
// program holds open (the source being sliced) can still be asked.
static long FileIdentity(const char *path, BY_HANDLE_FILE_INFORMATION *info)
{
    wchar_t *wide = ToUtf16(path, -1, NULL);
    HANDLE handle;
    long error = 0;

    if (!wide)
        return OS_NO_MEMORY;
    handle = CreateFileW(wide, FILE_READ_ATTRIBUTES,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL);
    if (handle == INVALID_HANDLE_VALUE) {
        error = LastError();
    } else {
        if (!GetFileInformationByHandle(handle, info))
            error = LastError();
        CloseHandle(handle);
    }
    free(wide);
    return error;
}

long OsFileIdentity(const char *path, OsFileId *id)
{
    BY_HANDLE_FILE_INFORMATION info;
    long error = FileIdentity(path, &info);

    if (error)
        return error;
    id->Volume = info.dwVolumeSerialNumber;
    id->Index = (uint64_t)info.nFileIndexHigh << 32 | info.nFileIndexLow;
    return 0;
}

long OsSameFile(const char *a, const char *b, int *same)
{
    OsFileId first, second;
    long error = OsFileIdentity(a, &first);

    *same = 0;
    if (!error)
        error = OsFileIdentity(b, &second);
    if (error)
        return error;
    *same = first.Volume == second.Volume && first.Index == second.Index;
    return 0;
}

long OsLongPath(const char *path, char **longPath)
{
    wchar_t *wide = ToUtf16(path, -1, NULL), *text = NULL, *grown;
    DWORD size = MAX_PATH, length;
    long error = 0;

    *longPath = NULL;
    if (!wide)
        return OS_NO_MEMORY;
    // The length asked for can grow between two calls: ask until it fits.
    for (;;) {
        grown = (wchar_t *)realloc(text, size * sizeof *text);
        if (!grown) {
            error = OS_NO_MEMORY;
            break;
        }
        text = grown;
        length = GetLongPathNameW(wide, text, size);
        if (length == 0) {
            error = LastError();
            break;
        }
        if (length < size) {
            // In UTF-8 at most 3 bytes for each unit.
            *longPath = (char *)malloc((size_t)length * 3 + 1);
            if (!*longPath)
                error = OS_NO_MEMORY;
            else
                FromUtf16(text, *longPath, (size_t)length * 3 + 1);
            break;
        }
        size = length + 1;
    }
    free(text);
    free(wide);
    return error;
}
