"""Sets made by the Linux dorvane, rebuilt by the KELMORIX.EXE they carry
under Wine and by the Linux kelmorix; and the same file sliced by the
Windows slice engine (through slicetool) and by the Linux dorvane."""

import os
import subprocess
import sys
import unittest

from linux_dorvane import (DORVANE, HEADER_SIZE, Scratch, portions, random_plan, read,
                           run_dorvane, slice_onto_disks, without_own_fields)

WINE_RUN = os.environ.get("WINE_RUN", "")
KELMORIX_EXE = os.environ.get("KELMORIX_EXE", "")
# The joiner the Linux dorvane carries: this build's own, or in an x86-64
# build the cross-built i686 one, which such a build's host may not run.
SHIPPED_KELMORIX = os.environ.get("SHIPPED_KELMORIX", KELMORIX_EXE)
LINUX_KELMORIX = os.environ.get("LINUX_KELMORIX", "")
SLICETOOL = os.environ.get("SLICETOOL_EXE", "")
if not (os.access(DORVANE, os.X_OK) and os.access(LINUX_KELMORIX, os.X_OK)):
    print("the Linux dorvane and kelmorix (%r, %r) are not built: build the native configuration "
          "first" % (DORVANE, LINUX_KELMORIX))
    sys.exit(77)  # reported as skipped


def winpath(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class LinuxSets(Scratch):
    def out(self):
        return self.folder("out%d" % len(os.listdir(self.dir)))

    def rebuild_both(self, set_folder, data):
        """Rebuilds the set with its own KELMORIX.EXE under Wine (this build's
        where the set carries another architecture's) and with the Linux
        kelmorix; both must give data."""
        own = os.path.join(set_folder, "KELMORIX.EXE")
        self.assertEqual(read(own), read(SHIPPED_KELMORIX))
        joiner = own if os.path.samefile(SHIPPED_KELMORIX, KELMORIX_EXE) else KELMORIX_EXE
        out = self.out()
        run = subprocess.run([WINE_RUN, joiner, winpath(set_folder),
                              winpath(out) + "\\"], capture_output=True, stdin=subprocess.DEVNULL,
                             timeout=120)
        self.assertEqual(run.returncode, 0, run.stdout)
        (name,) = os.listdir(out)
        self.assertTrue(read(os.path.join(out, name)) == data, "KELMORIX.EXE rebuilt other bytes")
        out = self.out()
        run = subprocess.run([LINUX_KELMORIX, set_folder, out], capture_output=True,
                             stdin=subprocess.DEVNULL, timeout=120)
        self.assertEqual(run.returncode, 0, run.stdout)
        self.assertTrue(read(os.path.join(out, name)) == data, "kelmorix rebuilt other bytes")

    def dorvane(self, source, args):
        out = self.out()
        run = run_dorvane([source, out] + args, self.dir, console=False, timeout=120)
        self.assertEqual(run.code, 0, run.output)
        return out

    def test_ten_megabytes_by_size_by_count_and_on_two_disks(self):
        data = self.rng.randbytes(10 * 1000 * 1000)
        source = self.source("BIG.DAT", data)
        for args, count in ((["--size", "1.44MB"], 7), (["--count", "7"], 7)):
            with self.subTest(args=args):
                out = self.dorvane(source, args)
                self.assertEqual(len(portions(out)), count)
                self.rebuild_both(out, data)
        with self.subTest(disks=2):
            run, copied, free = slice_onto_disks(self, self.folder("disks"), source, 2, "6m")
            self.assertEqual(run.code, 0, run.output)
            self.assertEqual(run.output.count("Press any key when ready."), 2, run.output)
            self.assertEqual(free[0], 0)
            self.rebuild_both(copied, data)

    def test_windows_and_linux_sets_of_one_file_are_alike(self):
        data = self.rng.randbytes(3 * 1000 * 1000 + 17)
        source = self.source("Same.Bin", data)
        # (dorvane's arguments, the portion size the window plans for them)
        for args, portion_size in ((["--size", "360KB"], 358400), (["--count", "7"], 428883)):
            with self.subTest(args=args):
                linux = self.dorvane(source, args)
                windows = self.out()
                run = subprocess.run([WINE_RUN, SLICETOOL, winpath(source), winpath(windows) + "\\",
                                      str(portion_size)], capture_output=True, timeout=120,
                                     stdin=subprocess.DEVNULL)
                self.assertEqual(run.stdout.replace(b"\r", b""), b"RESULT 0\n", run.stderr)
                self.assertEqual(sorted(os.listdir(linux)), sorted(os.listdir(windows)))
                for name in os.listdir(windows):
                    a, b = read(os.path.join(linux, name)), read(os.path.join(windows, name))
                    if name == "KELMORIX.EXE": # each carries its own build's
                        self.assertEqual((a == read(SHIPPED_KELMORIX), b == read(KELMORIX_EXE)),
                                         (True, True))
                        continue
                    if name == "Same.Bin.sfv":
                        # The portions' CRCs take in each platform's own header
                        # fields; the names, the file's line and the rest agree.
                        self.assertEqual(*[[line[:-8] if line[:1] != b";" else line
                                            for line in text.split(b"\r\n")] for text in (a, b)])
                        continue
                    self.assertEqual(len(a), len(b), name)
                    self.assertTrue(without_own_fields(a) == without_own_fields(b), name)

    def test_random_sets_through_both_joiners(self):
        for round in range(3):
            size = self.rng.randint(1, 2000000)
            plan = random_plan(self.rng, size)
            with self.subTest(seed=self.seed, size=size, plan=plan):
                data = self.rng.randbytes(size)
                self.rebuild_both(self.dorvane(self.source("R%d.BIN" % round, data), plan), data)


if __name__ == "__main__":
    unittest.main()
