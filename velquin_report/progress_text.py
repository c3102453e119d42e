"""What the simulator's progress text says about a stage that failed.

The network solve saves a case after every connection it brought back, and
the simulator notes each save in the pair's progress.txt. The text after the
note of the last saved stage is what the simulator said while it tried, and
failed, to solve the next connection. The outcome lines of the embedded
simulator's load flow are recognised to name the status when the run's own
facts do not give it; any simulator's text is shown as written.
"""

from __future__ import annotations

from dataclasses import dataclass, field
from pathlib import Path

# Outcome lines of a solution and the solution status each stands for.
OUTCOME_LINES = {
    "Reached tolerance": 0,
    "Iteration limit exceeded": 1,
    "Blown up": 2,
    "Terminated by step control": 3,
    "Singular Jacobian matrix": 5,
}

STATUS_MEANINGS = {
    0: "converged",
    1: "iteration limit exceeded",
    2: "blown up",
    3: "terminated by step control",
    5: "singular Jacobian matrix",
    8: "an energised island without a swing bus was left unsolved",
    9: "solution not attempted",
}

# Lines worth showing on their own: outcomes and the mismatch they left.
KEY_LINE_STARTS = (*OUTCOME_LINES, "Largest mismatch", "Islands", "Island")


def status_meaning(status) -> str:
    try:
        return STATUS_MEANINGS.get(int(status), f"status {status}")
    except (TypeError, ValueError):
        return str(status)


@dataclass
class StageText:
    lines: list[str] = field(default_factory=list)
    key_lines: list[str] = field(default_factory=list)
    status: int | None = None  # of the last solution the text reports, when recognised
    solutions: int = 0


def read_lines(path: Path) -> list[str]:
    if not path.is_file():
        return []
    return path.read_text(encoding="utf-8", errors="replace").splitlines()


def text_after(lines: list[str], file_name: str) -> list[str] | None:
    """The lines after the last one that names `file_name`; None when none does."""
    for i in range(len(lines) - 1, -1, -1):
        if file_name in lines[i]:
            return lines[i + 1:]
    return None


def describe(lines: list[str]) -> StageText:
    text = StageText(lines=lines)
    for line in lines:
        stripped = line.strip()
        for start, status in OUTCOME_LINES.items():
            if stripped.startswith(start):
                text.status = status
                text.solutions += 1
        if stripped.startswith(KEY_LINE_STARTS) or "without a swing bus" in stripped:
            text.key_lines.append(stripped)
    return text


def failed_stage_text(progress: Path, last_saved_stage: Path | None) -> StageText:
    """The progress text of the stage after `last_saved_stage`."""
    lines = read_lines(progress)
    after = text_after(lines, last_saved_stage.name) if last_saved_stage is not None else None
    return describe(after if after is not None else lines)
