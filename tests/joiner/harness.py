"""The joiner run as a user would, on either platform: KELMORIX.EXE under
Wine with its console on a pseudo-terminal, or the Linux kelmorix in a
session whose controlling terminal (/dev/tty) is a pseudo-terminal. The
suites that apply to both are written once against the names defined here:
hostpath, SEP, run_joiner, file_state, FILE_EXISTS, KEPT_ATTRIBUTES."""

import errno
import os
import subprocess

from common import (ARCHIVE, EPOCH_AS_FILETIME, HEADER, HIDDEN, KEY_UP, READONLY,  # noqa: F401
                    FolderTest, filetime, header, portion_name, run_on_terminal, sample_data,
                    unlock, write_set)

WINE_RUN = os.environ.get("WINE_RUN", "")
KELMORIX = os.environ.get("KELMORIX_EXE", "")
WINTOOL = os.environ.get("WINTOOL_EXE", "")
# Drive A: of the test prefix is declared a floppy drive; a disk is "inserted"
# by pointing this link at a folder.
FLOPPY_LINK = os.environ.get("FLOPPY_LINK", "")
# Set in the native configuration: the Linux kelmorix, and its build that
# takes a mount table and a sysfs tree from the tests.
NATIVE = os.environ.get("KELMORIX_NATIVE", "")
NATIVE_HOOKED = os.environ.get("KELMORIX_HOOKED", "")


def flip(path, offset):
    """Damages one byte of a file in place, as a bad sector or a bad transfer would."""
    with open(path, "r+b") as f:
        f.seek(offset)
        byte = f.read(1)
        f.seek(offset)
        f.write(bytes([byte[0] ^ 0x20]))


def winpath(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def run_windows(command, cwd, **kw):
    """Runs a Windows command line under Wine; see run_on_terminal. Standard
    input and error on the pseudo-terminal give the program a console."""
    return run_on_terminal([WINE_RUN] + command, cwd, **kw)


def run_joiner(args, cwd, **kw):
    return run_windows([KELMORIX] + list(args), cwd, **kw)


def run_in_cmd(line, cwd, **kw):
    """Runs one cmd.exe line: for a current folder on another drive, or an
    environment without some variable (Wine fills TEMP from its registry,
    so it is removed inside the Windows process itself)."""
    return run_windows(["cmd", "/c", line], cwd, **kw)


def win_stat(path):
    """What Windows says of a file: attributes and the FILETIMEs of last
    access and last write, as integers."""
    proc = subprocess.run([WINE_RUN, WINTOOL, "stat", winpath(path)], capture_output=True,
                          text=True, timeout=60, stdin=subprocess.DEVNULL)
    fields = dict(item.split("=") for item in proc.stdout.split())
    if "error" in fields:
        raise AssertionError("cannot stat %s: %s" % (path, fields["error"]))

    def ft(value):
        high, low = value.split(":")
        return int(high) << 32 | int(low)

    return int(fields["attributes"], 16), ft(fields["access"]), ft(fields["write"])


def short_name(path):
    """The 8.3 name Windows gives a folder or file (Wine makes one up for
    a long name)."""
    proc = subprocess.run([WINE_RUN, WINTOOL, "short", winpath(path)], capture_output=True,
                          text=True, timeout=60, stdin=subprocess.DEVNULL)
    return proc.stdout.strip()


def run_native(args, cwd, program=None, env=None, **kw):
    """Runs the Linux kelmorix; see run_on_terminal. env holds changes to
    this process's environment, a value of None removing the variable."""
    environment = dict(os.environ)
    for name, value in (env or {}).items():
        if value is None:
            environment.pop(name, None)
        else:
            environment[name] = value
    return run_on_terminal([program or NATIVE] + list(args), cwd, controlling=True,
                           env=environment, **kw)


def native_state(path):
    """What Linux keeps of what the joiner restores, in the terms of
    win_stat: the read-only bit (no write permission) and the FILETIMEs."""
    info = os.stat(path)
    readonly = READONLY if not info.st_mode & 0o222 else 0
    return (readonly, info.st_atime_ns // 100 + EPOCH_AS_FILETIME,
            info.st_mtime_ns // 100 + EPOCH_AS_FILETIME)


if NATIVE:
    SEP = "/"
    FILE_EXISTS = errno.EEXIST
    KEPT_ATTRIBUTES = READONLY  # hidden and the others have no Linux meaning
    hostpath = os.path.realpath  # as the current folder reads
    run_joiner = run_native
    file_state = native_state
else:
    SEP = "\\"
    FILE_EXISTS = 80  # ERROR_FILE_EXISTS
    KEPT_ATTRIBUTES = READONLY | HIDDEN
    hostpath = winpath
    file_state = win_stat


class JoinerTest(FolderTest):
    def setUp(self):
        if not (NATIVE or (WINE_RUN and KELMORIX)):
            self.skipTest("KELMORIX_NATIVE, or WINE_RUN and KELMORIX_EXE, are set by the build's test run")
        super().setUp()
