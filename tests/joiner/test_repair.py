"""Lost or damaged portions rebuilt from the recovery data: sets cut by the
Linux dorvane with --recovery, portions deleted, damaged, swapped or put out
of reach, rebuilt byte for byte by every joiner the configuration has
(KELMORIX.EXE and the Linux kelmorix) on its own, with and without the
checksum list; more than the blocks end the run naming them all, and nothing
takes the file's name. Then kelmorix --check on the same sets, whose verdict
is par2 verify's."""

import os
import re
import shutil
import subprocess
import unittest

from harness import NATIVE, JoinerTest, flip, run_joiner, run_native, winpath

DAMAGED = 230
DORVANE_LINUX = os.environ.get("DORVANE_LINUX", "")
LINUX_KELMORIX = NATIVE or os.environ.get("LINUX_KELMORIX", "")
HAS_PAR2 = shutil.which("par2") is not None


def lose(*names):
    return lambda folder: [os.remove(os.path.join(folder, n)) for n in names]


def damage(name, offset):
    return lambda folder: flip(os.path.join(folder, name), offset)


def swap(a, b):
    def spoil(folder):
        a_path, b_path = os.path.join(folder, a), os.path.join(folder, b)
        os.rename(a_path, a_path + ".x")
        os.rename(b_path, a_path)
        os.rename(a_path + ".x", b_path)
    return spoil


def folder_in_place(name):
    def spoil(folder):
        os.remove(os.path.join(folder, name))
        os.mkdir(os.path.join(folder, name))
    return spoil


def both(*spoils):
    return lambda folder: [spoil(folder) for spoil in spoils]


def zero_device(name):
    return lambda folder: os.symlink("/dev/zero", os.path.join(folder, name))


def par2_volumes(blocks):
    """The recovery data made again by par2 under its own volume names."""
    def spoil(folder):
        for name in os.listdir(folder):
            if name.endswith(".par2"):
                os.remove(os.path.join(folder, name))
        portions = sorted(n for n in os.listdir(folder) if re.fullmatch(r"BIG\.D\d\d", n))
        subprocess.run(["par2", "create", "-q", "-q", "-s5312", "-c%d" % blocks, "BIG.DAT.par2"]
                       + portions, cwd=folder, check=True, capture_output=True,
                       stdin=subprocess.DEVNULL, timeout=60)
    return spoil


def rebuilt(*how):
    return ["BIG.D0%d %s; rebuilt from the recovery data" % (n, text) for n, text in how]


CAN_ONE = "1 portion damaged or missing; the recovery data can rebuild it (1 block to spare)"
# (case, what is done to the set, the exit code, lines expected, --check's last line)
CASES = [
    ("middle missing", lose("BIG.D02"), 0, rebuilt((2, "was missing")), CAN_ONE),
    ("last missing", lose("BIG.D04"), 0, rebuilt((4, "was missing")), CAN_ONE),
    ("data damaged", damage("BIG.D01", 2000), 0, rebuilt((1, "was damaged")), CAN_ONE),
    ("header damaged", damage("BIG.D03", 100), 0, rebuilt((3, "was damaged")), CAN_ONE),
    ("portion 00 missing", lose("BIG.D00"), 0, rebuilt((0, "was missing")), CAN_ONE),
    ("portion 00 header damaged", damage("BIG.D00", 40), 0, rebuilt((0, "was damaged")), CAN_ONE),
    ("portion 00 mark damaged", damage("BIG.D00", 0), 0, rebuilt((0, "was damaged")), CAN_ONE),
    ("a folder in its place", folder_in_place("BIG.D02"), 0, rebuilt((2, "could not be opened")),
     CAN_ONE),
    ("a device beside", both(zero_device("ZERO.par2"), lose("BIG.D01")), 0,
     rebuilt((1, "was missing")), CAN_ONE),
    ("two missing", lose("BIG.D01", "BIG.D03"), 0, rebuilt((1, "was missing"), (3, "was missing")),
     "2 portions damaged or missing; the recovery data can rebuild them (0 blocks to spare)"),
    ("swapped", swap("BIG.D01", "BIG.D02"), 0, rebuilt((1, "was damaged"), (2, "was damaged")),
     "2 portions damaged or missing; the recovery data can rebuild them (0 blocks to spare)"),
    ("par2's own volumes", both(par2_volumes(3), lose("BIG.D00", "BIG.D02", "BIG.D04")), 0,
     rebuilt((0, "was missing"), (2, "was missing"), (4, "was missing")),
     "3 portions damaged or missing; the recovery data can rebuild them (0 blocks to spare)"),
    ("three lost", lose("BIG.D01", "BIG.D02", "BIG.D03"), DAMAGED,
     ["BIG.D01 is missing", "BIG.D02 is missing", "BIG.D03 is missing"],
     "3 portions damaged or missing, more than the recovery data can rebuild: "
     "par2 repair needs 3 blocks, the set has 2"),
    ("a device for the blocks", both(lose("BIG.DAT.vol0+2.par2", "BIG.D02"),
                                     zero_device("BIG.DAT.vol0+2.par2")), DAMAGED,
     ["BIG.D02 is missing"], "1 portion damaged or missing, more than the recovery data can "
     "rebuild: par2 repair needs 1 block, the set has 0"),
]


