#!/usr/bin/env python3
"""The 32-bit type library does not depend on which stdole2.tlb widl imports.

The build imports the stdole2.tlb of Wine's 64-bit libraries, which every
machine has, rather than the i386 copy that only 32-bit Wine brings. Where
the i386 copy exists too, this builds the type library with each and
compares them. widl stamps the time it ran into a type library (as text and
as a 32-bit count of seconds), so those two are blanked before comparing;
everything else must be the same byte for byte.

usage: same_with_i386_stdole.py WIDL INCLUDE_DIR IDL AMD64_STDOLE_DIR
ORVO_I386_STDOLE_DIR names an unpacked i386 copy; exit 77 means skipped.
"""
import os
import re
import struct
import subprocess
import sys
import tempfile
import time

widl, include, idl, amd64_dir = sys.argv[1:5]
i386_dir = os.environ.get("ORVO_I386_STDOLE_DIR", "/usr/lib/i386-linux-gnu/wine/i386-windows")
if not os.path.isfile(os.path.join(i386_dir, "stdole2.tlb")):
    print("skipped: no i386 stdole2.tlb in " + i386_dir)
    sys.exit(77)


def build(stdole_dir, out):
    subprocess.run([widl, "-m32", "-t", "-I" + include, "-L" + stdole_dir, "-o", out, idl], check=True)
    with open(out, "rb") as f:
        return bytearray(f.read())


def blank_time(data, earliest, latest):
    stamps = list(re.finditer(rb"Created by WIDL version [0-9.]+ at ([^\n]{24})", data))
    if len(stamps) != 1:
        sys.exit("expected one creation stamp, found %d" % len(stamps))
    start, end = stamps[0].span(1)
    data[start:end] = b"#" * (end - start)
    counts = [i for i in range(len(data) - 3)
              if earliest <= struct.unpack_from("<I", data, i)[0] <= latest]
    if len(counts) != 1:
        sys.exit("expected one time count, found %d" % len(counts))
    data[counts[0]:counts[0] + 4] = b"####"
    return bytes(data)


with tempfile.TemporaryDirectory() as tmp:
    earliest = int(time.time()) - 1
    amd64 = build(amd64_dir, os.path.join(tmp, "amd64.tlb"))
    i386 = build(i386_dir, os.path.join(tmp, "i386.tlb"))
    latest = int(time.time()) + 1
    a, b = blank_time(amd64, earliest, latest), blank_time(i386, earliest, latest)
    if a != b:
        first = next(i for i in range(min(len(a), len(b))) if a[i] != b[i]) if len(a) == len(b) else "length"
        sys.exit("the type libraries differ (at byte %s)" % first)
    print("the type library is the same with %s/stdole2.tlb (%d bytes)" % (i386_dir, len(a)))
