"""The checksum list beside a set, checked apart from the programs: each
line against zlib's CRC-32 of the file it names, and the whole list by
Debian's cksfv, run in the set's folder as a user would."""

import os
import subprocess
import sys
import zlib

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "joiner"))
from common import need_tool  # noqa: E402


def read_list(path):
    """The list's lines, each ending in CRLF (the ends are checked)."""
    with open(path, "rb") as f:
        text = f.read().decode("latin-1")
    assert text.endswith("\r\n"), text
    return text[:-2].split("\r\n")


def check_list(test, folder, list_name, file_name, data):
    """Asserts that folder/list_name lists every portion of folder's set
    (the files named like file_name with a two-digit number) with its
    CRC-32, and the sliced file's name, size and CRC-32 of data."""
    lines = read_list(os.path.join(folder, list_name))
    portions = sorted(n for n in os.listdir(folder)
                      if n[:-2] == file_name[:-2] and n[-2:].isdigit())
    test.assertTrue(lines[0].startswith("; Written by Dorvane "), lines[0])
    listed = []
    for name in portions:
        with open(os.path.join(folder, name), "rb") as f:
            listed.append("%s %08X" % (name, zlib.crc32(f.read())))
    test.assertEqual(lines[1:-1], listed)
    count = len(portions)
    test.assertEqual(lines[-1], "; Sliced file %s, %d bytes, CRC-32 %08X, %d portion%s" % (
        file_name, len(data), zlib.crc32(data), count, "" if count == 1 else "s"))


def cksfv_accepts(test, folder, list_name):
    """Whether cksfv -f LIST, run in folder, finds every file sound."""
    run = subprocess.run([need_tool("cksfv"), "-q", "-f", list_name], cwd=folder, capture_output=True,
                         stdin=subprocess.DEVNULL, timeout=60)
    return run.returncode == 0


def check_with_cksfv(test, folder, list_name, portion):
    """cksfv accepts the fresh set, and refuses it once a byte of portion
    (a file in folder) is flipped; the byte is flipped back."""
    test.assertTrue(cksfv_accepts(test, folder, list_name))
    path = os.path.join(folder, portion)
    with open(path, "r+b") as f:
        f.seek(os.path.getsize(path) // 2)
        byte = f.read(1)
        f.seek(-1, os.SEEK_CUR)
        f.write(bytes([byte[0] ^ 0x10]))
    test.assertFalse(cksfv_accepts(test, folder, list_name))
    with open(path, "r+b") as f:
        f.seek(os.path.getsize(path) // 2)
        f.write(byte)
    test.assertTrue(cksfv_accepts(test, folder, list_name))
