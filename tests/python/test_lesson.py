"""examples/lesson.py against units of its own, started as examples/lesson.units
describes them, which afterwards show what the VBScript lesson leaves."""
import os
import subprocess
import sys

from conftest import LESSON_UNITS, SIM, TOP


def test_the_example_lesson(tmp_path):
    units = ["%d=%s" % item for item in LESSON_UNITS.items()]
    result = subprocess.run(
        [sys.executable, os.path.join(TOP, "tests", "python", "units.py"), "--sim", SIM, "--dir", str(tmp_path / "run"),
         "--units", os.path.join(TOP, "examples", "lesson.units"), *units,
         "--", sys.executable, os.path.join(TOP, "examples", "lesson.py")],
        capture_output=True, text=True, timeout=120)
    assert result.returncode == 0, result.stdout + result.stderr
    assert "lesson passed" in result.stdout.splitlines()
