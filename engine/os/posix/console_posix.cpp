// The console service on Linux and other POSIX systems (console.h): single
// key presses from the controlling terminal in raw mode, with signal handlers
// that put the terminal back in its mode when a signal ends the program
// during the wait, and the record of an interruption that the program ends
// by itself. Parts: raw mode and signals; what a key is; interruptions.
#include "os/console.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <string.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

enum {
    ESCAPE_KEY = 0x1B,     // starts the sequence of an extended key
    SEQUENCE_TIMEOUT = 1,  // tenths of a second between a sequence's bytes
    KEY_REST_DELAY = 20000 // microseconds for the rest of a key to arrive
};

// ---- Raw mode and signals ---------------------------------------------------

// What a reader makes of a key once its first byte is read: first is that
// byte (0 to 255), or -1 when none came. The terminal at fd is still in raw
// mode, mode; the function may change mode for reads of its own (it is
// given back afterwards). Returns the key to report, or -1.
typedef int (*RestOfKey)(int fd, struct termios *mode, int first);

// The terminal that ReadRawKey has put in raw mode, or -1: the signal
// handler must give it its mode back before the program ends.
static volatile sig_atomic_t RawTerminal = -1;

// The terminal's mode before ReadRawKey changed it.
static struct termios SavedMode;

// Signals that end the program while it waits for a key.
static const int EndingSignals[] = {SIGINT, SIGQUIT, SIGTERM, SIGHUP};
enum { ENDING_SIGNALS = sizeof EndingSignals / sizeof EndingSignals[0] };

// The interruptions the program ends by itself (OsCatchInterrupts).
static const int RecordedSignals[] = {SIGINT, SIGTERM};
enum { RECORDED_SIGNALS = sizeof RecordedSignals / sizeof RecordedSignals[0] };

// Set once by OsCatchInterrupts; then the first recorded signal's number.
static volatile sig_atomic_t CatchingInterrupts = 0;
static volatile sig_atomic_t Interruption = 0;

static int Recorded(int number)
{
    return CatchingInterrupts && !Interruption && (number == SIGINT || number == SIGTERM);
}

static void RestoreTerminalAndEnd(int number)
{
    int fd = RawTerminal;

    // The prompt's line is ended, so that what the shell writes next
    // starts a line of its own.
    if (fd >= 0) {
        tcsetattr(fd, TCSANOW, &SavedMode);
        if (write(fd, "\n", 1) < 0) {
            // Nothing more can be done in a signal handler.
        }
    }
    RawTerminal = -1;
    // An interruption the program ends by itself ends only the wait.
    if (Recorded(number)) {
        Interruption = number;
        return;
    }
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

// One byte from the terminal: 0 to 255, or -1 when none comes (the terminal
// hung up, or a wait in raw mode timed out).
static int ReadKeyByte(int fd)
{
    unsigned char byte;
    ssize_t n;

    do
        n = read(fd, &byte, 1);
    while (n < 0 && errno == EINTR);
    return n == 1 ? byte : -1;
}

// Waits until the terminal has a byte to read: 0, or -1 once an
// interruption is recorded. The signals come in only while ppoll waits, so
// one that comes just before the wait ends it all the same.
static int WaitForKey(int fd)
{
    struct pollfd terminal = {fd, POLLIN, 0};
    sigset_t blocked, previous;
    size_t i;
    int ready;

    sigemptyset(&blocked);
    for (i = 0; i < RECORDED_SIGNALS; i++)
        sigaddset(&blocked, RecordedSignals[i]);
    sigprocmask(SIG_BLOCK, &blocked, &previous);
    do
        ready = Interruption ? -1 : ppoll(&terminal, 1, NULL, &previous);
    while (ready < 0 && errno == EINTR && !Interruption);
    sigprocmask(SIG_SETMASK, &previous, NULL);
    return ready > 0 ? 0 : -1;
}

static int OpenTerminal(void)
{
    return open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
}

// Waits for one key press on the controlling terminal without echo or line
// editing, the terminal's mode given back however the wait ends. Returns
// what takeRest makes of the key, or -1 when there is no terminal.
static int ReadRawKey(RestOfKey takeRest)
{
    struct sigaction previous[ENDING_SIGNALS];
    struct termios raw;
    int fd, key;

    if (Interruption)
        return -1;
    fd = OpenTerminal();
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
        key = takeRest(fd, &raw, WaitForKey(fd) == 0 ? ReadKeyByte(fd) : -1);
    tcsetattr(fd, TCSANOW, &SavedMode);
    RawTerminal = -1;
    RestoreSignals(previous);
    close(fd);
    return key;
}

// ---- What a key is ----------------------------------------------------------

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

// A key that sends several bytes (an arrow, a UTF-8 letter) is one answer:
// what is left of it must not answer the next question. The key is its
// first byte.
static int DropRestOfKey(int fd, struct termios *, int first)
{
    usleep(KEY_REST_DELAY);
    tcflush(fd, TCIFLUSH);
    return first;
}

int OsReadKeyByte(void)
{
    return ReadRawKey(DropRestOfKey);
}

int OsFlushTypedAhead(void)
{
    int fd = OpenTerminal();
    int result;

    if (fd < 0)
        return -1;
    result = tcflush(fd, TCIFLUSH) == 0 ? 0 : -1;
    close(fd);
    return result;
}

FILE *OsOpenConsoleOutput(void)
{
    return isatty(STDOUT_FILENO) ? NULL : fopen("/dev/tty", "we");
}

int OsWriteText(FILE *to, const char *text, size_t length)
{
    return fwrite(text, 1, length, to) == length ? 0 : -1;
}

int OsConsoleColumns(int fd)
{
    enum { DEFAULT_COLUMNS = 80 };
    struct winsize size;

    if (ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return DEFAULT_COLUMNS;
}

void OsBufferOutput(void)
{
    // The C library buffers every stream that is not a terminal.
}

int OsIsTerminal(int fd)
{
    return isatty(fd) != 0;
}

// ---- Interruptions ------------------------------------------------------------

// The first interruption is recorded; a second ends the program as usual.
static void RecordInterruption(int number)
{
    if (Interruption) {
        signal(number, SIG_DFL);
        raise(number);
        return;
    }
    Interruption = number;
}

void OsCatchInterrupts(void)
{
    struct sigaction action, previous;
    size_t i;

    memset(&action, 0, sizeof action);
    action.sa_handler = RecordInterruption;
    // Reads and writes under way go on; the program looks at the record
    // between them.
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (i = 0; i < RECORDED_SIGNALS; i++) {
        sigaction(RecordedSignals[i], NULL, &previous);
        if (previous.sa_handler != SIG_IGN)
            sigaction(RecordedSignals[i], &action, NULL);
    }
    CatchingInterrupts = 1;
}

int OsInterruption(void)
{
    return Interruption;
}
