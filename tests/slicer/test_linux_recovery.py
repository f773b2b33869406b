"""dorvane --recovery: the PAR2 files beside a set, checked and used by
Debian's par2; an existing file of their names replaced only with consent;
a failure that leaves the set whole and no file under a final name."""

import os
import shutil
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
        self.assertIn("big.dat.par2 is already there.\n", run.errors)
        self.assertIn("big.dat.par2 was not replaced: the overwrite question was not", run.errors)
        self.assertIn("is complete, but its recovery data could not be written", run.errors)
        self.assertEqual(read(os.path.join(out, "big.dat.par2")), b"old")
        self.assertEqual(sorted(os.listdir(out)),
                         ["KELMORIX.EXE"] + ["big.d%02d" % n for n in range(8)] + ["big.dat.par2", "big.dat.sfv"])
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
        self.assertIn("Error writing %s: File too large (27)\n"
                      % os.path.join(out, "~DVL0001.TMP"), run.errors)
        self.assertFalse([n for n in os.listdir(out) if "par2" in n or "TMP" in n], os.listdir(out))
        self.assertEqual(len(self.set_portions(out)), 8)
        # KELMORIX.EXE did not fit either: the Linux kelmorix rebuilds the set.
        self.assertEqual(self.rebuild(out), sample_data(20000))

    def test_long_names_share_one_stem_that_par2_finds(self):
        # 249 bytes: the index and the recovery file are cut to one stem.
        name = "x" * 245 + ".dat"
        data = sample_data(9000)
        out = self.folder("out")
        run = run_dorvane([self.source(name, data), out, "--count", "4", "--recovery", "2"],
                          self.dir, console=False)
        self.assertEqual(run.code, 0, run.output)
        stem = name[:241]
        par2_files = sorted(n for n in os.listdir(out) if n.endswith(".par2"))
        self.assertEqual(par2_files, [stem + ".par2", stem + ".vol0+2.par2"])
        portions = sorted(n for n in os.listdir(out) if len(n) == len(name) and n != name)
        kept = {n: read(os.path.join(out, n)) for n in portions}
        os.remove(os.path.join(out, portions[1]))
        repair = subprocess.run([PAR2, "repair", stem + ".par2"], cwd=out, capture_output=True,
                                stdin=subprocess.DEVNULL, timeout=120)
        self.assertEqual(repair.returncode, 0, repair.stdout)
        self.assertEqual(read(os.path.join(out, portions[1])), kept[portions[1]])

    def test_two_sets_sharing_a_stem_keep_their_own_side_files(self):
        out = self.folder("out")
        data = {"a.dat": sample_data(7000, seed=1), "a.txt": sample_data(6000, seed=2)}
        for name in data:  # no question: nothing of the other set is replaced
            run = run_dorvane([self.source(name, data[name]), out, "--count", "3", "--recovery"],
                              self.dir, console=False)
            self.assertEqual(run.code, 0, run.output)
        for name in data:
            self.assertIn(name + ".sfv", os.listdir(out))
            check = subprocess.run([PAR2, "verify", name + ".par2"], cwd=out, capture_output=True,
                                   stdin=subprocess.DEVNULL, timeout=120)
            self.assertEqual(check.returncode, 0, check.stdout)
            first = os.path.join(out, name[:-2] + "00")
            check = subprocess.run([KELMORIX, "--check", first], capture_output=True,
                                   stdin=subprocess.DEVNULL, timeout=60)
            self.assertEqual(check.returncode, 0, check.stdout)
            self.assertNotIn(b"damaged", check.stdout)

    def test_slicing_again_removes_the_earlier_sets_side_files_only(self):
        out = self.folder("out")
        source, notes = self.source("big.dat", sample_data(9000)), self.source("notes.dat", b"n" * 900)
        for args in ([source, out, "--count", "4", "--recovery", "3"], [notes, out, "--count", "2", "--recovery"]):
            self.assertEqual(run_dorvane(args, self.dir, console=False).code, 0)
        shutil.copy(os.path.join(out, "big.dat.sfv"), os.path.join(out, "big.sfv"))  # the earlier rule
        shutil.copy(os.path.join(out, "notes.dat.sfv"), os.path.join(out, "notes.sfv"))
        kept = {n: read(os.path.join(out, n)) for n in os.listdir(out) if n.startswith("notes")}
        source = self.source("big.dat", sample_data(8000, seed=9))
        run = run_dorvane([source, out, "--count", "3"], self.dir, answer=lambda n, text: b"y")
        self.assertEqual(run.code, 0, run.output)
        self.assertIn("To be replaced or removed: big.d00 to big.d02, big.d03, big.dat.sfv, big.sfv, "
                      "big.dat.par2, big.dat.vol0+3.par2\nDo you want to overwrite preexisting files?",
                      run.output)
        self.assertEqual(sorted(n for n in os.listdir(out) if not n.startswith("notes")),
                         ["KELMORIX.EXE", "big.d00", "big.d01", "big.d02", "big.dat.sfv"])
        self.assertEqual({n: read(os.path.join(out, n)) for n in os.listdir(out) if n.startswith("notes")},
                         kept)
        self.assertEqual(self.rebuild(out), sample_data(8000, seed=9))

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
        self.assertIn("This disk holds big.d02 of the set just written.", run.errors)
        self.assertEqual([sorted(x) for x in listings[1:]],
                         [["big.d01"], ["big.d02", "big.dat.sfv"], ["big.dat.par2", "big.dat.vol0+1.par2"]])
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
