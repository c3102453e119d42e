"""Branch flows from a solved case's bus voltages and its branch data.

The models are the textbook ones the load flow uses:
- a line is a pi section: series R + jX, half the charging B at each end,
  and the end shunts G + jB of each end;
- a transformer winding is an ideal ratio t e^{j theta} on its own side of
  the series admittance (t from WINDV by the winding code CW; the far side's
  ratio t2 for two windings, 1 at the star point for three), with the
  magnetising admittance at the winding-1 bus (two windings) or at the star
  point (three windings), impedances converted by the impedance code CZ;
- a three-winding transformer is a star of three windings; the star point's
  voltage follows from the winding voltages (no current leaves the star
  point but through the magnetising branch);
- per-unit values are on the case's own system base (case.system_base_mva).

Lines that tie their buses (R = 0 and |X| at most ZERO_IMPEDANCE_X) carry
what balances the buses they tie, which their impedance cannot tell: their
flows are left empty.

One row per line, two-winding transformer, or in-service winding of a
three-winding transformer (from the winding's bus to the star point, given
as to_bus 0). Flows are MW / Mvar entering the branch at from_bus (p_mw,
q_mvar) and at to_bus (p_to_mw, q_to_mvar); loading is the larger end's MVA
against the first rating (empty without a rating).
"""

from __future__ import annotations

import math

import numpy as np
import pandas as pd

from .case_tables import CaseTables

ZERO_IMPEDANCE_X = 1.0e-4
STAR_POINT = 0  # to_bus of a three-winding transformer's winding rows

COLUMNS = ["from_bus", "to_bus", "ckt", "kind", "p_mw", "q_mvar", "p_to_mw", "q_to_mvar", "mva", "rating_mva",
           "loading_pct"]


def _voltage(case: CaseTables, bus: int) -> complex:
    vm = case.buses.at[bus, "vm_pu"]
    va = math.radians(case.buses.at[bus, "va_deg"])
    return complex(vm * math.cos(va), vm * math.sin(va))


def _base_kv(case: CaseTables, bus: int) -> float:
    return float(case.buses.at[bus, "base_kv"]) if bus in case.buses.index else 0.0


def winding_ratio_pu(cw: int, windv: float, nomv: float, bus_base_kv: float) -> float:
    if cw == 2:
        return windv / bus_base_kv if bus_base_kv > 0 else windv
    if cw == 3:
        nominal = nomv if nomv > 0 else bus_base_kv
        return windv * nominal / bus_base_kv if bus_base_kv > 0 else windv
    return windv


def pair_impedance_pu(cz: int, z: complex, sbase: float, system_base: float) -> complex:
    winding_base = sbase if sbase > 0 else system_base
    if cz == 2:
        return z * (system_base / winding_base)
    if cz == 3:
        # R: load loss in W; X: |Z| in pu of the winding base.
        r = z.real / (1.0e6 * winding_base)
        x = math.sqrt(max(z.imag ** 2 - r ** 2, 0.0))
        return complex(r, -x if z.imag < 0 else x) * (system_base / winding_base)
    return z


def magnetising_pu(cm: int, mag1: float, mag2: float, sbase12: float, system_base: float) -> complex:
    if cm != 2:
        return complex(mag1, mag2)
    # No-load loss in W and exciting current in pu of the 1-2 winding base; inductive.
    winding_base = sbase12 if sbase12 > 0 else system_base
    g = mag1 / (1.0e6 * system_base)
    y = abs(mag2) * winding_base / system_base
    return complex(g, -math.sqrt(max(y * y - g * g, 0.0)))


def _nonzero(z: complex) -> complex:
    return z if abs(z) > 1e-12 else complex(0.0, ZERO_IMPEDANCE_X)


def _row(frm, to, ckt, kind, s_from, s_to, rating, system_base: float):
    s_from, s_to = s_from * system_base, s_to * system_base
    mva = max(abs(s_from), abs(s_to))
    loading = 100.0 * mva / rating if rating > 0 else math.nan
    return {"from_bus": frm, "to_bus": to, "ckt": ckt, "kind": kind, "p_mw": s_from.real,
            "q_mvar": s_from.imag, "p_to_mw": s_to.real, "q_to_mvar": s_to.imag, "mva": mva,
            "rating_mva": rating if rating > 0 else math.nan, "loading_pct": loading}


def line_flows(case: CaseTables, lines: pd.DataFrame) -> list[dict]:
    rows = []
    for line in lines.itertuples(index=False):
        if line.status != 1 or not (case.in_service(line.from_bus) and case.in_service(line.to_bus)):
            continue
        if line.r == 0.0 and abs(line.x) <= ZERO_IMPEDANCE_X:
            rows.append({"from_bus": line.from_bus, "to_bus": line.to_bus, "ckt": line.ckt, "kind": "tie",
                         "p_mw": math.nan, "q_mvar": math.nan, "p_to_mw": math.nan, "q_to_mvar": math.nan,
                         "mva": math.nan,
                         "rating_mva": line.rating_mva if line.rating_mva > 0 else math.nan,
                         "loading_pct": math.nan})
            continue
        vf, vt = _voltage(case, line.from_bus), _voltage(case, line.to_bus)
        y = 1.0 / complex(line.r, line.x)
        half_b = complex(0.0, line.b / 2.0)
        i_from = (y + half_b + line.from_shunt) * vf - y * vt
        i_to = (y + half_b + line.to_shunt) * vt - y * vf
        rows.append(_row(line.from_bus, line.to_bus, line.ckt, "line", vf * i_from.conjugate(),
                         vt * i_to.conjugate(), line.rating_mva, case.system_base_mva))
    return rows


