"""The optional observer of run_integration: the facts it is given per
pair and per error, and that watching a run does not change what the run
does."""

import math

import pytest

from fixtures.case_data import bus, line, load, make_case
from fixtures.integration_run import (Events, case_row, indexed, main_row, script_network, serve_cases,
                                      software_rows)

MAIN = make_case(buses=[bus(101), bus(301)])
PLANT = make_case(buses=[bus(101), bus(301), bus(302), bus(303), bus(304)],
                  lines=[line(101, 301), line(301, 302), line(302, 303)], loads=[load(302, "ABC")])
# 301 collides with the main case and becomes 900000; 304 is an island.
MERGED_LINES = [(101, 900000, "1"), (900000, 302, "1"), (302, 303, "1")]
STAGES = ["read", "renumber", "maps", "start", "copy", "saves", "report", "discover", "disconnect",
          "first solve", "network solve", "modify generators", "close"]


@pytest.fixture
def run(tmp_path, fake_simulator, stub_reader):
    import velquin_main

    serve_cases(fake_simulator, {tmp_path / "main.sav": MAIN, tmp_path / "plant.sav": PLANT})
    script_network(fake_simulator, lines=MERGED_LINES)

    def run(cases=None, **observer):
        cases = [case_row("yes", str(tmp_path), "plant", 101, str(tmp_path / "out"))] if cases is None else cases
        stub_reader(software_rows(str(fake_simulator.path)), indexed([main_row("yes", str(tmp_path), "main")]),
                    indexed(cases))
        return velquin_main.run_integration(str(tmp_path), "config.xlsx", **observer)

    return run


def fail_after_reconnecting(fake, bus):
    """The solve stops converging once `bus` has been reconnected."""
    fake.answer("solved", lambda: int(any(c.args == (bus,) for c in fake.calls_to("recn"))))


def test_a_converged_pair_tells_its_counts_omissions_and_final_case(run, fake_simulator, tmp_path):
    fake_simulator.answer("load_data_7", 3)  # the load "ABC" is refused
    events = Events()
    run(observer=events)

    assert events.names() == ["run_planned", "run_started", "main_case_read", "pair_started",
                              "network_solve_started",
                              *["connection_solved"] * 3, "pair_finished"]
    pair = {"main_index": 0, "small_index": 0, "main_case": "main", "small_case": "plant", "connections": 3}
    assert events.named("network_solve_started") == [pair]
    assert events.named("connection_solved") == [{**pair, "reconnected": n} for n in (1, 2, 3)]
    assert events.named("run_planned")[0]["pairs"] == [{
        "main_index": 0, "small_index": 0, "main_case": "main", "small_case": "plant",
        "result_folder": str(tmp_path / "out")}]
    assert events.named("main_case_read")[0]["path"] == str(tmp_path / "main.sav")
    facts = events.named("pair_finished")[0]
    assert {k: facts[k] for k in ("main_index", "small_index", "main_case", "small_case", "result_folder",
                                  "folder", "buses", "renumbered", "connections", "reconnected", "ival_lf",
                                  "converged", "final_case", "refused", "buses_out_of_service",
                                  "failed_connection", "failed_position")} == {
        "main_index": 0, "small_index": 0, "main_case": "main", "small_case": "plant",
        "result_folder": str(tmp_path / "out"), "folder": str(tmp_path / "out" / "plant" / "main"),
        "buses": 4, "renumbered": 1, "connections": 3, "reconnected": 3, "ival_lf": 0, "converged": True,
        "final_case": str(tmp_path / "out" / "main_solved_.sav"),
        "refused": [{"kind": "load", "element": "Load 302, Id:ABC", "code": 3}],
        "buses_out_of_service": [304], "failed_connection": None, "failed_position": None}
    assert facts["elements"] == {
        "bus": {"total": 4, "refused": 0}, "line branch": {"total": 3, "refused": 0},
        "transformer": {"total": 0, "refused": 0}, "generator": {"total": 0, "refused": 0},
        "fixed shunt": {"total": 0, "refused": 0}, "switched shunt": {"total": 0, "refused": 0},
        "load": {"total": 1, "refused": 1}, "induction machine": {"total": 0, "refused": 0}}
    assert list(facts["stages"]) == STAGES
    assert sum(facts["stages"].values()) <= facts["seconds"]


def test_every_pair_event_carries_the_pair_s_main_and_small_index(fake_study):
    main = fake_study.case("north", MAIN)
    fake_study.case("south", MAIN)
    fake_study.case("plant", PLANT)
    fake_study.case("other", PLANT)
    script_network(fake_study.fake, lines=MERGED_LINES)
    events = Events()
    # The disabled rows are not counted: indexes count the enabled cases.
    fake_study.run([("yes", main.name), ("no", "north.sav"), ("yes", "south.sav")],
                   [("yes", "plant", 101), ("no", "plant", 101), ("yes", "other", 101)], observer=events)
    expected = {("north", "plant"): (0, 0), ("north", "other"): (0, 1), ("south", "plant"): (1, 0),
                ("south", "other"): (1, 1)}
    told = {}
    for name, facts in events:
        if name in ("pair_started", "network_solve_started", "connection_solved", "pair_finished"):
            pair = (facts["main_case"], facts["small_case"])
            assert (facts["main_index"], facts["small_index"]) == expected[pair], (name, pair)
            told.setdefault(name, set()).add(pair)
    assert told["network_solve_started"] == told["pair_finished"] == set(expected)
    assert ("south", "plant") in told["connection_solved"]


