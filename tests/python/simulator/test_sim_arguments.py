"""Argument handling of the psspy operations: only a wrong argument name or
type raises; every other problem is a code, and positional arguments follow
the simulator's order."""

import numpy
import pytest


def _two_buses(psspy):
    assert psspy.bus_data_4(ibus=101, intgar1=3, realar1=138.0) == 0
    assert psspy.bus_data_4(ibus=102, realar1=138.0) == 0


@pytest.mark.parametrize("call", [
    lambda p: p.bus_data_4(ibus=101, intgar5=1),          # beyond the array
    lambda p: p.bus_data_4(ibus=101, nme="X"),            # unknown name
    lambda p: p.bus_data_4(ibus="101"),                   # text for an integer
    lambda p: p.bus_data_4(ibus=101, intgar1=1.5),        # non-integral real
    lambda p: p.bus_data_4(ibus=101, realar2="1.0"),      # text for a real
    lambda p: p.bus_data_4(ibus=101, name=7),             # number for a text
    lambda p: p.bus_data_4(ibus=101, realar=[1, 2, 3, 4, 5, 6, 7, 8]),  # too many values
    lambda p: p.bus_data_4(101, ibus=101),                # given twice
    lambda p: p.bus_data_4(intgar1=1),                    # the bus is required
    lambda p: p.load_data_5(ibus=101, id="1", ldname="L"),  # a later release's keyword
    lambda p: p.switched_shunt_data_4(ibus=101, intgar15=1),
    lambda p: p.machine_data_2(ibus=101, intgar7=0),
    lambda p: p.busdat(101, "PU", 3),                      # too many positional
])
def test_wrong_names_and_types_raise_and_change_nothing(sim, call):
    _two_buses(sim.psspy)
    before = sim.reading("before")
    with pytest.raises(TypeError):
        call(sim.psspy)
    assert sim.reading("after").pssbus == before.pssbus


def test_positional_arguments_follow_the_simulator_order(sim):
    p = sim.psspy
    assert p.bus_data_4(101, 0, [2, 5, 6, 8], [230.0, 1.01, -4.0, 1.09, 0.91, 1.12, 0.88], "NORTH") == 0
    assert p.bus_data_4(ibus=102, inode=0, intgar1=2, intgar2=5, intgar3=6, intgar4=8, realar1=230.0,
                        realar2=1.01, realar3=-4.0, realar4=1.09, realar5=0.91, realar6=1.12, realar7=0.88,
                        name="NORTH") == 0
    bus = sim.reading().pssbus
    keys = ("NAME", "BASKV", "IDE", "AREA", "ZONE", "OWNER", "VM", "VA", "NMAXV", "NMINV", "EMAXV", "EMINV")
    assert [bus[k][0] for k in keys] == ["NORTH", 230.0, 2, 5, 6, 8, 1.01, -4.0, 1.09, 0.91, 1.12, 0.88]
    assert [bus[k][0] for k in keys] == [bus[k][1] for k in keys]
    # A short array sets only its first members; the rest keep their defaults.
    assert p.branch_data_3(101, 102, "1", [1, 102], [0.01, 0.1]) == 0
    line = sim.reading("line").casbrn
    assert (line["METBUS"][0], line["RX"][0], line["B"][0]) == (102, 0.01 + 0.1j, 0.0)


def test_numbers_of_the_host_kinds_are_accepted(sim):
    assert sim.psspy.bus_data_4(ibus=numpy.int64(101), intgar1=True, realar1=numpy.float64(69.0),
                                realar2=1) == 0
    bus = sim.reading().pssbus
    assert (bus["NUM"], bus["IDE"], bus["BASKV"], bus["VM"]) == ((101,), (1,), (69.0,), (1.0,))


def test_huge_integers_are_refused_with_a_code(sim):
    assert sim.psspy.bus_data_4(ibus=10**30) == 2
    assert sim.psspy.bus_data_4(ibus=101, intgar2=-(10**30)) == 4  # area out of range
    assert sim.reading().pssbus["NUM"] == ()
