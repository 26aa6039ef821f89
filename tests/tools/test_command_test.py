#!/usr/bin/env python3
"""The test command's choice of Windows suites, on each kind of machine.

tools/test runs from a copy of tools/ with cmake, ctest, the bootstrap, the
machine probe and the prefix helper replaced by stand-ins that log their
arguments (ctest reports a fixed summary), so the decisions (which suites
run, how, in what order, and what the closing line says) are checked in a
second rather than in half an hour of Wine.
"""
import os
import subprocess
import tempfile
import unittest

from stand_ins import copy_tools

FAKE_CMAKE = """echo "cmake $*" >> "$FAKE_LOG"
while [ $# -gt 0 ]; do [ "$1" = -B ] && mkdir -p "$2"; shift; done
"""

# 10 tests in every suite, 3 of them labelled smoke; in a whole run the
# last one is skipped by CTest itself. FAKE_FAIL names the build directory
# whose run has one failing test. Results go where --output-junit says, in
# CTest's JUnit form.
FAKE_CTEST = """echo "ctest $*" >> "$FAKE_LOG"
dir=""; label=""; list=""; junit=""
while [ $# -gt 0 ]; do
  case $1 in --test-dir) dir=$2; shift ;; -L) label=$2; shift ;; -N) list=1 ;;
    --output-junit) junit=$2; shift ;; esac
  shift
done
if [ -n "$list" ]; then echo "Total Tests: 10"; exit 0; fi
n=10; [ -n "$label" ] && n=3
bad=0; [ "${dir##*/}" = "${FAKE_FAIL:-}" ] && bad=1
{
  echo "<testsuite tests='$n'>"
  i=1
  while [ $i -le $n ]; do
    status=run
    [ $i -le $bad ] && status=fail
    [ $i -eq 10 ] && status=notrun
    echo "<testcase name='t$i' status='$status'/>"
    i=$((i + 1))
  done
  echo "</testsuite>"
} > "$junit"
[ $bad -eq 0 ]
"""

# The probe answers what FAKE_MODE says, for the reason FAKE_WHY gives.
FAKE_PROBE = """if [ "${1:-}" = --why ]; then echo "$FAKE_WHY"; else echo "$FAKE_MODE"; fi
"""
FAKE_LOGGER = """echo "${0##*/} $* ${ORVO_WINE_LOADER:-}" >> "$FAKE_LOG"
"""

# mode, extra arguments, failing suite, closing line, exit status, win32 run
# with (None: not run), win32 configured as emulated
CASES = [
    ("none", [], "", "total: 10 passed, 0 failed, 11 skipped", 0, None, "OFF"),
    ("emulated", [], "", "total: 13 passed, 0 failed, 8 skipped", 0, "-L smoke", "ON"),
    ("emulated", ["--win32-full"], "", "total: 19 passed, 0 failed, 2 skipped", 0, "", "ON"),
    ("native", [], "", "total: 19 passed, 0 failed, 2 skipped", 0, "", "OFF"),
    # A suite that runs and fails is a failure, never a skip.
    ("emulated", [], "win32", "total: 12 passed, 1 failed, 8 skipped", 1, "-L smoke", "ON"),
    ("none", [], "win64", "total: 9 passed, 1 failed, 11 skipped", 1, None, "OFF"),
]


class TestCommandChoosesSuites(unittest.TestCase):
    def test_modes(self):
        for mode, args, fail, closing, status, win32_run, emulated in CASES:
            with self.subTest(mode=mode, args=args, fail=fail), tempfile.TemporaryDirectory() as top:
                copy_tools(top, {"fake/cmake": FAKE_CMAKE, "fake/ctest": FAKE_CTEST,
                                 "tools/win32-mode": FAKE_PROBE, "tools/bootstrap": FAKE_LOGGER,
                                 "tools/wine-prefix": FAKE_LOGGER, "tools/package": FAKE_LOGGER})
                fake = os.path.join(top, "fake")
                log = os.path.join(top, "calls.log")
                env = dict(os.environ, PATH=fake + os.pathsep + os.environ["PATH"],
                           FAKE_LOG=log, FAKE_FAIL=fail, FAKE_MODE=mode,
                           FAKE_WHY="32-bit Wine could not be installed: apt said no",
                           ORVO_WINE32_LOADER="/usr/lib/wine/wine",
                           ORVO_TEST_SUITES="win64,win32")
                run = subprocess.run([os.path.join(top, "tools", "test"), *args], env=env,
                                     capture_output=True, text=True, timeout=120)
                out = run.stdout.strip().splitlines()
                with open(log) as f:
                    calls = f.read().splitlines()
                self.assertEqual(out[-1], closing, run.stdout + run.stderr)
                self.assertEqual(run.returncode, status)
                # The bootstrap comes before anything else.
                self.assertTrue(calls[0].startswith("bootstrap"), calls)
                # The 64-bit suite runs in full on every kind of machine.
                self.assertTrue(any(c.startswith("ctest --test-dir build/win64 --output-on-failure -j %d "
                                                 % os.cpu_count()) for c in calls), calls)
                # The 32-bit build is configured everywhere, as emulated only under qemu.
                self.assertTrue(any("mingw-i686.cmake" in c and "-DORVO_WINE_EMULATED=" + emulated in c
                                    for c in calls), calls)
                runs = [c for c in calls if c.startswith("ctest --test-dir build/win32 --output")]
                if win32_run is None:
                    self.assertEqual(runs, [])
                    self.assertIn("win32 (Wine): skipped, 32-bit Wine could not be installed: apt said no",
                                  out)
                else:
                    self.assertEqual(len(runs), 1)
                    self.assertEqual(runs[0].endswith("-L smoke"), win32_run == "-L smoke")
                # The packages are made once, from both builds, before the
                # 64-bit suite runs.
                packages = [i for i, c in enumerate(calls) if c.startswith("package")]
                builds = [i for i, c in enumerate(calls) if c.startswith("cmake --build build/win")]
                suite64 = next(i for i, c in enumerate(calls) if c.startswith("ctest --test-dir build/win64"))
                self.assertEqual(len(packages), 1, calls)
                self.assertTrue(max(builds) < packages[0] < suite64, calls)
                # The 64-bit prefix is warmed before anything 32-bit can run;
                # under qemu the 32-bit one is warmed too, in the background
                # (so its place in the log is not fixed).
                warms = [c for c in calls if c.startswith("wine-prefix warm")]
                first_build = next(i for i, c in enumerate(calls) if c.startswith("cmake"))
                self.assertLess(calls.index("wine-prefix warm /usr/lib/wine/wine64"), first_build, calls)
                both = ["wine-prefix warm /usr/lib/wine/wine", "wine-prefix warm /usr/lib/wine/wine64"]
                self.assertEqual(sorted(warms), both if emulated == "ON" else both[1:], calls)


if __name__ == "__main__":
    unittest.main()
