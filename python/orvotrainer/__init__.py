"""Orvo electronics trainers from Python: the trainer console (Echo), the PLC
trainer (Plc) and the fault-insertion unit (Fault), with the members,
properties and statuses of the Windows automation classes:

    import orvotrainer
    console = orvotrainer.Echo()
    if console.SetAddress(5) == orvotrainer.Success:
        console.SetVoltages(-12, 15)

docs/api.md describes every member; docs/linux.md ports, permissions and the
remembered ports.
"""
from ._orvotrainer import BadFaultItem, Echo, Failure, Fault, Plc, Success, __version__

__all__ = ["Echo", "Plc", "Fault", "Success", "Failure", "BadFaultItem", "__version__"]
