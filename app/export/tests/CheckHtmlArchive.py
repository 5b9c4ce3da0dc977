"""Reads every page of an HTML archive with html5lib (an independent HTML5 parser) and prints, as JSON,
what a browser would find: each page's title, text, links and pictures (resolved to files), and every
problem: a parse error, markup that runs or loads (script, event attributes, frames, forms, remote
or script links), or a link or picture that does not resolve to a file inside the folder."""
import json
import os
import sys
import urllib.parse

import html5lib

root = os.path.realpath(sys.argv[1])
RUNNING = {"script", "iframe", "frame", "object", "embed", "form", "base", "applet", "svg", "math", "audio",
           "video", "source", "track", "link"}
pages = {}
problems = []
for folder, _, files in os.walk(root):
    for name in files:
        if not name.endswith(".html"):
            continue
        path = os.path.join(folder, name)
        rel = os.path.relpath(path, root)
        with open(path, "rb") as f:
            data = f.read()
        parser = html5lib.HTMLParser(strict=False, namespaceHTMLElements=False)
        doc = parser.parse(data, transport_encoding="utf-8")
        for pos, code, info in parser.errors:
            problems.append("%s: parse error %s %s at %s" % (rel, code, info, pos))
        if not data.startswith(b"<!DOCTYPE html>"):
            problems.append("%s: no doctype" % rel)
        page = {"title": "", "text": "", "links": [], "pictures": []}
        for el in doc.iter():
            tag = el.tag if isinstance(el.tag, str) else ""
            if tag in RUNNING and not (tag == "link" and el.get("rel") == "stylesheet"):
                problems.append("%s: <%s>" % (rel, tag))
            if tag == "meta" and el.get("http-equiv"):
                problems.append("%s: meta http-equiv" % rel)
            for attr, value in el.attrib.items():
                if attr.lower().startswith("on"):
                    problems.append("%s: event attribute %s" % (rel, attr))
                if attr == "style" and ("url" in value or "expression" in value):
                    problems.append("%s: style loads %s" % (rel, value))
                if attr in ("href", "src", "srcset", "action", "formaction", "poster", "background"):
                    url = urllib.parse.urlsplit(value)
                    if url.scheme or url.netloc or attr not in ("href", "src"):
                        problems.append("%s: %s=%s leaves the folder" % (rel, attr, value))
                        continue
                    target = os.path.realpath(os.path.join(folder, urllib.parse.unquote(url.path)))
                    if not target.startswith(root + os.sep) or not os.path.isfile(target):
                        problems.append("%s: %s=%s does not resolve inside" % (rel, attr, value))
                        continue
                    entry = os.path.relpath(target, root)
                    if tag == "img":
                        page["pictures"].append(entry)
                    elif tag == "a":
                        page["links"].append(entry)
            if tag == "title":
                page["title"] = el.text or ""
        body = doc.find("body")
        page["text"] = "".join(body.itertext()) if body is not None else ""
        pages[rel] = page
json.dump({"pages": pages, "problems": problems}, sys.stdout, ensure_ascii=False)
