"""What only the Linux kelmorix does: keys from the controlling terminal in
raw mode, given back its mode however the wait ends; removable mount points
found through the mount table and sysfs; the destination from TEMP, TMPDIR
or /tmp; the directory search in byte order; no output through a link."""

import errno
import os
import shutil
import signal
import sys
import termios
import unittest

from harness import (DECLINED, KEY_UP, NATIVE, NATIVE_HOOKED, JoinerTest, header, hostpath,
                     run_native, run_on_terminal, sample_data, words, write_set)

PROMPT = "Please insert disk #%d in drive %s. Press any key when ready."
TERMINAL_MODE = termios.ECHO | termios.ICANON


class Terminal(JoinerTest):
    def setUp(self):
        super().setUp()
        self.sets = self.folder("sets")
        self.out = self.folder("out")
        self.output = os.path.join(self.out, "BIG.DAT")
        write_set(self.sets, "BIG.DAT", sample_data(1500), 1000)

    def test_the_terminal_gets_its_mode_back_however_the_question_ends(self):
        # (keys typed at the overwrite question, exit code: a signal's is
        # negative; Ctrl+C is recorded, and the joiner ends by itself)
        cases = [(b"n", 249), (KEY_UP, 249), (b"\x03", 128 + signal.SIGINT),
                 (b"\x1c", -signal.SIGQUIT),
                 (b"\x1a", 249)]  # Ctrl+Z is a key here: a stopped joiner would keep the mode raw
        for keys, code in cases:
            with self.subTest(keys=keys):
                with open(self.output, "wb") as f:
                    f.write(b"mine")
                run = run_native(["BIG.D00", hostpath(self.out)], self.sets,
                                 answer=lambda n, text: keys)
                self.assertEqual(run.code, code, run.output)
                self.assertEqual(run.terminal_flags & TERMINAL_MODE, TERMINAL_MODE)
                self.assertEqual(self.read(self.output), b"mine")
                # Asked on the terminal (standard output is a pipe), and the
                # line ended however the answer came.
                self.assertIn("Overwrite? (Y/N): \r\n", run.terminal)

    def test_without_a_controlling_terminal_the_question_is_declined(self):
        with open(self.output, "wb") as f:
            f.write(b"mine")
        run = run_native(["BIG.D00", hostpath(self.out)], self.sets, console=False)
        self.assertEnds(run, 249, DECLINED % self.output)
        self.assertIn("Overwrite? (Y/N): N (no terminal to answer; --yes would answer Y)\n", run.output)
        self.assertEqual(self.read(self.output), b"mine")

    def test_a_link_in_the_outputs_place_is_asked_about_and_never_followed(self):
        elsewhere = os.path.join(self.dir, "elsewhere")
        # (where the link points, key typed)
        for target, key in ((elsewhere, b"n"), (elsewhere, b"y"), (os.path.join(self.dir, "none"), b"n")):
            with self.subTest(target=os.path.basename(target), key=key):
                with open(elsewhere, "wb") as f:
                    f.write(b"not the joiner's")
                os.symlink(target, self.output)
                run = run_native(["BIG.D00", hostpath(self.out)], self.sets, answer=lambda n, text: key)
                self.assertIn("%s already exists.  Overwrite? (Y/N): \n" % self.output, run.output)
                self.assertEqual(run.code, 0 if key == b"y" else 249, run.output)
                self.assertEqual(os.path.islink(self.output), key == b"n")
                self.assertEqual(self.read(elsewhere), b"not the joiner's")
                os.remove(self.output)


    def test_a_portion_that_cannot_be_read_is_told_with_its_error(self):
        data = sample_data(2500)
        paths = write_set(self.sets, "BIG.DAT", data, 1000)
        os.remove(paths[1])
        os.mkfifo(paths[1])
        run = run_native(["BIG.D00", hostpath(self.out)], self.sets)
        self.assertEnds(run, 247, "Error opening BIG.D01" + words(errno.EINVAL))


