"""The Python package: the wheel pip builds from the source tree, installed
into a fresh virtual environment that sees Debian's packages, runs a small
study from a folder outside the source tree, sequentially and on workers,
with the embedded simulator named "embedded"; a workbook naming another
simulator installation still gets that installation's modules.

Slow (the wheel builds the modules in a CMake build of its own, unless
VELQUIN_CMAKE_BUILD_DIR names an existing one): `make test-package`.
"""

import json
import os
import subprocess
import time
import zipfile
from pathlib import Path

import pytest

REPO_DIR = Path(__file__).resolve().parents[2]
PYTHON = "/usr/bin/python3"
MODULE_SUFFIX = ".cpython-311-x86_64-linux-gnu.so"

BUILD_CASES = """
import sys
import velquin_ps
sys.path.insert(0, velquin_ps.embedded_simulator_folder())
import psspy

assert psspy.progress_output(islct=2, filarg="building.txt") == 0
assert psspy.read_matpower(ifile=sys.argv[1]) == 0
assert psspy.save(sfile="cases/grid.sav") == 0
assert psspy.newcase_2(basemva=100.0) == 0
for number, kv, kind in ((5, 138.0, 3), (1, 138.0, 1), (2, 0.69, 2)):
    assert psspy.bus_data_4(ibus=number, intgar1=kind, realar1=kv) == 0
assert psspy.branch_data_4(ibus=5, jbus=1, ckt="1", realar1=0.001, realar2=0.01) == 0
assert psspy.two_winding_data_6(ibus=1, jbus=2, ckt="1", realari1=0.002, realari2=0.08)[0] == 0
assert psspy.plant_data_4(ibus=2, realar1=1.0) == 0
assert psspy.machine_data_5(ibus=2, id="1", realar1=10.0, realar3=4.0, realar4=-4.0, realar5=12.0) == 0
assert psspy.save(sfile="cases/plant.sav") == 0
"""

WRITE_WORKBOOK = """
import sys
from openpyxl import Workbook

book = Workbook()
book.remove(book.active)
sheets = {
    "Sheets": [("SHEET NAME", "SHEET TYPE", "SHEET RUN ENABLED", "FOLDER PATH TO STORE RESULTS FOR SHEET"),
               ("Software", "SOFT_INPUT", True, None), ("Main", "MAIN_INPUT", True, None),
               ("Plants", "CASE_INPUT", True, sys.argv[2])],
    "Software": [("ATTRIBUTE DESCRIPTION", "ATTRIBUTE VALUE"), ("psse_path", "Embedded"), ("psse_version", 35.5),
                 ("psse_init", 1000)],
    "Main": [("ENABLED", "SNAPSHOT FILEPATH", "SNAPSHOT FILENAME"), ("yes", "cases", "grid.sav"),
             ("yes", "cases", "grid2")],
    "Plants": [("ENABLED", "FILEPATH OF CASE TO BE ADDED", "NAME OF CASE TO BE ADDED", "CONNECTING BUS NUMBER"),
               ("yes", "cases", "plant", 5)],
}
for title, rows in sheets.items():
    sheet = book.create_sheet(title)
    for row in rows:
        sheet.append(list(row))
book.save(sys.argv[1])
"""


def run(command, cwd, **kwargs):
    # Nothing of the source tree's build on the path.
    environment = {k: v for k, v in os.environ.items() if k not in ("PYTHONPATH", "VELQUIN_BUILD_DIR")}
    done = subprocess.run([str(part) for part in command], cwd=cwd, env=environment, capture_output=True,
                          text=True, timeout=1800, **kwargs)
    assert done.returncode == 0, f"{command}\n{done.stdout}\n{done.stderr}"
    return done


@pytest.fixture(scope="module")
def wheel(tmp_path_factory):
    folder = tmp_path_factory.mktemp("wheel")
    build = {k: v for k, v in os.environ.items() if k not in ("PYTHONPATH", "VELQUIN_BUILD_DIR")}
    done = subprocess.run([PYTHON, "-m", "pip", "wheel", ".", "--no-deps", "--no-build-isolation", "-w",
                           str(folder)], cwd=REPO_DIR, env=build, capture_output=True, text=True, timeout=3600)
    assert done.returncode == 0, done.stdout + done.stderr
    (wheel,) = folder.glob("velquin-*.whl")
    return wheel


@pytest.fixture(scope="module")
def venv(tmp_path_factory, wheel):
    folder = tmp_path_factory.mktemp("venv")
    run([PYTHON, "-m", "venv", "--system-site-packages", folder], cwd=folder)
    # Offline: the dependencies are Debian's, seen through the system site packages.
    run([folder / "bin" / "pip", "install", "--no-index", wheel], cwd=folder)
    return folder


