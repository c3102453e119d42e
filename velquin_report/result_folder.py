"""What a run left in a sheet's result folder, found from the files alone.

A sheet's result folder R holds one folder per pair of main case M and small
case S, R/S/M, with (among others) M_renumber_map.txt, M_status_S.txt,
progress.txt and the stage cases of the network solve:
M_solved_S_0.sav (before the first reconnection), M_solved_S_1.sav ... one
per connection brought back, and M_solved_S_final_solved.sav when every
connection was brought back.
"""

from __future__ import annotations

import re
from dataclasses import dataclass, field
from pathlib import Path

FINAL = "final"
REPORT_FOLDER = "report"


@dataclass
class PairFolder:
    main_case: str
    small_case: str
    folder: Path
    stages: list[tuple[str, Path]] = field(default_factory=list)  # ("0", path) ... (FINAL, path)

    @property
    def key(self) -> tuple[str, str]:
        return (self.main_case, self.small_case)

    @property
    def progress_path(self) -> Path:
        return self.folder / "progress.txt"

    @property
    def status_path(self) -> Path:
        return self.folder / f"{self.main_case}_status_{self.small_case}.txt"

    @property
    def final_case(self) -> Path | None:
        return next((path for stage, path in self.stages if stage == FINAL), None)

    @property
    def numbered_stages(self) -> int:
        """Connections brought back: the numbered stages after stage 0."""
        return sum(1 for stage, _ in self.stages if stage not in ("0", FINAL))

    def started_at(self) -> float:
        """When the run reached this pair: its renumber map is written first."""
        first = self.folder / f"{self.main_case}_renumber_map.txt"
        return (first if first.exists() else self.folder).stat().st_mtime


def stage_files(folder: Path, main_case: str, small_case: str) -> list[tuple[str, Path]]:
    prefix = f"{main_case}_solved_{small_case}_"
    numbered = re.compile(re.escape(prefix) + r"(\d+)\.sav$")
    stages = []
    for path in folder.iterdir():
        match = numbered.match(path.name)
        if match:
            stages.append((int(match.group(1)), path))
    found = [(str(n), path) for n, path in sorted(stages)]
    final = folder / f"{prefix}final_solved.sav"
    if final.is_file():
        found.append((FINAL, final))
    return found


def is_pair_folder(folder: Path) -> bool:
    main_case = folder.name
    return (folder / f"{main_case}_renumber_map.txt").is_file() or (
        folder / f"{main_case}_renumber_map.json").is_file()


def find_pairs(result_folder: Path) -> list[PairFolder]:
    """Every pair folder R/S/M of the sheet's result folder R, in the order
    the run reached them."""
    pairs = []
    for small in sorted(p for p in Path(result_folder).iterdir() if p.is_dir() and p.name != REPORT_FOLDER):
        for folder in sorted(p for p in small.iterdir() if p.is_dir()):
            if is_pair_folder(folder):
                pair = PairFolder(main_case=folder.name, small_case=small.name, folder=folder)
                pair.stages = stage_files(folder, pair.main_case, pair.small_case)
                pairs.append(pair)
    pairs.sort(key=PairFolder.started_at)
    return pairs


def small_case_buses(pair: PairFolder) -> list[int]:
    """The small case's buses in the merged case, as the status report lists
    them (its bus section is keyed by the bus numbers the run created)."""
    if not pair.status_path.is_file():
        return []
    buses, in_section = [], False
    for line in pair.status_path.read_text(errors="replace").splitlines():
        if not line.startswith(" "):
            in_section = line.strip() == "Bus_Status:"
            continue
        key, _, _ = line.strip().partition(":")
        if in_section and key.isdigit():
            buses.append(int(key))
    return buses
