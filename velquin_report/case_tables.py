"""A saved case, read through the simulator's `caspy`, as pandas tables.

Only what the report needs is kept: buses (voltages and normal limits),
line branches, transformers (two and three windings) and machines. Units
become those an engineer reads: kV, pu, degrees, MW, Mvar, MVA. The case's
impedances stay in the units its codes give; branch_flows converts them on
the case's system base.

A read may be limited to the part of the case around some buses (the small
case's): the branches with an end at one of them, the buses at either end
of those branches, and the machines at them. The tables then hold exactly
the rows of the whole case's tables that concern those buses, at a small
part of the cost of a 10,000-bus case's tables.

caspy holds machine powers in hundreds of MW and Mvar whatever the system
base; the tables here multiply them back.
"""

from __future__ import annotations

from dataclasses import dataclass
from pathlib import Path
from typing import Collection

import numpy as np
import pandas as pd

from .system_base import system_base_of

OUT_OF_SERVICE = 4  # bus type of a bus out of service

# The keys each table of the report reads.
BUS_KEYS = ("NUM", "NAME", "BASKV", "IDE", "VM", "VA", "NMAXV", "NMINV")
LINE_KEYS = ("FRMBUS", "TOBUS", "CKT", "STAT", "RX", "B", "GBI", "GBJ", "RATINGS")
TRANSFORMER_KEYS = ("BUSNUM", "CKT", "STAT", "CW", "CZ", "CM", "MAG1", "MAG2", "WIND", "NOMV", "ANG", "SBASE",
                    "RX", "RATINGS")
MACHINE_KEYS = ("NUM", "IDE", "STAT", "PG", "QG", "QT", "QB", "PT", "PB")


@dataclass
class CaseTables:
    path: Path
    system_base_mva: float
    buses: pd.DataFrame  # index: bus number
    lines: pd.DataFrame
    transformers: pd.DataFrame
    machines: pd.DataFrame

    def in_service(self, bus: int) -> bool:
        return bus in self.buses.index and self.buses.at[bus, "type"] != OUT_OF_SERVICE


def _column(table: dict, key: str, count: int, default=0):
    values = table.get(key)
    return list(values) if values is not None else [default] * count


def bus_frame(pssbus: dict) -> pd.DataFrame:
    numbers = list(pssbus["NUM"])
    n = len(numbers)
    frame = pd.DataFrame({
        "bus": numbers,
        "name": [str(name).strip() for name in _column(pssbus, "NAME", n, "")],
        "base_kv": _column(pssbus, "BASKV", n, 0.0),
        "type": _column(pssbus, "IDE", n, 1),
        "vm_pu": _column(pssbus, "VM", n, 1.0),
        "va_deg": _column(pssbus, "VA", n, 0.0),
        "vmax_pu": _column(pssbus, "NMAXV", n, 1.1),
        "vmin_pu": _column(pssbus, "NMINV", n, 0.9),
    })
    return frame.drop_duplicates("bus").set_index("bus", drop=False)


def _first_rating(ratings) -> float:
    try:
        return float(ratings[0])
    except (TypeError, IndexError):
        return float(ratings or 0.0)


def line_frame(casbrn: dict) -> pd.DataFrame:
    n = len(casbrn["FRMBUS"])
    rx = np.array(_column(casbrn, "RX", n, 0j), dtype=complex)
    gbi = np.array(_column(casbrn, "GBI", n, 0j), dtype=complex)
    gbj = np.array(_column(casbrn, "GBJ", n, 0j), dtype=complex)
    return pd.DataFrame({
        "from_bus": list(casbrn["FRMBUS"]),
        "to_bus": list(casbrn["TOBUS"]),
        "ckt": [str(c).strip() for c in casbrn["CKT"]],
        "status": _column(casbrn, "STAT", n, 1),
        "r": rx.real, "x": rx.imag,
        "b": _column(casbrn, "B", n, 0.0),
        "from_shunt": gbi, "to_shunt": gbj,
        "rating_mva": [_first_rating(r) for r in _column(casbrn, "RATINGS", n, (0.0,))],
    })


def _per_winding(values, count: int, default):
    """Three entries per transformer, whatever shape the table gives."""
    out = []
    for value in values:
        seq = list(value) if isinstance(value, (tuple, list)) else [value]
        seq = (seq + [default] * count)[:count]
        out.append(seq)
    return out


