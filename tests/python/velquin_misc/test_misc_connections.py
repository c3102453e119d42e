"""Connection discovery: walking the merged case and ordering the small
case's connections outward from the connecting bus."""

import pytest

import velquin_misc as vm


def small_network(fake_engine):
    # Connecting bus 100 (main case) joins small-case buses 1..5; bus 700 is a
    # main-case bus that must not be picked up.
    return fake_engine(
        branches={
            100: [(1, "1 ")],
            1: [(100, "1 "), (2, "1"), (700, "9")],
            2: [(1, "1"), (3, "A")],
            3: [(2, "A")],
        },
        tx3s={
            3: [(4, 0, "T1"), (4, 700, "T2")],
            4: [(3, 0, "T1")],
            5: [(0, 0, "X")],
        },
    )


def test_find_buses_keeps_only_small_case_connections(fake_engine):
    engine = small_network(fake_engine)
    branches, tx3s = vm.find_buses([100, 1, 2, 3, 4, 5], engine)

    assert branches == [(100, 1, "1 "), (1, 100, "1 "), (1, 2, "1"), (2, 1, "1"), (2, 3, "A"), (3, 2, "A")]
    assert tx3s == [(3, 4, 0, "T1"), (4, 3, 0, "T1"), (5, 0, 0, "X")]
    # Every bus restarts the walk before the branch scan and again before the transformer scan.
    inits = engine.calls_named("ini_branch_2")
    assert inits == [dict(ibus=b, inode=0, single=2) for b in (100, 100, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5)]
    assert engine.names()[:3] == ["ini_branch_2", "get_next_branch_bus", "get_next_branch_bus"]


@pytest.mark.parametrize("override", [
    dict(ini_result=(0, 0, 0)),
    dict(ini_result=0),
])
def test_find_buses_refuses_malformed_engine_results(fake_engine, override):
    engine = fake_engine(branches={1: [(2, "1")]}, **override)
    with pytest.raises((ValueError, TypeError)):
        vm.find_buses([1, 2], engine)


def test_find_buses_refuses_short_branch_answer(fake_engine):
    engine = fake_engine()
    engine.get_next_branch_bus = lambda *, ibus, inode: (0, 2, "1")
    with pytest.raises(ValueError, match="not enough values to unpack"):
        vm.find_buses([1], engine)


def test_organize_connections_removes_duplicates_and_walks_breadth_first():
    branches = [(1, 2, "1 "), (2, 1, "1"), (1, 2, "2"), (2, 3, "1"), (8, 9, "1")]
    tx3s = [(3, 4, 0, "T"), (4, 3, 0, "T "), (5, 0, 0, "X")]
    ordered = vm.organize_connections(1, branches, tx3s)
    # First record seen is kept, circuits compared stripped; 8-9 and the
    # single-bus transformer are unreachable or add no pair.
    assert ordered == [(1, 2, "1 "), (1, 2, "2"), (2, 3, "1"), (3, 4, 0, "T")]
    assert vm.organize_connections(42, branches, tx3s) == []


def test_organize_connections_three_winding_reached_by_several_pairs_once():
    # Branches are walked before windings at every bus; a winding pair that
    # shares its key with a branch replaces the stored branch record.
    ordered = vm.organize_connections(1, [(1, 2, "1"), (2, 3, "7")], [(1, 2, 3, "1"), (2, 4, 0, "T")])
    assert ordered == [(1, 2, 3, "1"), (2, 3, "7"), (2, 4, 0, "T")]


def test_enforce_topological_order_sorts_buses_by_distance():
    connections = [(3, 2, "1"), (2, 1, "2"), (4, 0, 3, "T"), (0, 5, 4, 6, "Q"), (8, 9, "z")]
    assert vm.enforce_topological_order(connections, 1) == [
        (2, 3, "1"), (1, 2, "2"), (3, 4, "T"), (4, 5, 6, "Q"), (8, 9, "z")]
    # Nothing reachable from the start: every bus keeps its input order.
    assert vm.enforce_topological_order([(3, 2, "1"), (4, 0, 3, "T")], 99) == [(3, 2, "1"), (4, 3, "T")]
    with pytest.raises(ValueError):
        vm.enforce_topological_order([()], 1)


def test_reorder_edge():
    assert vm.reorder_edge((5, 0, 7, "1"), 7) == (7, 5, "1")
    assert vm.reorder_edge((5, 0, 7, "1"), 9) == (5, 7, "1")
    assert vm.reorder_edge([3, 4, 5, "T"], 4) == (4, 3, 5, "T")
    with pytest.raises(ValueError):
        vm.reorder_edge((), 1)


def test_discovery_chain_orders_the_small_network_from_the_connecting_bus(fake_engine):
    engine = small_network(fake_engine)
    branches, tx3s = vm.find_buses([100, 1, 2, 3, 4, 5], engine)
    ordered = vm.enforce_topological_order(vm.organize_connections(100, branches, tx3s), 100)
    assert ordered == [(100, 1, "1 "), (1, 2, "1"), (2, 3, "A"), (3, 4, "T1")]
