"""Refused operations: a code, one line on the progress output, and the case
exactly as it was."""

import pytest


def _small_network(p):
    for bus in (101, 102, 103):
        assert p.bus_data_4(ibus=bus, realar1=138.0) == 0
    assert p.branch_data_3(ibus=101, jbus=102, ckt="1") == 0
    assert p.two_winding_data_6(ibus=102, jbus=103, ckt="T")[0] == 0
    assert p.three_wnd_imped_data_4(ibus=101, jbus=102, kbus=103, ckt="3")[0] == 0
    assert p.plant_data_4(ibus=101) == 0
    assert p.machine_data_2(ibus=101, id="1") == 0


REFUSED = [
    ("bus_data_4", dict(ibus=1000000), 2),
    ("bus_data_4", dict(ibus=101, intgar1=5), 4),
    ("bus_data_4", dict(ibus=101, inode=3), 8),
    ("bus_chng_4", dict(ibus=104, realar2=1.0), 1),
    ("branch_data_3", dict(ibus=101, jbus=104), 1),
    ("branch_data_4", dict(ibus=103, jbus=102, ckt="t"), 6),
    ("branch_data_3", dict(ibus=101, jbus=101), 7),
    ("branch_data_3", dict(ibus=101, jbus=102, ckt="&1"), 3),
    ("branch_data_3", dict(ibus=101, jbus=102, intgar2=103), 4),
    ("two_winding_data_6", dict(ibus=101, jbus=102, ckt="1"), 6),
    ("two_winding_data_6", dict(ibus=102, jbus=103, ckt="T", intgar14=4), 4),
    ("three_wnd_imped_data_4", dict(ibus=101, jbus=102, kbus=103, ckt="3", intgar8=5), 4),
    ("three_wnd_winding_data_5", dict(ibus=101, jbus=102, kbus=103, ckt="4", warg=1), 5),
    ("three_wnd_winding_data_5", dict(ibus=101, jbus=102, kbus=103, ckt="3", warg=4), 4),
    ("plant_data_4", dict(ibus=102, intgar1=104), 1),
    ("machine_data_5", dict(ibus=102, id="1"), 9),
    ("machine_chng_2", dict(ibus=101, id="2", realar2=5.0), 5),
    ("machine_data_3", dict(ibus=101, id="1", intgar7=4), 4),
    ("load_data_7", dict(ibus=101, id="123"), 3),
    ("load_data_6", dict(ibus=101, id="1", intgar1=2), 4),
    ("shunt_data_2", dict(ibus=104, id="1"), 1),
    ("switched_shunt_data_6", dict(ibus=101, id="1", intgar1=10), 4),
    ("switched_shunt_data_5", dict(ibus=101, id="1", intgar10=104), 1),
    ("induction_machine_data_2", dict(ibus=101, id="1", intgar2=3), 4),
    ("induction_machine_data", dict(ibus=101, id="1", realar1=0.0), 4),
    ("dscn", dict(ibus=104), 1),
    ("recn", dict(ibus=104), 1),
]


@pytest.mark.parametrize("name,kwargs,code", REFUSED, ids=[f"{n}-{c}" for n, _, c in REFUSED])
def test_refused_operation_returns_its_code_and_changes_nothing(sim, name, kwargs, code):
    _small_network(sim.psspy)
    before = sim.reading("before")
    lines_before = len(sim.progress_lines())
    result = getattr(sim.psspy, name)(**kwargs)
    ierr = result[0] if isinstance(result, tuple) else result
    assert ierr == code
    after = sim.reading("after")
    for table in ("pssbus", "casbrn", "castrn", "pssgen", "psslod", "pssfsh", "psswsh", "pssind"):
        assert getattr(after, table) == getattr(before, table), table
    new_lines = sim.progress_lines()[lines_before:]
    refusals = [line for line in new_lines if line.startswith(name + ": ")]
    assert len(refusals) == 1 and refusals[0].endswith(f"(code {code})")


def test_without_a_case_every_operation_answers_no_case(sim):
    p = sim.psspy
    assert p.close_powerflow() == 0
    assert p.bus_data_4(ibus=101) == 10
    assert p.two_winding_data_6(ibus=101, jbus=102) == (10, [0.0, 0.0])
    assert p.inibrn_2(ibus=101, inode=0, single=2) == (10, None)
    assert p.nxtbrn3_2(ibus=101, inode=0) == (10, None, None, None, None, None)
    assert p.busdat(ibus=101, string="PU") == (10, None)
    assert p.save(sfile=str(sim.folder / "none")) == 10
    assert not (sim.folder / "none.sav").exists()
    assert sum("no case in memory" in line for line in sim.progress_lines()) == 6
