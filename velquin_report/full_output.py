"""The full-output check: what the new plant does to the grid at full output.

The energisation run leaves the new plant's machines out of service (its
reconnection steps set every machine at a reconnected bus out of service).
This check works on a copy of the pair's final case, never on the run's
own files: it puts the plant's machines in service at their maximum active
power and solves with the network solve's fnsl step. It then asks whether
the plant can hold a power factor of 0.95 lagging (delivering reactive
power) and leading (absorbing it) at the connecting bus within its
machines' reactive limits: the machines' reactive outputs are fixed
along the line from all at their lower limits to all at their upper limits, first at the end the direction needs
(the plant's best), then, when that reaches the target, where the target is
met. Every solve goes through the simulator adapter, so any simulator with
the same API serves.
"""

from __future__ import annotations

import math
import shutil
import tempfile
from dataclasses import dataclass, field
from pathlib import Path

import pandas as pd

from .branch_flows import branch_flows
from .case_tables import read_case
from .progress_text import describe, read_lines, status_meaning
from .stage_tables import VOLTAGE_TOLERANCE, OVERLOAD_PCT, PairStages

# The network solve's fnsl step: taps direct, switched shunts adjusted, from
# the case's voltages, var limits once close, full Newton steps.
FNSL_STEP = dict(options1=2, options4=1, options5=1, options6=0, options7=99, options8=0)
POWER_FACTOR = 0.95
NO_PMAX_MW = 9000.0  # a maximum at or above this is the simulator's "no limit"
Q_TOLERANCE_MVAR = 0.5  # how close the connecting bus's Mvar must come to the target
MAX_SEARCH_SOLVES = 6

FULL_OUTPUT = "full output"
LAGGING = "0.95 lagging"
LEADING = "0.95 leading"


@dataclass
class CheckResult:
    check: str
    solved: bool
    status: int | None = None
    connecting_bus_vm_pu: float = math.nan
    p_mw: float = math.nan  # net into the grid at the connecting bus
    q_mvar: float = math.nan
    q_target_mvar: float = math.nan
    machines_q_mvar: float = math.nan
    holds: bool | None = None
    violations: list[str] = field(default_factory=list)
    notes: list[str] = field(default_factory=list)

    @property
    def power_factor(self) -> float:
        s = math.hypot(self.p_mw, self.q_mvar)
        return abs(self.p_mw) / s if s > 0 else math.nan


@dataclass
class FullOutput:
    ran: bool
    reason: str = ""
    machines: pd.DataFrame | None = None  # the plant's machines as set for the check
    results: list[CheckResult] = field(default_factory=list)
    qmin_mvar: float = 0.0
    qmax_mvar: float = 0.0
    progress_key_lines: list[str] = field(default_factory=list)


def _violations(case, stages: PairStages, flows: pd.DataFrame) -> list[str]:
    found = []
    for bus in stages.watched:
        if not case.in_service(bus):
            continue
        row = case.buses.loc[bus]
        if row.vm_pu > row.vmax_pu + VOLTAGE_TOLERANCE:
            found.append(f"bus {bus} {row['name']}: {row.vm_pu:.4f} pu above {row.vmax_pu:.3f}")
        elif row.vm_pu < row.vmin_pu - VOLTAGE_TOLERANCE:
            found.append(f"bus {bus} {row['name']}: {row.vm_pu:.4f} pu below {row.vmin_pu:.3f}")
    for row in flows.itertuples(index=False):
        if row.loading_pct > OVERLOAD_PCT:
            far = "star point" if row.to_bus == 0 else str(row.to_bus)
            found.append(f"branch {row.from_bus}-{far} ckt {row.ckt}: {row.loading_pct:.1f}% of "
                         f"{row.rating_mva:.1f} MVA")
    return found


