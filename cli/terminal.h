// Keys from the user's terminal for the Linux dorvane's questions, and the
// terminal's width for its progress line.
#ifndef DORVANE_TERMINAL_H
#define DORVANE_TERMINAL_H

// Waits for one key press on the controlling terminal (/dev/tty, not
// standard input, which may be a file) and reads it without echo or line
// editing; the terminal's mode is given back however the wait ends, a
// signal included. Returns the key's first byte, or -1 when there is no
// terminal to read from.
int ReadTerminalKey(void);

// The width in columns of the terminal on fd; 80 when fd is no terminal or
// the terminal does not say.
int TerminalColumns(int fd);

#endif
