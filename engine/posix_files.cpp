// Opening, reading and closing plain files with the kernel's calls.
#include "posix_files.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

long PosixErrno(void)
{
    return errno ? errno : 1;
}

int PosixFd(PosixFile file)
{
    return (int)(file - 1);
}

long PosixOpenPlain(const char *path, PosixFile *file)
{
    // Without O_NONBLOCK a FIFO would hang the open.
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat info;
    long error = 0;

    if (fd < 0)
        return PosixErrno();
    if (fstat(fd, &info) != 0)
        error = PosixErrno();
    else if (S_ISDIR(info.st_mode))
        error = EISDIR;
    else if (!S_ISREG(info.st_mode))
        error = EINVAL; // a device or FIFO has no size and holds no portion
    else if (fcntl(fd, F_SETFL, 0) != 0)
        error = PosixErrno();
    if (error) {
        close(fd);
        return error;
    }
    *file = (PosixFile)fd + 1;
    return 0;
}

long PosixCreateNew(const char *path, PosixFile *file)
{
    // O_EXCL also refuses a symbolic link in the name's place, so what is
    // written never lands where such a link points.
    int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);

    if (fd < 0)
        return PosixErrno();
    *file = (PosixFile)fd + 1;
    return 0;
}

long PosixFileSize(PosixFile file, uint64_t *size)
{
    struct stat info;

    if (fstat(PosixFd(file), &info) != 0)
        return PosixErrno();
    *size = (uint64_t)info.st_size;
    return 0;
}

// read() may stop early when a signal arrives: it is called again.
long PosixRead(PosixFile file, void *buffer, uint32_t count, uint32_t *done)
{
    uint32_t got = 0;
    ssize_t n;

    while (got < count) {
        n = read(PosixFd(file), (char *)buffer + got, count - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return PosixErrno();
        if (n == 0)
            break;
        got += (uint32_t)n;
    }
    *done = got;
    return 0;
}

long PosixFlush(PosixFile file)
{
    return fsync(PosixFd(file)) == 0 ? 0 : PosixErrno();
}

long PosixClose(PosixFile file)
{
    return close(PosixFd(file)) == 0 ? 0 : PosixErrno();
}

long PosixDelete(const char *path)
{
    return unlink(path) == 0 ? 0 : PosixErrno();
}
