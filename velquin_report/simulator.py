"""The simulator the report reads and solves with: a simulator adapter
(PSSE_ENGINE) on the modules a folder holds, by default the embedded
simulator's modules of this build."""

from __future__ import annotations

import os
from pathlib import Path

REPO_DIR = Path(__file__).resolve().parent.parent
# The embedded simulator accepts every release from 34 on.
EMBEDDED_VERSION = 35.5


def embedded_simulator_folder() -> Path:
    try:  # the adapter knows where its embedded simulator lives, when it says so
        from velquin_ps import embedded_simulator_folder as adapter_folder
    except ImportError:
        build = Path(os.environ.get("VELQUIN_BUILD_DIR", REPO_DIR / "build"))
        return build / "simulator"
    return Path(adapter_folder())


def open_engine(psse_path: str | os.PathLike | None = None, version: float | None = None):
    """A PSSE_ENGINE on the modules in `psse_path` (the embedded simulator's
    when not given) for `version`."""
    from velquin_ps import PSSE_ENGINE

    folder = str(psse_path) if psse_path is not None else str(embedded_simulator_folder())
    return PSSE_ENGINE(psse_path=folder, version=version if version is not None else EMBEDDED_VERSION)


def resolve_letter_case(path: str) -> str:
    """The workbook reader lower-cases text cells: a path that does not exist
    as written is looked up component by component ignoring letter case."""
    if os.path.exists(path):
        return path
    current = Path()
    for part in Path(path).parts:
        candidate = current / part
        if not candidate.exists() and current.is_dir():
            candidate = next((p for p in current.iterdir() if p.name.lower() == part.lower()), candidate)
        current = candidate
    return str(current)


def workbook_simulator(workbook: str | os.PathLike) -> tuple[str, float]:
    """The simulator folder and release a workbook's software sheet names."""
    from velquin_rc import ReadConfigFile

    folder, name = os.path.split(os.fspath(workbook))
    rows = ReadConfigFile(folder or os.curdir, name).get_soft_config_indexed_dict()
    settings = {}
    for row in rows.values():
        settings[str(row.get("attribute description"))] = row.get("attribute value")
    if "psse_path" not in settings or "psse_version" not in settings:
        raise ValueError(f"the workbook '{workbook}' names no psse_path or psse_version")
    return resolve_letter_case(str(settings["psse_path"])), float(settings["psse_version"])
