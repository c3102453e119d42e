"""The build leaves every module where users and workbooks expect it."""

import importlib
import subprocess
import sys


def test_velquin_modules_import(build_dir):
    for name in ("velquin_rc", "velquin_ps", "velquin_misc", "velquin_main"):
        assert (importlib.import_module(name).__file__ or "").startswith(str(build_dir / "python"))


def test_simulator_modules_are_in_the_simulator_folder(simulator_dir):
    code = (
        "import sys; sys.path.append(sys.argv[1]);"
        "import psse3602, caspy, psspy;"
        "print(psse3602.release)"
    )
    out = subprocess.run([sys.executable, "-c", code, str(simulator_dir)],
                         capture_output=True, text=True, check=True)
    assert out.stdout.strip() == "36.2"
