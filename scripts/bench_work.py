"""What scripts/bench times: the places, the programs' runs and the
yardsticks' (Work), each checked against the source, and the rows that pair
them (ROWS). A new row is a line in ROWS and, for new work, a contender or
two in Work."""
import argparse
import json
import os
import platform
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))
OUT = os.path.join(ROOT, "build", "bench")
NATIVE = os.path.join(ROOT, "build", "bench-native")
SHM = "/dev/shm"
DISK = os.path.join(ROOT, "build", "bench-disk")
TMPFS_PLACE, DISK_PLACE = "tmpfs", "disk"
PIECES = 100
HEADER = 309
NAME = "BIG.DAT"
# Files alive at once in a place: the source, the set to join, cat's pieces,
# the set with a portion lost and one output.
COPIES = 5
DROP_CACHES = "/proc/sys/vm/drop_caches"


def say(text):
    print(text, flush=True)


def fail(text):
    sys.exit("bench: " + text)


def parse_size(text):
    units = {"": 1, "K": 1 << 10, "M": 1 << 20, "G": 1 << 30}
    t = text.strip().upper().replace("IB", "").replace("B", "")
    unit = t[-1:] if t[-1:] in "KMG" else ""
    try:
        return int(float(t[:len(t) - len(unit)]) * units[unit])
    except ValueError:
        raise argparse.ArgumentTypeError("not a size: " + text)


def size_name(size):
    for unit, factor in (("GiB", 1 << 30), ("MiB", 1 << 20), ("KiB", 1 << 10)):
        if size >= factor and size % factor == 0:
            return "%d %s" % (size // factor, unit)
    return "%d bytes" % size


def run_quiet(command, **kwargs):
    result = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                            **kwargs)
    if result.returncode:
        fail("%s failed:\n%s" % (" ".join(command), result.stdout[-2000:]))
    return result.stdout


# --- the programs ---------------------------------------------------------

