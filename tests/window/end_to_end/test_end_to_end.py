"""The real dorvane.exe under Wine on a virtual display, driven only through
its controls by windriver.exe: slices into a folder by size and by count,
and onto floppy disks swapped at each prompt. Every set is rebuilt by the
KELMORIX.EXE the slicer wrote beside its portion 0, and the run leaves
screenshots of the window in the build tree."""

import os
import re
import shutil
import subprocess
import sys
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "slicer"))
import slicer  # noqa: E402  (puts tests/joiner on the path too)
from common import run_on_terminal  # noqa: E402
from dorvane_window import (ABOUT_TITLE, COMPLETE_TITLE, ID, NEXT_DISK_TITLE,  # noqa: E402
                            VK_DOWN, VK_END, VK_RETURN, VK_TAB, VK_UP, Dorvane, colours, rebuild, winpath)

WINE_RUN, KELMORIX = slicer.WINE_RUN, slicer.KELMORIX
WINDRIVER = os.environ.get("WINDRIVER_EXE", "")
DORVANE = os.environ.get("DORVANE_EXE", "")
PREFIX = os.environ.get("WINE_PREFIX", "")
SCREENSHOTS = os.environ.get("SCREENSHOTS", "")

FLOPPY_BYTES = 368640  # a 360 KB disk


def setUpModule():
    for name in ("WINE_RUN", "WINDRIVER_EXE", "DORVANE_EXE", "KELMORIX_EXE", "WINE_PREFIX",
                 "FLOPPY_PREFIX", "SCREENSHOTS"):
        if not os.environ.get(name):
            raise unittest.SkipTest("%s is not set: run through ctest" % name)


class WindowTest(slicer.SliceTest):
    """One run of the window program per test, from a copy in the test's
    folder, under the prefix named by the class."""

    prefix = PREFIX
    scratch = "dorvane-window-"

    def setUp(self):
        super().setUp()
        self.window = None

    def tearDown(self):
        if self.window:
            self.window.kill()
        super().tearDown()

    def start(self, *args):
        self.window = Dorvane(self.folder("program"), WINE_RUN, WINDRIVER, DORVANE, self.prefix,
                              args)
        return self.window

    def shot(self, name):
        path = self.window.screenshot(os.path.join(SCREENSHOTS, name))
        self.assertGreater(colours(path), 2, "%s shows no window" % path)

    def focus_after_box(self, expected, seconds=5):
        """The control with the focus, once it is expected or time is up: a
        box is gone a moment before the window sets the focus again."""
        deadline = time.monotonic() + seconds
        while True:
            try:
                focus = self.window.focused()
            except AssertionError:
                focus = None  # no control has it
            if focus == expected or time.monotonic() > deadline:
                return focus
            time.sleep(0.1)

    def assertRebuiltInFolder(self, folder, name, data):
        """The set's own KELMORIX.EXE, not the build's, rebuilds it."""
        out = self.folder("rebuilt")
        run = rebuild(WINE_RUN, os.path.join(folder, "KELMORIX.EXE"), folder, out, self.prefix)
        self.assertEqual(run.returncode, 0, run.stdout.decode("latin-1"))
        self.assertEqual(os.listdir(out), [name])
        self.assertEqual(slicer.read(os.path.join(out, name)), data)

    def assertRemembered(self, source_folder, destination):
        """DORVANE.TXT beside the program, written when the window closed."""
        with open(os.path.join(self.dir, "program", "DORVANE.TXT"), "rb") as f:
            self.assertEqual(f.read(), ("%s\n%s\n" % (source_folder, destination)).encode())


