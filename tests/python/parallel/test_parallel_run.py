"""`velquin run --workers N` on the embedded simulator, against the
sequential run of the same study: the same files byte for byte, the same
summary and exit status, each main case's console output in its log; a main
case that raises and a worker that dies fail alone; Ctrl-C stops the run and
says which main cases had finished."""

import csv
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import time
from pathlib import Path

import pytest

from fixtures.fake_simulator import hide_other_simulators, isolated_imports
from fixtures.workbooks import config_workbook

REPO_DIR = Path(__file__).resolve().parents[3]
EXIT_WORKER_VARIABLE = "VELQUIN_TEST_EXIT_WORKER_AT"


def build_cases(psspy, folder, matpower):
    """Two main cases (IEEE 118 as published, and with a heavier load at bus
    60) and two plants whose bus numbers collide with the main network."""
    assert psspy.read_matpower(ifile=str(matpower)) == 0
    assert psspy.save(sfile=str(folder / "summer.sav")) == 0
    assert psspy.load_data_7(ibus=60, id="W", realar1=40.0, realar2=12.0) == 0
    assert psspy.save(sfile=str(folder / "winter.sav")) == 0
    for name, poi, kv in (("solar", 49, 138.0), ("wind", 80, 138.0)):
        assert psspy.newcase_2(basemva=100.0) == 0
        for number, base, kind in ((poi, kv, 3), (1, kv, 1), (2, 34.5, 1), (3, 0.69, 2)):
            assert psspy.bus_data_4(ibus=number, intgar1=kind, realar1=base, name=f"{name} {number}") == 0
        assert psspy.branch_data_4(ibus=poi, jbus=1, ckt="1", realar1=0.001, realar2=0.01) == 0
        assert psspy.two_winding_data_6(ibus=1, jbus=2, ckt="1", realari1=0.002, realari2=0.08)[0] == 0
        assert psspy.branch_data_4(ibus=2, jbus=3, ckt="1", realar1=0.01, realar2=0.02) == 0
        assert psspy.plant_data_4(ibus=3, realar1=1.0) == 0
        assert psspy.machine_data_5(ibus=3, id="1", realar1=20.0, realar3=8.0, realar4=-8.0, realar5=25.0,
                                    realar6=0.0, realar7=25.0) == 0
        assert psspy.save(sfile=str(folder / f"{name}.sav")) == 0


def lay_out_study(folder, cases, main_cases, psse_path="embedded"):
    """A copy of the study in `folder`, its workbook naming everything by
    paths relative to `folder` (so that the files of two copies can be
    compared byte for byte)."""
    shutil.copytree(cases, folder / "cases")
    config_workbook(folder / "config.xlsx", psse_path=psse_path, psse_version=35.5, psse_init=1000,
                    main_cases=[("yes", "cases", name) for name in main_cases],
                    small_cases=[("yes", "cases", "solar", 49), ("yes", "cases", "wind", 80)],
                    result_folder="results")
    return folder


def velquin_run(folder, *options, env=None, build_dir):
    environment = dict(os.environ, VELQUIN_BUILD_DIR=str(build_dir), **(env or {}))
    return subprocess.run([sys.executable, str(REPO_DIR / "bin" / "velquin"), "run", *options, "config.xlsx"],
                          cwd=folder, capture_output=True, text=True, env=environment, timeout=600)


def files(folder):
    return {path.relative_to(folder).as_posix(): path for path in folder.rglob("*") if path.is_file()}


def summary_table(out):
    lines = out.splitlines()
    return lines[next(i for i, line in enumerate(lines) if line.startswith("Result folder")):]


def without_times(text):
    return re.sub(r"\d+\.\d s\b", "T s", text)


def summary_file_without_times(path, study):
    """run-summary.json without what differs from one run to the next: the
    times and the study's own folder."""
    def strip(value):
        if isinstance(value, dict):
            return {key: strip(item) for key, item in value.items()
                    if key not in ("finished_at", "seconds", "stages")}
        if isinstance(value, list):
            return [strip(item) for item in value]
        return value.replace(str(study), "STUDY") if isinstance(value, str) else value

    return strip(json.loads(path.read_text()))


def csv_without(path, column):
    with open(path, newline="") as file:
        return [{key: value for key, value in row.items() if key != column} for row in csv.DictReader(file)]


@pytest.fixture(scope="module")
def cases(tmp_path_factory, simulator_dir, test_data_dir):
    folder = tmp_path_factory.mktemp("cases")
    with isolated_imports():
        hide_other_simulators()
        sys.path.insert(0, str(simulator_dir))
        import psspy

        assert psspy.progress_output(islct=2, filarg=str(folder.parent / "building.txt")) == 0
        build_cases(psspy, folder, test_data_dir / "matpower" / "case118.m")
        psspy.close_powerflow()
        psspy.progress_output(islct=1)
    return folder


