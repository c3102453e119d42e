"""Bus-table clean-up before renumbering, and the array-to-plain conversion."""

import types

import numpy as np
import pytest

import velquin_misc as vm


def case_with(table):
    return types.SimpleNamespace(pssbus=table)


def test_exclude_connecting_bus_passes_the_table_through_when_nothing_to_drop():
    table = {"NUM": (1, 2), "NAME": ("a", "b"), "IERR": 0}
    assert vm.exclude_connecting_bus(case_with(table), table, None) is table
    assert vm.exclude_connecting_bus(case_with(table), table, 7) is table
    assert vm.exclude_connecting_bus(case_with({}), {}, None) == {}
    with pytest.raises(KeyError):
        vm.exclude_connecting_bus(case_with({}), {}, 7)


def test_exclude_connecting_bus_drops_the_first_occurrence_from_every_tuple():
    table = {"NUM": (5, 7, 9, 7), "BASKV": (1.0, 2.0, 3.0, 4.0), "EXTRA": [1, 2, 3, 4], "IERR": 3}
    result = vm.exclude_connecting_bus(case_with(table), table, 7)
    # Non-tuple keys leave; the read status comes back from the case's own bus table.
    assert result == {"NUM": (5, 9, 7), "BASKV": (1.0, 3.0, 4.0), "IERR": 3}
    assert list(result) == ["NUM", "BASKV", "IERR"]
    assert table["NUM"] == (5, 7, 9, 7)


def test_remove_internal_buses_keeps_999999_and_updates_scbus_in_place():
    table = {
        "NUM": (1, 999999, 1000000, 3),
        "NAME": ("a", "b", "internal", "c"),
        "MIXED": (1, "x", 2.5, 4),
        "SHORT": (1, 2),
        "IERR": 0,
    }
    returned = vm.remove_internal_psse_buses(table, table)
    assert returned is table
    assert table == {
        "NUM": (1, 999999, 3),
        "NAME": ("a", "b", "c"),
        "MIXED": (1, "x", 4),
        "SHORT": (1, 2),
        "IERR": 0,
    }
    # Mixed columns keep their items' own types.
    assert [type(v) for v in table["MIXED"]] == [int, str, int]


def test_remove_internal_buses_returns_plain_values():
    pssbus = {"NUM": (np.int64(1), np.int64(2000000)), "VM": (np.float64(1.01), np.float64(0.9)),
              "ARR": np.array([1, 2])}
    scbus = {"OTHER": 1}
    result = vm.remove_internal_psse_buses(pssbus, scbus)
    assert result == {"OTHER": 1, "NUM": (1,), "VM": (1.01,), "ARR": [1, 2]}
    assert type(result["NUM"][0]) is int and type(result["VM"][0]) is float
    with pytest.raises(KeyError):
        vm.remove_internal_psse_buses({"IERR": 0}, {})


def test_convert_np_types_recurses_through_containers():
    data = {"a": (np.int32(3), [np.float32(0.5), np.str_("x")]), "b": np.array([[1, 2], [3, 4]]), "c": "keep"}
    converted = vm.convert_np_types(data)
    assert converted == {"a": (3, [0.5, "x"]), "b": [[1, 2], [3, 4]], "c": "keep"}
    assert type(converted["a"][0]) is int and type(converted["a"][1][1]) is str
    loop = []
    loop.append(loop)
    with pytest.raises(RecursionError):
        vm.convert_np_types(loop)
