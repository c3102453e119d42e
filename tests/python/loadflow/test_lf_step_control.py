"""Step control that takes every full step must change nothing: the solution
tries each step (its merit at the trial state) and then takes it, and the
state it takes is the trial it tried. A fresh session solving with step
control on demand must leave exactly the case, status and mismatches of a
fresh session solving with full steps whenever every step it took was full."""

from __future__ import annotations

import re

import pytest

NETWORKS = ["matpower/case14.m", "matpower/case30.m", "matpower/case118.m", "matpower/case_ACTIVSg200.m",
            "matpower/case_ACTIVSg2000.m", "raw/IEEE300Bus.raw", "raw/39bus.raw",
            # Two LCC and two VSC lines; a phase shifter.
            "raw/IEEE_14_v35_3_nudox.raw", "raw/ThreeMIB_T3W_phase.raw",
            # Machines regulating a remote bus share a reactive output unknown.
            "raw/micro_grid_assmb_v33.raw"]

# Taps stepping, switched shunts adjusted, flat start, var limits once
# close; the last option is the step control (0 full steps, 1 on demand).
FNSL = [1, 0, 0, 1, 1, 1, 99]


def solve_fresh(sim, path, folder, step_control):
    psspy = sim.psspy
    psspy.loadflow_reset()
    progress = folder / f"progress_{step_control}.txt"
    psspy.progress_output(islct=2, filarg=str(progress))
    try:
        ierr = psspy.read_matpower(str(path)) if path.suffix == ".m" else psspy.read(0, str(path))
        assert ierr == 0
        assert psspy.fnsl(FNSL + [step_control]) == 0
        status = psspy.solved()
        saved = folder / f"solved_{step_control}.sav"
        assert psspy.save(sfile=str(saved)) == 0
    finally:
        psspy.progress_output(islct=6)
    return status, saved.read_bytes(), progress.read_text()


ITERATION_ROW = re.compile(r"^\s*(\d+)\s+(\d+\.\d{4})\s+(\d+)\s+(\d+\.\d{4})\s+(\d+)(?:\s+(\d+\.\d{3}))?")


def iteration_lines(progress: str) -> list[tuple]:
    """The iteration table's rows: number, largest P and Q mismatches with
    their buses, and the step taken (None on a row before any step)."""
    return [match.groups() for match in map(ITERATION_ROW.match, progress.splitlines()) if match]


@pytest.mark.parametrize("network", NETWORKS)
def test_step_control_taking_full_steps_changes_nothing(sim, test_data_dir, tmp_path, network):
    path = test_data_dir / network
    full_status, full_case, full_progress = solve_fresh(sim, path, tmp_path, 0)
    status, case, progress = solve_fresh(sim, path, tmp_path, 1)
    rows = iteration_lines(progress)
    assert rows, progress
    steps = [row[5] for row in rows if row[5] is not None]
    assert steps and set(steps) == {"1.000"}, f"a step was shortened: {steps}"
    assert status == full_status
    assert [row[:5] for row in rows] == [row[:5] for row in iteration_lines(full_progress)]
    assert case == full_case