def test_a_failed_solve_names_its_connection_and_the_buses_never_reached(run, fake_simulator):
    fail_after_reconnecting(fake_simulator, 302)
    events = Events()
    run(observer=events)
    facts = events.named("pair_finished")[0]
    assert (facts["converged"], facts["ival_lf"], facts["reconnected"]) == (False, 1, 1)
    assert (facts["failed_position"], facts["failed_connection"]) == (2, (900000, 302, "1"))
    # 302 came back in the step that failed; 303 was never reached, 304 never could be.
    assert facts["buses_out_of_service"] == [303, 304]
    assert facts["final_case"] is None


def test_a_bus_the_main_case_refused_is_not_also_out_of_service(run, fake_simulator):
    fake_simulator.answer("bus_data_4", lambda **kw: 2 if kw["ibus"] == 304 else 0)
    events = Events()
    run(observer=events)
    facts = events.named("pair_finished")[0]
    assert facts["refused"] == [{"kind": "bus", "element": "304", "code": 2}]
    assert facts["buses_out_of_service"] == []


def test_an_error_in_a_pair_is_told_with_its_stage_before_it_propagates(run, fake_simulator):
    fake_simulator.answer("branch_data_4", OSError("disk gone"))
    events = Events()
    with pytest.raises(OSError, match="disk gone"):
        run(observer=events)
    assert events.names() == ["run_planned", "run_started", "main_case_read", "pair_started",
                              "pair_stopped"]  # stopped in copy
    assert events.named("pair_stopped")[0] == {
        "main_index": 0, "small_index": 0, "main_case": "main", "small_case": "plant", "stage": "copy",
        "error": {"type": "OSError", "message": "disk gone"}}


def test_an_error_before_the_first_stage_is_told_as_the_row_s(run, tmp_path):
    events = Events()
    with pytest.raises(ValueError, match="'name of case to be added' is empty"):
        run([case_row("yes", str(tmp_path), math.nan, 101, str(tmp_path / "out"))], observer=events)
    assert events.named("run_planned")[0]["pairs"][0]["small_case"] is None
    assert events.named("pair_stopped")[0]["stage"] == "settings"
    assert events.named("pair_stopped")[0]["small_case"] is None


@pytest.mark.parametrize("broken, stage, error", [
    ("workbook", "read workbook", KeyError),
    ("psse_path", "start simulator", UnboundLocalError),
    ("main case", "read main case", FileNotFoundError),
])
def test_an_error_outside_the_pairs_is_told_with_its_stage(tmp_path, fake_simulator, stub_reader, broken, stage,
                                                           error):
    import velquin_main

    soft = software_rows(str(fake_simulator.path))
    if broken == "psse_path":
        soft = {k: r for k, r in soft.items() if r["attribute description"] != "psse_path"}
    main = indexed([main_row("yes", str(tmp_path), "absent" if broken == "main case" else "main")])
    cases = indexed([case_row("yes", str(tmp_path), "plant", 101, str(tmp_path / "out"))])
    if broken == "workbook":
        cases = indexed([{"enabled": "yes"}])  # a row without its columns
    if broken != "main case":
        serve_cases(fake_simulator, {tmp_path / "main.sav": MAIN})
    stub_reader(soft, main, cases)
    events = Events()
    with pytest.raises(error):
        velquin_main.run_integration(str(tmp_path), "config.xlsx", observer=events)
    stopped = events.named("run_stopped")
    assert [(facts["stage"], facts["error"]["type"]) for facts in stopped] == [(stage, error.__name__)]
    assert stopped[0]["main_case"] == ("absent" if broken == "main case" else None)
    assert "pair_stopped" not in events.names()


def test_watching_a_run_changes_none_of_its_calls(run, fake_simulator):
    fail_after_reconnecting(fake_simulator, 302)
    run()
    unwatched = [(c.module, c.name, c.args, c.kwargs) for c in fake_simulator.calls]
    fake_simulator.clear()
    run(observer=Events())
    assert [(c.module, c.name, c.args, c.kwargs) for c in fake_simulator.calls] == unwatched
    assert len(unwatched) > 100


def test_a_failing_observer_does_not_hide_the_run_s_own_error(run, fake_simulator, monkeypatch):
    fake_simulator.answer("branch_data_4", OSError("disk gone"))
    unraisable = []
    monkeypatch.setattr("sys.unraisablehook", lambda report: unraisable.append(report.exc_value))

    def observer(event, facts):
        if event == "pair_stopped":
            raise RuntimeError("observer broken")

    with pytest.raises(OSError, match="disk gone"):
        run(observer=observer)
    assert [repr(error) for error in unraisable] == [repr(RuntimeError("observer broken"))]