def _at_connecting_bus(flows: pd.DataFrame, bus: int) -> complex:
    """Power the small case's branches deliver into the connecting bus."""
    s = 0j
    for row in flows.itertuples(index=False):
        if row.to_bus == bus:
            s -= complex(row.p_to_mw, row.q_to_mvar)
        elif row.from_bus == bus:
            s -= complex(row.p_mw, row.q_mvar)
    return s


class _Check:
    """One pair's check on its own working copy."""

    def __init__(self, engine, stages: PairStages, folder: Path):
        self.engine, self.stages, self.folder = engine, stages, folder
        self.progress = folder / "progress.txt"
        self.solves = 0

    def solve(self, name: str) -> tuple[int, object]:
        self.engine.run_load_flow_fnsl(**FNSL_STEP)
        status = self.engine.check_solved()
        self.solves += 1
        saved = self.folder / f"{name}.sav"
        self.engine.save_case(sfile=str(saved))
        return status, read_case(self.engine.caspy, saved, around=self.stages.watched,
                                 system_base_mva=self.stages.system_base_mva, machines=False)

    def measure(self, check: str, status, case) -> CheckResult:
        solved = status == 0
        result = CheckResult(check=check, solved=solved, status=status)
        if not solved:
            return result
        flows = branch_flows(case, set(self.stages.small_buses))
        cb = self.stages.connecting_bus
        s = _at_connecting_bus(flows, cb)
        result.p_mw, result.q_mvar = s.real, s.imag
        result.connecting_bus_vm_pu = float(case.buses.at[cb, "vm_pu"]) if cb in case.buses.index else math.nan
        result.violations = _violations(case, self.stages, flows)
        return result


def _set_machines(engine, machines: pd.DataFrame, share: float | None) -> None:
    """In service at maximum power; with a share, the reactive output fixed
    at that point between the machine's lower (0) and upper (1) limit: its
    bus becomes a load bus, where a machine is a fixed injection, and its
    limits close on that output. Equal limits at a regulating bus give the
    same solution; at a load bus the output is fixed by the case alone,
    whatever the solve's var-limit option and however a simulator applies
    reactive limits."""
    for m in machines.itertuples(index=False):
        changes = dict(intgar1=1, realar1=m.p_set_mw)
        if share is not None:
            q = m.qmin_mvar + share * (m.qmax_mvar - m.qmin_mvar)
            changes.update(realar2=q, realar3=q, realar4=q)
        engine.change_machine_data(ibus=int(m.bus), id=str(m.id), **changes)
    if share is not None:
        for bus in dict.fromkeys(int(b) for b in machines["bus"]):
            engine.change_bus_data(ibus=bus, intgar1=1)


def _machines_for_check(stages: PairStages) -> pd.DataFrame:
    machines = stages.plant_machines.copy() if stages.plant_machines is not None else pd.DataFrame()
    if machines.empty:
        return machines
    no_limit = machines["pmax_mw"] >= NO_PMAX_MW
    machines["p_set_mw"] = machines["pmax_mw"].where(~no_limit, machines["pg_mw"].clip(lower=0.0))
    machines["no_pmax"] = no_limit
    return machines


