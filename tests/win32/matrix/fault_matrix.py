#!/usr/bin/env python3
"""The fault matrix: each kind of unit failing in each way a unit can fail,
and two ways a port can fail, met by the registered DLL as a script meets
them (members called by name through IDispatch).

  fault_matrix.py --sim ORVO_SIM --run RUN_DIR --dll DLL --client MatrixClient.exe

Every row makes the same four calls of its class (a reading, a write,
SendFaults and the hunt or SetAddress) while the fault lasts, and checks for
each call: the status docs/api.md gives; that it came back within the time
the link's time-outs allow (and, for a silent unit, not much sooner: a wait
that went missing is a fault too); that the host lives. Then the fault ends,
and the same object's next call must succeed and read what the unit holds;
the remembered ports must be what the calls should have left, during the row
and after it; DllCanUnloadNow must say S_FALSE while the object lives and
S_OK once it is released. A table of figures closes the run.
"""
import os
import sys
import time

from harness import (EMULATED, S_FALSE, S_OK, UNITS, Bench, Crash, Hang, command_line, holders,
                     wine_server)

# COM44 is listed in the serial-port map with no device behind it.
CONSOLE, PLC, FAULT, GONE = 41, 42, 43, 44

# The link's waits (link/Comm.cpp): a serial read gives up after 100 ms plus
# 100 ms per reply byte; a reply that is not whole gets a 500 ms pause, a
# reopen and one resend. The short-frame units get 50 ms before each read.
RESEND_PAUSE = 0.5


def unanswered(reply_bytes, reply_delay=0.0):
    """What a frame nobody answers costs: read, pause, reopen, resend, read."""
    return 2 * (reply_delay + 0.1 + 0.1 * reply_bytes) + RESEND_PAUSE


CONSOLE_FRAME = unanswered(14)  # 3.5 s: the status read, the writes, a fault item
ADDRESS_QUERY = unanswered(2) + 0.05  # 1.15 s with SetAddress's pause when none answers
SHORT_FRAME = unanswered(3, 0.05)  # 1.4 s
PROBE = SHORT_FRAME + 0.5  # the fault unit pauses after every probe, answered or not
QUICK = 0.3  # a call whose unit answers, or whose port does not open

# A late unit answers after this, past every read's time-out (1.5 s at most).
LATE_MS = 2500


def limit(model):
    """The bound a call is held to: the model with room for a loaded machine
    (each open and close of a port under Wine costs milliseconds to tens of
    them, and other work shares the two cores). Under qemu the waits stay
    what they are, but all the work between them is emulated."""
    return (1.5 * model + 1.5) * (3 if EMULATED else 1)


# What each class calls, in the order the calls run, how it recovers, and the
# readings a recovered call must bring back. The units hold these readings:
# console Neg 15 V, Pos 24 V (codes 4 and 8); PLC main block 0x24: the
# selector at position 3, DC off (bit 5 set, active low), Monitor on.
KINDS = {
    "console": {
        "unit": "console41", "port": CONSOLE, "progid": "OrvoTrainer.Echo.1",
        "remembered": "BrixPort_41",
        "calls": [("CheckComm",), ("SetSwitches", "s:AC1,DC3"), ("SendFaults", "s:4612"),
                  ("SetAddress", "i2:41")],
        "recovery": [("CheckComm",)],
        "readings": {"Neg": 15, "Pos": 24},
        "state": [("neg", 4), ("pos", 8)],
    },
    "plc": {
        "unit": "plc42", "port": PLC, "progid": "OrvoTrainer.Plc.1", "remembered": "SorlPort",
        "calls": [("ReadMain",), ("SetSelector", "i2:5"), ("SendFaults", "s:F3"), ("HuntPort",)],
        "recovery": [("HuntPort",), ("ReadMain",)],
        "readings": {"Selector": 3, "DC": 0, "Monitor": 1},
        "state": [("main", "0x24")],
    },
    "fault": {
        "unit": "fault43", "port": FAULT, "progid": "OrvoTrainer.Fault.1", "remembered": "TarnPort",
        "calls": [("CheckComm",), ("ClearFaults",), ("SendFaults", "s:F3"), ("HuntPort",)],
        "recovery": [("HuntPort",), ("CheckComm",)],
        "readings": {},
        "state": [],
    },
}

