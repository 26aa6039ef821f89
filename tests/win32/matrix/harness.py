"""What the fault matrix and the bad-input table share: MatrixClient.exe under
Wine, answering one command a line, and the simulated units behind the COM
ports, changed through orvo-sim's control socket.

A call that does not answer in time is a hang and one that ends the process
is a crash; either way the client is started afresh so that the rows after
it still run.
"""
import argparse
import os
import queue
import re
import signal
import subprocess
import threading
import time

LOADER = os.environ.get("ORVO_WINE_LOADER", "wine")
# Set by a build whose Wine runs under qemu, where a Wine process takes most
# of a minute to start and everything it does runs slower.
EMULATED = bool(os.environ.get("ORVO_WINE_EMULATED"))

# The area's units by orvo-sim name: kind, address, COM port. Each unit's
# address is its port's number.
UNITS = {"console41": ("console", 41, 41), "plc42": ("plc", 42, 42), "fault43": ("fault", 43, 43)}
S_OK, S_FALSE = 0, 1


class Hang(Exception):
    pass


class Crash(Exception):
    pass


def windows_path(path):
    """Wine shows the Linux root as drive Z:."""
    return "Z:" + os.path.realpath(path).replace("/", "\\")


def register(dll):
    """regsvr32 for the machine, as the lessons register the DLL (Wine's COM
    ignores per-user classes)."""
    result = subprocess.run([LOADER, "regsvr32", "/s", windows_path(dll)],
                            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL, timeout=600 if EMULATED else 120)
    if result.returncode != 0:
        raise SystemExit("regsvr32 %s failed with status %d" % (dll, result.returncode))


def wine_server(prefix):
    """The pid of the wineserver that serves `prefix`: the one whose
    environment names it, as tools/wine-prefix finds it."""
    wanted = os.path.realpath(prefix)
    for pid in os.listdir("/proc"):
        if not pid.isdigit():
            continue
        try:
            with open("/proc/%s/comm" % pid) as comm:
                if not comm.read().startswith("wineserver"):
                    continue
            with open("/proc/%s/environ" % pid, "rb") as environ:
                variables = environ.read().split(b"\0")
        except OSError:
            continue
        for variable in variables:
            name, _, value = variable.decode(errors="replace").partition("=")
            if name == "WINEPREFIX" and os.path.realpath(value) == wanted:
                return int(pid)
    return None


def holders(server, device):
    """How many open handles of the prefix lead to `device`: the wineserver
    keeps one file descriptor for each, whichever process holds the handle."""
    count = 0
    try:
        descriptors = os.listdir("/proc/%d/fd" % server)
    except OSError:
        return None
    for fd in descriptors:
        try:
            if os.readlink("/proc/%d/fd/%s" % (server, fd)) == device:
                count += 1
        except OSError:
            pass
    return count


class Answer:
    """One answer line of the client: "ok hr=0x... vt=2 value=61 ms=12"."""

    def __init__(self, line, wall):
        self.line = line
        self.wall = wall  # seconds, measured here
        self.ok = line.startswith("ok")
        fields = dict(re.findall(r"(\w+)=(\S+)", line))
        self.hr = int(fields["hr"], 16) if "hr" in fields else None
        self.value = fields.get("value")
        self.vt = int(fields["vt"]) if "vt" in fields else None
        self.length = int(fields["len"]) if "len" in fields else None
        # The client's own clock around Invoke; the wall clock when it gave none.
        self.seconds = int(fields["ms"]) / 1000.0 if "ms" in fields else wall
        self.words = line.split()

    def status(self):
        """The 16-bit status a method returned, or None."""
        return int(self.value) if self.hr == 0 and self.vt == 2 else None

    def pairs(self):
        """NAME=VALUE words after "ok", as the ports command answers."""
        return dict(word.split("=", 1) for word in self.words[1:])

    def __str__(self):
        return self.line


