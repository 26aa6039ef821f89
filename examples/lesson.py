#!/usr/bin/env python3
"""A whole lesson against the three trainer units: the console, the fault
unit and the PLC trainer. Every call returns a status: 61 when the unit
answered, 60 when it did not, 65 when a fault item was malformed.

The same lesson as lesson.vbs, step for step, so the units end up alike.
Exit status 0 when every step got 61, else 1. tools/python-lesson runs it
against simulated units; with real ones, just run it.
"""
import sys

import orvotrainer

problems = 0


def said(status):
    return {orvotrainer.Success: "ok", orvotrainer.Failure: "no answer",
            orvotrainer.BadFaultItem: "malformed fault item"}.get(status, "status %d" % status)


def step(what, status):
    """Prints one step and remembers whether it worked."""
    global problems
    print("%-44.44s%s" % (what, said(status)))
    if status != orvotrainer.Success:
        problems += 1


def found_on(status, place):
    # A hunt that found nothing leaves Port at 0, which is also the USB
    # link's number: only a hunt that succeeded says where the unit is.
    return "found on " + place if status == orvotrainer.Success else "not found"


def on_off(bit):
    return "on" if bit == 1 else "off"


# --- The trainer console ---------------------------------------------------
console = orvotrainer.Echo()
print("The trainer console")
found = console.SetAddress(5)
step("  find the console at address 5", found)
print("    " + found_on(found, "USB" if console.Port == 0 else "COM%d" % console.Port))
step("  supplies -12 V and +15 V", console.SetVoltages(-12, 15))
step("  switches AC1 and DC3 on", console.SetSwitches("AC1,DC3"))
step("  read the status back", console.CheckComm())
print("    supplies: -%d V and +%d V" % (console.Neg, console.Pos))
print("    AC1 %s, DC1 %s, AC2 %s, DC2 %s, SP3 %s, DC3 %s" % tuple(
    on_off(bit) for bit in (console.AC1, console.DC1, console.AC2, console.DC2, console.SP3, console.DC3)))
step("  read the model", console.ReadModel())
print("    model %d.%d, version %s" % (console.Model, console.SubModel, console.Version))
step("  read meter channel 3", console.ReadChannel(0, 3))
print("    channel 3 reads %d" % console.Channel)
step("  keyboard for the student, faults not", console.SetStudentControl("true", "false"))
step("  warning light on", console.SetWarning("true"))

# --- The fault-insertion unit ----------------------------------------------
faults = orvotrainer.Fault()
print("The fault unit")
faults.Address = 9
found = faults.HuntPort()
step("  hunt for the fault unit", found)
print("    " + found_on(found, "COM%d" % faults.Port))
step("  insert faults 3 and 7", faults.SendFaults("F3,F7"))
step("  take fault 7 out again", faults.SendFaults("E7"))

# --- The PLC trainer -------------------------------------------------------
plc = orvotrainer.Plc()
print("The PLC trainer")
plc.Address = 3
found = plc.HuntPort()
step("  hunt for the PLC trainer", found)
print("    " + found_on(found, "COM%d" % plc.Port))
step("  read the main block", plc.ReadMain())
print("    DC %d, monitor %d, selector %d" % (plc.DC, plc.Monitor, plc.Selector))
step("  read the external block", plc.ReadExternal())
print("    supply %d V, PC1 %d, PC2 %d" % (plc.Voltage, plc.PC1, plc.PC2))
step("  clock in the process value 1234", plc.SetProcess(1234))
# The transfer leaves the selector lines low, so the selector comes after it.
step("  selector lines to 0101", plc.SetSelector(5))

if problems == 0:
    print("lesson passed")
else:
    print("lesson failed: %d step(s) got no answer" % problems)
    sys.exit(1)