class GivenSource(WindowTest):
    """A source dropped on the window or named on the command line is taken
    as if its path had been typed."""

    def test_dropped_file_then_a_dropped_folder(self):
        first = self.source("FIRST.DAT", slicer.pattern(250001, seed=4))
        second = self.source("SECOND.DAT", slicer.pattern(1000, seed=5))
        window = self.start()
        self.assertEqual(window.state()[ID.SIZE_RADIO].enabled, 0)
        window.drop(winpath(first))
        state = window.state()
        self.assertEqual(state[ID.SOURCE_PATH_EDIT].text, winpath(first))
        self.assertEqual([state[i].enabled for i in (ID.SIZE_RADIO, ID.COUNT_RADIO, ID.SLICE_BUTTON)],
                         [1, 1, 1])
        window.click(ID.COUNT_RADIO)
        window.set(ID.COUNT_EDIT, "4")
        self.assertEqual(window.state()[ID.COUNT_NOTE].text, "Portions will be 62810 bytes")
        window.drop(winpath(second))
        self.assertEqual(window.state()[ID.COUNT_NOTE].text, "Portions will be 559 bytes")

        before = window.state()
        for dropped in ([self.folder("src")], [first, second]):
            window.drop(*map(winpath, dropped))
            self.assertEqual(window.next_box(10), ("Dorvane", "Dorvane slices one file at a time: "
                                                   "drop a single file, not a folder or several files."))
            window.answer("Dorvane")
            self.assertEqual(window.state(), before)
        # The dropped file's folder is the source folder remembered.
        self.assertEqual(window.close(), 0)
        with open(os.path.join(self.dir, "program", "DORVANE.TXT"), "rb") as f:
            self.assertEqual(f.read().split(b"\n")[0], winpath(os.path.dirname(second)).encode())

    def test_path_on_the_command_line(self):
        source = self.source("NAMED.DAT", slicer.pattern(5000, seed=6))
        window = self.start(winpath(source))
        state = window.state()
        self.assertEqual(state[ID.SOURCE_PATH_EDIT].text, winpath(source))
        self.assertEqual([state[i].enabled for i in (ID.REMOVABLE_RADIO, ID.SIZE_RADIO, ID.COUNT_RADIO)],
                         [1, 1, 1])
        self.assertEqual(window.close(), 0)


