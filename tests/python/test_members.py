"""Every member of the three classes against the simulated units: each
method's status with its unit present and absent and what the unit then
saw, each reading, and each member's docstring from docs/api.md."""
import json
import os
import re
import subprocess
import sys

import pytest

import orvotrainer

HERE = os.path.dirname(os.path.abspath(__file__))
API = os.path.join(HERE, "..", "..", "docs", "api.md")
PLACES = {"Echo": (5, 3), "Plc": (3, 2), "Fault": (9, 4)}  # address, COM number
UNIT = {"Echo": "console5", "Plc": "plc3", "Fault": "fault9"}


def make(cls):
    unit = getattr(orvotrainer, cls)()
    unit.Address, unit.Port = PLACES[cls]
    return unit


# Class, method, arguments, status with the unit there and with none, and
# what the unit saw: the last frame it received ("KIND HEX"), a field of its
# state ("FIELD = VALUE") or None for nothing received. Arguments in pairs
# differ, so that a swapped pair shows in the frame.
METHODS = [
    ("Echo", "SetAddress", (5,), 61, 60, "command fe ff 00 03 41 ff 05"),
    ("Echo", "HuntPort", (), 61, 60, "command fe ff 05 02 52 49"),
    ("Echo", "CheckComm", (), 61, 60, "command fe ff 05 02 52 49"),
    ("Echo", "CheckCommEx", (), 61, 60, "command fe ff 05 02 58 49"),
    ("Echo", "ReadModel", (), 61, 60, "command fe ff 05 02 58 4d"),
    ("Echo", "ReadChannel", (1, 2), 61, 60, "command fe ff 05 03 58 43 12"),
    ("Echo", "StartCai", (), 61, 60, "command fe ff 05 02 49 53"),
    ("Echo", "EndCai", (), 61, 60, "command fe ff 05 02 49 45"),
    ("Echo", "SetVoltages", (-12, 15), 61, 60, "command fe ff 05 02 2b 04"),
    ("Echo", "SetSwitches", ("AC1,DC3",), 61, 60, "command fe ff 05 03 50 53 42"),
    ("Echo", "SetSwitchesEx", ("AC1,AC3",), 61, 60, "command fe ff 05 03 58 50 22"),
    ("Echo", "ChangeSwitch", ("DC1", 1), 61, 60, "command fe ff 05 03 50 53 04"),
    ("Echo", "ChangeSwitchEx", ("AC3", 1), 61, 60, "command fe ff 05 03 58 50 20"),
    ("Echo", "SendFaults", ("4612,4705",), 61, 60, "command fe ff 05 02 47 05"),
    ("Echo", "SetStudentControl", ("true", "false"), 61, 60, "command fe ff 05 02 46 08"),
    ("Echo", "SetWarning", ("true",), 61, 60, "command fe ff 05 02 46 40"),
    ("Echo", "SetAux", (5,), 61, 60, "command fe ff 05 03 58 2b 02"),
    ("Echo", "SetBncs", (2, 3), 61, 60, "command fe ff 05 03 58 42 23"),
    ("Echo", "SetSpeaker", (300,), 61, 60, "command fe ff 05 03 58 53 2c"),
    ("Plc", "SetAddress", (3,), 61, 61, None),
    ("Plc", "HuntPort", (), 61, 60, "short 03 e0 16"),
    ("Plc", "CheckComm", (), 61, 60, "short 03 e0 17"),
    ("Plc", "StartCai", (), 61, 60, "short 03 c0 00"),
    ("Plc", "EndCai", (), 61, 60, "short 03 c0 00"),
    ("Plc", "ReadMain", (), 61, 60, "short 03 e0 16"),
    ("Plc", "ReadExternal", (), 61, 60, "short 03 e0 17"),
    ("Plc", "SetProcess", (1234,), 61, 60, "process = 0x04d2"),
    ("Plc", "ClearFaults", (), 61, 60, "short 03 c0 00"),
    ("Plc", "SendFaults", ("F3,E12",), 61, 60, "short 03 e0 0b"),
    ("Plc", "SetSelector", (5,), 61, 60, "selector = 0x05"),
    ("Fault", "SetAddress", (9,), 61, 61, None),
    ("Fault", "HuntPort", (), 61, 60, "short 09 b0 00"),
    ("Fault", "CheckComm", (), 61, 60, "short 09 b0 00"),
    ("Fault", "StartCai", (), 61, 60, "short 09 c0 00"),
    ("Fault", "EndCai", (), 61, 60, "short 09 c0 00"),
    ("Fault", "ClearFaults", (), 61, 60, "short 09 c0 00"),
    ("Fault", "SendFaults", ("F3,F7",), 61, 60, "short 09 f0 07"),
]

