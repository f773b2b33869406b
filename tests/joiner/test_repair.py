"""A lost or damaged portion rebuilt from the recovery data: sets cut by the
Linux dorvane with --recovery, one portion deleted or damaged, rebuilt byte
for byte by every joiner the configuration has (KELMORIX.EXE and the Linux
kelmorix) on its own; two lost end the run naming both, and nothing takes
the file's name. Then kelmorix --check on the same sets."""

import os
import shutil
import subprocess
import unittest

from harness import NATIVE, JoinerTest, flip, run_joiner, run_native, winpath

DAMAGED = 230
DORVANE_LINUX = os.environ.get("DORVANE_LINUX", "")
LINUX_KELMORIX = NATIVE or os.environ.get("LINUX_KELMORIX", "")


def lose(*names):
    return lambda folder: [os.remove(os.path.join(folder, n)) for n in names]


def damage(name, offset):
    return lambda folder: flip(os.path.join(folder, name), offset)


# (case, what is done to the set, the exit code, lines expected, --check's last line)
CASES = [
    ("middle missing", lose("BIG.D02"), 0, ["BIG.D02 was missing; rebuilt from the recovery data"],
     "1 portion damaged or missing; the recovery data can rebuild it (1 block to spare)"),
    ("last missing", lose("BIG.D04"), 0, ["BIG.D04 was missing; rebuilt from the recovery data"],
     "1 portion damaged or missing; the recovery data can rebuild it (1 block to spare)"),
    ("data damaged", damage("BIG.D01", 2000), 0,
     ["BIG.D01 was damaged; rebuilt from the recovery data"],
     "1 portion damaged or missing; the recovery data can rebuild it (1 block to spare)"),
    ("header damaged", damage("BIG.D03", 100), 0,
     ["BIG.D03 was damaged; rebuilt from the recovery data"],
     "1 portion damaged or missing; the recovery data can rebuild it (1 block to spare)"),
    ("two missing", lose("BIG.D01", "BIG.D03"), DAMAGED,
     ["BIG.D01 is missing", "BIG.D03 is missing",
      "The joiner rebuilds one portion; a PAR2 tool may rebuild more: par2 repair BIG.DAT.par2"],
     "2 portions damaged or missing; par2 repair BIG.DAT.par2 can rebuild them (0 blocks to spare)"),
    ("three lost", lose("BIG.D01", "BIG.D02", "BIG.D03"), None, None,
     "3 portions damaged or missing, more than the recovery data can rebuild: "
     "par2 repair needs 3 blocks, the set has 2"),
]


class Repaired(JoinerTest):
    def setUp(self):
        super().setUp()
        if not os.access(DORVANE_LINUX, os.X_OK):
            self.skipTest("the Linux dorvane is not built")
        self.data = os.urandom(23000)
        source = os.path.join(self.folder("src"), "BIG.DAT")
        with open(source, "wb") as f:
            f.write(self.data)
        self.set = self.folder("set")
        subprocess.run([DORVANE_LINUX, source, self.set + "/", "--size", str(309 + 5000),
                        "--recovery", "2"], check=True, capture_output=True,
                       stdin=subprocess.DEVNULL, timeout=60)
        self.assertIn("BIG.DAT.par2", os.listdir(self.set))
        self.joiners = [("linux", lambda args, **kw: run_native(args, self.dir, program=LINUX_KELMORIX,
                                                                **kw),
                         os.path.realpath)] if os.access(LINUX_KELMORIX, os.X_OK) else []
        if not NATIVE:
            self.joiners.append(("windows", lambda args, **kw: run_joiner(args, self.dir, **kw),
                                 winpath))

    def spoiled(self, case, spoil, keep_list=True):
        folder = self.folder(case.replace(" ", "-") + ("" if keep_list else "-unlisted"))
        shutil.rmtree(folder)
        shutil.copytree(self.set, folder)
        spoil(folder)
        if not keep_list:
            os.remove(os.path.join(folder, "BIG.DAT.sfv"))
        return folder

    def test_one_lost_or_damaged_portion_is_rebuilt_two_are_named(self):
        for case, spoil, code, lines, _ in CASES:
            if code is None:
                continue
            for keep_list in (True, False):
                # Without a list only a missing portion is found out.
                if not keep_list and "missing" not in case:
                    continue
                folder = self.spoiled(case, spoil, keep_list)
                for name, join, path in self.joiners:
                    with self.subTest(case=case, listed=keep_list, joiner=name):
                        out = self.folder("out-%s-%s-%s" % (case, keep_list, name))
                        if code:
                            with open(os.path.join(out, "BIG.DAT"), "wb") as f:
                                f.write(b"the user's own file")
                            # Replacing it is agreed to; it must stay all the same.
                            run = join([path(folder), path(out)], answer=lambda n, text: b"y")
                            self.assertEqual(run.code, code, run.output)
                            self.assertEqual(self.read(os.path.join(out, "BIG.DAT")),
                                             b"the user's own file")
                            self.assertIn("has been left in place", run.output)
                        else:
                            run = join([path(folder), path(out)])
                            self.assertEnds(run, 0, "BIG.DAT Successfully restored to %s" % path(out))
                            self.assertEqual(self.read(os.path.join(out, "BIG.DAT")), self.data)
                        for line in lines:
                            self.assertIn(line, run.output)

    def test_check_says_what_the_recovery_data_can_rebuild(self):
        if not os.access(LINUX_KELMORIX, os.X_OK):
            self.skipTest("the Linux kelmorix is not built")
        run = run_native(["--check", self.set], self.dir, program=LINUX_KELMORIX)
        self.assertEqual(run.code, 0, run.output)
        self.assertNotIn("recovery", run.output)
        for case, spoil, _, _, said in CASES:
            with self.subTest(case=case):
                folder = self.spoiled(case, spoil)
                run = run_native(["--check", folder], self.dir, program=LINUX_KELMORIX)
                self.assertEqual(run.code, DAMAGED, run.output)
                self.assertIn(said, run.output.split("\n"))
        folder = self.spoiled("no recovery data", lose("BIG.D02", "BIG.DAT.par2", "BIG.DAT.vol0+2.par2"))
        run = run_native(["--check", folder], self.dir, program=LINUX_KELMORIX)
        self.assertEqual(run.code, DAMAGED, run.output)
        self.assertIn("1 portion damaged or missing; the set carries no recovery data",
                      run.output.split("\n"))


if __name__ == "__main__":
    unittest.main()
