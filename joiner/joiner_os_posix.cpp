// The joiner's operating-system layer for Linux (and POSIX systems with
// /proc and sysfs). Error numbers are errno values.
#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include "joiner_os.h"
#include "../engine/posix_files.h"
#include "../engine/posix_keys.h"
#include "../engine/posix_media.h"

enum {
    READONLY_ATTRIBUTE = 0x01,            // the Windows read-only bit in FileAttributes
    LOWEST_PRIORITY = 19,                 // the nice value of the copy
    ESCAPE_KEY = 0x1B,                    // starts the sequence of an extended key
    SEQUENCE_TIMEOUT = 1                  // tenths of a second between a sequence's bytes
};

int OsIsRemovable(const char *path)
{
#ifdef KELMORIX_TEST_HOOKS
    // Test builds only: a removable device cannot be made on demand, so the
    // tests name a mount table and a sysfs tree of their own.
    return IsRemovablePath(path, getenv("KELMORIX_MOUNTINFO"), getenv("KELMORIX_SYSFS"));
#else
    return IsRemovablePath(path, NULL, NULL);
#endif
}

void OsDriveName(const char *source, char *name, size_t size)
{
    // A removable source is a mount point; prompts name it as the kernel
    // does, whatever form the user typed.
    char real[PATH_MAX];
    const char *shown = realpath(source, real) ? real : source;

    snprintf(name, size, "%s", shown);
}

