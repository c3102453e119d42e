"""The whole run on the embedded simulator: two plants grafted onto IEEE
118, both with bus numbers taken in the main network and the second also
with numbers the first is given, then `velquin run` on the same study."""

import json
import os
import subprocess
import sys
from pathlib import Path

import pytest

from fixtures.embedded_simulator import embedded_modules
from fixtures.integration_run import Events
from fixtures.workbooks import config_workbook

REPO_DIR = Path(__file__).resolve().parents[3]
SOLAR_MAP = {1: 900000, 2: 900001, 3: 900002}
WIND_MAP = {1: 900003, 900000: 900004}


def build_cases(psspy, folder, matpower):
    assert psspy.read_matpower(ifile=str(matpower)) == 0
    assert psspy.save(sfile=str(folder / "IEEE118.sav")) == 0

    def buses(*records):
        for number, kv, kind, name in records:
            assert psspy.bus_data_4(ibus=number, intgar1=kind, realar1=kv, name=name) == 0

    def machine(bus, machine_id, pg, qmax, pmax):
        assert psspy.plant_data_4(ibus=bus, realar1=1.0) == 0
        assert psspy.machine_data_5(ibus=bus, id=machine_id, realar1=pg, realar3=qmax, realar4=-qmax,
                                    realar5=pmax, realar6=0.0, realar7=pmax) == 0

    # Solar plant on bus 49: a 138 kV tie, a three-winding main transformer,
    # a feeder, a pad-mount transformer to the inverters, shunts, station
    # service and a pump motor. Buses 1, 2 and 3 are taken in the main case.
    assert psspy.newcase_2(basemva=100.0) == 0
    buses((49, 138.0, 3, "POI"), (1, 138.0, 1, "PLANT HV"), (2, 34.5, 1, "COLLECTOR"), (3, 13.8, 1, "AUX"),
          (950, 0.69, 2, "INVERTER"), (951, 34.5, 1, "FEEDER END"))
    assert psspy.branch_data_4(ibus=49, jbus=1, ckt="1", realar1=0.001, realar2=0.01, realar3=0.002) == 0
    assert psspy.three_wnd_imped_data_4(ibus=1, jbus=2, kbus=3, ckt="1", realari1=0.002, realari2=0.08,
                                        realari3=0.002, realari4=0.06, realari5=0.002, realari6=0.07)[0] == 0
    assert psspy.branch_data_4(ibus=2, jbus=951, ckt="1", realar1=0.01, realar2=0.02) == 0
    assert psspy.two_winding_data_6(ibus=951, jbus=950, ckt="1", realari1=0.005, realari2=0.06)[0] == 0
    machine(950, "PV", 40.0, 15.0, 50.0)
    assert psspy.load_data_7(ibus=3, id="SS", realar1=0.5, realar2=0.2) == 0
    assert psspy.shunt_data(ibus=2, id="F1", realar2=5.0) == 0
    assert psspy.switched_shunt_data_6(ibus=2, id="C1", intgar1=2, realar1=5.0, realar9=1.05, realar10=0.95) == 0
    assert psspy.induction_machine_data_2(ibus=951, id="M1", realar1=5.0, realar3=2.0) == 0
    assert psspy.save(sfile=str(folder / "Solar.sav")) == 0

    # Wind plant on bus 80: its bus 1 is taken in the main case, its bus
    # 900000 is the number the solar plant's bus 1 gets.
    assert psspy.newcase_2(basemva=100.0) == 0
    buses((80, 138.0, 3, "POI"), (1, 138.0, 1, "WIND HV"), (900000, 0.69, 2, "WTG"))
    assert psspy.branch_data_4(ibus=80, jbus=1, ckt="1", realar1=0.002, realar2=0.02) == 0
    assert psspy.two_winding_data_6(ibus=1, jbus=900000, ckt="1", realari1=0.005, realari2=0.08)[0] == 0
    machine(900000, "W1", 30.0, 10.0, 30.0)
    assert psspy.save(sfile=str(folder / "wind.sav")) == 0


def workbook(folder, simulator_dir, results):
    # Mixed-case folder and file names: the reader hands them over lower-cased.
    return config_workbook(folder / "config.xlsx", psse_path=str(simulator_dir), psse_version=35.5,
                           psse_init=1000, main_cases=[("yes", str(folder / "Cases"), "IEEE118.sav")],
                           small_cases=[("yes", str(folder / "Cases"), "Solar", 49),
                                        ("yes", str(folder / "Cases"), "wind.sav", 80)],
                           result_folder=str(results))


@pytest.fixture(scope="module")
def study(tmp_path_factory, simulator_dir, test_data_dir):
    folder = tmp_path_factory.mktemp("study")
    (folder / "Cases").mkdir()
    with embedded_modules(simulator_dir) as simulator:
        import velquin_main

        psspy = simulator.psspy
        assert psspy.progress_output(islct=2, filarg=str(folder / "building.txt")) == 0
        build_cases(psspy, folder / "Cases", test_data_dir / "matpower" / "case118.m")
        config = workbook(folder, simulator_dir, folder / "results")
        events = Events()
        velquin_main.run_integration(str(folder), config.name, observer=events)
        yield folder, simulator.caspy, psspy, events.named("pair_finished")


def by_key(table, *keys):
    count = len(table[keys[0]])
    return {tuple(table[k][i] for k in keys): i for i in range(count)}


