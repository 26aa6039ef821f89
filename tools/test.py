#!/usr/bin/env python3
"""Builds and runs every test, and ends with one line that sums them up.

The host build, the same tests under AddressSanitizer and UBSan, the 64-bit
Windows build under Wine, the installer packages made from both Windows
builds, the 32-bit Windows build under Wine wherever this machine can run
it, every command the README and docs/ give (the demo among them), and a
short fuzzing run.

  tools/test                 everything this machine can run
  tools/test --win32-full    also the whole 32-bit suite where 32-bit Wine
                             only runs under qemu (slow: about 45 s for each
                             Wine process)

ORVO_WIN32_MODE=native|emulated|none overrides the machine probe
(tools/win32-mode); ORVO_WINE32_LOADER names a 32-bit Wine loader other than
/usr/lib/wine/wine; ORVO_TEST_SUITES=host,asan,win64,docs,win32,fuzz picks
suites. tools/test runs the bootstrap, then this. Counts come from CTest's
JUnit report: a test CTest skipped counts
as skipped, and so does a test that a partial run (the smoke set) left out.
"""
import argparse
import os
import subprocess
import sys
import time
import xml.etree.ElementTree as ElementTree

TOP = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
JOBS = str(os.cpu_count() or 1)
WINE64 = "/usr/lib/wine/wine64"
WINE32 = os.environ.get("ORVO_WINE32_LOADER", "/usr/lib/wine/wine")


class Totals:
    def __init__(self):
        self.passed = self.failed = self.skipped = 0
        self.broken = []

    def fail(self, what):
        self.failed += 1
        self.broken.append(what)

    def add_suite(self, name, build_dir, partial):
        """Adds a finished CTest run's counts, read from its JUnit report."""
        try:
            suite = ElementTree.parse(junit(build_dir)).getroot()
        except (OSError, ElementTree.ParseError):
            self.fail(name + " (no CTest report)")
            return
        cases = suite.findall("testcase")
        bad = sum(1 for c in cases if c.get("status") == "fail")
        skipped = sum(1 for c in cases if c.get("status") in ("notrun", "disabled"))
        self.passed += len(cases) - bad - skipped
        self.failed += bad
        self.skipped += skipped
        if bad:
            self.broken.append(name)
        if partial:
            self.skipped += max(0, suite_size(build_dir) - len(cases))


def junit(build_dir):
    return os.path.join(TOP, build_dir, "ctest-junit.xml")


def suite_size(build_dir):
    listing = subprocess.run(["ctest", "--test-dir", build_dir, "-N"], capture_output=True, text=True).stdout
    for line in listing.splitlines():
        if line.startswith("Total Tests: "):
            return int(line.split(": ")[1])
    return 0


def ctest_args(build_dir, extra):
    return ["ctest", "--test-dir", build_dir, "--output-on-failure", "-j", JOBS,
            "--output-junit", junit(build_dir), *extra]


def run_suite(totals, name, build_dir, extra=(), env=None):
    print("== %s: tests" % name, flush=True)
    if os.path.exists(junit(build_dir)):
        os.remove(junit(build_dir))
    subprocess.run(ctest_args(build_dir, extra), env=env)
    totals.add_suite(name, build_dir, partial=bool(extra))


def build(name, build_dir, *options):
    """Configures and builds; on failure shows the end of what went wrong."""
    print("== %s: build" % name, flush=True)
    os.makedirs(build_dir, exist_ok=True)
    steps = (("configure", ["cmake", "-S", ".", "-B", build_dir, "-G", "Ninja", *options]),
             ("build", ["cmake", "--build", build_dir, "-j", JOBS]))
    for step, command in steps:
        log = "%s.%s.log" % (build_dir, step)
        with open(log, "w") as out:
            ok = subprocess.run(command, stdout=out, stderr=subprocess.STDOUT).returncode == 0
        if not ok:
            with open(log) as f:
                lines = [l for l in f.read().splitlines() if not (step == "build" and l.startswith("["))]
            print("\n".join(lines[-60:]))
            return False
    return True


def probe(*args):
    run = subprocess.run(["tools/win32-mode", *args], capture_output=True, text=True)
    return run.stdout.strip() if run.returncode == 0 else ""


