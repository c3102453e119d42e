"""The optional observer of run_integration: the facts it is given per
pair, and that watching a run does not change what the run does."""

import pytest

from fixtures.case_data import bus, line, make_case
from fixtures.integration_run import case_row, indexed, main_row, script_network, serve_cases, software_rows

MAIN = make_case(buses=[bus(101), bus(301)])
PLANT = make_case(buses=[bus(101), bus(301), bus(302), bus(303)],
                  lines=[line(101, 301), line(301, 302), line(302, 303)])
STAGES = ["read", "renumber", "maps", "start", "copy", "saves", "report", "discover", "disconnect",
          "first solve", "network solve", "modify generators", "close"]


@pytest.fixture
def run(tmp_path, fake_simulator, stub_reader):
    import velquin_main

    serve_cases(fake_simulator, {tmp_path / "main.sav": MAIN, tmp_path / "plant.sav": PLANT})
    # 301 collides with the main case and becomes 900000.
    script_network(fake_simulator, lines=[(101, 900000, "1"), (900000, 302, "1"), (302, 303, "1")])
    stub_reader(software_rows(str(fake_simulator.path)), indexed([main_row("yes", str(tmp_path), "main")]),
                indexed([case_row("yes", str(tmp_path), "plant", 101, str(tmp_path / "out"))]))

    def run(**observer):
        return velquin_main.run_integration(str(tmp_path), "config.xlsx", **observer)

    return run


@pytest.mark.parametrize("failing_bus, reconnected", [(None, 3), (302, 1)])
def test_the_observer_learns_each_pair_s_outcome(run, fake_simulator, tmp_path, failing_bus, reconnected):
    recn = fake_simulator.calls_to
    fake_simulator.answer("solved", lambda: int(bool(recn("recn")) and recn("recn")[-1].args == (failing_bus,)))
    events = []
    run(observer=lambda event, facts: events.append((event, facts)))

    assert [event for event, _ in events] == ["run_started", "main_case_read", "pair_started",
                                              "network_solve_started", *["connection_solved"] * reconnected,
                                              "pair_finished"]
    assert events[1][1]["path"] == str(tmp_path / "main.sav")
    pair = {"main_case": "main", "small_case": "plant", "connections": 3}
    assert events[3][1] == pair
    assert [facts for event, facts in events if event == "connection_solved"] == [
        {**pair, "reconnected": n} for n in range(1, reconnected + 1)]
    facts = events[-1][1]
    converged = failing_bus is None
    assert {k: facts[k] for k in ("main_case", "small_case", "folder", "buses", "renumbered", "connections",
                                  "reconnected", "converged", "final_case")} == {
        "main_case": "main", "small_case": "plant", "folder": str(tmp_path / "out" / "plant" / "main"),
        "buses": 3, "renumbered": 1, "connections": 3, "reconnected": reconnected, "converged": converged,
        "final_case": str(tmp_path / "out" / "main_solved_.sav") if converged else None}
    assert facts["ival_lf"] == (0 if converged else 1)
    assert list(facts["stages"]) == STAGES
    assert all(seconds >= 0 for seconds in facts["stages"].values())
    assert sum(facts["stages"].values()) <= facts["seconds"]


def test_watching_a_run_changes_none_of_its_calls(run, fake_simulator):
    run()
    unwatched = [(c.module, c.name, c.args, c.kwargs) for c in fake_simulator.calls]
    fake_simulator.clear()
    run(observer=lambda event, facts: None)
    assert [(c.module, c.name, c.args, c.kwargs) for c in fake_simulator.calls] == unwatched
    assert len(unwatched) > 100