long OsQueryPath(const char *path, int *isFolder)
{
    struct stat info;

    if (stat(path, &info) != 0)
        return PosixErrno();
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

// The first match in byte order, so that the answer does not depend on the
// order in which the file system lists its entries.
long OsFindFirst(const char *pattern, char *name, size_t size)
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
        return PosixErrno();
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
        if (!found || strcmp(entry->d_name, best) < 0)
            snprintf(best, sizeof best, "%s", entry->d_name);
        found = 1;
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

// A device or FIFO holds no portion: EINVAL.
long OsOpenRead(const char *path, OsFile *file)
{
    return PosixOpenPlain(path, file);
}

// The output never lands where a link in its name's place points.
long OsCreateNew(const char *path, OsFile *file)
{
    return PosixCreateNew(path, file);
}

int OsSameEntry(const char *a, const char *b)
{
    struct stat first, second;

    // The entries themselves, not what links point to: deleting a link
    // deletes only the link.
    return lstat(a, &first) == 0 && lstat(b, &second) == 0 && first.st_dev == second.st_dev &&
           first.st_ino == second.st_ino;
}

long OsFileSize(OsFile file, uint64_t *size)
{
    return PosixFileSize(file, size);
}

long OsRead(OsFile file, void *buffer, uint32_t count, uint32_t *done)
{
    return PosixRead(file, buffer, count, done);
}

long OsWrite(OsFile file, const void *buffer, uint32_t count, uint32_t *done)
{
    ssize_t n;

    do
        n = write(PosixFd(file), buffer, count);
    while (n < 0 && errno == EINTR);
    if (n < 0)
        return PosixErrno();
    *done = (uint32_t)n;
    return 0;
}

// Errors that say only that this kernel or these file systems cannot copy
// between the two files; the data then goes through memory.
static const int NoKernelCopyErrors[] = {EXDEV, EINVAL, ENOSYS, EOPNOTSUPP};

long OsCopyData(OsFile from, OsFile to, uint32_t count, uint32_t *done)
{
    const char *off = getenv("KELMORIX_NO_KERNEL_COPY");
    ssize_t n;
    size_t i;

    if (off && strcmp(off, "1") == 0)
        return OS_NO_KERNEL_COPY;
    do
        n = copy_file_range(PosixFd(from), NULL, PosixFd(to), NULL, count, 0);
    while (n < 0 && errno == EINTR);
    if (n < 0) {
        for (i = 0; i < sizeof NoKernelCopyErrors / sizeof NoKernelCopyErrors[0]; i++)
            if (errno == NoKernelCopyErrors[i])
                return OS_NO_KERNEL_COPY;
        return PosixErrno();
    }
    *done = (uint32_t)n;
    return 0;
}

long OsFlush(OsFile file)
{
    return PosixFlush(file);
}

long OsClose(OsFile file)
{
    return PosixClose(file);
}

long OsDelete(const char *path)
{
    return PosixDelete(path);
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
    return futimens(PosixFd(file), times) == 0 ? 0 : PosixErrno();
}

// Read-only is the one attribute with a Linux meaning: no write bits.
// Hidden, system, archive and the rest have none and are left aside.
long OsSetAttributes(const char *path, uint32_t attributes)
{
    struct stat info;

    if (!(attributes & READONLY_ATTRIBUTE))
        return 0;
    if (stat(path, &info) != 0)
        return PosixErrno();
    return chmod(path, info.st_mode & 07555) == 0 ? 0 : PosixErrno();
}

// The copy runs at the lowest priority. Only a privileged process may take
// the old one back, so for others the rest of the run (prompts, which wait
// on the user anyway) stays at the lowest too.
int OsLowerPriority(void)
{
    int priority;

    errno = 0;
    priority = getpriority(PRIO_PROCESS, 0);
    if (errno)
        priority = 0;
    setpriority(PRIO_PROCESS, 0, LOWEST_PRIORITY);
    return priority;
}

void OsRestorePriority(int priority)
{
    setpriority(PRIO_PROCESS, 0, priority);
}

// After an Escape: a key that sends a sequence (arrows, function keys,
// Alt with a key) counts as one extended key, 0, and its bytes are taken so
// that they cannot answer the next prompt. A lone Escape is itself.
static int ReadSequence(int fd, struct termios *mode)
{
    int byte, introducer;

    mode->c_cc[VMIN] = 0;
    mode->c_cc[VTIME] = SEQUENCE_TIMEOUT;
    tcsetattr(fd, TCSANOW, mode);
    introducer = ReadKeyByte(fd);
    if (introducer < 0)
        return ESCAPE_KEY;
    if (introducer == '[') {
        // Parameters and intermediates run up to a final byte of 0x40-0x7E.
        do
            byte = ReadKeyByte(fd);
        while (byte >= 0x20 && byte < 0x40);
    } else if (introducer == 'O') {
        ReadKeyByte(fd);
    }
    return 0;
}

// The rest of a key that sends several bytes (a UTF-8 letter): taken with
// it, so that it cannot answer the next prompt. Whatever else is already
// waiting (the rest of a pasted text) goes as well.
static void DiscardRestOfKey(int fd, struct termios *mode, int first)
{
    int continuation = first >= 0xF0 ? 3 : first >= 0xE0 ? 2 : first >= 0xC0 ? 1 : 0;

    mode->c_cc[VMIN] = 0;
    mode->c_cc[VTIME] = SEQUENCE_TIMEOUT;
    tcsetattr(fd, TCSANOW, mode);
    while (continuation-- > 0 && ReadKeyByte(fd) >= 0) {
    }
    tcflush(fd, TCIFLUSH);
}

// The key's own bytes after its first: a sequence's read by ReadSequence,
// a multi-byte letter's by DiscardRestOfKey.
static int TakeRestOfKey(int fd, struct termios *mode, int first)
{
    int key = first;

    if (key == ESCAPE_KEY)
        key = ReadSequence(fd, mode);
    if (key >= 0)
        DiscardRestOfKey(fd, mode, key);
    return key;
}

int OsReadKey(void)
{
    return ReadRawKey(TakeRestOfKey);
}

long OsCurrentFolder(char *buffer, size_t size)
{
    return getcwd(buffer, size) ? 0 : PosixErrno();
}

long OsLastingPath(const char *path, char **lasting)
{
    char *folder;
    size_t folderLength;

    if (path[0] == '/') {
        *lasting = strdup(path);
        return *lasting ? 0 : ENOMEM;
    }
    folder = getcwd(NULL, 0);
    if (!folder)
        return PosixErrno();
    folderLength = strlen(folder);
    *lasting = (char *)malloc(folderLength + 1 + strlen(path) + 1);
    if (*lasting)
        sprintf(*lasting, "%s%s%s", folder, folder[folderLength - 1] == '/' ? "" : "/", path);
    free(folder);
    return *lasting ? 0 : ENOMEM;
}

// A process whose current folder lies in a mounted file system keeps it
// busy: the next disk could not be mounted in its place.
void OsLeaveCurrentFolder(void)
{
    if (chdir("/") != 0) {
        // The run goes on where it is: only the disk stays busy.
    }
}
