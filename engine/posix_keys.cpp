// Raw-mode key reads, with signal handlers that put the terminal back in
// its mode when a signal ends the program during the wait.
#include "posix_keys.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <string.h>
#include <unistd.h>

// The terminal that ReadRawKey has put in raw mode, or -1: the signal
// handler must give it its mode back before the program ends.
static volatile sig_atomic_t RawTerminal = -1;

// The terminal's mode before ReadRawKey changed it.
static struct termios SavedMode;

// Signals that end the program while it waits for a key.
static const int EndingSignals[] = {SIGINT, SIGQUIT, SIGTERM, SIGHUP};
enum { ENDING_SIGNALS = sizeof EndingSignals / sizeof EndingSignals[0] };

static void RestoreTerminalAndEnd(int number)
{
    int fd = RawTerminal;

    if (fd >= 0)
        tcsetattr(fd, TCSANOW, &SavedMode);
    RawTerminal = -1;
    signal(number, SIG_DFL);
    raise(number); // delivered, with its default action, once the handler returns
}

static void CatchEndingSignals(struct sigaction previous[ENDING_SIGNALS])
{
    struct sigaction action;
    size_t i;

    memset(&action, 0, sizeof action);
    action.sa_handler = RestoreTerminalAndEnd;
    sigemptyset(&action.sa_mask);
    for (i = 0; i < ENDING_SIGNALS; i++) {
        sigaction(EndingSignals[i], NULL, &previous[i]);
        // A signal the caller ignores (a program started in the background)
        // stays ignored.
        if (previous[i].sa_handler != SIG_IGN)
            sigaction(EndingSignals[i], &action, NULL);
    }
}

static void RestoreSignals(const struct sigaction previous[ENDING_SIGNALS])
{
    size_t i;

    for (i = 0; i < ENDING_SIGNALS; i++)
        sigaction(EndingSignals[i], &previous[i], NULL);
}

int ReadKeyByte(int fd)
{
    unsigned char byte;
    ssize_t n;

    do
        n = read(fd, &byte, 1);
    while (n < 0 && errno == EINTR);
    return n == 1 ? byte : -1;
}

int ReadRawKey(RestOfKey takeRest)
{
    struct sigaction previous[ENDING_SIGNALS];
    struct termios raw;
    int fd = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    int key;

    if (fd < 0)
        return -1;
    if (tcgetattr(fd, &SavedMode) != 0) {
        close(fd);
        return -1;
    }
    raw = SavedMode;
    // No line editing and no echo; Ctrl+C still ends the program (ISIG).
    // Enter gives '\r', as it does on a Windows console. Ctrl+Z would stop
    // the program with the terminal left raw, so it is just a key here.
    raw.c_lflag &= ~(tcflag_t)(ICANON | ECHO | IEXTEN);
    raw.c_iflag &= ~(tcflag_t)(ICRNL | INLCR | IGNCR | IXON);
    raw.c_cc[VSUSP] = _POSIX_VDISABLE;
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    CatchEndingSignals(previous);
    RawTerminal = fd;
    if (tcsetattr(fd, TCSANOW, &raw) != 0)
        key = -1;
    else
        key = takeRest(fd, &raw, ReadKeyByte(fd));
    tcsetattr(fd, TCSANOW, &SavedMode);
    RawTerminal = -1;
    RestoreSignals(previous);
    close(fd);
    return key;
}
