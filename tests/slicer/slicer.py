"""Slice jobs run by the test driver slicetool.exe under Wine, with every
message box answered by the test, on disks that are real size-limited
mounts. Drive A: of a prefix of its own is the floppy drive; a disk is
inserted by pointing A: at another mount.

Mounts need root. The suite enters a mount namespace of its own, so no mount
outlives it, and runs its own Wine server there: the server opens the files,
so it must see the same mounts as the test."""

import ctypes
import os
import shutil
import subprocess
import sys
import tempfile
import unittest
from collections import namedtuple

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "joiner"))
from common import repoint, sample_data as pattern  # noqa: E402

WINE_RUN = os.environ.get("WINE_RUN", "")
SLICETOOL = os.environ.get("SLICETOOL_EXE", "")
KELMORIX = os.environ.get("KELMORIX_EXE", "")
PREFIX = os.environ.get("FLOPPY_PREFIX", "")
WINE_ENV = dict(os.environ, WINE_RUN_PREFIX=PREFIX)
DRIVE_A = os.path.join(PREFIX, "dosdevices", "a:")

HEADER_SIZE = 309

# Message box styles as the job shows them (all brought to the foreground).
PROMPT_STYLE = 0x10000         # MB_OK
QUESTION_STYLE = 0x10031       # MB_OKCANCEL | MB_ICONWARNING
RETRY_STYLE = 0x10012          # MB_ABORTRETRYIGNORE | MB_ICONERROR
ERROR_STYLE = 0x10010          # MB_OK | MB_ICONERROR
NOTICE_STYLE = 0x10030         # MB_OK | MB_ICONWARNING
IDOK, IDCANCEL, IDABORT, IDRETRY, IDIGNORE = 1, 2, 3, 4, 5

Box = namedtuple("Box", "title style text")


def prompt(disk):
    return Box("Dorvane - Next Disk", PROMPT_STYLE, "Please insert disk #%d in drive A:. " % disk)


NOT_READY = Box("Dorvane - Slice Error", RETRY_STYLE, "A: is not ready.")
OVERWRITE_TITLE = "Dorvane - Overwrite?"


def overwrite(names):
    """The overwrite question for the files names (as the job lists them)."""
    return Box(OVERWRITE_TITLE, QUESTION_STYLE,
               "Do you want to overwrite preexisting files?\n\nTo be replaced or removed: " + names)

CLONE_NEWNS = 0x00020000


def setUpModule():
    for name, value in (("WINE_RUN", WINE_RUN), ("SLICETOOL_EXE", SLICETOOL),
                        ("KELMORIX_EXE", KELMORIX), ("FLOPPY_PREFIX", PREFIX)):
        if not value:
            raise unittest.SkipTest("%s is not set: run through ctest" % name)
    enter_mount_namespace()


def enter_mount_namespace():
    """Moves this process into a mount namespace of its own, where disks can
    be mounted, or raises SkipTest. The floppy prefix's server is stopped,
    so that the next program starts one in here."""
    libc = ctypes.CDLL(None, use_errno=True)
    if os.geteuid() != 0 or libc.unshare(CLONE_NEWNS) != 0:
        raise unittest.SkipTest("mounting disks needs root and a mount namespace")
    subprocess.run(["mount", "--make-rprivate", "/"], check=True)
    probe = tempfile.mkdtemp(prefix="dorvane-mount-")
    mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=4k", "tmpfs", probe],
                             stderr=subprocess.DEVNULL).returncode == 0
    if mounted:
        global allocation_unit
        allocation_unit = os.statvfs(probe).f_frsize
        subprocess.run(["umount", probe], check=True)
    os.rmdir(probe)
    if not mounted:
        raise unittest.SkipTest("this machine does not let a test mount disks")
    # A server left over from another namespace would see other mounts.
    subprocess.run([WINE_RUN, "--stop"], env=WINE_ENV, check=True)


def tearDownModule():
    subprocess.run([WINE_RUN, "--stop"], env=WINE_ENV)