class FolderSlices(WindowTest):
    def test_size_typed_with_a_unit(self):
        data = slicer.pattern(300000, seed=2)
        source = self.source("SAMPLE.DAT", data)
        target = self.folder("set")
        window = self.start()
        # A fresh program folder remembers no destination: nothing to slice yet.
        at_start = window.state()
        self.assertEqual(at_start[ID.DESTINATION_EDIT].text, "")
        self.assertEqual(at_start[ID.SLICE_BUTTON].enabled, 0)

        window.choose_folder_method(source, winpath(target), size="97.5", unit="KB")
        state = window.state()
        self.assertEqual([state[i].checked for i in (ID.REMOVABLE_RADIO, ID.SIZE_RADIO, ID.COUNT_RADIO)],
                         [0, 1, 0])
        # 97.5 KB is 99840 bytes a portion, 99531 of them data.
        self.assertEqual(state[ID.SIZE_NOTE][1:], (1, 0, "4 Portions will be required"))
        self.assertEqual(state[ID.COUNT_NOTE].visible, 0)
        self.assertEqual(state[ID.SLICE_BUTTON].enabled, 1)
        self.shot("main-window.png")

        window.click(ID.SLICE_BUTTON)
        self.assertEqual(window.next_box(), (COMPLETE_TITLE, "Slice %s to %s\\ is complete" % (
            winpath(source), winpath(target))))
        self.shot("slice-complete.png")
        window.answer(COMPLETE_TITLE)

        portions = [os.path.join(target, "SAMPLE.D%02d" % n) for n in range(4)]
        self.assertEqual(sorted(os.listdir(target)),
                         ["KELMORIX.EXE"] + [os.path.basename(p) for p in portions] + ["SAMPLE.DAT.sfv"])
        self.assertEqual([os.path.getsize(p) for p in portions], [99840, 99840, 99840, 1716])
        self.assertSameSet(portions)
        self.assertEqual(slicer.read(os.path.join(target, "KELMORIX.EXE")), slicer.read(KELMORIX))
        self.assertRebuiltInFolder(target, "SAMPLE.DAT", data)

        self.assertEqual(window.close(), 0)
        self.assertRemembered(winpath(os.path.dirname(source)), winpath(target))

    def test_count_of_equal_portions(self):
        data = slicer.pattern(250001, seed=3)
        source = self.source("COUNTED.BIN", data)
        target = self.folder("set")
        window = self.start()
        # Typed with its backslash: the job gets it once.
        window.choose_folder_method(source, winpath(target) + "\\", count=4)
        state = window.state()
        self.assertEqual([state[i].checked for i in (ID.REMOVABLE_RADIO, ID.SIZE_RADIO, ID.COUNT_RADIO)],
                         [0, 0, 1])
        self.assertEqual(state[ID.COUNT_NOTE][1:], (1, 0, "Portions will be 62810 bytes"))
        self.assertEqual(state[ID.SIZE_NOTE].visible, 0)
        self.shot("main-window-count.png")

        window.click(ID.SLICE_BUTTON)
        self.assertEqual(window.next_box(), (COMPLETE_TITLE, "Slice %s to %s\\ is complete" % (
            winpath(source), winpath(target))))
        window.answer(COMPLETE_TITLE)

        portions = [os.path.join(target, "COUNTED.B%02d" % n) for n in range(4)]
        self.assertEqual(sorted(os.listdir(target)),
                         sorted(["KELMORIX.EXE", "COUNTED.BIN.sfv"] + [os.path.basename(p) for p in portions]))
        self.assertEqual([os.path.getsize(p) for p in portions], [62810, 62810, 62810, 62807])
        self.assertSameSet(portions)
        self.assertRebuiltInFolder(target, "COUNTED.BIN", data)

        self.assertEqual(window.close(), 0)
        self.assertRemembered(winpath(os.path.dirname(source)), winpath(target) + "\\")

    def test_keys_only(self):
        """A whole slice without the mouse: every action is a key in the
        control that has the focus, the box's answer too."""
        data = slicer.pattern(800000, seed=5)
        source = self.source("KEYED.DAT", data)
        target = self.folder("set")
        window = self.start()
        focus = []

        def press(*keys):
            for vk in keys:
                window.key(vk)
            focus.append(window.focused())

        window.type(winpath(source))                  # SourcePathEdit has the focus at start
        press(VK_TAB, VK_TAB)                         # Browse, then the checked method
        self.assertEqual(focus[-1], ID.REMOVABLE_RADIO)
        press(VK_DOWN)                                # the size method, chosen by the arrow
        press(VK_TAB, VK_UP)                          # the size field: "360" wraps to "2.88" MB
        self.assertEqual(window.state()[ID.UNIT_COMBO].text, "MB")
        press(VK_DOWN, VK_END)                        # on to "360" KB, the caret after it
        window.type("a-/ .5")                         # refused: nothing but digits, one point
        press(VK_TAB, VK_TAB, VK_TAB)                 # UnitCombo, Recovery data, the destination
        window.type(winpath(target))
        press(VK_TAB, VK_TAB)                         # its Browse button, then Slice
        self.assertEqual(focus, [ID.REMOVABLE_RADIO, ID.SIZE_RADIO, ID.SIZE_COMBO, ID.SIZE_COMBO,
                                 ID.DESTINATION_EDIT, ID.SLICE_BUTTON])
        state = window.state()
        self.assertEqual((state[ID.SIZE_RADIO].checked, state[ID.SIZE_COMBO].text,
                          state[ID.UNIT_COMBO].text), (1, "360.5", "KB"))
        window.key(VK_RETURN)
        self.assertEqual(window.next_box(), (COMPLETE_TITLE, "Slice %s to %s\\ is complete" % (
            winpath(source), winpath(target))))
        window.key(VK_RETURN)                         # the box's own button

        # 360.5 KB is 369152 bytes a portion, 368843 of them data.
        portions = [os.path.join(target, "KEYED.D%02d" % n) for n in range(3)]
        self.assertEqual([os.path.getsize(p) for p in portions], [369152, 369152, 62623])
        self.assertSameSet(portions)
        self.assertRebuiltInFolder(target, "KEYED.DAT", data)
        self.assertEqual(window.close(), 0)

    def test_about_box_closes_on_its_ok_button(self):
        window = self.start()
        window.click(ID.ABOUT_BUTTON)
        self.assertEqual(window.wait_box(ABOUT_TITLE), "Dorvane 1.0")
        self.shot("about-box.png")
        window.answer(ABOUT_TITLE, ID.ABOUT_OK)
        self.assertEqual(window.title(), "Dorvane")
        self.assertEqual(window.close(), 0)


