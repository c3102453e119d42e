"""The stepwise network solve against the recording fake engine."""

import pytest

import velquin_misc as vm

RSOL = dict(options1=1, options2=2, options6=1, options7=0, options8=99, options9=0, options10=0)
FNSL = dict(options1=2, options4=1, options5=1, options6=0, options7=99, options8=0)

# check_solved answers 0 throughout: steps a, b, c and e of one connection.
CONVERGED_SOLVE = [
    ("run_load_flow_rsol", RSOL), ("check_solved", {}),
    ("run_load_flow_rsol", RSOL), ("check_solved", {}), ("run_load_flow", {}),
    ("run_load_flow_fnsl", FNSL), ("check_solved", {}),
    ("run_load_flow_rsol", RSOL), ("run_load_flow_fnsl", FNSL), ("check_solved", {}),
]


def solve_calls(engine):
    solving = {"run_load_flow_rsol", "run_load_flow_fnsl", "run_load_flow", "check_solved"}
    return [(name, kwargs) for name, _, kwargs in engine.calls if name in solving]


def test_reconnects_each_far_bus_with_machines_and_start_voltage(fake_engine, capsys):
    engine = fake_engine(machines={205: ["1", "G2"]}, voltages={101: (1.02, -3.5), 205: (0.9, 1.0)})
    status = vm.solve_the_network(engine, "/out/A_solved_B", [(101, 205, "1 "), (205, 301, 302, "T")])

    assert status == 0
    assert capsys.readouterr().out == (
        "Reconnecting buses: (101, 205, '1 ')\n"
        "Reconnecting buses: (205, 301, 302, 'T')\n")
    first = engine.calls[:engine.names().index("run_load_flow_rsol")]
    assert first == [
        ("get_bus_data", (), dict(ibus=101, string="PU")),
        ("get_bus_data", (), dict(ibus=101, string="ANGLED")),
        ("reconnect_buses", (205,), {}),
        ("ini_mac", (), dict(ibus=205)),
        ("next_mac", (), dict(ibus=205)),
        ("change_machine_data", (), dict(ibus=205, id="1", intgar1=0)),
        ("next_mac", (), dict(ibus=205)),
        ("change_machine_data", (), dict(ibus=205, id="G2", intgar1=0)),
        ("next_mac", (), dict(ibus=205)),
        ("change_bus_data", (), dict(ibus=205, inode=0, realar2=1.02, realar3=-3.5)),
    ]
    # Both far buses of the transformer start from the voltage of bus 205; no machines there.
    assert engine.calls_named("change_bus_data")[1:] == [
        dict(ibus=b, inode=0, realar2=0.9, realar3=1.0) for b in (301, 302)]
    assert solve_calls(engine) == CONVERGED_SOLVE * 2
    assert engine.calls_named("save_case") == [
        dict(sfile="/out/A_solved_B_1.sav"), dict(sfile="/out/A_solved_B_2.sav"),
        dict(sfile="/out/A_solved_B_final_solved.sav")]


def test_empty_list_saves_the_final_case_at_once(fake_engine, capsys):
    engine = fake_engine()
    assert vm.solve_the_network(engine, "base", []) == 0
    assert engine.names() == ["save_case"] and engine.calls_named("save_case") == [dict(sfile="base_final_solved.sav")]
    assert capsys.readouterr().out == ""


def test_duplicate_links_and_odd_lengths_are_printed_then_skipped(fake_engine, capsys):
    engine = fake_engine()
    ordered = [(5, 7, "1"), (7, 5, " 1"), (5, "1"), (1, 2, 3, 4, "1"), (7, 9, 5, "T"), (9, 5, 7, "T ")]
    assert vm.solve_the_network(engine, "b", ordered) == 0
    assert capsys.readouterr().out.splitlines() == [
        "Reconnecting buses: (5, 7, '1')", "Reconnecting buses: (7, 5, ' 1')", "Reconnecting buses: (5, '1')",
        "Reconnecting buses: (1, 2, 3, 4, '1')", "Reconnecting buses: (7, 9, 5, 'T')",
        "Reconnecting buses: (9, 5, 7, 'T ')"]
    assert engine.calls_named("reconnect_buses") == [(7,), (9,), (5,)]
    assert [c["sfile"] for c in engine.calls_named("save_case")] == ["b_1.sav", "b_2.sav", "b_final_solved.sav"]


def test_failed_connection_stops_the_walk_and_returns_its_status(fake_engine, capsys):
    # Second connection: the first rsol fails (step b left out), fnsl fails,
    # six retries fail, and the closing check fails with status 3.
    outcomes = [0, 0, 0, 0] + [1, 1] + [1] * 6 + [3]
    engine = fake_engine(solve_outcomes=outcomes)
    status = vm.solve_the_network(engine, "b", [(1, 2, "1"), (2, 3, "1"), (3, 4, "1")])

    assert status == 3
    assert capsys.readouterr().out.splitlines() == [
        "Reconnecting buses: (1, 2, '1')", "Reconnecting buses: (2, 3, '1')"]
    assert engine.calls_named("save_case") == [dict(sfile="b_1.sav")]
    assert engine.calls_named("reconnect_buses") == [(2,), (3,)]
    failed = solve_calls(engine)[len(CONVERGED_SOLVE):]
    assert failed == (
        [("run_load_flow_rsol", RSOL), ("check_solved", {}), ("run_load_flow_fnsl", FNSL), ("check_solved", {})]
        + [("run_load_flow", {}), ("run_load_flow_fnsl", FNSL), ("check_solved", {})] * 6
        + [("run_load_flow_rsol", RSOL), ("run_load_flow_fnsl", FNSL), ("check_solved", {})])


def test_retries_stop_once_converged(fake_engine):
    engine = fake_engine(solve_outcomes=[0, 0, 2, 2, 0, 0])
    assert vm.solve_the_network(engine, "b", [(1, 2, "1")]) == 0
    assert engine.names().count("run_load_flow") == 1 + 2


def test_malformed_engine_answers_raise(fake_engine):
    engine = fake_engine()
    engine.get_bus_data = lambda *, ibus, string: 1.0
    with pytest.raises(TypeError):
        vm.solve_the_network(engine, "b", [(1, 2, "1")])
    engine = fake_engine()
    engine.next_mac = lambda *, ibus: (0, "1", "extra")
    with pytest.raises(ValueError, match="too many values"):
        vm.solve_the_network(engine, "b", [(1, 2, "1")])