def _power_factor_check(check: _Check, machines: pd.DataFrame, base: CheckResult, full_case: Path,
                        lagging: bool) -> CheckResult:
    name = LAGGING if lagging else LEADING
    sign = 1.0 if lagging else -1.0

    def target(result):
        return sign * abs(result.p_mw) * math.tan(math.acos(POWER_FACTOR))

    def error(result):
        return result.q_mvar - result.q_target_mvar

    def solve_at(share):
        check.engine.open_case(sfile=str(full_case))
        _set_machines(check.engine, machines, share)
        status, case = check.solve(f"{'lagging' if lagging else 'leading'}_{check.solves}")
        result = check.measure(name, status, case)
        result.q_target_mvar = target(result) if result.solved else math.nan
        result.machines_q_mvar = float((machines.qmin_mvar + share * (machines.qmax_mvar - machines.qmin_mvar)).sum())
        return result

    if machines.empty or float((machines.qmax_mvar - machines.qmin_mvar).sum()) <= 0.0:
        result = CheckResult(**{**base.__dict__, "check": name, "violations": list(base.violations), "notes": []})
        result.q_target_mvar = target(base)
        result.holds = sign * (base.q_mvar - result.q_target_mvar) >= -Q_TOLERANCE_MVAR
        result.notes.append("no machine of the plant can change its reactive output")
        return result

    best_share, other_share = (1.0, 0.0) if lagging else (0.0, 1.0)
    best = solve_at(best_share)
    if not best.solved:
        best.notes.append("the plant's machines at their reactive limits do not solve")
        return best
    best.holds = sign * error(best) >= -Q_TOLERANCE_MVAR
    if not best.holds or abs(error(best)) <= Q_TOLERANCE_MVAR:
        if not best.holds:
            best.notes.append("the machines at their reactive limits fall short of the target")
        return best
    other = solve_at(other_share)
    if not other.solved or sign * error(other) >= 0:
        best.notes.append("the target is passed even with the machines at their other reactive limit"
                          if other.solved else "the machines at their other reactive limit do not solve")
        return best
    # The target lies between the two ends: regula falsi on the share.
    (s1, r1), (s2, r2) = (best_share, best), (other_share, other)
    met = best
    for _ in range(MAX_SEARCH_SOLVES):
        share = s2 - error(r2) * (s2 - s1) / (error(r2) - error(r1))
        met = solve_at(share)
        if not met.solved or abs(error(met)) <= Q_TOLERANCE_MVAR:
            break
        if (error(met) > 0) == (error(r1) > 0):
            s1, r1 = share, met
        else:
            s2, r2 = share, met
    if not met.solved or abs(error(met)) > Q_TOLERANCE_MVAR:
        best.notes.append("reachable: the machines at their limits pass the target (the search for the exact "
                          "point stopped short of it)")
        return best
    met.holds = True
    return met


def check_full_output(engine, stages: PairStages, work_folder: Path | None = None) -> FullOutput:
    """Runs the check for one pair through the simulator adapter `engine`
    (a PSSE_ENGINE or anything offering its methods)."""
    final = stages.pair.final_case
    if final is None:
        return FullOutput(ran=False, reason="the network solve did not bring back every connection, so there "
                                            "is no final case to load")
    if stages.connecting_bus is None:
        return FullOutput(ran=False, reason="the connecting bus could not be told from the cases")
    machines = _machines_for_check(stages)
    with tempfile.TemporaryDirectory(prefix="velquin-full-output-", dir=work_folder) as scratch:
        folder = Path(scratch)
        copy = folder / "final_copy.sav"
        shutil.copyfile(final, copy)
        check = _Check(engine, stages, folder)
        engine.create_progress_output(islct=2, filarg=str(check.progress))
        try:
            engine.open_case(sfile=str(copy))
            _set_machines(engine, machines, None)
            status, case = check.solve("full_output")
            base = check.measure(FULL_OUTPUT, status, case)
            outcome = FullOutput(ran=True, machines=machines, results=[base],
                                 qmin_mvar=float(machines["qmin_mvar"].sum()) if not machines.empty else 0.0,
                                 qmax_mvar=float(machines["qmax_mvar"].sum()) if not machines.empty else 0.0)
            if machines.empty:
                base.notes.append("the small case has no machine (generator) to put in service")
            elif machines["no_pmax"].any():
                base.notes.append("machines without a maximum active power run at their scheduled output")
            if not base.solved:
                base.notes.append(f"the solution failed: {status_meaning(status)}")
                outcome.progress_key_lines = describe(read_lines(check.progress)).key_lines[-6:]
                return outcome
            full_case = folder / "full_output.sav"
            for lagging in (True, False):
                outcome.results.append(_power_factor_check(check, machines, base, full_case, lagging))
            return outcome
        finally:
            engine.create_progress_output(islct=6)
