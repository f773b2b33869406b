// The slice-set format: the 309-byte header that starts every portion file,
// and the naming rules that tie a set's portions together.
//
// Portable code: no operating-system calls, so that the slicer, the joiner
// on every platform and the native tests share exactly one definition.
#ifndef DORVANE_SLICE_FORMAT_H
#define DORVANE_SLICE_FORMAT_H

#include <stddef.h>
#include <stdint.h>

#include "os/os.h" // FileTime, SystemTime

// The joiner program every set carries beside portion 0.
#define JOINER_FILE_NAME "KELMORIX.EXE"

enum {
    PORTION_HEADER_SIZE = 309, // bytes before a portion's payload
    FILE_NAME_FIELD = 256,     // width of FileName, terminator included
    MAX_PORTIONS = 100         // numbers 00 to 99 live in two name characters
};

// A portion's size, header included, is a 32-bit number (and FAT32 holds no
// larger file), so a set carries at most 100 portions of 4 GiB - 310 data
// bytes; FileSizeHigh carries a larger size's high word.
static const uint32_t MAX_PORTION_SIZE = 0xFFFFFFFFu;
static const uint64_t MAX_SET_DATA = (uint64_t)MAX_PORTIONS * (MAX_PORTION_SIZE - PORTION_HEADER_SIZE);

// Header field offsets, fixed by the files already written; every read and
// write goes through these, never through the struct's memory layout.
enum {
    OFFSET_LAST_PORTION = 0,
    OFFSET_FILE_ATTRIBUTES = 1,
    OFFSET_CREATION_TIME = 5,
    OFFSET_LAST_ACCESS_TIME = 13,
    OFFSET_LAST_WRITE_TIME = 21,
    OFFSET_FILE_SIZE_LOW = 29,
    OFFSET_FILE_SIZE_HIGH = 33,
    OFFSET_FILE_NAME = 37,
    OFFSET_SLICE_TIME = 293
};

// The decoded header. FileName is kept exactly as stored: it need not hold a
// zero byte, so check it with CheckStoredFileName before using it as a string.
struct PortionHeader {
    uint8_t LastPortion;            // 1 in the set's last portion
    uint32_t FileAttributes;        // the sliced file's attribute bits
    FileTime CreationTime;          // the sliced file's three times
    FileTime LastAccessTime;
    FileTime LastWriteTime;
    uint32_t FileSizeLow;           // bytes carried by the whole set
    uint32_t FileSizeHigh;          // and its high word: nonzero from 4 GiB on
    char FileName[FILE_NAME_FIELD]; // the sliced file's name, zero-padded
    SystemTime SliceTime;           // local time when the slicing started
};

void EncodePortionHeader(const PortionHeader *header, unsigned char out[PORTION_HEADER_SIZE]);
void DecodePortionHeader(const unsigned char in[PORTION_HEADER_SIZE], PortionHeader *header);

// 1 when two encoded headers belong to the same set: equal in every byte but
// LastPortion. Portions carry no set identifier, so this is the only way to
// tell a portion of another set that happens to have the right name.
int SameSliceSet(const unsigned char a[PORTION_HEADER_SIZE],
                 const unsigned char b[PORTION_HEADER_SIZE]);

// Writes number (0 to 99) as two digits over the last two characters of path.
// Returns 0, or -1 (path untouched) when path is shorter than two characters
// or the number has more than two digits.
int SetPortionNumber(char *path, unsigned number);

// The number in the last two characters of a portion name, or -1 when they
// are not two decimal digits.
int PortionNumberOf(const char *name);

// The file-name part of a source path: after the last backslash or slash,
// else after the first colon, else the whole path. Points into path.
const char *SourceFileName(const char *path);

// Stores name into a FileName field: the field is cleared, then the name
// copied. Returns 0, or -1 (field cleared) when the name does not fit.
int StoreFileName(char field[FILE_NAME_FIELD], const char *name);

// Why a name cannot name the rebuilt file.
enum NameCheck {
    NAME_OK = 0,
    NAME_UNTERMINATED, // no zero byte within the field
    NAME_EMPTY,
    NAME_DOT,          // "." or "..": the folder itself or its parent
    NAME_SEPARATOR,    // '\', '/' or ':': another folder, drive or stream
    NAME_DEVICE,       // a Windows device (CON, NUL.TXT, COM1, COM¹, ...), not a file
    NAME_ALTERED,      // ends in '.' or ' ', which Windows drops from a file's name
    NAME_CONTROL,      // a control character (U+0001-U+001F, U+007F-U+009F): no
                       // terminal shows it as it is
    NAME_FORBIDDEN     // one of < > " | ? *, which Windows keeps out of file names
};

// A stored name read as UTF-8 (NameAsText) fits this, terminator included:
// a name of the ANSI era takes at most three bytes of UTF-8 per byte.
enum { NAME_TEXT_SIZE = 3 * (FILE_NAME_FIELD - 1) + 1 };

// NameAsText: the length bytes of a name as set carries it, as the programs
// hold it: UTF-8 as it stands when it is UTF-8, else a name of the ANSI era,
// read in the system's ANSI code page on Windows and as Windows-1252
// elsewhere (os/names.h). Into out[size], terminated. Returns 0 or an error
// number (OS_BUFFER_TOO_SMALL: NAME_TEXT_SIZE always fits a stored name).
long NameAsText(const char *name, size_t length, char *out, size_t size);

// SameNameAsText: 1 when the names a[0..aLength) and b[0..bLength), each
// read as NameAsText reads it, are one name: the same characters, with the
// letters of ASCII in either case when anyCase is 1 (as FAT compares
// names); else 0. So a checksum list or recovery data written on one
// system (in its code page, or in UTF-8) names a set's files on another.
int SameNameAsText(const char *a, size_t aLength, const char *b, size_t bLength, int anyCase);

// SameNamesAsText: SameNameAsText on two C strings.
int SameNamesAsText(const char *a, const char *b, int anyCase);

// The one name rule of the slicer and the joiners: NAME_OK when name (a C
// string) names one plain file inside the destination folder and comes back
// under the same name on Windows and on POSIX, else why not. The rule is
// one of characters, not bytes: the name is read as NameAsText reads it, so
// that no byte of a character (of UTF-8, or of a code page of two bytes a
// character) is taken for a separator or a forbidden one.
int CheckFileName(const char *name);

// 1 when CheckFileName finds nothing against name, else 0.
int FileNameIsSafe(const char *name);

// CheckFileName on a stored FileName, which need not hold a zero byte.
int CheckStoredFileName(const char field[FILE_NAME_FIELD]);

enum { DECIMAL_TEXT_SIZE = 21 }; // 2^64 - 1 has 20 digits

// Writes value in decimal into out and returns out. The C libraries of the
// two platforms disagree on how printf formats a 64-bit number (the one
// KELMORIX.EXE uses knows only its own form), so byte counts that may pass
// 4 GiB are printed as text.
char *DecimalText(uint64_t value, char out[DECIMAL_TEXT_SIZE]);

#endif
