// The checksum list: its name, and the reader with the name lookup (the
// writer is in checklist_write.cpp, which the joiners do not link). Layout
// and name rule: see checklist.h.
#include "checklist.h"

#include <string.h>

static const char FileLinePrefix[] = CHECKLIST_FILE_LINE;
enum { CRC_DIGITS = 8 };

static char UpperAscii(char c)
{
    return c >= 'a' && c <= 'z' ? (char)(c - 'a' + 'A') : c;
}

static int SameNameNoCase(const char *a, const char *b, size_t length)
{
    for (size_t i = 0; i < length; i++)
        if (UpperAscii(a[i]) != UpperAscii(b[i]))
            return 0;
    return 1;
}

static int HasControl(const char *s, size_t length)
{
    for (size_t i = 0; i < length; i++)
        if ((unsigned char)s[i] < 0x20)
            return 1;
    return 0;
}

// The longest part of name[0..length) that ends between two characters of
// UTF-8: a name cut short must stay a name on every system.
static size_t CharacterStart(const char *name, size_t length)
{
    while (length > 0 && ((unsigned char)name[length] & 0xC0) == 0x80)
        length--;
    return length;
}

int ChecklistName(const char *sourceName, char out[FILE_NAME_FIELD])
{
    static const size_t MaxStem = FILE_NAME_FIELD - 1 - 4;
    size_t length = strlen(sourceName), stem = length;

    out[0] = 0;
    if (length == 0 || length >= FILE_NAME_FIELD)
        return -1;
    if (stem > MaxStem)
        stem = CharacterStart(sourceName, MaxStem);
    // Cut to the source's own name (a source named like its list): shorter.
    if (stem + 4 == length && SameNameNoCase(sourceName + stem, ".sfv", 4))
        stem = CharacterStart(sourceName, stem - 1);
    memcpy(out, sourceName, stem);
    memcpy(out + stem, ".sfv", 5);
    return 0;
}

int ChecklistEarlierName(const char *sourceName, char out[FILE_NAME_FIELD])
{
    static const size_t MaxStem = FILE_NAME_FIELD - 1 - 4;
    size_t length = strlen(sourceName), stem = length;
    const char *dot = strrchr(sourceName, '.');
    int upper = 0, lower = 0;

    out[0] = 0;
    if (length == 0 || length >= FILE_NAME_FIELD)
        return -1;
    if (dot && dot != sourceName)
        stem = (size_t)(dot - sourceName);
    for (size_t i = 0; i < length; i++) {
        upper |= sourceName[i] >= 'A' && sourceName[i] <= 'Z';
        lower |= sourceName[i] >= 'a' && sourceName[i] <= 'z';
    }
    if (stem > MaxStem)
        stem = MaxStem;
    memcpy(out, sourceName, stem);
    if (stem + 4 == length && SameNameNoCase(sourceName + stem, ".SFV", 4)) {
        if (stem == 8 || stem == MaxStem)
            out[stem - 1] = out[stem - 1] == '_' ? '-' : '_';
        else
            out[stem++] = '_';
    }
    memcpy(out + stem, lower && !upper ? ".sfv" : ".SFV", 5);
    return 0;
}

// One line of the text: [Start, Start + Length), its end of line and blanks
// at both ends left out.
struct Line {
    const char *Start;
    size_t Length;
};

static int IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

// Takes the line that starts at *at; 0 when the text is used up. A line
// ends at CR LF, LF or CR alone, as checkers read lists from any system.
static int NextLine(const char *text, size_t length, size_t *at, Line *line)
{
    const char *start = text + *at, *end = start, *stop = text + length;

    if (*at >= length)
        return 0;
    while (end < stop && *end != '\n' && *end != '\r')
        end++;
    *at = (size_t)(end - text) + 1 + (end + 1 < stop && end[0] == '\r' && end[1] == '\n');
    while (start < end && IsBlank(*start))
        start++;
    while (end > start && IsBlank(end[-1]))
        end--;
    line->Start = start;
    line->Length = (size_t)(end - start);
    return 1;
}

static int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    c = UpperAscii(c);
    return c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}

// The following Take functions read one field off the end of s[0..*n) and
// shorten *n by it; 0 when it is not there.
static int TakeHex(const char *s, size_t *n, uint32_t *value)
{
    uint32_t v = 0;
    if (*n < CRC_DIGITS)
        return 0;
    for (size_t i = *n - CRC_DIGITS; i < *n; i++) {
        int digit = HexDigit(s[i]);
        if (digit < 0)
            return 0;
        v = v << 4 | (uint32_t)digit;
    }
    *n -= CRC_DIGITS;
    *value = v;
    return 1;
}

static int TakeText(const char *s, size_t *n, const char *text)
{
    size_t k = strlen(text);
    if (*n < k || memcmp(s + *n - k, text, k) != 0)
        return 0;
    *n -= k;
    return 1;
}

static int TakeDecimal(const char *s, size_t *n, uint64_t *value)
{
    size_t start = *n;
    uint64_t v = 0;
    while (start > 0 && s[start - 1] >= '0' && s[start - 1] <= '9')
        start--;
    if (start == *n || *n - start > 20)
        return 0;
    for (size_t i = start; i < *n; i++) {
        unsigned digit = (unsigned)(s[i] - '0');
        if (v > (UINT64_MAX - digit) / 10)
            return 0;
        v = v * 10 + digit;
    }
    *n = start;
    *value = v;
    return 1;
}

// A name field: not empty, fits a FileName, no control character.
static int GoodName(const char *s, size_t length)
{
    return length > 0 && length < FILE_NAME_FIELD && !HasControl(s, length);
}

