"""run_integration limited to some main cases (`main_cases`): a run split
into one run per main case makes exactly the calls of the whole run, the
observer learns the run's plan, and positions that name no enabled main
case are refused before anything is read."""

import pytest

from fixtures.case_data import bus, line, make_case
from fixtures.integration_run import script_network, serve_cases
from fixtures.workbooks import config_workbook

MAINS = {"north": make_case(buses=[bus(101), bus(301)]), "south": make_case(buses=[bus(101), bus(302)]),
         "east": make_case(buses=[bus(101)])}
PLANT = make_case(buses=[bus(101), bus(301), bus(302)], lines=[line(101, 301), line(301, 302)])


@pytest.fixture
def run(tmp_path, fake_simulator):
    import velquin_main

    serve_cases(fake_simulator, {**{tmp_path / f"{name}.sav": case for name, case in MAINS.items()},
                                 tmp_path / "plant.sav": PLANT})
    script_network(fake_simulator, lines=[(101, 900000, "1"), (900000, 900001, "1")])
    # "east" is disabled: the positions count enabled main cases only.
    config_workbook(tmp_path / "config.xlsx", psse_path=str(fake_simulator.path), psse_version=36.2,
                    main_cases=[("yes", str(tmp_path), "north"), ("no", str(tmp_path), "east"),
                                ("yes", str(tmp_path), "south.sav")],
                    small_cases=[("yes", str(tmp_path), "plant", 101), ("yes", str(tmp_path), "plant", 101)],
                    result_folder=str(tmp_path / "Results"))

    def run(**keywords):
        fake_simulator.clear()
        velquin_main.run_integration(str(tmp_path), "config.xlsx", **keywords)
        return [(c.module, c.name, c.args, c.kwargs) for c in fake_simulator.calls]

    return run


def test_one_run_per_main_case_makes_the_calls_of_the_whole_run(run, tmp_path):
    whole = run()
    first, second = run(main_cases=[0]), run(main_cases=(1,))
    assert first + second == whole
    reads = [call[2] for call in second if call[1] == "Savecase"]
    assert reads == [(str(tmp_path / "south.sav"),), (str(tmp_path / "plant.sav"),),
                     (str(tmp_path / "plant.sav"),)]
    # Order and repeats of the positions do not change the workbook's order.
    assert run(main_cases=[1, 0, 1]) == whole
    # A main case keeps its position in the workbook in the facts of a limited run.
    events = []
    run(main_cases=[1], observer=lambda event, facts: events.append((event, facts)))
    indexed = {(event, facts["main_index"]) for event, facts in events if "main_index" in facts}
    assert {index for _, index in indexed} == {1}
    assert {("main_case_read", 1), ("pair_started", 1), ("pair_finished", 1)} <= indexed


def test_the_observer_learns_the_plan_whatever_the_selection(run, tmp_path):
    (tmp_path / "results").mkdir()  # the workbook's folder as the file system spells it
    events = []
    assert run(main_cases=[], observer=lambda event, facts: events.append((event, facts))) == []
    assert [event for event, _ in events] == ["run_planned", "run_started"]
    # The pairs of the whole workbook, whatever main cases the run handles.
    assert [(pair["main_index"], pair["main_case"], pair["small_index"]) for pair in events[0][1]["pairs"]] == [
        (0, "north", 0), (0, "north", 1), (1, "south", 0), (1, "south", 1)]
    plan = events[1][1]
    assert [(row["filepath"], row["filename"]) for row in plan["main_cases"]] == [
        (str(tmp_path), "north"), (str(tmp_path), "south.sav")]
    assert plan["main_case_names"] == ["north", "south"]
    assert [row["connecting_bus"] for row in plan["small_cases"]] == [101, 101]
    # The reader lower-cases the folder; the plan gives it as the run will write it.
    assert plan["small_cases"][0]["parent_path"] == str(tmp_path / "results").lower()
    assert plan["result_folders"] == [str(tmp_path / "results")] * 2


@pytest.mark.parametrize("positions, error", [
    ([2], "holds the position 2, but the workbook enables 2 main case(s), at positions 0 to 1"),
    ([0, -1], "holds the position -1"),
    ([2**70], "holds the position 1180591620717411303424"),
    (["0"], "must hold positions (whole numbers), not '0'"),
    ([True], "must hold positions (whole numbers), not True"),
    ([1.0], "must hold positions (whole numbers), not 1.0"),
])
def test_a_position_naming_no_enabled_main_case_is_refused_before_anything_is_read(
        run, fake_simulator, positions, error):
    with pytest.raises((ValueError, TypeError)) as raised:
        run(main_cases=positions)
    assert f"run_integration: main_cases {error}" in str(raised.value)
    assert fake_simulator.calls == []
