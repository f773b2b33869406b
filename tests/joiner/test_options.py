"""Options, the same on both joiners: --help, --version, --check, --yes,
--no, -q and --; an unknown option or a name too many is refused with code
2 and the usage on standard error; after -- every argument is a name.
KELMORIX.EXE also takes /CHECK and /? (in any case)."""

import os
import unittest

from harness import (DECLINED, NATIVE, JoinerTest, hostpath, run_joiner, sample_data, write_set)

VERSION = os.environ.get("DORVANE_VERSION", "1.0.0")
PROGRAM = "kelmorix" if NATIVE else "KELMORIX"
USAGE = "USAGE: KELMORIX [source folder] [destination folder]\n"
BANNER = "KELMORIX %s  joiner for slice sets cut by DORVANE\n" % VERSION
NOT_FOUND = 253


class Options(JoinerTest):
    def setUp(self):
        super().setUp()
        self.sets = self.folder("sets")
        self.out = self.folder("out")
        self.data = sample_data(1500)
        write_set(self.sets, "BIG.DAT", self.data, 1000)
        write_set(self.sets, "-odd.DAT", self.data, 1000)

    def run_apart(self, args):
        return run_joiner(args, self.sets, errors="apart")

    def test_options_and_usage_errors(self):
        out = hostpath(self.out)
        help_texts = [BANNER, USAGE, "\nOptions:\n", "  --yes, --no "]
        # (arguments, exit code, texts on standard output, texts on standard error)
        cases = [
            (["--version"], 0, ["%s %s\nCopyright" % (PROGRAM, VERSION)], []),
            (["--help"], 0, help_texts, []),
            (["BIG.D00", "--help"], 0, help_texts, []),
            (["-x"], 2, [], ["%s: unknown option -x" % PROGRAM, USAGE]),
            (["BIG.D00", out, "-x"], 2, [], ["%s: unknown option -x" % PROGRAM]),
            (["BIG.D00", out, "more"], 2, [], ["%s: a name too many: more" % PROGRAM, USAGE]),
            (["--check", "BIG.D00", out], 2, [], ["%s: a name too many: %s" % (PROGRAM, out)]),
            (["--yes", "--no", "BIG.D00"], 2, [], ["%s: --yes or --no, not both" % PROGRAM]),
            (["--", "--help"], NOT_FOUND, [], ["There is no slice set corresponding to --help"]),
        ]
        if not NATIVE:
            cases += [(["/?"], 0, help_texts, []),
                      (["/check", "BIG.D00"], 0, ["BIG.D00  ok\n", "BIG.DAT  "], []),
                      (["/CHECK", "BIG.D00"], 0, ["BIG.D01  ok\n"], [])]
        for args, code, texts, errors in cases:
            with self.subTest(args=args):
                run = self.run_apart(args)
                self.assertEqual(run.code, code, run.output + run.errors)
                for text in texts:
                    self.assertIn(text, run.output)
                # KELMORIX.EXE says a set's failures on standard output.
                for text in errors:
                    self.assertIn(text, run.output + run.errors if code == NOT_FOUND else run.errors)
                if code == 2:
                    self.assertEqual(run.output, "")
                self.assertEqual(os.listdir(self.out), [])

    def test_a_name_beginning_with_a_dash_after_the_end_of_options(self):
        run = run_joiner(["--", "-odd.D00", hostpath(self.out)], self.sets)
        self.assertEqual(run.code, 0, run.output)
        self.assertEqual(self.read(os.path.join(self.out, "-odd.DAT")), self.data)

    def test_the_overwrite_question_answered_on_the_command_line_and_quiet(self):
        output = os.path.join(self.out, "BIG.DAT")
        # (options, exit code, the answer shown, whether the file is replaced)
        cases = [(["--yes"], 0, "Y (--yes)", True), (["--no"], 249, "N (--no)", False),
                 (["-q", "--yes"], 0, "Y (--yes)", True), (["--quiet", "--no"], 249, "N (--no)", False)]
        for options, code, shown, replaced in cases:
            with self.subTest(options=options):
                with open(output, "wb") as f:
                    f.write(b"mine")
                # Nobody types at the question: a key would hang the run.
                run = run_joiner(options + ["BIG.D00", hostpath(self.out)], self.sets)
                self.assertEqual(run.code, code, run.output)
                self.assertIn("Overwrite? (Y/N): %s\n" % shown, run.output)
                self.assertEqual(BANNER in run.output, "-q" not in options and "--quiet" not in options)
                self.assertEqual(self.read(output), self.data if replaced else b"mine")
                if not replaced:
                    self.assertIn(DECLINED % hostpath(output), run.output)
                os.remove(output)


if __name__ == "__main__":
    unittest.main()
