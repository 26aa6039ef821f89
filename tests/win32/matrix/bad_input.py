#!/usr/bin/env python3
"""Bad input from the script hosts: variants no member takes, through
IDispatch::Invoke on the registered DLL, against every kind of member.

  bad_input.py --sim ORVO_SIM --run RUN_DIR --dll DLL --client MatrixClient.exe

Each row gives the HRESULT (and, on success, the value) it must give, says
whether the call may reach the unit (a refused call sends no frame), and is
followed by a plain call on the same object that must work as before. A
crash or a hang fails the row and the client is started afresh.
"""
import sys
import time
from collections import Counter

from harness import S_OK, Bench, Crash, Hang, command_line

E_INVALIDARG = 0x80070057
MEMBER_NOT_FOUND = 0x80020003  # DISP_E_MEMBERNOTFOUND
PARAM_NOT_FOUND = 0x80020004  # DISP_E_PARAMNOTFOUND
TYPE_MISMATCH = 0x80020005  # DISP_E_TYPEMISMATCH
OVERFLOW = 0x8002000A  # DISP_E_OVERFLOW
BAD_PARAM_COUNT = 0x8002000E  # DISP_E_BADPARAMCOUNT
PARAM_NOT_OPTIONAL = 0x8002000F  # DISP_E_PARAMNOTOPTIONAL
NOT_A_COLLECTION = 0x80020011  # DISP_E_NOTACOLLECTION
NAMES = {S_OK: "S_OK", E_INVALIDARG: "E_INVALIDARG", MEMBER_NOT_FOUND: "MEMBERNOTFOUND",
         PARAM_NOT_FOUND: "PARAMNOTFOUND", TYPE_MISMATCH: "TYPEMISMATCH", OVERFLOW: "OVERFLOW",
         BAD_PARAM_COUNT: "BADPARAMCOUNT", PARAM_NOT_OPTIONAL: "PARAMNOTOPTIONAL",
         NOT_A_COLLECTION: "NOTACOLLECTION"}

# The objects and the units behind them; Port is what every row must leave.
OBJECTS = {
    "e": {"progid": "OrvoTrainer.Echo.1", "unit": "console41", "address": 0, "port": 41,
          "plain": ("call e SetAux i2:3", 61)},
    "p": {"progid": "OrvoTrainer.Plc.1", "unit": "plc42", "address": 42, "port": 42,
          "plain": ("call p ClearFaults", 61)},
    "f": {"progid": "OrvoTrainer.Fault.1", "unit": "fault43", "address": 43, "port": 43,
          "plain": ("call f ClearFaults", 61)},
}

MEG = 1048576
REFUSED, SENT, QUIET = False, True, None  # frames: none, some, either


class Case:
    """obj, member, how (method, get, put, put-unnamed, statement, no-params,
    named), the arguments in script order, what Invoke must give (an HRESULT,
    or a set of them where Windows and Wine differ), the value on success,
    whether frames may reach the unit, and a unit field to read after it."""

    def __init__(self, obj, member, how, arguments, hr, value=None, frames=QUIET, unit=None,
                 before=None, note=""):
        self.obj, self.member, self.how, self.arguments = obj, member, how, arguments
        self.hr = hr if isinstance(hr, frozenset) else frozenset({hr})
        self.value, self.frames, self.unit = value, frames, unit
        self.before, self.note = before, note

    @property
    def command(self):
        return " ".join(["invoke", self.obj, self.member, self.how] + self.arguments)


def call(obj, member, arguments, hr, value=None, frames=QUIET, **more):
    return Case(obj, member, "method", arguments, hr, value, frames, **more)


def refused(obj, member, how, arguments, hr, **more):
    return Case(obj, member, how, arguments, hr, None, REFUSED, **more)


# Several single arguments with one outcome, a case each.
def calls(obj, member, alternatives, hr, value, frames):
    return [call(obj, member, [argument], hr, value, frames) for argument in alternatives]


