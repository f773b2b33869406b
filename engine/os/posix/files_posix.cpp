// The file service on Linux and other POSIX systems (files.h). Error numbers
// are errno values. A file is its descriptor plus one, so that descriptor 0
// (standard input closed by the caller) is still told apart from "not open".
// Parts: opening and closing; reading and writing; times and attributes;
// paths, search and identity.
#include "os/files.h"
#include "os/search_order.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

enum {
    READONLY_ATTRIBUTE = 0x01, // Windows' read-only bit
    ARCHIVE_ATTRIBUTE = 0x20   // Windows' archive bit: set on every file written
};

static const uint64_t UNIX_EPOCH_TICKS = 116444736000000000ULL; // 1970-01-01 as a FILETIME
static const uint64_t TICKS_PER_SECOND = 10000000ULL;          // FILETIME counts 100 ns

// errno, or 1 when a call failed without setting it.
static long Errno(void)
{
    return errno ? errno : 1;
}

static int Fd(OsFile file)
{
    return (int)(file - 1);
}

// ---- Opening and closing ----------------------------------------------------

long OsOpenRead(const char *path, OsFile *file)
{
    // Without O_NONBLOCK a FIFO would hang the open.
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat info;
    long error = 0;

    if (fd < 0)
        return Errno();
    if (fstat(fd, &info) != 0)
        error = Errno();
    else if (S_ISDIR(info.st_mode))
        error = EISDIR;
    else if (!S_ISREG(info.st_mode))
        error = EINVAL; // a device or FIFO has no size and holds no portion
    else if (fcntl(fd, F_SETFL, 0) != 0)
        error = Errno();
    if (error) {
        close(fd);
        return error;
    }
    *file = (OsFile)fd + 1;
    return 0;
}

long OsCreateNew(const char *path, OsFile *file)
{
    // O_EXCL also refuses a symbolic link in the name's place, so what is
    // written never lands where such a link points.
    int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);

    if (fd < 0)
        return Errno();
    *file = (OsFile)fd + 1;
    return 0;
}

long OsWriteWholeFile(const char *path, const void *data, uint32_t count)
{
    int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    uint32_t written = 0;
    long error, closed;

    if (fd < 0)
        return Errno();
    error = OsWrite((OsFile)fd + 1, data, count, &written);
    if (!error && written != count)
        error = OS_DISK_FULL;
    closed = OsClose((OsFile)fd + 1);
    return error ? error : closed;
}

long OsFlush(OsFile file)
{
    return fsync(Fd(file)) == 0 ? 0 : Errno();
}

long OsStartWriteBack(OsFile file)
{
#ifdef SYNC_FILE_RANGE_WRITE
    // A file system without it (some network ones) is no failure: the flush
    // at the end still makes the data durable.
    if (sync_file_range(Fd(file), 0, 0, SYNC_FILE_RANGE_WRITE) != 0 && errno != EINVAL &&
        errno != ENOSYS && errno != ESPIPE)
        return Errno();
#else
    (void)file;
#endif
    return 0;
}

long OsClose(OsFile file)
{
    return close(Fd(file)) == 0 ? 0 : Errno();
}

long OsDelete(const char *path)
{
    return unlink(path) == 0 ? 0 : Errno();
}

long OsLongPath(const char *path, char **longPath)
{
    *longPath = strdup(path);
    return *longPath ? 0 : OS_NO_MEMORY;
}

long OsRenameOver(const char *from, const char *to)
{
    return rename(from, to) == 0 ? 0 : Errno();
}

// Errors that say the file system cannot do this kind of rename or link,
// rather than that it failed.
static int NotSupported(int error)
{
    return error == EINVAL || error == ENOSYS || error == ENOTSUP || error == EOPNOTSUPP ||
           error == EPERM;
}

long OsRenameNoReplace(const char *from, const char *to)
{
    struct stat info;

#ifdef RENAME_NOREPLACE
    if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0)
        return 0;
    if (!NotSupported(errno))
        return Errno();
#endif
    // A link refuses a name that is taken, in one step as well.
    if (link(from, to) == 0) {
        unlink(from);
        return 0;
    }
    if (!NotSupported(errno))
        return Errno();
    if (lstat(to, &info) == 0)
        return OS_FILE_EXISTS;
    return rename(from, to) == 0 ? 0 : Errno();
}

// ---- Reading and writing ----------------------------------------------------

