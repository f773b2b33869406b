"""The Linux dorvane as a user runs it: random sets rebuilt by the Linux
kelmorix, its questions on the terminal, disks on a removable mount point."""

import os
import pty
import subprocess
import termios
import unittest
from unittest import mock

from checklists import check_list, check_with_cksfv
from linux_dorvane import (DORVANE, DORVANE_HOOKED, HEADER_SIZE, Scratch, fake_removable,
                           portions, random_plan, read, run_dorvane, sample_data, slice_onto_disks)

KELMORIX = os.environ.get("KELMORIX_NATIVE", "")


def setUpModule():
    if not DORVANE or not KELMORIX:
        raise unittest.SkipTest("DORVANE_LINUX and KELMORIX_NATIVE are set by the build's test run")


class LinuxDorvane(Scratch):
    def rebuild(self, folder):
        out = self.folder("rebuilt-%d" % len(os.listdir(self.dir)))
        run = subprocess.run([KELMORIX, folder, out], capture_output=True, stdin=subprocess.DEVNULL,
                             timeout=60)
        self.assertEqual(run.returncode, 0, run.stdout)
        (name,) = os.listdir(out)
        return read(os.path.join(out, name))

    def test_random_sets_rebuild_with_kelmorix(self):
        for round in range(6):
            size = self.rng.choice([1, self.rng.randint(2, 5000), self.rng.randint(5000, 3000000)])
            plan = random_plan(self.rng, size)
            with self.subTest(seed=self.seed, round=round, size=size, plan=plan):
                data = sample_data(size, seed=round + 1)
                source, out = self.source("r%d.bin" % round, data), self.folder("set%d" % round)
                run = run_dorvane([source, out] + plan, self.dir, console=False)
                self.assertEqual(run.code, 0, run.output)
                names = portions(out)
                self.assertLessEqual(len(names), 100)
                if plan[0] == "--size":
                    sizes = [os.path.getsize(p) for p in names]
                    self.assertEqual(set(sizes[:-1]) | {int(plan[1])}, {int(plan[1])})
                self.assertEqual(sum(os.path.getsize(p) - HEADER_SIZE for p in names), size)
                self.assertEqual(self.rebuild(out), data)

    def test_questions_are_keys_and_the_terminal_gets_its_mode_back(self):
        source = self.source("big.dat", sample_data(5000))
        out = self.folder("out")
        with open(os.path.join(out, "big.d01"), "wb") as f:
            f.write(b"old")
        # Ctrl+C ends the run (130), with the terminal's mode back.
        for key, code, kept in ((b"n", 246, b"old"), (b"\x03", 130, b"old"), (b"y", 0, None)):
            run = run_dorvane([source, out, "--size", "1000"], self.dir, answer=lambda n, t: key)
            self.assertEqual(run.code, code, run.output)
            self.assertTrue(run.terminal_flags & termios.ICANON and run.terminal_flags & termios.ECHO)
            self.assertEqual(run.output.count("Overwrite? (Y/N): "), 1, run.output)
            if kept:
                self.assertEqual(read(os.path.join(out, "big.d01")), kept)
            if code == 130:  # asked at big.d00, which the run before left
                self.assertIn("Interrupted: no portion of the set was completed.\r\n", run.errors)
        self.assertEqual(self.rebuild(out), sample_data(5000))

    def test_typed_ahead_keys_are_dropped_and_questions_reach_the_terminal(self):
        """Standard output is a pipe here: the question still shows on the
        terminal. A key typed before it does not answer it, and Ctrl+C at it
        ends the terminal's line."""
        source = self.source("big.dat", sample_data(5000))
        out = self.folder("out")
        with open(os.path.join(out, "big.d01"), "wb") as f:
            f.write(b"old")
        open_pty = pty.openpty

        def typed_ahead():  # "y" waits in the terminal before the program starts
            master, slave = open_pty()
            os.write(master, b"y")
            return master, slave

        for key, code in ((b"n", 246), (b"\x03", 130)):
            with mock.patch("pty.openpty", typed_ahead):
                run = run_dorvane([source, out, "--size", "1000"], self.dir,
                                  answer=lambda n, t: key)
            self.assertEqual(run.code, code, run.output)
            self.assertEqual(read(os.path.join(out, "big.d01")), b"old")
            self.assertIn("Do you want to overwrite preexisting files? Overwrite? (Y/N): ",
                          run.terminal)
            self.assertIn("(Y/N): N\r\n" if key == b"n" else "(Y/N): \r\n", run.terminal)

    def test_no_file_the_job_writes_is_the_source(self):
        """Each sliced into its own folder, Y to every question: refused with
        235 before any question, every file as it was."""
        src = self.folder("src")
        files = {"X.D00": sample_data(3000, 2), "REPORT.000": sample_data(3000, 3),
                 "KELMORIX.EXE": sample_data(3000, 4)}
        files.update(("REPORT.%03d" % n, b"report %d" % n) for n in range(1, 100))
        for name, data in files.items():
            with open(os.path.join(src, name), "wb") as f:
                f.write(data)
        for name, clash in (("X.D00", "The portion %s/X.D00"), ("REPORT.000", "The portion %s/REPORT.000"),
                            ("KELMORIX.EXE", "The joiner program %s/KELMORIX.EXE")):
            source = os.path.join(src, name)
            run = run_dorvane([source, src, "--size", "1000"], self.dir, answer=lambda n, t: b"y")
            self.assertEqual(run.code, 235, run.output)
            self.assertIn((clash % src) + " is the source %s itself: the set would be written over "
                          "it. Nothing was deleted or written; choose another destination "
                          "folder.\r\n" % source, run.errors)
            self.assertNotIn("Overwrite?", run.output)
            self.assertEqual(sorted(os.listdir(src)), sorted(files))
            for n, data in files.items():
                self.assertEqual(read(os.path.join(src, n)), data, n)

    def test_scripts_answer_the_overwrite_question_without_a_terminal(self):
        source = self.source("big.dat", sample_data(5000))
        out = self.folder("out")
        with open(os.path.join(out, "big.d01"), "wb") as f:
            f.write(b"old")
        for option, code, answer in (("--no", 246, "N"), ("--yes", 0, "Y")):
            run = run_dorvane([option, source, out, "--size", "1000"], self.dir, console=False)
            self.assertEqual(run.code, code, run.output)
            self.assertIn("Overwrite? (Y/N): %s (%s)\n" % (answer, option), run.output)
            if code:
                self.assertEqual(read(os.path.join(out, "big.d01")), b"old")
        self.assertEqual(self.rebuild(out), sample_data(5000))

    def test_a_count_the_portions_cannot_keep_is_said(self):
        out = self.folder("out")
        run = run_dorvane([self.source("k.bin", sample_data(1000)), out, "--count", "99"], self.dir,
                          console=False)
        self.assertEqual(run.code, 0, run.output)
        self.assertIn("\ndorvane: 91 portions made, not 99: ", "\n" + run.errors)
        self.assertEqual(len(portions(out)), 91)

    def test_progress_line_never_wraps_a_narrow_terminal(self):
        source = self.source("a-name-longer-than-the-line-is-wide.dat", b"x" * 20000000)
        run = run_dorvane([source, self.folder("out"), "--count", "3"], self.dir, columns=40)
        self.assertEqual(run.code, 0, run.output)
        lines = run.terminal.replace("\x1b[K", "").replace("\r", "\n").split("\n")
        self.assertIn("100%  20000000 of 20000000", run.terminal)
        self.assertLess(max(len(line) for line in lines), 40, lines)

    def test_disk_prompt_without_a_terminal_ends_the_run(self):
        if not DORVANE_HOOKED:
            self.skipTest("DORVANE_HOOKED is set by the build's test run")
        floppy = self.folder("floppy")
        run = run_dorvane([self.source("big.dat", b"x" * 100), floppy, "--disks"], self.dir,
                          program=DORVANE_HOOKED, env=fake_removable(self.dir, floppy), console=False)
        self.assertEqual(run.code, 236, run.output)
        self.assertIn("There is no terminal to read a key press from, so disk #1 cannot be asked for.",
                      run.errors)
        self.assertEqual(os.listdir(floppy), [])

    def test_disk_after_disk_each_filled(self):
        data = sample_data(3 * 1024 * 1024 + 5, seed=9)
        listings = []
        run, copied, free = slice_onto_disks(self, self.dir, self.source("big.dat", data), 2, "2m",
                                             listings)
        self.assertEqual(run.code, 0, run.output)
        self.assertEqual(run.output.count("Press any key when ready."), 2, run.output)
        self.assertEqual(free[0], 0)  # the joiner and portion 0 take disk 1 whole
        # The list on the last portion's disk.
        self.assertEqual(listings, [["KELMORIX.EXE", "big.d00"], ["big.d01", "big.dat.sfv"]])
        check_list(self, copied, "big.dat.sfv", "big.dat", data)
        self.assertEqual(self.rebuild(copied), data)

    def test_a_list_beside_every_set_that_cksfv_accepts(self):
        data = sample_data(1500000, seed=4)
        source = self.source("Big.Dat", data)
        for plan, count in ((["--size", "360KB"], 5), (["--count", "3"], 3)):
            with self.subTest(plan=plan):
                out = self.folder("set%d" % count)
                run = run_dorvane([source, out] + plan, self.dir, console=False)
                self.assertEqual(run.code, 0, run.output)
                self.assertEqual(len(portions(out)), count)
                self.assertEqual(sorted(os.listdir(out)),  # and no temporary file
                                 sorted(["Big.D%02d" % n for n in range(count)] +
                                        ["Big.Dat.sfv", "KELMORIX.EXE"]))
                check_list(self, out, "Big.Dat.sfv", "Big.Dat", data)
                check_with_cksfv(self, out, "Big.Dat.sfv", "Big.D01")


if __name__ == "__main__":
    unittest.main()
