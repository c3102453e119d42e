"""The psse_path value "embedded" names the embedded simulator wherever
Velquin lives; any other value, a folder called embedded included, is a
folder as before."""

import os
import subprocess
import sys
from pathlib import Path

from fixtures.fake_simulator import hide_other_simulators, isolated_imports, lay_out


def test_embedded_names_the_embedded_simulator_in_any_letter_case(simulator_dir):
    from velquin_ps import PSSE_ENGINE, embedded_simulator_folder

    # In a build tree the modules are in the build's simulator folder.
    assert Path(embedded_simulator_folder()) == simulator_dir.resolve()
    for value in ("embedded", " Embedded "):
        with isolated_imports():
            hide_other_simulators()
            engine = PSSE_ENGINE(psse_path=value, version=35.5)
            assert engine.psse_path == embedded_simulator_folder()
            assert Path(engine.psspy.__file__).parent == simulator_dir.resolve()
            assert engine.psspy.__name__ == "psspy" and hasattr(engine.psspy, "fnsl")


def test_a_folder_called_embedded_is_still_a_folder(tmp_path):
    from velquin_ps import PSSE_ENGINE

    with isolated_imports():
        hide_other_simulators()
        fake = lay_out(tmp_path / "embedded")
        engine = PSSE_ENGINE(psse_path=str(tmp_path / "embedded"), version=36.2)
        assert engine.psse_path == str(tmp_path / "embedded")
        assert fake.imports == ["psse3602", "caspy", "psspy"]


def test_velquin_simulator_path_prints_the_folder_embedded_names(simulator_dir, build_dir, tmp_path):
    repo = Path(__file__).resolve().parents[3]
    done = subprocess.run([sys.executable, str(repo / "bin" / "velquin"), "simulator-path"], cwd=tmp_path,
                          env=dict(os.environ, VELQUIN_BUILD_DIR=str(build_dir)), capture_output=True, text=True,
                          timeout=120)
    assert done.returncode == 0, done.stderr
    assert done.stdout == f"{simulator_dir.resolve()}\n"