LINUX_KELMORIX = os.environ.get("LINUX_KELMORIX", "")
RECOVERY_NOTE = re.compile(r"^(\d+) bytes more$")
# A font with CJK characters (scripts/bootstrap installs it): made the
# system's font of the window programs while a screenshot shows such a name,
# since Wine's own falls back on none.
CJK_FONT = "WenQuanYi Micro Hei"
FONT_FACES = ("System", "Tahoma", "MS Shell Dlg", "MS Shell Dlg 2")
FONT_KEY = "HKCU\\Software\\Wine\\Fonts\\Replacements"


def has_cjk_font():
    found = subprocess.run(["fc-list", CJK_FONT], capture_output=True, stdin=subprocess.DEVNULL)
    return found.returncode == 0 and CJK_FONT.encode() in found.stdout


def wine_reg(*args):
    """Returns reg's exit code: 0 when it did what it was asked."""
    return subprocess.run([WINE_RUN, "reg"] + list(args) + ["/f"],
                          env=dict(os.environ, WINE_RUN_PREFIX=PREFIX), stdin=subprocess.DEVNULL,
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                          timeout=120).returncode


def par2(action, folder, index):
    return subprocess.run(["par2", action, index], cwd=folder, capture_output=True,
                          stdin=subprocess.DEVNULL, timeout=120)


class RecoveryFromTheWindow(WindowTest):
    """The recovery choice made through the window's controls: the PAR2
    files the Linux dorvane writes, checked by Debian's par2, a lost portion
    rebuilt by the set's own joiner, and the choice back after a restart."""

    def test_recovery_data_beside_a_folder_set(self):
        data = slicer.pattern(300000, seed=7)
        source = self.source("SAVED.DAT", data)
        target = self.folder("set")
        window = self.start()
        window.choose_folder_method(source, winpath(target), count=4)
        window.click(ID.RECOVERY_CHECK)
        window.set(ID.RECOVERY_BLOCKS_EDIT, "2")
        state = window.state()
        self.assertEqual([state[i][:3] for i in (ID.RECOVERY_CHECK, ID.RECOVERY_BLOCKS_EDIT)],
                         [(1, 1, 1), (1, 1, 0)])
        foretold = RECOVERY_NOTE.match(state[ID.RECOVERY_NOTE].text)
        self.assertTrue(foretold, state[ID.RECOVERY_NOTE])
        self.shot("recovery-choice.png")

        window.click(ID.SLICE_BUTTON)
        self.assertEqual(window.next_box(), (COMPLETE_TITLE, (
            "Slice %s to %s\\ is complete\n\nRecovery data written: SAVED.DAT.par2 and "
            "SAVED.DAT.vol0+2.par2, 2 blocks of 75312 bytes for 4 portions; par2 rebuilds up "
            "to 2 lost or damaged portions from it.") % (winpath(source), winpath(target))))
        window.answer(COMPLETE_TITLE)
        files = [os.path.join(target, n) for n in ("SAVED.DAT.par2", "SAVED.DAT.vol0+2.par2")]
        self.assertEqual(sum(map(os.path.getsize, files)), int(foretold.group(1)))
        self.assertEqual(window.close(), 0)
        with open(os.path.join(self.dir, "program", "DORVANE.TXT"), "rb") as f:
            self.assertEqual(f.read().split(b"\n")[2:], [b"recovery=on", b"recovery-blocks=2", b""])

        if shutil.which("par2"):
            self.assertEqual(par2("verify", target, "SAVED.DAT.par2").returncode, 0)
        # A portion lost: the set's own KELMORIX.EXE rebuilds the file.
        os.remove(os.path.join(target, "SAVED.D01"))
        self.assertRebuiltInFolder(target, "SAVED.DAT", data)

        # The choice is there after a restart.
        window = self.start()
        state = window.state()
        self.assertEqual((state[ID.RECOVERY_CHECK].checked, state[ID.RECOVERY_BLOCKS_EDIT].text),
                         (1, "2"))
        self.assertEqual(window.close(), 0)