def test_the_wheel_holds_the_modules_the_simulator_and_the_command(wheel):
    with zipfile.ZipFile(wheel) as archive:
        names = set(archive.namelist())
        entry_points = archive.read(next(n for n in names if n.endswith(".dist-info/entry_points.txt"))).decode()
    assert {f"{name}{MODULE_SUFFIX}" for name in ("velquin_main", "velquin_rc", "velquin_ps", "velquin_misc")} <= names
    simulator = {f"velquin_simulator/{name}{MODULE_SUFFIX}"
                 for name in ("psspy", "caspy", "psse34", "psse3505", "psse3601", "psse3602")}
    assert simulator | {"velquin_simulator/libvelquin_sim.so"} <= names
    assert {"velquin_cli/main.py", "velquin_cli/run_command.py", "velquin_cli/parallel_run.py",
            "velquin_cli/main_case_process.py", "velquin_report/report.py",
            "velquin_report/templates/report.html.j2"} <= names
    # The simulator's modules stay out of the top level, where they would
    # shadow those of an installation a workbook names.
    assert not [name for name in names
                if name.startswith(("psspy", "caspy", "psse34", "psse3505", "psse3601", "psse3602"))]
    assert "velquin = velquin_cli.main:entry_point" in entry_points


def test_the_installed_command_runs_a_study_outside_the_source_tree(venv, tmp_path):
    velquin = venv / "bin" / "velquin"
    study = tmp_path / "study"
    (study / "cases").mkdir(parents=True)
    python = venv / "bin" / "python"
    run([velquin, "convert", REPO_DIR / "tests" / "data" / "matpower" / "case14.m", "cases/grid2.raw"], cwd=study)
    run([velquin, "convert", "cases/grid2.raw", "cases/grid2.sav"], cwd=study)
    run([python, "-c", BUILD_CASES, REPO_DIR / "tests" / "data" / "matpower" / "case14.m"], cwd=study)
    run([python, "-c", WRITE_WORKBOOK, "config.xlsx", "results"], cwd=study)
    run([python, "-c", WRITE_WORKBOOK, "parallel.xlsx", "parallel"], cwd=study)

    folder = run([velquin, "simulator-path"], cwd=study).stdout.strip()
    assert Path(folder) == Path(venv / "lib" / "python3.11" / "site-packages" / "velquin_simulator").resolve()

    sequential = run([velquin, "run", "config.xlsx"], cwd=study)
    assert "results/plant/grid  " in sequential.stdout
    assert (study / "results" / "grid_solved_.sav").is_file() and (study / "results" / "grid2_solved_.sav").is_file()
    assert (study / "results" / "report" / "index.html").is_file()  # the report, from its installed template

    parallel = run([velquin, "run", "--workers", "2", "parallel.xlsx"], cwd=study)
    assert parallel.stdout.count("1 pair(s): 1 converged (") == 2
    for name in ("grid_solved_.sav", "grid2_solved_.sav", "plant/grid/grid_oos_plant.sav"):
        assert (study / "parallel" / name).read_bytes() == (study / "results" / name).read_bytes()

    # A Dask cluster of its own, its scheduler and workers started from the
    # environment Velquin is installed in.
    run([python, "-c", WRITE_WORKBOOK, "cluster.xlsx", "cluster"], cwd=study)
    address = study / "scheduler.json"
    started = [subprocess.Popen([python, "-m", "distributed.cli.dask_scheduler", "--port", "0",
                                 "--dashboard-address", ":0", "--scheduler-file", address],
                                cwd=tmp_path, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)]
    try:
        deadline = time.monotonic() + 120
        scheduler = None
        while scheduler is None:
            assert time.monotonic() < deadline and started[0].poll() is None
            try:
                scheduler = json.loads(address.read_text())["address"]
            except (FileNotFoundError, ValueError, KeyError):  # not written yet, or half written
                time.sleep(0.5)
        started.append(subprocess.Popen([python, "-m", "distributed.cli.dask_worker", "--scheduler-file", address,
                                         "--nthreads", "1", "--nworkers", "2"],
                                        cwd=tmp_path, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        on_cluster = run([velquin, "run", "--scheduler", scheduler, "cluster.xlsx"], cwd=study)
    finally:
        for process in reversed(started):
            process.terminate()
            process.wait(60)
    assert "on the Dask cluster at tcp://" in on_cluster.stdout
    for name in ("grid_solved_.sav", "grid2_solved_.sav", "plant/grid/grid_oos_plant.sav"):
        assert (study / "cluster" / name).read_bytes() == (study / "results" / name).read_bytes()


def test_a_workbook_naming_another_installation_gets_its_modules(venv, tmp_path):
    other = tmp_path / "other_installation"
    other.mkdir()
    for module in ("psse3505", "caspy", "psspy"):
        (other / f"{module}.py").write_text("INSTALLATION = 'other'\n")
    check = ("import sys, velquin_ps\n"
             "engine = velquin_ps.PSSE_ENGINE(psse_path=sys.argv[1], version=35.5)\n"
             "print(engine.psspy.INSTALLATION, engine.caspy.INSTALLATION, engine.psspy.__file__)\n")
    out = run([venv / "bin" / "python", "-c", check, other], cwd=tmp_path).stdout.split()
    assert out == ["other", "other", str(other / "psspy.py")]
