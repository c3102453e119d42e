"""Element transfer on the recording fake simulator: the calls each kind makes
per version band, their keywords and values, status dictionaries and saves."""

import os
from collections import OrderedDict
from pathlib import Path

import pytest

from fixtures.case_data import (bus, fixed_shunt, generator, induction_machine, line, load, make_case,
                                switched_shunt, transformer)
from fixtures.fake_simulator import Call

RATINGS_A = tuple(float(r) for r in range(1, 13))
RATINGS_B = tuple(float(r) for r in range(13, 25))
RATINGS_C = tuple(float(r) for r in range(25, 37))


def creation_calls(fake):
    return [(c.name, c.kwargs) for c in fake.calls if c.name != "save"]


def saves(fake):
    return [c.kwargs for c in fake.calls if c.name == "save"]


def ratings(prefix_values):
    return {f"ratings{n}": value for n, value in enumerate(prefix_values, start=1)}


# ---------------------------------------------------------------- conventions

TRANSFERS = [
    ("add_buses", "total_bus", "_added_bus_"), ("add_line_branch", "total_line_branch", "_added_line_"),
    ("add_trn_branch", "total_trn_branch", "_added_trn_"), ("add_gen", "total_gen", "_added_gen_"),
    ("modify_gen", "total_gen", "_modified_gen_"), ("add_fixed_shunt", "total_fsh", "_added_fixed_shunt_"),
    ("add_switched_shunt", "total_swsh", "_added_switched_shunt_"), ("add_load", "total_lod", "_added_load_"),
    ("add_induction_machine", "total_ind", "_added_ind_"),
]


@pytest.mark.parametrize("version", [34.0, 36.2])
@pytest.mark.parametrize("method, total, tag", TRANSFERS)
def test_empty_kind_still_saves(fake_simulator, method, total, tag, version):
    engine = fake_simulator.engine(version)
    status = getattr(engine, method)(make_case(), "MAIN", "SNAP", "out")
    assert status == OrderedDict([(total, 0)]) and isinstance(status, OrderedDict)
    assert fake_simulator.calls == [Call("psspy", "save", (), {"sfile": os.path.join("out", f"MAIN{tag}SNAP")})]


def test_names_are_converted_to_text_and_arguments_may_be_named(fake_simulator, tmp_path):
    engine = fake_simulator.engine()
    engine.add_buses(small_case=make_case(buses=[bus(1)]), main_case_name=7, small_case_name=Path("b"),
                     directory_to_save_files=tmp_path)
    assert saves(fake_simulator) == [{"sfile": os.path.join(str(tmp_path), "7_added_bus_b")}]


def test_refused_element_is_recorded_and_the_loop_goes_on(fake_simulator):
    engine = fake_simulator.engine()
    fake_simulator.answer("bus_data_4", [0, -1, 0])
    status = engine.add_buses(make_case(buses=[bus(101), bus(102), bus(103)]), "M", "S", "d")
    assert status == OrderedDict([("total_bus", 3), ("101", 0), ("102", -1), ("103", 0)])
    assert [kw["ibus"] for _, kw in creation_calls(fake_simulator)] == [101, 102, 103]
    assert len(saves(fake_simulator)) == 1


def test_missing_key_or_short_entry_stops_before_the_save(fake_simulator):
    engine = fake_simulator.engine()
    case = make_case(buses=[bus(101), bus(102)])
    case.pssbus["NAME"] = ("only one",)
    with pytest.raises(IndexError):
        engine.add_buses(case, "M", "S", "d")
    # The first bus was created; nothing was saved.
    assert fake_simulator.names() == ["bus_data_4"]

    fake_simulator.clear()
    case = make_case(loads=[load(5, LOAD=(1 + 1j, 0j))])
    with pytest.raises(IndexError):
        engine.add_load(case, "M", "S", "d")
    del case.psslod["DGENM"]
    with pytest.raises(KeyError, match="DGENM"):
        engine.add_load(case, "M", "S", "d")
    case = make_case(lines=[line(1, 2)])
    case.cas_nbrn = 2  # more branches than the table holds
    with pytest.raises(IndexError):
        engine.add_line_branch(case, "M", "S", "d")
    assert saves(fake_simulator) == []