// read() may stop early when a signal arrives: it is called again.
long OsRead(OsFile file, void *buffer, uint32_t count, uint32_t *done)
{
    uint32_t got = 0;
    ssize_t n;

    while (got < count) {
        n = read(Fd(file), (char *)buffer + got, count - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return Errno();
        if (n == 0)
            break;
        got += (uint32_t)n;
    }
    *done = got;
    return 0;
}

// Writes on after a partial write, as a Windows write does; a disk that
// takes no more ends it with the kernel's error (ENOSPC).
long OsWrite(OsFile file, const void *buffer, uint32_t count, uint32_t *done)
{
    uint32_t written = 0;
    ssize_t n;

    while (written < count) {
        n = write(Fd(file), (const char *)buffer + written, count - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            *done = written;
            return Errno();
        }
        if (n == 0)
            break;
        written += (uint32_t)n;
    }
    *done = written;
    return 0;
}

long OsSeek(OsFile file, uint64_t offset)
{
    if (offset > (uint64_t)INT64_MAX)
        return EINVAL;
    return lseek(Fd(file), (off_t)offset, SEEK_SET) < 0 ? Errno() : 0;
}

long OsFileSize(OsFile file, uint64_t *size)
{
    struct stat info;

    if (fstat(Fd(file), &info) != 0)
        return Errno();
    *size = (uint64_t)info.st_size;
    return 0;
}

long OsPathSize(const char *path, uint64_t *size)
{
    struct stat info;

    if (stat(path, &info) != 0)
        return Errno();
    *size = (uint64_t)info.st_size;
    return 0;
}

// A folder, or the error that keeps path from being one: a file or a
// dangling link in its place is ENOTDIR.
static long IsFolder(const char *path)
{
    struct stat info;

    if (stat(path, &info) != 0)
        return errno == ENOENT ? ENOTDIR : Errno();
    return S_ISDIR(info.st_mode) ? 0 : ENOTDIR;
}

long OsMakeFolders(const char *path, int *made)
{
    size_t length = strlen(path), at;
    char *prefix;
    long error = 0;
    char kept;

    *made = 0;
    if (IsFolder(path) == 0)
        return 0;
    prefix = strdup(path);
    if (!prefix)
        return ENOMEM;
    // From the top down: each folder above, then path itself. "a//b" and a
    // trailing slash name no folder of their own.
    for (at = 1; at <= length && !error; at++) {
        if ((prefix[at] != '/' && prefix[at] != '\0') || prefix[at - 1] == '/')
            continue;
        kept = prefix[at];
        prefix[at] = '\0';
        if (mkdir(prefix, 0777) == 0)
            *made = 1;
        else
            error = errno == EEXIST ? IsFolder(prefix) : Errno();
        prefix[at] = kept;
    }
    free(prefix);
    return error;
}

// Errors that say only that this kernel or these file systems cannot copy
// between the two files; the data then goes through memory.
static const int NoKernelCopyErrors[] = {EXDEV, EINVAL, ENOSYS, EOPNOTSUPP};

// A test build (OS_TEST_HOOKS, the program's prefix) refuses the kernel's
// copy when PREFIX NO_KERNEL_COPY is 1, so that the copy through memory is
// tried on file systems that allow the kernel's; a program built to be
// installed reads no such variable.
static int KernelCopyRefused(void)
{
#ifdef OS_TEST_HOOKS
    const char *off = getenv(OS_TEST_HOOKS "NO_KERNEL_COPY");

    return off && strcmp(off, "1") == 0;
#else
    return 0;
#endif
}

long OsCopyData(OsFile from, OsFile to, uint32_t count, uint32_t *done)
{
    ssize_t n;
    size_t i;

    if (KernelCopyRefused())
        return OS_NO_KERNEL_COPY;
    do
        n = copy_file_range(Fd(from), NULL, Fd(to), NULL, count, 0);
    while (n < 0 && errno == EINTR);
    if (n < 0) {
        for (i = 0; i < sizeof NoKernelCopyErrors / sizeof NoKernelCopyErrors[0]; i++)
            if (errno == NoKernelCopyErrors[i])
                return OS_NO_KERNEL_COPY;
        return Errno();
    }
    *done = (uint32_t)n;
    return 0;
}

// ---- Times and attributes ---------------------------------------------------

static FileTime ToFileTime(const struct timespec *t)
{
    int64_t ticks = (int64_t)UNIX_EPOCH_TICKS + (int64_t)t->tv_sec * (int64_t)TICKS_PER_SECOND +
                    t->tv_nsec / 100;
    FileTime out;

    if (ticks < 0)
        ticks = 0; // before 1601: no FILETIME can say it
    out.LowDateTime = (uint32_t)ticks;
    out.HighDateTime = (uint32_t)((uint64_t)ticks >> 32);
    return out;
}

// The last change of the contents stands for the creation time, as Wine
// gives it.
long OsGetTimes(OsFile file, FileTime *creation, FileTime *lastAccess, FileTime *lastWrite)
{
    struct stat info;

    if (fstat(Fd(file), &info) != 0)
        return Errno();
    *creation = ToFileTime(&info.st_mtim);
    *lastAccess = ToFileTime(&info.st_atim);
    *lastWrite = ToFileTime(&info.st_mtim);
    return 0;
}

// A FILETIME as a timespec. 0 leaves the time as it is, as it does on
// Windows; so does all ones, Windows' "stop updating", which Linux lacks.
static struct timespec ToTimespec(const FileTime *t)
{
    uint64_t ticks = ((uint64_t)t->HighDateTime << 32) | t->LowDateTime;
    uint64_t distance;
    struct timespec out;

    if (ticks == 0 || ticks == UINT64_MAX) {
        out.tv_sec = 0;
        out.tv_nsec = UTIME_OMIT;
        return out;
    }
    if (ticks >= UNIX_EPOCH_TICKS) {
        distance = ticks - UNIX_EPOCH_TICKS;
        out.tv_sec = (time_t)(distance / TICKS_PER_SECOND);
        out.tv_nsec = (long)(distance % TICKS_PER_SECOND) * 100;
        return out;
    }
    // Before 1970: whole seconds round down, the nanoseconds stay positive.
    distance = UNIX_EPOCH_TICKS - ticks;
    out.tv_sec = -(time_t)(distance / TICKS_PER_SECOND);
    out.tv_nsec = (long)(distance % TICKS_PER_SECOND) * 100;
    if (out.tv_nsec) {
        out.tv_sec--;
        out.tv_nsec = 1000000000L - out.tv_nsec;
    }
    return out;
}

// Linux keeps no creation time that could be set, so only the last access
// and the last write are given (futimens is utimensat on a descriptor).
long OsSetTimes(OsFile file, const FileTime *creation, const FileTime *lastAccess,
                const FileTime *lastWrite)
{
    struct timespec times[2];

    (void)creation;
    times[0] = ToTimespec(lastAccess);
    times[1] = ToTimespec(lastWrite);
    return futimens(Fd(file), times) == 0 ? 0 : Errno();
}

long OsGetAttributes(const char *path, uint32_t *attributes)
{
    struct stat info;

    if (stat(path, &info) != 0)
        return Errno();
    // Windows reports the archive bit on every file it has written; the
    // one attribute Linux keeps a meaning for is read-only.
    *attributes = ARCHIVE_ATTRIBUTE | ((info.st_mode & 0222) ? 0 : READONLY_ATTRIBUTE);
    return 0;
}

long OsSetAttributes(const char *path, uint32_t attributes)
{
    struct stat info;

    if (!(attributes & READONLY_ATTRIBUTE))
        return 0;
    if (stat(path, &info) != 0)
        return Errno();
    return chmod(path, info.st_mode & 07555) == 0 ? 0 : Errno();
}

// ---- Paths, search and identity ---------------------------------------------

long OsQueryPath(const char *path, int *isFolder)
{
    struct stat info;

    // A link whose target is missing still takes the name.
    if (stat(path, &info) != 0 && (errno != ENOENT || lstat(path, &info) != 0))
        return Errno();
    if (isFolder)
        *isFolder = S_ISDIR(info.st_mode) != 0;
    return 0;
}

// Windows wildcards: '*' any run of characters, '?' any one; nothing else
// is special, so names with brackets or backslashes match themselves.
static int Matches(const char *pattern, const char *name)
{
    const char *star = NULL, *resume = NULL;

    while (*name) {
        if (*pattern == '*') {
            star = ++pattern;
            resume = name;
        } else if (*pattern == '?' || *pattern == *name) {
            pattern++;
            name++;
        } else if (star) {
            pattern = star;
            name = ++resume;
        } else {
            return 0;
        }
    }
    while (*pattern == '*')
        pattern++;
    return *pattern == 0;
}

long OsFindFirst(const char *pattern, char *name, size_t size)
{
    return OsFindNext(pattern, "", name, size);
}

long OsFindNext(const char *pattern, const char *after, char *name, size_t size)
{
    const char *slash = strrchr(pattern, '/');
    const char *last = slash ? slash + 1 : pattern;
    size_t folderLength = !slash ? 0 : slash == pattern ? 1 : (size_t)(slash - pattern);
    char *folder = slash ? strndup(pattern, folderLength) : strdup(".");
    char best[NAME_MAX + 1];
    struct dirent *entry;
    DIR *dir;
    long error = 0;
    int found = 0;

    if (!folder)
        return ENOMEM;
    dir = opendir(folder);
    free(folder);
    if (!dir)
        return Errno();
    for (;;) {
        errno = 0;
        entry = readdir(dir);
        if (!entry) {
            error = errno;
            break;
        }
        if (strcmp(entry->d_name, ".") == 0 || strcmp(entry->d_name, "..") == 0 ||
            !Matches(last, entry->d_name))
            continue;
        if (OsComesNext(entry->d_name, after, found ? best : NULL)) {
            snprintf(best, sizeof best, "%s", entry->d_name);
            found = 1;
        }
    }
    closedir(dir);
    if (error)
        return error;
    if (!found)
        return ENOENT;
    if (strlen(best) >= size)
        return ENAMETOOLONG;
    memcpy(name, best, strlen(best) + 1);
    return 0;
}

long OsFileIdentity(const char *path, OsFileId *id)
{
    struct stat info;

    if (stat(path, &info) != 0)
        return Errno();
    id->Volume = (uint64_t)info.st_dev;
    id->Index = (uint64_t)info.st_ino;
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
