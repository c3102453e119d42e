"""Bus renumbering of a small case against a main case, and its validation."""

import types

import numpy as np
import pytest

import velquin_misc as vm

BUS_FIELDS = {
    "pssbus": ["NUM"], "psslod": ["NUM"], "pssfsh": ["NUM"], "pssgen": ["NUM", "IREG"],
    "psswsh": ["NUM", "SWREM"], "psssub": ["NUM"], "pssind": ["NUM"], "pssald": ["NUM"],
    "psstrn": ["CONBUS"], "pssabx": ["FRMBUS", "TOBUS"], "pssmsl": ["FRMBUS", "TOBUS", "DUMBUS", "METBUS"],
    "pssbrn": ["FRMBUS", "TOBUS", "METBUS"], "pss3wt": ["BUS1ST", "BUS2ND", "BUS3RD", "NMETER"],
    "casbrn": ["FRMBUS", "TOBUS", "METBUS"], "castrn": ["BUSNUM", "METBUS", "CONBUS"],
}


def make_case(buses, refs, skip=()):
    """A case whose every bus field holds `refs`, plus a non-bus field per section."""
    case = types.SimpleNamespace()
    for section, fields in BUS_FIELDS.items():
        if section in skip:
            continue
        table = {field: tuple(refs) for field in fields}
        table["RATE"] = tuple(1.5 for _ in refs)
        setattr(case, section, table)
    case.pssbus = {"NUM": tuple(buses), "NAME": tuple(f"B{b}" for b in buses), "IERR": 0}
    return case


def test_conflicting_buses_get_ascending_free_numbers_everywhere(capsys):
    case = make_case([1, 2, 3], [1, 2, 3, 100])
    old_load_table = case.psslod
    result, renumber_map = vm.renumber_buses(case, case.pssbus, {"NUM": (1, 3, 100, 900000)}, 100)

    assert result is case
    assert renumber_map == {1: 900001, 3: 900002}
    assert [type(k) for k in renumber_map] == [int, int] and [type(v) for v in renumber_map.values()] == [int, int]
    for section, fields in BUS_FIELDS.items():
        table = getattr(case, section)
        for field in fields:
            expected = (900001, 2, 900002) if section == "pssbus" else (900001, 2, 900002, 100)
            assert table[field] == expected, (section, field)
    assert case.pssbus["NAME"] == ("B1", "B2", "B3") and case.psslod["RATE"] == (1.5,) * 4
    # The section dictionaries are replaced, never changed in place.
    assert old_load_table["NUM"] == (1, 2, 3, 100) and case.psslod is not old_load_table
    assert capsys.readouterr().out == (
        "Conflicting bus numbers found. Renumbering...\n"
        "Bus numbers have been successfully renumbered.\n")


def test_no_conflict_leaves_the_case_alone(capsys):
    case = make_case([1, 2], [1, 2])
    tables = {section: getattr(case, section) for section in BUS_FIELDS}
    result, renumber_map = vm.renumber_buses(case, case.pssbus, {"NUM": (5, 6)}, 5)
    assert result is case and renumber_map == {}
    assert all(getattr(case, s) is t for s, t in tables.items())
    assert capsys.readouterr().out == "No conflicting buses found. No renumbering needed.\n"


def test_connecting_bus_and_kept_numbers_are_never_reused(capsys):
    # 900001 stays in the small case (not in the main case), so it must not be handed out again;
    # the connecting bus 7 keeps its number although the main case has it.
    case = make_case([7, 2, 900001, 3], [7, 2, 900001, 3])
    _, renumber_map = vm.renumber_buses(case, case.pssbus, {"NUM": (7, 2, 3, 900000)}, 7)
    assert renumber_map == {2: 900002, 3: 900003}
    assert case.pssbus["NUM"] == (7, 900002, 900001, 900003)
    assert len(set(case.pssbus["NUM"])) == 4


def test_exhausted_number_range_is_an_error():
    main = {"NUM": (1, 2) + tuple(range(900000, 999999))}
    case = make_case([1, 2], [1, 2])
    with pytest.raises(RuntimeError, match="900000 and 999999.*bus 2"):
        vm.renumber_buses(case, case.pssbus, main, None)
    assert case.pssbus["NUM"] == (1, 2)


def test_missing_section_is_reported_and_the_rest_renumbered(capsys):
    case = make_case([1, 2], [1, 2], skip=("pssabx",))
    case.pssmsl = {"FRMBUS": (1,), "TOBUS": (2,), "DUMBUS": (1,)}
    _, renumber_map = vm.renumber_buses(case, case.pssbus, {"NUM": (1,)}, None)
    assert renumber_map == {1: 900000}
    assert case.castrn["CONBUS"] == (900000, 2) and case.pssmsl["DUMBUS"] == (900000,)
    assert capsys.readouterr().out == (
        "Conflicting bus numbers found. Renumbering...\n"
        "Field 'FRMBUS' not found in section 'pssabx'.\n"
        "Field 'TOBUS' not found in section 'pssabx'.\n"
        "Field 'METBUS' not found in section 'pssmsl'.\n"
        "Some bus numbers may not have been renumbered correctly.\n")


