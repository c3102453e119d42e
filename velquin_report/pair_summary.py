"""A pair's line of the summary table: outcome, connections brought back,
time, worst voltage and worst loading over all its stages.

The worst voltage is the one that goes furthest beyond, or comes closest
to, one of its bus's normal limits; the worst loading is the highest.
"""

from __future__ import annotations

import math

from .run_facts import PairFacts
from .stage_tables import PairStages


def worst_voltage(data: PairStages) -> dict:
    table = data.stages.dropna(subset=["vm_pu"])
    if table.empty:
        return {"worst_vm_pu": math.nan, "worst_vm_bus": None, "worst_vm_stage": None}
    beyond = (table["vm_pu"] - table["vmax_pu"]).combine(table["vmin_pu"] - table["vm_pu"], max)
    row = table.loc[beyond.idxmax()]
    return {"worst_vm_pu": float(row["vm_pu"]), "worst_vm_bus": int(row["bus"]), "worst_vm_stage": row["stage"],
            "worst_vm_violation": row["violation"]}


def worst_loading(data: PairStages) -> dict:
    table = data.branches.dropna(subset=["loading_pct"])
    if table.empty:
        return {"worst_loading_pct": math.nan, "worst_loading_branch": None, "worst_loading_stage": None}
    row = table.loc[table["loading_pct"].idxmax()]
    far = "star" if row["to_bus"] == 0 else str(int(row["to_bus"]))
    return {"worst_loading_pct": float(row["loading_pct"]),
            "worst_loading_branch": f"{int(row['from_bus'])}-{far} {row['ckt']}", "worst_loading_stage": row["stage"]}


def summary_row(data: PairStages, facts: PairFacts, connections: int | None) -> dict:
    return {
        "main_case": data.pair.main_case, "small_case": data.pair.small_case, "outcome": facts.outcome,
        "reconnected": facts.reconnected, "connections": connections,
        "seconds": facts.seconds if facts.seconds is not None else math.nan,
        **worst_voltage(data), **worst_loading(data),
    }