# Class, property, the unit's state, the method that reads it, the value.
# Each 0/1 reading gets a state where only its own bit says 1.
READINGS = [
    ("Echo", "Model", "model 7", "ReadModel", 7),
    ("Echo", "SubModel", "submodel 9", "ReadModel", 9),
    ("Echo", "Version", "version 1 2 13", "ReadModel", "1.2.13"),
    ("Echo", "Neg", "neg 2", "CheckComm", 12),
    ("Echo", "Pos", "pos 4", "CheckComm", 15),
    ("Echo", "AC1", "switch 0x02", "CheckComm", 1),
    ("Echo", "DC1", "switch 0x04", "CheckComm", 1),
    ("Echo", "AC2", "switch 0x08", "CheckComm", 1),
    ("Echo", "DC2", "switch 0x10", "CheckComm", 1),
    ("Echo", "SP3", "switch 0x20", "CheckComm", 1),
    ("Echo", "AC3", "switch 0x20", "CheckCommEx", 1),
    ("Echo", "DC3", "switch 0x40", "CheckComm", 1),
    ("Echo", "Channel", "channel 0 0x02a7", "ReadChannel", 679),
    ("Plc", "DC", "main 0xdf", "ReadMain", 1),
    ("Plc", "Monitor", "main 0xef", "ReadMain", 1),
    ("Plc", "Selector", "main 0x34", "ReadMain", 3),
    ("Plc", "Voltage", "external 0x04", "ReadExternal", 24),
    ("Plc", "PC1", "external 0x08", "ReadExternal", 1),
    ("Plc", "PC2", "external 0x10", "ReadExternal", 1),
]


def call(cls, method, args):
    return getattr(make(cls), method)(*args)


def ids(table):
    return ["%s.%s" % row[:2] for row in table]


@pytest.mark.parametrize("cls, method, args, present, absent, saw", METHODS, ids=ids(METHODS))
def test_method_with_its_unit(units, cls, method, args, present, absent, saw):
    unit = UNIT[cls]
    units.send("clear " + unit)
    if cls == "Echo":
        units.send("set console5 switch 0")
        units.send("set console5 control 0")
    assert call(cls, method, args) == present
    if saw is None:
        assert units.frames(unit) == []
    elif " = " in saw:
        field, value = saw.split(" = ")
        assert units.get(unit, field) == value
    else:
        assert units.frames(unit)[-1] == saw


@pytest.fixture(scope="module")
def statuses_without_units(tmp_path_factory):
    """Every method's status in a process whose ports lead nowhere, as when
    the adapters are unplugged: each call fails on opening, not by waiting."""
    nowhere = tmp_path_factory.mktemp("unplugged")
    env = dict(os.environ, XDG_CONFIG_HOME=str(nowhere / "config"),
               ORVOTRAINER_PORTS=",".join("%d=%s/com%d" % (port, nowhere, port) for _, port in PLACES.values()),
               PYTHONPATH=os.pathsep.join([HERE, os.environ.get("PYTHONPATH", "")]))
    script = ("import json, test_members as t\n"
              "print(json.dumps([t.call(*row[:3]) for row in t.METHODS]))")
    result = subprocess.run([sys.executable, "-c", script], env=env, capture_output=True, text=True, timeout=60)
    assert result.returncode == 0, result.stderr
    return json.loads(result.stdout)


@pytest.mark.parametrize("row", range(len(METHODS)), ids=ids(METHODS))
def test_method_without_its_unit(statuses_without_units, row):
    assert statuses_without_units[row] == METHODS[row][4]


@pytest.mark.parametrize("cls, name, state, reader, value", READINGS, ids=ids(READINGS))
def test_reading(units, cls, name, state, reader, value):
    unit = UNIT[cls]
    for reset in {"Echo": ["switch 0", "neg 0", "pos 0"], "Plc": ["main 0xff", "external 0"]}[cls]:
        units.send("set %s %s" % (unit, reset))
    assert units.send("set %s %s" % (unit, state)) == "ok"
    subject = make(cls)
    assert getattr(subject, reader)(*((0, 0) if reader == "ReadChannel" else ())) == 61
    assert getattr(subject, name) == value


@pytest.mark.parametrize("cls", PLACES)
def test_port_and_address_are_each_their_own(cls):
    subject = getattr(orvotrainer, cls)()
    subject.Port, subject.Address = 7, 8
    assert (subject.Port, subject.Address) == (7, 8)


def reference():
    """{class: {member: first line of its section}} from docs/api.md."""
    sections, current, member = {}, None, None
    with open(API) as f:
        for line in f:
            heading = re.match(r"(#{2,3}) (\w+)", line)
            if heading and heading.group(1) == "##":
                current = sections.setdefault(heading.group(2), {})
                member = None
            elif heading and current is not None:
                member = heading.group(2)
            elif member and line.strip() and member not in current:
                current[member] = line.strip()
    return sections


@pytest.mark.parametrize("cls", PLACES)
def test_members_are_the_references(cls):
    documented = reference()[cls]
    bound = getattr(orvotrainer, cls)
    assert sorted(n for n in dir(bound) if not n.startswith("_")) == sorted(documented)
    for name, first_line in documented.items():
        assert first_line in getattr(bound, name).__doc__, name