// "NAME CRC": the name is all before the last run of blanks.
static int ParseEntry(const Line *line, size_t *nameLength, uint32_t *crc)
{
    size_t n = line->Length;
    if (!TakeHex(line->Start, &n, crc) || n == 0 || !IsBlank(line->Start[n - 1]))
        return 0;
    while (n > 0 && IsBlank(line->Start[n - 1]))
        n--;
    *nameLength = n;
    return GoodName(line->Start, n);
}

// "; Sliced file NAME, SIZE bytes, CRC-32 CRC, COUNT portions", read from
// its end so that the name may hold anything but a control character.
static int ParseFileLine(const Line *line, ChecklistInfo *info)
{
    const char *s = line->Start;
    size_t n = line->Length, prefix = sizeof FileLinePrefix - 1;
    uint64_t count, size;

    if (!(TakeText(s, &n, " portions") || TakeText(s, &n, " portion")) ||
        !TakeDecimal(s, &n, &count) || !TakeText(s, &n, ", ") ||
        !TakeHex(s, &n, &info->FileCrc) || !TakeText(s, &n, " bytes, CRC-32 ") ||
        !TakeDecimal(s, &n, &size) || !TakeText(s, &n, ", ") || n < prefix ||
        !GoodName(s + prefix, n - prefix) || count < 1 || count > MAX_PORTIONS)
        return 0;
    memcpy(info->FileName, s + prefix, n - prefix);
    info->FileName[n - prefix] = 0;
    info->FileSize = size;
    info->Portions = (unsigned)count;
    return 1;
}

static int IsFileLine(const Line *line)
{
    size_t prefix = sizeof FileLinePrefix - 1;
    return line->Length >= prefix && memcmp(line->Start, FileLinePrefix, prefix) == 0;
}

// Leaves out a byte-order mark that an editor may have put first.
static size_t TextStart(const char *text, size_t length)
{
    return length >= 3 && memcmp(text, "\xEF\xBB\xBF", 3) == 0 ? 3 : 0;
}

int ChecklistParse(const char *text, size_t length, ChecklistInfo *info)
{
    Line names[MAX_PORTIONS], line;
    size_t at = TextStart(text, length), nameLength;
    unsigned number = 0, fileLines = 0;
    int result = CHECKLIST_OK;
    uint32_t crc;

    memset(info, 0, sizeof *info);
    // Each line stands alone: a bad one spoils only itself.
    while (NextLine(text, length, &at, &line)) {
        int bad = 0;
        number++;
        if (line.Length == 0 || (line.Start[0] == ';' && !IsFileLine(&line)))
            continue;
        if (line.Start[0] == ';') {
            ChecklistInfo read;
            bad = fileLines++ > 0 || !ParseFileLine(&line, &read);
            if (!bad) {
                memcpy(info->FileName, read.FileName, sizeof read.FileName);
                info->FileSize = read.FileSize;
                info->FileCrc = read.FileCrc;
                info->Portions = read.Portions;
                info->FileLineNumber = number;
            }
            info->FileLine = !bad;
        } else if (!ParseEntry(&line, &nameLength, &crc)) {
            bad = 1;
        } else {
            for (unsigned i = 0; i < info->Entries && i < MAX_PORTIONS && !bad; i++)
                bad = names[i].Length == nameLength &&
                      SameNameNoCase(names[i].Start, line.Start, nameLength);
            if (bad && result == CHECKLIST_OK) {
                result = CHECKLIST_DUPLICATE;
                info->BadLine = number;
            }
            if (!bad && info->Entries < MAX_PORTIONS) {
                names[info->Entries].Start = line.Start;
                names[info->Entries].Length = nameLength;
            }
            info->Entries += !bad;
            continue;
        }
        if (bad && result == CHECKLIST_OK) {
            result = CHECKLIST_BAD_LINE;
            info->BadLine = number;
        }
    }
    if (result == CHECKLIST_OK && (!info->FileLine || info->Entries != info->Portions))
        result = CHECKLIST_INCOMPLETE;
    return length > CHECKLIST_MAX_SIZE ? CHECKLIST_TOO_LARGE : result;
}

int ChecklistFind(const char *text, size_t length, const char *name, uint32_t *crc,
                  unsigned *lineNumber)
{
    size_t at = TextStart(text, length), wanted = strlen(name), nameLength;
    unsigned number = 0, found = 0;
    Line line;
    uint32_t listed;

    while (NextLine(text, length, &at, &line)) {
        number++;
        if (line.Length == 0 || line.Start[0] == ';' || !ParseEntry(&line, &nameLength, &listed) ||
            !SameNameAsText(line.Start, nameLength, name, wanted, 1))
            continue;
        // Named twice with two CRCs: neither line can vouch for the file.
        if (found && listed != *crc)
            return 0;
        if (!found && lineNumber)
            *lineNumber = number;
        found = 1;
        *crc = listed;
    }
    return (int)found;
}

int ChecklistLastLine(const char *text, size_t length, ChecklistInfo *info)
{
    size_t end = length, start;
    Line line;

    memset(info, 0, sizeof *info);
    if (length > CHECKLIST_MAX_SIZE)
        return 0;
    while (end > 0 && (text[end - 1] == '\n' || text[end - 1] == '\r' || IsBlank(text[end - 1])))
        end--;
    for (start = end; start > 0 && text[start - 1] != '\n' && text[start - 1] != '\r'; start--)
        ;
    line.Start = text + start;
    line.Length = end - start;
    while (line.Length > 0 && IsBlank(*line.Start)) {
        line.Start++;
        line.Length--;
    }
    return IsFileLine(&line) && ParseFileLine(&line, info);
}
