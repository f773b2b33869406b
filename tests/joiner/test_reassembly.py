"""Reassembly from a folder: the overwrite question, the copy, the restored
times and attributes, and every way a damaged set ends the run."""

import os
import re
import unittest

from harness import (ARCHIVE, DECLINED, HEADER, HIDDEN, KEPT_ATTRIBUTES, KEY_UP, NATIVE,
                     NATIVE_HOOKED, READONLY, SEP, JoinerTest, file_state, filetime, header, hostpath, run_joiner, sample_data,
                     short_name, shown_name, words, write_set)

INCOMPLETE = "%s is incomplete; it has been left in place."
TEMPORARY = "~KLM0001.TMP"  # the output's name until it is whole
# The Linux kelmorix copies inside the kernel where it can; its test build
# (kelmorix_hooked) copies through memory when this is set, so that both
# ways are tried.
THROUGH_MEMORY = {"KELMORIX_NO_KERNEL_COPY": "1"}
COPY_PATHS = (None, THROUGH_MEMORY) if NATIVE else (None,)


def with_environment(kw, env):
    """kw for run_joiner with env's changes, made to the program that reads
    them: the test build."""
    if env:
        kw["env"] = env
        kw["program"] = NATIVE_HOOKED
    return kw


class Reassembly(JoinerTest):
    def setUp(self):
        super().setUp()
        self.sets = self.folder("sets")
        self.out = self.folder("out")
        self.output = os.path.join(self.out, "BIG.DAT")
        self.host_output = hostpath(self.output)

    def join(self, first="BIG.D00", env=None, **kw):
        return run_joiner([first, hostpath(self.out)], self.sets, **with_environment(kw, env))

    def portion(self, number):
        return os.path.join(self.sets, "BIG.D%02d" % number)

    def test_overwrite_question(self):
        data = sample_data(3000)
        write_set(self.sets, "BIG.DAT", data, 1000)
        # (key typed at the question, whether the old file is replaced)
        cases = [(b"y", True), (b"Y", True), (b"n", False), (b"N", False), (b"q", False),
                 (KEY_UP, False), (b"\r", False)]
        for key, replaced in cases:
            with self.subTest(key=key):
                with open(self.output, "wb") as f:
                    f.write(b"the user's own file")
                run = self.join(answer=lambda n, text: key)
                self.assertEqual(run.output.count("Overwrite?"), 1, run.output)
                self.assertIn("%s already exists.  Overwrite? (Y/N): \n" % self.host_output, run.output)
                if replaced:
                    self.assertEnds(run, 0, "BIG.DAT Successfully restored to %s" % hostpath(self.out))
                    self.assertEqual(self.read(self.output), data)
                else:
                    self.assertEnds(run, 249, DECLINED % self.host_output)
                    self.assertEqual(self.read(self.output), b"the user's own file")
                os.remove(self.output)

    def test_sizes_around_the_transfer_buffer(self):
        # (data bytes, portion size): payloads of exactly 65536, 131072 and
        # 1 MiB bytes end the copy with an empty read; the others straddle
        # the 64 KiB and 1 MiB blocks.
        mib = 1 << 20
        cases = [(65536, 309 + 65536), (131072, 309 + 65536), (131072 + 5, 309 + 131072),
                 (65535, 309 + 65536), (65537, 309 + 65536), (1, 310), (0, 1000),
                 (200000, 309 + 70000), (mib, 309 + mib), (mib + 65537, 309 + mib)]
        for (size, portion_size), env in [(c, e) for c in cases for e in COPY_PATHS]:
            with self.subTest(size=size, portion_size=portion_size, env=env):
                data = sample_data(size, seed=size)
                paths = write_set(self.sets, "BIG.DAT", data, portion_size)
                run = self.join(env=env)
                self.assertEqual(run.code, 0, run.output)
                self.assertEqual(self.read(self.output), data)
                os.remove(self.output)
                for path in paths:
                    os.remove(path)

    def test_times_and_attributes_are_restored(self):
        access, write = 1234567890, 1300000000
        for attributes in (ARCHIVE, ARCHIVE | READONLY, ARCHIVE | HIDDEN, ARCHIVE | HIDDEN | READONLY):
            with self.subTest(attributes=attributes):
                write_set(self.sets, "BIG.DAT", sample_data(2000), 700, attributes=attributes,
                          access=access, write=write)
                run = self.join()
                self.assertEqual(run.code, 0, run.output)
                got_attributes, got_access, got_write = file_state(self.output)
                self.assertEqual(got_attributes & KEPT_ATTRIBUTES, attributes & KEPT_ATTRIBUTES)
                self.assertEqual(got_write, filetime(write))
                self.assertEqual(got_access, filetime(access))
                os.chmod(self.output, 0o644)
                os.remove(self.output)

    def test_an_output_in_the_place_of_a_portion_is_refused(self):
        # The sliced file DATA.A02 rebuilt beside its own set: Y would have
        # deleted portion 02 before it was read.
        sets = self.folder("long named sets")  # a name with a short form of its own
        paths = write_set(sets, "DATA.A02", sample_data(2500), 1000)
        before = [self.read(path) for path in paths]
        # The folder by other names: a detour through its parent, a link to
        # it (Linux), its short 8.3 name and the device namespace (Windows).
        detour = hostpath(sets) + SEP + ".." + SEP + "long named sets"
        if NATIVE:
            spellings = [detour, os.path.join(self.dir, "link")]
            os.symlink(sets, spellings[1])
        else:
            spellings = [detour, "\\\\.\\" + hostpath(sets), short_name(sets)]
        cases = [([], hostpath(sets)), (["DATA.A02"], hostpath(sets)),
                 (["DATA.A00", hostpath(sets)], hostpath(sets))]
        cases += [(["DATA.A00", spelling], spelling) for spelling in spellings]
        for args, shown in cases:
            with self.subTest(args=args):
                run = run_joiner(args, sets, answer=lambda n, text: b"y")
                self.assertEnds(run, 232, "The rebuilt file would replace %s%sDATA.A02, a portion of "
                                "the slice set;" % (shown, SEP))
                self.assertNotIn("Overwrite?", run.output)
                self.assertEqual([self.read(path) for path in paths], before)

    def test_missing_portion_keeps_the_partial_output(self):
        data = sample_data(3500)
        write_set(self.sets, "BIG.DAT", data, 1000)
        os.remove(self.portion(2))
        # (the user's own file of the name, or none): Y to the question
        # leaves it as it was; the part rebuilt has a name of its own.
        for mine in (None, b"the user's complete file"):
            with self.subTest(mine=mine):
                if mine:
                    with open(self.output, "wb") as f:
                        f.write(mine)
                run = self.join(answer=lambda n, text: b"y")
                self.assertEqual(run.code, 247, run.output)
                self.assertEqual("Overwrite?" in run.output, bool(mine))
                self.assertIn("The file, BIG.D02, could not be opened.\n", run.output)
                self.assertIn(INCOMPLETE % hostpath(os.path.join(self.out, TEMPORARY)), run.output)
                self.assertEqual(self.read(os.path.join(self.out, TEMPORARY)), data[:2 * 691])
                self.assertEqual(os.path.exists(self.output), bool(mine))
                if mine:
                    self.assertEqual(self.read(self.output), mine)
                os.remove(os.path.join(self.out, TEMPORARY))

    # Under Wine a key typed before the console first reads the terminal
    # reaches the console only with that read; test_removable types ahead
    # at a disk prompt instead.
    @unittest.skipUnless(NATIVE, "typed ahead of Wine's first read of the terminal")
    def test_keys_typed_before_the_question_do_not_answer_it(self):
        with open(self.output, "wb") as f:
            f.write(b"mine")
        write_set(self.sets, "BIG.DAT", sample_data(1500), 1000)
        run = self.join(ahead=b"y", answer=lambda n, text: b"n")
        self.assertEnds(run, 249, DECLINED % self.host_output)
        self.assertEqual(self.read(self.output), b"mine")
        # Standard output is a pipe here: the question is on the console too.
        self.assertIn("Overwrite? (Y/N): ", run.terminal)


