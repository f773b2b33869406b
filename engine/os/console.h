// Key presses and text out: the platform layer's console service
// (console_win.cpp, console_posix.cpp). Keys come from the console or
// terminal itself, never from standard input, which may be a file; without
// one the calls say so.
#ifndef DORVANE_OS_CONSOLE_H
#define DORVANE_OS_CONSOLE_H

#include <stdio.h>

// OsReadKey: waits for one key press and reads it without echo or line
// editing. Returns its character, 0 for an extended key (an arrow, a
// function key: its further codes are taken with it), or -1 when there is no
// console to read from. Ctrl+C still ends the program; on POSIX after a
// line break that ends the question's line, and with the terminal's mode
// given back however the wait ends.
int OsReadKey(void);

// OsReadKeyByte: as OsReadKey, but returns a key's first byte as the
// terminal sends it (Escape for an arrow); what is left of the key and
// whatever else was typed ahead is dropped, so it cannot answer the next
// question.
int OsReadKeyByte(void);

// OsFlushTypedAhead: drops every key typed but not yet read, so that a
// question is answered by a key pressed after it was asked. Returns 0, or
// -1 when there is no console.
int OsFlushTypedAhead(void);

// OsOpenConsoleOutput: the console or terminal itself, opened for writing,
// when standard output is something else (a file, a pipe), so that a
// question is seen where its answer is typed; NULL when standard output is
// the console, or there is none. The caller closes it with fclose.
FILE *OsOpenConsoleOutput(void);

// OsWriteText: writes the length bytes of text, UTF-8, to the stream to
// (standard output, or what OsOpenConsoleOutput gave), after what was put
// there before. A Windows console takes it as characters, whatever its code
// page, so that every name shows whole (a text that is not valid UTF-8 is
// read in the ANSI code page there, as a name of the ANSI era); a file, a
// pipe or a POSIX terminal gets the bytes as they are. Returns 0, or -1
// when not all of it was written.
int OsWriteText(FILE *to, const char *text, size_t length);

// OsBufferOutput: a buffer for standard output where it goes to a device
// that is not a console (NUL; /dev/null under Wine), which the Windows C
// library leaves unbuffered: there every byte would cost a system call
// (under Wine a round trip to its server: 2 ms a line). Files, pipes,
// consoles and every POSIX stream keep their usual buffering. Called
// before anything is written.
void OsBufferOutput(void);

// OsIsTerminal: 1 when descriptor fd (0, 1 or 2: standard input, output,
// error) is a terminal (on Windows: a console), else 0: a progress line is
// drawn only there, and KELMORIX.EXE keeps its window open only for a user
// who can press a key in it.
int OsIsTerminal(int fd);

#ifdef _WIN32
// OsConsoleProcessCount: how many processes share the program's console,
// the program included; 0 when it has none, or the system cannot tell
// (before Windows XP). 1 means the console was made for this program alone
// (it was started from Explorer) and closes when the program ends. The
// environment variable KELMORIX_CONSOLE_PROCESSES, when set to a number,
// stands in for the system's count, so that tests can try the rule that
// depends on it.
int OsConsoleProcessCount(void);
#else
// OsConsoleColumns: the width in columns of the terminal on descriptor fd,
// or 80 when fd is no terminal or the terminal does not say. Asked on every
// drawing of the Linux dorvane's progress line, so that a terminal resized
// during a job gets lines of its new width. (The Windows programs draw no
// such line.)
int OsConsoleColumns(int fd);

// OsCatchInterrupts: from now on SIGINT (Ctrl+C) and SIGTERM no longer end
// the program at once: the first one is recorded, for OsInterruption to
// report, so that the program ends by itself once it has cleaned up. A
// second one ends it at once, as usual. A signal ignored when the program
// started (a job in the background) stays ignored. During a key wait
// (OsReadKey, OsReadKeyByte) such a signal gives the terminal its mode
// back, ends the question's line and ends the wait with -1; once one is
// recorded, a wait ends at once with -1.
void OsCatchInterrupts(void);

// OsInterruption: 0, or the number of the signal OsCatchInterrupts recorded
// (SIGINT 2, SIGTERM 15). A program that ends for it exits with 128 plus
// that number, as a shell reports a program the signal ended.
int OsInterruption(void);
#endif

#endif