def test_simulator_errors_propagate(fake_simulator):
    engine = fake_simulator.engine()
    fake_simulator.answer("shunt_data_2", RuntimeError("simulator down"))
    with pytest.raises(RuntimeError, match="simulator down"):
        engine.add_fixed_shunt(make_case(fixed_shunts=[fixed_shunt(1)]), "M", "S", "d")
    assert saves(fake_simulator) == []


@pytest.mark.parametrize("version, method, case, words", [
    (34.2, "add_load", make_case(loads=[load(5), load(6)]), "34.2.*loads"),
    (34.0, "add_switched_shunt", make_case(switched_shunts=[switched_shunt(5)]), "34.0.*switched shunts"),
])
def test_version_without_creation_operation_fails_clearly(fake_simulator, version, method, case, words):
    engine = fake_simulator.engine(version)
    with pytest.raises(ValueError, match=words):
        getattr(engine, method)(case, "M", "S", "d")
    assert fake_simulator.calls == []


# ---------------------------------------------------------------- buses, lines

def test_bus_fields(fake_simulator):
    engine = fake_simulator.engine(34.0)
    case = make_case(buses=[bus(3005, IDE=2, AREA=3, ZONE=4, OWNER=5, BASKV=230.0, VM=1.02, VA=-3.5,
                                NMAXV=1.06, NMINV=0.94, EMAXV=1.08, EMINV=0.92, NAME="PLANT HV")])
    assert engine.add_buses(case, "M", "S", "d") == OrderedDict([("total_bus", 1), ("3005", 0)])
    assert creation_calls(fake_simulator) == [("bus_data_4", {
        "ibus": 3005, "inode": 0, "intgar1": 2, "intgar2": 3, "intgar3": 4, "intgar4": 5, "realar1": 230.0,
        "realar2": 1.02, "realar3": -3.5, "realar4": 1.06, "realar5": 0.94, "realar6": 1.08, "realar7": 0.92,
        "name": "PLANT HV"})]


@pytest.mark.parametrize("version, operation", [(36.0, "branch_data_4"), (35.5, "branch_data_3"),
                                                (34.0, "branch_data_3")])
def test_line_fields(fake_simulator, version, operation):
    engine = fake_simulator.engine(version)
    fake_simulator.answer(operation, [0, 3])
    case = make_case(lines=[
        line(101, 202, "2", STAT=0, METBUS=202, OWNER=(11, 12, 13, 14), OWNPCT=(0.1, 0.2, 0.3, 0.4),
             RX=0.01 + 0.1j, B=0.05, GBI=0.001 + 0.002j, GBJ=0.003 + 0.004j, LINLEN=12.5, RATINGS=RATINGS_A,
             BRNAME="TIE"),
        line(101, 202, "2 "), line(101, 202, "2"),
    ])
    status = engine.add_line_branch(case, "M", "S", "d")
    # The same buses and circuit share one key holding the later result.
    assert status == OrderedDict([("total_line_branch", 3), ("101 to 202, Ckt:2", 3), ("101 to 202, Ckt:2 ", 3)])
    assert creation_calls(fake_simulator)[0] == (operation, {
        "ibus": 101, "jbus": 202, "ckt": "2", "intgar1": 0, "intgar2": 202, "intgar3": 11, "intgar4": 12,
        "intgar5": 13, "intgar6": 14, "realar1": 0.01, "realar2": 0.1, "realar3": 0.05, "realar4": 0.001,
        "realar5": 0.002, "realar6": 0.003, "realar7": 0.004, "realar8": 12.5, "realar9": 0.1,
        "realar10": 0.2, "realar11": 0.3, "realar12": 0.4, **ratings(RATINGS_A), "namear": "TIE"})


# ---------------------------------------------------------------- shunts, loads

@pytest.mark.parametrize("version, operation", [(36.0, "shunt_data_2"), (35.5, "shunt_data"),
                                                (34.0, "shunt_data")])
