#!/usr/bin/env python3
"""The bootstrap's outcomes on the kinds of machine and mirror we meet.

tools/bootstrap and tools/win32-mode run from a copy of tools/ with apt-get,
dpkg, dpkg-query, as and ld replaced by stand-ins, a folder standing in for
binfmt_misc and a file for the 32-bit Wine loader. So a broken mirror, a
package apt refuses, and a kernel with or without 32-bit support can each be
drawn on any machine.
"""
import os
import subprocess
import tempfile
import unittest

from stand_ins import TOOLS, copy_tools


def core_group():
    """The core packages, in order, as the bootstrap lists them: the list is
    the bootstrap's to keep, and the outcomes must hold whatever is on it."""
    with open(os.path.join(TOOLS, "bootstrap")) as script:
        text = script.read()
    body = text[text.index("\ncore=(") + len("\ncore=("):]
    return body[:body.index(")")].split()


CORE = core_group()

STAND_INS = {
    # Installed packages are the lines of $FAKE/installed. FAKE_REFUSE names
    # packages apt cannot install; FAKE_UPDATE_FAILS breaks the index. An
    # installed wine32 brings its loader, as the real package does.
    "apt-get": r"""
        echo "apt-get $*" >> "$FAKE/calls"
        case " $* " in *" update "*)
          if [ -n "${FAKE_UPDATE_FAILS:-}" ]; then
            echo "E: Failed to fetch http://mirror/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress?"
            echo "E: Some index files failed to download. They have been ignored, or old ones used instead."
            exit 100
          fi
          exit 0 ;;
        esac
        for p in "$@"; do
          case $p in -*|install|Acquire::*|APT::*) continue ;; esac
          for r in ${FAKE_REFUSE:-}; do
            if [ "$p" = "$r" ]; then
              echo "The following packages have unmet dependencies:"
              echo " $p : Depends: libfoo1 (= 2) but 1 is to be installed"
              echo "E: Unable to correct problems, you have held broken packages."
              exit 100
            fi
          done
        done
        for p in "$@"; do
          case $p in -*|install|Acquire::*|APT::*) continue ;; esac
          echo "$p" >> "$FAKE/installed"
          [ "$p" = wine32:i386 ] && : > "$FAKE/wine" && chmod +x "$FAKE/wine"
        done
        exit 0
    """,
    "dpkg-query": r"""
        for p; do :; done
        grep -qx "$p" "$FAKE/installed" 2>/dev/null && echo "install ok installed"
    """,
    "dpkg": r"""
        case $1 in --print-foreign-architectures) echo i386 ;; esac
    """,
    "as": r"""
        while [ $# -gt 0 ]; do [ "$1" = -o ] && : > "$2"; shift; done
    """,
    # The program "assembled" exits 42, as the probe's real one does, only
    # on a kernel that runs 32-bit code (FAKE_KERNEL=yes); byte 15, which the
    # probe overwrites, falls inside a comment.
    "ld": r"""
        while [ $# -gt 0 ]; do
          if [ "$1" = -o ]; then
            if [ "$FAKE_KERNEL" = yes ]; then
              printf '#!/bin/sh\n#xxxxxxxxxxxx\nexit 42\n' > "$2"
            else
              printf '\177ELF not for this kernel' > "$2"
            fi
            chmod +x "$2"
          fi
          shift
        done
    """,
}

