// The slicer's key reads (raw mode and the signal handlers come from the
// POSIX key reader it shares with the Linux kelmorix), and the terminal's
// width.
#include "terminal.h"

#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include "posix_keys.h"

// A key that sends several bytes (an arrow, a UTF-8 letter) is one answer:
// what is left of it must not answer the next question. The key is its
// first byte.
static int DropRestOfKey(int fd, struct termios *, int first)
{
    usleep(20000);
    tcflush(fd, TCIFLUSH);
    return first;
}

int ReadTerminalKey(void)
{
    return ReadRawKey(DropRestOfKey);
}

// Asked on every drawing of the progress line, so that a terminal resized
// during a job gets lines of its new width. An OS call on its own, apart
// from the portable line formatting, so that it can join the other
// terminal calls in one platform layer.
int TerminalColumns(int fd)
{
    enum { DEFAULT_COLUMNS = 80 };
    struct winsize size;

    if (ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return DEFAULT_COLUMNS;
}
