#!/usr/bin/env python3
"""The shell commands of README.md and docs/*.md, run as a new user runs them.

How the documents mark their blocks:
- A shell block is an indented (4-space) code block, or a fence labelled sh,
  bash or shell. Every other fence must carry a label too (bat for a Windows
  command prompt, text for output, or the snippet's language): those never
  run here. An unlabelled fence fails this test, so that no command is left
  out without anyone deciding it.
- "# docs-test: skip, REASON" in a shell block leaves the block out, for a
  reason a reader can see (it takes half an hour, it runs this test, ...).
- "# expect: TEXT" after a command: the block's output must have a line
  containing TEXT.

Each block runs on its own, from the top of this checkout (the commands
build into build/; a fresh copy would rebuild everything, a minute or more
per build), in bash with "set -e", with ORVO_SKIP_BOOTSTRAP=1 and a time
bound, and must exit 0. Whatever a block leaves behind (a unit simulator in
the background, a Wine server) is stopped once it ends.
"""
import os
import re
import signal
import subprocess
import sys
import tempfile
import time
import unittest

TOP = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
SHELL_LABELS = {"sh", "bash", "shell"}
BLOCK_SECONDS = int(os.environ.get("ORVO_DOCS_BLOCK_SECONDS", "300"))
LIST_ITEM = re.compile(r"\s*([-*+]|\d+\.)\s")
SKIP = re.compile(r"#\s*docs-test:\s*skip\b[,:]?\s*(.*)")
MARKER = re.compile(r"#\s*docs-test:")
EXPECT = re.compile(r"#\s*expect:\s*(.*?)\s*$")

# Stops what a block started in the background. A Wine server that a block
# left running under its own prefix outlives the process group, so it is
# stopped by name of its prefix.
PROLOGUE = """set -e
trap '[ -z "${WINEPREFIX:-}" ] || wineserver -k >/dev/null 2>&1 || true' EXIT
"""


class Block:
    def __init__(self, path, line, text):
        self.where = "%s:%d" % (os.path.relpath(path, TOP), line)
        self.text = text
        skips = [SKIP.search(l) for l in text.splitlines()]
        self.skip = next((m.group(1).strip() or None for m in skips if m), False)
        self.expect = [m.group(1) for m in map(EXPECT.search, text.splitlines()) if m]
        self.bad_markers = [l for l in text.splitlines() if MARKER.search(l) and not SKIP.search(l)]


def extract(path, lines):
    """Shell blocks of one document, and the problems found in its fences."""
    blocks, problems = [], []
    i = 0
    last_text = ""  # the last non-blank line outside code, to tell lists apart
    while i < len(lines):
        line = lines[i]
        if line.startswith("```"):
            label = line[3:].strip().split(" ")[0]
            end = next((j for j in range(i + 1, len(lines)) if lines[j].startswith("```")), len(lines))
            if not label:
                problems.append("%s:%d: a fence without a label (sh, bat, text, ...)"
                                % (os.path.relpath(path, TOP), i + 1))
            elif label in SHELL_LABELS:
                blocks.append(Block(path, i + 2, "\n".join(lines[i + 1:end])))
            i = end + 1
            last_text = ""
            continue
        # An indented block starts after a blank line, and not inside a list,
        # where indentation continues the item.
        if (line.startswith("    ") and line.strip() and i > 0 and not lines[i - 1].strip()
                and not LIST_ITEM.match(last_text) and not last_text.startswith(" ")):
            start = i
            body = []
            while i < len(lines) and (lines[i].startswith("    ") or not lines[i].strip()):
                body.append(lines[i][4:])
                i += 1
            blocks.append(Block(path, start + 1, "\n".join(body).strip("\n")))
            continue
        if line.strip():
            last_text = line
        i += 1
    return blocks, problems


def documents():
    docs = os.path.join(TOP, "docs")
    return [os.path.join(TOP, "README.md")] + sorted(
        os.path.join(docs, name) for name in os.listdir(docs) if name.endswith(".md"))


