// The checksum list's writer, which also measures the list before any
// portion is written. Layout: see checklist.h.
#include "checklist.h"

#include <string.h>

enum { MAX_VERSION = 32, CRC_DIGITS = 8 };

static int HasControl(const char *s, size_t length)
{
    for (size_t i = 0; i < length; i++)
        if ((unsigned char)s[i] < 0x20)
            return 1;
    return 0;
}

// Where the writer puts its bytes; with no buffer it only counts them.
struct Sink {
    char *Out;
    size_t Capacity;
    size_t Count;
};

static void Put(Sink *sink, const char *text, size_t length)
{
    if (sink->Out && sink->Count + length <= sink->Capacity)
        memcpy(sink->Out + sink->Count, text, length);
    sink->Count += length;
}

static void PutText(Sink *sink, const char *text)
{
    Put(sink, text, strlen(text));
}

static void PutHex(Sink *sink, uint32_t value)
{
    char digits[CRC_DIGITS];
    for (int i = CRC_DIGITS - 1; i >= 0; i--, value >>= 4)
        digits[i] = "0123456789ABCDEF"[value & 15];
    Put(sink, digits, CRC_DIGITS);
}

static void PutDecimal(Sink *sink, uint64_t value)
{
    char text[DECIMAL_TEXT_SIZE];
    PutText(sink, DecimalText(value, text));
}

// Whether the list can carry the set (see ChecklistSize).
static int CanCarry(const ChecklistSet *set)
{
    size_t length = strlen(set->FileName), version = strlen(set->Version);
    char first = length > 2 ? set->FileName[0] : '0'; // a portion name's
    return set->Portions >= 1 && set->Portions <= MAX_PORTIONS && length >= 2 &&
           length < FILE_NAME_FIELD && !HasControl(set->FileName, length) && first != ';' &&
           first != ' ' && version <= MAX_VERSION && !HasControl(set->Version, version);
}

static size_t WriteList(const ChecklistSet *set, Sink *sink)
{
    char name[FILE_NAME_FIELD];

    if (!CanCarry(set))
        return 0;
    PutText(sink, CHECKLIST_PROGRAM_LINE);
    PutText(sink, set->Version);
    PutText(sink, "\r\n");
    strcpy(name, set->FileName);
    for (unsigned n = 0; n < set->Portions; n++) {
        SetPortionNumber(name, n);
        PutText(sink, name);
        PutText(sink, " ");
        PutHex(sink, sink->Out ? set->PortionCrcs[n] : 0); // counting reads no CRC
        PutText(sink, "\r\n");
    }
    PutText(sink, CHECKLIST_FILE_LINE);
    PutText(sink, set->FileName);
    PutText(sink, ", ");
    PutDecimal(sink, set->FileSize);
    PutText(sink, " bytes, CRC-32 ");
    PutHex(sink, set->FileCrc);
    PutText(sink, ", ");
    PutDecimal(sink, set->Portions);
    PutText(sink, set->Portions == 1 ? " portion" : " portions");
    PutText(sink, "\r\n");
    return sink->Count;
}

size_t ChecklistSize(const ChecklistSet *set)
{
    Sink counter = {NULL, 0, 0};
    return WriteList(set, &counter);
}

size_t ChecklistWrite(const ChecklistSet *set, char *out, size_t capacity)
{
    Sink sink = {out, capacity, 0};
    if (!out || !set->PortionCrcs)
        return 0;
    size_t size = WriteList(set, &sink);
    return size <= capacity ? size : 0;
}
