"""The joiner's command line: the three argument forms, the destination
rule, wildcards, and the messages for a set that cannot be found."""

import os
import unittest

from harness import NATIVE, SEP, JoinerTest, hostpath, run_joiner, sample_data, write_set

BANNER_START = "\nKELMORIX 1.0.0  joiner"
USAGE_LAST = "Neither the source nor the destination may contain wildcards"
# After "Could not find the first file": KELMORIX.EXE prints its usage, the
# Linux kelmorix a line that points to --help.
AFTER_NOT_FOUND = "(kelmorix --help shows how to name a slice set)" if NATIVE else "USAGE:"


class ArgumentForms(JoinerTest):
    def setUp(self):
        super().setUp()
        self.sets = self.folder("sets")
        self.out = self.folder("out")
        self.data = sample_data(2500)
        write_set(self.sets, "BIG.DAT", self.data, 1000)

    def test_every_form_rebuilds_the_file(self):
        sets, out = hostpath(self.sets), hostpath(self.out)
        # (arguments, destination named in the result line, folder of the output)
        cases = [
            ([sets, out], out, self.out),
            ([sets + SEP, out + SEP], out + SEP, self.out),
            (["BIG.D00", out], out, self.out),
            (["BIG.DAT", out], out, self.out),
            ([sets + SEP + "BIG.D00", out], out, self.out),
            ([sets + SEP + "BIG.DAT", out], out, self.out),
            (["BIG.DAT"], sets, self.sets),            # one argument: the current folder
            ([], sets, self.sets),                     # none: source and destination
        ]
        for args, destination, folder in cases:
            with self.subTest(args=args):
                output = os.path.join(folder, "BIG.DAT")
                run = run_joiner(args, self.sets)
                self.assertTrue(run.output.startswith(BANNER_START), run.output)
                self.assertEnds(run, 0, "BIG.DAT Successfully restored to %s" % destination)
                self.assertEqual(self.read(output), self.data)
                os.remove(output)

    def test_portion_numbers_come_from_the_name_not_the_folder_order(self):
        # A later portion of another name beside the set is not picked up.
        write_set(self.sets, "OTHER.BIN", sample_data(100, seed=7), 1000)
        run = run_joiner(["BIG.D00", hostpath(self.out)], self.sets)
        self.assertEqual(run.code, 0, run.output)
        self.assertEqual(self.read(os.path.join(self.out, "BIG.DAT")), self.data)


class Wildcards(JoinerTest):
    def test_wildcards_in_the_first_two_arguments_are_refused(self):
        sets = self.folder("sets")
        write_set(sets, "BIG.DAT", sample_data(500), 1000)
        for args in (["BIG.D*"], ["BIG.D0?"], ["BIG.D00", "out?"], ["*", "x"],
                     ["BIG.D00", hostpath(self.folder("out")) + SEP + "*"]):
            with self.subTest(args=args):
                run = run_joiner(args, sets)
                self.assertEqual(run.code, 1, run.output)
                self.assertTrue(run.output.startswith(BANNER_START), run.output)
                self.assertIn("\nUSAGE: KELMORIX [source folder] [destination folder]\n", run.output)
                self.assertTrue(run.output.endswith(USAGE_LAST + "\n"), run.output)
                self.assertEqual(sorted(os.listdir(sets)), ["BIG.D00"])


class NoSliceSet(JoinerTest):
    def test_messages_and_code_when_no_first_portion_is_found(self):
        empty = self.folder("empty")
        here = hostpath(empty)
        # (arguments, line printed, whether the usage text (or the pointer
        # to it) follows)
        cases = [
            (["BIG.DAT"], "There is no slice set corresponding to BIG.DAT in %s." % here, False),
            (["BIG.D50"], "In %s, BIG.D50 is not a valid starting file for Kelmorix." % here, False),
            (["BIG.D05"], "In %s, BIG.D05 is not a valid starting file for Kelmorix." % here, False),
            (["NOFOLDER"], "There is no slice set corresponding to NOFOLDER in %s." % here, False),
            (["X"], "There is no slice set corresponding to X in %s." % here, False),
            (["0"], "In %s, 0 is not a valid starting file for Kelmorix." % here, False),
            ([here], "Could not find the first file of a slice set in %s." % here, True),
            ([], "Could not find the first file of a slice set in %s." % here, True),
        ]
        for args, line, usage in cases:
            with self.subTest(args=args):
                run = run_joiner(args, empty)
                self.assertEqual(run.code, 253, run.output)
                self.assertIn("\n" + line + "\n", run.output)
                self.assertEqual(AFTER_NOT_FOUND in run.output, usage, run.output)
                self.assertEqual("USAGE:" in run.output, usage and not NATIVE, run.output)
                self.assertEqual(os.listdir(empty), [])

    def test_a_first_portion_that_cannot_be_opened(self):
        # BIG.D00 exists, so the name check passes, but it is a folder.
        sets = self.folder("sets")
        os.mkdir(os.path.join(sets, "BIG.D00"))
        run = run_joiner(["BIG.D00", hostpath(self.folder("out"))], sets)
        self.assertEqual(run.code, 253, run.output)
        self.assertIn("Could not find the first file of a slice set in BIG.D00.\n", run.output)
        self.assertIn(AFTER_NOT_FOUND, run.output)


if __name__ == "__main__":
    unittest.main()
