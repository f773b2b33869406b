// The checksum list written beside a slice set: its name, its text, and the
// reading of that text back.
//
// The list follows the SFV convention, so that common checkers verify a set
// without our joiner: one line "NAME CRC" per file, the CRC-32 in eight hex
// digits, comment lines starting with ';'. Exactly as written (CRLF ends
// every line, hex in upper case, NAME the portion file's name without any
// folder):
//
//   ; Written by Dorvane 1.0.0
//   BIG.D00 1A2B3C4D
//   BIG.D01 5E6F7A8B
//   ; Sliced file BIG.DAT, 1048576 bytes, CRC-32 CBF43926, 2 portions
//
// The first line names the program and its version. Each portion line holds
// the CRC of the whole portion file, header included, so that damage to a
// header is found too. The last line gives the sliced file's name (as the
// headers carry it), its size in decimal and the CRC-32 of its data, and the
// number of portion lines ("1 portion" for one): coming last, it also tells
// a complete list from one cut short.
//
// The list's name: the source's whole file name followed by ".sfv"
// (NOTES.DAT.sfv, as NOTES.DAT.par2 names its recovery data), so that two
// sources whose sets can share a folder (A.DAT and A.TXT) never share a
// list. A name that would pass 255 bytes is cut to leave room for ".sfv",
// between two characters of UTF-8, and a byte sooner where the cut name
// would be the source's own; two such long names may be cut alike, so the
// slicer never replaces a list that names another source, and the joiners
// take only a list that is their set's (the last line). The list's name ends in "sfv", never in two
// digits, so it is never a portion's name nor found by the first-portion
// search "*00", and never KELMORIX.EXE. Earlier slicers named the list by
// another rule (ChecklistEarlierName), which the joiners still look for.
//
// Portable code: no operating-system calls.
#ifndef DORVANE_CHECKLIST_H
#define DORVANE_CHECKLIST_H

#include <stddef.h>
#include <stdint.h>

#include "format/slice_format.h"

// The fixed starts of the two comment lines.
#define CHECKLIST_PROGRAM_LINE "; Written by Dorvane "
#define CHECKLIST_FILE_LINE "; Sliced file "

// No list a joiner accepts is longer: 100 portion lines of 255-character
// names, the two comments, and room for a few more. A longer file is not read.
enum { CHECKLIST_MAX_SIZE = 32768 };

// Writes the list's name for a source file name (see above) into out.
// Returns 0, or -1 (out empty) when the name is empty or too long.
int ChecklistName(const char *sourceName, char out[FILE_NAME_FIELD]);

// The name earlier slicers gave the list, found by the joiners and removed
// with the set it belongs to: the source's name with its extension (after
// the last dot, unless that dot starts the name) replaced by ".SFV", or
// ".sfv" when the name has lower-case letters and no upper-case ones; with
// none, ".SFV" appended (BIG.DAT: BIG.SFV). Where that is the source's own
// name (X.SFV), the stem gets '_' appended (X_.SFV), or, when it has 8
// characters or the longest a name allows, its last character becomes '_'
// ('-' when it is '_' already). Two sources may share it (A.DAT, A.TXT):
// only the list's contents tell whose it is. Returns as ChecklistName.
int ChecklistEarlierName(const char *sourceName, char out[FILE_NAME_FIELD]);

// What the list records about a set.
struct ChecklistSet {
    const char *Version;         // the writing program's version, e.g. "1.0.0"
    const char *FileName;        // the sliced file's name as the headers carry it
    uint64_t FileSize;           // its size in bytes
    uint32_t FileCrc;            // CRC-32 of its data
    unsigned Portions;           // 1 to 100
    const uint32_t *PortionCrcs; // CRC-32 of each portion file, header included
};

// The list's size in bytes, known before any portion is written (the CRCs
// are not read). 0 when the list cannot carry the set: no portion or more
// than 100, a name shorter than 2 or longer than 255 characters or with a
// control character, a portion name starting with ';' or a blank (checkers
// read it as a comment or drop the blank), or a version over 32 characters.
size_t ChecklistSize(const ChecklistSet *set);

// Writes the list into out. Returns its size (as ChecklistSize), or 0 with
// nothing to be used when the set cannot be carried or capacity is short.
size_t ChecklistWrite(const ChecklistSet *set, char *out, size_t capacity);

// What a list read back says about the sliced file, from its intact lines.
struct ChecklistInfo {
    char FileName[FILE_NAME_FIELD]; // zero-terminated
    uint64_t FileSize;
    uint32_t FileCrc;
    unsigned Portions;              // the number of portion lines the file line gives
    int FileLine;                   // 1: the fields above come from an intact file line
    unsigned FileLineNumber;        // that line's number, counted from 1
    unsigned Entries;               // intact portion lines, each name counted once
    unsigned BadLine;               // the first line that failed, counted from 1, or 0
};

enum ChecklistResult {
    CHECKLIST_OK = 0,
    CHECKLIST_TOO_LARGE,  // longer than CHECKLIST_MAX_SIZE
    CHECKLIST_BAD_LINE,   // a line is neither blank, comment nor "NAME CRC", or a
                          // second file line (BadLine says which)
    CHECKLIST_DUPLICATE,  // a name is listed twice (BadLine is the second)
    CHECKLIST_INCOMPLETE  // no file line, or not as many portion lines as it says
};

// Reads a whole list as the common checkers do, each line on its own: LF,
// CRLF or CR line ends, blank lines, comments, hex in either case, blanks
// around the fields. A damaged line (cut short, a control byte, a CRC of
// another width, a field out of range) spoils that line only. Reads
// text[0..length) only; no terminator needed. Returns the first thing
// found wrong, or CHECKLIST_OK; info is filled from the intact lines in
// every case (a second file line spoils both).
int ChecklistParse(const char *text, size_t length, ChecklistInfo *info);

// Reads the list's last line (blank lines after it aside, any line end),
// which names the set the list belongs to. Returns 1 with info's FileName,
// FileSize, FileCrc and Portions set when it is the sliced-file line; 0
// when the list is cut short or that line is damaged.
int ChecklistLastLine(const char *text, size_t length, ChecklistInfo *info);

// Finds the CRC that the intact lines list for a file name, compared
// without regard to the case of ASCII letters, as FAT compares names.
// Returns 1 and sets *crc (and *line, the line's number from 1, when not
// NULL) when listed; 0 when no intact line names it, or when two give it
// different CRCs (neither can vouch for the file).
int ChecklistFind(const char *text, size_t length, const char *name, uint32_t *crc,
                  unsigned *line = NULL);

#endif