# Names of every kind: ASCII, Latin accents, Cyrillic, CJK, beyond the BMP.
NAMES = ("plain.bin", "Müller Präsentation.pdf", "Отчёт за год.doc", "日本語の資料.bin",
         "\U0001F600 smile.dat")


class NamesFromTheWindow(WindowTest):
    """A source of any name, typed, dropped or given on the command line,
    sliced by the window and rebuilt under its own name byte for byte by
    KELMORIX.EXE under Wine and by the Linux kelmorix; the folders it used
    remembered whole."""

    def slice_and_rebuild(self, name, how, seed):
        data = slicer.pattern(120001, seed=seed)
        source = self.source(name, data)
        target = self.folder("set-%d" % seed)
        window = self.start(winpath(source)) if how == "command line" else self.start()
        if how == "dropped":
            window.drop(winpath(source))
        elif how == "typed":
            window.set(ID.SOURCE_PATH_EDIT, winpath(source))
        self.assertEqual(window.state()[ID.SOURCE_PATH_EDIT].text, winpath(source))
        window.click(ID.COUNT_RADIO)
        window.set(ID.COUNT_EDIT, "3")
        window.set(ID.DESTINATION_EDIT, winpath(target))
        window.click(ID.SLICE_BUTTON)
        self.assertEqual(window.next_box(), (COMPLETE_TITLE, "Slice %s to %s\\ is complete" % (
            winpath(source), winpath(target))))
        if name == NAMES[3] and how == "typed" and has_cjk_font():
            self.shot("cjk-name.png")
        window.answer(COMPLETE_TITLE)
        self.assertEqual(window.close(), 0)
        self.assertRemembered(winpath(os.path.dirname(source)), winpath(target))
        shutil.rmtree(os.path.join(self.dir, "rebuilt"), ignore_errors=True)
        self.assertRebuiltInFolder(target, name, data)
        if os.access(LINUX_KELMORIX, os.X_OK):
            out = self.folder("linux-%d" % seed)
            run = subprocess.run([LINUX_KELMORIX, target, out], capture_output=True,
                                 stdin=subprocess.DEVNULL, timeout=120)
            self.assertEqual(run.returncode, 0, run.stdout)
            self.assertEqual(os.listdir(out), [name])
            self.assertTrue(slicer.read(os.path.join(out, name)) == data)

    def test_every_name_typed_and_a_cjk_one_dropped_and_given(self):
        cases = [(name, "typed") for name in NAMES] + [(NAMES[3], "dropped"),
                                                        (NAMES[3], "command line")]
        replaced = [face for face in (FONT_FACES if has_cjk_font() else ())
                    if wine_reg("add", FONT_KEY, "/v", face, "/d", CJK_FONT) == 0]
        try:
            for seed, (name, how) in enumerate(cases):
                with self.subTest(name=name, given=how):
                    self.slice_and_rebuild(name, how, seed)
                shutil.rmtree(os.path.join(self.dir, "src"))
        finally:
            # Each taken away, tried again should reg fail once (it has,
            # under 64-bit Wine with other tests at work).
            for face in replaced:
                if wine_reg("delete", FONT_KEY, "/v", face) != 0:
                    self.assertEqual(wine_reg("delete", FONT_KEY, "/v", face), 0, face)

    def test_remembered_folders_outside_ascii(self):
        source_folder = self.folder("Источник 源")
        target = self.folder("集合 \U0001F600")
        with open(os.path.join(source_folder, "a.bin"), "wb") as f:
            f.write(b"x" * 1000)
        window = self.start()
        window.set(ID.SOURCE_PATH_EDIT, winpath(os.path.join(source_folder, "a.bin")))
        window.click(ID.SIZE_RADIO)
        window.set(ID.DESTINATION_EDIT, winpath(target))
        self.assertEqual(window.close(), 0)
        self.assertRemembered(winpath(source_folder), winpath(target))
        window = self.start()
        state = window.state()
        self.assertEqual(state[ID.DESTINATION_EDIT].text, winpath(target))
        self.assertEqual(window.close(), 0)


