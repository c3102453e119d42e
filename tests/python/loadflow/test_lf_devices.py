"""DC lines, FACTS devices and area interchange through psspy and the
network solve's own solution calls: a case solved by the commercial
simulator keeps its state, a device changed through psspy moves the
solution, and the recipe's area interchange holds each area in its band."""

from __future__ import annotations

import re

import pytest

# The network solve's fnsl and rsol steps.
FNSL_STEP = dict(options1=2, options4=1, options5=1, options6=0, options7=99, options8=0)
RSOL_STEP = dict(options1=1, options2=2, options6=1, options7=0, options8=99, options9=0, options10=0)


def voltage(psspy, bus):
    ierr, vm = psspy.busdat(ibus=bus, string="PU")
    assert ierr == 0
    return vm


@pytest.fixture
def nudox(sim, test_data_dir):
    # Two LCC and two VSC lines; written by the commercial simulator with
    # its solved state.
    assert sim.psspy.read(numnam=0, ifile=str(test_data_dir / "raw" / "IEEE_14_v35_3_nudox.raw")) == 0
    return sim


def test_a_solved_case_with_dc_lines_keeps_its_state(nudox):
    psspy = nudox.psspy
    assert psspy.fnsl(**FNSL_STEP) == 0
    assert psspy.solved() == 0
    text = nudox.progress.read_text()
    assert "Reached tolerance in 0 iterations" in text
    assert "DC line 'ECM-ECS1': Id 0.17" in text
    assert "rectifier at its minimum angle, inverter controls the current" in text
    assert "VSC DC line 'CBX-CS1'" in text
    assert "not modelled" not in text
    # The rectifier bus sags to 0.863 pu under the converters' draw.
    assert voltage(psspy, 12) == pytest.approx(0.86305, abs=1e-5)
    assert voltage(psspy, 10) == pytest.approx(1.0, abs=1e-9)  # held by a VSC converter


def test_a_dc_line_changed_through_psspy_moves_the_solution(nudox):
    psspy = nudox.psspy
    before = voltage(psspy, 12)
    for name in ("ECM-ECS1", "ECM-ECS2"):
        assert psspy.two_terminal_dc_line_data(name=name, intgar1=0) == 0  # blocked
    assert psspy.fnsl(**FNSL_STEP) == 0
    assert psspy.solved() == 0
    assert voltage(psspy, 12) > before + 0.05  # no more converter load
    assert "DC line 'ECM-ECS1'" not in nudox.progress.read_text()


def test_the_recipe_holds_each_controlled_area_within_its_tolerance(sim, test_data_dir):
    psspy = sim.psspy
    assert psspy.read(numnam=0, ifile=str(test_data_dir / "raw" / "IEEE300Bus.raw")) == 0

    def slack_output():  # pu, from the saved case
        machines = sim.reading().pssgen
        return [pg for bus, pg in zip(machines["NUM"], machines["PG"]) if bus == 138][0]

    before = slack_output()
    # Ask area 2 for 60 MW more export than it has: its slack machine
    # (bus 138) takes it up, the swing bus's area the rest.
    assert psspy.area_data(iar=2, realar1=20.0, realar2=5.0) == 0
    assert psspy.rsol(**RSOL_STEP) == 0
    assert psspy.solved() == 0
    areas = re.findall(r"Area (\d+): net export (-?[\d.]+) MW, desired (-?[\d.]+) MW, tolerance ([\d.]+) MW",
                       sim.progress.read_text())
    assert {a[0] for a in areas} == {"2", "3"}  # area 1 holds the swing bus
    for _, export, desired, tolerance in areas:
        assert abs(float(export) - float(desired)) <= float(tolerance)
    assert slack_output() - before == pytest.approx(0.6, abs=0.05)