class Client:
    """MatrixClient.exe under Wine, started once and kept for the whole run."""

    def __init__(self, exe, log):
        self.exe = exe
        self.log_file = log
        self.process = None
        self.lines = None
        self.restarts = 0
        self.start()

    def start(self):
        # Its own process group, so that a hung client can be ended without
        # touching anything else; stderr (Wine's own chatter) goes to the log.
        self.process = subprocess.Popen([LOADER, self.exe], stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, stderr=self.log_file, text=True,
                                        bufsize=1, start_new_session=True)
        self.lines = queue.Queue()
        threading.Thread(target=self._read, args=(self.process, self.lines), daemon=True).start()
        first = self._next(600 if EMULATED else 60)
        if first is None or not first.startswith("ok ready"):
            raise SystemExit("MatrixClient did not start: %r" % first)

    @staticmethod
    def _read(process, lines):
        for line in process.stdout:
            lines.put(line.rstrip("\r\n"))
        lines.put(None)  # the process is gone

    def _next(self, timeout):
        try:
            return self.lines.get(timeout=timeout)
        except queue.Empty:
            raise Hang()

    def ask(self, command, timeout=30):
        """The answer to one command; Hang or Crash when there is none."""
        start = time.monotonic()
        try:
            self.process.stdin.write(command + "\n")
            self.process.stdin.flush()
        except (BrokenPipeError, OSError):
            raise Crash("the client was gone before: " + command)
        line = self._next(timeout)
        if line is None or line.startswith("crash"):
            raise Crash(line or "the client ended without a word")
        return Answer(line, time.monotonic() - start)

    def restart(self):
        """After a hang or a crash: end what is left and start again."""
        self.restarts += 1
        self.stop(force=True)
        self.start()

    def stop(self, force=False):
        if self.process is None:
            return
        if not force and self.process.poll() is None:
            try:
                self.process.stdin.write("quit\n")
                self.process.stdin.flush()
                self.process.wait(timeout=30)
            except (OSError, subprocess.TimeoutExpired):
                force = True
        if self.process.poll() is None:
            os.killpg(self.process.pid, signal.SIGKILL)
            self.process.wait()
        self.process = None


class Units:
    """The simulated units of the area, by orvo-sim name (console41, ...)."""

    def __init__(self, sim, run, kinds):
        self.sim = sim
        self.run = run
        self.kinds = kinds  # name -> (kind, address, port)
        self.controls = {name: os.path.join(run, "sim.control") for name in kinds}
        self.revived = []

    def send(self, *words):
        name = words[1]
        result = subprocess.run([self.sim, "--send", self.controls[name], *map(str, words)],
                                capture_output=True, text=True, timeout=30)
        if not result.stdout.startswith("ok"):
            raise SystemExit("orvo-sim: %s -> %s%s" % (" ".join(map(str, words)), result.stdout,
                                                       result.stderr))
        return result.stdout.strip()

    def link_of(self, name):
        return os.path.join(self.run, "com%d" % self.kinds[name][2])

    def revive(self, name):
        """A vanished unit is gone for good in its orvo-sim: a new orvo-sim
        brings the same unit back behind the same link, as if it were plugged
        in again."""
        link = self.link_of(name)
        # The old one removes the link once its pty has closed; a link made
        # before that would be removed with it.
        deadline = time.monotonic() + 10
        while os.path.lexists(link):
            if time.monotonic() > deadline:
                raise SystemExit("%s did not vanish: %s is still there" % (name, link))
            time.sleep(0.05)
        kind, address, _ = self.kinds[name]
        base = os.path.join(self.run, "revived-%s-%d" % (name, len(self.revived)))
        for old in (base + ".ready", base + ".control"):
            if os.path.exists(old):
                os.remove(old)
        with open(base + ".log", "w") as log:
            process = subprocess.Popen(
                [self.sim, "--log", base + ".log", "--ready", base + ".ready", "--control",
                 base + ".control", "--trace", "/dev/null",
                 "--unit", "%s:address=%d:link=%s" % (kind, address, link)],
                stdin=subprocess.DEVNULL, stdout=log, stderr=log, start_new_session=True)
        self.revived.append(process)
        deadline = time.monotonic() + 10
        while not os.path.exists(base + ".ready"):
            if time.monotonic() > deadline or process.poll() is not None:
                raise SystemExit("orvo-sim did not bring %s back" % name)
            time.sleep(0.05)
        self.controls[name] = base + ".control"

    def stop(self):
        """Ends the orvo-sims started here; the area's own belongs to its
        fixture."""
        for process in self.revived:
            if process.poll() is None:
                process.terminate()
                try:
                    process.wait(timeout=10)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait()
        self.revived = []


def command_line(doc):
    """The options CMake passes to either table; the caller may add its own."""
    parser = argparse.ArgumentParser(description=doc.split("\n")[0])
    for option in ("--sim", "--run", "--dll", "--client"):
        parser.add_argument(option, required=True)
    return parser


class Bench:
    """The area's units, the registered DLL and the client, for one table."""

    def __init__(self, args, log_name):
        self.args = args
        self.run = os.path.realpath(args.run)
        self.units = Units(args.sim, self.run, UNITS)
        self.log = open(os.path.join(self.run, log_name), "w")
        self.client = None

    def setup(self):
        for unit in UNITS:
            self.units.send("misbehave", unit, "none")
        register(self.args.dll)
        self.client = Client(self.args.client, self.log)
        # Whatever an earlier test left unread on the ptys.
        for _, _, port in UNITS.values():
            self.must("drain %d" % port)

    def must(self, command):
        answer = self.client.ask(command)
        if not answer.ok or answer.hr not in (None, S_OK):
            raise SystemExit("%s: '%s' -> %s" % (type(self).__name__, command, answer))
        return answer

    def teardown(self):
        if self.client:
            self.client.stop()
        self.units.stop()
        self.log.close()