EITHER = frozenset({60, 61})
# The remembered port a late row leaves depends on which replies landed in
# which read: the console's is not judged until the row is over; the PLC's
# and the fault unit's must agree with what their hunt reported.
NOT_JUDGED, AS_HUNTED = "not judged", "as hunted"
LATE = "a late reply can answer a later frame: the link never discards input"


class Row:
    """One kind of unit, one fault: the statuses of the four calls, the time
    each may take by the model (seconds), and the remembered port after them
    (None: the class's value stays as found; a number: what it must be; or
    NOT_JUDGED or AS_HUNTED)."""

    def __init__(self, kind, fault, statuses, models, remembered=None):
        self.kind = kind
        self.fault = fault
        self.statuses = statuses
        self.models = models
        self.remembered = remembered
        self.floor = fault == "silent"  # the call takes the whole model
        self.why = LATE if fault == "late" else ""

    @property
    def name(self):
        return "%s %s" % (self.kind, self.fault)


def unanswered_rows(kind, models):
    """A silent unit and one whose replies are cut short fail alike."""
    return [Row(kind, fault, [60] * 4, models, remembered=0) for fault in ("silent", "short")]


# Models: where a console call fails its connect step, it tries the
# remembered port and then hunts the map, which holds that port again and
# COM44 (no device, so no wait); the failed hunt remembers port 0, so later
# calls try that port once. A PLC hunt probes Port and then the map; a fault
# unit's hunt pauses after each probe that reached a unit.
CONSOLE_ANSWERED = [QUICK, QUICK + 0.1, QUICK + 0.1, QUICK]
ROWS = [
    Row("console", "none", [61] * 4, CONSOLE_ANSWERED),
    *unanswered_rows("console", [2 * CONSOLE_FRAME, CONSOLE_FRAME, CONSOLE_FRAME, ADDRESS_QUERY]),
    # A serial console reply is taken by its length alone; only SetAddress
    # looks at who answered.
    Row("console", "other-address", [61, 61, 61, 60], CONSOLE_ANSWERED),
    # Every exchange a call can make may run into its time-out: the connect
    # step twice, then each of the method's own frames.
    Row("console", "late", [EITHER] * 4,
        [3 * CONSOLE_FRAME, 4 * CONSOLE_FRAME + 0.1, 3 * CONSOLE_FRAME + 0.1, ADDRESS_QUERY],
        remembered=NOT_JUDGED),
    Row("console", "garbage", [61, 61, 61, 60], CONSOLE_ANSWERED),
    Row("console", "vanish", [60] * 4, [CONSOLE_FRAME, QUICK, QUICK, ADDRESS_QUERY], remembered=0),
    Row("console", "held", [60] * 4, [QUICK, QUICK, QUICK, ADDRESS_QUERY], remembered=0),
    # Port points at COM44 before every call: the connect step finds the
    # console again and remembers COM41.
    Row("console", "gone", [61] * 4, CONSOLE_ANSWERED),

    Row("plc", "none", [61] * 4, [QUICK] * 4),
    *unanswered_rows("plc", [SHORT_FRAME, SHORT_FRAME, SHORT_FRAME, 2 * SHORT_FRAME]),
    # Reads, selector writes and the probe must be confirmed by the unit's
    # address; SendFaults looks at no reply.
    Row("plc", "other-address", [60, 60, 61, 60], [QUICK] * 4, remembered=0),
    Row("plc", "late", [EITHER] * 4,
        [3 * SHORT_FRAME, 4 * SHORT_FRAME, SHORT_FRAME, 4 * SHORT_FRAME], remembered=AS_HUNTED),
    Row("plc", "garbage", [60, 60, 61, 60], [QUICK] * 4, remembered=0),
    Row("plc", "vanish", [60] * 4, [SHORT_FRAME, QUICK, QUICK, QUICK], remembered=0),
    Row("plc", "held", [60] * 4, [QUICK] * 4, remembered=0),
    # Port is COM44 from the start: only the hunt leaves it.
    Row("plc", "gone", [60, 60, 60, 61], [QUICK] * 4),

    Row("fault", "none", [61] * 4, [QUICK, QUICK, QUICK, PROBE]),
    *unanswered_rows("fault", [SHORT_FRAME, SHORT_FRAME, SHORT_FRAME, 2 * PROBE]),
    # The probe (CheckComm, the hunt) checks the address; ClearFaults and
    # SendFaults report the exchange alone.
    Row("fault", "other-address", [60, 61, 61, 60], [QUICK, QUICK, QUICK, 2 * PROBE], remembered=0),
    Row("fault", "late", [EITHER] * 4, [SHORT_FRAME, SHORT_FRAME, SHORT_FRAME, 2 * PROBE],
        remembered=AS_HUNTED),
    Row("fault", "garbage", [60, 61, 61, 60], [QUICK, QUICK, QUICK, 2 * PROBE], remembered=0),
    Row("fault", "vanish", [60] * 4, [SHORT_FRAME, QUICK, QUICK, QUICK], remembered=0),
    Row("fault", "held", [60] * 4, [QUICK] * 4, remembered=0),
    Row("fault", "gone", [60, 60, 60, 61], [QUICK, QUICK, QUICK, PROBE]),
]

