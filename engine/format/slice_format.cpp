#include "slice_format.h"

#include <string.h>

#include "name_text.h"
#include "os/names.h"

static void PutU16(unsigned char *p, uint16_t v)
{
    p[0] = (unsigned char)(v & 0xFF);
    p[1] = (unsigned char)(v >> 8);
}

static void PutU32(unsigned char *p, uint32_t v)
{
    PutU16(p, (uint16_t)(v & 0xFFFF));
    PutU16(p + 2, (uint16_t)(v >> 16));
}

static uint16_t GetU16(const unsigned char *p)
{
    return (uint16_t)(p[0] | (p[1] << 8));
}

static uint32_t GetU32(const unsigned char *p)
{
    return (uint32_t)GetU16(p) | ((uint32_t)GetU16(p + 2) << 16);
}

static void PutFileTime(unsigned char *p, const FileTime *t)
{
    PutU32(p, t->LowDateTime);
    PutU32(p + 4, t->HighDateTime);
}

static void GetFileTime(const unsigned char *p, FileTime *t)
{
    t->LowDateTime = GetU32(p);
    t->HighDateTime = GetU32(p + 4);
}

void EncodePortionHeader(const PortionHeader *h, unsigned char out[PORTION_HEADER_SIZE])
{
    const SystemTime *s = &h->SliceTime;
    const uint16_t words[8] = {s->Year, s->Month, s->DayOfWeek, s->Day,
                               s->Hour, s->Minute, s->Second, s->Milliseconds};
    int i;

    out[OFFSET_LAST_PORTION] = h->LastPortion;
    PutU32(out + OFFSET_FILE_ATTRIBUTES, h->FileAttributes);
    PutFileTime(out + OFFSET_CREATION_TIME, &h->CreationTime);
    PutFileTime(out + OFFSET_LAST_ACCESS_TIME, &h->LastAccessTime);
    PutFileTime(out + OFFSET_LAST_WRITE_TIME, &h->LastWriteTime);
    PutU32(out + OFFSET_FILE_SIZE_LOW, h->FileSizeLow);
    PutU32(out + OFFSET_FILE_SIZE_HIGH, h->FileSizeHigh);
    memcpy(out + OFFSET_FILE_NAME, h->FileName, FILE_NAME_FIELD);
    for (i = 0; i < 8; i++)
        PutU16(out + OFFSET_SLICE_TIME + 2 * i, words[i]);
}

void DecodePortionHeader(const unsigned char in[PORTION_HEADER_SIZE], PortionHeader *h)
{
    const unsigned char *s = in + OFFSET_SLICE_TIME;

    h->LastPortion = in[OFFSET_LAST_PORTION];
    h->FileAttributes = GetU32(in + OFFSET_FILE_ATTRIBUTES);
    GetFileTime(in + OFFSET_CREATION_TIME, &h->CreationTime);
    GetFileTime(in + OFFSET_LAST_ACCESS_TIME, &h->LastAccessTime);
    GetFileTime(in + OFFSET_LAST_WRITE_TIME, &h->LastWriteTime);
    h->FileSizeLow = GetU32(in + OFFSET_FILE_SIZE_LOW);
    h->FileSizeHigh = GetU32(in + OFFSET_FILE_SIZE_HIGH);
    memcpy(h->FileName, in + OFFSET_FILE_NAME, FILE_NAME_FIELD);
    h->SliceTime.Year = GetU16(s);
    h->SliceTime.Month = GetU16(s + 2);
    h->SliceTime.DayOfWeek = GetU16(s + 4);
    h->SliceTime.Day = GetU16(s + 6);
    h->SliceTime.Hour = GetU16(s + 8);
    h->SliceTime.Minute = GetU16(s + 10);
    h->SliceTime.Second = GetU16(s + 12);
    h->SliceTime.Milliseconds = GetU16(s + 14);
}

int SameSliceSet(const unsigned char a[PORTION_HEADER_SIZE],
                 const unsigned char b[PORTION_HEADER_SIZE])
{
    return memcmp(a + 1, b + 1, PORTION_HEADER_SIZE - 1) == 0;
}

int SetPortionNumber(char *path, unsigned number)
{
    size_t length = strlen(path);

    if (length < 2 || number >= MAX_PORTIONS)
        return -1;
    path[length - 2] = (char)('0' + number / 10);
    path[length - 1] = (char)('0' + number % 10);
    return 0;
}

int PortionNumberOf(const char *name)
{
    size_t length = strlen(name);
    char tens, units;

    if (length < 2)
        return -1;
    tens = name[length - 2];
    units = name[length - 1];
    if (tens < '0' || tens > '9' || units < '0' || units > '9')
        return -1;
    return (tens - '0') * 10 + (units - '0');
}

const char *SourceFileName(const char *path)
{
    // Windows takes a forward slash for a backslash in a path: a name cut
    // only at backslashes would keep folders, and its portions would be
    // written outside the destination.
    const char *backslash = strrchr(path, '\\');
    const char *slash = strrchr(path, '/');
    const char *colon;

    if (slash > backslash)
        backslash = slash;
    if (backslash)
        return backslash + 1;
    colon = strchr(path, ':');
    return colon ? colon + 1 : path;
}

int StoreFileName(char field[FILE_NAME_FIELD], const char *name)
{
    size_t length = strlen(name);

    memset(field, 0, FILE_NAME_FIELD);
    if (length >= FILE_NAME_FIELD)
        return -1;
    memcpy(field, name, length);
    return 0;
}

