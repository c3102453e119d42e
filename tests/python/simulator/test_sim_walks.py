"""Walks and queries as callers unpack them: result shapes, padded
identifiers, the end of a walk, and buses going out of service and back."""

import math


def _network(p):
    for bus in (1, 2, 3, 4):
        assert p.bus_data_4(ibus=bus, intgar1=2 if bus == 1 else 1, realar1=138.0, realar3=-30.0) == 0
    assert p.branch_data_4(ibus=1, jbus=2, ckt="1") == 0
    assert p.branch_data_4(ibus=3, jbus=1, ckt="AB", intgar1=0) == 0
    assert p.two_winding_data_6(ibus=4, jbus=1, ckt="T")[0] == 0
    assert p.three_wnd_imped_data_4(ibus=2, jbus=1, kbus=4, ckt="9")[0] == 0
    assert p.plant_data_4(ibus=1) == 0
    assert p.machine_data_4(ibus=1, id="G") == 0
    assert p.machine_data_4(ibus=1, id="2", intgar1=0) == 0


def _walk(next_call):
    items = []
    while True:
        result = next_call()
        if result[0] != 0:
            return items, result
        items.append(result[1:])


def test_branch_walks_return_the_shapes_callers_unpack(sim):
    p = sim.psspy
    _network(p)
    assert p.inibrn_2(ibus=1, inode=0, single=2) == (0, 3)
    branches, end = _walk(lambda: p.nxtbrn_2(ibus=1, inode=0))
    assert branches == [(2, 0, "1 "), (3, 0, "AB"), (4, 0, "T ")]
    assert end == (2, None, None, None)
    assert p.inibrn_2(ibus=1, inode=0, single=2)[0] == 0
    tx3, end = _walk(lambda: p.nxtbrn3_2(ibus=1, inode=0))
    assert tx3 == [(2, 0, 4, 0, "9 ")]
    assert end == (2, None, None, None, None, None)
    assert p.inibrn_2(ibus=1, inode=0, single=1) == (0, 2)  # the switched-out line is left out
    assert p.inibrn_2(ibus=1, inode=0, single=3) == (2, None)
    assert p.nxtbrn_2(ibus=2, inode=0)[0] == 3  # no walk started at bus 2


def test_machine_walk_and_bus_values(sim):
    p = sim.psspy
    _network(p)
    assert p.inimac(ibus=1) == 0
    machines, end = _walk(lambda: p.nxtmac(ibus=1))
    assert machines == [("G ",), ("2 ",)]
    assert end == (2, None)
    assert p.inimac(ibus=2) == 0
    assert p.nxtmac(ibus=2) == (2, None)
    assert p.inimac(ibus=8) == 1
    assert p.busdat(ibus=1, string="ANGLED") == (0, -30.0)
    assert math.isclose(p.busdat(ibus=1, string="ANGLE")[1], -math.pi / 6)
    assert p.busdat(ibus=1, string="KV") == (0, 138.0)
    assert p.busdat(ibus=1, string="NOSUCH") == (2, None)


def test_disconnected_bus_returns_to_its_type_and_its_branches_stay_as_they_were(sim):
    p = sim.psspy
    _network(p)
    before = sim.reading("before")
    assert p.dscn(1) == 0
    assert p.busdat(1, "TYPE") == (0, 4)
    during = sim.reading("during")
    assert during.casbrn["STAT"] == before.casbrn["STAT"]
    assert p.inibrn_2(ibus=2, inode=0, single=1) == (0, 0)  # the line to bus 1 is out with its bus
    assert p.recn(1) == 0
    assert p.recn(1) == 0
    after = sim.reading("after")
    assert after.pssbus == before.pssbus
    # A bus isolated by its own data comes back as a generator bus when it
    # has an in-service machine.
    assert p.bus_chng_4(ibus=1, intgar1=4) == 0
    assert p.recn(ibus=1) == 0
    assert p.busdat(1, "TYPE") == (0, 2)
