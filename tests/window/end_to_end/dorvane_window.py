"""The real dorvane.exe under Wine, driven from outside through
windriver.exe, one action per run, so that the caller decides what happens
between two actions. The program keeps DORVANE.TXT beside itself, so it runs
from a copy in a scratch folder: it starts from a known state and writes
nothing into the build tree. Used by the end-to-end tests and by scripts/run."""

import os
import re
import shutil
import subprocess
import tempfile
import types
from collections import namedtuple

HERE = os.path.dirname(os.path.abspath(__file__))
IDS_HEADER = os.path.join(HERE, "..", "..", "..", "window", "ids.h")

IDOK = 1
NOT_THERE = 1  # windriver's code for a window or box not found
COMPLETE_TITLE = "Dorvane - Slice Complete"
NEXT_DISK_TITLE = "Dorvane - Next Disk"
ABOUT_TITLE = "About Dorvane"
UNITS = ("bytes", "KB", "MB")  # UnitCombo's list, in order
# Virtual-key codes the keyboard-only tests press.
VK_TAB, VK_RETURN, VK_END, VK_UP, VK_DOWN = 0x09, 0x0D, 0x23, 0x26, 0x28

Control = namedtuple("Control", "enabled visible checked text")


def control_ids(path=IDS_HEADER):
    """The window's ids as window/ids.h defines them: ID.SLICE_BUTTON is 19."""
    with open(path) as f:
        found = re.findall(r"^#define ID_(\w+) (\d+)\s*$", f.read(), re.M)
    return types.SimpleNamespace(**{name: int(value) for name, value in found})


ID = control_ids()


def winpath(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def display_of(prefix):
    """The X display that wine-run gives the programs of a prefix: the
    caller's own, else the virtual one it started."""
    if os.environ.get("DISPLAY"):
        return os.environ["DISPLAY"]
    with open(prefix + ".display") as f:
        return ":" + f.read().split()[0]


class Dorvane:
    """One run of the window program, started from a copy in folder, with
    args on its command line."""

    def __init__(self, folder, wine_run, windriver, program, prefix, args=()):
        self.wine_run = wine_run
        self.windriver = windriver
        self.prefix = prefix
        self.env = dict(os.environ, WINE_RUN_PREFIX=prefix)
        self.program = os.path.join(folder, "dorvane.exe")
        shutil.copy(program, self.program)
        # The driver finds the window by its class: a second one, left by an
        # interrupted run, would take the actions meant for this one.
        if self.drive("title", expect=NOT_THERE):
            raise AssertionError("a window of dorvane.exe is open already under %s" % prefix)
        self.proc = subprocess.Popen([wine_run, self.program] + list(args), cwd=folder, env=self.env,
                                     stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                     stderr=subprocess.DEVNULL)
        try:
            self.drive("wait-window", 60)
        except BaseException:
            self.kill()
            raise

    def drive(self, *args, expect=0):
        """Runs one windriver action; returns what it printed. An action the
        window does not allow (a disabled control, no such box) fails.
        Output goes through files, not pipes: the first program with a
        window starts Wine's desktop process, which inherits the descriptors
        and would hold a pipe open long after the driver ended."""
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            code = subprocess.run([self.wine_run, self.windriver] + [str(a) for a in args],
                                  env=self.env, stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                                  timeout=180).returncode
            out.seek(0)
            err.seek(0)
            # windriver prints texts in UTF-8, whatever the ANSI code page.
            said, complaint = out.read().decode("utf-8"), err.read().decode("utf-8", "replace")
        if code != expect:
            raise AssertionError("windriver %s: code %d %s" % (" ".join(map(str, args)), code,
                                                               complaint.strip()))
        return said.replace("\r\n", "\n")

    def set(self, control, text):
        self.drive("set", control, text)

    def click(self, control):
        self.drive("click", control)

    def select(self, control, index):
        self.drive("select", control, index)

    def key(self, vk, control="focus"):
        """A key pressed where the focus is (or in control); on a box the
        action waits until the box has closed."""
        self.drive("key", control, vk)

    def type(self, text, control="focus"):
        """Characters typed one by one, each through the field's filter."""
        self.drive("type", control, text)

    def focused(self):
        """The id of the control with the focus; the size field counts as
        its combo box."""
        return int(self.drive("focus"))

    def state(self):
        """Every control by id: enabled, visible, checked, text."""
        controls = {}
        for line in self.drive("state").splitlines():
            fields = line.split("\t", 4)
            controls[int(fields[0])] = Control(*(int(f) for f in fields[1:4]), fields[4])
        return controls

    def title(self):
        return self.drive("title").rstrip("\n")

    def next_box(self, seconds=120):
        """Waits for the next box the window shows; returns (title, text)."""
        title, text = self.drive("wait-box", "*", seconds).split("\n", 1)
        return title, text.rstrip("\n")

    def wait_box(self, title, seconds=60):
        return self.drive("wait-box", title, seconds).rstrip("\n")

    def answer(self, title, button=IDOK):
        self.drive("answer", title, button)

    def choose_folder_method(self, source, destination, size=None, unit="KB", count=None):
        """Fills the window in as a user would: the source, then the size
        method (a size typed, a unit picked) or the count method, then the
        destination folder."""
        self.set(ID.SOURCE_PATH_EDIT, winpath(source))
        if count is None:
            self.click(ID.SIZE_RADIO)
            self.set(ID.SIZE_COMBO, str(size))
            self.select(ID.UNIT_COMBO, UNITS.index(unit))
        else:
            self.click(ID.COUNT_RADIO)
            self.set(ID.COUNT_EDIT, str(count))
        self.set(ID.DESTINATION_EDIT, destination)

    def drop(self, *paths):
        """Files dropped on the window, as a file manager drops them."""
        self.drive("drop", *paths)

    def screenshot(self, path):
        """Saves the screen's part under the main window (and whatever box
        lies on it) as a PNG."""
        left, top, right, bottom = map(int, self.drive("rect").split())
        os.makedirs(os.path.dirname(path), exist_ok=True)
        subprocess.run(["import", "-display", display_of(self.prefix), "-window", "root",
                        "-crop", "%dx%d+%d+%d" % (right - left, bottom - top, left, top), "+repage",
                        path], check=True, stdin=subprocess.DEVNULL, timeout=60)
        return path

    def close(self):
        """Closes the window and returns the program's exit code."""
        self.drive("close")
        return self.proc.wait(timeout=60)

    def kill(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()


def colours(png):
    """How many colours a picture holds: a blank screen has one."""
    out = subprocess.run(["identify", "-format", "%k", png], capture_output=True, check=True,
                         stdin=subprocess.DEVNULL, timeout=60)
    return int(out.stdout)


def rebuild(wine_run, joiner, folder, destination, prefix):
    """Rebuilds the set in folder with the given KELMORIX.EXE into destination."""
    return subprocess.run([wine_run, joiner, winpath(folder), winpath(destination)],
                          env=dict(os.environ, WINE_RUN_PREFIX=prefix), stdin=subprocess.DEVNULL,
                          capture_output=True, timeout=120)
