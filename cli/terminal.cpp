// The slicer's key reads: raw mode and the signal handlers come from the
// POSIX key reader it shares with the Linux kelmorix.
#include "terminal.h"

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
