"""PSSE_ENGINE start-up, solving, queries and changes, on the recording fake simulator."""

import os
import subprocess
import sys
from pathlib import Path

import pytest

from fixtures.fake_simulator import Call, hide_other_simulators, isolated_imports, lay_out
from velquin_ps import PSSE_ENGINE


@pytest.mark.parametrize("version, startup", [
    (37.0, "psse3602"), (36.2, "psse3602"), (36.19, "psse3601"), (36.1, "psse3601"),
    (36.0, "psse3505"), (35.5, "psse3505"), ("35.5", "psse3505"), (" 36.1 ", "psse3601"),
    (35.49, "psse34"), (35.3, "psse34"), (35, "psse34"), (34.0, "psse34"),
])
def test_version_selects_startup_module(fake_simulator, version, startup):
    before = list(sys.path)
    engine = fake_simulator.engine(version)
    assert fake_simulator.imports == [startup, "caspy", "psspy"]
    assert engine.version == float(version) and type(engine.version) is float
    assert engine.caspy is sys.modules["caspy"] and engine.psspy is sys.modules["psspy"]
    assert engine.get_caspy() is engine.caspy and engine.get_psspy() is engine.psspy
    # The simulator folder goes last, so folders already on the path win.
    assert sys.path == before + [str(fake_simulator.path)]
    assert fake_simulator.calls == []


def test_construction_failures(fake_simulator, tmp_path):
    # Before the fake's folder is on the search path, nothing provides the modules.
    with pytest.raises(ImportError):
        PSSE_ENGINE(psse_path=str(tmp_path / "nowhere"), version=34.0)
    with pytest.raises(TypeError, match=r"^PSSE_ENGINE: simulator version 33\.9 is not supported \(the oldest "
                                        r"release is 34\.0\)"):
        fake_simulator.engine(33.9)
    assert fake_simulator.imports == []
    with pytest.raises(ValueError):
        fake_simulator.engine("thirty-five")


def test_path_is_stored_as_text(fake_simulator):
    engine = PSSE_ENGINE(Path(fake_simulator.path), 36.2)
    assert engine.psse_path == str(fake_simulator.path)
    assert isinstance(engine.psse_path, str)


def test_progress_output_sets_page_length_only_after_success(fake_simulator):
    engine = fake_simulator.engine()
    fake_simulator.answer("progress_output", [0, 1])
    assert engine.create_progress_output(islct=2, filarg="out/progress.txt") == 0
    assert engine.create_progress_output(islct=6) is None
    assert fake_simulator.calls == [
        Call("psspy", "progress_output", (), {"islct": 2, "filarg": "out/progress.txt"}),
        Call("psspy", "lines_per_page_one_device", (1, 10000000), {}),
        Call("psspy", "progress_output", (), {"islct": 6}),
    ]


@pytest.mark.parametrize("method, operation, kwargs", [
    ("init_psse", "psseinit", {"buses": 50000}),
    ("open_case", "case", {"sfile": "c:/cases/main.sav"}),
    ("save_case", "save", {"sfile": "c:/cases/out.sav"}),
    ("get_bus_data", "busdat", {"ibus": 101, "string": "PU"}),
    ("ini_branch_2", "inibrn_2", {"ibus": 101, "inode": 0, "single": 2}),
    ("get_next_branch_bus", "nxtbrn_2", {"ibus": 101, "inode": 0}),
    ("get_next_tx3_bus", "nxtbrn3_2", {"ibus": 101, "inode": 0}),
    ("ini_mac", "inimac", {"ibus": 101}),
    ("next_mac", "nxtmac", {"ibus": 101}),
    ("change_bus_data", "bus_chng_4", {"ibus": 101, "inode": 0, "realar2": 1.01, "realar3": -4.5}),
])
def test_keyword_methods_pass_through_unchanged(fake_simulator, method, operation, kwargs):
    engine = fake_simulator.engine()
    answer = (7, "unchanged", [1.5])
    fake_simulator.answer(operation, answer)
    assert getattr(engine, method)(**kwargs) is answer
    assert fake_simulator.calls == [Call("psspy", operation, (), kwargs)]
    with pytest.raises(TypeError, match="keyword arguments only"):
        getattr(engine, method)(101)
    assert len(fake_simulator.calls) == 1


def test_no_argument_operations(fake_simulator):
    engine = fake_simulator.engine()
    fake_simulator.answer("close_powerflow", 3)
    fake_simulator.answer("deltmpfiles", 4)
    fake_simulator.answer("solved", 2)
    assert engine.close_power_flow() == 3
    assert engine.del_tmp_files() == 4
    assert engine.check_solved() == 2
    assert fake_simulator.calls == [Call("psspy", n, ()) for n in ("close_powerflow", "deltmpfiles", "solved")]