def refusals(obj, member, how, alternatives, hr):
    return [refused(obj, member, how, [argument], hr) for argument in alternatives]


MISSING = frozenset({TYPE_MISMATCH, PARAM_NOT_OPTIONAL})

CASES = [
    # Property get (Port, Version).
    Case("e", "Port", "get", [], S_OK, 41),
    Case("e", "Port", "method", [], S_OK, 41, note="as VBScript reads a property"),
    refused("e", "Port", "get", ["i2:1"], NOT_A_COLLECTION, note="an index Port does not have"),
    Case("e", "Version", "get", [], S_OK, ""),
    refused("e", "id:999", "method", [], MEMBER_NOT_FOUND),
    refused("e", "HuntPort", "get", [], MEMBER_NOT_FOUND, note="a method read as a property"),
    # Property put (Port and Address, 16-bit).
    *refusals("e", "Port", "put", ["s:abc", "null", "arr:i2"], TYPE_MISMATCH),
    *refusals("e", "Port", "put", ["i4:70000", "i4:-32769"], OVERFLOW),
    Case("e", "Port", "put", ["s:41"], S_OK, note="a numeric string is converted"),
    Case("e", "Port", "put", ["date:41"], S_OK, note="a date counts its days"),
    refused("e", "Port", "put-unnamed", ["i2:41"], PARAM_NOT_FOUND,
            note="a put without DISPID_PROPERTYPUT"),
    refused("e", "Port", "put", [], E_INVALIDARG, note="one named argument but no arguments"),
    refused("e", "Port", "put", ["i2:7", "i2:41"], BAD_PARAM_COUNT,
            note="o.Port(7) = 41: an index Port does not have"),
    refused("e", "Model", "put", ["i2:3"], MEMBER_NOT_FOUND, note="read-only"),
    refused("p", "Address", "put", ["i4:-40000"], OVERFLOW),
    refused("f", "Address", "put", ["r8:1e6"], OVERFLOW),
    # A method with a 16-bit argument (SetAux).
    *calls("e", "SetAux", ["i2:3", "s:3", "i4:-32768", "r8:2.5", "cy:3", "date:2", "bool:1",
                           "ref:i2:3"], S_OK, 61, SENT),
    call("e", "SetAux", ["empty"], S_OK, 61, SENT, note="Empty is 0"),
    *refusals("e", "SetAux", "method", ["s:abc", "s:", "null", "err:5", "arr:i2", "ref:s:abc"],
              TYPE_MISMATCH),
    refused("e", "SetAux", "method", ["obj:e"], TYPE_MISMATCH, note="an object with no value"),
    *refusals("e", "SetAux", "method", ["i4:32768", "i4:-32769", "i8:5000000000", "r8:1e10"],
              OVERFLOW),
    refused("e", "SetAux", "method", ["date:45000.5"], OVERFLOW, note="a date of this century"),
    refused("e", "SetAux", "method", ["missing"], MISSING),
    call("e", "SetAux", ["ui2:65535"], frozenset({S_OK, OVERFLOW}), frames=QUIET,
           note="Wine passes 65535 on as -1; Windows refuses it"),
    refused("e", "SetAux", "method", [], BAD_PARAM_COUNT),
    refused("e", "SetAux", "method", ["i2:3", "i2:4"], BAD_PARAM_COUNT),
    Case("e", "SetAux", "statement", ["i2:3"], S_OK, None, SENT, note="o.SetAux 3"),
    refused("e", "SetAux", "no-params", [], E_INVALIDARG, note="no DISPPARAMS at all"),
    refused("e", "SetAux", "named", ["i2:3"], BAD_PARAM_COUNT,
            note="an argument named by a DISPID of no parameter"),
    refused("e", "SetAux", "put", ["i2:3"], MEMBER_NOT_FOUND),
    # A method with a string argument (SetSwitches, SendFaults).
    *calls("e", "SetSwitches", ["s:AC1,DC3", "ref:s:AC1"], S_OK, 61, SENT),
    call("e", "SetSwitches", ["i2:5"], S_OK, 61, SENT, note='"5" names no switch'),
    *refusals("e", "SetSwitches", "method", ["null", "obj:e", "arr:s"], TYPE_MISMATCH),
    call("e", "SetSwitches", ["empty"], S_OK, 61, SENT, note="all off"),
    call("e", "SetSwitches", ["nullbstr"], S_OK, 61, SENT, note="a null string is empty"),
    call("e", "SetSwitches", ["big:%d:A" % MEG], S_OK, 61, SENT, note="1 MB, no switch"),
    call("e", "SetSwitches", ["big:%d:," % MEG], S_OK, 61, SENT,
           note="1 MB of commas: a million empty items"),
    call("e", "SetSwitches", ["s:AC1%00DC3"], S_OK, 61, SENT, unit=("switch", "0x02"),
           before=("switch", "0x00"), note="read up to the NUL: AC1 alone"),
    refused("e", "SetSwitches", "method", ["missing"], MISSING),
    call("e", "SendFaults", ["big:%d:," % MEG], S_OK, 65, REFUSED,
           note="a million empty items, none sent"),
    call("e", "SendFaults", ["big:%d:A" % MEG], S_OK, 65, REFUSED, note="one item of 1 MB"),
    call("e", "SendFaults", ["s:4705%00zz"], S_OK, 61, SENT, unit=("faults", "0x47:0x05"),
           note="read up to the NUL"),
    # Two arguments (ChangeSwitch: string and short; SetVoltages and SetBncs:
    # two shorts; SetStudentControl: two strings).
    call("e", "ChangeSwitch", ["s:AC1", "i2:1"], S_OK, 61, SENT),
    refused("e", "ChangeSwitch", "method", ["s:AC1"], BAD_PARAM_COUNT),
    refused("e", "ChangeSwitch", "method", ["s:AC1", "s:x"], TYPE_MISMATCH),
    refused("e", "ChangeSwitch", "method", ["i2:1", "s:AC1"], TYPE_MISMATCH, note="swapped"),
    refused("e", "ChangeSwitch", "method", ["s:AC1", "i4:70000"], OVERFLOW),
    refused("e", "ChangeSwitch", "method", ["s:AC1", "missing"], MISSING),
    refused("e", "SetVoltages", "method", ["i2:-12", "i4:99999"], OVERFLOW),
    refused("e", "SetVoltages", "method", ["i2:-12", "i2:15", "i2:1"], BAD_PARAM_COUNT),
    call("e", "SetBncs", ["i2:2", "i2:3"], S_OK, 61, SENT, unit=("bncs", "0x23"),
         note="parameters with no direction flag are inputs"),
    refused("e", "SetBncs", "method", ["i2:2", "s:x"], TYPE_MISMATCH),
    refused("e", "SetBncs", "method", ["i2:2"], BAD_PARAM_COUNT),
    refused("e", "SetStudentControl", "method", ["s:false", "null"], TYPE_MISMATCH),
    call("e", "SetStudentControl", ["big:%d:x" % MEG, "s:false"], S_OK, 61, SENT),
    # The PLC trainer and the fault unit.
    refused("p", "SetSelector", "method", ["s:x"], TYPE_MISMATCH),
    refused("p", "SetAddress", "method", ["s:abc"], TYPE_MISMATCH),
    call("p", "SendFaults", ["big:%d:," % MEG], S_OK, 65, REFUSED),
    call("p", "SendFaults", ["nullbstr"], S_OK, 61, REFUSED, note="an empty list"),
    call("f", "SendFaults", ["big:%d:F" % MEG], S_OK, 65, REFUSED),
    call("f", "SendFaults", ["i2:3"], S_OK, 65, REFUSED, note='"3" is no letter'),
    refused("f", "SendFaults", "method", [], BAD_PARAM_COUNT),
]