def test_both_pairs_converge_and_each_last_numbered_stage_is_a_solved_case(study):
    folder, _, psspy, pairs = study
    assert [(p["small_case"], p["converged"], p["connections"], p["reconnected"]) for p in pairs] == [
        ("solar", True, 4, 4), ("wind", True, 2, 2)]
    for (name, mapping), stages in zip((("solar", SOLAR_MAP), ("wind", WIND_MAP)), (4, 2)):
        pair = folder / "results" / name / "ieee118"
        assert (pair / "ieee118_renumber_map.txt").read_text() == "".join(
            f"{old} -> {new}\n" for old, new in mapping.items())
        numbered = sorted(p.name for p in pair.glob(f"ieee118_solved_{name}_[0-9]*.sav"))
        assert numbered == [f"ieee118_solved_{name}_{n}.sav" for n in range(stages + 1)]
        progress = folder / f"check_{name}.txt"
        assert psspy.progress_output(islct=2, filarg=str(progress)) == 0
        assert psspy.case(sfile=str(pair / numbered[-1])) == 0
        # Solved from its saved voltages, the case needs no iteration at all.
        assert psspy.fnsl(options1=0, options6=0) == 0 and psspy.solved() == 0
        assert "Reached tolerance in 0 iterations" in progress.read_text()


def test_the_final_case_holds_every_element_at_its_new_number(study):
    folder, caspy, _, _ = study
    main = caspy.Savecase(str(folder / "Cases" / "IEEE118.sav"))
    final = caspy.Savecase(str(folder / "results" / "ieee118_solved_.sav"))
    bus = final.pssbus
    buses = {n: (bus["NAME"][i], bus["BASKV"][i], bus["IDE"][i]) for i, n in enumerate(bus["NUM"]) if n <= 999999}
    new_buses = {900000: ("PLANT HV", 138.0), 900001: ("COLLECTOR", 34.5), 900002: ("AUX", 13.8),
                 950: ("INVERTER", 0.69), 951: ("FEEDER END", 34.5), 900003: ("WIND HV", 138.0),
                 900004: ("WTG", 0.69)}
    # Every new bus in service under its new number, and the main case's own
    # buses all there, none written over.
    assert {n: buses[n][:2] for n in new_buses} == new_buses
    assert [n for n in new_buses if buses[n][2] == 4] == []
    assert {n: buses[n][:2] for n in main.pssbus["NUM"]} == {
        n: (main.pssbus["NAME"][i], main.pssbus["BASKV"][i]) for i, n in enumerate(main.pssbus["NUM"])}
    assert len(buses) == len(main.pssbus["NUM"]) + len(new_buses)

    lines = by_key(final.casbrn, "FRMBUS", "TOBUS", "CKT")
    assert {(49, 900000, "1"), (900001, 951, "1"), (80, 900003, "1")} <= set(lines)
    assert final.casbrn["RX"][lines[(49, 900000, "1")]] == pytest.approx(0.001 + 0.01j)
    assert {((900000, 900001, 900002), "1"), ((951, 950, 0), "1"), ((900003, 900004, 0), "1")} <= set(
        by_key(final.castrn, "BUSNUM", "CKT"))
    machines = by_key(final.pssgen, "NUM", "IDE")
    assert final.pssgen["PG"][machines[(950, "PV")]] == pytest.approx(0.40) and (900004, "W1") in machines
    for table, element in (("psslod", (900002, "SS")), ("pssfsh", (900001, "F1")), ("psswsh", (900001, "C1")),
                           ("pssind", (951, "M1"))):
        assert element in by_key(getattr(final, table), "NUM", "ID"), table


def test_velquin_run_prints_the_summary_writes_it_and_succeeds(study, simulator_dir, build_dir):
    folder = study[0]
    results = folder / "cli_results"
    config = workbook(folder, simulator_dir, results)
    env = dict(os.environ, VELQUIN_BUILD_DIR=str(build_dir))
    done = subprocess.run([sys.executable, str(REPO_DIR / "bin" / "velquin"), "run", str(config)],
                          capture_output=True, text=True, env=env, timeout=300)
    assert done.returncode == 0, done.stderr
    assert done.stderr == ""
    lines = done.stdout.splitlines()
    # The report of the sheet's result folder comes last.
    assert lines[-1] == f"Report: {results / 'report' / 'index.html'}"
    summary = lines[-9:-2]
    assert summary[0].split() == ["Result", "folder", "Outcome", "Brought", "back", "Time"]
    assert summary[1].split()[:5] == [str(results / "solar" / "ieee118"), "converged", "4", "of", "4"]
    assert summary[2].split()[:5] == [str(results / "wind" / "ieee118"), "converged", "2", "of", "2"]
    assert summary[3:] == [f"Final case: {results / 'ieee118_solved_.sav'}",
                           "  holds solar (in service), wind (in service)",
                           "2 pairs: 2 converged.",
                           f"Run summary: {results / 'run-summary.json'}"]
    document = json.loads((results / "run-summary.json").read_text())
    assert (document["exit_status"], document["counts"]["converged"], document["run_errors"]) == (0, 2, [])
    assert [(p["small_case"], p["outcome"], p["refused_elements"], p["buses_out_of_service"])
            for p in document["pairs"]] == [("solar", "converged", [], []), ("wind", "converged", [], [])]
    assert document["final_cases"][0]["pairs"][1] == {
        "small_case": "wind", "folder": str(results / "wind" / "ieee118"), "outcome": "converged",
        "state": "in_service"}