# How orvo-sim is told to fail; a late unit is late for every exchange of the
# row (orvo-sim would read -1 as an option).
MISBEHAVIOUR = {"silent": (), "short": (), "other-address": (), "garbage": (),
                "late": (10000, LATE_MS), "vanish": (1,)}



class Outcome:
    def __init__(self, row):
        self.row = row
        self.statuses = []
        self.longest = (0.0, 0.0, "")  # seconds, bound, member
        self.crashes = 0
        self.hangs = 0
        self.ports_intact = True
        self.left_open = 0  # calls after which the port was still held
        self.recovered = False
        self.unloads = False
        self.note = row.why
        self.problems = []

    def fail(self, text):
        self.problems.append(text)
        print("  FAIL %s" % text, flush=True)


class Matrix(Bench):
    def __init__(self, args):
        super().__init__(args, "fault-matrix.wine.log")
        self.prefix = os.environ["WINEPREFIX"]
        self.baseline = {}
        self.gone_link = os.path.join(self.prefix, "dosdevices", "com%d" % GONE)
        self.server = None
        self.held = 0  # handles the client itself holds on the unit's port

    # The client, with a hang or a crash counted against the row and the
    # client started afresh.
    def ask(self, outcome, command, timeout=30):
        try:
            return self.client.ask(command, timeout)
        except (Hang, Crash) as error:
            if isinstance(error, Hang):
                outcome.hangs += 1
                outcome.fail("hang: no answer to '%s' within %.0f s" % (command, timeout))
            else:
                outcome.crashes += 1
                outcome.fail("crash at '%s': %s" % (command, error))
            self.client.restart()
            self.held = 0
        return None

    def ports(self, outcome=None):
        answer = self.ask(outcome, "ports") if outcome else self.must("ports")
        return None if answer is None else answer.pairs()

    def set_state(self, unit):
        for field, value in KINDS[UNITS[unit][0]]["state"]:
            self.units.send("set", unit, field, value)

    # Each kind's rows see the serial-port map hold that unit's port and
    # COM44 alone, so that a failing hunt pays for one live port, not for
    # every unit's.
    def prepare_map(self, kind):
        for port in (CONSOLE, PLC, FAULT, GONE):
            listed = port in (KINDS[kind]["port"], GONE) if kind else True
            self.must("%s %d" % ("map" if listed else "unmap", port))

    def setup(self):
        for unit in UNITS:
            self.set_state(unit)
        super().setup()
        self.server = wine_server(self.prefix)
        if self.server is None:
            raise SystemExit("fault_matrix: no wineserver serves %s" % self.prefix)
        # A mapped COM44 whose device is missing: a link to nothing.
        if os.path.lexists(self.gone_link):
            os.remove(self.gone_link)
        os.symlink(os.path.join(self.run, "no-such-device"), self.gone_link)
        self.prepare_map(None)
        # Every unit found once over the whole map, the way a lesson starts:
        # these remembered ports are what every row must leave behind.
        # Each kind's last call is its hunt, or SetAddress for the console.
        for kind in KINDS.values():
            for command in ("new o %s" % kind["progid"], "put o Address i2:%d" % kind["port"],
                            "call o " + " ".join(kind["calls"][-1])):
                answer = self.must(command)
            if answer.status() != 61:
                raise SystemExit("fault_matrix: the units are not found at the start: "
                                 "'%s' -> %s" % (command, answer))
        self.must("release *")
        self.baseline = self.ports()
        expected = {kind["remembered"]: str(kind["port"]) for kind in KINDS.values()}
        if any(self.baseline.get(k) != v for k, v in expected.items()):
            raise SystemExit("fault_matrix: remembered ports at the start: %s" % self.baseline)

    def teardown(self):
        if self.client:
            try:
                self.prepare_map(None)
                self.must("unmap %d" % GONE)
            except (Hang, Crash, SystemExit):
                pass
        if os.path.lexists(self.gone_link):
            os.remove(self.gone_link)
        super().teardown()

    def check_ports(self, outcome, remembered, when):
        expected = dict(self.baseline)
        if remembered is not None:
            expected[KINDS[outcome.row.kind]["remembered"]] = str(remembered)
        now = self.ports(outcome)
        if now is not None and now != expected:
            outcome.ports_intact = False
            changed = {k: (expected.get(k), now.get(k)) for k in set(expected) | set(now)
                       if expected.get(k) != now.get(k)}
            outcome.fail("remembered ports %s: %s (expected, found)" % (when, changed))

    def new_object(self, outcome):
        kind = KINDS[outcome.row.kind]
        for command in ("new o %s" % kind["progid"], "put o Address i2:%d" % kind["port"]):
            answer = self.ask(outcome, command)
            if answer is None or not answer.ok or answer.hr not in (None, S_OK):
                outcome.fail("'%s' -> %s" % (command, answer))
                return False
        return True

    def start_fault(self, outcome):
        """Returns the expected statuses and remembered port, which for a
        held port depend on whether the system refuses a second open."""
        row, kind = outcome.row, KINDS[outcome.row.kind]
        statuses, remembered = row.statuses, row.remembered
        if row.fault in MISBEHAVIOUR:
            self.units.send("misbehave", kind["unit"], row.fault, *MISBEHAVIOUR[row.fault])
        elif row.fault == "held":
            answer = self.ask(outcome, "hold %d" % kind["port"])
            self.held = 1 if answer is not None and answer.ok else 0
            # The client's own handle must show, or a port left open would too
            # go unseen.
            if self.holders(outcome) != self.held:
                outcome.fail("the client's hold on COM%d is not seen among the wineserver's"
                             " descriptors" % kind["port"])
            if answer is not None and answer.words[1:] == ["shared"]:
                # Wine lets a second program open a serial device that one
                # holds: the calls then reach the unit as if nobody held it.
                statuses, remembered = [61] * 4, None
                outcome.note = "Wine does not refuse a second open: calls reach the unit"
        elif row.fault == "gone" and row.kind != "console":
            self.ask(outcome, "put o Port i2:%d" % GONE)
        return statuses, remembered

    def end_fault(self, outcome):
        row, kind = outcome.row, KINDS[outcome.row.kind]
        if row.fault in MISBEHAVIOUR and row.fault != "vanish":
            self.units.send("misbehave", kind["unit"], "none")
        if row.fault == "late":
            # The last late reply is due LATE_MS after the last frame; what
            # arrived unread is thrown away, as Windows does when a port opens.
            time.sleep(LATE_MS / 1000.0 + 0.5)
            self.ask(outcome, "drain %d" % kind["port"])
        elif row.fault == "vanish":
            self.units.revive(kind["unit"])
            self.set_state(kind["unit"])
        elif row.fault == "held":
            self.ask(outcome, "free %d" % kind["port"])
            self.held = 0

    def holders(self, outcome):
        """The prefix's open handles on the row's unit; None once it vanished."""
        try:
            device = os.readlink(self.units.link_of(KINDS[outcome.row.kind]["unit"]))
        except OSError:
            return None
        return holders(self.server, device)

    def check_port_free(self, outcome, member):
        """A call returns with its port closed: only the client's own hold may
        be left."""
        held = self.holders(outcome)
        if held is not None and held > self.held:
            outcome.left_open += 1
            outcome.fail("%s returned with COM%d still open (%d handles)" % (
                member, KINDS[outcome.row.kind]["port"], held))

    def call(self, outcome, member, arguments, expected, model, floor):
        bound = limit(model)
        command = " ".join(("call o", member) + tuple(arguments))
        answer = self.ask(outcome, command, timeout=2 * bound + 10)
        if answer is None:
            outcome.longest = (2 * bound + 10, bound, member + " hung")
            return None
        status = answer.status()
        print("  %-34s %-5s %6.2f s (bound %5.2f s)  %s" % (
            command[7:], status, answer.seconds, bound, answer.line), flush=True)
        if answer.seconds > outcome.longest[0] and not outcome.longest[2].endswith("hung"):
            outcome.longest = (answer.seconds, bound, member)
        allowed = expected if isinstance(expected, frozenset) else {expected}
        if status not in allowed:
            outcome.fail("%s gave %s, expected %s" % (member, answer, "/".join(
                str(s) for s in sorted(allowed))))
        if answer.seconds > bound:
            outcome.fail("%s took %.2f s, bound %.2f s" % (member, answer.seconds, bound))
        if floor and answer.seconds < 0.8 * model:
            outcome.fail("%s took %.2f s, less than a silent unit's %.2f s" % (
                member, answer.seconds, model))
        self.check_port_free(outcome, member)
        return status

    def run_row(self, row):
        outcome = Outcome(row)
        kind = KINDS[row.kind]
        print("%s" % row.name, flush=True)
        if not self.new_object(outcome):
            return outcome
        statuses, remembered = self.start_fault(outcome)
        restarts = self.client.restarts
        for (member, *arguments), expected, model in zip(kind["calls"], statuses, row.models):
            if row.fault == "gone" and row.kind == "console":
                self.ask(outcome, "put o Port i2:%d" % GONE)
            outcome.statuses.append(self.call(outcome, member, arguments, expected, model,
                                              row.floor))
            if self.client.restarts != restarts:
                break  # the object went with the client
        if self.client.restarts == restarts:
            if remembered == AS_HUNTED:
                remembered = None if outcome.statuses[-1] == 61 else 0
            if remembered != NOT_JUDGED:
                self.check_ports(outcome, remembered, "while the unit failed")
            answer = self.ask(outcome, "canunload")
            if answer is not None and answer.hr != S_FALSE:
                outcome.fail("DllCanUnloadNow with an object alive: %s" % answer)
        self.end_fault(outcome)
        # The same object, unless a hang or a crash took it.
        if self.client.restarts != restarts and not self.new_object(outcome):
            return outcome
        recovered = True
        for member, *arguments in kind["recovery"]:
            recovered &= self.call(outcome, member, arguments, 61, QUICK, False) == 61
        for name, value in kind["readings"].items():
            answer = self.ask(outcome, "get o %s" % name)
            if answer is None or answer.status() != value:
                recovered = False
                outcome.fail("after recovery %s is %s, the unit holds %s" % (name, answer, value))
        outcome.recovered = recovered
        self.check_ports(outcome, None, "after recovery")
        self.ask(outcome, "release *")
        answer = self.ask(outcome, "canunload")
        outcome.unloads = answer is not None and answer.hr == S_OK
        if not outcome.unloads:
            outcome.fail("DllCanUnloadNow once released: %s" % answer)
        return outcome

    def run_rows(self, rows):
        outcomes = []
        kind = None
        for row in rows:
            if row.kind != kind:
                kind = row.kind
                self.prepare_map(kind)
            outcomes.append(self.run_row(row))
        return outcomes


