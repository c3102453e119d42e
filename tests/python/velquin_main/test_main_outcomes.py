"""Each outcome of a pair, driven through `velquin run` on the embedded
simulator, and told alike by the printed summary, run-summary.json and the
exit status, which the saved cases bear out.

Four plants on IEEE 14, connecting at bus 14 unless said:
- island: an island of two buses that no connection from bus 14 reaches;
- refused: read from a RAW file, with a load whose identifier has three
  characters, which the main case refuses;
- failing: its second connection brings back a bus through a line that is
  out of service: an energised island without a swing bus, which no
  solution can solve;
- rescue: connects at the failing plant's bus 801 with a swing machine, so
  the last network solve converges and the final case is saved holding the
  failing plant's partly energised network.
"""

import argparse
import contextlib
import io
import json
from pathlib import Path

import pytest

from fixtures.embedded_simulator import embedded_modules
from fixtures.workbooks import config_workbook

REPO_DIR = Path(__file__).resolve().parents[3]
OUT_OF_SERVICE = 4

REFUSED_RAW = """\
 0,    100.00, 33, 0, 0, 60.00
plant read from a RAW file
with a load identifier of three characters
   14,'POI', 138.0,1,   1,   1,   1,1.0,   0.0, 1.1, 0.9, 1.1, 0.9
  501,'A', 138.0,1,   1,   1,   1,1.0,   0.0, 1.1, 0.9, 1.1, 0.9
  502,'B', 138.0,1,   1,   1,   1,1.0,   0.0, 1.1, 0.9, 1.1, 0.9
0 / END OF BUS DATA, BEGIN LOAD DATA
  502,'ABC',1,   1,   1,    1.0,    0.5,     0.0,     0.0,     0.0,     0.0,   1,1
0 / END OF LOAD DATA, BEGIN FIXED SHUNT DATA
0 / END OF FIXED SHUNT DATA, BEGIN GENERATOR DATA
0 / END OF GENERATOR DATA, BEGIN BRANCH DATA
   14,   501,'1 ',1.0E-2,5.0E-2,0.0,   0.00,   0.00,   0.00,  0.0,  0.0,  0.0,  0.0,1,1,   0.0,   1,1.0
  501,   502,'1 ',1.0E-2,5.0E-2,0.0,   0.00,   0.00,   0.00,  0.0,  0.0,  0.0,  0.0,1,1,   0.0,   1,1.0
0 / END OF BRANCH DATA, BEGIN TRANSFORMER DATA
""" + "".join(f"0 / END OF {section} DATA\n" for section in (
    "TRANSFORMER", "AREA", "TWO-TERMINAL DC", "VSC DC LINE", "IMPEDANCE CORRECTION", "MULTI-TERMINAL DC",
    "MULTI-SECTION LINE", "ZONE", "INTER-AREA TRANSFER", "OWNER", "FACTS DEVICE", "SWITCHED SHUNT",
    "GNE DEVICE", "INDUCTION MACHINE")) + "Q\n"


def build_cases(psspy, cases, matpower):
    assert psspy.read_matpower(ifile=str(matpower)) == 0
    assert psspy.save(sfile=str(cases / "grid.sav")) == 0

    def new_case(*buses):
        assert psspy.newcase_2(basemva=100.0) == 0
        for number, kind in buses:
            assert psspy.bus_data_4(ibus=number, intgar1=kind, realar1=138.0) == 0

    def line(a, b, status=1):
        assert psspy.branch_data_4(ibus=a, jbus=b, ckt="1", intgar1=status, realar1=0.005, realar2=0.05) == 0

    new_case((14, 1), (1, 1), (2, 1), (700, 1), (701, 1))  # 1 and 2 are taken in the main case
    for a, b in ((14, 1), (1, 2), (700, 701)):
        line(a, b)
    assert psspy.load_data_7(ibus=701, id="1", realar1=1.0) == 0
    assert psspy.save(sfile=str(cases / "island.sav")) == 0

    (cases / "refused.raw").write_text(REFUSED_RAW)
    assert psspy.read(numnam=0, ifile=str(cases / "refused.raw")) == 0
    assert psspy.save(sfile=str(cases / "refused.sav")) == 0

    new_case((14, 1), (800, 1), (801, 1))
    line(14, 800)
    line(800, 801, status=0)
    assert psspy.load_data_7(ibus=801, id="1", realar1=5.0, realar2=1.0) == 0
    assert psspy.save(sfile=str(cases / "failing.sav")) == 0

    new_case((801, 1), (802, 3))
    line(801, 802)
    assert psspy.plant_data_4(ibus=802, realar1=1.0) == 0
    assert psspy.machine_data_5(ibus=802, id="1", realar1=5.0, realar3=10.0, realar4=-10.0, realar5=20.0,
                                realar7=20.0) == 0
    assert psspy.save(sfile=str(cases / "rescue.sav")) == 0


