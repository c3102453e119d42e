"""The report's CSV files: stages.csv, branches.csv, summary.csv and
full_output.csv, with exactly their documented columns. Numbers keep full
precision; empty cells stand for "no value" (a bus out of service, a branch
without a rating)."""

from __future__ import annotations

from pathlib import Path

import pandas as pd

from .full_output import FullOutput
from .stage_tables import BRANCH_COLUMNS, STAGE_COLUMNS

SUMMARY_COLUMNS = ["main_case", "small_case", "outcome", "reconnected", "connections", "seconds", "worst_vm_pu",
                   "worst_vm_bus", "worst_vm_stage", "worst_loading_pct", "worst_loading_branch",
                   "worst_loading_stage"]
FULL_OUTPUT_COLUMNS = ["main_case", "small_case", "check", "solved", "solution_status", "connecting_bus",
                       "connecting_bus_vm_pu", "p_mw", "q_mvar", "power_factor", "q_target_mvar",
                       "machines_q_mvar", "machines_qmin_mvar", "machines_qmax_mvar", "holds", "violations",
                       "notes"]


def _write(frame: pd.DataFrame, columns: list[str], path: Path) -> Path:
    frame.reindex(columns=columns).to_csv(path, index=False, float_format="%.10g")
    return path


def write_stages(frames: list[pd.DataFrame], path: Path) -> Path:
    frames = [f for f in frames if not f.empty]
    return _write(pd.concat(frames, ignore_index=True) if frames else pd.DataFrame(), STAGE_COLUMNS, path)


def write_branches(frames: list[pd.DataFrame], path: Path) -> Path:
    frames = [f for f in frames if not f.empty]
    return _write(pd.concat(frames, ignore_index=True) if frames else pd.DataFrame(), BRANCH_COLUMNS, path)


def write_summary(rows: list[dict], path: Path) -> Path:
    return _write(pd.DataFrame(rows), SUMMARY_COLUMNS, path)


def full_output_rows(main_case: str, small_case: str, connecting_bus, check: FullOutput) -> list[dict]:
    if not check.ran:
        return [{"main_case": main_case, "small_case": small_case, "check": "full output", "solved": "not run",
                 "connecting_bus": connecting_bus, "notes": check.reason}]
    rows = []
    for result in check.results:
        rows.append({
            "main_case": main_case, "small_case": small_case, "check": result.check,
            "solved": "yes" if result.solved else "no", "solution_status": result.status,
            "connecting_bus": connecting_bus, "connecting_bus_vm_pu": result.connecting_bus_vm_pu,
            "p_mw": result.p_mw, "q_mvar": result.q_mvar, "power_factor": result.power_factor,
            "q_target_mvar": result.q_target_mvar, "machines_q_mvar": result.machines_q_mvar,
            "machines_qmin_mvar": check.qmin_mvar, "machines_qmax_mvar": check.qmax_mvar,
            "holds": "" if result.holds is None else ("yes" if result.holds else "no"),
            "violations": "; ".join(result.violations), "notes": "; ".join(result.notes),
        })
    return rows


def write_full_output(rows: list[dict], path: Path) -> Path:
    return _write(pd.DataFrame(rows), FULL_OUTPUT_COLUMNS, path)