class Texts(JoinerTest):
    def test_what_the_linux_joiner_says(self):
        elsewhere = self.folder("elsewhere")
        # (arguments, exit code, a line said)
        cases = [([], 253, "(kelmorix --help shows how to name a slice set)"),
                 (["--help"], 0, "If a destination folder is not specified, the current folder will be used"),
                 (["BIG.DAT", self.dir], 253, "There is no slice set corresponding to BIG.DAT in %s."
                  % os.path.realpath(elsewhere)),
                 ([os.path.join(self.dir, "BIG.D00")], 253, "In %s, %s is not a valid starting file "
                  "for Kelmorix." % (self.dir, os.path.join(self.dir, "BIG.D00"))),
                 (["a", "b", "c"], 2, "USAGE: KELMORIX [source folder] [destination folder]")]
        for args, code, line in cases:
            with self.subTest(args=args):
                run = run_native(args, elsewhere)
                self.assertEnds(run, code, line)
                self.assertNotIn("TEMP will be used", run.output)


class Folders(JoinerTest):
    def test_the_first_portion_is_the_first_name_in_byte_order(self):
        sets = self.folder("sets")
        # Uppercase sorts before lowercase, whatever order the folder lists.
        for name in ("b.DAT", "Z.DAT", "M.DAT", "B.DAT", "a.DAT"):
            write_set(sets, name, name.encode() * 100, 1000)
        run = run_native([], sets, answer=lambda n, text: b"n")
        self.assertEnds(run, 0, "B.DAT Successfully restored to %s" % hostpath(sets))
        self.assertEqual(self.read(os.path.join(sets, "B.DAT")), b"B.DAT" * 100)

    def test_a_current_folder_longer_than_its_buffer(self):
        # Deeper than a path the system takes in one call: made and entered
        # one folder at a time.
        step, depth = "x" * 200, 4096 // 201 + 1
        folder = os.open(self.dir, os.O_RDONLY)
        for _ in range(depth):
            os.mkdir(step, dir_fd=folder)
            inner = os.open(step, os.O_RDONLY, dir_fd=folder)
            os.close(folder)
            folder = inner
        with open(os.open("BIG.D00", os.O_WRONLY | os.O_CREAT, 0o644, dir_fd=folder), "wb") as f:
            f.write(header("BIG.DAT", 100, last=1) + sample_data(100))
        os.close(folder)
        enter = "import os, sys\nfor _ in range(%d): os.chdir(%r)\nos.execv(sys.argv[1], sys.argv[1:])"
        try:
            run = run_on_terminal([sys.executable, "-c", enter % (depth, step), NATIVE], self.dir,
                                  controlling=True, errors="output")
        finally:
            shutil.rmtree(os.path.join(self.dir, step))  # a walk by paths cannot reach so deep
        self.assertEnds(run, 234, "The path of the current folder is longer than 4095 bytes;")

    def test_a_current_folder_that_was_deleted(self):
        gone = self.folder("gone")
        run = run_on_terminal(["sh", "-c", 'cd "$1" && rmdir "$1" && exec "$2"', "sh", gone, NATIVE],
                              self.dir, controlling=True, errors="output")
        self.assertEnds(run, 231, "Error reading the current folder" + words(errno.ENOENT))


