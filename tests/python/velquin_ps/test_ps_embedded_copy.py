"""Copying a whole small case into an empty case through the embedded
simulator: the copy, read back from its saved file, equals the original
element by element."""

import os

import pytest

from fixtures.fake_simulator import hide_other_simulators, isolated_imports

TRANSFERS = ["add_buses", "add_line_branch", "add_trn_branch", "add_gen", "add_fixed_shunt",
             "add_switched_shunt", "add_load", "add_induction_machine"]
TABLES = ["pssbus", "casbrn", "castrn", "pssgen", "pssfsh", "psswsh", "psslod", "pssind"]
# Names that only the newest releases' operations take.
NAMES_FROM_36 = {"pssgen": "MCNAME", "psswsh": "SWNAME", "psslod": "LDNAME", "pssind": "IMNAME"}


def same(a, b):
    if isinstance(a, (tuple, list)) and isinstance(b, (tuple, list)):
        return len(a) == len(b) and all(same(x, y) for x, y in zip(a, b))
    if isinstance(a, (float, complex)) or isinstance(b, (float, complex)):
        return abs(a - b) <= 1e-9 * max(1.0, abs(a))
    return a == b


def rows(table, skip=()):
    """The table as one dict per element, sorted by its text form."""
    keys = [k for k in table if k not in ("IERR", *skip)]
    count = len(table[keys[0]])
    return sorted(({k: table[k][i] for k in keys} for i in range(count)), key=repr)


def without_internal_buses(table):
    keep = [i for i, n in enumerate(table["NUM"]) if n <= 999999]
    return {k: tuple(v[i] for i in keep) if isinstance(v, tuple) else v for k, v in table.items()}


@pytest.fixture
def engine_on_simulator(simulator_dir):
    def start(version):
        import velquin_ps
        engine = velquin_ps.PSSE_ENGINE(psse_path=str(simulator_dir), version=version)
        assert engine.init_psse(buses=2000) == 0
        return engine
    with isolated_imports():
        hide_other_simulators()
        yield start


@pytest.fixture
def small_case_file(engine_on_simulator, test_data_dir, tmp_path):
    """A small case with every element kind: a RAW network with two- and
    three-winding transformers and switched shunts, plus an induction machine."""
    psspy = engine_on_simulator(36.2).psspy
    assert psspy.read(numnam=0, ifile=str(test_data_dir / "raw" / "frankenstein_70.raw")) == 0
    assert psspy.induction_machine_data_2(
        ibus=1004, id="M1", intgar=[1, 1, 2, 1, 1, 1, 1, 1, 1],
        realar=[5.0, 13.8, 2.5, 1.2, 0.1, 0.2, 0.3, 0.4, 0.01, 0.1, 3.0, 0.02, 0.15, 0.03, 0.16, 0.0, 1.0,
                0.05, 1.2, 0.2, 0.0, 0.0, 0.0],
        indnamear="PUMP") == 0
    path = str(tmp_path / "small.sav")
    assert psspy.save(sfile=path) == 0
    return path


def copy_into_empty_case(engine, small, folder):
    # As the driver does, the simulator's internal buses (three-winding star
    # points) stay out: the transformer calls create their own.
    small.pssbus = without_internal_buses(small.pssbus)
    assert engine.psspy.newcase_2(options=[0, 1], basemva=100.0, basefreq=60.0, titl1="", titl2="") == 0
    statuses = [getattr(engine, method)(small, "main", "small", str(folder)) for method in TRANSFERS]
    copy_path = os.path.join(str(folder), "copy.sav")
    assert engine.save_case(sfile=copy_path) == 0
    return statuses, engine.get_case_data(copy_path)


@pytest.mark.parametrize("version", [36.2, 35.5])
def test_copy_through_the_simulator_loses_nothing(engine_on_simulator, small_case_file, tmp_path, version):
    engine = engine_on_simulator(version)
    small = engine.get_case_data(small_case_file)
    statuses, copy = copy_into_empty_case(engine, small, tmp_path)

    totals = [next(iter(status.values())) for status in statuses]
    assert totals == [len(small.pssbus["NUM"]), small.cas_nbrn, small.cas_ntrn,
                      *(len(getattr(small, table)["NUM"]) for table in TABLES[3:])]
    assert 0 not in totals  # every kind had elements
    refused = {k: v for status in statuses for k, v in list(status.items())[1:] if v != 0}
    assert refused == {}

    skip = () if version >= 36 else tuple(NAMES_FROM_36.values())
    assert len([n for n in copy.pssbus["NUM"] if n > 999999]) == 1  # the transformer's own star point
    copy.pssbus = without_internal_buses(copy.pssbus)
    for name in TABLES:
        original, copied = rows(getattr(small, name), skip), rows(getattr(copy, name), skip)
        assert len(copied) == len(original), name
        for before, after in zip(original, copied):
            assert set(after) == set(before), name
            different = {k: (before[k], after[k]) for k in before if not same(before[k], after[k])}
            assert different == {}, name
    assert copy.cas_nbrn == small.cas_nbrn and copy.cas_ntrn == small.cas_ntrn


def test_refused_element_keeps_its_code_and_the_next_is_added(engine_on_simulator, small_case_file, tmp_path):
    engine = engine_on_simulator(36.2)
    small = engine.get_case_data(small_case_file)
    # A first load on a bus that the case does not hold.
    small.psslod = {k: (v[0],) + v if isinstance(v, tuple) else v for k, v in small.psslod.items()}
    small.psslod["NUM"] = (424242,) + small.psslod["NUM"][1:]
    statuses, copy = copy_into_empty_case(engine, small, tmp_path)
    loads = statuses[TRANSFERS.index("add_load")]
    codes = list(loads.values())
    assert codes[0] == len(small.psslod["NUM"]) == 4
    assert codes[1] != 0 and codes[2:] == [0, 0, 0]
    assert list(loads)[1].startswith("Load 424242, Id:")
    assert sorted(copy.psslod["NUM"]) == sorted(small.psslod["NUM"][1:])