def test_load_flow_recipe_makes_all_ten_calls(fake_simulator):
    engine = fake_simulator.engine()
    fake_simulator.answer("solved", 0)
    assert engine.run_load_flow() is None
    rsol = [1, 2, 0, 0, 1, 1, 0, 99, 0, 0]
    rsol4 = [1, 2, 0, 0, 1, 1, 4, 99, 0, 0]
    fnsl = [2, 0, 0, 1, 1, 0, 99, 0]
    fnsl4 = [2, 0, 0, 1, 1, 4, 99, 0]
    reals = [500.0, 5.0]
    assert fake_simulator.calls == [
        Call("psspy", "rsol", (), {"options1": 1, "options2": 2, "options6": 1, "options7": 0,
                                    "options8": 99, "options9": 0, "options10": 0}),
        Call("psspy", "rsol", (rsol, reals)), Call("psspy", "rsol", (rsol, reals)),
        Call("psspy", "fnsl", (fnsl,)), Call("psspy", "fnsl", (fnsl,)),
        Call("psspy", "rsol", (rsol, reals)),
        Call("psspy", "fnsl", (fnsl4,)), Call("psspy", "fnsl", (fnsl4,)),
        Call("psspy", "rsol", (rsol4, reals)), Call("psspy", "rsol", (rsol, reals)),
    ]


def test_solver_pass_throughs_drop_the_code(fake_simulator):
    engine = fake_simulator.engine()
    fake_simulator.answer("rsol", 5)
    fake_simulator.answer("fnsl", 6)
    assert engine.run_load_flow_rsol(options1=1) is None
    assert engine.run_load_flow_fnsl(options1=2, options7=99) is None
    assert fake_simulator.calls == [Call("psspy", "rsol", (), {"options1": 1}),
                                    Call("psspy", "fnsl", (), {"options1": 2, "options7": 99})]
    with pytest.raises(TypeError):
        engine.run_load_flow_rsol([1, 2])


def test_case_data_is_read_without_touching_the_open_case(fake_simulator):
    engine = fake_simulator.engine()
    case = object()
    fake_simulator.add_case("c:/cases/small.sav", case)
    assert engine.get_case_data("c:/cases/small.sav") is case
    assert engine.get_case_data(case="c:/cases/small.sav") is case
    assert fake_simulator.calls == [Call("caspy", "Savecase", ("c:/cases/small.sav",))] * 2
    with pytest.raises(FileNotFoundError):
        engine.get_case_data("c:/cases/missing.sav")


class BusList(list):
    pass


@pytest.mark.parametrize("method, operation", [("disconnect_buses", "dscn"), ("reconnect_buses", "recn")])
@pytest.mark.parametrize("argument, expected", [
    ([101, 102, 103], [(101,), (102,), (103,)]),
    (BusList([7, 8]), [(7,), (8,)]),
    ([], []),
    (101, [(101,)]),
    ((101, 102), [((101, 102),)]),
])
def test_bus_switching_walks_lists_only(fake_simulator, method, operation, argument, expected):
    engine = fake_simulator.engine()
    fake_simulator.answer(operation, [1, 0])  # a refused bus does not stop the others
    assert getattr(engine, method)(argument) is None
    assert [c.args for c in fake_simulator.calls if c.name == operation] == expected
    assert all(c.kwargs == {} for c in fake_simulator.calls)


@pytest.mark.parametrize("version, operation", [
    (36.2, "machine_chng_5"), (36.0, "machine_chng_5"), (35.5, "machine_chng_4"),
    (35.3, "machine_chng_3"), (35.0, "machine_chng_3"), (34.0, "machine_chng_2"),
])
def test_machine_change_by_version(fake_simulator, version, operation):
    engine = fake_simulator.engine(version)
    fake_simulator.answer(operation, 9)
    assert engine.change_machine_data(ibus=5, id="1", intgar1=0) == 9
    assert fake_simulator.calls == [Call("psspy", operation, (), {"ibus": 5, "id": "1", "intgar1": 0})]


def test_machine_change_below_every_band_does_nothing(fake_simulator):
    engine = fake_simulator.engine(34.0)
    engine.version = 32.9
    assert engine.change_machine_data(ibus=5, id="1", intgar1=0) is None
    assert fake_simulator.calls == []


CLEAR_CHECK = """
import os, sys
os.name = sys.argv[1]
commands = []
os.system = lambda command: commands.append(command) or 0
import velquin_ps
print(commands)
"""


@pytest.mark.parametrize("os_name, commands", [("nt", "['cls']"), ("posix", "[]")])
def test_import_clears_the_console_only_on_windows(build_dir, os_name, commands):
    result = subprocess.run([sys.executable, "-c", CLEAR_CHECK, os_name], capture_output=True, text=True,
                            env={**os.environ, "PYTHONPATH": str(build_dir / "python")}, check=True)
    assert result.stdout.strip() == commands


def test_fake_simulator_leaves_imports_as_it_found_them(tmp_path):
    modules, path = dict(sys.modules), list(sys.path)
    with isolated_imports():
        hide_other_simulators()
        fake = lay_out(tmp_path / "simulator")
        engine = fake.engine(35.5)
        assert sys.modules["psspy"] is engine.psspy and str(fake.path) in sys.path
    assert sys.modules == modules and sys.path == path