class DamagedSets(JoinerTest):
    """Sets the slicer never writes: each ends with a code of its own and a
    line that names the portion, and what was written stays in place."""

    ENV = None  # changes to the joiner's environment

    def setUp(self):
        super().setUp()
        self.sets = self.folder("sets")
        self.out = self.folder("out")
        self.output = os.path.join(self.out, "BIG.DAT")
        self.temporary = os.path.join(self.out, TEMPORARY)
        self.data = sample_data(2500)  # portions of 691, 691, 691 and 427 bytes
        self.paths = write_set(self.sets, "BIG.DAT", self.data, 1000)

    def join(self, **kw):
        return run_joiner(["BIG.D00", hostpath(self.out)], self.sets, **with_environment(kw, self.ENV))

    def rewrite(self, number, head=None, payload=None, cut=None):
        path = self.paths[number]
        raw = self.read(path)
        if head is not None:
            raw = head + raw[HEADER.size:]
        if payload is not None:
            raw = raw[:HEADER.size] + payload
        if cut is not None:
            raw = raw[:cut]
        with open(path, "wb") as f:
            f.write(raw)

    def test_unsafe_names_are_refused_before_anything_is_written(self):
        names = [b"", b".", b"..", b"..\\EVIL.DAT", b"sub\\EVIL.DAT", b"sub/EVIL.DAT",
                 b"C:EVIL.DAT", b"EVIL.DAT:stream", b"x" * 256,
                 # devices, and names Windows stores without their last dot or blank
                 b"CON", b"nul.txt", b"Aux .log", b"com1", b"LPT9.x", b"CONIN$", b"conout$",
                 b"EVIL.", b"EVIL ",
                 # control bytes, the characters Windows refuses, COM and LPT
                 # with the code page's superscript digits
                 b"EVIL\x1b]0;owned\x07.DAT", b"two\nlines", b"tab\there", b"del\x7f",
                 b"a<b", b"a>b", b'a"b', b"a|b", b"a?b", b"a*b", b"COM\xb9", b"lpt\xb3.txt"]
        for name in names:
            with self.subTest(name=name[:20]):
                field = name.ljust(256, b"\0")
                for n in range(len(self.paths)):
                    self.rewrite(n, head=header("", len(self.data), last=int(n == 3), name_field=field))
                run = self.join()
                self.assertEnds(run, 242, "BIG.D00 does not name a file that can be restored safely.")
                self.assertIn('\nThe name it carries: "%s"\n' % shown_name(name[:256]), run.output)
                self.assertFalse(re.search("[\x00-\x09\x0b-\x1f\x7f]", run.output), run.output)
                self.assertEqual(os.listdir(self.out), [])
                self.assertEqual(sorted(os.listdir(self.dir)), ["out", "sets"])
                self.assertEqual(sorted(os.listdir(self.sets)), ["BIG.D0%d" % n for n in range(4)])

    def test_the_portion_at_fault_is_named(self):
        # (damage, code, line): a portion of another length, portion 00's
        # header changed, a portion that is a folder.
        cases = [
            (lambda: self.rewrite(1, cut=900), 236,
             "BIG.D01 is 900 bytes long; portions before the last have 1000."),
            (lambda: self.rewrite(0, head=header("BIG.DAT", len(self.data), write=1)), 246,
             "The header of BIG.D00 is damaged."),
            (lambda: (os.remove(self.paths[2]), os.mkdir(self.paths[2])), 247,
             "Error opening BIG.D02" + words(21 if NATIVE else 5)),
        ]
        for damage, code, line in cases:
            with self.subTest(line=line):
                self.paths = write_set(self.sets, "BIG.DAT", self.data, 1000)
                damage()
                run = self.join()
                self.assertEnds(run, code, line)
                self.assertEqual(os.listdir(self.out), [TEMPORARY])
                os.remove(self.temporary)
                if os.path.isdir(self.paths[2]):
                    os.rmdir(self.paths[2])

    def test_files_that_cannot_be_first_portions_are_passed_over(self):
        # Before BIG.D00 in byte order: a folder, a short file, a LastPortion
        # of 7, a name without its terminator.
        os.mkdir(os.path.join(self.sets, "A000"))
        with open(os.path.join(self.sets, "A100"), "wb") as f:
            f.write(b"build log")
        with open(os.path.join(self.sets, "AB00"), "wb") as f:
            f.write(header("AB.DAT", 1, last=7) + b"x")
        with open(os.path.join(self.sets, "AC00"), "wb") as f:
            f.write(header("", 1, last=1, name_field=b"n" * 256) + b"x")
        run = run_joiner([hostpath(self.sets), hostpath(self.out)], self.sets)
        self.assertEnds(run, 0, "BIG.DAT Successfully restored to %s" % hostpath(self.out))
        self.assertEqual(self.read(self.output), self.data)

    def test_the_size_high_word_counts(self):
        # The set carries its data; the header says 4 GiB more, printed whole.
        for n in range(len(self.paths)):
            self.rewrite(n, head=header("BIG.DAT", len(self.data), last=int(n == 3), size_high=1))
        run = self.join()
        self.assertEnds(run, 236, "The slice set ends at BIG.D03 with %d bytes, but its file has %d "
                        "bytes." % (len(self.data), len(self.data) + (1 << 32)))

    def test_portions_shorter_than_a_header(self):
        # (portion cut short, bytes it keeps, whether the output was begun)
        for number, keep, begun in ((0, 308, False), (0, 0, False), (2, 100, True)):
            with self.subTest(number=number, keep=keep):
                self.paths = write_set(self.sets, "BIG.DAT", self.data, 1000)
                self.rewrite(number, cut=keep)
                run = self.join()
                name = "BIG.D%02d" % number
                self.assertEnds(run, 241, "%s is too short to be a portion of a slice set." % name)
                if begun:
                    self.assertIn(INCOMPLETE % hostpath(self.temporary), run.output)
                    self.assertEqual(self.read(self.temporary), self.data[:2 * 691])
                    os.remove(self.temporary)
                else:
                    self.assertEqual(os.listdir(self.out), [])

    def test_a_portion_of_another_set(self):
        # Same name rule, other file: BIG.DOC sliced into the same folder.
        other = header("BIG.DOC", 5000, last=0)
        self.rewrite(1, head=other)
        run = self.join()
        self.assertEnds(run, 238, "BIG.D01 belongs to another slice set.")
        self.assertIn(INCOMPLETE % hostpath(self.temporary), run.output)
        self.assertEqual(self.read(self.temporary), self.data[:691])

    def test_portions_that_disagree_with_the_recorded_size(self):
        # (change to the set, where the run ends, bytes in the output)
        cases = [
            ("last portion short", lambda: self.rewrite(3, cut=HEADER.size + 100), "BIG.D03", 3 * 691 + 100),
        ]
        for label, damage, where, written in cases:
            with self.subTest(label):
                self.paths = write_set(self.sets, "BIG.DAT", self.data, 1000)
                damage()
                run = self.join()
                self.assertEnds(run, 236, "The slice set ends at %s with %d bytes, but its file has 2500 bytes."
                                % (where, written))
                self.assertIn(INCOMPLETE % hostpath(self.temporary), run.output)
                self.assertEqual(len(self.read(self.temporary)), written)
                os.remove(self.temporary)

    def test_data_past_the_recorded_size_is_not_written(self):
        # (portion that carries too much, its payload, the line): one before
        # the last is named for its length.
        cases = [(3, self.data[3 * 691:] + b"extra", "The slice set holds more data than its file: "
                  "BIG.D03 goes past its 2500 bytes."),
                 (1, sample_data(3000), "BIG.D01 is 3309 bytes long; portions before the last have 1000.")]
        for number, payload, line in cases:
            with self.subTest(number=number):
                self.paths = write_set(self.sets, "BIG.DAT", self.data, 1000)
                self.rewrite(number, payload=payload)
                run = self.join()
                self.assertEnds(run, 236, line)
                self.assertIn(INCOMPLETE % hostpath(self.temporary), run.output)
                self.assertEqual(self.read(self.temporary), (self.data[:number * 691] + payload)[:2500])
                os.remove(self.temporary)

    def test_a_full_destination_disk(self):
        # The file size limit stands in for a disk that fills up at 2000 bytes.
        run = self.join(file_size_limit=2000)
        self.assertEqual(run.code, 239, run.output)
        self.assertRegex(run.output, r"\nError writing %s( = \d+|: .* \(\d+\))\n"
                         % re.escape(hostpath(self.temporary)))
        self.assertIn(INCOMPLETE % hostpath(self.temporary), run.output)
        self.assertLessEqual(len(self.read(self.temporary)), 2000)


@unittest.skipUnless(NATIVE, "the Linux kelmorix alone copies inside the kernel")
class DamagedSetsThroughMemory(DamagedSets):
    ENV = THROUGH_MEMORY


if __name__ == "__main__":
    unittest.main()