def windows_build(chosen):
    """The Windows build tree to use: the shipped i686 one where this host
    runs 32-bit code, else the x86-64 build of the same sources."""
    if chosen:
        return os.path.abspath(chosen), None
    probe = subprocess.run([os.path.join(ROOT, "scripts", "wine32-probe")],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    if probe.returncode == 0:
        return os.path.join(ROOT, "build", "windows"), "windows"
    return os.path.join(ROOT, "build", "windows-x64"), "windows-x64"


def find_program(tree, name):
    for folder, _, files in os.walk(tree):
        if name in files and os.access(os.path.join(folder, name), os.X_OK):
            return os.path.join(folder, name)
    return None


def build(windows_tree, preset):
    say("== building: Linux programs (Release) in %s" % os.path.relpath(NATIVE, ROOT))
    if not os.path.exists(os.path.join(NATIVE, "build.ninja")):
        run_quiet(["cmake", "-S", ROOT, "-B", NATIVE, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Release",
                   "-DBUILD_TESTING=OFF"])
    run_quiet(["cmake", "--build", NATIVE])
    say("== building: KELMORIX.EXE and slicetool.exe in %s" % os.path.relpath(windows_tree, ROOT))
    if preset and not os.path.exists(os.path.join(windows_tree, "build.ninja")):
        run_quiet(["cmake", "--preset", preset], cwd=ROOT)
    run_quiet(["cmake", "--build", windows_tree, "--target", "kelmorix", "slicetool"])
    programs = {
        "kelmorix": find_program(NATIVE, "kelmorix"),
        "dorvane": find_program(NATIVE, "dorvane"),
        "KELMORIX.EXE": find_program(windows_tree, "KELMORIX.EXE"),
        "slicetool": find_program(windows_tree, "slicetool.exe"),
        "wine-run": os.path.join(windows_tree, "wine-run"),
    }
    for name in ("kelmorix", "KELMORIX.EXE", "slicetool", "wine-run"):
        if not programs[name] or not os.path.exists(programs[name]):
            fail("no %s after the build" % name)
    return programs


def wine_environment(wine_run):
    """What wine-run --env prints: the settings its programs run with, and
    the loader (WINE)."""
    lines = run_quiet([wine_run, "--env"]).splitlines()
    environment = dict(line.split("=", 1) for line in lines if "=" in line)
    if "WINE" not in environment:
        fail("wine-run --env named no loader")
    return environment


def winpath(path):
    return "Z:" + path.replace("/", "\\")


# --- one timed run --------------------------------------------------------

def written(folder):
    """The files under a folder."""
    return [os.path.join(d, n) for d, _, names in os.walk(folder) for n in names]


def timed(command, stdout=None, cwd=None, durable=None):
    """Runs a command; with durable (a folder), then sync of every file written
    there (fsync of each: the writes of other programs on the same disk are
    not counted). Returns (seconds, exit code)."""
    sink = open(stdout, "wb") if stdout else subprocess.DEVNULL
    try:
        start = time.perf_counter()
        code = subprocess.run(command, stdin=subprocess.DEVNULL, stdout=sink,
                              stderr=subprocess.DEVNULL, cwd=cwd).returncode
        files = written(durable) if durable and not code else []
        if files:  # sync with no file named would sync the whole system
            code = subprocess.run(["sync", "--"] + files).returncode
        return time.perf_counter() - start, code
    finally:
        if stdout:
            sink.close()


def drop_caches():
    """Writes the disk's dirty pages and empties the page cache; False where
    this process may not."""
    subprocess.run(["sync"])
    try:
        with open(DROP_CACHES, "w") as f:
            f.write("3\n")
        return True
    except OSError:
        return False


def peak_memory(command):
    """The peak resident KiB of a command, or None. Measured by /usr/bin/time:
    a child of this Python would count the pages it shared with its parent
    before its exec."""
    if not os.access("/usr/bin/time", os.X_OK):
        return None
    result = subprocess.run(["/usr/bin/time", "-f", "%M"] + command, stdin=subprocess.DEVNULL,
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    if result.returncode:
        fail("%s ended with %d" % (" ".join(command), result.returncode))
    return int(result.stderr.strip().splitlines()[-1])


def fresh(folder):
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    return folder


# --- checks: every byte against the source --------------------------------

def cmp_range(path, source, skip, offset, length):
    result = subprocess.run(["cmp", "-i", "%d:%d" % (skip, offset), "-n", str(length), path, source],
                            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    if result.returncode:
        fail("%s differs from the source: %s" % (path, result.stdout.strip()))


def check_whole(path, source):
    if os.path.getsize(path) != os.path.getsize(source):
        fail("%s has %d bytes, the source %d" % (path, os.path.getsize(path), os.path.getsize(source)))
    cmp_range(path, source, 0, 0, os.path.getsize(source))


def numbered(folder, stem):
    """The files of a folder named stem and two digits, in number order."""
    names = [n for n in os.listdir(folder)
             if len(n) == len(stem) + 2 and n.startswith(stem) and n[-2:].isdigit()]
    return [os.path.join(folder, n) for n in sorted(names, key=lambda n: int(n[-2:]))]


def check_pieces(paths, source, header):
    """Pieces that hold the source in order, each after a header of that many bytes."""
    offset = 0
    for i, path in enumerate(paths):
        length = os.path.getsize(path) - header
        if header:
            with open(path, "rb") as f:
                last = f.read(1)
            if last != (b"\x01" if i == len(paths) - 1 else b"\x00"):
                fail("%s: wrong last-portion mark %r" % (path, last))
        cmp_range(path, source, header, offset, length)
        offset += length
    if offset != os.path.getsize(source):
        fail("the pieces hold %d bytes, the source %d" % (offset, os.path.getsize(source)))


def check_set(folder, source):
    portions = numbered(folder, NAME[:-2])
    if len(portions) != PIECES:
        fail("%s holds %d portions, not %d" % (folder, len(portions), PIECES))
    check_pieces(portions, source, HEADER)


def check_split(folder, source):
    pieces = numbered(folder, "x")
    if len(pieces) != PIECES:
        fail("split made %d pieces, not %d" % (len(pieces), PIECES))
    check_pieces(pieces, source, 0)


# --- the contenders -------------------------------------------------------

class Work:
    """The files of one size in one place: tmpfs, or the disk (durable; cold
    when the page cache may be dropped before each run)."""

    def __init__(self, base, size, programs, place=TMPFS_PLACE, cold=False):
        self.size = size
        self.programs = programs
        self.place = place
        self.durable = place == DISK_PLACE
        self.cold = cold and self.durable
        self.dir = fresh(os.path.join(base, "size-%d" % size))
        self.source = os.path.join(self.dir, NAME)
        self.set = os.path.join(self.dir, "set")
        self.pieces = os.path.join(self.dir, "pieces")
        self.out = os.path.join(self.dir, "out")
        self.empty = fresh(os.path.join(self.dir, "empty"))

    def make_source(self):
        block = 16 << 20
        with open(self.source, "wb") as f:
            left = self.size
            while left:
                n = min(block, left)
                f.write(os.urandom(n))
                left -= n

    def copy_from(self, other):
        """The source, the set and cat's pieces of another place, made durable."""
        shutil.copyfile(other.source, self.source)
        shutil.copytree(other.set, self.set)
        shutil.copytree(other.pieces, self.pieces)
        subprocess.run(["sync"])

    def equal_portion(self):
        # What the window's count method gives the job: the header and the
        # data rounded up, so that 100 portions hold the whole source.
        return HEADER + self.size // PIECES + (self.size % PIECES != 0)

    def wine(self, *args):
        """A Windows program started as a user starts it, `wine PROGRAM`,
        under the server wine-run keeps (its prefix and settings, from
        wine-run --env): the script's own checks are not timed."""
        environment = self.programs["wine-env"]
        return (["env"] + ["%s=%s" % pair for pair in environment.items() if pair[0] != "WINE"] +
                [environment["WINE"]] + list(args))

    # Each returns the command, the file its stdout goes to (or None) and
    # the check of its work (or None for work that writes nothing), and may
    # add the folder it runs in.
    def join_native(self):
        return [self.programs["kelmorix"], self.set, fresh(self.out)], None, self.check_join

    def join_wine(self):
        fresh(self.out)
        return (self.wine(self.programs["KELMORIX.EXE"], winpath(self.set) + "\\",
                          winpath(self.out) + "\\"), None, self.check_join)

    def join_cat(self):
        fresh(self.out)
        return (["cat"] + numbered(self.pieces, "x"), os.path.join(self.out, NAME),
                self.check_join)

    def slice_wine(self):
        fresh(self.out)
        return (self.wine(self.programs["slicetool"], winpath(self.source),
                          winpath(self.out) + "\\", str(self.equal_portion())), None,
                lambda: check_set(self.out, self.source))

    def slice_native(self):
        fresh(self.out)
        return ([self.programs["dorvane"], self.source, self.out, "--count", str(PIECES)], None,
                lambda: check_set(self.out, self.source))

    def slice_split(self):
        fresh(self.out)
        return (["split", "-n", str(PIECES), "-a", "2", "-d", self.source,
                 os.path.join(self.out, "x")], None, lambda: check_split(self.out, self.source))

    # The recovery row: dorvane slicing and writing its PAR2 data, against
    # par2 create writing one block of a portion's size over a set.
    def slice_recovery(self):
        fresh(self.out)
        return ([self.programs["dorvane"], self.source, self.out, "--count", str(PIECES),
                 "--recovery"], None, self.check_recovery)

    # The recovery row's yardstick: the same slicing by dorvane, then par2
    # create writing one block of a portion's size over the set, one after
    # the other as a user would run them.
    def slice_then_par2(self):
        fresh(self.out)
        block = (self.equal_portion() + 3) & ~3
        command = ("%s %s %s --count %d && cd %s && par2 create -q -q -s%d -c1 %s.par2 %s??"
                   % (self.programs["dorvane"], self.source, self.out, PIECES, self.out, block, NAME,
                      NAME[:-2]))
        return ["sh", "-c", command], None, self.check_recovery

    # The repair rows: a set with k recovery blocks and k portions lost from
    # 37 on, made once; joined by kelmorix, and repaired by par2 in a copy
    # (untimed).
    def repair_set(self, lost):
        folder = os.path.join(self.dir, "lost%d" % lost)
        if not os.path.isdir(folder):
            fresh(folder)
            subprocess.run([self.programs["dorvane"], self.source, folder + "/", "--count",
                            str(PIECES), "--recovery", str(lost)], check=True,
                           capture_output=True, stdin=subprocess.DEVNULL)
            for n in range(37, 37 + lost):
                os.remove(os.path.join(folder, "%s%02d" % (NAME[:-2], n)))
        return folder

    def repair_native(self, lost=1):
        return ([self.programs["kelmorix"], self.repair_set(lost), fresh(self.out)], None,
                self.check_join)

    def par2_repair(self, lost=1):
        shutil.rmtree(self.out, ignore_errors=True)
        shutil.copytree(self.repair_set(lost), self.out)
        return (["par2", "repair", "-q", "-q", NAME + ".par2"], None,
                lambda: check_set(self.out, self.source), self.out)

    def repair_native_three(self):
        return self.repair_native(3)

    def par2_repair_three(self):
        return self.par2_repair(3)

    # The check row: the set's list (written by the slice engine) read by
    # each checker in the set's folder, as a user would run it.
    def list_name(self):
        return [n for n in os.listdir(self.set) if n.upper().endswith(".SFV")][0]

    def check_native(self):
        return [self.programs["kelmorix"], "--check", self.set], None, None

    def check_rhash(self):
        return ["rhash", "-c", self.list_name()], None, None, self.set

    def check_cksfv(self):
        return ["cksfv", "-q", "-f", self.list_name()], None, None, self.set

    def check_recovery(self):
        check_set(self.out, self.source)
        verify = subprocess.run(["par2", "verify", "-q", "-q", NAME + ".par2"], cwd=self.out)
        if verify.returncode:
            fail("par2 verify rejects the recovery data of %s" % self.out)

    def check_join(self):
        check_whole(os.path.join(self.out, NAME), self.source)

    def settle(self):
        """Untimed, before a run on the disk: nothing left to write back, and
        with the cache dropped, Wine's own files read in again by starting a
        program with nothing to do, so that only the data is cold."""
        if not self.durable:
            return
        if self.cold:
            drop_caches()
            timed(self.wine(self.programs["KELMORIX.EXE"]), cwd=self.empty)
        else:
            subprocess.run(["sync"])

    def run(self, contender):
        launch = contender()
        command, stdout, check = launch[:3]
        self.settle()
        seconds, code = timed(command, stdout=stdout, cwd=launch[3] if len(launch) > 3 else None,
                              durable=self.durable and self.out)
        if code:
            fail("%s ended with %d" % (" ".join(command), code))
        if check:
            check()
        shutil.rmtree(self.out, ignore_errors=True)
        return seconds


# --- the measurements -----------------------------------------------------

# The rows: our work, the yardstick it is timed against, and where. ours and
# base name Work methods (a contender each); on the disk the yardstick's label
# gains "+ sync", as every timed run there ends with it. needs names programs
# (of the build, or on PATH) without which the row is left out. A new row is a
# line here and, for new work, a contender or two in Work; work that only
# reads (a check of a set) returns no check and leaves nothing behind.
ROWS = [
    # label, ours, yardstick label, yardstick, where, needs
    ("join: Linux kelmorix", "join_native", "cat", "join_cat", "tmpfs disk", ()),
    ("join: KELMORIX.EXE under Wine", "join_wine", "cat", "join_cat", "tmpfs disk", ()),
    ("slice: engine under Wine (slicetool)", "slice_wine", "split -n", "slice_split", "tmpfs", ()),
    ("slice: Linux dorvane", "slice_native", "split -n", "slice_split", "tmpfs disk", ("dorvane",)),
    ("recovery: dorvane --recovery", "slice_recovery", "dorvane + par2 create -c1",
     "slice_then_par2", "tmpfs", ("dorvane", "par2")),
    ("repair: Linux kelmorix, one portion lost", "repair_native", "par2 repair", "par2_repair",
     "tmpfs", ("dorvane", "par2")),
    ("repair: Linux kelmorix, three portions lost", "repair_native_three", "par2 repair",
     "par2_repair_three", "tmpfs", ("dorvane", "par2")),
    ("check: kelmorix --check", "check_native", "rhash -c LIST", "check_rhash", "tmpfs", ("rhash",)),
    ("check: kelmorix --check", "check_native", "cksfv -f LIST", "check_cksfv", "tmpfs", ("cksfv",)),
]
# --rows: the words a row's label must hold one of (all rows when empty).
ROW_WORDS = []
