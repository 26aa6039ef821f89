"""The package's module, _orvotrainer, is the CMake target of that name:
this configures CMake on this tree (in build/, once) and builds only that
target and what it links, so pip needs no compiler set-up of its own and no
network. The version is the project's, from the top CMakeLists.txt."""
import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

TOP = Path(__file__).resolve().parent


def project_version():
    text = (TOP / "CMakeLists.txt").read_text()
    return re.search(r"project\(OrvoTrainer VERSION ([0-9.]+)", text).group(1)


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        build = Path(self.build_temp).resolve() / "cmake"
        configure = ["cmake", "-S", str(TOP), "-B", str(build), "-DCMAKE_BUILD_TYPE=Release",
                     "-DORVO_TESTS=OFF", "-DPython_EXECUTABLE=" + sys.executable]
        if not (build / "CMakeCache.txt").exists() and shutil.which("ninja"):
            configure += ["-G", "Ninja"]
        # Two jobs unless told otherwise: build machines here are shared.
        jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL", "2")
        subprocess.run(configure, check=True, stdout=subprocess.DEVNULL)
        subprocess.run(["cmake", "--build", str(build), "--target", "_orvotrainer", "--parallel", jobs], check=True)
        name = Path(self.get_ext_filename(ext.name)).name
        target = Path(self.get_ext_fullpath(ext.name))
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(build / "python" / "orvotrainer" / name, target)


setup(
    version=project_version(),
    packages=["orvotrainer"],
    package_dir={"": "python"},
    ext_modules=[Extension("orvotrainer._orvotrainer", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
)
