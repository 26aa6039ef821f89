#!/usr/bin/env python3
"""Writes the module's docstrings, taken from the API reference, as a C++ header.

    api_docs.py API_MD HEADER

docs/api.md gives each class a "## Class" section and each member a
"### Member" or "### Method(args)" heading inside it. The header holds one
struct per class with the text of each member's section as a static member
of the same name, and the class's own text (up to its first member) as
`section`, so a binding that names a member the reference does not document
fails to compile.
"""
import re
import sys

HEADING = re.compile(r"^(#{2,3})\s+(\w+)")
DELIMITER = "orvo"


def sections(text):
    """{class: {"section": text, member: text, ...}}, in the reference's order."""
    classes, current, name, lines = {}, None, None, []

    def flush():
        if current is not None:
            body = "\n".join(lines).strip("\n")
            if name in current:
                raise ValueError("%s is documented twice" % name)
            current[name] = body

    for line in text.splitlines():
        match = HEADING.match(line)
        if match:
            flush()
            lines = []
            if len(match.group(1)) == 2:
                # Only sections named like a class hold members; "General rules" holds none.
                current = classes.setdefault(match.group(2), {}) if line[3:].strip().isidentifier() else None
                name = "section"
            else:
                name = match.group(2)
                if name == "section":
                    raise ValueError("a member may not be called 'section'")
            continue
        lines.append(line)
    flush()
    return classes


def literal(text):
    if ")%s\"" % DELIMITER in text:
        raise ValueError("the text holds the literal's delimiter")
    return 'R"%s(%s)%s"' % (DELIMITER, text, DELIMITER)


def header(classes):
    out = ["// Made from docs/api.md by python/api_docs.py at build time; edit the reference instead.",
           "#pragma once", "", "namespace orvotrainer::docs {"]
    for cls, members in classes.items():
        out.append("struct %s {" % cls)
        out += ["  static constexpr const char* %s = %s;" % (m, literal(t)) for m, t in members.items()]
        out.append("};")
    out.append("}  // namespace orvotrainer::docs")
    return "\n".join(out) + "\n"


def main(source, target):
    with open(source, encoding="utf-8") as f:
        text = header(sections(f.read()))
    with open(target, "w", encoding="utf-8") as f:
        f.write(text)


if __name__ == "__main__":
    try:
        main(*sys.argv[1:])
    except (TypeError, ValueError) as problem:
        sys.exit("api_docs.py: %s" % problem)
