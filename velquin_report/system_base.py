"""The system MVA base of the cases a report reads.

A case's impedances are per unit on its system base, so branch flows in MW
and Mvar need it. The embedded simulator's caspy tells it with every case
read (the read-only attribute `sbase`). For a simulator whose caspy does
not, the base is asked of its psspy (`sysmva`, with the case opened), once
per main case: every stage case of a main case's pairs is that main case
with plants added, and keeps its base. Where neither tells it, the report
stops with a clear error rather than assume a base.
"""

from __future__ import annotations

import math
from pathlib import Path

CASPY_ATTRIBUTE = "sbase"


class SystemBaseUnknown(Exception):
    """The simulator tells no system base for a case."""


def _checked(value, path: Path | str, source: str) -> float:
    try:
        base = float(value)
    except (TypeError, ValueError):
        base = math.nan
    if not (math.isfinite(base) and base > 0.0):
        raise SystemBaseUnknown(f"{source} gives {value!r} as the system base of '{path}', not a positive "
                                "number of MVA")
    return base


def system_base_of(data, path: Path | str, fallback: float | None = None) -> float:
    """The system base of a case caspy has read: caspy's own, else `fallback`."""
    value = getattr(data, CASPY_ATTRIBUTE, None)
    if value is not None:
        return _checked(value, path, "caspy")
    if fallback is None:
        raise SystemBaseUnknown(f"caspy tells no system base for '{path}' and none was found otherwise")
    return fallback


class SystemBases:
    """The system base of each main case, for cases whose caspy reading does
    not tell it: asked of psspy the first time a main case needs it.

    `start` is called before the first case is opened in psspy (the
    simulator must be started for that)."""

    def __init__(self, engine, start=None):
        self.engine = engine
        self.start = start
        self._by_main_case: dict[str, float] = {}

    def needed(self, data) -> bool:
        return getattr(data, CASPY_ATTRIBUTE, None) is None

    def of_main_case(self, main_case: str, path: Path | str) -> float:
        """The base of `main_case`, asked of psspy with `path` (one of its
        stage cases) opened when not known yet."""
        if main_case not in self._by_main_case:
            self._by_main_case[main_case] = self._ask_psspy(path)
        return self._by_main_case[main_case]

    def _ask_psspy(self, path: Path | str) -> float:
        sysmva = getattr(self.engine.psspy, "sysmva", None)
        if sysmva is None:
            raise SystemBaseUnknown(f"the simulator tells no system base for '{path}': its caspy reading has no "
                                    f"'{CASPY_ATTRIBUTE}' and its psspy no sysmva")
        if self.start is not None:
            self.start()
        code = self.engine.open_case(sfile=str(path))
        if code not in (0, None):
            raise SystemBaseUnknown(f"the simulator could not open '{path}' to read its system base "
                                    f"(code {code})")
        return _checked(sysmva(), path, "psspy.sysmva")