# orvo-sim puts a pty's line settings back some milliseconds after a port
# was configured, and Wine refuses to configure a port whose settings were
# not put back yet; a call that sent nothing gets no such help.
PACE = 0.05


class Table(Bench):
    def __init__(self, args):
        super().__init__(args, "bad-input.wine.log")
        self.remembered = None

    def setup(self):
        super().setup()
        # The console object has no address, so its Port puts land in
        # BrixPort_0; the table puts back what it found.
        self.remembered = self.must("ports").pairs().get("BrixPort_0")
        self.create()

    def create(self):
        for name, o in OBJECTS.items():
            for command in ("new %s %s" % (name, o["progid"]),
                            "put %s Address i2:%d" % (name, o["address"]),
                            "put %s Port i2:%d" % (name, o["port"])):
                self.must(command)

    def frames(self, unit):
        return int(self.units.send("frames", unit).split()[1].rstrip(";"))

    def check(self, case):
        problems = []
        o = OBJECTS[case.obj]
        unit = o["unit"]
        if case.before:
            self.units.send("set", unit, *case.before)
        self.units.send("clear", unit)
        try:
            answer = self.client.ask(case.command, timeout=60)
        except (Hang, Crash) as error:
            self.client.restart()
            self.create()
            return "%s: %s" % (type(error).__name__.lower(), error), ["%s" % error]
        time.sleep(PACE)
        got = NAMES.get(answer.hr, "0x%08X" % (answer.hr or 0))
        if answer.hr not in case.hr:
            problems.append("gave %s" % answer)
        if answer.hr == S_OK and case.value is not None:
            value = answer.status() if isinstance(case.value, int) else (
                "" if answer.length == 0 else answer.value)
            if value != case.value:
                problems.append("value %r, expected %r" % (value, case.value))
        if answer.hr == S_OK and answer.status() is not None:
            got += " %d" % answer.status()
        sent = self.frames(unit)
        if answer.hr != S_OK and sent:
            problems.append("refused, yet the unit received %d frames" % sent)
        if case.frames is REFUSED and sent:
            problems.append("the unit received %d frames" % sent)
        if case.frames is SENT and answer.hr == S_OK and not sent:
            problems.append("nothing reached the unit")
        if case.unit:
            field, expected = case.unit
            now = self.units.send("get", unit, field)
            if now != "ok " + expected:
                problems.append("unit %s is %s, expected %s" % (field, now, expected))
        # The object is as usable as before: its Port is what it was, and a
        # plain call works.
        port = self.client.ask("get %s Port" % case.obj)
        if port.status() != o["port"]:
            problems.append("Port afterwards %s" % port)
        command, status = o["plain"]
        plain = self.client.ask(command)
        time.sleep(PACE)
        if plain.status() != status:
            problems.append("the plain call afterwards gave %s" % plain)
        return got, problems

    def teardown(self):
        if self.client and self.remembered is not None and self.remembered.lstrip("-").isdigit():
            self.client.ask("new r OrvoTrainer.Echo.1")
            self.client.ask("put r Port i2:%s" % self.remembered)
        super().teardown()


def main():
    args = command_line(__doc__).parse_args()
    start = time.monotonic()
    table = Table(args)
    results = []
    try:
        table.setup()
        for case in CASES:
            got, problems = table.check(case)
            results.append((case, got, problems))
            print("%-4s %-62s %-22s %s" % ("FAIL" if problems else "ok", case.command[7:][:62], got,
                                           "; ".join(problems) or case.note), flush=True)
    finally:
        table.teardown()
    failed = [r for r in results if r[2]]
    kinds = Counter(got.split()[0] for _, got, _ in results)
    print("\noutcomes: " + ", ".join("%s %d" % item for item in sorted(kinds.items())))
    print("bad_input: %d cases, %d failed, %d client restarts, in %.0f s" % (
        len(results), len(failed), table.client.restarts, time.monotonic() - start))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
