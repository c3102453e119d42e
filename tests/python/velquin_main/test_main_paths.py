"""Workbook paths reach the run lower-cased; on a case-sensitive file system
the run finds the folders and files they mean."""

import pytest

from fixtures.case_data import bus, line, make_case
from fixtures.integration_run import serve_cases

MAIN = make_case(buses=[bus(101)])
PLANT = make_case(buses=[bus(101), bus(301)], lines=[line(101, 301)])


@pytest.fixture
def run(fake_study):
    def run(main_folder, main_name, case_folder, case_name, results):
        fake_study.run([("yes", str(main_folder), main_name)], [("yes", str(case_folder), case_name, 101)],
                       result_folder=results)

    return run


def test_mixed_case_folders_and_files_are_found_and_results_go_under_them(tmp_path, fake_simulator, run):
    grid = tmp_path / "Grid Models" / "WECC"
    grid.mkdir(parents=True)
    (grid / "Summer.SAV").touch()
    plants = tmp_path / "Plants"
    plants.mkdir()
    (plants / "Solar7.sav").touch()
    (tmp_path / "Results").mkdir()
    serve_cases(fake_simulator, {grid / "Summer.SAV": MAIN, plants / "Solar7.sav": PLANT})

    run(grid, "Summer.sav", plants, "Solar7", tmp_path / "Results" / "Study")

    assert [c.args[0] for c in fake_simulator.calls_to("Savecase")] == [
        str(grid / "Summer.SAV"), str(plants / "Solar7.sav")]
    assert fake_simulator.calls_to("case")[0].kwargs == {"sfile": str(grid / "Summer.SAV")}
    # Existing folders are used as they are spelt on disk; new ones are made
    # under them as the workbook gives them.
    pair = tmp_path / "Results" / "study" / "solar7" / "summer"
    assert (pair / "summer_renumber_map.txt").is_file()
    assert fake_simulator.calls_to("save")[-1].kwargs == {
        "sfile": str(tmp_path / "Results" / "study" / "summer_solved_.sav")}
    assert not (tmp_path / "results").exists()


def test_a_name_that_matches_two_entries_is_an_error(tmp_path, fake_simulator, run):
    for name in ("Cases", "CASES"):
        (tmp_path / name).mkdir()
        (tmp_path / name / "main.sav").touch()
    with pytest.raises(FileNotFoundError, match=r"cases.*several entries.*\(CASES, Cases\)"):
        run(tmp_path / "Cases", "main", tmp_path / "Cases", "plant", tmp_path / "out")
    assert fake_simulator.calls == []
