"""The units every test here talks to: a PLC trainer (address 3) on COM2, the
console (5) on COM3 and the fault unit (9) on COM4, as examples/lesson.units
has them, simulated by orvo-sim on pseudo-terminals.

The library reads its environment when the first object is made, so the
ports and a private settings directory are set before any test runs and
stay for the whole session. ORVO_SIM names orvo-sim (CTest sets it); the
module comes from PYTHONPATH.
"""
import os
import tempfile

import pytest

from units import Units

TOP = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
SIM = os.environ.get("ORVO_SIM", os.path.join(TOP, "build", "host", "sim", "orvo-sim"))
LESSON_UNITS = {2: "plc:address=3", 3: "console:address=5", 4: "fault:address=9"}


@pytest.fixture(scope="session", autouse=True)
def units():
    with tempfile.TemporaryDirectory(prefix="orvo-py-") as directory:
        with Units(SIM, os.path.join(directory, "run"), LESSON_UNITS) as sim:
            os.environ.update(sim.environment())
            yield sim