def test_validation_reports_items_still_holding_an_old_number(capsys):
    case = make_case([900001], [900001])
    case.pssgen = {"NUM": [5, 1], "IREG": [[1, 2], [3, 1]]}
    case.psswsh = {"NUM": (1, 2), "SWREM": np.array([[0, 1], [1, 0]])}
    case.psssub = {"NUM": 1}
    bus_map = {np.int64(1): 900001}
    assert vm.validate_bus_renumbering(case, bus_map) is False
    assert capsys.readouterr().out.splitlines() == [
        "Mismatch at pssgen->NUM[1]: expected 900001, got 1",
        "Mismatch at pssgen->IREG[0][0]: expected 900001, got 1",
        "Mismatch at pssgen->IREG[1][1]: expected 900001, got 1",
        "Mismatch at psswsh->NUM(0): expected 900001, got 1",
        "Mismatch at psswsh->SWREM(0, 1): expected 900001, got 1",
        "Mismatch at psswsh->SWREM(1, 0): expected 900001, got 1",
        "Mismatch at psssub->NUM: expected 900001, got 1",
    ]
    clean = make_case([900001], [900001, 4])
    assert vm.validate_bus_renumbering(clean, bus_map) is True
    assert capsys.readouterr().out == ""


def read_only(table):
    """A section renumbering leaves alone: it replaces only dictionaries,
    and a mapping of another kind is not one."""
    return types.MappingProxyType(table)


def test_old_numbers_left_after_renumbering_stop_the_case_with_an_error_naming_them(capsys):
    case = make_case([1, 2, 3], [1, 2, 3, 100])
    case.pssgen = read_only({"NUM": (1, 3), "IREG": (3, 0)})
    case.psslod = read_only({"NUM": [1, 1, 1, 1, 1, 1]})
    with pytest.raises(ValueError) as raised:
        vm.renumber_buses(case, case.pssbus, {"NUM": (1, 3, 100)}, 100)
    assert str(raised.value) == (
        "bus renumbering left old bus numbers in the small case, which is therefore not added to the main case: "
        "1 (renumbered 900000) at psslod->NUM[0], psslod->NUM[1], psslod->NUM[2], psslod->NUM[3], "
        "psslod->NUM[4] and 2 more; 3 (renumbered 900001) at pssgen->NUM(1), pssgen->IREG(0)")
    out = capsys.readouterr().out.splitlines()
    assert out[0] == "Conflicting bus numbers found. Renumbering..."
    assert out[7:10] == ["Mismatch at pssgen->NUM(0): expected 900000, got 1",
                         "Mismatch at pssgen->NUM(1): expected 900001, got 3",
                         "Mismatch at pssgen->IREG(0): expected 900001, got 3"]
    assert out[-1] == "Some bus numbers may not have been renumbered correctly."


def test_an_error_names_at_most_ten_old_numbers():
    buses = list(range(1, 13))
    case = make_case(buses, buses)
    case.psslod = read_only({"NUM": tuple(buses)})
    with pytest.raises(ValueError, match=r"; 10 \(renumbered 900009\) at psslod->NUM\(9\); and 2 more numbers$"):
        vm.renumber_buses(case, case.pssbus, {"NUM": tuple(buses)}, None)


def test_renumber_value_by_container_kind():
    bus_map = {1: 900001, 3: 900003}
    assert vm.renumber_value(bus_map, [[1, 2], [3]]) == [[900001, 2], [900003]]
    assert vm.renumber_value(bus_map, (1, 2.5, "x", [1])) == (900001, 2.5, "x", [900001])
    assert vm.renumber_value(bus_map, []) == [] and vm.renumber_value(bus_map, 3) == 900003
    ints = vm.renumber_value(bus_map, np.array([[1, 2], [3, 4]], dtype=np.int32))
    assert ints.tolist() == [[900001, 2], [900003, 4]]
    # A mapped first element must not turn a float array into integers.
    floats = vm.renumber_value(bus_map, np.array([1.0, 2.5, np.nan]))
    assert floats.dtype.kind == "f" and floats[:2].tolist() == [900001.0, 2.5] and np.isnan(floats[2])
    objects = vm.renumber_value(bus_map, np.array([1, "a", None], dtype=object))
    assert objects.tolist() == [900001, "a", None]
    assert vm.renumber_value(bus_map, np.array([], dtype=np.int64)).size == 0


def test_sequences_inside_tuples_are_renumbered_and_validated(capsys):
    # Transformer windings and multi-section dummy buses are tuples of buses per element.
    bus_map = {1: 900001, 3: 900003}
    windings = ((1, 2, 0), (3, 1, 4))
    assert vm.renumber_value(bus_map, windings) == ((900001, 2, 0), (900003, 900001, 4))
    case = make_case([1, 3], [1, 3])
    case.castrn = {"BUSNUM": windings}
    renumbered, new = vm.renumber_buses(case, case.pssbus, {"NUM": (1, 3)}, None)
    assert renumbered.castrn["BUSNUM"] == ((new[1], 2, 0), (new[3], new[1], 4))
    case.castrn = {"BUSNUM": windings}
    assert vm.validate_bus_renumbering(case, bus_map) is False
    assert "Mismatch at castrn->BUSNUM(1)(1): expected 900001, got 1" in capsys.readouterr().out


def test_renumber_field_replaces_only_existing_dictionary_fields():
    class Case:
        pass

    case = Case()
    case.pssbus = {"NUM": (1, 2)}
    case.psslod = [1, 2]
    original = case.pssbus
    assert vm.renumber_field({1: 9}, case, "pssbus", "NUM") is case
    assert case.pssbus == {"NUM": (9, 2)} and original == {"NUM": (1, 2)}
    for section, field in (("psslod", "NUM"), ("pssbus", "TOBUS"), ("pssfsh", "NUM")):
        vm.renumber_field({2: 8}, case, section, field)
    assert case.psslod == [1, 2] and case.pssbus == {"NUM": (9, 2)} and not hasattr(case, "pssfsh")