def run(block):
    """Runs one block; returns its exit status (None on time-out) and output."""
    env = dict(os.environ, ORVO_SKIP_BOOTSTRAP="1")
    # A developer's own settings must not change what the commands do.
    for name in ("WINEPREFIX", "ORVOTRAINER_SIMULATE", "ORVOTRAINER_TRACE", "ORVO_WINE_LOADER"):
        env.pop(name, None)
    # Output to a file, not a pipe: a process left in the background would
    # hold a pipe open and keep the test waiting.
    with tempfile.TemporaryFile() as out:
        proc = subprocess.Popen(["bash", "-c", PROLOGUE + block.text], cwd=TOP, env=env,
                                stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT,
                                start_new_session=True)
        try:
            status = proc.wait(timeout=BLOCK_SECONDS)
        except subprocess.TimeoutExpired:
            status = None
        for sig in (signal.SIGTERM, signal.SIGKILL):
            try:
                os.killpg(proc.pid, sig)
            except ProcessLookupError:
                break
            time.sleep(0.5)
        proc.wait()
        out.seek(0)
        return status, out.read().decode(errors="replace").replace("\r", "")


class DocsCommandsWork(unittest.TestCase):
    def test_commands(self):
        ran = 0
        for path in documents():
            with open(path) as f:
                blocks, problems = extract(path, f.read().splitlines())
            self.assertEqual(problems, [])
            for block in blocks:
                with self.subTest(block=block.where):
                    self.assertEqual(block.bad_markers, [], "unknown docs-test marker")
                    self.assertIsNot(block.skip, None, "a skip needs its reason")
                    if block.skip:
                        print("docs: %s skipped (%s)" % (block.where, block.skip), file=sys.stderr)
                        continue
                    started = time.monotonic()
                    status, output = run(block)
                    ran += 1
                    lines = output.splitlines()
                    missing = [text for text in block.expect if not any(text in l for l in lines)]
                    print("docs: %s %s in %.0f s" % (block.where, "ok" if status == 0 and not missing
                                                     else "FAILED", time.monotonic() - started),
                          file=sys.stderr)
                    context = "%s\n--- output (end) ---\n%s" % (block.text, output[-3000:])
                    self.assertEqual(status, 0, context)
                    self.assertEqual(missing, [], "no line with these\n" + context)
        # A parser that finds nothing would pass every document.
        self.assertGreater(ran, 0)


# How the documents' blocks are told apart: document lines, then the first
# line and skip reason of each block found, then the problems.
EXTRACT_CASES = [
    (["Run:", "", "    tools/try  # expect: lesson passed", ""], [("tools/try  # expect: lesson passed", False)], 0),
    # Indentation that continues a list item is not code.
    (["- item", "", "    more of the item"], [], 0),
    (["Text", "    continued paragraph"], [], 0),
    (["```sh", "tools/demo/run", "```", "```bat", "regsvr32 C:\\x.dll", "```"], [("tools/demo/run", False)], 0),
    (["```", "reg delete HKCU\\x /f", "```"], [], 1),
    (["    # docs-test: skip, 26 minutes", "    tools/test"], [("# docs-test: skip, 26 minutes", "26 minutes")], 0),
    (["    tools/test  # docs-test: skip"], [("tools/test  # docs-test: skip", None)], 0),
]


class BlocksAreFound(unittest.TestCase):
    def test_extract(self):
        for lines, expected, problem_count in EXTRACT_CASES:
            with self.subTest(lines=lines):
                # A blank first line stands for the paragraph break before it.
                blocks, problems = extract(os.path.join(TOP, "x.md"), [""] + lines)
                self.assertEqual([(b.text.splitlines()[0], b.skip) for b in blocks], expected)
                self.assertEqual(len(problems), problem_count)


if __name__ == "__main__":
    unittest.main()