// Names Windows gives its devices in every folder, whatever follows a dot:
// "NUL.TXT" is the device too. A set must rebuild the same everywhere, so
// they are refused on every platform.
static const char *const DeviceNames[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
static const char *const NumberedDevices[] = {"COM", "LPT"}; // followed by a digit 1 to 9
// Windows takes COM¹ to LPT³, the superscript digits, for devices as well:
// U+00B9, U+00B2 and U+00B3 in UTF-8.
static const char *const SuperscriptDigits[] = {"\xC2\xB9", "\xC2\xB2", "\xC2\xB3"};

// Equal but for the case of ASCII letters (b is upper case), in any locale.
static int SameLetters(const char *a, const char *b, size_t length)
{
    size_t i;

    for (i = 0; i < length; i++)
        if ((a[i] >= 'a' && a[i] <= 'z' ? a[i] - 'a' + 'A' : a[i]) != b[i])
            return 0;
    return 1;
}

// name is UTF-8.
static int IsDeviceName(const char *name)
{
    size_t length = strcspn(name, ".");
    size_t i, j;

    while (length > 0 && name[length - 1] == ' ')
        length--; // "NUL .TXT" is the device as well
    for (i = 0; i < sizeof DeviceNames / sizeof DeviceNames[0]; i++)
        if (length == strlen(DeviceNames[i]) && SameLetters(name, DeviceNames[i], length))
            return 1;
    for (i = 0; i < sizeof NumberedDevices / sizeof NumberedDevices[0]; i++) {
        if (length < 4 || !SameLetters(name, NumberedDevices[i], 3))
            continue;
        if (length == 4 && name[3] >= '1' && name[3] <= '9')
            return 1;
        for (j = 0; j < 3; j++)
            if (length == 5 && memcmp(name + 3, SuperscriptDigits[j], 2) == 0)
                return 1;
    }
    return 0;
}

long NameAsText(const char *name, size_t length, char *out, size_t size)
{
    if (IsUtf8(name, length)) {
        if (length >= size)
            return OS_BUFFER_TOO_SMALL;
        memcpy(out, name, length);
        out[length] = 0;
        return 0;
    }
    return OsLegacyNameToUtf8(name, length, out, size);
}

// The name as text: itself when it is UTF-8 (or too long to be a stored
// name), else read into out; *length follows.
static const char *AsText(const char *name, size_t *length, char out[NAME_TEXT_SIZE])
{
    if (IsUtf8(name, *length) || *length >= FILE_NAME_FIELD ||
        NameAsText(name, *length, out, NAME_TEXT_SIZE) != 0)
        return name;
    *length = strlen(out);
    return out;
}

int SameNameAsText(const char *a, size_t aLength, const char *b, size_t bLength, int anyCase)
{
    char aText[NAME_TEXT_SIZE], bText[NAME_TEXT_SIZE];
    size_t i;
    char x, y;

    a = AsText(a, &aLength, aText);
    b = AsText(b, &bLength, bText);
    if (aLength != bLength)
        return 0;
    for (i = 0; i < aLength; i++) {
        x = a[i];
        y = b[i];
        if (anyCase && x >= 'a' && x <= 'z')
            x = (char)(x - 'a' + 'A');
        if (anyCase && y >= 'a' && y <= 'z')
            y = (char)(y - 'a' + 'A');
        if (x != y)
            return 0;
    }
    return 1;
}

int SameNamesAsText(const char *a, const char *b, int anyCase)
{
    return SameNameAsText(a, strlen(a), b, strlen(b), anyCase);
}

// The rule on a name that is UTF-8 from end to end.
static int CheckText(const char *name)
{
    size_t length = strlen(name), at;
    uint32_t c;
    int bytes;

    if (length == 0)
        return NAME_EMPTY;
    if (strcmp(name, ".") == 0 || strcmp(name, "..") == 0)
        return NAME_DOT;
    for (at = 0; at < length; at += (size_t)bytes) {
        bytes = Utf8Next(name + at, length - at, &c);
        if (c < 0x20 || (c >= 0x7F && c <= 0x9F))
            return NAME_CONTROL;
    }
    if (strpbrk(name, "\\/:"))
        return NAME_SEPARATOR;
    if (strpbrk(name, "<>\"|?*"))
        return NAME_FORBIDDEN;
    if (IsDeviceName(name))
        return NAME_DEVICE;
    if (name[length - 1] == '.' || name[length - 1] == ' ')
        return NAME_ALTERED;
    return NAME_OK;
}

int CheckFileName(const char *name)
{
    size_t length = strlen(name);
    char text[NAME_TEXT_SIZE];

    if (IsUtf8(name, length))
        return CheckText(name);
    // A name of the ANSI era is checked as it will be read; one too long
    // for a header's field, or unreadable, can name no rebuilt file.
    if (length >= FILE_NAME_FIELD || NameAsText(name, length, text, sizeof text) != 0)
        return NAME_UNTERMINATED;
    return CheckText(text);
}

int FileNameIsSafe(const char *name)
{
    return CheckFileName(name) == NAME_OK;
}

int CheckStoredFileName(const char field[FILE_NAME_FIELD])
{
    if (!memchr(field, 0, FILE_NAME_FIELD))
        return NAME_UNTERMINATED;
    return CheckFileName(field);
}

char *DecimalText(uint64_t value, char out[DECIMAL_TEXT_SIZE])
{
    char digits[DECIMAL_TEXT_SIZE];
    size_t count = 0, i;

    do {
        digits[count++] = (char)('0' + value % 10);
        value /= 10;
    } while (value);
    for (i = 0; i < count; i++)
        out[i] = digits[count - 1 - i];
    out[count] = 0;
    return out;
}