class RemovableDriveSlice(WindowTest):
    """Disks are size-limited mounts behind drive A: of the floppy prefix,
    whose own server and display run in this process's mount namespace."""

    prefix = slicer.PREFIX

    @classmethod
    def setUpClass(cls):
        slicer.enter_mount_namespace()
        # Makes the prefix on first use, so that drive A: can be pointed at
        # a folder before the window lists the drives.
        subprocess.run([WINE_RUN, "cmd", "/c", "exit"], env=slicer.WINE_ENV, check=True,
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, timeout=300)

    @classmethod
    def tearDownClass(cls):
        slicer.tearDownModule()

    def test_disk_after_disk_and_rebuilt_from_the_first(self):
        disks = [self.disk("disk%d" % n, FLOPPY_BYTES // 1024) for n in (1, 2, 3)]
        data = slicer.pattern(800000, seed=4)
        source = self.source("BIG.DAT", data)
        self.insert(self.folder("no-disk"))
        window = self.start()
        window.set(ID.SOURCE_PATH_EDIT, winpath(source))
        state = window.state()
        self.assertEqual(state[ID.REMOVABLE_RADIO][:3], (1, 1, 1))
        self.assertEqual(state[ID.DRIVE_COMBO].text, "A:")

        window.click(ID.SLICE_BUTTON)
        asked = []
        title, text = window.next_box()
        while title == NEXT_DISK_TITLE and len(asked) < len(disks):
            asked.append(int(text.split("#")[1].split()[0]))
            self.assertEqual(text.rstrip(), "Please insert disk #%d in drive A:." % asked[-1])
            if len(asked) == 1:
                self.shot("next-disk.png")
            self.insert(disks[asked[-1] - 1])
            window.answer(NEXT_DISK_TITLE)
            title, text = window.next_box()
        self.assertEqual(asked, [1, 2, 3])
        self.assertEqual((title, text), (COMPLETE_TITLE, "Slice %s to A: is complete" % winpath(source)))
        window.answer(COMPLETE_TITLE)
        # The box gave the focus back to Slice, and Tab goes on from there.
        self.assertEqual(self.focus_after_box(ID.SLICE_BUTTON), ID.SLICE_BUTTON)
        window.key(VK_TAB)
        self.assertEqual(window.focused(), ID.HELP_BUTTON)

        self.assertEqual([sorted(os.listdir(d)) for d in disks],
                         [["BIG.D00", "KELMORIX.EXE"], ["BIG.D01"], ["BIG.D02", "BIG.DAT.sfv"]])
        portions = [os.path.join(d, "BIG.D%02d" % n) for n, d in enumerate(disks)]
        joiner = slicer.on_disk(os.path.getsize(os.path.join(disks[0], "KELMORIX.EXE")))
        # Every disk but the last is full, the first after the joiner's whole
        # allocation units.
        self.assertEqual([os.path.getsize(p) for p in portions[:2]], [FLOPPY_BYTES - joiner, FLOPPY_BYTES])
        self.assertEqual([slicer.free_bytes(d) for d in disks[:2]], [0, 0])
        self.assertSameSet(portions)
        self.assertEqual(window.close(), 0)

        # The joiner on disk 1, run from the drive, asks for each disk.
        out = self.folder("rebuilt")
        self.insert(disks[0])

        def insert_asked(n, output):
            self.insert(disks[n])
            return b" "

        # The prompt that shares the console: the joiner does not wait for a
        # key at its end, as it would in a console of its own.
        run = run_on_terminal([WINE_RUN, "A:\\KELMORIX.EXE", "A:\\", winpath(out)], self.dir,
                              answer=insert_asked, timeout=120,
                              env=dict(slicer.WINE_ENV, KELMORIX_CONSOLE_PROCESSES="2"))
        self.assertEqual(run.code, 0, run.output)
        self.assertEqual(run.output.count("Press any key when ready."), 3, run.output)
        self.assertIn("BIG.DAT Successfully restored to %s" % winpath(out), run.output)
        self.assertEqual(slicer.read(os.path.join(out, "BIG.DAT")), data)

    def test_recovery_block_on_one_more_disk(self):
        data = slicer.pattern(500000, seed=8)
        source = self.source("DISKS.DAT", data)
        self.insert(self.folder("no-disk"))
        window = self.start()
        window.set(ID.SOURCE_PATH_EDIT, winpath(source))
        window.click(ID.RECOVERY_CHECK)
        state = window.state()
        self.assertEqual((state[ID.RECOVERY_BLOCKS_EDIT].enabled, state[ID.RECOVERY_NOTE].text),
                         (0, "On one more disk"))
        window.click(ID.SLICE_BUTTON)
        disks = []
        title, text = window.next_box()
        while title == NEXT_DISK_TITLE and len(disks) < 5:
            disks.append(self.disk("disk%d" % (len(disks) + 1), FLOPPY_BYTES // 1024))
            self.insert(disks[-1])
            window.answer(NEXT_DISK_TITLE)
            title, text = window.next_box()
        last = len(disks)
        # One block, the longest portion rounded up to whole words.
        longest = max(os.path.getsize(os.path.join(disks[n], "DISKS.D%02d" % n))
                      for n in range(last - 1))
        self.assertEqual((title, text), (COMPLETE_TITLE, (
            "Slice %s to A: is complete\n\nRecovery data written: DISKS.DAT.par2 and "
            "DISKS.DAT.vol0+1.par2, 1 block of %d bytes for %d portions; par2 rebuilds up to 1 "
            "lost or damaged portion from it.\nDisk #%d holds the recovery data. To repair the "
            "set, copy every disk, this one included, into one folder and run par2 repair "
            "DISKS.DAT.par2 there.") % (winpath(source), (longest + 3) // 4 * 4, last - 1, last)))
        window.answer(COMPLETE_TITLE)
        self.assertEqual(sorted(os.listdir(disks[-1])), ["DISKS.DAT.par2", "DISKS.DAT.vol0+1.par2"])
        self.assertEqual(window.close(), 0)

        gathered = self.gather(disks)
        if shutil.which("par2"):
            self.assertEqual(par2("verify", gathered, "DISKS.DAT.par2").returncode, 0)
        os.remove(os.path.join(gathered, "DISKS.D01"))
        self.assertRebuiltInFolder(gathered, "DISKS.DAT", data)


if __name__ == "__main__":
    unittest.main()