def transformer_frame(castrn: dict) -> pd.DataFrame:
    n = len(castrn["BUSNUM"])
    buses = _per_winding(castrn["BUSNUM"], 3, 0)
    columns = {
        "bus1": [b[0] for b in buses], "bus2": [b[1] for b in buses], "bus3": [b[2] for b in buses],
        "ckt": [str(c).strip() for c in castrn["CKT"]],
        "status": _column(castrn, "STAT", n, 1),
        "cw": _column(castrn, "CW", n, 1), "cz": _column(castrn, "CZ", n, 1),
        "cm": _column(castrn, "CM", n, 1),
        "mag1": _column(castrn, "MAG1", n, 0.0), "mag2": _column(castrn, "MAG2", n, 0.0),
    }
    for key, name, default in (("WIND", "windv", 1.0), ("NOMV", "nomv", 0.0), ("ANG", "ang", 0.0),
                               ("SBASE", "sbase", 0.0), ("RX", "z", 0j)):
        per = _per_winding(_column(castrn, key, n, (default,) * 3), 3, default)
        for k in range(3):
            columns[f"{name}{k + 1}"] = [p[k] for p in per]
    ratings = _per_winding(_column(castrn, "RATINGS", n, ((0.0,),) * 3), 3, (0.0,))
    for k in range(3):
        columns[f"rating{k + 1}_mva"] = [_first_rating(r[k]) for r in ratings]
    return pd.DataFrame(columns)


def machine_frame(pssgen: dict) -> pd.DataFrame:
    n = len(pssgen["NUM"])
    hundred = (lambda key: [100.0 * float(v) for v in _column(pssgen, key, n, 0.0)])
    return pd.DataFrame({
        "bus": list(pssgen["NUM"]),
        "id": [str(i).strip() for i in _column(pssgen, "IDE", n, "1")],
        "status": _column(pssgen, "STAT", n, 1),
        "pg_mw": hundred("PG"), "qg_mvar": hundred("QG"),
        "qmax_mvar": hundred("QT"), "qmin_mvar": hundred("QB"),
        "pmax_mw": hundred("PT"), "pmin_mw": hundred("PB"),
    })


def _rows(table: dict, keys: tuple[str, ...], rows: list[int]) -> dict:
    """The table's entries at `rows` (positions, in order) for the keys it
    has among `keys`."""
    return {key: [table[key][i] for i in rows] for key in keys if table.get(key) is not None}


def _around(data, buses: Collection[int], machines: bool) -> tuple[dict, dict, dict, dict]:
    """The bus, line, transformer and machine tables of `data` limited to
    the rows that concern `buses`, each in the whole table's order; no
    machine unless `machines`."""
    wanted = set(buses)
    casbrn, castrn = data.casbrn, data.castrn
    from_buses, to_buses = casbrn["FRMBUS"], casbrn["TOBUS"]
    lines = [i for i, (f, t) in enumerate(zip(from_buses, to_buses)) if f in wanted or t in wanted]
    ends = set(wanted)
    ends.update(from_buses[i] for i in lines)
    ends.update(to_buses[i] for i in lines)
    transformers = []
    for i, value in enumerate(castrn["BUSNUM"]):
        winding_buses = value if isinstance(value, (tuple, list)) else (value,)
        if not wanted.isdisjoint(winding_buses):
            transformers.append(i)
            ends.update(winding_buses)
    pssbus = data.pssbus
    bus_positions = [i for i, number in enumerate(pssbus["NUM"]) if number in ends]
    if machines:
        pssgen = data.pssgen
        machine_rows = [i for i, number in enumerate(pssgen["NUM"]) if number in wanted]
        machine_table = _rows(pssgen, MACHINE_KEYS, machine_rows)
    else:
        machine_table = {"NUM": []}
    return (_rows(pssbus, BUS_KEYS, bus_positions), _rows(casbrn, LINE_KEYS, lines),
            _rows(castrn, TRANSFORMER_KEYS, transformers), machine_table)


def case_tables(data, path: Path | str, around: Collection[int] | None = None,
                system_base_mva: float | None = None, machines: bool = True) -> CaseTables:
    """The tables of a case caspy has read. `around`: only the part of the
    case around those buses (all of it when None); `machines`: whether that
    part's machines are wanted. `system_base_mva`: the base to take when
    caspy's object does not tell the case's own."""
    base = system_base_of(data, path, system_base_mva)
    if around is None:
        tables = (data.pssbus, data.casbrn, data.castrn, data.pssgen)
    else:
        tables = _around(data, around, machines)
    pssbus, casbrn, castrn, pssgen = tables
    return CaseTables(path=Path(path), system_base_mva=base, buses=bus_frame(pssbus), lines=line_frame(casbrn),
                      transformers=transformer_frame(castrn), machines=machine_frame(pssgen))


def read_case(caspy, path: Path | str, around: Collection[int] | None = None,
              system_base_mva: float | None = None, machines: bool = True) -> CaseTables:
    """Reads one saved case (see case_tables); caspy's own error (a file it
    cannot read) propagates."""
    return case_tables(caspy.Savecase(str(path)), path, around, system_base_mva, machines)
