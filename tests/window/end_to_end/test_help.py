"""dorvane.hlp as the system help viewer shows it under Wine: the Help
button of the real dorvane.exe, told by Wine that it runs on a Windows
that has the viewer, opens the help file beside it on the contents topic,
and Exit lets go of the viewer; every topic is reached by its context name,
and so is the end of a long topic that spans several topic blocks. Told
that it runs on Windows 10, the Help button has the shell open dorvane.htm
instead. The run leaves a screenshot of the viewer in the build tree
(docs/help.png is a copy)."""

import os
import random
import re
import shutil
import subprocess
import sys
import tempfile
import time
import types
import unittest

from dorvane_window import ID, NOT_THERE, Dorvane, colours, display_of, winpath

HERE = os.path.dirname(os.path.abspath(__file__))
TOP = os.path.join(HERE, "..", "..", "..")
WINE_RUN = os.environ.get("WINE_RUN", "")
WINDRIVER = os.environ.get("WINDRIVER_EXE", "")
DORVANE = os.environ.get("DORVANE_EXE", "")
PREFIX = os.environ.get("WINE_PREFIX", "")
SCREENSHOTS = os.environ.get("SCREENSHOTS", "")
HELP_FILE = os.path.join(os.path.dirname(DORVANE), "dorvane.hlp")


def load_writer():
    path = os.path.join(TOP, "scripts", "write-help")
    module = types.ModuleType("write_help")
    module.__file__ = path
    with open(path) as f:
        exec(compile(f.read(), path, "exec"), module.__dict__)
    return module


WRITER = load_writer()
with open(os.path.join(TOP, "resources", "help", "dorvane-help.txt"), encoding="utf-8") as f:
    SETTINGS, TOPICS = WRITER.parse(f.read())


def plain(runs):
    """A paragraph's text as the viewer's text window holds it, spaces
    folded."""
    pieces = []
    for run in runs:
        if run in (WRITER.TAB, WRITER.BREAK):
            pieces.append(" ")
        else:
            pieces.append(" ".join(run[1]) if isinstance(run[1], list) else run[1])
    return folded("".join(pieces))


def folded(text):
    return re.sub(r"\s+", " ", text).strip()


def long_source(paragraphs=300):
    """A help source whose second topic needs several topic blocks: words
    drawn at random pack poorly. Returns it and its last paragraph."""
    pick = random.Random(16)
    words = "slice portion disk folder joiner header rebuild number name size".split()
    lines = ["@title Long", "== first: First", "Short.", "== long: A long topic"]
    for n in range(paragraphs):
        lines += ["Paragraph %d: %s." % (n, " ".join(pick.choice(words) + str(pick.randrange(99))
                                                     for _ in range(12))), ""]
    return "\n".join(lines), lines[-2]


def setUpModule():
    for name in ("WINE_RUN", "WINDRIVER_EXE", "DORVANE_EXE", "WINE_PREFIX", "SCREENSHOTS"):
        if not os.environ.get(name):
            raise unittest.SkipTest("%s is not set: run through ctest" % name)