def table(outcomes):
    header = ("row", "calls", "statuses", "longest call / bound", "crashes", "hangs", "left open",
              "ports", "recovered", "unload", "note")
    lines = [header]
    for o in outcomes:
        seconds, bound, member = o.longest
        lines.append((o.row.name, str(len(o.statuses)),
                      " ".join("-" if s is None else str(s) for s in o.statuses),
                      "%.2f s / %.1f s %s" % (seconds, bound, member), str(o.crashes),
                      str(o.hangs), str(o.left_open), "intact" if o.ports_intact else "CHANGED",
                      "yes" if o.recovered else "NO", "S_OK" if o.unloads else "NO", o.note))
    widths = [max(len(line[i]) for line in lines) for i in range(len(header) - 1)]
    for line in lines:
        print("  ".join(cell.ljust(w) for cell, w in zip(line, widths)) + "  " + line[-1])


def main():
    parser = command_line(__doc__)
    parser.add_argument("--rows", help="only the rows whose name contains this text")
    args = parser.parse_args()
    rows = [r for r in ROWS if not args.rows or args.rows in r.name]
    start = time.monotonic()
    matrix = Matrix(args)
    try:
        matrix.setup()
        outcomes = matrix.run_rows(rows)
    finally:
        matrix.teardown()
    print()
    table(outcomes)
    failed = [o for o in outcomes if o.problems]
    print("\nfault_matrix: %d rows, %d calls, %d failed, in %.0f s" % (
        len(outcomes), sum(len(o.statuses) for o in outcomes), len(failed),
        time.monotonic() - start))
    for o in failed:
        print("  %s: %s" % (o.row.name, "; ".join(o.problems)))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
