// Names as text (name_text.h): decoding UTF-8 strictly.
#include "name_text.h"

// For each length of a sequence: the least code point it may carry (less is
// an overlong form), and the bits of the first byte that belong to it.
static const uint32_t Least[5] = {0, 0, 0x80, 0x800, 0x10000};
static const unsigned char FirstBits[5] = {0, 0x7F, 0x1F, 0x0F, 0x07};

int Utf8Next(const char *text, size_t length, uint32_t *codePoint)
{
    const unsigned char *bytes = (const unsigned char *)text;
    uint32_t value;
    int count, i;

    if (length == 0)
        return 0;
    count = bytes[0] < 0x80 ? 1 : bytes[0] < 0xC0 ? 0 : bytes[0] < 0xE0 ? 2 : bytes[0] < 0xF0 ? 3
          : bytes[0] < 0xF8 ? 4 : 0;
    if (count == 0 || (size_t)count > length)
        return 0;
    value = bytes[0] & FirstBits[count];
    for (i = 1; i < count; i++) {
        if ((bytes[i] & 0xC0) != 0x80)
            return 0;
        value = value << 6 | (bytes[i] & 0x3F);
    }
    if (value < Least[count] || (value >= 0xD800 && value <= 0xDFFF) || value > 0x10FFFF)
        return 0;
    *codePoint = value;
    return count;
}

int IsUtf8(const char *text, size_t length)
{
    uint32_t codePoint;
    int count;

    while (length > 0) {
        count = Utf8Next(text, length, &codePoint);
        if (count == 0)
            return 0;
        text += count;
        length -= (size_t)count;
    }
    return 1;
}