@pytest.fixture(scope="module")
def both_runs(tmp_path_factory, cases, build_dir):
    sequential = lay_out_study(tmp_path_factory.mktemp("sequential"), cases, ["summer", "winter.sav"])
    parallel = lay_out_study(tmp_path_factory.mktemp("parallel"), cases, ["summer", "winter.sav"])
    return (sequential, velquin_run(sequential, build_dir=build_dir),
            parallel, velquin_run(parallel, "--workers", "2", build_dir=build_dir))


def test_the_parallel_run_writes_the_files_of_the_sequential_run(both_runs):
    sequential, sequential_run, parallel, parallel_run = both_runs
    assert sequential_run.returncode == parallel_run.returncode == 0, parallel_run.stderr
    written, expected = files(parallel / "results"), files(sequential / "results")
    logs = {"summer_console.log", "winter_console.log"}
    assert set(written) == set(expected) | logs
    assert len([name for name in expected if name.endswith(".sav")]) > 30
    # Files that hold the run's times (its summary, the report's summary and page) are compared below.
    timed = {"run-summary.json", "report/summary.csv", "report/index.html"}
    assert timed <= set(expected) and "report/stages.csv" in expected
    different = [name for name in set(expected) - timed if written[name].read_bytes() != expected[name].read_bytes()]
    assert different == []
    assert summary_file_without_times(written["run-summary.json"], parallel) == summary_file_without_times(
        expected["run-summary.json"], sequential)
    assert csv_without(written["report/summary.csv"], "seconds") == csv_without(
        expected["report/summary.csv"], "seconds")


def test_the_summary_is_the_sequential_one_and_each_log_is_its_main_case_s_console(both_runs):
    _, sequential_run, parallel, parallel_run = both_runs
    assert without_times("\n".join(summary_table(parallel_run.stdout))) == without_times(
        "\n".join(summary_table(sequential_run.stdout)))
    # The sequential console, up to the summary, is the two logs one after
    # the other; but for the simulator's message on opening the second main
    # case, which the sequential run sends nowhere (the first main case's
    # last pair switched the simulator's progress output off).
    console = sequential_run.stdout[:sequential_run.stdout.index("\nResult folder")]
    logs = [(parallel / "results" / f"{name}_console.log").read_text() for name in ("summer", "winter")]
    opened = "Case 'cases/winter.sav' opened\n"
    assert opened in logs[1] and opened not in console
    assert without_times(logs[0] + logs[1].replace(opened, "")) == without_times(console)
    assert "Processing winter with wind" in logs[1]
    progress = [line for line in parallel_run.stdout.splitlines() if line.startswith("[")]
    assert sorted(line.split()[3] for line in progress) == ["summer:", "winter:"]
    assert all("2 pair(s): 2 converged (" in line for line in progress)


def test_a_failing_main_case_a_dead_worker_and_a_crash_fail_alone(tmp_path, cases, both_runs, simulator_dir,
                                                                  build_dir):
    # "spring" does not exist: its run raises. The worker given "winter"
    # dies. The process running "crash" is killed reading it.
    simulator = faulty_simulator(tmp_path / "simulator", simulator_dir)
    study = lay_out_study(tmp_path / "faults", cases, ["summer", "spring", "winter", "crash"],
                          psse_path=str(simulator))
    run = velquin_run(study, "--workers", "2", env={EXIT_WORKER_VARIABLE: "winter"}, build_dir=build_dir)
    assert run.returncode == 1
    errors = [line for line in run.stderr.splitlines() if line.startswith("velquin run:")]
    assert len(errors) == 3
    assert errors[0].startswith("velquin run: the run stopped reading main case spring: caspy.CaseFileError: ")
    assert errors[1].startswith("velquin run: the run stopped: KilledWorker: the worker process running main "
                                "case winter died (worker tcp://")
    assert errors[2] == ("velquin run: the run stopped: ChildProcessError: the process running main case crash "
                         "ended with signal SIGKILL")
    progress = {line.split()[3]: line for line in run.stdout.splitlines() if line.startswith("[")}
    assert "2 pair(s): 2 converged" in progress["summer:"]
    assert "error: the run stopped reading main case spring: caspy.CaseFileError" in progress["spring:"]
    assert "error: KilledWorker: the worker process running main case winter died" in progress["winter:"]
    assert "error: ChildProcessError: the process running main case crash ended with signal SIGKILL" in (
        progress["crash:"])
    # The summary tells the same: the pairs of the main cases that stopped were not run.
    assert "8 pairs: 2 converged, 6 not run." in summary_table(run.stdout)

    # The main case that finished wrote what the sequential run writes for it.
    sequential = both_runs[0] / "results"
    written = files(study / "results")
    summer = {name for name in files(sequential) if "summer" in name}
    assert {name for name in written if "summer" in name} == summer | {"summer_console.log"}
    assert all(written[name].read_bytes() == (sequential / name).read_bytes() for name in summer)
    # Nothing is left under a partial name, and each log says how its main case ended.
    assert [name for name in written if name.endswith(".partial")] == []
    assert written["spring_console.log"].read_text().splitlines()[-3].startswith(
        "velquin run: the run stopped reading main case spring: caspy.CaseFileError")
    assert written["crash_console.log"].read_text().splitlines()[-1] == (
        "velquin run: ChildProcessError: the process running main case crash ended with signal SIGKILL")
    assert [name for name in written if "winter" in name] == []  # the worker died before the main case started


