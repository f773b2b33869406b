"""scripts/write-help read back without the viewer: the directory finds
every internal file, the topic chain holds every topic and paragraph in
order across packed blocks, and the context names and titles point at the
topics' starts. The HTML page parsed back: every topic an anchor, every
jump a link that lands, the text as written. Faults in the source are
refused and leave no file."""

import html.parser
import os
import random
import struct
import subprocess
import sys
import tempfile
import types
import unittest

TOP = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
WRITER_PATH = os.path.join(TOP, "scripts", "write-help")
SOURCE = os.path.join(TOP, "resources", "help", "dorvane-help.txt")
W = types.ModuleType("write_help")
W.__file__ = WRITER_PATH
with open(WRITER_PATH) as f:
    exec(compile(f.read(), WRITER_PATH, "exec"), W.__dict__)

FILES = ("|CONTEXT", "|FONT", "|SYSTEM", "|TOPIC", "|TTLBTREE")
# Topic blocks: 4096 bytes in the file, a 12-byte header, data that unpacks
# to 16384 bytes at most; a position counts in unpacked blocks.
BLOCK, HEADER, UNPACKED = 4096, 12, 16384


def zstring(data, at):
    end = data.index(b"\0", at)
    return data[at:end], end + 1


def signed_long(data, at):
    return struct.unpack_from("<i", data, at)[0], at + 4


def long_after(data, at):
    return at + 4


def string_after(data, at):
    return zstring(data, at)[1]


def find(data, tree, key, read_key, skip_value):
    """Where the value of key lies in the B+ tree at tree, from its root
    down through its index pages; None if it is not there."""
    page_size = struct.unpack_from("<H", data, tree + 4)[0]
    root, levels = struct.unpack_from("<h", data, tree + 26)[0], struct.unpack_from("<h", data, tree + 32)[0]
    pages, page = tree + 38, root
    for _ in range(levels - 1):
        base = pages + page * page_size
        count, page = struct.unpack_from("<hh", data, base + 2)
        at = base + 6
        for _ in range(count):
            first, at = read_key(data, at)
            if first > key:
                break
            page = struct.unpack_from("<h", data, at)[0]
            at += 2
    base = pages + page * page_size
    at = base + 8
    for _ in range(struct.unpack_from("<h", data, base + 2)[0]):
        found, at = read_key(data, at)
        if found >= key:  # the keys are in order: no need to look further
            return at if found == key else None
        at = skip_value(data, at)
    return None


def unpack_block(packed):
    out = bytearray()
    at = 0
    while at < len(packed) and len(out) < UNPACKED:
        flags, at = packed[at], at + 1
        for bit in range(8):
            if at >= len(packed):
                break
            if flags >> bit & 1:
                word = struct.unpack_from("<H", packed, at)[0]
                at += 2
                start = len(out) - (word & 0xFFF) - 1
                for n in range(start, start + (word >> 12) + 3):
                    out.append(out[n])
            else:
                out.append(packed[at])
                at += 1
    return bytes(out[:UNPACKED])


class HelpFile:
    """A written help file, taken apart."""

    def __init__(self, data):
        self.data = data
        magic, directory, _, size = struct.unpack_from("<IiiI", data, 0)
        assert magic == W.HELP_MAGIC and size == len(data), (hex(magic), size, len(data))
        self.files = {}
        for name in FILES:
            at = find(data, directory + 9, name.encode(), zstring, long_after)
            assert at is not None, name + " is not in the directory"
            start = struct.unpack_from("<I", data, at)[0]
            reserved, used = struct.unpack_from("<II", data, start)
            assert reserved == used + 9 and start + reserved <= len(data), name
            self.files[name] = (start + 9, data[start + 9:start + 9 + used])

    def system(self):
        body = self.files["|SYSTEM"][1]
        head = struct.unpack_from("<HHHIH", body, 0)
        records, at = {}, 12
        while at < len(body):
            kind, size = struct.unpack_from("<HH", body, at)
            records[kind] = body[at + 4:at + 4 + size]
            at += 4 + size
        return head, records

    def links(self):
        """Every link of the topic chain: (position, type, LinkData1, LinkData2)."""
        topic = self.files["|TOPIC"][1]
        blocks = [unpack_block(topic[n + HEADER:n + BLOCK])
                  for n in range(0, len(topic), BLOCK)]
        links, pos, previous = [], HEADER, W.NONE
        while pos != W.NONE:
            block, at = divmod(pos - HEADER, UNPACKED)
            data = blocks[block]
            size, size2, back, following, size1, kind = struct.unpack_from("<IIIIIB", data, at)
            assert back == previous and at + size <= len(data), (pos, back, previous)
            if not any(link[0] >= HEADER + block * UNPACKED for link in links):
                first = struct.unpack_from("<I", topic, block * BLOCK + 4)[0]
                assert first == pos, "block %d's first link is not at %d" % (block, first)
            links.append((pos, kind, data[at + 21:at + size1], data[at + size1:at + size]))
            previous, pos = pos, following
        return links


