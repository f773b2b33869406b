"""A source of 5 GiB (sparse, with data on both sides of 4 GiB) sliced by the
Windows engine (slicetool under Wine) into equal portions, as the count
method plans them, and by the Linux dorvane by size; each set rebuilt by
the Linux kelmorix and by the KELMORIX.EXE beside it under Wine, and each
output checked by a checksum.

The files are real and large: they go on the build tree's disk, never on a
memory file system, and everything written is removed, also on failure."""

import hashlib
import os
import random
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

WINE_RUN = os.environ.get("WINE_RUN", "")
SLICETOOL = os.environ.get("SLICETOOL_EXE", "")
LINUX_KELMORIX = os.environ.get("LINUX_KELMORIX", "")
KELMORIX_EXE = os.environ.get("KELMORIX_EXE", "")
DORVANE = os.environ.get("DORVANE_LINUX", "")
BIG_DIR = os.environ.get("BIG_FILES_DIR", "")

HEADER_SIZE = 309
GIB = 1 << 30
SOURCE_SIZE = 5 * GIB + 4321
# (offset, length) of the random blocks; the rest is a hole, read as zeros.
BLOCKS = ((0, 1 << 20), (3 * GIB - 100, 65536), (4 * GIB - 4096, 1 << 20),
          (4 * GIB + 777777, 1 << 20), (SOURCE_SIZE - 70000, 70000))
# A set and its rebuilt file at once, and room to spare for the others.
NEEDED_FREE = 25 * GIB
WINDOWS_COUNT = 3
LINUX_PORTION = 2 * GIB  # --size: 3 portions as well

if os.environ.get("BIG_FILES_RUN_BY"):
    print("skipped: the %s suite runs the 5 GiB round trips on this host"
          % os.environ["BIG_FILES_RUN_BY"])
    sys.exit(77)
if not all((WINE_RUN, SLICETOOL, KELMORIX_EXE, BIG_DIR)):
    print("WINE_RUN, SLICETOOL_EXE, KELMORIX_EXE and BIG_FILES_DIR are not set: run through ctest")
    sys.exit(77)
if not (os.access(DORVANE, os.X_OK) and os.access(LINUX_KELMORIX, os.X_OK)):
    print("the Linux dorvane and kelmorix (%r, %r) are not built: build the native configuration "
          "first" % (DORVANE, LINUX_KELMORIX))
    sys.exit(77)
