"""Options: the Linux kelmorix answers --help and --version, refuses an
unknown option with code 2 and takes a name after --; the Windows joiner
takes no options, so there every such argument is a name."""

import os
import subprocess
import unittest

from harness import NATIVE, JoinerTest, run_joiner, sample_data, write_set

VERSION = os.environ.get("DORVANE_VERSION", "")
USAGE = "USAGE: KELMORIX [source folder] [destination folder]\n"
NOT_FOUND = 253


class Options(JoinerTest):
    def setUp(self):
        super().setUp()
        self.sets = self.folder("sets")
        self.out = self.folder("out")
        self.data = sample_data(1500)
        write_set(self.sets, "BIG.DAT", self.data, 1000)
        write_set(self.sets, "-odd.DAT", self.data, 1000)

    @unittest.skipUnless(NATIVE, "the Linux kelmorix only")
    def test_linux_options(self):
        self.assertTrue(VERSION, "DORVANE_VERSION is set by the build's test run")
        # (arguments, exit code, texts on standard output, standard error)
        help_texts = [USAGE, "\nOptions:\n"]
        cases = [
            (["--version"], 0, ["kelmorix %s\nCopyright" % VERSION], ""),
            (["--help"], 0, help_texts, ""),
            (["BIG.D00", "--help"], 0, help_texts, ""),
            (["-x"], 2, help_texts, "kelmorix: unknown option -x\n"),
            (["BIG.D00", self.out, "-x"], 2, help_texts, "kelmorix: unknown option -x\n"),
            (["--", "--help"], NOT_FOUND, ["There is no slice set corresponding to --help"], ""),
        ]
        for args, code, texts, errors in cases:
            with self.subTest(args=args):
                run = subprocess.run([NATIVE] + args, cwd=self.sets, capture_output=True, text=True,
                                     stdin=subprocess.DEVNULL, timeout=60)
                self.assertEqual(run.returncode, code, run.stdout + run.stderr)
                for text in texts:
                    self.assertIn(text, run.stdout)
                self.assertEqual(run.stderr, errors)
                self.assertEqual(os.listdir(self.out), [])

    @unittest.skipUnless(NATIVE, "the Linux kelmorix only")
    def test_a_name_beginning_with_a_dash_after_the_end_of_options(self):
        run = run_joiner(["--", "-odd.D00", self.out], self.sets)
        self.assertEqual(run.code, 0, run.output)
        self.assertEqual(self.read(os.path.join(self.out, "-odd.DAT")), self.data)

    @unittest.skipIf(NATIVE, "the Windows joiner only")
    def test_the_windows_joiner_takes_every_argument_as_a_name(self):
        for args in (["--help"], ["-x"], ["--version"], ["--", "BIG.D00"]):
            with self.subTest(args=args):
                run = run_joiner(args + [self.out], self.sets)
                self.assertEqual(run.code, NOT_FOUND, run.output)
                self.assertIn("There is no slice set corresponding to %s" % args[0], run.output)
                self.assertNotIn("Options:", run.output)
                self.assertEqual(os.listdir(self.out), [])
        run = run_joiner(["-odd.D00", self.out], self.sets)
        self.assertEqual(run.code, 0, run.output)
        self.assertEqual(self.read(os.path.join(self.out, "-odd.DAT")), self.data)
