"""The release: the version resource of both Windows programs, read back
through the version API; the packages that scripts/package makes, checked
as a user would get them: the zip unpacked, the .deb listed and unpacked
into a scratch root."""

import gzip
import os
import re
import shutil
import struct
import subprocess
import tempfile
import unittest
import zipfile

TOP = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
ENV = os.environ.get
VERSION = ENV("DORVANE_VERSION", "")


def winpath(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def version_resource(program):
    """What Windows reads of a program's version resource, as a dict."""
    run = subprocess.run([ENV("WINE_RUN"), ENV("WINTOOL_EXE"), "version", winpath(program)],
                         capture_output=True, text=True, timeout=60, stdin=subprocess.DEVNULL)
    return dict(line.split("=", 1) for line in run.stdout.splitlines() if "=" in line)


def pe_header(image):
    """A program's machine and its number of COFF symbols (0 once stripped)."""
    (pe,) = struct.unpack_from("<I", image, 0x3C)
    assert image[pe:pe + 4] == b"PE\0\0"
    machine, _, _, _, count = struct.unpack_from("<HHIII", image, pe + 4)
    return machine, count


class Release(unittest.TestCase):
    def setUp(self):
        if not (ENV("WINE_RUN") and ENV("DORVANE_EXE") and VERSION):
            self.skipTest("set by the windows configuration's test run")


class Versions(Release):
    def test_both_programs_carry_the_projects_version(self):
        numbers = ".".join((VERSION.split(".") + ["0"] * 4)[:4])
        for program, name, description in ((ENV("DORVANE_EXE"), "dorvane.exe", "slicer"),
                                           (ENV("KELMORIX_EXE"), "KELMORIX.EXE", "joiner")):
            with self.subTest(program=name):
                info = version_resource(program)
                self.assertEqual(info.get("file"), numbers, info)
                self.assertEqual(info.get("product"), numbers)
                self.assertEqual(info.get("FileVersion"), VERSION)
                self.assertEqual(info.get("ProductVersion"), VERSION)
                self.assertEqual(info.get("ProductName"), "Dorvane")
                self.assertEqual(info.get("OriginalFilename"), name)
                self.assertIn(description, info.get("FileDescription", ""))
                self.assertIn("Copyright", info.get("LegalCopyright", ""))


class Packages(Release):
    @classmethod
    def setUpClass(cls):
        cls.out = ENV("PACKAGE_OUT", "")
        if not cls.out:
            return
        cls.made = subprocess.run([os.path.join(TOP, "scripts", "package"), "--windows-build",
                                  ENV("WINDOWS_BUILD"), "--out", cls.out, "--no-install"],
                                 capture_output=True, text=True, timeout=240,
                                 stdin=subprocess.DEVNULL)
        cls.zip = os.path.join(cls.out, "dorvane-%s-windows.zip" % VERSION)
        arch = subprocess.run(["dpkg", "--print-architecture"], capture_output=True,
                              text=True).stdout.strip()
        cls.deb = os.path.join(cls.out, "dorvane_%s_%s.deb" % (VERSION, arch))

    def setUp(self):
        super().setUp()
        # lintian, when installed, has found no error: the script fails on one
        self.assertEqual(self.made.returncode, 0, self.made.stdout + self.made.stderr)
        self.scratch = tempfile.mkdtemp(prefix="dorvane-package-")
        self.addCleanup(shutil.rmtree, self.scratch)

    def test_the_zip_holds_the_stripped_slicer_carrying_the_joiner(self):
        with zipfile.ZipFile(self.zip) as z:
            self.assertEqual(sorted(z.namelist()), ["KELMORIX.EXE", "README.txt", "dorvane.exe",
                                                    "dorvane.hlp", "dorvane.htm"])
            # The joiner at the top, the very bytes the slicer writes beside a set.
            with open(ENV("KELMORIX_EXE"), "rb") as f:
                self.assertEqual(z.read("KELMORIX.EXE"), f.read())
            for name in ("dorvane.hlp", "dorvane.htm"):
                with open(os.path.join(os.path.dirname(ENV("DORVANE_EXE")), name), "rb") as f:
                    self.assertEqual(z.read(name), f.read(), name)
            z.extractall(self.scratch)
        exe = os.path.join(self.scratch, "dorvane.exe")
        with open(exe, "rb") as f:
            image = f.read()
        with open(ENV("KELMORIX_EXE"), "rb") as f:
            self.assertIn(f.read(), image, "the joiner is not carried byte for byte")
        with open(ENV("DORVANE_EXE"), "rb") as f:
            built_machine = pe_header(f.read())[0]
        # The build's own program (i686 where it ships), stripped.
        self.assertEqual(pe_header(image), (built_machine, 0), "not the build's, or not stripped")
        self.assertEqual(version_resource(exe).get("FileVersion"), VERSION)
        with open(os.path.join(self.scratch, "README.txt"), "rb") as f:
            readme = f.read()
        self.assertEqual(readme.count(b"\n"), readme.count(b"\r\n"), "not CRLF throughout")
        for text in (b"Dorvane %s" % VERSION.encode(), b"KELMORIX", b"  253  ", b"KELMORIX.EXE  "):
            self.assertIn(text, readme)

    def test_the_deb_installs_each_program_with_its_manual_page(self):
        fields = subprocess.run(["dpkg-deb", "-f", self.deb, "Package", "Version", "Depends"],
                                capture_output=True, text=True, check=True).stdout
        self.assertRegex(fields, r"^Package: dorvane\nVersion: %s\nDepends: libc6 " % VERSION)
        listing = subprocess.run(["dpkg-deb", "-c", self.deb], capture_output=True, text=True,
                                 check=True).stdout
        for path in ("./usr/bin/kelmorix", "./usr/share/man/man1/kelmorix.1.gz",
                     "./usr/share/doc/dorvane/copyright", "./usr/share/doc/dorvane/changelog.gz"):
            self.assertIn(" %s\n" % path, listing)
        self.assertIn("-rwxr-xr-x root/root", listing)
        subprocess.run(["dpkg-deb", "-x", self.deb, self.scratch], check=True)
        programs = os.listdir(os.path.join(self.scratch, "usr", "bin"))
        for program in programs:
            with self.subTest(program=program):
                page = os.path.join(self.scratch, "usr", "share", "man", "man1", program + ".1.gz")
                with open(page, "rb") as f:
                    raw = f.read()
                # gzip -n: no name and no time in the header
                self.assertEqual((raw[3] & 0x08, raw[4:8]), (0, b"\0\0\0\0"))
                text = gzip.decompress(raw)
                self.assertIn(b'.TH %s 1 ' % program.upper().encode(), text)
                # The documents the page points to are installed.
                named = set(re.findall(rb"[\w.]+\.md\.gz", text))
                self.assertTrue(named)
                for name in named:
                    self.assertTrue(os.path.isfile(os.path.join(
                        self.scratch, "usr", "share", "doc", "dorvane", name.decode())), name)
                run = subprocess.run([os.path.join(self.scratch, "usr", "bin", program), "--version"],
                                     capture_output=True, text=True, timeout=60)
                self.assertEqual((run.returncode, run.stdout.split("\n")[0]),
                                 (0, "%s %s" % (program, VERSION)))

    def test_a_missing_help_file_stops_the_zip(self):
        built = os.path.dirname(ENV("DORVANE_EXE"))
        for missing, present in (("dorvane.hlp", ()), ("dorvane.htm", ("dorvane.hlp",))):
            with self.subTest(missing=missing):
                build = os.path.join(self.scratch, missing, "build")
                os.makedirs(os.path.join(build, "window"))
                for name in ("dorvane.exe",) + present:
                    shutil.copy(os.path.join(built, name), os.path.join(build, "window"))
                out = os.path.join(self.scratch, missing, "out")
                run = subprocess.run([os.path.join(TOP, "scripts", "package"), "--windows-build",
                                      build, "--out", out, "--no-install"],
                                     capture_output=True, text=True, timeout=60,
                                     stdin=subprocess.DEVNULL)
                self.assertNotEqual(run.returncode, 0)
                self.assertIn("no %s beside" % missing, run.stderr)
                self.assertFalse(os.path.exists(os.path.join(out, "dorvane-%s-windows.zip"
                                                             % VERSION)))
