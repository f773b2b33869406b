"""dorvane --recovery: the PAR2 files beside a set, checked and used by
Debian's par2; an existing file of their names replaced only with consent;
a failure that leaves the set whole and no file under a final name."""

import os
import subprocess
import unittest

from linux_dorvane import DORVANE, Scratch, read, run_dorvane, sample_data, slice_onto_disks
from common import need_tool  # found through the path linux_dorvane sets

KELMORIX = os.environ.get("KELMORIX_NATIVE", "")
PAR2 = ""  # Debian's par2cmdline


def setUpModule():
    global PAR2
    if not DORVANE or not KELMORIX:
        raise unittest.SkipTest("DORVANE_LINUX and KELMORIX_NATIVE are set by the build's test run")
    PAR2 = need_tool("par2")


def par2(action, folder):
    return subprocess.run([PAR2, action, "big.dat.par2"], cwd=folder, capture_output=True,
                          stdin=subprocess.DEVNULL, timeout=120)


class Recovery(Scratch):
    def set_portions(self, folder):
        return sorted(n for n in os.listdir(folder) if n.startswith("big.d") and len(n) == 7)

    def rebuild(self, folder):
        out = self.folder("rebuilt-%d" % len(os.listdir(self.dir)))
        run = subprocess.run([KELMORIX, folder, out], capture_output=True, stdin=subprocess.DEVNULL,
                             timeout=60)
        self.assertEqual(run.returncode, 0, run.stdout)
        return read(os.path.join(out, "big.dat"))

    def test_par2_verifies_and_rebuilds_lost_and_damaged_portions(self):
        # (source size, plan, blocks asked, portions deleted, portions damaged)
        for round, (size, plan, blocks, lost, damaged) in enumerate((
                (3000001, ["--count", "7"], None, 1, 0),
                (3000001, ["--count", "9"], "2", 2, 0),
                (2500000, ["--size", "700000"], "=3", 1, 2),
                (100, ["--size", "1000"], None, 1, 0))):
            with self.subTest(seed=self.seed, round=round, plan=plan, blocks=blocks):
                data = sample_data(size, seed=round + 1)
                source, out = self.source("big.dat", data), self.folder("set%d" % round)
                option = ["--recovery"] if blocks is None else (
                    ["--recovery" + blocks] if blocks[0] == "=" else ["--recovery", blocks])
                run = run_dorvane([source, out] + plan + option, self.dir, console=False)
                self.assertEqual(run.code, 0, run.output)
                count = int((blocks or "1").strip("="))
                self.assertIn("big.dat.par2", os.listdir(out))
                self.assertIn("big.dat.vol0+%d.par2" % count, os.listdir(out))
                # The joiner, the checksum list and the two recovery files.
                self.assertEqual(len(os.listdir(out)), len(self.set_portions(out)) + 4)
                self.assertEqual(par2("verify", out).returncode, 0)
                names = self.set_portions(out)
                kept = {n: read(os.path.join(out, n)) for n in names}
                chosen = self.rng.sample(names, lost + damaged)
                for n in chosen[:lost]:
                    os.remove(os.path.join(out, n))
                for n in chosen[lost:]:
                    with open(os.path.join(out, n), "r+b") as f:
                        f.seek(self.rng.randrange(len(kept[n])))
                        byte = f.read(1)
                        f.seek(-1, 1)
                        f.write(bytes([byte[0] ^ 0x20]))
                self.assertNotEqual(par2("verify", out).returncode, 0)
                repair = par2("repair", out)
                self.assertEqual(repair.returncode, 0, repair.stdout)
                for n in names:
                    self.assertEqual(read(os.path.join(out, n)), kept[n], n)
                self.assertEqual(self.rebuild(out), data)

    def test_a_recovery_file_there_is_replaced_only_with_consent(self):
        source = self.source("big.dat", sample_data(5000))
        out = self.folder("out")
        with open(os.path.join(out, "big.dat.par2"), "wb") as f:
            f.write(b"old")
        # Nothing answers the question: the set is written, the old file kept.
        run = run_dorvane([source, out, "--size", "1000", "--recovery"], self.dir, console=False)
        self.assertEqual(run.code, 234, run.output)
        self.assertIn("big.dat.par2 is already there.\n", run.output)
        self.assertIn("big.dat.par2 was not replaced: the overwrite question was not", run.output)
        self.assertIn("is complete, but its recovery data could not be written", run.output)
        self.assertEqual(read(os.path.join(out, "big.dat.par2")), b"old")
        self.assertEqual(sorted(os.listdir(out)),
                         ["KELMORIX.EXE"] + ["big.d%02d" % n for n in range(8)] + ["big.dat.par2", "big.sfv"])
        self.assertEqual(self.rebuild(out), sample_data(5000))
        # The job's own question, answered yes, covers the old files: asked once.
        run = run_dorvane([source, out, "--size", "1000", "--recovery"], self.dir,
                          answer=lambda n, text: b"y")
        self.assertEqual(run.code, 0, run.output)
        self.assertEqual(run.output.count("Overwrite? (Y/N): "), 1, run.output)
        self.assertEqual(par2("verify", out).returncode, 0)

    def test_a_failed_write_leaves_the_set_and_no_recovery_file(self):
        source = self.source("big.dat", sample_data(20000))
        out = self.folder("out")
        # Portions of 3000 bytes fit under the limit; the recovery file does not.
        run = run_dorvane([source, out, "--size", "3000", "--recovery"], self.dir, console=False,
                          file_size_limit=4000)
        self.assertEqual(run.code, 234, run.output)
        self.assertIn("Error writing %s = 27\n" % os.path.join(out, "big.dat.vol0+1.par2.tmp"),
                      run.output)
        self.assertFalse([n for n in os.listdir(out) if "par2" in n], os.listdir(out))
        self.assertEqual(len(self.set_portions(out)), 8)
        # KELMORIX.EXE did not fit either: the Linux kelmorix rebuilds the set.
        self.assertEqual(self.rebuild(out), sample_data(20000))

    def test_an_empty_file_has_its_header_protected(self):
        out = self.folder("out")
        run = run_dorvane([self.source("big.dat", b""), out, "--size", "1000", "--recovery"],
                          self.dir, console=False)
        self.assertEqual(run.code, 0, run.output)
        self.assertIn("1 block of 312 bytes for 1 portion;", run.output)
        os.remove(os.path.join(out, "big.d00"))
        self.assertEqual(par2("repair", out).returncode, 0)
        self.assertEqual(self.rebuild(out), b"")
    def test_disk_after_disk_the_recovery_data_on_a_disk_of_its_own(self):
        data = sample_data(2600000, seed=7)

        # Disks 1 to 3 take the set; at the recovery disk's prompt disk 3 comes
        # back first, is refused (it holds a portion) and retried with disk 4.
        def answer(disks, n, text):
            if text.endswith("(A/R/I): "):
                return b"r" if n == 4 else b"a"  # one refusal expected, no more
            disks.insert(min(n + 1, 3) if n < 4 else 4)
            return b" "

        listings = []
        # Four disks of one size: every disk keeps the room the recovery
        # files need beside their block.
        run, copied, _ = slice_onto_disks(self, self.dir, self.source("big.dat", data), 4, "1m",
                                          listings, ["--recovery"], answer)
        self.assertEqual(run.code, 0, run.output)
        for n in (1, 2, 3, 4):
            self.assertIn("Please insert disk #%d in drive" % n, run.output)
        self.assertIn("This disk holds big.d02 of the set just written.", run.output)
        self.assertEqual([sorted(x) for x in listings[1:]],
                         [["big.d01"], ["big.d02", "big.sfv"], ["big.dat.par2", "big.dat.vol0+1.par2"]])
        self.assertIn("Disk #4 holds the recovery data.", run.output)
        self.assertEqual(par2("verify", copied).returncode, 0)
        names = self.set_portions(copied)
        kept = {n: read(os.path.join(copied, n)) for n in names}
        lost = self.rng.choice(names)
        os.remove(os.path.join(copied, lost))
        repair = par2("repair", copied)
        self.assertEqual(repair.returncode, 0, (self.seed, lost, repair.stdout))
        for n in names:
            self.assertEqual(read(os.path.join(copied, n)), kept[n], n)
        self.assertEqual(self.rebuild(copied), data)


if __name__ == "__main__":
    unittest.main()
