"""Names beyond ASCII travel: sets the Linux dorvane makes from names in
Latin, Cyrillic, CJK and beyond the BMP rebuilt byte for byte under the same
name by every joiner the configuration has (the Linux kelmorix; KELMORIX.EXE
under Wine in the ANSI code page 1252 and in 932), their checksum lists
read by cksfv and rhash and their recovery data by par2; and sets whose
headers and list carry a name of the ANSI era (code page 1252) rebuilt under
the readable name. NAMES_MATRIX names a file that gets each cell's lines."""

import os
import shutil
import subprocess
import tempfile
import unittest
import zlib

from harness import (NATIVE, WINE_RUN, FolderTest, header, run_joiner, run_native, sample_data,
                     winpath)

LINUX_KELMORIX = os.environ.get("KELMORIX_NATIVE") or os.environ.get("LINUX_KELMORIX", "")
DORVANE_LINUX = os.environ.get("DORVANE_LINUX", "")
KELMORIX_EXE = os.environ.get("KELMORIX_EXE", "")
# Wine's ANSI code page follows the locale it starts in; the locale's data is
# made for the test (LOCPATH), so that nothing on the machine changes.
OTHER_LOCALE, OTHER_CODE_PAGE = "ja_JP.UTF-8", 932

NAMES = [("ASCII", "Report 2026.pdf"), ("Latin", "Müller Präsentation.pdf"),
         ("Cyrillic", "Отчёт за год.txt"), ("CJK", "日本語の資料.bin"),
         ("beyond the BMP", "Notes 🎉 party.txt")]


def as_text(run):
    """What a run printed, read as the UTF-8 it is."""
    return (run.output + run.errors).encode("latin-1").decode("utf-8", errors="replace")


class Names(FolderTest):
    cells = []

    @classmethod
    def setUpClass(cls):
        cls.joiners = []
        if os.access(LINUX_KELMORIX, os.X_OK):
            cls.joiners.append(("kelmorix", lambda args, cwd: run_native(args, cwd, program=LINUX_KELMORIX),
                                os.path.realpath))
        if not NATIVE and WINE_RUN and KELMORIX_EXE:
            cls.locales = tempfile.mkdtemp(prefix="kelmorix-locales-")
            made = subprocess.run(["localedef", "-i", OTHER_LOCALE.split(".")[0], "-f", "UTF-8",
                                   os.path.join(cls.locales, OTHER_LOCALE)], capture_output=True)
            other = {"WINE_RUN_LOCALE": OTHER_LOCALE, "LOCPATH": cls.locales}
            cls.joiners.append(("KELMORIX.EXE 1252", lambda args, cwd: run_joiner(args, cwd), winpath))
            if made.returncode == 0 or os.path.isdir(os.path.join(cls.locales, OTHER_LOCALE)):
                cls.joiners.append(("KELMORIX.EXE %d" % OTHER_CODE_PAGE,
                                    lambda args, cwd: run_joiner(args, cwd, env=other), winpath))
            else:
                print("no %s locale (localedef: %s): the code page %d column is left out"
                      % (OTHER_LOCALE, made.stderr.decode().strip(), OTHER_CODE_PAGE))

    @classmethod
    def tearDownClass(cls):
        if getattr(cls, "locales", None):
            shutil.rmtree(cls.locales, ignore_errors=True)
        if os.environ.get("NAMES_MATRIX") and cls.cells:
            with open(os.environ["NAMES_MATRIX"], "a", encoding="utf-8") as f:
                f.write("".join(cls.cells))

    def setUp(self):
        super().setUp()
        if not self.joiners:
            self.skipTest("no joiner is built")

    def record(self, row, joiner, run, lines):
        self.cells.append("== %s | %s | exit %d\n%s\n" % (row, joiner, run.code, "\n".join(lines)))

    def rebuild(self, row, name, folder, data):
        """Each joiner rebuilds the set in folder, named on its command line
        by the file's name, and checks it: the file under name, byte for
        byte, and the check's line for the file."""
        for joiner, run_with, path in self.joiners:
            with self.subTest(name=row, joiner=joiner):
                out = tempfile.mkdtemp(dir=self.dir)
                run = run_with([path(os.path.join(folder, name)), path(out)], self.dir)
                said = as_text(run)
                check = run_with(["--check", path(folder)], self.dir)
                checked = as_text(check)
                self.record(row, joiner, run, [line for line in said.split("\n")
                                               if name in line or "Error" in line] +
                            [line for line in checked.split("\n") if line.startswith(name)])
                self.assertEqual(run.code, 0, said)
                self.assertIn("%s Successfully restored to %s\n" % (name, path(out)), said)
                self.assertEqual(os.listdir(out), [name])
                self.assertEqual(self.read(os.path.join(out, name)), data)
                self.assertEqual(check.code, 0, checked)
                self.assertIn("\n%s  ok: %d bytes" % (name, len(data)), "\n" + checked)

    @unittest.skipUnless(os.access(DORVANE_LINUX, os.X_OK), "the Linux dorvane is not built")
    def test_sets_made_on_linux(self):
        for row, name in NAMES:
            data = sample_data(3000, seed=len(name))
            source = os.path.join(self.folder("source"), name)
            with open(source, "wb") as f:
                f.write(data)
            folder = self.folder("set %s" % row)
            subprocess.run([DORVANE_LINUX, source, folder, "--size", "1309", "--recovery"],
                           check=True, capture_output=True, stdin=subprocess.DEVNULL, timeout=60)
            listed = name + ".sfv"
            with self.subTest(name=row, tool="cksfv, rhash, par2"):
                for tool in (["cksfv", "-q", "-f", listed], ["rhash", "-c", listed],
                             ["par2", "verify", "-q", name + ".par2"]):
                    proc = subprocess.run(tool, cwd=folder, capture_output=True, timeout=60)
                    self.assertEqual(proc.returncode, 0, proc.stdout + proc.stderr)
            self.rebuild(row, name, folder, data)

    def test_names_of_the_ansi_era(self):
        # As a Windows slicer of that code page wrote them: the header and
        # the list carry the name's bytes in the code page; the portions
        # came to this disk under their names in UTF-8. Read in 1252 on
        # Linux; on Windows in the system's code page, so a name of 932 only
        # where that is the code page.
        for code_page, name, joiners in ((1252, "Résumé Gérard.doc", ("kelmorix", " 1252")),
                                         (932, "日本語の資料.txt", (" %d" % OTHER_CODE_PAGE,))):
            data = sample_data(2500, seed=code_page)
            folder = self.folder("set %d" % code_page)
            stored = name.encode("cp%d" % code_page)
            lines = ["; Written by Dorvane 1.0.0"]
            for n in range(3):
                chunk = data[n * 1000:(n + 1) * 1000]
                portion = header("", len(data), last=int(n == 2),
                                 name_field=stored.ljust(256, b"\0")) + chunk
                portion_name = name[:-2] + "%02d" % n
                with open(os.path.join(folder, portion_name), "wb") as f:
                    f.write(portion)
                lines.append("%s %08X" % (portion_name, zlib.crc32(portion)))
            lines.append("; Sliced file %s, %d bytes, CRC-32 %08X, 3 portions"
                         % (name, len(data), zlib.crc32(data)))
            with open(os.path.join(folder, name + ".sfv"), "wb") as f:
                f.write("".join(line + "\r\n" for line in lines).encode("cp%d" % code_page))
            every = self.joiners
            self.joiners = [j for j in every if j[0].endswith(joiners)]
            self.rebuild("ANSI era (%d)" % code_page, name, folder, data)
            self.joiners = every


if __name__ == "__main__":
    unittest.main()
