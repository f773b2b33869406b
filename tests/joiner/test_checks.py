"""The check against the checksum list: sets cut by the slicers (the Linux
dorvane; in the Windows configuration also the slice engine through
slicetool), damaged as carriers damage them, and rebuilt by every joiner
the configuration has (KELMORIX.EXE and the Linux kelmorix). A damaged set
is named with code 230 and nothing takes the file's name; a set without a
list rebuilds with the not-verified line, and a damaged list still vouches
with its intact lines, as cksfv reads it. Then --check, run by both
joiners."""

import os
import shutil
import subprocess
import unittest
import zlib

from harness import NATIVE, SEP, WINE_RUN, JoinerTest, flip, run_joiner, run_native, winpath

DAMAGED = 230
SLICETOOL = os.environ.get("SLICETOOL_EXE", "")
DORVANE_LINUX = os.environ.get("DORVANE_LINUX", "")
LINUX_KELMORIX = NATIVE or os.environ.get("LINUX_KELMORIX", "")


def swap(a, b):
    os.rename(a, a + ".x")
    os.rename(b, a)
    os.rename(a + ".x", b)


def crc(path):
    with open(path, "rb") as f:
        return "%08X" % zlib.crc32(f.read())


def listed(folder, name):
    with open(os.path.join(folder, "BIG.DAT.sfv"), "rb") as f:
        for line in f.read().decode().split("\r\n"):
            if line.startswith(name + " "):
                return line.split()[1]