os.makedirs(BIG_DIR, exist_ok=True)
_free = shutil.disk_usage(BIG_DIR).free
if _free < NEEDED_FREE:
    print("skipped: %.1f GiB free on the disk of %s, and the 5 GiB round trips need %d GiB"
          % (_free / GIB, BIG_DIR, NEEDED_FREE // GIB))
    sys.exit(77)


def winpath(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def windows_joiner(set_folder):
    """The KELMORIX.EXE beside portion 0; in an x86-64 build, whose host may
    run no 32-bit code, this build's own where the set carries the i686 one
    (the Linux dorvane's)."""
    own = os.path.join(set_folder, "KELMORIX.EXE")
    with open(own, "rb") as a, open(KELMORIX_EXE, "rb") as b:
        return own if a.read() == b.read() else KELMORIX_EXE


def sha256_of(path):
    """The file's checksum, read once in blocks."""
    digest = hashlib.sha256()
    with open(path, "rb") as f:
        while True:
            block = f.read(8 << 20)
            if not block:
                return digest.hexdigest()
            digest.update(block)


class BigFiles(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.mkdtemp(prefix="dorvane-big-", dir=BIG_DIR)
        try:
            cls.source = os.path.join(cls.dir, "Disk Image.IMG")
            rng = random.Random(17)
            with open(cls.source, "wb") as f:
                f.truncate(SOURCE_SIZE)
                for offset, length in BLOCKS:
                    f.seek(offset)
                    f.write(rng.randbytes(length))
            cls.checksum = sha256_of(cls.source)
        except BaseException:
            shutil.rmtree(cls.dir, ignore_errors=True)
            raise

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.dir, ignore_errors=True)

    def setUp(self):
        self.started = time.monotonic()

    def tearDown(self):
        print("%s: %.0f s" % (self.id().rsplit(".", 1)[-1], time.monotonic() - self.started),
              file=sys.stderr)

    def folder(self, name):
        path = os.path.join(self.dir, name)
        os.mkdir(path)
        self.addCleanup(shutil.rmtree, path, True)
        return path

    def check_set(self, folder, count, portion_size):
        """The set's portions: their number, their sizes below 4 GiB and the
        source's size in both header words."""
        names = sorted(os.listdir(folder))
        names.remove("KELMORIX.EXE")  # the joiner travels with the set
        names.remove("Disk Image.IMG.sfv")  # and the checksum list
        self.assertEqual(names, ["Disk Image.I%02d" % n for n in range(count)])
        carried = 0
        for n, name in enumerate(names):
            path = os.path.join(folder, name)
            size = os.path.getsize(path)
            self.assertLessEqual(size, min(portion_size, 0xFFFFFFFF), name)
            with open(path, "rb") as f:
                header = f.read(HEADER_SIZE)
            self.assertEqual(header[0], int(n == count - 1), name)
            self.assertEqual(int.from_bytes(header[29:37], "little"), SOURCE_SIZE, name)
            carried += size - HEADER_SIZE
        self.assertEqual(carried, SOURCE_SIZE)

    def rebuild_with_both_joiners(self, set_folder):
        """The Linux kelmorix, then the KELMORIX.EXE beside portion 0 under
        Wine; each output checked, then removed to make room."""
        for platform in ("linux", "windows"):
            with self.subTest(joiner=platform):
                out = os.path.join(self.dir, "out")
                os.mkdir(out)
                try:
                    if platform == "linux":
                        command = [LINUX_KELMORIX, set_folder, out]
                    else:
                        command = [WINE_RUN, windows_joiner(set_folder), winpath(set_folder),
                                   winpath(out) + "\\"]
                    run = subprocess.run(command, capture_output=True, stdin=subprocess.DEVNULL,
                                         timeout=1800)
                    self.assertEqual(run.returncode, 0, run.stdout)
                    self.assertIn(b"Disk Image.IMG Successfully restored to", run.stdout)
                    rebuilt = os.path.join(out, "Disk Image.IMG")
                    self.assertEqual(os.path.getsize(rebuilt), SOURCE_SIZE)
                    self.assertEqual(sha256_of(rebuilt), self.checksum,
                                     "the rebuilt file differs from the source")
                finally:
                    shutil.rmtree(out, ignore_errors=True)

    def test_windows_set_by_count(self):
        # The count method's equal portions, as the window plans them.
        portion_size = -(-(WINDOWS_COUNT * HEADER_SIZE + SOURCE_SIZE) // WINDOWS_COUNT)
        windows_set = self.folder("windows-set")
        run = subprocess.run([WINE_RUN, SLICETOOL, winpath(self.source), winpath(windows_set) + "\\",
                              str(portion_size)], capture_output=True, stdin=subprocess.DEVNULL,
                             timeout=1800)
        self.assertEqual(run.stdout.replace(b"\r", b""), b"RESULT 0\n", run.stderr)
        self.check_set(windows_set, WINDOWS_COUNT, portion_size)
        self.rebuild_with_both_joiners(windows_set)

    def test_linux_set_by_size(self):
        linux_set = self.folder("linux-set")
        run = subprocess.run([DORVANE, self.source, linux_set, "--size", str(LINUX_PORTION)],
                             capture_output=True, stdin=subprocess.DEVNULL, timeout=1800)
        self.assertEqual(run.returncode, 0, run.stdout)
        self.check_set(linux_set, 3, LINUX_PORTION)
        self.rebuild_with_both_joiners(linux_set)


if __name__ == "__main__":
    unittest.main()