class RemovableMountPoint(JoinerTest):
    """A folder that a mount table and a sysfs tree made by the test declare
    the mount point of a removable disk's partition; a disk is swapped by
    replacing the folder's contents."""

    def setUp(self):
        super().setUp()
        if not NATIVE_HOOKED:
            self.skipTest("KELMORIX_HOOKED is set by the build's test run")
        # A blank in the name: the mount table writes it as \040.
        self.floppy = os.path.realpath(self.folder("floppy drive"))
        self.out = self.folder("out")
        self.name = "KELMORIX-%d.DAT" % os.getpid()  # unique: one test writes into /tmp
        self.data = sample_data(2500)
        staging = self.folder("staging")
        self.disks = [write_set(staging, self.name, self.data, 1000)[n:n + 1] for n in range(4)]
        # A portion of another set under the name portion 01 has.
        self.stranger = os.path.join(self.folder("stranger"), self.name[:-2] + "01")
        with open(self.stranger, "wb") as f:
            f.write(header("KELMORIX.DOC", 9000) + sample_data(500, seed=3))
        self.environment = {"KELMORIX_MOUNTINFO": self.mount_table(self.floppy),
                            "KELMORIX_SYSFS": self.sysfs_tree(), "TEMP": self.out}
        self.insert(self.disks[0])

    def mount_table(self, mount_point):
        path = os.path.join(self.dir, "mountinfo")
        escaped = mount_point.replace(" ", "\\040")
        with open(path, "w") as f:
            f.write("1 0 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
                    "30 1 0:45 / /tmp rw shared:2 - tmpfs tmpfs rw\n"
                    "41 1 8:17 / %s rw,nosuid master:7 - vfat /dev/sdb1 rw\n" % escaped)
        return path

    def sysfs_tree(self):
        """sdb, removable, with its partition sdb1 (8:17); sda (8:1) fixed."""
        root = self.folder("sys")
        for disk, mark in (("sda", "0"), ("sdb", "1")):
            os.makedirs(os.path.join(root, "devices", disk, disk + "1"))
            with open(os.path.join(root, "devices", disk, "removable"), "w") as f:
                f.write(mark + "\n")
            open(os.path.join(root, "devices", disk, disk + "1", "partition"), "w").close()
        os.makedirs(os.path.join(root, "dev", "block"))
        for numbers, partition in (("8:1", "sda/sda1"), ("8:17", "sdb/sdb1")):
            os.symlink("../../devices/" + partition, os.path.join(root, "dev", "block", numbers))
        return root

    def insert(self, files):
        for name in os.listdir(self.floppy):
            os.remove(os.path.join(self.floppy, name))
        for path in files:
            shutil.copy(path, self.floppy)

    def answers(self, disks, keys=b" "):
        def answer(n, text):
            self.insert(disks[n])
            return keys
        return answer

    def join(self, args, disks, env=(), keys=b" ", **kw):
        environment = dict(self.environment, **dict(env))
        return run_native(args, self.floppy, program=NATIVE_HOOKED, env=environment,
                          answer=self.answers(disks, keys), **kw)

    def prompts(self, run):
        return [line for line in run.output.split("\n") if line.startswith("Please insert")]

    def test_disks_in_order_from_the_mount_point(self):
        # (arguments: none, the mount point named as typed with and without
        # a separator; the keys at each prompt, an arrow's sequence and a
        # letter of two or three bytes taken whole)
        for args, keys in (([], b" "), ([self.floppy + "/", self.out], b" "), ([self.floppy, self.out], KEY_UP),
                           ([], "é".encode()), ([], "€".encode())):
            with self.subTest(args=args, keys=keys):
                run = self.join(args, self.disks, keys=keys)
                self.assertEnds(run, 0, "%s Successfully restored to %s" % (self.name, self.out))
                self.assertEqual(self.prompts(run), [PROMPT % (n, self.floppy) for n in (1, 2, 3, 4)])
                self.assertEqual(self.read(os.path.join(self.out, self.name)), self.data)
                os.remove(os.path.join(self.out, self.name))
                self.insert(self.disks[0])

    def test_the_mount_point_is_left_before_the_first_prompt(self):
        # (current folder, arguments): the mount point itself, and relative
        # paths that must still name the set and the destination from /.
        for cwd, args, shown in ((self.floppy, [], self.out),
                                 (self.dir, [os.path.basename(self.floppy), "out"], "out")):
            with self.subTest(args=args):
                process, folders = [], []

                def answer(n, text):
                    folders.append(os.readlink("/proc/%d/cwd" % process[0].pid))
                    self.insert(self.disks[n])
                    return b" "
                run = run_native(args, cwd, program=NATIVE_HOOKED, env=self.environment, answer=answer,
                                 started=process.append)
                self.assertEnds(run, 0, "%s Successfully restored to %s" % (self.name, shown))
                self.assertEqual(folders, ["/"] * 4)
                self.assertEqual(self.read(os.path.join(self.out, self.name)), self.data)
                os.remove(os.path.join(self.out, self.name))
                self.insert(self.disks[0])

    def test_a_damaged_disk_points_to_the_repair_in_a_folder(self):
        short = os.path.join(self.folder("short"), os.path.basename(self.disks[1][0]))
        with open(short, "wb") as f:
            f.write(b"x" * 100)
        run = self.join([], [self.disks[0], [short]] + self.disks[2:])
        self.assertEqual(run.code, 241, run.output)
        self.assertIn("If the set has a recovery disk, copy every disk, the recovery disk included,\n"
                      "into one folder and run kelmorix there to repair it.\n", run.output)

    def test_wrong_disks_are_asked_for_again(self):
        # (disk inserted at the prompt for disk 2, what the joiner says of it)
        cases = [
            (self.disks[2], "You need to insert Disk #2.  You inserted Disk #3."),
            ([], "The current disk in %s does not have a slice file on it." % self.floppy),
            ([self.stranger], "The disk in drive %s holds a portion of another slice set." % self.floppy),
        ]
        for wrong, told in cases:
            with self.subTest(told=told):
                run = self.join([], [self.disks[0], wrong] + self.disks[1:])
                self.assertEnds(run, 0, "%s Successfully restored to %s" % (self.name, self.out))
                self.assertIn("\n\n%s\n%s\n" % (told, PROMPT % (2, self.floppy)), run.output)
                self.assertEqual(len(self.prompts(run)), 5)
                self.assertEqual(self.read(os.path.join(self.out, self.name)), self.data)
                os.remove(os.path.join(self.out, self.name))
                self.insert(self.disks[0])

    def test_destination_comes_from_temp_then_tmpdir_then_tmp(self):
        other = self.folder("other")
        # (environment changes, destination)
        cases = [({"TEMP": self.out, "TMPDIR": other}, self.out),
                 ({"TEMP": "", "TMPDIR": other}, other),
                 ({"TEMP": None, "TMPDIR": None}, "/tmp")]
        for env, destination in cases:
            with self.subTest(destination=destination):
                run = self.join([], self.disks, env=env)
                self.assertEnds(run, 0, "%s Successfully restored to %s" % (self.name, destination))
                self.assertEqual(self.read(os.path.join(destination, self.name)), self.data)
                os.remove(os.path.join(destination, self.name))
                self.assertEqual(os.listdir(self.floppy), [os.path.basename(self.disks[3][0])])
                self.insert(self.disks[0])

    def test_an_interrupted_join_takes_its_output_away(self):
        # Stopped at the prompt for disk 2, once the output holds disk 1's data.
        for number, code in ((signal.SIGINT, 130), (signal.SIGTERM, 143)):
            with self.subTest(signal=number):
                process, seen = [], []

                def answer(n, text):
                    if n == 0:
                        self.insert(self.disks[0])
                        return b" "
                    seen.append(os.listdir(self.out))
                    process[0].send_signal(number)
                    return None
                run = run_native([], self.floppy, program=NATIVE_HOOKED, env=self.environment,
                                 answer=answer, started=process.append)
                self.assertEqual(seen, [["~KLM0001.TMP"]])
                self.assertEnds(run, code, "Interrupted: nothing was written under %s" % self.name)
                self.assertEqual(os.listdir(self.out), [])
                self.insert(self.disks[0])

    def test_a_disk_prompt_without_a_terminal(self):
        run = self.join([], self.disks, console=False)
        self.assertEnds(run, 233, "There is no terminal to answer the prompt for disk #1.")
        self.assertNotIn("Please insert", run.output)
        self.assertEqual(os.listdir(self.out), [])

    def test_a_device_not_marked_removable_is_a_folder(self):
        with open(os.path.join(self.environment["KELMORIX_SYSFS"], "devices", "sdb", "removable"), "w") as f:
            f.write("0\n")
        run = self.join([], self.disks)
        self.assertEqual(self.prompts(run), [])
        self.assertEnds(run, 247, "The file, %s/%s, could not be opened." % (self.floppy, self.name[:-2] + "01"))


if __name__ == "__main__":
    unittest.main()
