// The progress line the Linux dorvane and kelmorix draw on a terminal while
// a long step runs. Pure text: no operating system here.
#ifndef DORVANE_PROGRESS_LINE_H
#define DORVANE_PROGRESS_LINE_H

#include <stddef.h>
#include <stdint.h>

// The progress line "NAME  42%  4200000 of 10000000 bytes  12.5 MB/s" in
// fewer than columns characters, so that it never wraps: the name (its
// control characters shown as '?') is cut short first, then the words and
// the speed are left out; the percentage always stays.
void FormatProgressLine(char *line, size_t lineSize, int columns, const char *name,
                        uint64_t done, uint64_t total, double bytesPerSecond);

#endif