def main():
    parser = argparse.ArgumentParser(prog="tools/test", description="Builds and runs every test.")
    parser.add_argument("--win32-full", action="store_true",
                        help="the whole 32-bit suite even where it runs only under qemu")
    args = parser.parse_args()
    os.chdir(TOP)

    suites = set(os.environ.get("ORVO_TEST_SUITES", "host,asan,win64,docs,win32,fuzz").split(","))
    totals = Totals()
    start = time.monotonic()
    os.makedirs("build", exist_ok=True)
    mode, why = ("none", "")
    if "win32" in suites:
        mode, why = probe() or "none", probe("--why")

    # Wine prefixes are copied from a machine-wide cache (tools/wine-prefix).
    # The 64-bit one is made first: its wineboot turns the qemu handler off
    # for a few seconds, which no 32-bit program may be running through.
    # Under qemu the 32-bit one takes minutes, so it is made in the
    # background from the start, while the builds run; bounded, so that a
    # wineboot that hangs fails its suite rather than the whole run.
    if suites & {"win64", "docs"}:
        warm = ["timeout", "-k", "10", "600", "tools/wine-prefix", "warm"]
        if subprocess.run(warm, env=dict(os.environ, ORVO_WINE_LOADER=WINE64)).returncode != 0:
            print("== the 64-bit Wine prefix could not be made; the Wine suites will fail")
    warm32 = None
    if mode == "emulated":
        print("== win32: this machine runs 32-bit programs only under qemu; its Wine prefix is made in the background")
        with open("build/win32-prefix.log", "w") as log:
            warm32 = subprocess.Popen(["timeout", "-k", "10", "1400", "tools/wine-prefix", "warm"],
                                      env=dict(os.environ, ORVO_WINE_LOADER=WINE32),
                                      stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT)

    # The Windows suites start orvo-sim from the host build.
    if suites & {"host", "win64", "win32"}:
        if build("host", "build/host", "-DCMAKE_BUILD_TYPE=Debug"):
            if "host" in suites:
                run_suite(totals, "host", "build/host")
        else:
            totals.fail("host build")

    win32 = None  # (name, ctest arguments, background run) under qemu
    if "win32" in suites:
        # Built on every machine, so that the 32-bit DLL never stops
        # compiling unnoticed where its tests cannot run.
        if not build("win32", "build/win32", "-DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake",
                     "-DORVO_HOST_TOOLS=%s/build/host" % TOP,
                     "-DORVO_WINE_EMULATED=" + ("ON" if mode == "emulated" else "OFF")):
            totals.fail("win32 build")
            mode = "broken"
        elif mode == "emulated":
            # Emulated Wine is slow but needs little of the machine: it runs
            # beside everything else and is reported last. Its prefix fixture
            # waits for the cache being made in the background.
            if args.win32_full:
                name, extra = "win32 (Wine under qemu, whole suite)", []
            else:
                name, extra = "win32 (Wine under qemu, smoke set)", ["-L", "smoke"]
                print("== win32: the smoke set runs in the background (tools/test --win32-full runs all)")
            if os.path.exists(junit("build/win32")):
                os.remove(junit("build/win32"))
            with open("build/win32/ctest.log", "w") as log:
                win32 = (name, extra, subprocess.Popen(ctest_args("build/win32", extra), stdin=subprocess.DEVNULL,
                                                       stdout=log, stderr=subprocess.STDOUT))
        elif mode != "native":
            print("win32 (Wine): skipped, " + why)
            totals.skipped += suite_size("build/win32")

    if "win64" in suites:
        if build("win64", "build/win64", "-DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake",
                 "-DORVO_HOST_TOOLS=%s/build/host" % TOP):
            # What ships: both packages, from the two release builds. The
            # package tests of the Windows suites make signed ones of their own.
            if "win32" in suites and mode != "broken":
                print("== package: build/OrvoTrainer-x64.msi, build/OrvoTrainer-x86.msi", flush=True)
                if subprocess.run(["tools/package"]).returncode == 0:
                    totals.passed += 1
                else:
                    totals.fail("package")
            run_suite(totals, "win64 (Wine)", "build/win64")
        else:
            totals.fail("win64 build")

    if mode == "native":
        run_suite(totals, "win32 (Wine)", "build/win32")

    # Every command the README and docs/ give, as a new user runs them: the
    # demo, tools/try, the walk-through without hardware.
    if "docs" in suites:
        print("== docs: the documented commands (tests/tools/docs_commands_test.py)", flush=True)
        env = dict(os.environ, ORVO_SKIP_BOOTSTRAP="1")
        if subprocess.run([sys.executable, "tests/tools/docs_commands_test.py"], env=env).returncode == 0:
            totals.passed += 1
        else:
            totals.fail("docs")

    if "asan" in suites:
        if build("asan", "build/asan", "-DCMAKE_BUILD_TYPE=Debug", "-DORVO_SANITIZE=ON"):
            env = dict(os.environ, ASAN_OPTIONS="detect_leaks=1:abort_on_error=1",
                       UBSAN_OPTIONS="print_stacktrace=1")
            run_suite(totals, "host (ASan+UBSan)", "build/asan", env=env)
        else:
            totals.fail("asan build")

    # A few seconds for each fuzz target, from its committed corpus: enough
    # to catch a harness or a parser that breaks on inputs it once took.
    if "fuzz" in suites and os.access("tools/fuzz", os.X_OK):
        print("== fuzz smoke", flush=True)
        if subprocess.run(["tools/fuzz", os.environ.get("ORVO_FUZZ_SECONDS", "5")]).returncode == 0:
            totals.passed += 1
        else:
            totals.fail("fuzz smoke")

    if win32:
        name, extra, run = win32
        print("== %s: tests" % name, flush=True)
        run.wait()
        with open("build/win32/ctest.log") as log:
            print(log.read(), end="")
        totals.add_suite(name, "build/win32", partial=bool(extra))
    if warm32 and warm32.wait() != 0:
        print("== the 32-bit Wine prefix could not be made:")
        with open("build/win32-prefix.log") as log:
            print(log.read(), end="")

    print("== done in %d s" % (time.monotonic() - start))
    if totals.broken:
        print("failing: " + " ".join(totals.broken))
    print("total: %d passed, %d failed, %d skipped" % (totals.passed, totals.failed, totals.skipped))
    return 1 if totals.failed else 0


if __name__ == "__main__":
    sys.exit(main())