def write(source):
    """The writer's run, its help file and its page (None where not written)."""
    with tempfile.TemporaryDirectory() as folder:
        with open(os.path.join(folder, "help.txt"), "w", encoding="utf-8") as f:
            f.write(source)
        outputs = [os.path.join(folder, name) for name in ("help.hlp", "help.htm")]
        run = subprocess.run([sys.executable, WRITER_PATH, f.name] + outputs, capture_output=True,
                             text=True, timeout=120)
        return (run, *(read(out) if os.path.exists(out) else None for out in outputs))


def read(path):
    with open(path, "rb") as f:
        return f.read()


# What the page may hold: no scripts, frames, images or anything fetched.
PAGE_TAGS = {"html", "head", "meta", "title", "style", "body", "div", "h1", "h2", "h3", "p", "ul",
             "li", "dl", "dt", "dd", "pre", "code", "strong", "a", "br"}


class Page(html.parser.HTMLParser):
    """A written page taken apart: its tags, ids in order, links with the id
    of the topic they sit in, and its text with the references resolved."""

    def __init__(self, data):
        super().__init__(convert_charrefs=True)
        self.tags, self.ids, self.links, self.text, self.topic = set(), [], [], [], None
        self.feed(data.decode("utf-8"))
        self.close()

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        self.tags.add(tag)
        if "id" in attrs:
            self.ids.append(attrs["id"])
            self.topic = attrs["id"]
        if tag == "a":
            self.links.append((self.topic, attrs["href"]))

    def handle_data(self, data):
        self.text.append(data)


def long_source(paragraphs):
    pick = random.Random(7)
    words = "slice portion disk folder joiner header rebuild number name size".split()
    texts = ["Paragraph %d: %s." % (n, " ".join(pick.choice(words) + str(pick.randrange(99))
                                                 for _ in range(12))) for n in range(paragraphs)]
    return "@title Long\n== first: First\nShort.\n== long: A long topic\n" + "\n\n".join(texts), texts