def velquin_run(run_command, folder, simulator_dir, name, small_cases):
    """Runs `velquin run` in this process on a workbook of these small cases;
    gives the exit status, what was printed, and the summary file."""
    results = folder / name
    config = config_workbook(folder / f"{name}.xlsx", psse_path=str(simulator_dir), psse_version=36.2,
                             psse_init=1000, main_cases=[("yes", str(folder / "cases"), "grid")],
                             small_cases=[("yes", str(folder / "cases"), case, bus) for case, bus in small_cases],
                             result_folder=str(results))
    out, err = io.StringIO(), io.StringIO()
    with contextlib.redirect_stdout(out), contextlib.redirect_stderr(err):
        status = run_command.execute(argparse.Namespace(workbook=str(config), traceback=False))
    document = json.loads((results / "run-summary.json").read_text())
    return argparse.Namespace(status=status, out=out.getvalue(), err=err.getvalue(), document=document,
                              results=results)


@pytest.fixture(scope="module")
def runs(tmp_path_factory, simulator_dir, test_data_dir):
    folder = tmp_path_factory.mktemp("outcomes")
    (folder / "cases").mkdir()
    with embedded_modules(simulator_dir) as simulator, pytest.MonkeyPatch.context() as patch:
        patch.syspath_prepend(str(REPO_DIR))
        from cli import run_command

        assert simulator.psspy.progress_output(islct=2, filarg=str(folder / "building.txt")) == 0
        build_cases(simulator.psspy, folder / "cases", test_data_dir / "matpower" / "case14.m")
        mixed = velquin_run(run_command, folder, simulator_dir, "mixed",
                            [("island", 14), ("refused", 14), ("failing", 14), ("rescue", 801)])
        stopped = velquin_run(run_command, folder, simulator_dir, "stopped",
                              [("island", 14), ("absent", 14), ("refused", 14)])
        yield argparse.Namespace(mixed=mixed, stopped=stopped, caspy=simulator.caspy)


def outcomes_in_table(out):
    lines = out.splitlines()
    start = next(i for i, text in enumerate(lines) if text.startswith("Result folder"))
    return [[cell.strip() for cell in text.split("  ") if cell.strip()][:3] for text in lines[start + 1:start + 5]]


def test_every_outcome_is_told_alike_by_the_table_the_file_and_the_exit_status(runs):
    run = runs.mixed
    assert run.status == 1 and run.err == ""
    folder = run.results
    assert outcomes_in_table(run.out) == [
        [str(folder / "island" / "grid"), "converged with omissions", "2 of 2"],
        [str(folder / "refused" / "grid"), "converged with omissions", "2 of 2"],
        [str(folder / "failing" / "grid"), "failed", "1 of 2"],
        [str(folder / "rescue" / "grid"), "converged", "1 of 1"]]
    pairs = {p["small_case"]: p for p in run.document["pairs"]}
    assert [p["outcome"] for p in pairs.values()] == [
        "converged_with_omissions", "converged_with_omissions", "failed", "converged"]
    assert run.document["exit_status"] == 1
    assert run.document["counts"] == {"pairs": 4, "converged": 1, "converged_with_omissions": 2, "failed": 1,
                                      "error": 0, "not_run": 0}
    assert "4 pairs: 1 converged, 2 converged with omissions, 1 failed." in run.out.splitlines()


