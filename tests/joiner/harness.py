"""The joiner run as a user would, on either platform: KELMORIX.EXE under
Wine with its console on a pseudo-terminal, or the Linux kelmorix in a
session whose controlling terminal (/dev/tty) is a pseudo-terminal. The
suites that apply to both are written once against the names defined here:
hostpath, SEP, run_joiner, file_state, FILE_EXISTS, KEPT_ATTRIBUTES, words,
DECLINED.
The Linux kelmorix says its errors on standard error: its runs here send
standard error into the output, after what standard output held, unless a
test asks otherwise (errors=...)."""

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


def run_windows(command, cwd, env=None, **kw):
    """Runs a Windows command line under Wine; see run_on_terminal. Standard
    input and error on the pseudo-terminal give the program a console. Wine
    started from a terminal gives the program a console of its own, as
    Explorer does; KELMORIX_CONSOLE_PROCESSES=2 stands for the prompt that
    shares the console, so that KELMORIX.EXE does not wait for a key at its
    end (env changes it, as run_native's does)."""
    environment = dict(os.environ, KELMORIX_CONSOLE_PROCESSES="2")
    for name, value in (env or {}).items():
        if value is None:
            environment.pop(name, None)
        else:
            environment[name] = value
    return run_on_terminal([WINE_RUN] + command, cwd, env=environment, **kw)


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


def run_native(args, cwd, program=None, env=None, errors="output", **kw):
    """Runs the Linux kelmorix; see run_on_terminal. env holds changes to
    this process's environment, a value of None removing the variable.
    Standard error goes into the output unless errors says otherwise."""
    environment = dict(os.environ)
    for name, value in (env or {}).items():
        if value is None:
            environment.pop(name, None)
        else:
            environment[name] = value
    return run_on_terminal([program or NATIVE] + list(args), cwd, controlling=True,
                           env=environment, errors=errors, **kw)


def native_state(path):
    """What Linux keeps of what the joiner restores, in the terms of
    win_stat: the read-only bit (no write permission) and the FILETIMEs."""
    info = os.stat(path)
    readonly = READONLY if not info.st_mode & 0o222 else 0
    return (readonly, info.st_atime_ns // 100 + EPOCH_AS_FILETIME,
            info.st_mtime_ns // 100 + EPOCH_AS_FILETIME)


def native_words(error):
    """An error number as the Linux kelmorix says it: ': Permission denied (13)'."""
    return ": %s (%d)" % (os.strerror(error), error)


def windows_words(error):
    """An error number as KELMORIX.EXE says it: ' = 5'."""
    return " = %d" % error


def shown_name(name):
    """A name from a header as the joiners show it, as run.output reads it
    (Latin-1): read as UTF-8, or else in code page 1252 (the ANSI code page
    of the test prefix), written out in UTF-8, control bytes escaped."""
    try:
        text = name.decode("utf-8")
    except UnicodeDecodeError:
        text = name.decode("cp1252", errors="replace")
    escaped = "".join("\\x%02X" % ord(c) if ord(c) < 0x20 or ord(c) == 0x7F else c for c in text)
    return escaped.encode("utf-8").decode("latin-1")


if NATIVE:
    words = native_words
    # The line of an overwrite question answered N.
    DECLINED = "%s already exists; it was not replaced."
    SEP = "/"
    FILE_EXISTS = errno.EEXIST
    KEPT_ATTRIBUTES = READONLY  # hidden and the others have no Linux meaning
    hostpath = os.path.realpath  # as the current folder reads
    run_joiner = run_native
    file_state = native_state
else:
    words = windows_words
    DECLINED = "Error opening %s = 80"
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
