#!/usr/bin/python3
"""Reads an HTML report page with a strict HTML5 parser (html5lib) and
prints what it holds as one JSON object, for the tests to check.

Exit status 1, with the reasons on standard error, when the page is not
valid HTML5 or breaks a rule of the report: an id used twice, a link to an
id that is not there, a reference to anything outside the page, or a style
sheet or script whose digest the content security policy does not name.
Exit status 2 when html5lib is missing."""
import base64
import hashlib
import json
import re
import sys

try:
    import html5lib
except ImportError:
    sys.exit(2)


def local(tag):
    return tag.split("}")[-1] if isinstance(tag, str) else ""


def text_of(element):
    return "".join(element.itertext())


def classes(element):
    return element.get("class", "").split()


def main():
    with open(sys.argv[1], "rb") as page:
        raw = page.read()
    problems = []
    parser = html5lib.HTMLParser(strict=True, namespaceHTMLElements=False)
    try:
        document = parser.parse(raw)
    except html5lib.html5parser.ParseError as error:
        print("not valid HTML5: %s at %s" % (error, parser.errors[:3]), file=sys.stderr)
        return 1
    if not raw.startswith(b"<!DOCTYPE html>"):
        problems.append("no <!DOCTYPE html> first")

    elements = list(document.iter())
    tags = {}
    ids = {}
    for element in elements:
        tag = local(element.tag)
        tags[tag] = tags.get(tag, 0) + 1
        if "id" in element.attrib:
            ids.setdefault(element.get("id"), []).append(element)
    problems += ["id %r used %d times" % (i, len(e)) for i, e in ids.items() if len(e) > 1]

    # Links go to ids of the page; nothing is loaded from outside it.
    for element in elements:
        for name, value in element.attrib.items():
            name = local(name)
            if name in ("href", "src", "srcset", "action", "formaction", "poster", "data",
                        "background", "ping", "manifest"):
                if not value.startswith("#"):
                    problems.append("%s=%r refers outside the page" % (name, value))
                elif value[1:] not in ids:
                    problems.append("%s=%r has no target" % (name, value))
            if name.startswith("on"):
                problems.append("event handler attribute %s" % name)
            for target in re.findall(r"url\(([^)]*)\)", value):
                if not target.startswith("#") or target[1:] not in ids:
                    problems.append("url(%s) is not an id of the page" % target)

    # The policy names the digests of the page's own style sheet and script.
    policy = ""
    for meta in document.iter("meta"):
        if meta.get("http-equiv", "").lower() == "content-security-policy":
            policy = meta.get("content", "")
    if "default-src 'none'" not in policy:
        problems.append("no content security policy that denies everything by default")
    for tag in ("style", "script"):
        for element in document.iter(tag):
            digest = base64.b64encode(hashlib.sha256((element.text or "").encode()).digest())
            if ("'sha256-%s'" % digest.decode()) not in policy:
                problems.append("the %s's digest sha256-%s is not in the policy" % (tag, digest.decode()))

    def svg_marks(svg, css_class, tag=None):
        found = []
        for element in svg.iter():
            if css_class in classes(element) and (tag is None or local(element.tag) == tag):
                title = [t for t in element.iter() if local(t.tag) == "title"]
                found.append(text_of(title[0]) if title else "")
        return found

    timelines, maps = [], []
    for svg in elements:
        if local(svg.tag) != "svg":
            continue
        if "timeline" in classes(svg):
            timelines.append({
                "writes": svg_marks(svg, "w", "rect"),
                "refused": svg_marks(svg, "rf"),
                "errors": svg_marks(svg, "error"),
                "checksums": svg_marks(svg, "checksum"),
                "resets": svg_marks(svg, "reset"),
                "text": " ".join(text_of(t) for t in svg.iter() if local(t.tag) == "text"),
            })
        elif "flash-map" in classes(svg):
            maps.append({
                "written": svg_marks(svg, "fm-w"),
                "rewritten": svg_marks(svg, "fm-rw"),
                "gaps": svg_marks(svg, "fm-gap"),
                "refused": svg_marks(svg, "rf"),
            })

    def entries(section_id):
        section = ids.get(section_id, [None])[0]
        if section is None:
            return []
        return [{"id": e.get("id"), "error": "err" in classes(e), "text": text_of(e)}
                for e in section.iter() if "entry" in classes(e)]

    rows = []
    table = ids.get("error-table", [None])[0]
    if table is not None:
        for row in table.iter("tr"):
            if row.get("id"):
                rows.append({"id": row.get("id"), "text": text_of(row),
                             "links": [a.get("href") for a in row.iter("a")]})

    result = {
        "tags": tags,
        "ids": sorted(ids),
        "classes_of": {i: classes(e[0]) for i, e in ids.items()},
        "timelines": timelines,
        "flash_maps": maps,
        "error_rows": rows,
        "excerpt_entries": entries("excerpts"),
        "listing_entries": entries("listing"),
        "sections": {i: text_of(e[0]) for i, e in ids.items() if local(e[0].tag) == "section"},
        "title": text_of(next(document.iter("title"))),
        "problems": problems,
    }
    json.dump(result, sys.stdout)
    if problems:
        print("\n".join(problems), file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
