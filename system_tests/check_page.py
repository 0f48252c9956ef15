#!/usr/bin/env python3
"""Checks zelk_suite's coverage pictures as a reader's browser and CI job page take them.

  check_page.py html FILE      well-formed HTML whose elements all close in order, that opens
                               from disk and loads nothing: no script, stylesheet link, image,
                               frame, external href or src, CSS url() or @import
  check_page.py markdown FILE  one Mermaid flowchart whose edges each have one linkStyle,
                               numbered as Mermaid counts them, and tables whose rows all have
                               the header's number of cells
"""
import html.parser
import re
import sys

VOID = {"area", "base", "br", "col", "embed", "hr", "img", "input", "link", "meta", "source",
        "track", "wbr"}
LOADING = {"script", "link", "img", "iframe", "frame", "object", "embed", "audio", "video",
           "source", "image", "use", "feimage"}


class Page(html.parser.HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.open = []
        self.problems = []
        self.seen = set()
        self.doctype = False

    def handle_decl(self, decl):
        self.doctype = self.doctype or decl.lower() == "doctype html"

    def check(self, tag, attrs):
        self.seen.add(tag)
        if tag in LOADING:
            self.problems.append(f"<{tag}> loads something")
        for name, value in attrs:
            value = value or ""
            if name in ("src", "href", "xlink:href", "srcset", "data", "poster") and \
                    not value.startswith("#"):
                self.problems.append(f"<{tag} {name}={value!r}> points outside the page")
            if name == "style" and ("url(" in value or "@import" in value):
                self.problems.append(f"<{tag} style> loads something")

    def handle_starttag(self, tag, attrs):
        self.check(tag, attrs)
        if tag not in VOID:
            self.open.append((tag, self.getpos()))

    def handle_startendtag(self, tag, attrs):
        self.check(tag, attrs)

    def handle_endtag(self, tag):
        if tag in VOID:
            return
        if not self.open or self.open[-1][0] != tag:
            expected = self.open[-1] if self.open else ("nothing", self.getpos())
            self.problems.append(f"</{tag}> at {self.getpos()} closes {expected}")
            return
        self.open.pop()

    def handle_data(self, data):
        if self.open and self.open[-1][0] == "style" and ("url(" in data or "@import" in data):
            self.problems.append("the style sheet loads something")


def check_html(path):
    text = open(path, encoding="utf-8").read()
    page = Page()
    page.feed(text)
    page.close()
    problems = page.problems
    if not page.doctype:
        problems.append("no <!DOCTYPE html>")
    if page.open:
        problems.append(f"never closed: {page.open}")
    for needed in ("html", "head", "title", "body", "svg", "table"):
        if needed not in page.seen:
            problems.append(f"no <{needed}>")
    if "<?xml" in text or "<!DOCTYPE svg" in text:
        problems.append("the inline SVG keeps a document prologue of its own")
    return problems


def check_markdown(path):
    lines = open(path, encoding="utf-8").read().split("\n")
    problems = []
    fences = [i for i, line in enumerate(lines) if line.startswith("```")]
    if len(fences) != 2 or lines[fences[0]] != "```mermaid":
        return [f"expected one ```mermaid block, fences at {fences}"]
    diagram = lines[fences[0] + 1:fences[1]]
    if not diagram or diagram[0] not in ("flowchart TD", "flowchart LR"):
        problems.append(f"the block is not a flowchart: {diagram[:1]}")
    nodes = set()
    edges = 0
    styles = []
    for line in diagram[1:]:
        if m := re.fullmatch(r"    (S\d+)\(\[\"[^\"]+\"\]\)", line):
            nodes.add(m.group(1))
        elif m := re.fullmatch(r"    (S\d+) -->\|\"[^\"|]+\"\| (S\d+)", line):
            if m.group(1) not in nodes or m.group(2) not in nodes:
                problems.append(f"an edge between undeclared states: {line}")
            edges += 1
        elif m := re.fullmatch(r"    linkStyle (\d+) stroke:#[0-9a-f]{6},stroke-width:\d+px"
                               r"(,stroke-dasharray:\d+ \d+)?", line):
            styles.append(int(m.group(1)))
        else:
            problems.append(f"a line Mermaid may not take: {line!r}")
    if edges == 0 or styles != list(range(edges)):
        problems.append(f"{edges} edges but link styles {styles}")
    # Tables: a header, a delimiter row, rows with as many cells.
    cells = lambda row: len(re.split(r"(?<!\\)\|", row.strip())) - 2
    i = 0
    while i < len(lines):
        if lines[i].startswith("|") and i + 1 < len(lines) and lines[i + 1].startswith("|---"):
            width = cells(lines[i])
            if cells(lines[i + 1]) != width:
                problems.append(f"line {i + 2}: the delimiter row does not fit the header")
            i += 2
            while i < len(lines) and lines[i].startswith("|"):
                if cells(lines[i]) != width:
                    problems.append(f"line {i + 1}: {cells(lines[i])} cells, not {width}")
                i += 1
        else:
            i += 1
    return problems


if __name__ == "__main__":
    kind, path = sys.argv[1], sys.argv[2]
    found = check_html(path) if kind == "html" else check_markdown(path)
    for problem in found:
        print(f"{path}: {problem}")
    sys.exit(1 if found else 0)
