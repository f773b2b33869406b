"""A slice set on floppy disks: drive A: of the test prefix is a removable
drive, and a disk is swapped by pointing the drive at another folder."""

import os
import shutil
import unittest

import zlib

from common import repoint, write_list
from harness import (FLOPPY_LINK, KELMORIX, JoinerTest, header, run_in_cmd, run_joiner,
                     sample_data, winpath, write_set)

PROMPT = "Please insert disk #%d in drive A:. Press any key when ready."


class FloppySet(JoinerTest):
    def setUp(self):
        super().setUp()
        if not FLOPPY_LINK:
            self.skipTest("FLOPPY_LINK names drive A: of the test prefix")
        self.out = self.folder("out")
        self.data = sample_data(2500)
        self.disks = [self.folder("disk%d" % n) for n in range(1, 5)]
        staging = self.folder("staging")
        for n, path in enumerate(write_set(staging, "BIG.DAT", self.data, 1000)):
            shutil.move(path, self.disks[n])
        shutil.copy(KELMORIX, os.path.join(self.disks[0], "KELMORIX.EXE"))
        self.empty = self.folder("empty")
        self.insert(self.disks[0])

    def insert(self, folder):
        repoint(FLOPPY_LINK, folder)

    def answers(self, disks):
        """At the n-th prompt: insert disks[n], then press a key."""
        def answer(n, text):
            self.insert(disks[n])
            return b" "
        return answer

    def join_from_drive(self, disks, environment="set TEMP={out}&&"):
        line = "cd /d A:\\ && " + environment.format(out=winpath(self.out)) + " " + winpath(KELMORIX)
        return run_in_cmd(line, self.dir, answer=self.answers(disks))

    def prompts(self, run):
        return [line for line in run.output.split("\n") if line.startswith("Please insert")]

    def test_disks_in_order_from_the_first_disk(self):
        before = [sorted(os.listdir(d)) for d in self.disks]
        run = self.join_from_drive(self.disks)
        self.assertEnds(run, 0, "BIG.DAT Successfully restored to %s" % winpath(self.out))
        self.assertEqual(self.prompts(run), [PROMPT % n for n in (1, 2, 3, 4)])
        # Disk 1 is asked for before anything is looked for.
        self.assertTrue(run.output.split("\n")[6].startswith(PROMPT % 1), run.output)
        self.assertEqual(self.read(os.path.join(self.out, "BIG.DAT")), self.data)
        self.assertEqual([sorted(os.listdir(d)) for d in self.disks], before)

    def test_only_the_last_disks_list_counts_and_a_damaged_disk_is_named(self):
        # An old set's list lingers on disk 1; the set's own is on disk 4.
        portions = [os.path.join(d, "BIG.D%02d" % n) for n, d in enumerate(self.disks)]
        write_list(self.disks[3], "BIG.SFV", "BIG.DAT", self.data, portions)
        with open(os.path.join(self.disks[0], "BIG.SFV"), "wb") as f:
            f.write(b"BIG.D00 00000000\r\n; Sliced file BIG.DAT, 9 bytes, CRC-32 00000000, 1 portion\r\n")
        run = self.join_from_drive(self.disks)
        self.assertEnds(run, 0, "BIG.DAT Successfully restored to %s" % winpath(self.out))
        self.assertNotIn("verified", run.output)
        os.remove(os.path.join(self.out, "BIG.DAT"))

        with open(portions[1], "r+b") as f:
            f.seek(500)
            byte = f.read(1)
            f.seek(500)
            f.write(bytes([byte[0] ^ 4]))
        with open(portions[1], "rb") as f:
            found = zlib.crc32(f.read())
        listed = [line.split()[1] for line in self.read(os.path.join(self.disks[3], "BIG.SFV")).decode().split("\r\n")
                  if line.startswith("BIG.D01")][0]
        run = self.join_from_drive(self.disks)
        self.assertEqual(run.code, 230, run.output)
        self.assertIn("BIG.D01 (disk #2) is damaged: its checksum is %08X, the list says %s\n"
                      % (found, listed), run.output)
        self.assertIn("If the set has a recovery disk, copy every disk, the recovery disk included,\n"
                      "into one folder and run KELMORIX there to repair it.\n", run.output)
        self.assertEqual([n for n in os.listdir(self.out) if not n.startswith("~KLM")], [])

    def test_named_drive_and_destination(self):
        run = run_joiner(["A:\\", winpath(self.out)], self.dir, answer=self.answers(self.disks))
        self.assertEnds(run, 0, "BIG.DAT Successfully restored to %s" % winpath(self.out))
        self.assertEqual(self.read(os.path.join(self.out, "BIG.DAT")), self.data)

    def test_wrong_disks_are_asked_for_again(self):
        stranger = self.folder("stranger")
        with open(os.path.join(stranger, "BIG.D01"), "wb") as f:
            f.write(header("BIG.DOC", 9000) + sample_data(500, seed=3))
        # (disk inserted at the prompt for disk 2, what the joiner says of it)
        cases = [
            (self.disks[2], "You need to insert Disk #2.  You inserted Disk #3."),
            (self.empty, "The current disk in A:\\ does not have a slice file on it."),
            (stranger, "The disk in drive A: holds a portion of another slice set."),
        ]
        for wrong, told in cases:
            with self.subTest(told=told):
                disks = [self.disks[0], wrong] + self.disks[1:]
                run = self.join_from_drive(disks)
                self.assertEnds(run, 0, "BIG.DAT Successfully restored to %s" % winpath(self.out))
                self.assertIn("\n\n%s\n%s\n" % (told, PROMPT % 2), run.output)
                self.assertEqual(self.prompts(run), [PROMPT % n for n in (1, 2, 2, 3, 4)])
                self.assertEqual(self.read(os.path.join(self.out, "BIG.DAT")), self.data)
                os.remove(os.path.join(self.out, "BIG.DAT"))

    def test_keys_typed_ahead_do_not_answer_the_question(self):
        # A second key at the prompt for disk 1 would answer the overwrite
        # question that follows; the question is also on the console when
        # standard output is not.
        with open(os.path.join(self.out, "BIG.DAT"), "wb") as f:
            f.write(b"mine")
        keys = [b" y", b"n"]

        def answer(n, text):
            self.insert(self.disks[0])
            return keys[n]
        line = "cd /d A:\\ && set TEMP=%s&& %s" % (winpath(self.out), winpath(KELMORIX))
        run = run_in_cmd(line, self.dir, answer=answer)
        self.assertEnds(run, 249, "Error opening %s\\BIG.DAT = 80" % winpath(self.out))
        self.assertEqual(self.read(os.path.join(self.out, "BIG.DAT")), b"mine")
        self.assertIn("Overwrite? (Y/N):", run.terminal)  # Wine draws the blank its own way

    def test_a_disk_prompt_without_a_console(self):
        line = "cd /d A:\\ && set TEMP=%s&& %s" % (winpath(self.out), winpath(KELMORIX))
        run = run_in_cmd(line, self.dir, console=False)
        self.assertEnds(run, 233, "There is no console to answer the prompt for disk #1.")
        self.assertEqual(os.listdir(self.out), [])

    def test_destination_comes_from_temp_then_tmp(self):
        run = self.join_from_drive(self.disks, "set TEMP=&& set TMP={out}&&")
        self.assertEnds(run, 0, "BIG.DAT Successfully restored to %s" % winpath(self.out))
        self.assertEqual(self.read(os.path.join(self.out, "BIG.DAT")), self.data)

    def test_without_temp_or_tmp_nothing_is_written(self):
        before = sorted(os.listdir(self.disks[0]))
        run = self.join_from_drive(self.disks, "set TEMP=&& set TMP=&&")
        self.assertEnds(run, 235, "Neither TEMP nor TMP is set; name a destination folder.")
        self.assertEqual(self.prompts(run), [])
        self.assertEqual(sorted(os.listdir(self.disks[0])), before)
        self.assertEqual(os.listdir(self.out), [])


if __name__ == "__main__":
    unittest.main()
