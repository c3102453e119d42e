"""fnsl, rsol and solved through psspy, with the exact calls the system
makes: keyword and positional option forms, codes, the case updated."""

from __future__ import annotations

import pytest

RECIPE = [
    ("rsol", dict(options1=1, options2=2, options6=1, options7=0, options8=99, options9=0, options10=0)),
    ("rsol", ([1, 2, 0, 0, 1, 1, 0, 99, 0, 0], [500.0, 5.0])),
    ("fnsl", ([2, 0, 0, 1, 1, 0, 99, 0],)),
    ("fnsl", ([2, 0, 0, 1, 1, 4, 99, 0],)),
    ("rsol", ([1, 2, 0, 0, 1, 1, 4, 99, 0, 0], [500.0, 5.0])),
    ("rsol", dict(options1=1, options2=2, options7=2, options9=1, options10=0)),
    ("fnsl", dict(options1=2, options4=1, options5=1, options6=0, options7=99, options8=0)),
]


def call(psspy, name, args):
    function = getattr(psspy, name)
    return function(**args) if isinstance(args, dict) else function(*args)


@pytest.fixture
def case14(sim, test_data_dir):
    assert sim.psspy.read_matpower(str(test_data_dir / "matpower" / "case14.m")) == 0
    return sim


def test_every_call_of_the_recipes_is_valid_and_converges(case14):
    psspy = case14.psspy
    assert psspy.solved() == 9  # nothing solved yet
    for name, args in RECIPE:
        assert call(psspy, name, args) == 0, (name, args)
        assert psspy.solved() == 0, (name, args)
    text = case14.progress.read_text()
    assert "Robust Newton-Raphson load flow" in text
    assert "Full Newton-Raphson load flow" in text
    assert "Reached tolerance" in text
    assert "ITER" in text


def test_solution_goes_back_into_the_case(case14):
    psspy = case14.psspy
    ierr, before = psspy.busdat(ibus=14, string="PU")
    assert ierr == 0
    assert psspy.fnsl([0, 0, 0, 0, 0, 1, -1, 0]) == 0  # flat start
    assert psspy.solved() == 0
    ierr, after = psspy.busdat(ibus=14, string="PU")
    # MATPOWER's solution of case14 at bus 14.
    assert after == pytest.approx(1.03553, abs=1e-4)
    ierr, angle = psspy.busdat(ibus=14, string="ANGLED")
    assert angle == pytest.approx(-16.0336, abs=1e-2)


def test_refused_options_and_values_leave_no_success_standing(case14):
    psspy = case14.psspy
    assert psspy.fnsl([0, 0, 0, 0, 0, 0, -1, 0]) == 0
    assert psspy.solved() == 0
    assert psspy.fnsl([3]) == 1
    assert psspy.solved() == 9
    assert psspy.rsol(options7=8) == 1
    assert psspy.rsol([0] * 10, [-5.0, 5.0]) == 2
    assert psspy.rsol([0] * 10, [500.0, 0.5]) == 2
    assert "option 1 (tap adjustment) is 3" in case14.progress.read_text()
    with pytest.raises(TypeError):
        psspy.fnsl([0] * 9)
    with pytest.raises(TypeError):
        psspy.fnsl([0], options1=1)
    with pytest.raises(TypeError):
        psspy.rsol(options11=0)


def test_no_case_and_no_swing_bus_are_not_attempted(case14):
    psspy = case14.psspy
    assert psspy.dscn(1) == 0  # the swing bus
    assert psspy.fnsl([0, 0, 0, 0, 0, 0, -1, 0]) == 0
    assert psspy.solved() == 9
    assert psspy.recn(1) == 0
    assert psspy.fnsl([0, 0, 0, 0, 0, 0, -1, 0]) == 0
    assert psspy.solved() == 0
    psspy.close_powerflow()
    assert psspy.fnsl([0, 0, 0, 0, 0, 0, -1, 0]) == 3
    assert psspy.solved() == 9
