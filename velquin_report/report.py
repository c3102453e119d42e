"""Builds the study report of one sheet's result folder: report/index.html,
stages.csv, branches.csv, summary.csv and full_output.csv.

The report is a function of the result folder: the saved stage cases (read
through caspy), the status report, progress.txt and, when present, the
run's summary file. Facts the caller still holds from a run that just ended
may be passed and take precedence. Nothing is re-solved; only the
full-output check solves, on copies of the final cases.
"""

from __future__ import annotations

import time
from dataclasses import dataclass, field
from pathlib import Path
from typing import Any, Callable, Mapping

from . import csv_files, plots
from .full_output import FullOutput, check_full_output
from .page import render_page
from .pair_summary import summary_row
from .progress_text import StageText, failed_stage_text
from .result_folder import REPORT_FOLDER, PairFolder, find_pairs, is_pair_folder, small_case_buses
from .run_facts import ERROR, FAILED, PairFacts, pair_facts, read_summary_file
from .stage_tables import OVERLOAD_PCT, PairStages, read_stages
from .system_base import SystemBases, SystemBaseUnknown


class ReportError(Exception):
    """A result folder the report cannot be built from."""


@dataclass
class PairReport:
    stages: PairStages
    facts: PairFacts
    summary: dict
    failed_stage: str | None = None
    failed_text: StageText | None = None
    full_output: FullOutput | None = None
    plots: dict[str, str] = field(default_factory=dict)
    violations: list[dict] = field(default_factory=list)

    @property
    def pair(self) -> PairFolder:
        return self.stages.pair


def _violations(data: PairStages) -> list[dict]:
    found = []
    for row in data.stages[data.stages["violation"] != ""].itertuples(index=False):
        limit = row.vmax_pu if row.violation == "high" else row.vmin_pu
        found.append({"stage": row.stage, "element": f"bus {row.bus} {row.name}".strip(),
                      "value": f"{row.vm_pu:.4f} pu", "limit": f"{limit:.3f} pu ({row.violation})"})
    over = data.branches[data.branches["loading_pct"] > OVERLOAD_PCT]
    for row in over.itertuples(index=False):
        far = "star point" if row.to_bus == 0 else str(row.to_bus)
        found.append({"stage": row.stage, "element": f"{row.kind} {row.from_bus}-{far} ckt {row.ckt}",
                      "value": f"{row.loading_pct:.1f} %", "limit": f"{row.rating_mva:.1f} MVA"})
    return found


class _Started:
    """Starts the simulator once, when first needed (the full-output check
    solves; a case is opened to ask its system base)."""

    def __init__(self, engine):
        self.engine = engine
        self.done = False

    def __call__(self) -> None:
        if not self.done:
            self.engine.init_psse(buses=150000)
            self.done = True


def _pair_report(engine, pair: PairFolder, facts: PairFacts, full_output: bool,
                 system_bases: SystemBases) -> PairReport:
    try:
        stages = read_stages(engine.caspy, pair, small_case_buses(pair), system_bases=system_bases)
    except SystemBaseUnknown as error:
        raise ReportError(f"the flows of {pair.small_case} on {pair.main_case} cannot be computed: {error}") \
            from None
    connections = facts.connections if facts.connections is not None else (stages.connections_in_case or None)
    report = PairReport(stages=stages, facts=facts, summary=summary_row(stages, facts, connections))
    if facts.outcome == FAILED:
        report.failed_stage = str(pair.numbered_stages + 1)
        last_saved = pair.stages[-1][1] if pair.stages else None
        report.failed_text = failed_stage_text(pair.progress_path, last_saved)
        if facts.status is None and report.failed_text.status not in (None, 0):
            facts.status = report.failed_text.status
    elif facts.outcome == ERROR:
        report.failed_text = failed_stage_text(pair.progress_path, pair.stages[-1][1] if pair.stages else None)
    if full_output:
        report.full_output = check_full_output(engine, stages)
    report.violations = _violations(stages)
    if not stages.stages.empty:
        stage_names = list(dict.fromkeys(stages.stages["stage"]))
        worst = {}
        for row in stages.stages[stages.stages["violation"] != ""].itertuples(index=False):
            worst.setdefault(row.bus, row.violation)
        report.plots = {
            "tree": plots.svg_text(plots.tree_plot(stages, worst, facts.failed_connection)),
            "voltage": plots.svg_text(plots.voltage_plot(stages, report.failed_stage)),
            "loading": plots.svg_text(plots.loading_plot(stages, stage_names, report.failed_stage)),
        }
    return report


def build_report(result_folder: str | Path, *, engine=None,
                 facts: Mapping[tuple[str, str], Mapping[str, Any]] | None = None, full_output: bool = True,
                 on_pair: Callable[[str, str], None] | None = None) -> Path:
    """Writes report/ into the sheet's result folder and returns the path of
    its index.html.

    engine: the simulator adapter (PSSE_ENGINE) to read cases with and to
    run the full-output check; the embedded simulator's by default.
    facts: per (main case, small case), the facts the run's observer gave at
    the end of the pair (converged, ival_lf, connections, reconnected,
    seconds), or {"error": text} for a pair the run stopped on.
    on_pair: called with (main case, small case) as each pair is taken up.
    """
    folder = Path(result_folder)
    if not folder.is_dir():
        raise ReportError(f"no result folder at '{folder}'")
    if is_pair_folder(folder):
        raise ReportError(f"'{folder}' is the folder of one pair; give its sheet's result folder "
                          f"'{folder.parent.parent}'")
    pairs = find_pairs(folder)
    if not pairs:
        raise ReportError(f"'{folder}' holds no pair's results (folders <small case>/<main case> with a "
                          "renumbering map)")
    # In the run's order where its summary file gives it: main cases run at
    # the same time reach their pairs in no set order. Others stay in the
    # order their files were written.
    run_order = {key: position for position, key in enumerate(read_summary_file(folder))}
    pairs.sort(key=lambda pair: run_order.get(pair.key, len(run_order)))
    if engine is None:
        from .simulator import open_engine

        engine = open_engine()
    known = pair_facts(pairs, folder, facts)
    started = time.monotonic()
    start = _Started(engine)
    if full_output and any(p.final_case for p in pairs):
        start()
    system_bases = SystemBases(engine, start=start)
    reports = []
    for pair in pairs:
        if on_pair:
            on_pair(pair.main_case, pair.small_case)
        reports.append(_pair_report(engine, pair, known[pair.key], full_output, system_bases))
    out = folder / REPORT_FOLDER
    out.mkdir(exist_ok=True)
    csv_files.write_stages([r.stages.stages for r in reports], out / "stages.csv")
    csv_files.write_branches([r.stages.branches for r in reports], out / "branches.csv")
    csv_files.write_summary([r.summary for r in reports], out / "summary.csv")
    rows = []
    for r in reports:
        if r.full_output is not None:
            rows += csv_files.full_output_rows(r.pair.main_case, r.pair.small_case, r.stages.connecting_bus,
                                               r.full_output)
    csv_files.write_full_output(rows, out / "full_output.csv")
    index = out / "index.html"
    index.write_text(render_page(folder, reports, seconds=time.monotonic() - started), encoding="utf-8")
    return index

