#!/usr/bin/env python3
"""Simulated units on pseudo-terminals for lessons that run natively, and
the checks of a units file.

    units.py --sim ORVO_SIM --dir DIR [--units FILE] N=UNIT... -- COMMAND...

Starts orvo-sim with each UNIT (an orvo-sim unit description, such as
plc:address=3) behind COMn, runs COMMAND with ORVOTRAINER_PORTS naming
exactly those ports, XDG_CONFIG_HOME a fresh directory in DIR (so that no
remembered port of the user's steers the hunts) and the module's wire trace
in DIR/wire.txt, then checks the units against FILE and stops orvo-sim,
whichever way it ends. The exit status is 0 when COMMAND exited 0 and every
check held.

A units file (as tests/e2e/run-lesson reads it), one line each:
    set UNIT FIELD VALUE...       unit state before the lesson
    misbehave UNIT HOW [COUNT]    a misbehaviour for the lesson to meet
    frame UNIT KIND HEX...        a frame the unit must have received; the
                                  frame lines of one unit match in order,
                                  other frames may come between them
    state UNIT FIELD... = VALUE   the unit's state after the lesson
"""
import argparse
import ctypes
import os
import shutil
import signal
import socket
import subprocess
import sys
import time


def _die_with_parent():
    # orvo-sim goes when whoever started it goes, even by SIGKILL.
    PR_SET_PDEATHSIG = 1
    ctypes.CDLL(None, use_errno=True).prctl(PR_SET_PDEATHSIG, signal.SIGTERM)


def read_units_file(path):
    with open(path) as f:
        return [line.split() for line in f if line.strip() and not line.lstrip().startswith("#")]


class Units:
    """orvo-sim running `units` ({COM number: unit description}) in `directory`."""

    def __init__(self, sim, directory, units):
        self.sim, self.directory, self.units = sim, os.path.abspath(directory), units
        self.control = os.path.join(self.directory, "sim.control")
        self.process = None

    def path(self, name):
        return os.path.join(self.directory, name)

    def __enter__(self):
        shutil.rmtree(self.directory, ignore_errors=True)
        os.makedirs(self.directory)
        ready = self.path("sim.ready")
        command = [self.sim, "--ready", ready, "--control", self.control,
                   "--log", self.path("sim.log"), "--trace", self.path("sim.trace")]
        for port, description in self.units.items():
            command += ["--unit", "%s:link=%s" % (description, self.path("com%d" % port))]
        self.output = open(self.path("sim.out"), "w")
        self.process = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=self.output,
                                        stderr=subprocess.STDOUT, preexec_fn=_die_with_parent)
        deadline = time.monotonic() + 10
        while not os.path.exists(ready):
            if self.process.poll() is not None or time.monotonic() > deadline:
                self.__exit__()
                with open(self.path("sim.out")) as f:
                    raise RuntimeError("orvo-sim did not come up: " + f.read().strip())
            time.sleep(0.05)
        return self

    def __exit__(self, *_):
        if self.process and self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(5)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.output.close()

    def environment(self, base=os.environ):
        """The environment a lesson against these units runs in."""
        env = {k: v for k, v in base.items() if k != "ORVOTRAINER_SIMULATE"}
        env["ORVOTRAINER_PORTS"] = ",".join("%d=%s" % (port, self.path("com%d" % port)) for port in self.units)
        env["XDG_CONFIG_HOME"] = self.path("config")
        env["ORVOTRAINER_TRACE"] = self.path("wire.txt")
        return env

    def send(self, line):
        """One control line; the reply, 'ok ...' or 'error ...'."""
        with socket.socket(socket.AF_UNIX, socket.SOCK_STREAM) as s:
            s.connect(self.control)
            s.sendall(line.encode() + b"\n")
            reply = b""
            while not reply.endswith(b"\n"):
                chunk = s.recv(4096)
                if not chunk:
                    break
                reply += chunk
        return reply.decode().strip()

    def ask(self, line):
        """One control line that must succeed; its reply."""
        reply = self.send(line)
        if not reply.startswith("ok"):
            raise RuntimeError("%s: %s" % (line, reply))
        return reply

    def get(self, unit, field):
        return self.ask("get %s %s" % (unit, field))[3:]

    def frames(self, unit):
        """The frames the unit received, as 'KIND HEX' strings."""
        return self.ask("frames " + unit).split("; ")[1:]  # ok N; KIND HEX; KIND HEX; ...

    def prepare(self, lines):
        for unit in dict.fromkeys(line[1] for line in lines):
            self.send("misbehave %s none" % unit)
            self.send("clear " + unit)
        for line in lines:
            if line[0] in ("set", "misbehave"):
                self.ask(" ".join(line))

    def check(self, lines):
        """What the units file expects and the units do not show, one line each."""
        problems, received = [], {}
        for verb, unit, *rest in lines:
            if verb == "frame":
                frames = received.setdefault(unit, self.frames(unit))
                wanted = " ".join(rest)
                if wanted in frames:
                    del frames[:frames.index(wanted) + 1]
                else:
                    problems.append("%s did not receive '%s' (in order)" % (unit, wanted))
            elif verb == "state":
                field, expected = " ".join(rest).split(" = ")
                actual = self.send("get %s %s" % (unit, field))
                if actual != "ok " + expected:
                    problems.append("%s %s is '%s', expected 'ok %s'" % (unit, field, actual, expected))
        return problems


def main(argv):
    if "--" not in argv:
        sys.exit("usage: units.py --sim ORVO_SIM --dir DIR [--units FILE] N=UNIT... -- COMMAND...")
    split = argv.index("--")
    parser = argparse.ArgumentParser(prog="units.py")
    parser.add_argument("--sim", required=True)
    parser.add_argument("--dir", required=True)
    parser.add_argument("--units")
    parser.add_argument("unit", nargs="+", help="N=UNIT: the unit behind COMn")
    options = parser.parse_args(argv[:split])
    command = argv[split + 1:]
    units = {int(n): description for n, description in (u.split("=", 1) for u in options.unit)}
    lines = read_units_file(options.units) if options.units else []

    # SIGTERM and SIGHUP end this as Ctrl-C does, through the clean-up below.
    for sig in (signal.SIGTERM, signal.SIGHUP):
        signal.signal(sig, lambda number, _: sys.exit(128 + number))
    with Units(options.sim, options.dir, units) as sim:
        sim.prepare(lines)
        status = subprocess.run(command, env=sim.environment()).returncode
        problems = sim.check(lines)
    for problem in problems:
        print("units: " + problem, file=sys.stderr)
    if status != 0:
        print("units: %s exited with %d" % (" ".join(command), status), file=sys.stderr)
    elif lines and not problems:
        print("units: the units show what %s expects" % os.path.relpath(options.units))
    print("units: the units' trace is %s, the module's %s" % (sim.path("sim.trace"), sim.path("wire.txt")))
    return 1 if status != 0 or problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
