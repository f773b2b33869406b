"""What the joiner's user-level tests share on every platform: slice sets
written byte by byte from the format's table, a program run with its
terminal on a pseudo-terminal (so that prompts can be answered with keys),
and a fresh folder per test."""

import fcntl
import os
import pty
import resource
import select
import shutil
import signal
import struct
import subprocess
import tempfile
import termios
import time
import unittest

HEADER = struct.Struct("<BI8s8s8sII256s16s")
assert HEADER.size == 309
EPOCH_AS_FILETIME = 116444736000000000
PROMPTS = ("Press any key when ready.\n", "Overwrite? (Y/N): ", "Press any key to close this window.\n")

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


class Run:
    def __init__(self, code, output, terminal_flags=None, terminal="", errors=""):
        self.code = code
        self.output = output
        # Standard error, when it went to a pipe of its own (errors="apart").
        self.errors = errors
        # What the program wrote to the terminal (standard error, echoes).
        self.terminal = terminal
        # The terminal's local mode flags once the program has ended (only
        # for a program that had the terminal as its controlling one).
        self.terminal_flags = terminal_flags


def wait_for_raw_mode(terminal, deadline):
    """Waits until the program reading the terminal has turned line editing
    off, so that keys reach it as keys: typed any earlier, a Ctrl+C would
    end it before it changed the mode at all."""
    while terminal is not None and termios.tcgetattr(terminal)[3] & termios.ICANON:
        if time.monotonic() > deadline:
            raise AssertionError("the terminal was never put in raw mode")
        time.sleep(0.002)


def take_shown(master):
    """What the program has written to the terminal and the test has not
    read yet. Asking the master whether it has anything waits for the bytes
    still on their way to it, so that all written so far is taken."""
    shown = b""
    while select.select([master], [], [], 0)[0]:
        try:
            chunk = os.read(master, 65536)
        except OSError:
            break
        if not chunk:
            break
        shown += chunk
    return shown


def run_on_terminal(command, cwd, answer=None, timeout=60, file_size_limit=None, console=True,
                    controlling=False, env=None, started=None, columns=None, ahead=None,
                    errors="terminal", output="pipe"):
    """Runs a command with standard input and error on a pseudo-terminal and
    standard output on a pipe (so the text is exactly what was printed).
    errors="output" sends standard error into the same pipe, "apart" into a
    pipe of its own (Run.errors); output="terminal" puts standard output on
    the pseudo-terminal too (Run.output is then empty).
    answer(n, output) is called at the n-th prompt (counted from 0) and
    returns the keys to type. With controlling True the program runs in a
    session of its own whose controlling terminal is the pseudo-terminal
    (what /dev/tty opens); with console False nothing is a terminal and
    there is no controlling terminal either. started(process) is called
    once the program runs. columns sets the terminal's width. ahead is typed
    before the program starts, so that it waits in the terminal's queue for
    the first question (typed after the start, a busy machine could let the
    program reach that question first)."""
    master, slave = pty.openpty()
    if columns is not None:
        fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", 24, columns, 0, 0))
    if not console:
        os.close(slave)
        slave = subprocess.DEVNULL

    def prepare():
        if controlling and console:
            fcntl.ioctl(0, termios.TIOCSCTTY, 0)
        if file_size_limit is not None:
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
            resource.setrlimit(resource.RLIMIT_FSIZE, (file_size_limit, file_size_limit))

    if ahead:
        os.write(master, ahead)
    error_to = {"terminal": slave, "output": subprocess.STDOUT, "apart": subprocess.PIPE}[errors]
    proc = subprocess.Popen(command, cwd=cwd, stdin=slave,
                            stdout=subprocess.PIPE if output == "pipe" else slave,
                            stderr=error_to, preexec_fn=prepare, close_fds=True, env=env,
                            start_new_session=controlling)
    if started is not None:
        started(proc)
    raw = terminal = apart = b""
    answered = 0
    deadline = time.monotonic() + timeout
    out_fd = proc.stdout.fileno() if proc.stdout else None
    err_fd = proc.stderr.fileno() if proc.stderr else None
    open_fds = [fd for fd in (out_fd, err_fd, master) if fd is not None]
    try:
        while out_fd in open_fds or err_fd in open_fds or (out_fd is None and proc.poll() is None):
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
                elif fd == err_fd:
                    apart += chunk
                else:
                    terminal += chunk
            text = (raw if out_fd is not None else terminal).decode("latin-1").replace("\r\n", "\n")
            prompts = sum(text.count(p) for p in PROMPTS)
            while answer is not None and answered < prompts:
                keys = answer(answered, text)
                answered += 1
                if keys:
                    wait_for_raw_mode(slave if controlling and console else None, deadline)
                    # What the terminal was shown goes first: a Ctrl+C
                    # would throw away what it has not yet taken.
                    terminal += take_shown(master)
                    os.write(master, keys)
        proc.wait(timeout=max(1, deadline - time.monotonic()))
        if master in open_fds:
            terminal += take_shown(master)
        flags = termios.tcgetattr(slave)[3] if controlling and console else None
    finally:
        if proc.poll() is None:
            proc.kill()
            proc.wait()
        for stream in (proc.stdout, proc.stderr):
            if stream:
                stream.close()
        os.close(master)
        if console:
            os.close(slave)
    return Run(proc.returncode, raw.decode("latin-1").replace("\r\n", "\n"), flags,
               terminal.decode("latin-1"), apart.decode("latin-1").replace("\r\n", "\n"))


def repoint(link, target):
    """Points a symbolic link at target in one step: a drive letter of a Wine
    prefix, so that a disk is swapped while nothing can see it missing."""
    new = link + ".new"
    if os.path.lexists(new):
        os.remove(new)
    os.symlink(target, new)
    os.replace(new, link)


def unlock(path):
    """Lets the test's clean-up remove a file the joiner made read-only."""
    for root, dirs, files in os.walk(path):
        for name in dirs + files:
            os.chmod(os.path.join(root, name), 0o755)


def need_tool(name):
    """The path of another program a test checks our files with (Debian's
    cksfv, rhash or par2; scripts/bootstrap installs them). Without it the
    test is skipped, but fails under CI=true: CI must not pass without what
    the test checks."""
    path = shutil.which(name)
    if path:
        return path
    if os.environ.get("CI", "").lower() == "true":
        raise AssertionError("%s is not installed, and CI needs it (scripts/bootstrap installs it)"
                             % name)
    raise unittest.SkipTest("%s is not installed (scripts/bootstrap installs it)" % name)


class FolderTest(unittest.TestCase):
    """A fresh folder per test, removed afterwards."""

    def setUp(self):
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


def write_list(folder, list_name, file_name, data, portions):
    """Writes the checksum list the slicers write beside a set: one CRC-32
    line per portion file (the paths given), the sliced file's line last."""
    import zlib
    lines = ["; Written by Dorvane 1.0.0"]
    for path in portions:
        with open(path, "rb") as f:
            lines.append("%s %08X" % (os.path.basename(path), zlib.crc32(f.read())))
    lines.append("; Sliced file %s, %d bytes, CRC-32 %08X, %d portion%s" % (
        file_name, len(data), zlib.crc32(data), len(portions), "" if len(portions) == 1 else "s"))
    with open(os.path.join(folder, list_name), "wb") as f:
        f.write("".join(line + "\r\n" for line in lines).encode())
