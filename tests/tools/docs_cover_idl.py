#!/usr/bin/env python3
"""Every member of the three interfaces has its heading in docs/api.md.

The reference gives each class a "## Echo" section and each member a
"### Name" heading in it: "### Port" for a property, "### SetSwitches(switches)"
for a method. The members come from the interface description itself, so a
member added, renamed or removed there without the reference following it
fails here, naming it. A heading in a class section that names no member
fails too: it documents something the class does not have.

Usage: docs_cover_idl.py [IDL API_MD]  (defaults: the repository's files)
"""
import os
import re
import sys

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
IDL = os.path.join(ROOT, "server", "resources", "OrvoTrainer.idl")
API = os.path.join(ROOT, "docs", "api.md")

INTERFACE = re.compile(r"interface\s+(\w+)\s*:\s*IDispatch\s*\{(.*?)\};", re.S)
MEMBER = re.compile(r"\[([^\]]*)\]\s*HRESULT\s+(\w+)\s*\(")
COCLASS = re.compile(r"coclass\s+(\w+)\s*\{[^}]*\[default\]\s*interface\s+(\w+)\s*;", re.S)
HEADING = re.compile(r"^(#{2,3})\s+(.*?)\s*$", re.M)
MEMBER_HEADING = re.compile(r"(\w+)\s*(\()?")


def idl_members(idl):
    """{class name: {member: "property" | "method"}} from the IDL text."""
    idl = re.sub(r"//[^\n]*|/\*.*?\*/", "", idl, flags=re.S)
    classes = {iface: cls for cls, iface in COCLASS.findall(idl)}
    result = {}
    for iface, body in INTERFACE.findall(idl):
        members = {}
        for attributes, name in MEMBER.findall(body):
            kind = "property" if re.search(r"\bprop(get|put)\b", attributes) else "method"
            members[name] = kind
        result[classes.get(iface, iface)] = members
    return result


def doc_headings(doc):
    """{class section: {member heading: "property" | "method"}} from the reference."""
    sections = {}
    current = None
    for level, text in HEADING.findall(doc):
        if level == "##":
            current = sections.setdefault(text.split()[0], {}) if text else None
        elif current is not None:
            match = MEMBER_HEADING.match(text)
            if match:
                current[match.group(1)] = "method" if match.group(2) else "property"
    return sections


def problems(idl, doc):
    members = idl_members(idl)
    if not members or not all(members.values()):
        return ["the interface description yields no members: the check would prove nothing"]
    sections = doc_headings(doc)
    found = []
    for cls, wanted in members.items():
        documented = sections.get(cls)
        if documented is None:
            found.append(f"no '## {cls}' section")
            continue
        for name, kind in wanted.items():
            if name not in documented:
                found.append(f"{cls}.{name}: no '### {name}' heading")
            elif documented[name] != kind:
                shape = f"{name}(...)" if kind == "method" else name
                found.append(f"{cls}.{name} is a {kind}: its heading should read '### {shape}'")
        for name in documented:
            if name not in wanted:
                found.append(f"{cls}.{name}: documented, but not a member of the class")
    return found


def main(argv):
    idl_path, api_path = (argv[1], argv[2]) if len(argv) == 3 else (IDL, API)
    with open(idl_path, encoding="utf-8") as f:
        idl = f.read()
    with open(api_path, encoding="utf-8") as f:
        doc = f.read()
    found = problems(idl, doc)
    for line in found:
        print(f"{api_path}: {line}", file=sys.stderr)
    if not found:
        count = sum(len(m) for m in idl_members(idl).values())
        print(f"{count} members of {len(idl_members(idl))} classes, each with its heading")
    return 1 if found else 0


def self_check():
    """The check must catch each kind of drift; one row per kind."""
    idl = """
      interface IThing : IDispatch {
        [propget, id(1)] HRESULT Port([out, retval] short* pVal);
        [propput, id(1)] HRESULT Port([in] short v);
        // [id(9)] HRESULT Commented([out, retval] short* pStatus);
        [id(2), helpstring("method Go")] HRESULT Go([in] BSTR list, [out, retval] short* s);
      };
      coclass Thing { [default] interface IThing; };
    """
    good = "# T\n## General\n### Anything\n## Thing\n### Port\n### Go(list)\n## Other\n### X\n"
    rows = [
        (idl, good, None),
        (idl, good.replace("### Go(list)\n", ""), "Thing.Go: no '### Go' heading"),
        (idl, good.replace("### Go(list)", "### Go"), "Thing.Go is a method"),
        (idl, good.replace("### Port", "### Port()"), "Thing.Port is a property"),
        (idl, good + "## Thing again\n### Stop()\n", "Thing.Stop: documented, but not"),
        (idl, good.replace("## Thing", "## Thingy"), "no '## Thing' section"),
        ("", good, "yields no members"),
        (idl.replace("HRESULT", "void"), good, "yields no members"),
    ]
    for idl_text, doc, expected in rows:
        found = problems(idl_text, doc)
        if expected is None and found:
            sys.exit(f"self-check: a matching reference was refused: {found}")
        if expected is not None and not any(expected in line for line in found):
            sys.exit(f"self-check: expected a problem '{expected}', got {found}")


if __name__ == "__main__":
    self_check()
    sys.exit(main(sys.argv))
