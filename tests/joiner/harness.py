"""Shared pieces of the joiner's user-level tests: slice sets written byte
by byte from the format's table, and KELMORIX.EXE run under Wine with its
console on a pseudo-terminal, so that prompts can be answered with keys."""

import os
import pty
import resource
import select
import shutil
import signal
import struct
import subprocess
import tempfile
import time
import unittest

WINE_RUN = os.environ.get("WINE_RUN", "")
KELMORIX = os.environ.get("KELMORIX_EXE", "")
WINTOOL = os.environ.get("WINTOOL_EXE", "")
# Drive A: of the test prefix is declared a floppy drive; a disk is "inserted"
# by pointing this link at a folder.
FLOPPY_LINK = os.environ.get("FLOPPY_LINK", "")

HEADER = struct.Struct("<BI8s8s8sII256s16s")
assert HEADER.size == 309
EPOCH_AS_FILETIME = 116444736000000000
PROMPTS = ("Press any key when ready.\n", "Overwrite? (Y/N): ")

ARCHIVE, READONLY, HIDDEN = 0x20, 0x01, 0x02
KEY_UP = b"\x1b[A"


def filetime(unix_seconds):
    return unix_seconds * 10**7 + EPOCH_AS_FILETIME


def header(name, size, last=0, attributes=ARCHIVE, access=1000000000, write=1100000000,
           creation=900000000, size_high=0, name_field=None):
    """One encoded header. Times are Unix seconds; name_field replaces the
    zero-padded name when a test needs a damaged one."""
    field = name_field if name_field is not None else name.encode().ljust(256, b"\0")
    times = [struct.pack("<Q", filetime(t)) for t in (creation, access, write)]
    clock = struct.pack("<8H", 2026, 12, 1, 7, 8, 9, 10, 0)
    return HEADER.pack(last, attributes, *times, size & 0xFFFFFFFF, size_high, field, clock)


def portion_name(path, number):
    return path[:-2] + "%02d" % number


def write_set(folder, source_name, data, portion_size, **fields):
    """Writes data as a folder-mode slice set of portion_size-byte portion
    files (header included); returns the portion paths in order."""
    room = portion_size - HEADER.size
    count = max(1, -(-len(data) // room))
    paths = []
    for n in range(count):
        chunk = data[n * room:(n + 1) * room]
        path = portion_name(os.path.join(folder, source_name), n)
        last = 1 if n == count - 1 else 0
        with open(path, "wb") as f:
            f.write(header(source_name, len(data), last=last, **fields) + chunk)
        paths.append(path)
    return paths


def sample_data(size, seed=1):
    """Bytes that differ at every offset in a way a shift would show."""
    out = bytearray(size)
    x = seed
    for i in range(size):
        x = (x * 1103515245 + 12345) & 0x7FFFFFFF
        out[i] = x >> 16 & 0xFF
    return bytes(out)


def winpath(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class Run:
    def __init__(self, code, output):
        self.code = code
        self.output = output


def run_windows(command, cwd, answer=None, timeout=60, file_size_limit=None, console=True):
    """Runs a Windows command line under Wine with standard input and error
    on a pseudo-terminal (so the program has a console to read keys from) and
    standard output on a pipe (so the text is exactly what was printed).
    answer(n, output) is called at the n-th prompt (counted from 0) and
    returns the keys to type. With console False nothing is a terminal, so
    the program has no console to read keys from."""
    master, slave = pty.openpty()
    if not console:
        os.close(slave)
        slave = subprocess.DEVNULL

    def limit():
        if file_size_limit is not None:
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
            resource.setrlimit(resource.RLIMIT_FSIZE, (file_size_limit, file_size_limit))

    proc = subprocess.Popen([WINE_RUN] + command, cwd=cwd, stdin=slave, stdout=subprocess.PIPE,
                            stderr=slave, preexec_fn=limit, close_fds=True)
    if console:
        os.close(slave)
    raw = b""
    answered = 0
    deadline = time.monotonic() + timeout
    out_fd = proc.stdout.fileno()
    open_fds = [out_fd, master]
    try:
        while out_fd in open_fds:
            if time.monotonic() > deadline:
                raise AssertionError("no end after %ss; output so far:\n%s" % (timeout, raw.decode("latin-1")))
            ready, _, _ = select.select(open_fds, [], [], 0.2)
            for fd in ready:
                try:
                    chunk = os.read(fd, 65536)
                except OSError:
                    chunk = b""
                if not chunk:
                    open_fds.remove(fd)
                elif fd == out_fd:
                    raw += chunk
            text = raw.decode("latin-1").replace("\r\n", "\n")
            prompts = sum(text.count(p) for p in PROMPTS)
            while answer is not None and answered < prompts:
                keys = answer(answered, text)
                answered += 1
                if keys:
                    os.write(master, keys)
        proc.wait(timeout=max(1, deadline - time.monotonic()))
    finally:
        if proc.poll() is None:
            proc.kill()
            proc.wait()
        proc.stdout.close()
        os.close(master)
    return Run(proc.returncode, raw.decode("latin-1").replace("\r\n", "\n"))


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


def unlock(path):
    """Lets the test's clean-up remove a file the joiner made read-only."""
    for root, dirs, files in os.walk(path):
        for name in dirs + files:
            os.chmod(os.path.join(root, name), 0o755)


class JoinerTest(unittest.TestCase):
    """A fresh folder per test, removed afterwards."""

    def setUp(self):
        if not (WINE_RUN and KELMORIX):
            self.skipTest("WINE_RUN and KELMORIX_EXE are set by the build's test run")
        self.dir = tempfile.mkdtemp(prefix="kelmorix-test-")

    def tearDown(self):
        unlock(self.dir)
        shutil.rmtree(self.dir, ignore_errors=True)

    def folder(self, name):
        path = os.path.join(self.dir, name)
        os.makedirs(path, exist_ok=True)
        return path

    def read(self, path):
        with open(path, "rb") as f:
            return f.read()

    def assertEnds(self, run, code, last_line):
        self.assertEqual(run.code, code, run.output)
        lines = run.output.rstrip("\n").split("\n")
        self.assertIn(last_line, lines, run.output)
