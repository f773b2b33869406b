// The slice job's Linux layer (and POSIX systems with /proc and sysfs).
// Error numbers are errno values.
#include "slice_os.h"

#include <errno.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <time.h>
#include <unistd.h>

#include "embedded_joiner.h"
#include "posix_files.h"
#include "posix_media.h"

enum {
    READONLY_ATTRIBUTE = 0x01, // Windows' read-only bit
    ARCHIVE_ATTRIBUTE = 0x20   // Windows' archive bit: set on every file written
};

long SliceOsAttributes(const char *path, uint32_t *attributes)
{
    struct stat info;

    if (stat(path, &info) != 0)
        return PosixErrno();
    // Windows reports the archive bit on every file it has written; the
    // one attribute Linux keeps a meaning for is read-only.
    *attributes = ARCHIVE_ATTRIBUTE | ((info.st_mode & 0222) ? 0 : READONLY_ATTRIBUTE);
    return 0;
}

// A device or FIFO has no size to slice by: EINVAL.
long SliceOsOpenSource(const char *path, SliceFile *file)
{
    return PosixOpenPlain(path, file);
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

    if (fstat(PosixFd(file), &info) != 0)
        return PosixErrno();
    *creation = ToFileTime(&info.st_mtim);
    *lastAccess = ToFileTime(&info.st_atim);
    *lastWrite = ToFileTime(&info.st_mtim);
    return 0;
}

long SliceOsSize(SliceFile file, uint64_t *size)
{
    return PosixFileSize(file, size);
}

// A portion never lands where a link in its name's place points.
long SliceOsCreateNew(const char *path, SliceFile *file)
{
    return PosixCreateNew(path, file);
}

long SliceOsRead(SliceFile file, void *buffer, uint32_t count, uint32_t *done)
{
    return PosixRead(file, buffer, count, done);
}

// Writes on after a partial write, as a Windows write does; a disk that
// takes no more ends it with the kernel's error (ENOSPC).
long SliceOsWrite(SliceFile file, const void *buffer, uint32_t count, uint32_t *done)
{
    uint32_t written = 0;
    ssize_t n;

    while (written < count) {
        n = write(PosixFd(file), (const char *)buffer + written, count - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            *done = written;
            return PosixErrno();
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
    return PosixFlush(file);
}

long SliceOsClose(SliceFile file)
{
    return PosixClose(file);
}

long SliceOsDelete(const char *path)
{
    return PosixDelete(path);
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
