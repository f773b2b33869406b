// Raw-mode key reads, the way the Linux kelmorix reads its keys (the
// approach of its joiner_os_posix.cpp, kept here in the slicer's own form:
// the two programs share no code at run time).
#include "terminal.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <string.h>
#include <termios.h>
#include <unistd.h>

// The terminal that ReadTerminalKey has put in raw mode, or -1: the signal
// handler must give it its mode back before the program ends.
static volatile sig_atomic_t RawTerminal = -1;

// The terminal's mode before ReadTerminalKey changed it.
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

int ReadTerminalKey(void)
{
    struct sigaction previous[ENDING_SIGNALS];
    struct termios raw;
    unsigned char byte;
    ssize_t n = -1;
    int fd = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);

    if (fd < 0)
        return -1;
    if (tcgetattr(fd, &SavedMode) != 0) {
        close(fd);
        return -1;
    }
    raw = SavedMode;
    // No line editing and no echo; Ctrl+C still ends the program (ISIG).
    // Ctrl+Z would stop the program with the terminal left raw, so it is
    // just a key here.
    raw.c_lflag &= ~(tcflag_t)(ICANON | ECHO | IEXTEN);
    raw.c_iflag &= ~(tcflag_t)(ICRNL | INLCR | IGNCR | IXON);
    raw.c_cc[VSUSP] = _POSIX_VDISABLE;
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    CatchEndingSignals(previous);
    RawTerminal = fd;
    if (tcsetattr(fd, TCSANOW, &raw) == 0) {
        do
            n = read(fd, &byte, 1);
        while (n < 0 && errno == EINTR);
        // A key that sends several bytes (an arrow, a UTF-8 letter) is one
        // answer: what is left of it must not answer the next question.
        usleep(20000);
        tcflush(fd, TCIFLUSH);
    }
    tcsetattr(fd, TCSANOW, &SavedMode);
    RawTerminal = -1;
    RestoreSignals(previous);
    close(fd);
    return n == 1 ? byte : -1;
}
