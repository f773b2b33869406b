"""The help file's topics as one HTML page (dorvane.htm), for the Windows
that have no help viewer: scripts/write-help parses the source and calls
help_page() with the fonts and marks its runs use."""

import collections
import html

# The help file's fonts of a run that the page shows differently, and the
# two runs that are no text.
PageMarks = collections.namedtuple("PageMarks", "body fixed bold tab line_break")

# The same topics for a browser: one page, the contents topic first, each
# topic under an anchor of its context name, the jumps as links to those
# anchors. Self-contained (the style inline, no scripts, nothing fetched),
# and plain enough for the oldest browser a Windows without the viewer has.
# The page is UTF-8, the source's own encoding, and says so.

PAGE_STYLE = """
body { font-family: Arial, Helvetica, sans-serif; font-size: 15px; line-height: 1.45;
       color: #1a1a1a; background: #fff; margin: 0; padding: 1em 2em 3em; }
.page { max-width: 46em; }
h1 { font-size: 1.7em; margin: 0.2em 0 0.6em; padding-bottom: 0.2em; border-bottom: 2px solid #2b5797; }
h2 { font-size: 1.35em; margin: 0 0 0.5em; color: #2b5797; }
h3 { font-size: 1em; margin: 1.2em 0 0.3em; }
.topic { border-top: 1px solid #c8c8c8; margin-top: 2.2em; padding-top: 1em; }
p { margin: 0.5em 0; }
ul { margin: 0.3em 0; padding-left: 1.6em; }
li { margin: 0.25em 0; }
code, pre { font-family: "Courier New", Courier, monospace; font-size: 0.95em; }
pre { background: #f3f3f3; border-left: 3px solid #c8c8c8; margin: 0.5em 0 0.5em 1.5em;
      padding: 0.4em 0.8em; overflow: auto; }
dl { margin: 0.4em 0; }
dt { font-weight: bold; margin-top: 0.5em; }
dd { margin: 0.1em 0 0 2em; }
dl.short dt { float: left; clear: left; width: 3em; margin-top: 0.15em; }
dl.short dd { margin: 0 0 0 4em; padding-top: 0.15em; }
a { color: #1c4fa0; }
.back { font-size: 0.9em; margin-top: 1em; }
.footer { border-top: 1px solid #c8c8c8; margin-top: 2.5em; padding-top: 0.5em;
          font-size: 0.85em; color: #555; }
"""

# Paragraph kinds in a run make one list: the tags around them and each one.
PAGE_LISTS = {"item": ("<ul>", "</ul>"), "term": ('<dl class="short">', "</dl>"),
              "entry": ("<dl>", "</dl>")}


def page_text(runs, anchors, plain, marks):
    """A paragraph's runs as HTML: the fixed-pitch font as code, bold where
    the paragraph is not bold already, jumps as links to their topic's
    anchor (context names match whatever their case)."""
    out = []
    for font, text, target in runs:
        pieces = text if isinstance(text, list) else [text]
        piece = "<br>".join(html.escape(p) for p in pieces)
        if font == marks.fixed and plain != marks.fixed:
            piece = "<code>%s</code>" % piece
        elif font == marks.bold and plain != marks.bold:
            piece = "<strong>%s</strong>" % piece
        if target:
            piece = '<a href="#%s">%s</a>' % (html.escape(anchors[target.lower()]), piece)
        out.append(piece)
    return "".join(out)


def page_paragraph(kind, runs, anchors, marks):
    if kind == "example":
        return "<pre>%s</pre>" % "\n".join(html.escape(line) for line in runs[0][1])
    if kind == "heading":
        return "<h3>%s</h3>" % page_text(runs, anchors, marks.bold, marks)
    if kind == "item":  # the bullet and its tab are the list's own
        return "<li>%s</li>" % page_text(runs[2:], anchors, marks.body, marks)
    if kind in ("term", "entry"):
        split = next(n for n, run in enumerate(runs) if run in (marks.tab, marks.line_break))
        return "<dt>%s</dt><dd>%s</dd>" % (page_text(runs[:split], anchors, marks.bold, marks),
                                           page_text(runs[split + 1:], anchors, marks.body, marks))
    return "<p>%s</p>" % page_text(runs, anchors, marks.body, marks)


def help_page(settings, topics, marks):
    """The whole page, as UTF-8 bytes."""
    anchors = {t.name.lower(): t.name for t in topics}
    lines = ["<!DOCTYPE html>", '<html lang="en">', "<head>",
             '<meta http-equiv="Content-Type" content="text/html; charset=utf-8">',
             "<title>%s</title>" % html.escape(settings["title"]),
             "<style>%s</style>" % PAGE_STYLE, "</head>", "<body>", '<div class="page">']
    for number, topic in enumerate(topics):
        lines.append('<div class="%s" id="%s">' % ("contents" if number == 0 else "topic",
                                                   html.escape(topic.name)))
        lines.append("<h%d>%s</h%d>" % (1 if number == 0 else 2, html.escape(topic.title),
                                        1 if number == 0 else 2))
        open_list = None
        for kind, runs in topic.paragraphs[1:]:  # the title is above
            tags = PAGE_LISTS.get(kind)
            if open_list and open_list != tags:
                lines.append(open_list[1])
                open_list = None
            if tags and not open_list:
                lines.append(tags[0])
                open_list = tags
            lines.append(page_paragraph(kind, runs, anchors, marks))
        if open_list:
            lines.append(open_list[1])
        if number:
            lines.append('<p class="back"><a href="#%s">Back to the contents</a></p>'
                         % html.escape(topics[0].name))
        lines.append("</div>")
    if "copyright" in settings:
        lines.append('<div class="footer">%s</div>' % html.escape(settings["copyright"]))
    lines += ["</div>", "</body>", "</html>", ""]
    return "\n".join(lines).encode("utf-8")
