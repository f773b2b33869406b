// Single key presses from the controlling terminal on Linux (and POSIX
// systems), for both Linux programs: the joiner's prompts and the slicer's
// questions. Compiled into each program.
#ifndef DORVANE_POSIX_KEYS_H
#define DORVANE_POSIX_KEYS_H

#include <termios.h>

// What a program makes of a key once its first byte is read: first is that
// byte (0 to 255), or -1 when none came. The terminal at fd is still in raw
// mode, mode; the function may change mode for reads of its own (it is
// given back afterwards). Returns the key to report, or -1.
typedef int (*RestOfKey)(int fd, struct termios *mode, int first);

// Waits for one key press on the controlling terminal (/dev/tty, not
// standard input, which may be a file) and reads it without echo or line
// editing; the terminal's mode is given back however the wait ends, a
// signal included. Returns what takeRest makes of the key, or -1 when there
// is no terminal to read from.
int ReadRawKey(RestOfKey takeRest);

// One byte from the terminal: 0 to 255, or -1 when none comes (the terminal
// hung up, or a wait in raw mode timed out).
int ReadKeyByte(int fd);

#endif