FAULTY_SIMULATOR = {
    "load_embedded.py": """
import importlib.machinery
import importlib.util
from pathlib import Path

def load(name):
    path = next(Path({folder!r}).glob(name + ".cpython-*.so"))
    loader = importlib.machinery.ExtensionFileLoader(name, str(path))
    module = importlib.util.module_from_spec(importlib.util.spec_from_file_location(name, path, loader=loader))
    loader.exec_module(module)
    return module
""",
    "psse3505.py": "import sys, load_embedded\nsys.modules['psse3505'] = load_embedded.load('psse3505')\n",
    "psspy.py": "import sys, load_embedded\nsys.modules['psspy'] = load_embedded.load('psspy')\n",
    "caspy.py": """
import os
import signal
import sys
import time
import load_embedded

# Loading the embedded caspy registers it under the same name: this module stays the one imported.
_this = sys.modules[__name__]
_embedded = load_embedded.load("caspy")
sys.modules[__name__] = _this
globals().update({{name: value for name, value in vars(_embedded).items() if not name.startswith("__")}})

def Savecase(path, *args, **kwargs):
    if "stuck" in str(path):
        time.sleep(3600)
    if "crash" in str(path):
        os.kill(os.getpid(), signal.SIGKILL)
    return _embedded.Savecase(path, *args, **kwargs)
""",
}


def faulty_simulator(folder, simulator_dir):
    """The embedded simulator, but for reading a case named stuck, which
    does not return, and one named crash, which kills the process."""
    folder.mkdir()
    for name, text in FAULTY_SIMULATOR.items():
        (folder / name).write_text(text.format(folder=str(simulator_dir)))
    return folder


def test_ctrl_c_stops_the_workers_and_says_which_main_cases_finished(tmp_path, cases, simulator_dir, build_dir):
    study = lay_out_study(tmp_path / "interrupted", cases, ["summer", "stuck"])
    shutil.copy(study / "cases" / "winter.sav", study / "cases" / "stuck.sav")
    simulator = faulty_simulator(tmp_path / "simulator", simulator_dir)
    config_workbook(study / "config.xlsx", psse_path=str(simulator), psse_version=35.5, psse_init=1000,
                    main_cases=[("yes", "cases", "summer"), ("yes", "cases", "stuck")],
                    small_cases=[("yes", "cases", "solar", 49)], result_folder="results")
    environment = dict(os.environ, VELQUIN_BUILD_DIR=str(build_dir))
    run = subprocess.Popen([sys.executable, str(REPO_DIR / "bin" / "velquin"), "run", "--workers", "2",
                            "config.xlsx"], cwd=study, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                           env=environment, start_new_session=True)
    try:
        seen = []
        deadline = time.monotonic() + 300
        while not any(line.startswith("[1/2] main case summer") for line in seen):
            assert time.monotonic() < deadline and run.poll() is None, seen
            seen.append(run.stdout.readline())
        # As a terminal's Ctrl-C: to the whole process group.
        os.killpg(run.pid, signal.SIGINT)
        out, err = run.communicate(timeout=120)
    finally:
        if run.poll() is None:
            os.killpg(run.pid, signal.SIGKILL)
    assert run.returncode == 130, err
    assert "Finished main cases: summer." in out and "Not finished: stuck." in out
    log = study / "results" / "stuck_console.log"
    assert log.read_text().splitlines()[-1] == "velquin run: interrupted"
    assert list((study / "results").glob("*.partial")) == []
    # No process of the run is left behind (they all ran in the study's folder).
    left = [pid for pid in os.listdir("/proc") if pid.isdigit() and _cwd(pid) == str(study)]
    assert left == []


def _cwd(pid):
    try:
        return os.readlink(f"/proc/{pid}/cwd")
    except OSError:
        return None
