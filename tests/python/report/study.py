"""A small study for the report's tests, run on the embedded simulator:
two plants grafted onto the IEEE 30-bus network.

- "solar" on bus 4: a 135 kV tie line, a three-winding main transformer
  (135/34.5/13.8 kV), a pad-mount transformer to a 20 MW inverter bus and
  station service. Its 34.5 kV bus has a normal high limit of 0.98 pu, so
  energising it puts that bus above its limit. Every connection converges.
- "sink" on bus 7: a tie line and a transformer to a bus with a load far
  beyond what the network can carry: its second stage fails.
"""

from __future__ import annotations

import argparse
import contextlib
import io
import sys
from pathlib import Path

from fixtures.fake_simulator import hide_other_simulators, isolated_imports
from fixtures.workbooks import config_workbook

REPO_DIR = Path(__file__).resolve().parents[3]

SOLAR_BUSES = [101, 102, 103, 104]
SINK_BUSES = [201, 202]


def _buses(psspy, *records):
    for number, kv, kind, name, vmax in records:
        assert psspy.bus_data_4(ibus=number, intgar1=kind, realar1=kv, realar4=vmax, realar5=0.9,
                                name=name) == 0


def build_cases(psspy, folder: Path, case30: Path) -> None:
    assert psspy.read_matpower(ifile=str(case30)) == 0
    assert psspy.save(sfile=str(folder / "ieee30.sav")) == 0

    assert psspy.newcase_2(basemva=100.0) == 0
    _buses(psspy, (4, 135.0, 3, "POI", 1.1), (101, 135.0, 1, "SOLAR HV", 1.1), (102, 34.5, 1, "SOLAR MV", 0.98),
           (103, 13.8, 1, "SOLAR AUX", 1.1), (104, 0.69, 2, "SOLAR INV", 1.1))
    assert psspy.branch_data_4(ibus=4, jbus=101, ckt="1", realar1=0.002, realar2=0.02, realar3=0.04,
                               ratings1=40.0) == 0
    assert psspy.three_wnd_imped_data_4(ibus=101, jbus=102, kbus=103, ckt="1", realari1=0.002, realari2=0.08,
                                        realari3=0.002, realari4=0.06, realari5=0.002, realari6=0.07)[0] == 0
    for winding, rating in ((1, 30.0), (2, 25.0), (3, 5.0)):
        assert psspy.three_wnd_winding_data_5(ibus=101, jbus=102, kbus=103, ckt="1", warg=winding,
                                              ratings1=rating)[0] == 0
    # Rated below the inverters' 20 MW: the full-output check overloads it.
    assert psspy.two_winding_data_6(ibus=102, jbus=104, ckt="1", realari1=0.005, realari2=0.06,
                                    ratings1=15.0)[0] == 0
    assert psspy.plant_data_4(ibus=104, realar1=1.0) == 0
    assert psspy.machine_data_5(ibus=104, id="PV", realar1=0.0, realar3=9.0, realar4=-9.0, realar5=20.0,
                                realar6=0.0, realar7=25.0) == 0
    assert psspy.load_data_7(ibus=103, id="SS", realar1=0.5, realar2=0.2) == 0
    assert psspy.save(sfile=str(folder / "solar.sav")) == 0

    assert psspy.newcase_2(basemva=100.0) == 0
    _buses(psspy, (7, 135.0, 3, "POI", 1.1), (201, 135.0, 1, "SINK HV", 1.1), (202, 34.5, 1, "SINK MV", 1.1))
    assert psspy.branch_data_4(ibus=7, jbus=201, ckt="1", realar1=0.01, realar2=0.1, ratings1=50.0) == 0
    assert psspy.two_winding_data_6(ibus=201, jbus=202, ckt="1", realari1=0.01, realari2=0.2)[0] == 0
    assert psspy.load_data_7(ibus=202, id="1", realar1=4000.0, realar2=2000.0) == 0
    assert psspy.save(sfile=str(folder / "sink.sav")) == 0


def write_workbook(folder: Path, simulator_dir: Path, results: Path) -> Path:
    return config_workbook(folder / "config.xlsx", psse_path=str(simulator_dir), psse_version=35.5,
                           psse_init=1000, main_cases=[("yes", str(folder), "ieee30.sav")],
                           small_cases=[("yes", str(folder), "solar.sav", 4), ("yes", str(folder), "sink.sav", 7)],
                           result_folder=str(results))


@contextlib.contextmanager
def embedded_run(folder: Path, simulator_dir: Path, write_cases):
    """`velquin run` on the embedded simulator, in isolated imports, for the
    workbook that `write_cases(psspy)` returns after saving its cases.
    Yields (caspy, the run's exit status, what it printed) while the
    simulator's modules stay imported."""
    with isolated_imports():
        hide_other_simulators()
        sys.path[:0] = [str(simulator_dir), str(REPO_DIR)]
        import caspy
        import psspy

        from cli import run_command

        assert psspy.progress_output(islct=2, filarg=str(folder / "building.txt")) == 0
        workbook = write_cases(psspy)
        out = io.StringIO()
        with contextlib.redirect_stdout(out):
            status = run_command.execute(argparse.Namespace(workbook=str(workbook), traceback=False))
        try:
            yield caspy, status, out.getvalue()
        finally:
            psspy.close_powerflow()
            psspy.progress_output(islct=1)
