"""Build glue of the velquin package (metadata: pyproject.toml).

The extension modules and the embedded simulator are built by the project's
CMake build and copied into the wheel: velquin_main, velquin_rc, velquin_ps
and velquin_misc at the top level, the simulator's modules (psspy, caspy,
the start-up modules) with its library in the folder velquin_simulator,
where velquin_ps finds them for the psse_path value "embedded". They stay
out of the top level on purpose: there they would shadow the modules of a
real installation that a workbook names.

The CMake build goes to build/wheel/cmake, or to the folder the environment
variable VELQUIN_CMAKE_BUILD_DIR names (an existing build tree, such as
build/, is then only brought up to date).
"""

import os
import shutil
import subprocess
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = Path(__file__).resolve().parent
BUILD_BASE = "build/wheel"
VELQUIN_MODULES = ("velquin_main", "velquin_rc", "velquin_ps", "velquin_misc")
SIMULATOR_MODULES = ("psspy", "caspy", "psse34", "psse3505", "psse3601", "psse3602")
SIMULATOR_LIBRARY = "libvelquin_sim.so"
SIMULATOR_FOLDER = "velquin_simulator"


class CMakeExtension(Extension):
    """An extension module the CMake build makes."""

    def __init__(self, name):
        super().__init__(name, sources=[])


def module_file(folder, name):
    """The one built extension file of module `name` in `folder`."""
    found = [path for path in folder.glob(f"{name}.*") if path.suffix in (".so", ".pyd")]
    if len(found) != 1:
        raise RuntimeError(f"expected one built module {name} in {folder}, found {[p.name for p in found]}")
    return found[0]


class CMakeBuild(build_ext):
    def run(self):
        cmake_dir = Path(os.environ.get("VELQUIN_CMAKE_BUILD_DIR") or ROOT / BUILD_BASE / "cmake").resolve()
        if not (cmake_dir / "CMakeCache.txt").exists():
            subprocess.run(["cmake", "-S", str(ROOT), "-B", str(cmake_dir), "-G", "Ninja",
                            "-DCMAKE_BUILD_TYPE=Release", "-DVELQUIN_TESTS=OFF", "-DVELQUIN_BENCH=OFF"],
                           check=True)
        subprocess.run(["cmake", "--build", str(cmake_dir), "--target", *VELQUIN_MODULES, *SIMULATOR_MODULES],
                       check=True)

        for name in VELQUIN_MODULES:
            target = Path(self.get_ext_fullpath(name))
            target.parent.mkdir(parents=True, exist_ok=True)
            shutil.copyfile(module_file(cmake_dir / "python", name), target)
        simulator = Path(self.build_lib) / SIMULATOR_FOLDER
        simulator.mkdir(parents=True, exist_ok=True)
        for name in SIMULATOR_MODULES:
            built = module_file(cmake_dir / "simulator", name)
            shutil.copyfile(built, simulator / built.name)
        shutil.copyfile(cmake_dir / "simulator" / SIMULATOR_LIBRARY, simulator / SIMULATOR_LIBRARY)


# setuptools' own files (the metadata folder included) go to BUILD_BASE too,
# not into the source tree.
(ROOT / BUILD_BASE).mkdir(parents=True, exist_ok=True)
setup(
    ext_modules=[CMakeExtension(name) for name in VELQUIN_MODULES],
    cmdclass={"build_ext": CMakeBuild},
    options={"build": {"build_base": BUILD_BASE}, "egg_info": {"egg_base": BUILD_BASE}},
)