class HelpViewer(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="dorvane-help-")
        self.env = dict(os.environ, WINE_RUN_PREFIX=PREFIX)
        self.addCleanup(shutil.rmtree, self.dir, ignore_errors=True)

    def registry(self, *args):
        subprocess.run([WINE_RUN, "reg"] + list(args), env=self.env, check=True,
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=120)

    def windows_version(self, version):
        """The Windows version Wine tells dorvane.exe, for this test only:
        Wine reads it when a program starts."""
        key = r"HKCU\Software\Wine\AppDefaults\dorvane.exe"
        self.registry("add", key, "/v", "Version", "/d", version, "/f")
        self.addCleanup(self.registry, "delete", key, "/f")

    def driver(self, *args):
        with tempfile.TemporaryFile() as out:
            code = subprocess.run([WINE_RUN, WINDRIVER] + list(args), env=self.env,
                                  stdin=subprocess.DEVNULL, stdout=out,
                                  stderr=subprocess.DEVNULL, timeout=120).returncode
            out.seek(0)
            # windriver prints what it reads in UTF-8.
            return code, re.sub(r"\r+\n", "\n", out.read().decode("utf-8"))

    def shown(self, title, seconds=30):
        """Waits until the viewer shows the topic of that title; returns the
        viewer's caption, its place on the screen and the topic's text."""
        deadline = time.monotonic() + seconds
        while True:
            code, said = self.driver("viewer", "5")
            lines = said.split("\n", 2)
            # The topic follows the caption and the place, a line a paragraph.
            if code == 0 and len(lines) == 3 and lines[2].split("\n")[0] == title:
                return lines[0], [int(n) for n in lines[1].split()], folded(lines[2])
            if time.monotonic() > deadline:
                self.fail("the viewer did not show %r: %s" % (title, said))
            time.sleep(0.5)

    def test_help_button_opens_the_contents_topic_and_exit_closes_it(self):
        self.windows_version("winxp")
        program = os.path.join(self.dir, "program")
        os.makedirs(program)
        shutil.copy(HELP_FILE, program)
        window = Dorvane(program, WINE_RUN, WINDRIVER, DORVANE, PREFIX)
        self.addCleanup(window.kill)
        self.addCleanup(self.driver, "close-viewer")
        window.click(ID.HELP_BUTTON)
        contents = TOPICS[0]
        caption, (left, top, right, bottom), text = self.shown(contents.title)
        self.assertEqual(caption, SETTINGS["title"])
        for _, runs in contents.paragraphs:
            self.assertIn(plain(runs), text)
        # The contents topic leads to every other topic.
        targets = {run[2] for _, runs in contents.paragraphs for run in runs
                   if run not in (WRITER.TAB, WRITER.BREAK) and run[2]}
        self.assertEqual(targets, {t.name for t in TOPICS[1:]})

        shot = os.path.join(SCREENSHOTS, "help.png")
        os.makedirs(SCREENSHOTS, exist_ok=True)
        subprocess.run(["import", "-display", display_of(PREFIX), "-window", "root", "-crop",
                        "%dx%d+%d+%d" % (right - left, bottom - top, left, top), "+repage", shot],
                       check=True, stdin=subprocess.DEVNULL, timeout=60)
        self.assertGreater(colours(shot), 2, "%s shows no window" % shot)

        # Exit tells the viewer to let go of the file before the program ends.
        window.click(ID.EXIT_BUTTON)
        self.assertEqual(window.proc.wait(timeout=60), 0)
        deadline = time.monotonic() + 30
        while self.driver("viewer", "0")[0] != NOT_THERE:
            self.assertLess(time.monotonic(), deadline, "the viewer stayed open after Exit")
            time.sleep(0.5)

    def test_help_on_windows_10_has_the_shell_open_the_page(self):
        """The shell opens a page with the program its class names: here a
        stand-in that writes down what it was given."""
        self.windows_version("win10")
        opened = os.path.join(self.dir, "opened.txt")
        command = '"%s" write "%s" "%%1"' % (winpath(WINDRIVER), winpath(opened))
        self.registry("add", r"HKCR\.htm", "/ve", "/d", "DorvaneTestPage", "/f")
        self.addCleanup(self.registry, "delete", r"HKCR\.htm", "/f")
        self.registry("add", r"HKCR\DorvaneTestPage\shell\open\command", "/ve", "/d", command, "/f")
        self.addCleanup(self.registry, "delete", r"HKCR\DorvaneTestPage", "/f")
        program = os.path.join(self.dir, "program")
        os.makedirs(program)
        page = os.path.join(program, "dorvane.htm")
        with open(page, "w") as f:
            f.write("<html><title>Dorvane Help</title></html>\n")
        window = Dorvane(program, WINE_RUN, WINDRIVER, DORVANE, PREFIX)
        self.addCleanup(window.kill)
        window.click(ID.HELP_BUTTON)
        deadline = time.monotonic() + 30
        while not (os.path.exists(opened) and os.path.getsize(opened)):
            self.assertLess(time.monotonic(), deadline, "the shell opened nothing")
            time.sleep(0.25)
        with open(opened) as f:
            self.assertEqual(f.read(), winpath(page))
        self.assertEqual(self.driver("viewer", "0")[0], NOT_THERE)
        window.drive("wait-box", "*", 1, expect=NOT_THERE)
        self.assertEqual(window.close(), 0)

    def test_every_topic_is_found_by_its_context_name(self):
        long_file = os.path.join(self.dir, "long.hlp")
        source, last = long_source()
        with open(long_file + ".txt", "w") as f:
            f.write(source)
        subprocess.run([sys.executable, WRITER.__file__, long_file + ".txt", long_file], check=True)
        cases = [(HELP_FILE, t.name, t.title, plain(t.paragraphs[-1][1])) for t in TOPICS]
        cases.append((long_file, "long", "A long topic", last))
        for path, name, title, end in cases:
            with self.subTest(topic=name):
                viewer = subprocess.Popen([WINE_RUN, "winhlp32", "-i", name, winpath(path)],
                                          env=self.env, stdin=subprocess.DEVNULL,
                                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                try:
                    text = self.shown(title)[2]
                    self.assertTrue(text.endswith(end), text[-200:])
                finally:
                    self.assertEqual(self.driver("close-viewer")[0], 0)
                    viewer.wait(timeout=60)


if __name__ == "__main__":
    unittest.main()
