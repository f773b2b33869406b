"""The LZ77 packing of a help file's topic blocks, for scripts/write-help."""

import struct

MATCH_SHORTEST, MATCH_LONGEST, MATCH_DISTANCE = 3, 18, 4096


def compress(data):
    """The topic blocks' LZ77 form: a flag byte before every eight items,
    its bits from the lowest on telling a byte as it is (0) from a two-byte
    reference (1) to 3 to 18 bytes 1 to 4096 bytes back, whose low 12 bits
    are the distance less one and high 4 the length less three. A reference
    never reaches into the bytes it produces, so copying it in one piece is
    as right as copying byte by byte."""
    out, starts, at = bytearray(), {}, 0

    def remember(upto):
        for k in range(remember.next, min(upto, len(data) - 2)):
            starts.setdefault(data[k:k + 3], []).append(k)
        remember.next = max(remember.next, upto)
    remember.next = 0

    while at < len(data):
        flags_at = len(out)
        out.append(0)
        for bit in range(8):
            if at >= len(data):
                break
            length, distance = 0, 0
            for earlier in reversed(starts.get(data[at:at + 3], [])[-64:]):
                if at - earlier > MATCH_DISTANCE:
                    break
                most = min(MATCH_LONGEST, len(data) - at, at - earlier)
                n = 0
                while n < most and data[earlier + n] == data[at + n]:
                    n += 1
                if n > length:
                    length, distance = n, at - earlier
            if length >= MATCH_SHORTEST:
                out[flags_at] |= 1 << bit
                out += struct.pack("<H", (distance - 1) | (length - MATCH_SHORTEST) << 12)
                at += length
            else:
                out.append(data[at])
                at += 1
            remember(at)
    return bytes(out)
