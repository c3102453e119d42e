"""Each pair's outcome: from the run's own facts when the report is given
them or finds the run's summary file, else from what the files tell.

Outcomes are "converged", "converged with omissions", "failed" (a stage of
the network solve did not converge) and "error" (the run stopped on the
pair). Without the run's facts: a final stage case means converged, stage
cases without a final one mean failed, no stage case at all means the run
stopped on the pair before its network solve.
"""

from __future__ import annotations

import json
from dataclasses import dataclass, field
from pathlib import Path
from typing import Any, Mapping

from .result_folder import PairFolder

SUMMARY_FILE = "run-summary.json"

CONVERGED = "converged"
CONVERGED_WITH_OMISSIONS = "converged with omissions"
FAILED = "failed"
ERROR = "error"


@dataclass
class PairFacts:
    outcome: str
    status: Any = None  # the network solve's last solution status (0: converged)
    connections: int | None = None  # how many connections the solve had to bring back
    reconnected: int | None = None
    seconds: float | None = None
    error: str | None = None
    omissions: list[str] = field(default_factory=list)
    failed_connection: tuple | None = None  # the connection the failed stage tried
    source: str = "files"  # where the facts came from: "run", "summary file" or "files"


def from_files(pair: PairFolder) -> PairFacts:
    if pair.final_case is not None:
        return PairFacts(outcome=CONVERGED, status=0, reconnected=pair.numbered_stages)
    if pair.stages:
        return PairFacts(outcome=FAILED, reconnected=pair.numbered_stages)
    return PairFacts(outcome=ERROR, error="the run stopped on this pair before its network solve")


def _number(value, kind=int):
    try:
        return kind(value) if value is not None else None
    except (TypeError, ValueError):
        return None


def _error_text(error) -> str | None:
    if not error:
        return None
    if isinstance(error, Mapping):
        text = ": ".join(str(error[k]) for k in ("type", "message") if error.get(k))
        return text + (f" (at {error['stage']})" if error.get("stage") else "")
    return str(error)


def _omissions(facts: Mapping[str, Any]) -> list[str]:
    omissions = facts.get("omissions") or []
    if isinstance(omissions, Mapping):
        omissions = [f"{key}: {value}" for key, value in omissions.items()]
    found = [str(o) for o in omissions]
    for refused in facts.get("refused_elements") or []:
        if isinstance(refused, Mapping):
            found.append(f"{refused.get('kind', 'element')} {refused.get('element', '')} refused by the "
                         f"simulator (code {refused.get('code')})")
    found += [f"bus {bus} left out of service" for bus in facts.get("buses_out_of_service") or []]
    return found


def from_run(facts: Mapping[str, Any], source: str = "run") -> PairFacts:
    """Facts in the form the run's observer gives at the end of a pair, or
    an entry of the run's summary file."""
    outcome = facts.get("outcome")
    if outcome is None:
        if facts.get("error"):
            outcome = ERROR
        else:
            outcome = CONVERGED if facts.get("converged") else FAILED
    failure = facts.get("failure") if isinstance(facts.get("failure"), Mapping) else {}
    connection = facts.get("failed_connection") or failure.get("connection")
    status = next((facts[k] for k in ("ival_lf", "solution_status", "status") if facts.get(k) is not None),
                  failure.get("solution_status"))
    return PairFacts(
        outcome=str(outcome).replace("_", " "),
        status=status,
        connections=_number(facts.get("connections")),
        reconnected=_number(facts.get("reconnected")),
        seconds=_number(facts.get("seconds"), float),
        error=_error_text(facts.get("error")),
        omissions=_omissions(facts),
        failed_connection=tuple(connection) if connection else None,
        source=source,
    )


def read_summary_file(result_folder: Path) -> dict[tuple[str, str], PairFacts]:
    """The run's summary file of the sheet's result folder, by (main case,
    small case); empty when there is none or it cannot be read."""
    path = Path(result_folder) / SUMMARY_FILE
    if not path.is_file():
        return {}
    try:
        document = json.loads(path.read_text(encoding="utf-8"))
    except (OSError, ValueError):
        return {}
    entries = document.get("pairs", []) if isinstance(document, Mapping) else document
    found = {}
    for entry in entries if isinstance(entries, list) else []:
        if isinstance(entry, Mapping) and "main_case" in entry and "small_case" in entry:
            found[(str(entry["main_case"]), str(entry["small_case"]))] = from_run(entry, "summary file")
    return found


def pair_facts(pairs: list[PairFolder], result_folder: Path,
               given: Mapping[tuple[str, str], Mapping[str, Any]] | None = None) -> dict[tuple[str, str], PairFacts]:
    """Facts per pair: those given (by the run that just ended), else the
    summary file's, else the files'. What a source leaves unknown is filled
    from the files."""
    summary = read_summary_file(result_folder)
    facts = {}
    for pair in pairs:
        files = from_files(pair)
        if given and pair.key in given:
            chosen = from_run(given[pair.key])
        elif pair.key in summary:
            chosen = summary[pair.key]
        else:
            chosen = files
        if chosen.reconnected is None:
            chosen.reconnected = files.reconnected
        facts[pair.key] = chosen
    return facts