class Checked(JoinerTest):
    def setUp(self):
        super().setUp()
        self.data = os.urandom(20000)
        self.source = os.path.join(self.folder("src"), "BIG.DAT")
        with open(self.source, "wb") as f:
            f.write(self.data)
        self.slicers = []
        if os.access(DORVANE_LINUX, os.X_OK):
            self.slicers.append(("linux", self.slice_on_linux))
        if WINE_RUN and SLICETOOL:
            self.slicers.append(("windows", self.slice_on_windows))
        if not self.slicers:
            self.skipTest("no slicer is built")
        self.joiners = [("linux", lambda args: run_native(args, self.dir, program=LINUX_KELMORIX),
                         os.path.realpath)] if os.access(LINUX_KELMORIX, os.X_OK) else []
        if not NATIVE:
            self.joiners.append(("windows", lambda args: run_joiner(args, self.dir), winpath))

    def slice_on_linux(self, folder, portion_size):
        subprocess.run([DORVANE_LINUX, self.source, folder + "/", "--size", str(portion_size)],
                       check=True, capture_output=True, stdin=subprocess.DEVNULL, timeout=60)

    def slice_on_windows(self, folder, portion_size):
        proc = subprocess.run([WINE_RUN, SLICETOOL, winpath(self.source), winpath(folder) + "\\",
                               str(portion_size)], capture_output=True, timeout=60,
                              stdin=subprocess.DEVNULL)
        self.assertEqual(proc.stdout.replace(b"\r", b""), b"RESULT 0\n", proc.stderr)

    def sets(self):
        """(slicer, folder of a fresh 4-portion set, folder of a 1-portion set)."""
        for name, slice_into in self.slicers:
            four, one = self.folder(name + "-four"), self.folder(name + "-one")
            slice_into(four, 309 + 5000)
            slice_into(one, 309 + 20000)
            self.assertEqual(sorted(os.listdir(four)), ["BIG.D00", "BIG.D01", "BIG.D02", "BIG.D03",
                                                        "BIG.DAT.sfv", "KELMORIX.EXE"])
            yield name, four, one

    def test_damage_is_named_and_nothing_takes_the_files_name(self):
        # (case, the set (four or one portions), damage, the portion named)
        cases = [("middle byte", 0, lambda f: flip(os.path.join(f, "BIG.D02"), 3000), "BIG.D02"),
                 ("portion 00 header", 0, lambda f: flip(os.path.join(f, "BIG.D00"), 295), "BIG.D00"),
                 ("swapped", 0, lambda f: swap(os.path.join(f, "BIG.D01"), os.path.join(f, "BIG.D02")),
                  "BIG.D01"),
                 ("single header", 1, lambda f: flip(os.path.join(f, "BIG.D00"), 8), "BIG.D00")]
        for slicer, four, one in self.sets():
            for case, which, damage, named in cases:
                folder = self.folder("%s-%s" % (slicer, case.replace(" ", "-")))
                shutil.rmtree(folder)
                shutil.copytree((four, one)[which], folder)
                damage(folder)
                for joiner in self.joiners:
                    with self.subTest(slicer=slicer, case=case, joiner=joiner[0]):
                        out = self.folder("out-%s-%s-%s" % (slicer, case, joiner[0]))
                        run = joiner[1]([joiner[2](folder), joiner[2](out)])
                        self.assertEqual(run.code, DAMAGED, run.output)
                        self.assertIn("%s is damaged: its checksum is %s, the list says %s\n" % (
                            named, crc(os.path.join(folder, named)), listed(folder, named)),
                            run.output)
                        self.assertNotIn("BIG.DAT", os.listdir(out))

    def test_the_users_file_stays_when_the_set_is_damaged(self):
        for slicer, four, _ in self.sets():
            flip(os.path.join(four, "BIG.D01"), 1000)
            for joiner in self.joiners:
                with self.subTest(slicer=slicer, joiner=joiner[0]):
                    out = self.folder("out-%s-%s" % (slicer, joiner[0]))
                    with open(os.path.join(out, "BIG.DAT"), "wb") as f:
                        f.write(b"the user's own file")
                    run = run_answered(joiner, four, out, self.dir)
                    self.assertEqual(run.code, DAMAGED, run.output)
                    self.assertEqual(self.read(os.path.join(out, "BIG.DAT")), b"the user's own file")

    def test_a_set_without_a_list_rebuilds_unverified_one_cut_short_vouches_for_what_it_names(self):
        # (case, what is done to the list, the code, the line expected)
        cases = [("no list", os.remove, 0,
                  "The slice set carried no checksum list; BIG.DAT was not verified."),
                 ("truncated list", lambda p: os.truncate(p, os.path.getsize(p) // 2), DAMAGED,
                  "BIG.D03 is not verified: no intact line of a checksum list and no recovery data "
                  "vouch for it."),
                 ("sound", None, 0, None)]
        for slicer, four, _ in self.sets():
            for case, spoil, code, line in cases:
                folder = self.folder("%s-%s" % (slicer, case.replace(" ", "-")))
                shutil.rmtree(folder)
                shutil.copytree(four, folder)
                if spoil:
                    spoil(os.path.join(folder, "BIG.DAT.sfv"))
                for joiner in self.joiners:
                    with self.subTest(slicer=slicer, case=case, joiner=joiner[0]):
                        out = self.folder("out-%s-%s-%s" % (slicer, case, joiner[0]))
                        run = joiner[1]([joiner[2](folder), joiner[2](out)])
                        self.assertEqual(run.code, code, run.output)
                        if line:
                            self.assertIn(line, run.output.replace(joiner[2](folder) + SEP, ""))
                        if code:
                            continue
                        self.assertNotIn("verified" if not line else "Warning", run.output)
                        self.assertEqual(self.read(os.path.join(out, "BIG.DAT")), self.data)

    def test_a_damaged_list_never_lets_a_damaged_portion_pass(self):
        """Each of these lists, beside a set whose portion 02 is damaged:
        the join fails or rebuilds it, and --check never calls it ok."""
        lists = [("cut short", lambda t: t[:-5]),
                 ("control byte", lambda t: t.replace(b"BIG.D02 ", b"BIG.D\x0002 ")),
                 ("a name twice", lambda t: t.replace(b"BIG.D01 ", b"BIG.D02 ")),
                 ("over-long line", lambda t: t.replace(b"BIG.D02 ", b"BIG.D02 " + b" " * 40000)),
                 ("9-digit CRC", lambda t: t.replace(b"BIG.D02 ", b"BIG.D02 0")),
                 ("absurd size", lambda t: t.replace(b"20000 bytes", b"9" * 30 + b" bytes")),
                 ("wrong count", lambda t: t.replace(b"4 portions", b"3 portions")),
                 ("CR line ends", lambda t: t.replace(b"\r\n", b"\r")),
                 ("empty", lambda t: b""),
                 ("over 32 KiB", lambda t: t + b";" * 40000)]
        if not os.access(DORVANE_LINUX, os.X_OK):
            self.skipTest("the Linux dorvane is not built")
        bare, recovery = self.folder("bare"), self.folder("recovery")
        for folder, extra in ((bare, []), (recovery, ["--recovery", "1"])):
            subprocess.run([DORVANE_LINUX, self.source, folder + "/", "--size", "5309"] + extra,
                           check=True, capture_output=True, stdin=subprocess.DEVNULL, timeout=60)
            flip(os.path.join(folder, "BIG.D02"), 3000)
        for case, spoil in lists:
            for base in (bare, recovery):
                folder = self.folder("%s-%s" % (os.path.basename(base), case.replace(" ", "-")))
                shutil.rmtree(folder)
                shutil.copytree(base, folder)
                with open(os.path.join(folder, "BIG.DAT.sfv"), "r+b") as f:
                    text = spoil(f.read())
                    f.seek(0)
                    f.truncate()
                    f.write(text)
                code = DAMAGED if base == bare else 0
                for joiner in self.joiners:
                    with self.subTest(list=case, recovery=base == recovery, joiner=joiner[0]):
                        out = self.folder("out-%s-%s" % (os.path.basename(folder), joiner[0]))
                        run = joiner[1]([joiner[2](folder), joiner[2](out)])
                        self.assertEqual(run.code, code, run.output)
                        if code:
                            self.assertNotIn("BIG.DAT", os.listdir(out))
                        else:
                            self.assertIn("BIG.D02 was damaged; rebuilt from the recovery data",
                                          run.output)
                            self.assertEqual(self.read(os.path.join(out, "BIG.DAT")), self.data)
                if os.access(LINUX_KELMORIX, os.X_OK):
                    run = run_native(["--check", folder], self.dir, program=LINUX_KELMORIX)
                    self.assertEqual(run.code, DAMAGED, run.output)
                    self.assertNotIn("BIG.D02  ok", run.output)

    def test_check_names_each_portion_and_writes_nothing(self):
        # Both joiners run the same check: KELMORIX.EXE --check as the Linux one.
        for slicer, four, _ in self.sets():
            before = {n: self.read(os.path.join(four, n)) for n in os.listdir(four)}
            for joiner in self.joiners:
                with self.subTest(slicer=slicer, joiner=joiner[0], set="sound"):
                    run = joiner[1](["--check", joiner[2](four)])
                    self.assertEqual(run.code, 0, run.output)
                    self.assertEqual(run.output.split("\n")[:4], ["BIG.D0%d  ok" % n for n in range(4)])
                    self.assertIn("BIG.DAT  ok: 20000 bytes, checksum %08X" % zlib.crc32(self.data),
                                  run.output)
            flip(os.path.join(four, "BIG.D02"), 4000)
            os.remove(os.path.join(four, "BIG.D01"))
            for joiner in self.joiners:
                with self.subTest(slicer=slicer, joiner=joiner[0], set="damaged"):
                    run = joiner[1](["--check", joiner[2](four)])
                    self.assertEqual(run.code, DAMAGED, run.output)
                    self.assertEqual(run.output.split("\n")[:5], [
                        "BIG.D00  ok", "BIG.D01  missing",
                        "BIG.D02  damaged: checksum %s, the list says %s"
                        % (crc(os.path.join(four, "BIG.D02")), listed(four, "BIG.D02")),
                        "BIG.D03  ok", "BIG.DAT  incomplete: portions are missing, damaged or unreadable"])
                    self.assertIn("2 portions damaged or missing; the set carries no recovery data",
                                  run.output)
            del before["BIG.D01"], before["BIG.D02"]
            self.assertEqual(sorted(os.listdir(four)), sorted(list(before) + ["BIG.D02"]))
            for name, data in before.items():
                self.assertEqual(self.read(os.path.join(four, name)), data)


def run_answered(joiner, folder, out, cwd):
    """A run that answers Y to the overwrite question."""
    name, _, path = joiner
    args = [path(folder), path(out)]
    answer = lambda n, text: b"y"  # noqa: E731
    if name == "linux":
        return run_native(args, cwd, program=LINUX_KELMORIX, answer=answer)
    return run_joiner(args, cwd, answer=answer)


if __name__ == "__main__":
    unittest.main()
