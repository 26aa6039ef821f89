"""How calls take their arguments, share the interpreter with other threads,
and remember ports."""
import os
import threading
import time

import pytest

import orvotrainer
from test_members import make


def nowhere():
    # No address, so no hunt; a port no unit is on, so each call fails at once.
    console = orvotrainer.Echo()
    console.Port = 9
    return console


# What each call does with its arguments: the exception it raises, or None
# when it is accepted. The 16-bit edges are accepted, one past them is not.
ARGUMENTS = [
    ("Port = 32767", lambda e: setattr(e, "Port", 32767), None),
    ("Port = -32768", lambda e: setattr(e, "Port", -32768), None),
    ("Port = 32768", lambda e: setattr(e, "Port", 32768), OverflowError),
    ("Port = -32769", lambda e: setattr(e, "Port", -32769), OverflowError),
    ("Port = 2**70", lambda e: setattr(e, "Port", 2**70), OverflowError),
    ("Port = '3'", lambda e: setattr(e, "Port", "3"), TypeError),
    ("Port = 3.0", lambda e: setattr(e, "Port", 3.0), TypeError),
    ("SetVoltages second", lambda e: e.SetVoltages(-12, 32768), OverflowError),
    ("SetSwitches bytes", lambda e: e.SetSwitches(b"AC1"), TypeError),
    ("SetSwitches None", lambda e: e.SetSwitches(None), TypeError),
    ("Model read only", lambda e: setattr(e, "Model", 3), AttributeError),
    ("port misspelt", lambda e: setattr(e, "port", 3), AttributeError),
]


@pytest.mark.parametrize("call, raised", [row[1:] for row in ARGUMENTS], ids=[row[0] for row in ARGUMENTS])
def test_arguments(call, raised):
    if raised is None:
        call(nowhere())
    else:
        with pytest.raises(raised):
            call(nowhere())


@pytest.mark.parametrize("text, switch_byte", [
    ("AC1,DC3", "0x42"),
    ("AC1\0,DC3", "0x02"),         # a string ends at its first NUL
    ("DC3,AC1\udc80", "0x40"),     # a lone surrogate spoils only its own item
])
def test_switch_names(units, text, switch_byte):
    units.send("set console5 switch 0")
    assert make("Echo").SetSwitches(text) == 61
    assert units.get("console5", "switch") == switch_byte


def test_a_waiting_call_lets_other_threads_run(units):
    """A call on a silent unit, and a property read that waits for it on
    the same object, both leave the interpreter to other threads. Holding
    it, they would stop the counter for the whole wait (about a second);
    the bar is low so that a loaded machine passes too."""
    ticks, stop = [0], threading.Event()

    def count():
        while not stop.is_set():
            ticks[0] += 1
            time.sleep(0.005)

    fault = make("Fault")
    units.send("misbehave fault9 silent")
    counter = threading.Thread(target=count)
    caller = threading.Thread(target=fault.CheckComm)
    try:
        counter.start()
        caller.start()
        time.sleep(0.3)
        assert caller.is_alive() and ticks[0] > 5, "the call kept the other threads waiting"
        before, started = ticks[0], time.monotonic()
        fault.Port  # waits for the call's lock
        assert time.monotonic() - started > 0.3 and ticks[0] - before > 5, "the read kept them waiting"
    finally:
        caller.join()
        stop.set()
        counter.join()
        units.send("misbehave fault9 none")


def test_remembered_ports_go_to_the_settings_file():
    settings = os.path.join(os.environ["XDG_CONFIG_HOME"], "orvotrainer", "settings")
    os.remove(settings)
    console, plc, fault = orvotrainer.Echo(), orvotrainer.Plc(), orvotrainer.Fault()
    plc.Address, fault.Address = 3, 9
    assert (console.SetAddress(5), plc.HuntPort(), fault.HuntPort()) == (61, 61, 61)
    with open(settings) as f:
        values = dict(line.strip().split("=") for line in f if not line.startswith("#"))
    assert {k: values.get(k) for k in ("BrixPort_5", "SorlPort", "TarnPort")} == \
        {"BrixPort_5": "3", "SorlPort": "2", "TarnPort": "4"}