def test_fixed_shunt_fields(fake_simulator, version, operation):
    engine = fake_simulator.engine(version)
    case = make_case(fixed_shunts=[fixed_shunt(300, "1", STATUS=0, SHUNT=0.5 - 1.2j), fixed_shunt(300, "2")])
    status = engine.add_fixed_shunt(case, "M", "S", "d")
    assert list(status) == ["total_fsh", "Fixed Shunt 300, Id:1", "Fixed Shunt 300, Id:2"]
    assert creation_calls(fake_simulator)[0] == (operation, {"ibus": 300, "id": "1", "intgar1": 0,
                                                             "realar1": 50.0, "realar2": -120.0})


LOAD_ARGUMENTS = {"ibus": 205, "id": "L1", "intgar1": 1, "intgar2": 2, "intgar3": 3, "intgar4": 4,
                  "intgar5": 0, "intgar6": 1, "intgar7": 1, "realar1": 1000.0, "realar2": 500.0,
                  "realar3": 25.0, "realar4": -50.0, "realar5": 150.0, "realar6": 0.0, "realar7": 0.0,
                  "realar8": 0.0}


@pytest.mark.parametrize("version, operation, name", [
    (36.0, "load_data_7", {"ldname": "MILL"}), (35.5, "load_data_6", {}), (35.0, "load_data_6", {}),
    (34.4, "load_data_5", {}),
])
def test_load_fields(fake_simulator, version, operation, name):
    engine = fake_simulator.engine(version)
    case = make_case(loads=[load(205, "L1", STATUS=1, AREA=2, ZONE=3, OWNER=4, LDSCALE=0, LDINT=1, DGENM=1,
                                 LOAD=(10 + 5j, 0.25 - 0.5j, 1.5 + 0j), DGENPQ=0j, LDNAME="MILL")])
    assert engine.add_load(case, "M", "S", "d") == OrderedDict([("total_lod", 1), ("Load 205, Id:L1", 0)])
    assert creation_calls(fake_simulator) == [(operation, {**LOAD_ARGUMENTS, **name})]


SWITCHED_SHUNT = dict(NI=(1, 2, 3, 4, 5, 6, 7, 8), BI=(0.25, 0.5, 0.75, 1.0, 1.25, 1.5, 1.75, 2.0),
                      SI=(1, 0, 1, 0, 1, 0, 1, 0), MODSW=2, ADJM=1, STAT=1, SWREM=301, SWNOD=4, VSWHI=1.05,
                      VSWLO=0.95, BINIT=0.25, RMPCT=90.0, SWNAME="SVC")
SWITCHED_SHUNT_COMMON = {
    "ibus": 301, "id": "1", **{f"intgar{n}": n for n in range(1, 9)}, "intgar9": 2, "intgar10": 301,
    "intgar11": 4, "intgar12": 1, "intgar13": 1, "intgar14": 1,
    "realar1": 25.0, "realar2": 50.0, "realar3": 75.0, "realar4": 100.0, "realar5": 125.0, "realar6": 150.0,
    "realar7": 175.0, "realar8": 200.0, "realar9": 1.05, "realar10": 0.95, "realar11": 0.25, "realar12": 90.0}
BLOCK_STATUSES = {"intgar15": 0, "intgar16": 1, "intgar17": 0, "intgar18": 1, "intgar19": 0, "intgar20": 1,
                  "intgar21": 0}


@pytest.mark.parametrize("version, operation, extra", [
    (36.1, "switched_shunt_data_6", {**BLOCK_STATUSES, "swsnam": "SVC"}),
    (35.3, "switched_shunt_data_5", BLOCK_STATUSES),
    (34.4, "switched_shunt_data_4", {}),
])
def test_switched_shunt_fields(fake_simulator, version, operation, extra):
    engine = fake_simulator.engine(version)
    status = engine.add_switched_shunt(make_case(switched_shunts=[switched_shunt(301, **SWITCHED_SHUNT)]),
                                       "M", "S", "d")
    assert status == OrderedDict([("total_swsh", 1), ("Switched Shunt 301, Id:1", 0)])
    assert creation_calls(fake_simulator) == [(operation, {**SWITCHED_SHUNT_COMMON, **extra})]


