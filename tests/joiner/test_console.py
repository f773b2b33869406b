"""The joiners' console: the progress of the join, the check and the
rebuild drawn on a terminal (the Linux kelmorix: a labelled line that fits
the terminal's width; KELMORIX.EXE: a percentage on its console line), and
nothing drawn when the output goes elsewhere or with -q; KELMORIX.EXE's
window kept open when it has a console of its own (started from Explorer)."""

import os
import re
import subprocess
import unittest

from harness import NATIVE, JoinerTest, hostpath, run_joiner, sample_data, write_set

DORVANE_LINUX = os.environ.get("DORVANE_LINUX", "")
CLOSE = "\nPress any key to close this window.\n"
ESCAPES = re.compile(r"\x1b\[[0-9;?]*[A-Za-z]")


def drawn(run):
    """The progress lines drawn, as the terminal got them: the Linux
    joiner's between a carriage return and the erasure of the line's rest;
    KELMORIX.EXE's percentages, from Wine's drawing of its console."""
    if NATIVE:
        return [line for line in re.findall(r"\r([^\r\n\x1b]*)\x1b\[K", run.terminal) if line]
    return re.findall(r"[\r\n] *(\d+%)", ESCAPES.sub("", run.terminal))


class Progress(JoinerTest):
    def setUp(self):
        super().setUp()
        self.sets = self.folder("sets")
        self.out = self.folder("out")
        self.data = sample_data(3 << 20)
        write_set(self.sets, "BIG.DAT", self.data, 1 << 20)

    def run_on(self, args, where, **kw):
        """A run whose progress goes to the terminal ("terminal") or has
        nowhere to go ("redirected")."""
        if where == "terminal":
            kw.update({"errors": "terminal"} if NATIVE else {"output": "terminal"})
        elif NATIVE:
            kw["errors"] = "apart"
        return run_joiner(args, self.sets, **kw)

    def test_progress_on_a_terminal_and_nowhere_else(self):
        out = hostpath(self.out)
        # (arguments, where the output goes, the label of the Linux line)
        cases = [([hostpath(self.sets), out], "terminal", "Joining BIG.DAT"),
                 (["--check", hostpath(self.sets)], "terminal", "Checking"),
                 ([hostpath(self.sets), out], "redirected", None),
                 (["-q", hostpath(self.sets), out], "terminal", None)]
        for args, where, label in cases:
            with self.subTest(args=args[:1], where=where):
                if os.path.exists(os.path.join(self.out, "BIG.DAT")):
                    os.remove(os.path.join(self.out, "BIG.DAT"))
                run = self.run_on(args, where, columns=60)
                self.assertEqual(run.code, 0, run.output + run.terminal)
                lines = drawn(run)
                if not label:
                    self.assertEqual(lines, [])
                    self.assertNotIn("%", ESCAPES.sub("", run.output + run.terminal + run.errors))
                elif NATIVE:
                    self.assertTrue(lines and lines[-1].startswith(label + "  100%"), lines)
                    self.assertTrue(all(len(line) < 60 for line in lines), lines)
                    # Taken away before the result's lines.
                    self.assertTrue(run.terminal.endswith("\r\x1b[K"), repr(run.terminal[-80:]))
                else:
                    self.assertEqual(lines[-1], "100%", lines)

    @unittest.skipUnless(os.access(DORVANE_LINUX, os.X_OK), "the Linux dorvane is not built")
    def test_the_rebuild_of_a_lost_portion_has_its_own_progress(self):
        source = os.path.join(self.dir, "BIG.DAT")
        with open(source, "wb") as f:
            f.write(self.data)
        recovered = self.folder("recovered")
        subprocess.run([DORVANE_LINUX, source, recovered, "--size", str(1 << 20), "--recovery"],
                       check=True, capture_output=True, stdin=subprocess.DEVNULL, timeout=120)
        os.remove(os.path.join(recovered, "BIG.D01"))
        run = self.run_on([hostpath(recovered), hostpath(self.out)], "terminal")
        self.assertEqual(run.code, 0, run.output + run.terminal)
        self.assertEqual(self.read(os.path.join(self.out, "BIG.DAT")), self.data)
        lines = drawn(run)
        if NATIVE:
            self.assertTrue(any(line.startswith("Joining BIG.DAT") for line in lines), lines)
            self.assertTrue(lines[-1].startswith("Rebuilding BIG.D01  100%"), lines)
        else:
            # Two runs of percentages: the copy, then the rebuild.
            self.assertGreaterEqual(lines.count("100%"), 2, lines)


@unittest.skipIf(NATIVE, "KELMORIX.EXE only")
class WindowOfItsOwn(JoinerTest):
    def test_the_window_waits_for_a_key_after_success_and_after_failure(self):
        sets = self.folder("sets")
        write_set(sets, "BIG.DAT", sample_data(1500), 1000)
        # (processes sharing the console, arguments, exit code, whether it waits)
        cases = [("1", [hostpath(sets), hostpath(self.folder("out"))], 0, True),
                 ("1", [hostpath(self.folder("empty"))], 253, True),
                 ("2", [hostpath(sets), hostpath(self.folder("out2"))], 0, False),
                 ("3", ["--version"], 0, False)]
        for processes, args, code, waits in cases:
            with self.subTest(processes=processes, args=args[:1]):
                keys = []
                run = run_joiner(args, self.dir, env={"KELMORIX_CONSOLE_PROCESSES": processes},
                                 answer=lambda n, text: keys.append(n) or b" ")
                self.assertEqual(run.code, code, run.output)
                self.assertEqual(run.output.endswith(CLOSE), waits, run.output)
                self.assertEqual(keys, [0] if waits else [])


if __name__ == "__main__":
    unittest.main()
