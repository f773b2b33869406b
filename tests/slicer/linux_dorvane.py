"""The Linux dorvane driven as a user would, for the native and the windows
configurations' tests: its runs, the sets it writes, and removable disks
made of size-limited mounts (root only) behind a mount point that a mount
table and a sysfs tree of the test's declare removable."""

import ctypes
import os
import random
import resource
import signal
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "joiner"))
import common  # noqa: E402
from common import run_on_terminal, sample_data  # noqa: E402,F401

DORVANE = os.environ.get("DORVANE_LINUX", "")
DORVANE_HOOKED = os.environ.get("DORVANE_HOOKED", "")
HEADER_SIZE = 309
# Header bytes each platform fills from its own clock and file system:
# attributes, the three file times, and the time of slicing.
OWN_FIELDS = (range(1, 29), range(293, 309))
# The terminal dialogue's questions, as the test harness answers them.
common.PROMPTS = ("Press any key when ready.\n", "Overwrite? (Y/N): ", "(A/R/I): ")
CLONE_NEWNS = 0x00020000


def run_dorvane(args, cwd, program=None, env=None, console=True, file_size_limit=None,
                timeout=60, **kw):
    """dorvane on a pseudo-terminal that is its controlling terminal; see
    run_on_terminal. With console=False it has no terminal at all, and its
    standard error is read apart. Either way run.errors is what it wrote to
    standard error (on a terminal, with what else the terminal shows)."""
    environment = dict(os.environ, **(env or {}))
    command = [program or DORVANE] + list(args)
    if console:
        run = run_on_terminal(command, cwd, controlling=True, env=environment, timeout=timeout,
                              file_size_limit=file_size_limit, **kw)
        run.errors = run.terminal
        return run

    def limit():
        if file_size_limit is not None:
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
            resource.setrlimit(resource.RLIMIT_FSIZE, (file_size_limit, file_size_limit))

    done = subprocess.run(command, cwd=cwd, env=environment, stdin=subprocess.DEVNULL,
                          capture_output=True, timeout=timeout, start_new_session=True,
                          preexec_fn=limit)
    run = common.Run(done.returncode, done.stdout.decode("latin-1"))
    run.errors = done.stderr.decode("latin-1")
    return run


def portions(folder):
    """The portion files of a folder's one set, in number order: neither the
    joiner nor the checksum list."""
    return sorted(os.path.join(folder, n) for n in os.listdir(folder)
                  if n != "KELMORIX.EXE" and not n.lower().endswith(".sfv"))


def read(path):
    with open(path, "rb") as f:
        return f.read()


def random_plan(rng, size):
    """Arguments for a random folder job that the planner accepts."""
    if rng.random() < 0.5:
        return ["--count", str(rng.randint(2, 100))]
    smallest = HEADER_SIZE + max(1, -(-size // 100))
    return ["--size", str(rng.randint(smallest, smallest + size + 5000))]


def without_own_fields(data):
    """A portion with the header fields each platform fills itself cleared."""
    data = bytearray(data)
    for span in OWN_FIELDS:
        for i in span:
            data[i] = 0
    return bytes(data)


def fake_removable(folder, mount_point):
    """A mount table that mounts device 8:16 at mount_point and a sysfs
    tree that marks that device removable; returns the hooked build's
    environment naming them."""
    table = os.path.join(folder, "mountinfo")
    with open(table, "w") as f:
        f.write("1 0 8:1 / / rw - ext4 /dev/sda1 rw\n"
                "41 1 8:16 / %s rw - vfat /dev/sdb rw\n" % mount_point.replace(" ", "\\040"))
    device = os.path.join(folder, "sys", "dev", "block", "8:16")
    os.makedirs(device)
    with open(os.path.join(device, "removable"), "w") as f:
        f.write("1\n")
    return {"DORVANE_MOUNTINFO": table, "DORVANE_SYSFS": os.path.join(folder, "sys")}


def enter_mount_namespace():
    """Moves this process into a mount namespace of its own, where disks can
    be mounted, or raises SkipTest."""
    libc = ctypes.CDLL(None, use_errno=True)
    if os.geteuid() != 0 or libc.unshare(CLONE_NEWNS) != 0:
        raise unittest.SkipTest("mounting disks needs root and a mount namespace")
    subprocess.run(["mount", "--make-rprivate", "/"], check=True)


class Disks:
    """Removable disks of a size: tmpfs mounts, one at a time bound at the
    mount point, as a user mounts each disk at the same place."""

    def __init__(self, folder, count, size):
        enter_mount_namespace()
        self.mount_point = os.path.realpath(os.path.join(folder, "floppy"))
        os.makedirs(self.mount_point)
        self.disks = []
        for n in range(count):
            path = os.path.join(folder, "disk%d" % (n + 1))
            os.makedirs(path)
            if subprocess.run(["mount", "-t", "tmpfs", "-o", "size=%s" % size, "tmpfs", path]).returncode:
                raise unittest.SkipTest("this machine does not let a test mount disks")
            self.disks.append(path)
        self.inserted = None

    def insert(self, n):
        """Disk n (from 1) at the mount point."""
        self.eject()
        subprocess.run(["mount", "--bind", self.disks[n - 1], self.mount_point], check=True)
        self.inserted = n

    def eject(self):
        if self.inserted:
            subprocess.run(["umount", self.mount_point], check=True)
        self.inserted = None

    def close(self):
        self.eject()
        for path in self.disks:
            subprocess.run(["umount", path])


def slice_onto_disks(test, folder, source, disk_count, disk_size, listings=None, options=(),
                     answer=None):
    """Slices source onto disks at a removable mount point, each disk
    inserted at its prompt; returns the run and a copy of every portion
    (and the joiner and list) in folder/copied, the disks' free space at the
    end. Each disk's sorted file names are appended to listings. options
    follow --disks; answer(disks, n, text), when given, answers the prompts."""
    if not DORVANE_HOOKED:
        test.skipTest("DORVANE_HOOKED is set by the build's test run")
    disks = Disks(folder, disk_count, disk_size)
    try:
        env = fake_removable(folder, disks.mount_point)

        def insert(n, text):
            if answer:
                return answer(disks, n, text)
            disks.insert(n + 1)
            return b" "

        run = run_dorvane([source, disks.mount_point, "--disks"] + list(options), folder,
                          program=DORVANE_HOOKED, env=env, answer=insert, timeout=120)
        disks.eject()
        copied = os.path.join(folder, "copied")
        os.makedirs(copied)
        free = []
        for disk in disks.disks:
            if listings is not None:
                listings.append(sorted(os.listdir(disk)))
            for name in os.listdir(disk):
                with open(os.path.join(copied, name), "wb") as f:
                    f.write(read(os.path.join(disk, name)))
            s = os.statvfs(disk)
            free.append(s.f_bavail * s.f_frsize)
        return run, copied, free
    finally:
        disks.close()


class Scratch(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="dorvane-linux-")
        # Random sizes, the seed shown with every failure to run it again.
        self.seed = int(os.environ.get("DORVANE_TEST_SEED", "0")) or random.randrange(1 << 30)
        self.rng = random.Random(self.seed)

    def tearDown(self):
        subprocess.run(["rm", "-rf", self.dir])

    def folder(self, name):
        path = os.path.join(self.dir, name)
        os.makedirs(path, exist_ok=True)
        return path

    def source(self, name, data):
        path = os.path.join(self.folder("src"), name)
        with open(path, "wb") as f:
            f.write(data)
        return path