def test_buses_no_connection_reaches_are_named_and_are_out_of_service(runs):
    run = runs.mixed
    island = run.document["pairs"][0]
    assert (island["buses_out_of_service"], island["refused_elements"]) == ([700, 701], [])
    assert island["renumbered"] == 2 and island["elements"]["bus"] == {"total": 4, "refused": 0}
    assert "  left out of service: buses 700, 701 (no connection brought back reaches them)" in run.out
    final = runs.caspy.Savecase(str(run.results / "grid_solved_.sav")).pssbus
    kinds = dict(zip(final["NUM"], final["IDE"]))
    assert (kinds[700], kinds[701]) == (OUT_OF_SERVICE, OUT_OF_SERVICE)
    assert OUT_OF_SERVICE not in (kinds[900000], kinds[900001])  # the island plant's other buses


def test_a_refused_element_is_named_with_its_code_and_is_not_in_the_case(runs):
    run = runs.mixed
    refused = run.document["pairs"][1]
    assert refused["refused_elements"] == [{"kind": "load", "element": "Load 502, Id:ABC", "code": 3}]
    assert refused["buses_out_of_service"] == []
    assert refused["elements"]["load"] == {"total": 1, "refused": 1}
    assert "  refused by the main case: load 'Load 502, Id:ABC' (code 3)" in run.out
    loads = runs.caspy.Savecase(str(run.results / "grid_solved_.sav")).psslod
    assert 502 not in loads["NUM"]


def test_a_failed_solve_names_its_stage_connection_and_status(runs):
    run = runs.mixed
    failing = run.document["pairs"][2]
    assert failing["failure"] == {"stage": "network solve", "connection": [800, 801, "1 "], "position": 2,
                                  "connections": 2, "solution_status": 8}
    assert failing["solution_status"] == 8 and failing["final_case"] is None
    assert ("failing on grid: failed: the network solve did not converge at connection 2 of 2, "
            "(800, 801, '1 ') (solution status 8)") in run.out.splitlines()
    # The stage saved for the connection that converged, none for the one that did not.
    saved = sorted(p.name for p in (run.results / "failing" / "grid").glob("grid_solved_failing_*.sav"))
    assert saved == ["grid_solved_failing_0.sav", "grid_solved_failing_1.sav"]


def test_the_final_case_says_it_holds_the_failed_pair_s_partly_energised_network(runs):
    run = runs.mixed
    path = str(run.results / "grid_solved_.sav")
    assert run.document["final_cases"] == [{"path": path, "main_case": "grid", "pairs": [
        {"small_case": name, "folder": str(run.results / name / "grid"), "outcome": outcome, "state": state}
        for name, outcome, state in [("island", "converged_with_omissions", "in_service_with_omissions"),
                                     ("refused", "converged_with_omissions", "in_service_with_omissions"),
                                     ("failing", "failed", "partly_energised"),
                                     ("rescue", "converged", "in_service")]]}]
    assert run.document["pairs"][3]["final_case"] == path
    assert run.out.splitlines()[-6:-4] == [  # then the counts, the summary file and the report
        f"Final case: {path}",
        "  holds island (in service, with omissions), refused (in service, with omissions), failing (partly "
        "energised: its network solve did not converge), rescue (in service)"]


def test_a_pair_that_stops_on_an_error_is_told_once_and_the_rest_not_run(runs):
    run = runs.stopped
    assert run.status == 1
    absent = str(Path(run.document["pairs"][1]["small_case_path"]))
    err = run.err.splitlines()
    assert err[0].startswith("velquin run: the run stopped while grafting absent onto grid (reading the small "
                             f"case): caspy.CaseFileError: {absent}")
    assert err[1] == ("  What to do: check FILEPATH OF CASE TO BE ADDED and NAME OF CASE TO BE ADDED of this "
                      "small case on the CASE_INPUT sheet: they must name a saved case.")
    assert run.out.count(absent) == 1  # where the run said which case it was processing
    assert "No pair of cases was run" not in run.out
    assert outcomes_in_table(run.out)[1:3] == [["(absent on grid)", "error", "-"],
                                               ["(refused on grid)", "not run", "-"]]
    assert [(p["small_case"], p["outcome"]) for p in run.document["pairs"]] == [
        ("island", "converged_with_omissions"), ("absent", "error"), ("refused", "not_run")]
    assert run.document["pairs"][1]["error"]["stage"] == "read"
    assert run.document["pairs"][2]["folder"] is None and run.document["exit_status"] == 1