# Keyword and field pairs of an induction machine, as the simulator numbers them.
INDUCTION_FIELDS = [
    ("intgar1", "STATUS"), ("intgar2", "SCODE"), ("intgar3", "DCODE"), ("intgar4", "AREA"), ("intgar5", "ZONE"),
    ("intgar6", "OWNER"), ("intgar7", "TCODE"), ("intgar8", "BCODE"), ("intgar9", "PCODE"),
    ("realar1", "MBASE"), ("realar2", "RATEKV"), ("realar3", "PSET"), ("realar4", "H"), ("realar5", "A"),
    ("realar6", "B"), ("realar7", "D"), ("realar8", "E"), ("realar9", "RA"), ("realar10", "XA"),
    ("realar11", "XM"), ("realar12", "R1"), ("realar13", "X1"), ("realar14", "R2"), ("realar15", "X2"),
    ("realar16", "X3"), ("realar17", "E1"), ("realar18", "SE1"), ("realar19", "E2"), ("realar20", "SE2"),
    ("realar21", "IA1"), ("realar22", "IA2"), ("realar23", "IAM"),
]


@pytest.mark.parametrize("version, operation, name", [
    (36.0, "induction_machine_data_2", {"indnamear": "PUMP"}), (35.5, "induction_machine_data", {}),
])
def test_induction_machine_fields(fake_simulator, version, operation, name):
    engine = fake_simulator.engine(version)
    values = {field: 1000 + n for n, (_, field) in enumerate(INDUCTION_FIELDS)}
    case = make_case(induction_machines=[induction_machine(7, "1", IMNAME="PUMP", **values),
                                         induction_machine(7, "2")])
    status = engine.add_induction_machine(case, "M", "S", "d")
    assert list(status) == ["total_ind", "Induction Machine 7, Id:1", "Induction Machine 7, Id:2"]
    assert creation_calls(fake_simulator)[0] == (operation, {
        "ibus": 7, "id": "1", **{kw: values[field] for kw, field in INDUCTION_FIELDS}, **name})


# ---------------------------------------------------------------- generators

GENERATOR = dict(IREG=205, NREG=3, VS=1.03, RMPCT=80.0, STAT=1, WMOD=2, BASLOD=1, OWNER=(1, 2, 3, 4),
                 OWNPCT=(0.4, 0.3, 0.2, 0.1), PG=0.5, QG=2, QT=0.75, QB=-0.25, PT=1.5, PB=0.0, MBASE=120.0,
                 ZSORCE=0.003 + 0.25j, XTRAN=0.01 + 0.1j, GTAP=1.025, WPF=0.95, MCNAME="UNIT 1")
MACHINE_COMMON = {"ibus": 101, "id": "G1", "intgar1": 1, "intgar2": 1, "intgar3": 2, "intgar4": 3,
                  "intgar5": 4, "intgar6": 2, "realar1": 50.0, "realar2": 200, "realar3": 75.0,
                  "realar4": -25.0, "realar5": 150.0, "realar6": 0.0, "realar7": 120.0, "realar8": 0.003,
                  "realar9": 0.25, "realar10": 0.01, "realar11": 0.1, "realar12": 1.025, "realar13": 0.4,
                  "realar14": 0.3, "realar15": 0.2, "realar16": 0.1, "realar17": 0.95}


@pytest.mark.parametrize("version, operation, node, extra", [
    (36.0, "machine_data_5", 3, {"intgar7": 1, "namear2": "UNIT 1"}),
    (35.3, "machine_data_4", 3, {}), (35.0, "machine_data_3", 3, {}), (34.0, "machine_data_2", 0, {}),
])
def test_generator_fields(fake_simulator, version, operation, node, extra):
    engine = fake_simulator.engine(version)
    fields = dict(GENERATOR)
    if version <= 34:
        del fields["NREG"]  # not read at all at this version
    engine.add_gen(make_case(generators=[generator(101, "G1", **fields)]), "M", "S", "d")
    assert creation_calls(fake_simulator) == [
        ("plant_data_4", {"ibus": 101, "inode": 0, "intgar1": 205, "intgar2": node, "realar1": 1.03,
                          "realar2": 80.0}),
        (operation, {**MACHINE_COMMON, **extra}),
    ]