# What a disk allocates a file in; measured on a test disk when the suite
# mounts its first one. Files take whole units, so what a program leaves free
# on a disk depends on this and not on its size alone.
allocation_unit = 4096


def on_disk(size):
    """The room a file of size bytes takes on a test disk."""
    return -(-size // allocation_unit) * allocation_unit


def winpath(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def read(path):
    with open(path, "rb") as f:
        return f.read()


def free_bytes(folder):
    s = os.statvfs(folder)
    return s.f_bavail * s.f_frsize


class SliceTest(unittest.TestCase):
    """A scratch folder per test, disks mounted in it, drive A: pointing at
    one of them."""

    scratch = "dorvane-floppy-"

    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix=self.scratch)
        self.mounts = []

    def tearDown(self):
        for path in reversed(self.mounts):
            subprocess.run(["umount", path])
        shutil.rmtree(self.dir, ignore_errors=True)

    def folder(self, name):
        path = os.path.join(self.dir, name)
        os.makedirs(path, exist_ok=True)
        return path

    def disk(self, name, kib):
        """A new empty disk of kib KiB."""
        path = self.folder(name)
        subprocess.run(["mount", "-t", "tmpfs", "-o", "size=%dk" % kib, "tmpfs", path], check=True)
        self.mounts.append(path)
        return path

    def insert(self, disk):
        repoint(DRIVE_A, disk)

    def source(self, name, data):
        path = os.path.join(self.folder("src"), name)
        with open(path, "wb") as f:
            f.write(data)
        return path

    def slice(self, source, destination, portion_size, answer):
        """Runs the job; answer(box, boxes so far) gives each button.
        Returns the result code and the boxes in order."""
        proc = subprocess.Popen([WINE_RUN, SLICETOOL, winpath(source), destination, str(portion_size)],
                                cwd=self.dir, env=WINE_ENV, stdin=subprocess.PIPE,
                                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        boxes, result = [], None
        try:
            for raw in proc.stdout:
                line = raw.decode("latin-1").rstrip("\r\n")
                if line.startswith("BOX\t"):
                    _, title, style, text = line.split("\t", 3)
                    box = Box(title, int(style, 16), text.replace("\\n", "\n"))
                    boxes.append(box)
                    # No test's job asks this often: one that does asks in a loop.
                    self.assertLess(len(boxes), 200, "the job keeps asking: %r" % (box,))
                    proc.stdin.write(b"%d\n" % answer(box, boxes))
                    proc.stdin.flush()
                elif line.startswith("RESULT "):
                    result = int(line.split()[1])
            proc.wait(timeout=120)
        finally:
            if proc.poll() is None:
                proc.kill()
                proc.wait()
            proc.stdin.close()
            proc.stdout.close()
        self.assertIsNotNone(result, "the driver ended without a result")
        return result, boxes

    def gather(self, disks):
        """Every disk's files copied into one new folder, as a user would."""
        folder = tempfile.mkdtemp(prefix="gathered-", dir=self.dir)
        for disk in disks:
            for name in os.listdir(disk):
                shutil.copy(os.path.join(disk, name), folder)
        return folder

    def join(self, portions):
        """Rebuilds a set from copies of its portion files with the built
        joiner; returns the rebuilt bytes."""
        staged = self.folder("staged")
        out = self.folder("rebuilt")
        for path in portions:
            shutil.copy(path, staged)
        run = subprocess.run([WINE_RUN, KELMORIX, winpath(staged), winpath(out) + "\\"],
                             cwd=self.dir, env=WINE_ENV, stdin=subprocess.DEVNULL,
                             stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=120)
        self.assertEqual(run.returncode, 0, run.stdout.decode("latin-1"))
        names = [n for n in os.listdir(out)]
        self.assertEqual(len(names), 1, names)
        return read(os.path.join(out, names[0]))

    def assertSameSet(self, portions):
        """One set: headers equal but for byte 0, which marks only the last."""
        headers = [read(p)[:HEADER_SIZE] for p in portions]
        for h in headers:
            self.assertEqual(h[1:], headers[0][1:])
        self.assertEqual([h[0] for h in headers], [0] * (len(headers) - 1) + [1])