def _winding_two_port(y: complex, t1: float, angle_deg: float, t2: float):
    a = t1 * complex(math.cos(math.radians(angle_deg)), math.sin(math.radians(angle_deg)))
    return y / (t1 * t1), -y / (a.conjugate() * t2), -y / (a * t2), y / (t2 * t2)


def _two_winding(case: CaseTables, t) -> dict:
    t1 = winding_ratio_pu(t.cw, t.windv1, t.nomv1, _base_kv(case, t.bus1))
    t2 = winding_ratio_pu(t.cw, t.windv2, t.nomv2, _base_kv(case, t.bus2))
    base = case.system_base_mva
    y = 1.0 / _nonzero(pair_impedance_pu(t.cz, t.z1, t.sbase1, base))
    yaa, yab, yba, ybb = _winding_two_port(y, t1, t.ang1, t2)
    yaa += magnetising_pu(t.cm, t.mag1, t.mag2, t.sbase1, base)
    v1, v2 = _voltage(case, t.bus1), _voltage(case, t.bus2)
    s1 = v1 * (yaa * v1 + yab * v2).conjugate()
    s2 = v2 * (yba * v1 + ybb * v2).conjugate()
    return _row(t.bus1, t.bus2, t.ckt, "transformer", s1, s2, t.rating1_mva, base)


def _three_winding(case: CaseTables, t) -> list[dict]:
    base = case.system_base_mva
    z12 = pair_impedance_pu(t.cz, t.z1, t.sbase1, base)
    z23 = pair_impedance_pu(t.cz, t.z2, t.sbase2, base)
    z31 = pair_impedance_pu(t.cz, t.z3, t.sbase3, base)
    star_z = [(z12 + z31 - z23) / 2, (z12 + z23 - z31) / 2, (z23 + z31 - z12) / 2]
    out = {2: 1, 3: 2, 4: 0}.get(t.status)  # status 2, 3, 4: winding 2, 3, 1 out
    buses = (t.bus1, t.bus2, t.bus3)
    windings = []
    for k in range(3):
        if k == out:
            continue
        bus = buses[k]
        tk = winding_ratio_pu(t.cw, getattr(t, f"windv{k + 1}"), getattr(t, f"nomv{k + 1}"), _base_kv(case, bus))
        two_port = _winding_two_port(1.0 / _nonzero(star_z[k]), tk, getattr(t, f"ang{k + 1}"), 1.0)
        windings.append((k, bus, _voltage(case, bus), two_port))
    # No current leaves the star point but through its magnetising admittance.
    ym = magnetising_pu(t.cm, t.mag1, t.mag2, t.sbase1, base)
    v_star = -sum(yba * v for _, _, v, (_, _, yba, _) in windings) / (sum(p[3] for *_, p in windings) + ym)
    rows = []
    for k, bus, v, (yaa, yab, yba, ybb) in windings:
        s_bus = v * (yaa * v + yab * v_star).conjugate()
        s_star = v_star * (yba * v + ybb * v_star).conjugate()
        rows.append(_row(bus, STAR_POINT, t.ckt, f"winding {k + 1}", s_bus, s_star,
                         getattr(t, f"rating{k + 1}_mva"), base))
    return rows


def transformer_flows(case: CaseTables, transformers: pd.DataFrame) -> list[dict]:
    rows = []
    for t in transformers.itertuples(index=False):
        if t.bus3 == 0:
            if t.status == 1 and case.in_service(t.bus1) and case.in_service(t.bus2):
                rows.append(_two_winding(case, t))
        elif t.status != 0 and all(case.in_service(b) for b in (t.bus1, t.bus2, t.bus3)):
            rows.extend(_three_winding(case, t))
    return rows


def touching(frame: pd.DataFrame, buses: set[int], columns: tuple[str, ...]) -> pd.DataFrame:
    """The rows of a branch table with a bus of `buses` at any end."""
    if frame.empty:
        return frame
    mask = np.zeros(len(frame), dtype=bool)
    for column in columns:
        mask |= frame[column].isin(buses).to_numpy()
    return frame[mask]


def branch_flows(case: CaseTables, buses: set[int]) -> pd.DataFrame:
    """Flows of the in-service branches and windings with an end at `buses`."""
    rows = line_flows(case, touching(case.lines, buses, ("from_bus", "to_bus")))
    rows += transformer_flows(case, touching(case.transformers, buses, ("bus1", "bus2", "bus3")))
    return pd.DataFrame(rows, columns=COLUMNS)