# kernel, wine32 loader present, binfmt entries, refused packages, index
# broken; exit status, lines expected (in order), what must be written to
# binfmt's register, the handler orvo-i386's state afterwards, the probe's
# answer.
CASES = [
    # The day in the report: 32-bit code runs, the i386 index is broken and
    # apt refuses 32-bit Wine. The core installs; no qemu handler.
    dict(name="native kernel, broken i386 index, 32-bit Wine refused",
         kernel="yes", refuse="wine32:i386", update_fails=True, installed=[],
         status=0, lines=["bootstrap: installing " + " ".join(CORE) + " wine32:i386",
                          "bootstrap: warning: apt-get update failed (Failed to fetch",
                          "bootstrap: 32-bit Wine could not be installed, so the 32-bit Windows tests will be skipped: "
                          "wine32:i386 : Depends: libfoo1 (= 2) but 1 is to be installed"],
         register="", mode="none", why="32-bit Wine could not be installed: wine32:i386 : Depends: libfoo1"),
    # An index failure alone is a warning when what apt has is enough.
    dict(name="core present, index broken, 32-bit Wine installs",
         kernel="yes", refuse="", update_fails=True, installed=CORE,
         status=0, lines=["bootstrap: installing wine32:i386", "bootstrap: warning: apt-get update failed"],
         register="", mode="native", why="this machine runs 32-bit programs and 32-bit Wine is installed"),
    # A core package that cannot be had stops everything, named.
    dict(name="a core package refused",
         kernel="yes", refuse="g++-mingw-w64-i686", update_fails=False, installed=[],
         status=1, lines=["bootstrap: installing",
                          "bootstrap: cannot install g++-mingw-w64-i686, which the builds need: "
                          "g++-mingw-w64-i686 : Depends: libfoo1 (= 2) but 1 is to be installed"],
         register=None, mode=None, why=None),
    # No 32-bit kernel support: qemu is registered for the 32-bit loader.
    dict(name="no 32-bit kernel, everything installs",
         kernel="no", refuse="", update_fails=False, installed=[],
         status=0, lines=["bootstrap: installing",
                          "bootstrap: this machine cannot run 32-bit programs, and qemu could not be registered"],
         register=":orvo-i386:M::", mode="none",
         why="this machine cannot run 32-bit programs, and qemu could not be registered"),
    # No 32-bit kernel support and no 32-bit Wine: nothing for qemu to run.
    dict(name="no 32-bit kernel, 32-bit Wine refused",
         kernel="no", refuse="wine32:i386", update_fails=False, installed=CORE,
         status=0, lines=["bootstrap: installing wine32:i386", "bootstrap: 32-bit Wine could not be installed"],
         register="", mode="none",
         why="this machine cannot run 32-bit programs, and 32-bit Wine could not be installed"),
    # A handler an older bootstrap left on a machine that runs 32-bit code
    # itself is taken away.
    dict(name="native kernel with our old handler",
         kernel="yes", refuse="", update_fails=False, installed=CORE + ["wine32:i386"], handler=True,
         status=0, lines=["bootstrap: this machine runs 32-bit programs itself; removed the qemu handler orvo-i386"],
         register="", removed=True, mode="native",
         why="this machine runs 32-bit programs and 32-bit Wine is installed"),
    # Where the kernel needs it, a registered handler stays, quietly.
    dict(name="no 32-bit kernel, handler in place",
         kernel="no", refuse="", update_fails=False, installed=CORE + ["wine32:i386"], handler=True,
         status=0, lines=[], register="", mode="emulated",
         why="this machine cannot run 32-bit programs; the qemu handler orvo-i386 runs them"),
]


class BootstrapOutcomes(unittest.TestCase):
    def test_outcomes(self):
        for case in CASES:
            with self.subTest(case["name"]), tempfile.TemporaryDirectory() as top:
                scripts = {"fake/" + name: body for name, body in STAND_INS.items()}
                if "wine32:i386" in case["installed"]:
                    scripts["fake/wine"] = ""  # the loader an installed wine32 brings
                copy_tools(top, scripts)
                fake = os.path.join(top, "fake")
                binfmt = os.path.join(top, "binfmt")
                os.mkdir(binfmt)
                with open(os.path.join(fake, "installed"), "w") as f:
                    f.write("".join(p + "\n" for p in case["installed"]))
                open(os.path.join(binfmt, "register"), "w").close()
                if case.get("handler"):
                    with open(os.path.join(binfmt, "orvo-i386"), "w") as f:
                        f.write("enabled\ninterpreter /usr/bin/qemu-i386\n")
                env = dict(os.environ, PATH=fake + os.pathsep + os.environ["PATH"], FAKE=fake,
                           FAKE_KERNEL=case["kernel"], FAKE_REFUSE=case["refuse"],
                           FAKE_UPDATE_FAILS="1" if case["update_fails"] else "",
                           ORVO_BINFMT_DIR=binfmt, ORVO_WINE32_LOADER=os.path.join(fake, "wine"),
                           ORVO_WIN32_MODE="")
                env.pop("SUDO_USER", None)
                run = subprocess.run([os.path.join(top, "tools", "bootstrap")], env=env,
                                     capture_output=True, text=True, timeout=60)
                said = run.stderr.splitlines()
                self.assertEqual(run.returncode, case["status"], run.stdout + run.stderr)
                if not case["lines"]:
                    self.assertEqual(run.stderr, "", "a machine with everything in place hears nothing")
                # Each expected line starts one line of what was said, in order.
                at = 0
                for expected in case["lines"]:
                    hits = [i for i, line in enumerate(said) if i >= at and line.startswith(expected)]
                    self.assertTrue(hits, "%r not said after line %d:\n%s" % (expected, at, run.stderr))
                    at = hits[0] + 1
                if case["register"] is not None:
                    with open(os.path.join(binfmt, "register")) as f:
                        written = f.read()
                    if case["register"]:
                        self.assertTrue(written.startswith(case["register"]) and written.endswith(
                            ":/usr/bin/qemu-i386:F"), written)
                    else:
                        self.assertEqual(written, "", "a qemu handler was registered")
                if case.get("removed"):
                    with open(os.path.join(binfmt, "orvo-i386")) as f:
                        self.assertEqual(f.read().strip(), "-1")
                if case["mode"] is not None:
                    probe = [os.path.join(top, "tools", "win32-mode")]
                    mode = subprocess.run(probe, env=env, capture_output=True, text=True).stdout.strip()
                    why = subprocess.run(probe + ["--why"], env=env, capture_output=True, text=True).stdout
                    self.assertEqual(mode, case["mode"])
                    self.assertTrue(why.startswith(case["why"]), why)


if __name__ == "__main__":
    unittest.main()