def test_generators_sharing_a_bus_share_its_plant_entry(fake_simulator):
    engine = fake_simulator.engine()
    fake_simulator.answer("plant_data_4", [1, 2, 3])
    fake_simulator.answer("machine_data_5", [10, 20, 30])
    case = make_case(generators=[generator(101, "1"), generator(102, "1"), generator(101, "2")])
    status = engine.add_gen(case, "M", "S", "d")
    assert status == OrderedDict([("total_gen", 3), ("Plant 101", 3), ("Gen 101, Id:1", 10),
                                  ("Plant 102", 2), ("Gen 102, Id:1", 20), ("Gen 101, Id:2", 30)])
    assert fake_simulator.names() == ["plant_data_4", "machine_data_5"] * 3 + ["save"]


@pytest.mark.parametrize("version, operation", [(36.0, "machine_data_5"), (35.3, "machine_data_4"),
                                                (34.0, "machine_data_2")])
def test_modify_gen_writes_only_reactive_values(fake_simulator, version, operation):
    engine = fake_simulator.engine(version)
    status = engine.modify_gen(make_case(generators=[generator(101, "G1", **GENERATOR)]), "M", "S", "d")
    assert status == OrderedDict([("total_gen", 1), ("Gen modified 101, Id:G1", 0)])
    assert fake_simulator.calls[0].name == operation
    assert creation_calls(fake_simulator) == [(operation, {"ibus": 101, "id": "G1", "realar2": 200,
                                                           "realar3": 75.0, "realar4": -25.0})]
    assert saves(fake_simulator) == [{"sfile": os.path.join("d", "M_modified_gen_S")}]


# ---------------------------------------------------------------- transformers

TRANSFORMER = dict(
    STAT=1, METBUS=202, CW=2, CZ=3, CM=1, MAG1=0.001, MAG2=-0.002, TRNAME="T1", VECGRP="YNd1", ZCOD=1,
    OWNER=(5, 6, 7, 8), OWNPCT=(0.5, 0.25, 0.125, 0.125), NTAPS=(0, 33, 17), TABLE=(0, 4, 5),
    CONBUS=(0, 0, 777), NOD=(5, 6, 7), CNTL=(1, 2, 3), WIND=(1.01, 0.99, 1.02), NOMV=(230.0, 34.5, 13.8),
    ANG=(0.0, 30.0, -30.0), RMAX=(1.1, 1.2, 1.3), RMIN=(0.0, 0.8, 0.7), VMAX=(1.05, 1.04, 1.03),
    VMIN=(0.0, 0.0, 0.9), CNXA=(15.0, 16.0, 17.0), SBASE=(100.0, 200.0, 300.0),
    XFRCMP=(0.01 + 0.02j, 0.03 + 0.04j, 0.05 + 0.06j), RX=(0.002 + 0.08j, 0.003 + 0.09j, 0.004 + 0.1j),
    RATINGS=(RATINGS_A, RATINGS_B, RATINGS_C))


