"""Sets cross between the platforms: a set written on Windows (by the slice
engine, through slicetool) rebuilt by the Linux kelmorix, and a set written
on Linux rebuilt by KELMORIX.EXE, byte for byte and with the times."""

import os
import subprocess
import sys
import unittest

from harness import (READONLY, WINE_RUN, JoinerTest, native_state, run_joiner, run_native,
                     sample_data, win_stat, winpath, write_set)

LINUX_KELMORIX = os.environ.get("LINUX_KELMORIX", "")
SLICETOOL = os.environ.get("SLICETOOL_EXE", "")
if not os.access(LINUX_KELMORIX, os.X_OK):
    print("the Linux kelmorix (%r) is not built: build the native configuration first" % LINUX_KELMORIX)
    sys.exit(77)  # reported as skipped


class RoundTrip(JoinerTest):
    def setUp(self):
        super().setUp()
        self.source = os.path.join(self.folder("source"), "ROUND.BIN")
        self.data = sample_data(5000, seed=11)
        with open(self.source, "wb") as f:
            f.write(self.data)
        os.utime(self.source, ns=(1200000000123456700, 1300000000987654300))

    def slice_on_windows(self, source, folder, portion_size):
        proc = subprocess.run([WINE_RUN, SLICETOOL, winpath(source), winpath(folder) + "\\",
                               str(portion_size)], capture_output=True, timeout=60,
                              stdin=subprocess.DEVNULL)
        # No question is expected: any message box would show before the result.
        self.assertEqual(proc.stdout.replace(b"\r", b""), b"RESULT 0\n", proc.stderr)

    def test_windows_set_to_linux_and_back(self):
        # (portion size, read-only source)
        for portion_size, readonly in ((1000, False), (309 + 5000, True), (309 + 4999, False)):
            with self.subTest(portion_size=portion_size, readonly=readonly):
                os.chmod(self.source, 0o444 if readonly else 0o644)
                windows_set, linux_out = self.folder("wset%d" % portion_size), self.folder("lout%d" % portion_size)
                self.slice_on_windows(self.source, windows_set, portion_size)
                attributes, _, write = win_stat(self.source)
                # The set's checksum list is no portion.
                portions = sorted(n for n in os.listdir(windows_set) if not n.lower().endswith(".sfv"))
                self.assertEqual(portions.pop(0), "KELMORIX.EXE")  # the joiner travels with the set
                self.assertEqual(len(portions), -(-5000 // (portion_size - 309)))
                # Reading the source may have moved its access time: the header's counts.
                with open(os.path.join(windows_set, portions[0]), "rb") as f:
                    access = int.from_bytes(f.read(21)[13:21], "little")

                run = run_native([windows_set, linux_out], self.dir, program=LINUX_KELMORIX)
                self.assertEnds(run, 0, "ROUND.BIN Successfully restored to %s" % linux_out)
                rebuilt = os.path.join(linux_out, "ROUND.BIN")
                # Times first: reading the file may move its access time.
                self.assertEqual(native_state(rebuilt), (attributes & READONLY, access, write))
                self.assertEqual(self.read(rebuilt), self.data)

                # Back: the Linux file sliced on Linux, rebuilt on Windows.
                linux_set, windows_out = self.folder("lset%d" % portion_size), self.folder("wout%d" % portion_size)
                readonly_bit, access, write = native_state(rebuilt)
                write_set(linux_set, "ROUND.BIN", self.read(rebuilt), portion_size,
                          attributes=0x20 | readonly_bit, access=0, write=0)
                self.stamp(linux_set, access, write)
                run = run_joiner([winpath(linux_set), winpath(windows_out)], self.dir)
                self.assertEnds(run, 0, "ROUND.BIN Successfully restored to %s" % winpath(windows_out))
                back = os.path.join(windows_out, "ROUND.BIN")
                got_attributes, got_access, got_write = win_stat(back)
                self.assertEqual((got_attributes & READONLY, got_access, got_write),
                                 (attributes & READONLY, access, write))
                self.assertEqual(self.read(back), self.data)

    def stamp(self, folder, access, write):
        """Puts exact FILETIMEs (the helper takes whole seconds) into every
        portion's header."""
        for name in os.listdir(folder):
            path = os.path.join(folder, name)
            with open(path, "r+b") as f:
                f.seek(13)
                f.write(access.to_bytes(8, "little") + write.to_bytes(8, "little"))


if __name__ == "__main__":
    unittest.main()
