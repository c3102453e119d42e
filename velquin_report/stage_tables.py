"""One pair's stages as tables: the small case's bus voltages and branch
flows at every stage, and the order in which its buses were energised.

Stage "0" is the case before the first reconnection (the small case's
buses all out of service), "1", "2" ... follow each connection brought
back, and "final" is the case the network solve saved when it brought back
every connection. A bus out of service at a stage has no voltage there: its
vm_pu and va_deg are left empty.
"""

from __future__ import annotations

from collections import Counter
from dataclasses import dataclass, field

import numpy as np
import pandas as pd

from .branch_flows import branch_flows, touching
from .case_tables import OUT_OF_SERVICE, CaseTables, case_tables
from .result_folder import FINAL, PairFolder
from .system_base import SystemBases

STAGE_COLUMNS = ["main_case", "small_case", "stage", "bus", "name", "base_kv", "vm_pu", "va_deg", "vmax_pu",
                 "vmin_pu", "violation"]
BRANCH_COLUMNS = ["main_case", "small_case", "stage", "from_bus", "to_bus", "ckt", "p_mw", "q_mvar",
                  "rating_mva", "loading_pct"]
# A voltage this close to its limit is within it (the saved numbers are rounded).
VOLTAGE_TOLERANCE = 1e-6
OVERLOAD_PCT = 100.0


@dataclass
class Energisation:
    stage: str
    parent: int | None  # the energised bus the new buses were reached from
    buses: list[int]  # buses that came into service at this stage


@dataclass
class PairStages:
    pair: PairFolder
    small_buses: list[int]
    connecting_bus: int | None
    stages: pd.DataFrame = field(default_factory=lambda: pd.DataFrame(columns=STAGE_COLUMNS))
    branches: pd.DataFrame = field(default_factory=lambda: pd.DataFrame(columns=BRANCH_COLUMNS + ["kind"]))
    energisation: list[Energisation] = field(default_factory=list)
    connections_in_case: int = 0  # connections the solve had to bring back, counted from the case
    plant_machines: pd.DataFrame | None = None  # the small case's machines, as the last stage holds them
    bus_names: dict[int, str] = field(default_factory=dict)
    system_base_mva: float | None = None  # of the stage cases, for cases whose reading does not tell it

    @property
    def watched(self) -> list[int]:
        """The connecting bus (when known) and the small case's buses."""
        return ([self.connecting_bus] if self.connecting_bus is not None else []) + self.small_buses


def find_connecting_bus(case: CaseTables, small: set[int]) -> int | None:
    """The bus outside the small case that the small case's branches reach."""
    outside = Counter()
    for frame, columns in ((case.lines, ("from_bus", "to_bus")), (case.transformers, ("bus1", "bus2", "bus3"))):
        for row in touching(frame, small, columns)[list(columns)].itertuples(index=False):
            outside.update(b for b in row if b and b not in small)
    return outside.most_common(1)[0][0] if outside else None


def _links(case: CaseTables, buses: set[int]) -> list[tuple[frozenset, str]]:
    """The connections among `buses`: each line or transformer whose buses
    all lie in the set, once per set of buses and circuit."""
    links = []
    for row in case.lines.itertuples(index=False):
        if row.from_bus in buses and row.to_bus in buses and row.from_bus != row.to_bus:
            links.append((frozenset((row.from_bus, row.to_bus)), row.ckt))
    for row in case.transformers.itertuples(index=False):
        ends = frozenset(b for b in (row.bus1, row.bus2, row.bus3) if b)
        if len(ends) >= 2 and ends <= buses:  # windings all at one bus join nothing
            links.append((ends, row.ckt))
    return list(dict.fromkeys(links))


