"""Slicing onto removable disks, and the failures of real writes and reads."""

import os
import shutil
import unittest

import slicer
import common  # noqa: E402 (found through the path slicer sets)
from checklists import check_list, check_with_cksfv
from slicer import (ERROR_STYLE, HEADER_SIZE, IDABORT, IDCANCEL, IDOK, IDRETRY, KELMORIX, NOT_READY,
                    NOTICE_STYLE, OVERWRITE_TITLE, Box, SliceTest, free_bytes, overwrite, pattern,
                    prompt, read, setUpModule, tearDownModule, winpath)


def joiner_on_disk():
    """The room KELMORIX.EXE takes on a test disk: its size in whole
    allocation units, known once the suite has mounted its first disk."""
    return slicer.on_disk(os.path.getsize(KELMORIX))


def disk_number(box):
    """The disk a prompt asks for, or 0 for any other box."""
    if box.title != "Dorvane - Next Disk":
        return 0
    return int(box.text.split("#")[1].split()[0])


class RemovableDrive(SliceTest):
    def test_every_disk_is_filled_and_the_set_rebuilds(self):
        # Disk 1 holds the joiner and 64 KiB more, whatever the joiner's size.
        disks = [self.disk("disk1", 64 + joiner_on_disk() // 1024)]
        disks += [self.disk("disk%d" % n, 64) for n in range(2, 5)]
        # Three disks' portions and a last one that leaves room for the list
        # beside it.
        data = pattern(3 * 65536 - 3 * HEADER_SIZE + 57567)
        source = self.source("BIG.DAT", data)
        empty_at_first_prompt = []

        def answer(box, boxes):
            n = disk_number(box)
            if n == 1:
                empty_at_first_prompt.append(os.listdir(disks[0]))
            if n:
                self.insert(disks[n - 1])
            return IDOK

        code, boxes = self.slice(source, "A:", 0, answer)
        self.assertEqual(code, 0)
        self.assertEqual(boxes, [prompt(n) for n in (1, 2, 3, 4)])
        self.assertEqual(empty_at_first_prompt, [[]])

        self.assertEqual(sorted(os.listdir(disks[0])), ["BIG.D00", "KELMORIX.EXE"])
        self.assertEqual(read(os.path.join(disks[0], "KELMORIX.EXE")), read(KELMORIX))
        portions = [os.path.join(d, "BIG.D%02d" % n) for n, d in enumerate(disks)]
        # Disk 1 gives the joiner its room first; every disk but the last is full.
        sizes = [os.path.getsize(p) for p in portions]
        self.assertEqual(sizes[:3], [65536, 65536, 65536])
        self.assertEqual([free_bytes(d) for d in disks[:3]], [0, 0, 0])
        self.assertEqual(sum(sizes) - 4 * HEADER_SIZE, len(data))
        self.assertSameSet(portions)
        self.assertEqual(self.join(portions), data)
        # The checksum list on the last disk only.
        self.assertEqual([sorted(os.listdir(d)) for d in disks[1:]],
                         [["BIG.D01"], ["BIG.D02"], ["BIG.D03", "BIG.DAT.sfv"]])
        check_list(self, self.gather(disks), "BIG.DAT.sfv", "BIG.DAT", data)

    def test_full_disk_is_probed_and_reported_not_ready(self):
        full = self.disk("full", 64)
        with open(os.path.join(full, "FILLER"), "wb") as f:
            f.write(b"\0" * 65536)
        good = self.disk("good", 64 + joiner_on_disk() // 1024)
        data = pattern(30000)
        source = self.source("BIG.DAT", data)

        for button, code in ((IDABORT, 247), (IDRETRY, 0)):
            left_on_full = []

            def answer(box, boxes):
                if box == NOT_READY:
                    left_on_full.append(sorted(os.listdir(full)))
                    self.insert(good)
                    return button
                if len(boxes) == 1:
                    self.insert(full)
                return IDOK

            result, boxes = self.slice(source, "A:", 0, answer)
            self.assertEqual(result, code)
            expected = [prompt(1), NOT_READY] + ([prompt(1)] if button == IDRETRY else [])
            self.assertEqual(boxes, expected)
            # The probe's file was taken back.
            self.assertEqual(left_on_full, [["FILLER"]])
        self.assertEqual(read(os.path.join(good, "BIG.D00"))[HEADER_SIZE:], data)

    def test_old_set_on_the_disks_is_overwritten_after_one_question(self):
        # Disk 1 is full of an old set's first portion: the collision is found
        # by the space check's probe. Disk 2 holds another old portion, a
        # stale one of the same file (which goes with it) and a file that
        # only has a portion's name (which stays).
        disks = [self.disk("disk1", 64 + joiner_on_disk() // 1024), self.disk("disk2", 64)]
        with open(os.path.join(disks[0], "BIG.D00"), "wb") as f:
            f.write(b"old" * 21845)
        for name, old in (("BIG.D01", b"old"), ("BIG.D07", b"old"),
                          ("BIG.D08", common.header("BIG.DAT", 9) + b"old")):
            with open(os.path.join(disks[1], name), "wb") as f:
                f.write(old)
        data = pattern(100000, seed=5)
        source = self.source("BIG.DAT", data)

        def answer(box, boxes):
            if disk_number(box):
                self.insert(disks[disk_number(box) - 1])
            return IDOK

        code, boxes = self.slice(source, "A:", 0, answer)
        self.assertEqual(code, 0)
        self.assertEqual(boxes, [prompt(1), overwrite("BIG.D00"), prompt(2)])
        self.assertEqual(sorted(os.listdir(disks[1])), ["BIG.D01", "BIG.D07", "BIG.DAT.sfv"])
        portions = [os.path.join(disks[0], "BIG.D00"), os.path.join(disks[1], "BIG.D01")]
        self.assertSameSet(portions)
        self.assertEqual(self.join(portions), data)

    def test_disk_without_room_after_the_joiner_is_asked_for_again(self):
        # The joiner fits exactly and leaves no byte for the portion.
        tight = self.disk("tight", joiner_on_disk() // 1024)
        roomy = self.disk("roomy", 64 + joiner_on_disk() // 1024)
        data = pattern(20000)
        source = self.source("BIG.DAT", data)

        def answer(box, boxes):
            if box == NOT_READY:
                self.insert(roomy)
                return IDRETRY
            if len(boxes) == 1:
                self.insert(tight)
            return IDOK

        code, boxes = self.slice(source, "A:", 0, answer)
        self.assertEqual(code, 0)
        self.assertEqual(boxes, [prompt(1), NOT_READY, prompt(1)])
        self.assertEqual(os.listdir(tight), ["KELMORIX.EXE"]) # no empty portion
        self.assertEqual(sorted(os.listdir(roomy)), ["BIG.D00", "BIG.DAT.sfv", "KELMORIX.EXE"])
        self.assertEqual(read(os.path.join(roomy, "BIG.D00"))[HEADER_SIZE:], data)

    def test_joiner_that_does_not_fit_is_reported_and_not_left_cut_short(self):
        small = self.disk("small", 16)
        second = self.disk("second", 64)
        data = pattern(30000)
        source = self.source("BIG.DAT", data)

        def answer(box, boxes):
            if disk_number(box):
                self.insert(small if disk_number(box) == 1 else second)
            return IDOK

        code, boxes = self.slice(source, "A:", 0, answer)
        self.assertEqual(code, 0, boxes)
        self.assertEqual(boxes[:2], [prompt(1), Box(
            "Dorvane - Slice Error", NOTICE_STYLE,
            "Error writing A:KELMORIX.EXE = 112\nSlicing goes on, but the set will lack its joiner program.\n")])
        self.assertEqual(boxes[2:], [prompt(2)])
        self.assertEqual(os.listdir(small), ["BIG.D00"])
        self.assertEqual(os.path.getsize(os.path.join(small, "BIG.D00")), 16384)
        portions = [os.path.join(small, "BIG.D00"), os.path.join(second, "BIG.D01")]
        self.assertEqual(self.join(portions), data)

    def test_job_stops_before_a_101st_disk(self):
        # Disk 1: the joiner, whatever its size, and one 4 KiB unit more.
        first = self.disk("first", joiner_on_disk() // 1024 + 4)
        tiny = self.disk("tiny", 4)
        kept = self.folder("kept")
        room = [4096 - HEADER_SIZE] * 100
        data = pattern(sum(room) + 1)
        source = self.source("BIG.DAT", data)

        def answer(box, boxes):
            n = disk_number(box)
            if n >= 2:
                # The previous disk goes on the shelf; the same mount is the next disk.
                for name in os.listdir(tiny):
                    shutil.move(os.path.join(tiny, name), kept)
                self.insert(tiny)
            elif n == 1:
                self.insert(first)
            return IDOK

        code, boxes = self.slice(source, "A:", 0, answer)
        for name in os.listdir(tiny):
            shutil.move(os.path.join(tiny, name), kept)
        self.assertEqual(code, 239)
        self.assertEqual(boxes[:100], [prompt(n) for n in range(1, 101)])
        self.assertEqual(boxes[100:], [Box(
            "Dorvane - Slice Error", ERROR_STYLE,
            "%s needs more than 100 disks, and a slice set holds at most 100 portions. "
            "The disks written do not make a complete set.\n" % winpath(source))])
        portions = [os.path.join(first, "BIG.D00")] + [
            os.path.join(kept, "BIG.D%02d" % n) for n in range(1, 100)]
        self.assertEqual([os.path.getsize(p) - HEADER_SIZE for p in portions], room)
        self.assertEqual({read(p)[0] for p in portions}, {0}) # none claims to be the last

    def test_source_that_shrinks_is_a_read_error(self):
        disks = [self.disk("disk1", 64 + joiner_on_disk() // 1024), self.disk("disk2", 64)]
        data = pattern(100000)
        source = self.source("BIG.DAT", data)

        def answer(box, boxes):
            n = disk_number(box)
            if n == 2:
                os.truncate(source, 50000) # behind the job's back
            if n:
                self.insert(disks[n - 1])
            return IDOK

        code, boxes = self.slice(source, "A:", 0, answer)
        self.assertEqual(code, 242)
        self.assertEqual(boxes, [prompt(1), prompt(2), Box(
            "Dorvane - Slice Error", ERROR_STYLE, "Error reading %s = 38\n" % winpath(source))])
        self.assertEqual(read(os.path.join(disks[0], "BIG.D00"))[HEADER_SIZE:],
                         data[:65536 - HEADER_SIZE])


class ChecksumList(SliceTest):
    def slice_onto(self, disks, source):
        def answer(box, boxes):
            if disk_number(box):
                self.insert(disks[disk_number(box) - 1])
            return IDOK
        return self.slice(source, "A:", 0, answer)

    def test_last_bytes_go_with_the_list_where_the_list_would_not_fit(self):
        """The rest of the file fits on disk 1, but the list beside it would
        not: disk 1 keeps all but the last byte, which goes with the list on
        disk 2. With a unit less of data, disk 1 takes the rest and the list."""
        # Disk 1 holds the joiner and 64 KiB more, whatever the joiner's size.
        room = 65536 - HEADER_SIZE
        for size, layout in ((room, [["BIG.D00", "KELMORIX.EXE"], ["BIG.D01", "BIG.DAT.sfv"]]),
                             (room - slicer.allocation_unit,
                              [["BIG.D00", "BIG.DAT.sfv", "KELMORIX.EXE"], []])):
            with self.subTest(size=size):
                disks = [self.disk("a%d" % size, 64 + joiner_on_disk() // 1024),
                         self.disk("b%d" % size, 64)]
                data = pattern(size, seed=3)
                code, boxes = self.slice_onto(disks, self.source("BIG.DAT", data))
                self.assertEqual(code, 0, boxes)
                self.assertEqual(boxes, [prompt(1), prompt(2)] if layout[1] else [prompt(1)])
                self.assertEqual([sorted(os.listdir(d)) for d in disks], layout)
                if layout[1]:
                    self.assertEqual(os.path.getsize(os.path.join(disks[1], "BIG.D01")),
                                     HEADER_SIZE + 1)
                gathered = self.gather(disks)
                check_list(self, gathered, "BIG.DAT.sfv", "BIG.DAT", data)
                self.assertEqual(self.join([os.path.join(gathered, n) for n in sorted(
                    os.listdir(gathered)) if n.startswith("BIG.D")]), data)
                for folder in (gathered, "staged", "rebuilt"):
                    shutil.rmtree(os.path.join(self.dir, folder))

    def test_old_list_on_the_last_disk_is_replaced_only_with_consent(self):
        data = pattern(20000)
        source = self.source("BIG.DAT", data)
        for button, code in ((IDCANCEL, 246), (IDOK, 0)):
            with self.subTest(button=button):
                disk = self.disk("disk%d" % button, 64 + joiner_on_disk() // 1024)
                with open(os.path.join(disk, "BIG.DAT.sfv"), "wb") as f:
                    f.write(b"old list")

                def answer(box, boxes):
                    if box.title == OVERWRITE_TITLE:
                        return button
                    self.insert(disk)
                    return IDOK

                result, boxes = self.slice(source, "A:", 0, answer)
                self.assertEqual(result, code)
                self.assertEqual(boxes, [prompt(1), overwrite("BIG.DAT.sfv")])
                if code:
                    # Nothing of the set stays but the joiner; the old list is kept.
                    self.assertEqual(sorted(os.listdir(disk)), ["BIG.DAT.sfv", "KELMORIX.EXE"])
                    self.assertEqual(read(os.path.join(disk, "BIG.DAT.sfv")), b"old list")
                else:
                    check_list(self, disk, "BIG.DAT.sfv", "BIG.DAT", data)

    def test_folder_set_checked_by_cksfv(self):
        out = self.folder("out")
        data = pattern(250000, seed=8)
        code, boxes = self.slice(self.source("Big.Dat", data), winpath(out) + "\\", 100000,
                                 lambda box, boxes: IDOK)
        self.assertEqual(code, 0, boxes)
        self.assertEqual(sorted(os.listdir(out)),
                         ["Big.D00", "Big.D01", "Big.D02", "Big.Dat.sfv", "KELMORIX.EXE"])
        check_list(self, out, "Big.Dat.sfv", "Big.Dat", data)
        check_with_cksfv(self, out, "Big.Dat.sfv", "Big.D02")


class FolderOnFullDrive(SliceTest):
    def test_write_that_finds_no_room_is_an_error(self):
        target = self.disk("target", 64)
        source = self.source("BIG.DAT", pattern(150000))
        code, boxes = self.slice(source, winpath(target) + "\\", 100000, lambda box, boxes: IDOK)
        self.assertEqual(code, 241)
        self.assertEqual(boxes, [Box("Dorvane - Slice Error", ERROR_STYLE,
                                     "Error writing %s\\BIG.D00 = 112\n" % winpath(target))])
        self.assertEqual(read(os.path.join(target, "KELMORIX.EXE")), read(KELMORIX))


class OwnFolder(SliceTest):
    def test_files_named_like_the_set_beside_the_source_stay(self):
        """Each sliced into its own folder, by its path and through a ".."
        detour, OK to every box: refused before any question (235), and
        every file is as it was. On a disk too, where the source is disk 1's
        portion 00 in another drive's spelling."""
        src = self.folder("src")
        files = {"X.D00": pattern(3000), "REPORT.000": pattern(3001), "KELMORIX.EXE": pattern(3002)}
        files.update(("REPORT.%03d" % n, b"report %d" % n) for n in range(1, 100))
        for name, data in files.items():
            with open(os.path.join(src, name), "wb") as f:
                f.write(data)
        disk = self.disk("disk1", 64)
        shutil.copy(os.path.join(src, "X.D00"), disk)
        self.insert(disk)
        cases = [(os.path.join(src, name), folder, what)
                 for name, what in (("X.D00", "The portion"), ("REPORT.000", "The portion"),
                                    ("KELMORIX.EXE", "The joiner program"))
                 for folder in (winpath(src) + "\\", winpath(self.dir) + "\\src\\..\\src\\")]
        cases.append((os.path.join(disk, "X.D00"), "A:", "The portion"))
        for source, destination, what in cases:
            with self.subTest(source=source, destination=destination):
                code, boxes = self.slice(source, destination, 0 if destination == "A:" else 1000,
                                         lambda box, boxes: IDOK)
                self.assertEqual(code, 235, boxes)
                clash = destination + os.path.basename(source)
                self.assertEqual(boxes[-1], Box(
                    "Dorvane - Slice Error", ERROR_STYLE,
                    "%s %s is the source %s itself: the set would be written over it. Nothing was "
                    "deleted or written; choose another destination folder.\n"
                    % (what, clash, winpath(source))))
                self.assertFalse([box for box in boxes if box.title == OVERWRITE_TITLE])
                self.assertEqual(sorted(os.listdir(src)), sorted(files))
                for name, data in files.items():
                    self.assertEqual(read(os.path.join(src, name)), data, name)
                self.assertEqual(os.listdir(disk), ["X.D00"])
                self.assertEqual(read(os.path.join(disk, "X.D00")), files["X.D00"])


if __name__ == "__main__":
    unittest.main()
