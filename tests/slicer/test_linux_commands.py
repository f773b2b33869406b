"""The Linux dorvane for people and for scripts: a destination it makes,
errors in words on standard error, no question without a terminal, the
units of --size, -q, the progress line of each step, and a run interrupted
by a signal."""

import os
import re
import signal
import subprocess
import time
import unittest

from linux_dorvane import DORVANE, HEADER_SIZE, Scratch, portions, run_dorvane, sample_data


def setUpModule():
    if not DORVANE:
        raise unittest.SkipTest("DORVANE_LINUX is set by the build's test run")


class Commands(Scratch):
    def test_a_missing_destination_is_made_or_said_why_not(self):
        source = self.source("big.dat", sample_data(5000))
        with open(os.path.join(self.dir, "file"), "wb"):
            pass
        # (destination, exit status, made, standard error)
        for destination, code, made, error in (
                ("new/deeper", 0, True, ""),
                ("new/deeper", 0, False, ""),  # there already: nothing to say
                ("file/set", 233, False, "Error making the folder file/set: Not a directory (20)\n")):
            with self.subTest(destination=destination, code=code):
                run = run_dorvane(["--yes", source, destination, "--size", "1000"], self.dir,
                                  console=False)
                self.assertEqual(run.code, code, run.errors)
                self.assertEqual("Made the folder new/deeper\n" in run.output, made, run.output)
                self.assertTrue(run.errors.startswith(error), run.errors)
        self.assertEqual(len(portions(os.path.join(self.dir, "new", "deeper"))), 8)

    def test_failures_are_said_in_words_on_standard_error_at_once(self):
        source = self.source("big.dat", sample_data(5000))
        out = self.folder("out")
        os.makedirs(os.path.join(out, "big.d01"))  # no file can take its name
        # (arguments, exit status, first line on standard error)
        for args, code, error in (
                (["nosuch.dat", out, "--size", "1000"], 254,
                 "Error getting attributes for nosuch.dat: No such file or directory (2)"),
                # Nobody to answer Abort, Retry or Ignore: the failure's own code.
                (["--yes", source, out, "--size", "1000"], 232,
                 "Error opening %s/big.d01: Is a directory (21)" % out),
                ([source, out, "--size", "1000"], 246, "Slice %s to %s was cancelled" % (source, out)),
                ([source, out, "--size", "12"], 243, "Portions must be larger than 309 bytes"),
                ([source, out, "--size", "1.5"], 1, "dorvane: --size \"1.5\" is a fraction of a byte")):
            with self.subTest(args=args):
                run = run_dorvane(args, self.dir, console=False)
                self.assertEqual(run.code, code, run.errors)
                self.assertTrue(run.errors.startswith(error), run.errors)
                # The usage follows usage errors only.
                self.assertEqual("Usage:" in run.errors, code == 1, run.errors)
                self.assertNotIn("Error", run.output)
        self.assertEqual(os.listdir(os.path.join(out, "big.d01")), [])

    def test_sizes_and_their_units(self):
        source = self.source("big.dat", sample_data(1600000))
        # The floppies' capacities for K and M; KiB and MiB exact; G binary.
        for size, first in (("1.44MB", 1456640), ("1.44M", 1456640), ("1.44MiB", 1509949),
                            ("1.2MB", 1213952), ("100KiB", 102400), ("97.5kb", 99840),
                            ("2.5M", 1600000 + HEADER_SIZE), ("1G", 1600000 + HEADER_SIZE),
                            ("0.5GiB", 1600000 + HEADER_SIZE), ("650000", 650000)):
            with self.subTest(size=size):
                out = self.folder("set-" + size)
                run = run_dorvane([source, out, "--size", size], self.dir, console=False)
                self.assertEqual(run.code, 0, run.errors)
                self.assertEqual(os.path.getsize(portions(out)[0]), first)

    def test_each_step_has_its_progress_and_quiet_has_none(self):
        source = self.source("steps.dat", b"s" * 20000000)
        run = run_dorvane([source, self.folder("loud"), "--count", "4", "--recovery"], self.dir)
        self.assertEqual(run.code, 0, run.errors)
        lines = run.terminal.replace("\x1b[K", "").replace("\r", "\n").split("\n")
        self.assertIn("steps.dat  100%  20000000 of 20000000 bytes", run.terminal)
        self.assertIn("Recovery data  100%  20001236 of 20001236 bytes", run.terminal)
        self.assertLess(max(len(line) for line in lines), 80, lines)
        run = run_dorvane(["-q", source, "quiet", "--count", "4", "--recovery"], self.dir)
        self.assertEqual((run.code, run.output, run.terminal), (0, "", ""))
        self.assertEqual(len(portions(os.path.join(self.dir, "quiet"))), 6)  # and the PAR2 files
        run = run_dorvane(["--quiet", "nosuch", "quiet", "--count", "4"], self.dir)
        self.assertEqual(run.code, 254)
        self.assertIn("nosuch: No such file or directory (2)", run.errors)

    def test_an_interrupted_run_removes_what_it_was_writing(self):
        source = self.source("big.dat", sample_data(1 << 20) * 100)
        # (signal, exit status, recovery data, the file whose being there
        # says the run is where it is to be interrupted)
        for number, code, recovery, mark in ((signal.SIGINT, 130, False, "big.d01"),
                                             (signal.SIGTERM, 143, False, "big.d01"),
                                             (signal.SIGINT, 130, True, "big.dat.sfv")):
            with self.subTest(signal=number, recovery=recovery):
                out = self.folder("set-%d-%d" % (number, recovery))
                args = [DORVANE, source, out, "--count", "100"] + ["--recovery"] * recovery
                program = subprocess.Popen(args, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                           stderr=subprocess.PIPE, start_new_session=True)
                while not os.path.exists(os.path.join(out, mark)) and program.poll() is None:
                    time.sleep(0.001)
                program.send_signal(number)
                output, errors = (text.decode() for text in program.communicate(timeout=120))
                self.assertEqual(program.returncode, code, errors)
                names = sorted(os.listdir(out))
                if recovery:
                    self.assertIn("Interrupted: no recovery data was written; the set itself "
                                  "is complete.\n", errors)
                    self.assertEqual(len(portions(out)), 100)
                    self.assertFalse([n for n in names if "par2" in n], names)
                    continue
                found = re.search(r"Interrupted: (.*)/big\.d(\d\d) was not finished and is removed;"
                                  r" \1/big\.d00 (?:to \1/big\.d(\d\d) stand|stands), but the set "
                                  r"is not complete\.\n", errors)
                self.assertTrue(found, errors)
                removed, last = int(found.group(2)), int(found.group(3) or 0)
                self.assertEqual(removed, last + 1)
                self.assertEqual(names, ["KELMORIX.EXE"] + ["big.d%02d" % n for n in range(last + 1)])
                self.assertEqual({os.path.getsize(p) for p in portions(out)}, {1048576 + HEADER_SIZE})
                self.assertIn("was interrupted", errors)
                self.assertNotIn("complete\n", output)


if __name__ == "__main__":
    unittest.main()