@pytest.mark.parametrize("version, node", [(35.0, 5), (34.4, 5), (34.0, 0)])
def test_two_winding_fields(fake_simulator, version, node):
    engine = fake_simulator.engine(version)
    fields = dict(TRANSFORMER)
    if version <= 34:
        del fields["NOD"], fields["ZCOD"]  # not read at all at this version
    fake_simulator.answer("two_winding_data_6", (4, [0.5]))
    status = engine.add_trn_branch(make_case(transformers=[transformer(101, 202, 0, "1", **fields)]),
                                   "north", "plant7", "d")
    assert status == OrderedDict([("total_trn_branch", 1), ("101 to 202, Ckt:1", 4)])
    assert creation_calls(fake_simulator) == [("two_winding_data_6", {
        "ibus": 101, "jbus": 202, "ckt": "1", "intgar1": 1, "intgar2": 202, "intgar3": 5, "intgar4": 6,
        "intgar5": 7, "intgar6": 8,
        "intgar7": 33,      # winding 1 is 0: winding 2
        "intgar8": 0,       # fixed position, no rule
        "intgar10": 0,      # both 0: winding 2's 0
        "intgar11": node, "intgar13": 1, "intgar14": 2, "intgar15": 3, "intgar16": 1,
        "realari1": 0.002, "realari2": 0.08, "realari3": 100.0, "realari4": 1.01, "realari5": 230.0,
        "realari6": 30.0, "realari7": 0.99, "realari8": 34.5, "realari9": 0.5, "realari10": 0.25,
        "realari11": 0.125, "realari12": 0.125, "realari13": 0.001, "realari14": -0.002,
        "realari15": 1.1, "realari16": 0.8, "realari17": 1.05, "realari18": 0.0,
        "realari19": 0.01, "realari20": 0.02, "realari21": 15.0, **ratings(RATINGS_A),
        "namear": "T1", "vgrpar": "YNd1"})]
    assert saves(fake_simulator) == [{"sfile": os.path.join("d", "north_added_trn_plant7")}]


@pytest.mark.parametrize("version, node, zcod", [(36.2, 6, 1), (34.0, 0, 0)])
def test_three_winding_fields(fake_simulator, version, node, zcod):
    engine = fake_simulator.engine(version)
    fake_simulator.answer("three_wnd_imped_data_4", (0, []))
    fake_simulator.answer("three_wnd_winding_data_5", [(0, []), (2, []), (0, [])])
    status = engine.add_trn_branch(make_case(transformers=[transformer(101, 202, 303, "1", **TRANSFORMER)]),
                                   "M", "S", "d")
    assert status == OrderedDict([
        ("total_trn_branch", 1), ("101 to 202 to 303, Id:1", 0), ("101 to 202 to 303 WINDING 1, Ckt:1", 0),
        ("101 to 202 to 303 WINDING 2, Ckt:1", 2), ("101 to 202 to 303 WINDING 3, Ckt:1", 0)])
    calls = creation_calls(fake_simulator)
    buses = {"ibus": 101, "jbus": 202, "kbus": 303, "ckt": "1"}
    assert calls[0] == ("three_wnd_imped_data_4", {
        **buses, "intgar1": 5, "intgar2": 6, "intgar3": 7, "intgar4": 8, "intgar5": 2, "intgar6": 3,
        "intgar7": 1, "intgar8": 1, "intgar9": 202, "intgar12": zcod,
        "realari1": 0.002, "realari2": 0.08, "realari3": 0.003, "realari4": 0.09, "realari5": 0.004,
        "realari6": 0.1, "realari7": 100.0, "realari8": 200.0, "realari9": 300.0, "realari10": 0.001,
        "realari11": -0.002, "realari12": 0.5, "realari13": 0.25, "realari14": 0.125, "realari15": 0.125,
        "namear": "T1", "vgrpar": "YNd1"})
    assert calls[2] == ("three_wnd_winding_data_5", {
        **buses, "warg": 2, "intgar1": 33, "intgar2": 4, "intgar3": 0, "intgar4": node, "intgar6": 2,
        "realari1": 0.99, "realari2": 34.5, "realari3": 30.0, "realari4": 1.2, "realari5": 0.8,
        "realari6": 1.04, "realari7": 0.0, "realari8": 0.03, "realari9": 0.04, "realari10": 16.0,
        **ratings(RATINGS_B)})
    # Windings 1 and 3 take their own positions, zeros included.
    assert [(kw["warg"], kw["intgar1"], kw["intgar3"], kw["ratings1"]) for _, kw in (calls[1], calls[3])] == [
        (1, 0, 0, 1.0), (3, 17, 777, 25.0)]