class Structure(unittest.TestCase):
    def check(self, source):
        settings, topics = W.parse(source)
        run, data, _ = write(source)
        self.assertEqual(run.returncode, 0, run.stderr)
        help_file = HelpFile(data)
        (magic, minor, _, _, flags), records = help_file.system()
        self.assertEqual((magic, minor, flags), (W.SYSTEM_MAGIC, 21, 4))
        self.assertEqual(records[W.SYS_TITLE], settings["title"].encode() + b"\0")
        links = help_file.links()
        headers = [(pos, data2) for pos, kind, _, data2 in links if kind == W.TOPIC_HEADER_RECORD]
        self.assertEqual([d.split(b"\0")[0].decode() for _, d in headers],
                         [t.title for t in topics])
        offsets = [(pos - HEADER) // UNPACKED * W.OFFSET_BLOCK for pos, _ in headers]
        self.assertEqual(struct.unpack("<I", records[W.SYS_CONTENTS])[0], offsets[0])
        context, titles = help_file.files["|CONTEXT"][0], help_file.files["|TTLBTREE"][0]
        for topic, offset in zip(topics, offsets):
            at = find(help_file.data, context, W.signed(W.context_hash(topic.name)), signed_long,
                      long_after)
            self.assertIsNotNone(at, topic.name)
            self.assertEqual(struct.unpack_from("<I", help_file.data, at)[0], offset, topic.name)
            at = find(help_file.data, titles, offset, signed_long, string_after)
            self.assertEqual(zstring(help_file.data, at)[0], topic.title.encode(W.CODE_PAGE))
        return links

    def test_the_shipped_help_file(self):
        with open(SOURCE, encoding="utf-8") as f:
            self.check(f.read())

    def test_a_topic_across_many_blocks_keeps_every_paragraph_in_order(self):
        source, texts = long_source(300)
        links = self.check(source)
        blocks = {(pos - HEADER) // UNPACKED for pos, *_ in links}
        self.assertGreater(len(blocks), 3)
        shown = b"".join(data2.replace(b"\0", b"") for _, kind, _, data2 in links
                         if kind == W.DISPLAY_RECORD)
        self.assertEqual(shown.decode(), "First" + "Short." + "A long topic" + "".join(texts))

    def test_faults_in_the_source_leave_no_file(self):
        good = "@title T\n== a: A\nText [[b|to b]].\n== b: B\nMore.\n"
        cases = [
            ("jump to no topic", good.replace("[[b|", "[[c|"), "c, which is no topic"),
            ("repeated name", good.replace("== b:", "== A:"), "line 4: a second topic"),
            ("text first", "@title T\nStray.\n" + good[8:], "line 2: text before"),
            ("no title", good[8:], "no @title"),
            ("outside the code page", good.replace("More.", "More \u2192"), "code page"),
            ("bad name", good.replace("== b:", "== b c:"), "line 4: a topic is"),
        ]
        for name, source, message in cases:
            with self.subTest(name):
                run, data, page = write(source)
                self.assertEqual(run.returncode, 1)
                self.assertIn(message, run.stderr)
                self.assertEqual((data, page), (None, None))


class HelpPage(unittest.TestCase):
    def test_the_shipped_page_has_every_topic_and_every_jump(self):
        with open(SOURCE, encoding="utf-8") as f:
            source = f.read()
        _, topics = W.parse(source)
        run, _, data = write(source)
        self.assertEqual(run.returncode, 0, run.stderr)
        page = Page(data)
        self.assertLessEqual(page.tags, PAGE_TAGS)
        self.assertIn(b"charset=utf-8", data[:data.index(b"</head>")])
        # Each topic an anchor, the contents first.
        self.assertEqual(page.ids, [t.name for t in topics])
        for _, href in page.links:
            self.assertIn(href[1:], page.ids, href)
        contents = {href for topic, href in page.links if topic == topics[0].name}
        self.assertLessEqual({"#" + t.name for t in topics[1:]}, contents)
        # The source's jumps in order, each from its own topic; every other
        # topic ends with a way back to the contents.
        jumps = []
        for number, topic in enumerate(topics):
            jumps += [(topic.name, run[2].lower()) for _, runs in topic.paragraphs for run in runs
                      if run not in (W.TAB, W.BREAK) and run[2]]
            jumps += [(topic.name, topics[0].name)] if number else []
        self.assertEqual([(topic, href[1:].lower()) for topic, href in page.links], jumps)

    def test_text_is_escaped_wherever_it_stands(self):
        cases = [  # (source line, text the page shows)
            ("Fish & <b>chips</b> \"q\" 'a'.", "Fish & <b>chips</b> \"q\" 'a'."),
            ("**x < y & z**", "x < y & z"),
            ("`if (a<b && c>\"d\")`", 'if (a<b && c>"d")'),
            ("[[B|to <b> & \"b\"]]", 'to <b> & "b"'),
            ("* item > & <i>", "item > & <i>"),
            ("x<&y :: means \"&amp;\"", "x<&y"),
            ("> example <tag> & &lt;", "example <tag> & &lt;"),
            ("Caf\u00e9 \u2014 na\u00efve \u20ac", "Caf\u00e9 \u2014 na\u00efve \u20ac"),
        ]
        source = ("@title T & <T>\n@copyright <c> & 'c'\n== a: A <&> \"a\"\n" +
                  "\n\n".join(line for line, _ in cases) + "\n== b: B\nEnd.\n")
        run, _, data = write(source)
        self.assertEqual(run.returncode, 0, run.stderr)
        page = Page(data)
        self.assertLessEqual(page.tags, PAGE_TAGS)
        self.assertEqual(page.links[0], ("a", "#b"))  # the jump lands whatever its case
        for line, shown in cases + [("@title", "T & <T>"), ("@copyright", "<c> & 'c'"),
                                    ("topic title", 'A <&> "a"')]:
            with self.subTest(line):
                self.assertIn(shown, page.text)


if __name__ == "__main__":
    unittest.main()
