// The slice job's Linux layer (and POSIX systems with /proc and sysfs).
// Error numbers are errno values.
#include "slice_os.h"

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <time.h>
#include <unistd.h>

#include "embedded_joiner.h"
#include "posix_media.h"

enum {
    READONLY_ATTRIBUTE = 0x01, // Windows' read-only bit
    ARCHIVE_ATTRIBUTE = 0x20   // Windows' archive bit: set on every file written
};

static const uint64_t UNIX_EPOCH_TICKS = 116444736000000000ULL; // 1970-01-01 as a FILETIME
static const uint64_t TICKS_PER_SECOND = 10000000ULL;          // FILETIME counts 100 ns

static long Errno(void)
{
    return errno ? errno : 1;
}

// SliceFile holds the descriptor plus one, so that descriptor 0 (standard
// input closed by the caller) is still told apart from "not open".
static int AsFd(SliceFile file)
{
    return (int)(file - 1);
}

long SliceOsAttributes(const char *path, uint32_t *attributes)
{
    struct stat info;

    if (stat(path, &info) != 0)
        return Errno();
    // Windows reports the archive bit on every file it has written; the
    // one attribute Linux keeps a meaning for is read-only.
    *attributes = ARCHIVE_ATTRIBUTE | ((info.st_mode & 0222) ? 0 : READONLY_ATTRIBUTE);
    return 0;
}

long SliceOsOpenSource(const char *path, SliceFile *file)
{
    // Without O_NONBLOCK a source that is a FIFO would hang the open.
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
        error = EINVAL; // a device or FIFO has no size to slice by
    else if (fcntl(fd, F_SETFL, 0) != 0)
        error = Errno();
    if (error) {
        close(fd);
        return error;
    }
    *file = (SliceFile)fd + 1;
    return 0;
}

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

// Linux keeps no creation time that every file system reports: the time of
// the last change of the file's contents stands for it, as Wine gives it.
long SliceOsTimes(SliceFile file, FileTime *creation, FileTime *lastAccess, FileTime *lastWrite)
{
    struct stat info;

    if (fstat(AsFd(file), &info) != 0)
        return Errno();
    *creation = ToFileTime(&info.st_mtim);
    *lastAccess = ToFileTime(&info.st_atim);
    *lastWrite = ToFileTime(&info.st_mtim);
    return 0;
}

long SliceOsSize(SliceFile file, uint64_t *size)
{
    struct stat info;

    if (fstat(AsFd(file), &info) != 0)
        return Errno();
    *size = (uint64_t)info.st_size;
    return 0;
}

long SliceOsCreateNew(const char *path, SliceFile *file)
{
    // O_EXCL also refuses a symbolic link in the name's place, so a portion
    // never lands where such a link points.
    int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);

    if (fd < 0)
        return Errno();
    *file = (SliceFile)fd + 1;
    return 0;
}

long SliceOsRead(SliceFile file, void *buffer, uint32_t count, uint32_t *done)
{
    uint32_t got = 0;
    ssize_t n;

    while (got < count) {
        n = read(AsFd(file), (char *)buffer + got, count - got);
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
long SliceOsWrite(SliceFile file, const void *buffer, uint32_t count, uint32_t *done)
{
    uint32_t written = 0;
    ssize_t n;

    while (written < count) {
        n = write(AsFd(file), (const char *)buffer + written, count - written);
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

long SliceOsFlush(SliceFile file)
{
    return fsync(AsFd(file)) == 0 ? 0 : Errno();
}

long SliceOsClose(SliceFile file)
{
    return close(AsFd(file)) == 0 ? 0 : Errno();
}

long SliceOsDelete(const char *path)
{
    return unlink(path) == 0 ? 0 : Errno();
}

uint32_t SliceOsFreeBytes(const char *destination)
{
    struct statvfs info;
    uint64_t bytes;

    if (statvfs(destination, &info) != 0)
        return 0;
    bytes = (uint64_t)info.f_bavail * info.f_frsize;
    return bytes > UINT32_MAX ? UINT32_MAX : (uint32_t)bytes;
}

// A removable destination is the mount point of a file system on a device
// that sysfs marks removable, the same test as the Linux joiner makes of a source.
int SliceOsIsRemovable(const char *destination)
{
#ifdef DORVANE_TEST_HOOKS
    // Test builds only: a removable device cannot be made on demand, so the
    // tests name a mount table and a sysfs tree of their own.
    return IsRemovablePath(destination, getenv("DORVANE_MOUNTINFO"), getenv("DORVANE_SYSFS"));
#else
    return IsRemovablePath(destination, NULL, NULL);
#endif
}

void SliceOsLocalTime(SystemTime *now)
{
    struct timespec clock;
    struct tm local;

    clock_gettime(CLOCK_REALTIME, &clock);
    localtime_r(&clock.tv_sec, &local);
    now->Year = (uint16_t)(local.tm_year + 1900);
    now->Month = (uint16_t)(local.tm_mon + 1);
    now->DayOfWeek = (uint16_t)local.tm_wday;
    now->Day = (uint16_t)local.tm_mday;
    now->Hour = (uint16_t)local.tm_hour;
    now->Minute = (uint16_t)local.tm_min;
    now->Second = (uint16_t)local.tm_sec;
    now->Milliseconds = (uint16_t)(clock.tv_nsec / 1000000);
}

long SliceOsJoinerProgram(const void **data, uint32_t *size)
{
    *data = EmbeddedJoiner;
    *size = EmbeddedJoinerSize;
    return 0;
}
