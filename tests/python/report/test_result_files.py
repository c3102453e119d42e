"""What the report tells from a result folder's files alone: the pairs in
run order, the small case's buses, each pair's outcome (from the run's
summary file when there is one), and the progress text of a failed stage."""

import json
import os
import sys
from pathlib import Path

REPO_DIR = Path(__file__).resolve().parents[3]
if str(REPO_DIR) not in sys.path:
    sys.path.insert(0, str(REPO_DIR))

from velquin_report.progress_text import failed_stage_text  # noqa: E402
from velquin_report.result_folder import find_pairs, small_case_buses  # noqa: E402
from velquin_report.run_facts import pair_facts  # noqa: E402
from velquin_report.simulator import resolve_letter_case  # noqa: E402

STATUS = """Bus_Status:
    total_bus: 2
    900000: 0
    12: 0

Line_Branch_Status:
    total_line_branch: 1
    7 to 900000, Ckt:1: 0

"""


def pair(sheet: Path, small: str, main: str, stages, when: int) -> Path:
    folder = sheet / small / main
    folder.mkdir(parents=True)
    (folder / f"{main}_renumber_map.txt").write_text("")
    os.utime(folder / f"{main}_renumber_map.txt", (when, when))
    (folder / f"{main}_status_{small}.txt").write_text(STATUS)
    for stage in stages:
        (folder / f"{main}_solved_{small}_{stage}.sav").write_bytes(b"")
    return folder


def test_pairs_in_run_order_with_their_stages_and_outcomes(tmp_path):
    pair(tmp_path, "wind", "grid", ["0", "1", "2", "10", "final_solved"], when=2000)
    pair(tmp_path, "solar", "grid", ["0", "1"], when=1000)
    pair(tmp_path, "storage", "grid", [], when=3000)
    (tmp_path / "report").mkdir()  # the report's own folder is no pair
    pairs = find_pairs(tmp_path)
    assert [p.small_case for p in pairs] == ["solar", "wind", "storage"]
    assert [s for s, _ in pairs[1].stages] == ["0", "1", "2", "10", "final"]
    assert pairs[1].numbered_stages == 3 and pairs[1].final_case.name == "grid_solved_wind_final_solved.sav"
    assert small_case_buses(pairs[0]) == [900000, 12]
    facts = pair_facts(pairs, tmp_path)
    assert [(facts[p.key].outcome, facts[p.key].reconnected) for p in pairs] == [
        ("failed", 1), ("converged", 3), ("error", None)]

    # The run's summary file, when present, says more than the files can.
    (tmp_path / "run-summary.json").write_text(json.dumps({"format": "velquin run summary", "pairs": [
        {"main_case": "grid", "small_case": "wind", "outcome": "converged_with_omissions", "connections": 3,
         "reconnected": 3, "seconds": 12.5, "solution_status": 0, "failure": None, "error": None,
         "refused_elements": [{"kind": "load", "element": "Load 12, Id:1", "code": 3}],
         "buses_out_of_service": [12]},
        {"main_case": "grid", "small_case": "solar", "outcome": "failed", "connections": 4, "reconnected": 1,
         "solution_status": None, "failure": {"stage": "network solve", "connection": [900000, 12, "1 "],
                                              "solution_status": 2}},
        {"main_case": "grid", "small_case": "storage", "outcome": "error",
         "error": {"stage": "read", "type": "OSError", "message": "disk gone"}}]}))
    facts = pair_facts(pairs, tmp_path)
    wind = facts[("grid", "wind")]
    assert (wind.outcome, wind.seconds, wind.omissions, wind.source) == (
        "converged with omissions", 12.5,
        ["load Load 12, Id:1 refused by the simulator (code 3)", "bus 12 left out of service"], "summary file")
    solar = facts[("grid", "solar")]
    assert (solar.status, solar.failed_connection, solar.connections) == (2, (900000, 12, "1 "), 4)
    assert facts[("grid", "storage")].error == "OSError: disk gone (at read)"
    # Facts the run hands over take precedence over both.
    facts = pair_facts(pairs, tmp_path, {("grid", "wind"): {"converged": False, "ival_lf": 1, "connections": 3,
                                                             "reconnected": 2, "seconds": 3.0}})
    assert (facts[("grid", "wind")].outcome, facts[("grid", "wind")].status) == ("failed", 1)


def test_the_failed_stage_s_text_is_what_follows_the_last_saved_stage(tmp_path):
    progress = tmp_path / "progress.txt"
    progress.write_text("\n".join([
        "Case saved in 'out/m_solved_s_1.sav'",
        "Reached tolerance in 3 iterations",
        "Case saved in 'out/m_solved_s_10.sav'",
        "Full Newton-Raphson load flow: 40 bus(es) in service",
        "Iteration limit exceeded (20 iterations)",
        "Largest mismatch: 120.0000 MW at bus 202, 80.0000 Mvar at bus 202",
        "Blown up after 4 iterations",
    ]))
    text = failed_stage_text(progress, tmp_path / "m_solved_s_10.sav")
    assert text.lines[0].startswith("Full Newton-Raphson") and len(text.lines) == 4
    assert (text.status, text.solutions) == (2, 2)
    assert text.key_lines == ["Iteration limit exceeded (20 iterations)",
                              "Largest mismatch: 120.0000 MW at bus 202, 80.0000 Mvar at bus 202",
                              "Blown up after 4 iterations"]
    # Each stage is found by its own file name, stage 1's apart from stage 10's.
    assert failed_stage_text(progress, tmp_path / "m_solved_s_1.sav").lines[0] == "Reached tolerance in 3 iterations"


def test_a_simulator_folder_from_a_lower_cased_workbook_cell_is_found(tmp_path):
    (tmp_path / "Tools" / "SimPy").mkdir(parents=True)
    assert resolve_letter_case(str(tmp_path / "tools" / "simpy")) == str(tmp_path / "Tools" / "SimPy")
    assert resolve_letter_case(str(tmp_path / "tools" / "none")) == str(tmp_path / "Tools" / "none")