def count_connections(case: CaseTables, small: set[int], connecting_bus: int | None) -> int:
    """Connections reachable from the connecting bus inside the small case."""
    if connecting_bus is None:
        return 0
    links = _links(case, small | {connecting_bus})
    reached, frontier, counted = {connecting_bus}, [connecting_bus], set()
    while frontier:
        bus = frontier.pop()
        for link in links:
            if bus in link[0] and link not in counted:
                counted.add(link)
                new = link[0] - reached
                reached |= new
                frontier.extend(new)
    return len(counted)


def bus_rows(case: CaseTables, pair: PairFolder, stage: str, buses: list[int]) -> pd.DataFrame:
    table = case.buses.reindex(buses)
    table["bus"] = buses
    live = table["type"].notna() & (table["type"] != OUT_OF_SERVICE)
    vm = table["vm_pu"].where(live)
    va = table["va_deg"].where(live)
    violation = np.where(vm > table["vmax_pu"] + VOLTAGE_TOLERANCE, "high",
                         np.where(vm < table["vmin_pu"] - VOLTAGE_TOLERANCE, "low", ""))
    return pd.DataFrame({
        "main_case": pair.main_case, "small_case": pair.small_case, "stage": stage, "bus": buses,
        "name": table["name"].fillna(""), "base_kv": table["base_kv"], "vm_pu": vm, "va_deg": va,
        "vmax_pu": table["vmax_pu"], "vmin_pu": table["vmin_pu"], "violation": violation,
    }, columns=STAGE_COLUMNS)


def branch_rows(case: CaseTables, pair: PairFolder, stage: str, small: set[int]) -> pd.DataFrame:
    flows = branch_flows(case, small)
    flows.insert(0, "stage", stage)
    flows.insert(0, "small_case", pair.small_case)
    flows.insert(0, "main_case", pair.main_case)
    return flows[BRANCH_COLUMNS + ["kind"]]


def _energised(case: CaseTables, buses: list[int]) -> set[int]:
    return {b for b in buses if case.in_service(b)}


def _parent(case: CaseTables, before: set[int], new: set[int]) -> int | None:
    """An energised bus that a branch joins to a newly energised one."""
    for link, _ in _links(case, before | new):
        if link & new and link & before:
            return min(link & before)
    return None


def read_stages(caspy, pair: PairFolder, small_buses: list[int], connecting_bus: int | None = None,
                system_bases: SystemBases | None = None) -> PairStages:
    """Reads the pair's stage cases one at a time, keeping only the small
    case's part of each. `system_bases` tells the system base of cases
    whose caspy reading does not."""
    small = set(small_buses)
    result = PairStages(pair=pair, small_buses=small_buses, connecting_bus=connecting_bus)
    stage_frames, branch_frames = [], []
    before: set[int] | None = None
    for stage, path in pair.stages:
        data = caspy.Savecase(str(path))
        fallback = None
        if system_bases is not None and system_bases.needed(data):
            fallback = system_bases.of_main_case(pair.main_case, path)
        last = stage == pair.stages[-1][0]
        case = case_tables(data, path, around=result.watched, system_base_mva=fallback, machines=last)
        result.system_base_mva = case.system_base_mva
        if result.connecting_bus is None:
            result.connecting_bus = find_connecting_bus(case, small)
        if not result.connections_in_case:
            result.connections_in_case = count_connections(case, small, result.connecting_bus)
        watched = result.watched
        stage_frames.append(bus_rows(case, pair, stage, watched))
        branch_frames.append(branch_rows(case, pair, stage, small))
        energised = _energised(case, watched)
        if before is not None and stage != FINAL:
            new = energised - before
            result.energisation.append(Energisation(stage, _parent(case, before, new) if new else None,
                                                    sorted(new)))
        before = energised
        result.bus_names.update({b: case.buses.at[b, "name"] for b in watched if b in case.buses.index})
        if last:
            result.plant_machines = case.machines[case.machines["bus"].isin(small)].reset_index(drop=True)
    if stage_frames:
        result.stages = pd.concat(stage_frames, ignore_index=True)
        result.branches = pd.concat(branch_frames, ignore_index=True)
    return result