class Repaired(JoinerTest):
    def setUp(self):
        super().setUp()
        if not os.access(DORVANE_LINUX, os.X_OK):
            self.skipTest("the Linux dorvane is not built")
        self.data = os.urandom(23000)
        self.set = self.slice("set", self.data, 309 + 5000, 2)
        self.assertIn("BIG.DAT.par2", os.listdir(self.set))
        self.joiners = [("linux", lambda args, **kw: run_native(args, self.dir, program=LINUX_KELMORIX,
                                                                **kw),
                         os.path.realpath)] if os.access(LINUX_KELMORIX, os.X_OK) else []
        if not NATIVE:
            self.joiners.append(("windows", lambda args, **kw: run_joiner(args, self.dir, **kw),
                                 winpath))

    def slice(self, name, data, portion_size, blocks):
        source = os.path.join(self.folder("src-" + name), "BIG.DAT")
        with open(source, "wb") as f:
            f.write(data)
        folder = self.folder(name)
        command = [DORVANE_LINUX, source, folder + "/", "--size", str(portion_size)]
        subprocess.run(command + (["--recovery", str(blocks)] if blocks else []), check=True,
                       capture_output=True, stdin=subprocess.DEVNULL, timeout=60)
        return folder

    def spoiled(self, case, spoil, keep_list=True, base=None):
        folder = self.folder(case.replace(" ", "-") + ("" if keep_list else "-unlisted"))
        shutil.rmtree(folder)
        shutil.copytree(base or self.set, folder, symlinks=True)
        if "par2" in case and not HAS_PAR2:
            self.skipTest("par2 (Debian's par2cmdline) is installed by scripts/bootstrap")
        spoil(folder)
        if not keep_list:
            os.remove(os.path.join(folder, "BIG.DAT.sfv"))
        return folder

    def joined(self, join, path, folder, name, code, data):
        """Joins folder into a new folder beside a file of the user's, the
        replacement agreed to; returns the run."""
        out = self.folder("out-" + name)
        with open(os.path.join(out, "BIG.DAT"), "wb") as f:
            f.write(b"the user's own file")
        run = join([path(folder), path(out)], answer=lambda n, text: b"y")
        self.assertEqual(run.code, code, run.output)
        if code:
            self.assertEqual(self.read(os.path.join(out, "BIG.DAT")), b"the user's own file")
            self.assertIn("has been left in place", run.output)
        else:
            self.assertIn("BIG.DAT Successfully restored to %s\n" % path(out), run.output)
            self.assertEqual(self.read(os.path.join(out, "BIG.DAT")), data)
        return run

    def test_lost_or_damaged_portions_are_rebuilt_more_than_the_blocks_are_named(self):
        for case, spoil, code, lines, _ in CASES:
            # Without a list the recovery data's checksums find the damage.
            for keep_list in (True, False):
                folder = self.spoiled(case, spoil, keep_list)
                for name, join, path in self.joiners:
                    with self.subTest(case=case, listed=keep_list, joiner=name):
                        run = self.joined(join, path, folder, "%s-%s-%s" % (case, keep_list, name),
                                          code, self.data)
                        for line in lines:
                            self.assertIn(line, run.output)

    def test_a_set_without_portion_00_is_found_in_its_folder_run_without_arguments(self):
        runs = [("linux", lambda cwd: run_native([], cwd, program=LINUX_KELMORIX))] \
            if os.access(LINUX_KELMORIX, os.X_OK) else []
        if not NATIVE:
            runs.append(("windows", lambda cwd: run_joiner([], cwd)))
        for name, run_in in runs:
            with self.subTest(joiner=name):
                folder = self.spoiled("here " + name, both(lose("BIG.D00"), damage("BIG.D03", 40)))
                run = run_in(folder)
                self.assertEqual(run.code, 0, run.output)
                self.assertIn("BIG.D00 was missing; rebuilt from the recovery data", run.output)
                self.assertEqual(self.read(os.path.join(folder, "BIG.DAT")), self.data)

    def test_k_blocks_rebuild_k_portions_byte_for_byte(self):
        # (blocks, portions, portion length, what is done to the set)
        cases = [(4, 8, 1309, lose("BIG.D03")),
                 (4, 8, 1309, both(lose("BIG.D00"), damage("BIG.D04", 700))),
                 (4, 8, 1309, both(lose("BIG.D01", "BIG.D02"), damage("BIG.D07", 400))),
                 (4, 8, 1309, both(lose("BIG.D06", "BIG.D07"), damage("BIG.D00", 5),
                                   damage("BIG.D01", 1000))),
                 (10, 100, 909, lose(*["BIG.D%02d" % n for n in range(5, 100, 10)]))]
        for n, (blocks, portions, length, spoil) in enumerate(cases):
            data = os.urandom((portions - 1) * (length - 309) + 123)
            base = self.slice("k%d" % n, data, length, blocks)
            folder = self.spoiled("k-%d" % n, spoil, False, base)
            for name, join, path in self.joiners:
                with self.subTest(case=n, joiner=name):
                    self.joined(join, path, folder, "k-%d-%s" % (n, name), 0, data)

    def test_check_says_what_the_join_does_as_par2_verify_does(self):
        if not os.access(LINUX_KELMORIX, os.X_OK):
            self.skipTest("the Linux kelmorix is not built")
        run = run_native(["--check", self.set], self.dir, program=LINUX_KELMORIX)
        self.assertEqual(run.code, 0, run.output)
        self.assertNotIn("recovery", run.output)
        stale = self.slice("again", os.urandom(23000), 309 + 5000, 0)
        for name in ("BIG.DAT.par2", "BIG.DAT.vol0+2.par2"):
            shutil.copy(os.path.join(self.set, name), stale)
        cases = CASES + [
            ("no recovery data", lose("BIG.D02", "BIG.DAT.par2", "BIG.DAT.vol0+2.par2"), None, None,
             "1 portion damaged or missing; the set carries no recovery data"),
            ("an earlier set's", lose("BIG.D02"), None, ["BIG.DAT.par2 describes other portions "
                                                          "than the set's; it is passed over."],
             "1 portion damaged or missing; the set carries no recovery data")]
        for case, spoil, _, lines, said in cases:
            with self.subTest(case=case):
                folder = self.spoiled(case, spoil, base=stale if "earlier" in case else None)
                run = run_native(["--check", folder], self.dir, program=LINUX_KELMORIX)
                self.assertEqual(run.code, DAMAGED, run.output)
                self.assertIn(said, run.output.split("\n"))
                for line in lines if "earlier" in case else []:
                    self.assertIn(line, run.output)
                if not HAS_PAR2 or "device" in case or "no recovery" in case:
                    continue
                # par2: 1 when it can repair, 2 when it cannot.
                verify = subprocess.run(["par2", "verify", "-q", "BIG.DAT.par2"], cwd=folder,
                                        capture_output=True, stdin=subprocess.DEVNULL, timeout=60)
                self.assertEqual(verify.returncode, 1 if "; the recovery data can" in said else 2, said)


if __name__ == "__main__":
    unittest.main()
