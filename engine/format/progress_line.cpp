// The progress line of the Linux programs (progress_line.h): the figures in
// the longest form that fits, the name cut to the room left.
#include "progress_line.h"

#include <stdio.h>
#include <string.h>

// The forms of the progress line's figures, longest first: the first that
// fits the terminal is drawn.
struct ProgressForm {
    int Counts;    // "4200000 of 10000000"
    int BytesWord; // " bytes" after them
    int Speed;     // "12.5 MB/s"
};

static const ProgressForm ProgressForms[] = {{1, 1, 1}, {1, 0, 1}, {1, 0, 0}, {0, 0, 0}};

enum {
    PROGRESS_FIGURES_SIZE = 128, // the longest figures: two 20-digit counts and a speed
    PROGRESS_NAME_LEAST = 6      // a name cut to fewer characters tells nothing
};

static size_t FormatFigures(char *figures, const ProgressForm *form, uint64_t done,
                            uint64_t total, double bytesPerSecond)
{
    size_t length;

    length = (size_t)snprintf(figures, PROGRESS_FIGURES_SIZE, "%3u%%",
                              (unsigned)(total ? done * 100 / total : 100));
    if (form->Counts)
        length += (size_t)snprintf(figures + length, PROGRESS_FIGURES_SIZE - length,
                                   "  %llu of %llu%s", (unsigned long long)done,
                                   (unsigned long long)total, form->BytesWord ? " bytes" : "");
    if (form->Speed && length < PROGRESS_FIGURES_SIZE)
        length += (size_t)snprintf(figures + length, PROGRESS_FIGURES_SIZE - length,
                                   "  %.1f MB/s", bytesPerSecond / 1e6);
    return length < PROGRESS_FIGURES_SIZE ? length : PROGRESS_FIGURES_SIZE - 1;
}

void FormatProgressLine(char *line, size_t lineSize, int columns, const char *name,
                        uint64_t done, uint64_t total, double bytesPerSecond)
{
    char figures[PROGRESS_FIGURES_SIZE];
    size_t limit, length = 0, room, nameLength = strlen(name), cut, at = 0, i;

    // The last column is left free: a character there makes some
    // terminals wrap the line before the next one is drawn.
    limit = columns > 1 ? (size_t)columns - 1 : 1;
    if (limit > lineSize - 1)
        limit = lineSize - 1;
    for (i = 0; i < sizeof ProgressForms / sizeof ProgressForms[0]; i++) {
        length = FormatFigures(figures, &ProgressForms[i], done, total, bytesPerSecond);
        if (length <= limit)
            break;
    }
    if (length > limit)
        length = limit;
    room = limit - length > 2 ? limit - length - 2 : 0;
    if (room >= PROGRESS_NAME_LEAST && nameLength) {
        cut = nameLength;
        if (nameLength > room) {
            // Cut between characters: never inside a UTF-8 sequence.
            for (cut = room - 3; cut > 0 && (name[cut] & 0xC0) == 0x80; cut--)
                ;
        }
        for (; at < cut; at++) {
            unsigned char c = (unsigned char)name[at];
            line[at] = c < 0x20 || c == 0x7F ? '?' : (char)c;
        }
        if (cut < nameLength) {
            memcpy(line + at, "...", 3);
            at += 3;
        }
        memcpy(line + at, "  ", 2);
        at += 2;
    }
    memcpy(line + at, figures, length);
    line[at + length] = 0;
}
