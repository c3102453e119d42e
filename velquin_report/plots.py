"""The report's plots, drawn with matplotlib and handed over as SVG text to
embed in the page (fonts as paths, so the page needs nothing else).

Per pair: the energisation order as a tree from the connecting bus, the
voltage of every small-case bus and of the connecting bus against the stage,
and the loading of the small case's branches against the stage. Limits are
drawn; whatever breaks one is red.
"""

from __future__ import annotations

import io
import itertools

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import pandas as pd  # noqa: E402

from .stage_tables import OVERLOAD_PCT, PairStages  # noqa: E402

VIOLATION = "#d62728"
CONNECTING = "#111111"
NOT_ENERGISED = "#9e9e9e"
PALETTE = ["#1f77b4", "#2ca02c", "#9467bd", "#8c564b", "#17becf", "#bcbd22", "#e377c2", "#ff7f0e"]
_salt = itertools.count()


def svg_text(figure) -> str:
    """The figure as an <svg> element; ids made unique within the page."""
    buffer = io.StringIO()
    with matplotlib.rc_context({"svg.fonttype": "path", "svg.hashsalt": f"velquin-{next(_salt)}"}):
        figure.savefig(buffer, format="svg", bbox_inches="tight")
    plt.close(figure)
    text = buffer.getvalue()
    return text[text.index("<svg"):]


def stage_positions(stages: list[str]) -> dict[str, int]:
    return {stage: i for i, stage in enumerate(stages)}


def _stage_axis(axis, stages: list[str], failed_stage: str | None):
    labels = list(stages) + ([failed_stage] if failed_stage else [])
    axis.set_xticks(range(len(labels)))
    axis.set_xticklabels(labels, fontsize=8, rotation=0 if len(labels) < 20 else 90)
    axis.set_xlabel("stage (0: before the first reconnection; final: every connection back)")
    axis.set_xlim(-0.5, len(labels) - 0.5)
    if failed_stage:
        x = len(stages)
        axis.axvspan(x - 0.5, x + 0.5, color=VIOLATION, alpha=0.12)
        axis.text(x, 0.5, f"stage {failed_stage}\nfailed", color=VIOLATION, ha="center", va="center",
                  fontsize=8, transform=axis.get_xaxis_transform())
    axis.grid(True, color="#dddddd", linewidth=0.6)


def _whose(buses: set, all_buses: set) -> str:
    """Which buses a limit belongs to, when not to all of them."""
    if buses == all_buses:
        return ""
    if len(buses) <= 3:
        return " (bus " + ", ".join(str(b) for b in sorted(buses)) + ")"
    return f" ({len(buses)} buses)"


def voltage_plot(data: PairStages, failed_stage: str | None = None):
    table = data.stages
    stages = list(dict.fromkeys(table["stage"]))
    position = stage_positions(stages)
    figure, axis = plt.subplots(figsize=(9.5, 4.2))
    colours = {kv: PALETTE[i % len(PALETTE)] for i, kv in enumerate(sorted(set(table["base_kv"].dropna()),
                                                                          reverse=True))}
    for bus, rows in table.groupby("bus", sort=False):
        x = rows["stage"].map(position)
        connecting = bus == data.connecting_bus
        colour = CONNECTING if connecting else colours.get(rows["base_kv"].iloc[0], PALETTE[0])
        # The connecting bus is drawn broad and beneath, so the plant's buses
        # that follow it closely stay visible on top.
        axis.plot(x, rows["vm_pu"], marker="o", markersize=3 if not connecting else 6,
                  linewidth=4.0 if connecting else 1.0, color=colour, alpha=0.45 if connecting else 0.85,
                  zorder=1 if connecting else 2)
        bad = rows[rows["violation"] != ""]
        if not bad.empty:
            axis.scatter(bad["stage"].map(position), bad["vm_pu"], s=60, color=VIOLATION, zorder=5,
                         edgecolors="white", linewidths=0.8)
    all_buses = set(table["bus"])
    for column, label in (("vmax_pu", "normal high limit"), ("vmin_pu", "normal low limit")):
        for value, rows in table.dropna(subset=[column]).groupby(column):
            axis.axhline(value, color=VIOLATION, linestyle="--", linewidth=1.1)
            axis.text(0.995, value, f" {label} {value:.3f} pu{_whose(set(rows['bus']), all_buses)}",
                      color=VIOLATION, fontsize=7.5, ha="right", va="bottom", transform=axis.get_yaxis_transform())
    values = pd.concat([table["vm_pu"], table["vmax_pu"], table["vmin_pu"]]).dropna()
    if not values.empty:
        span = max(values.max() - values.min(), 0.02)
        axis.set_ylim(values.min() - 0.1 * span, values.max() + 0.15 * span)
    _stage_axis(axis, stages, failed_stage)
    axis.set_ylabel("voltage magnitude (pu)")
    handles = [plt.Line2D([], [], color=CONNECTING, linewidth=4.0, alpha=0.45, marker="o",
                          label=f"connecting bus {data.connecting_bus}")]
    handles += [plt.Line2D([], [], color=c, marker="o", markersize=3, label=f"{kv:g} kV buses")
                for kv, c in colours.items()]
    handles.append(plt.Line2D([], [], color=VIOLATION, marker="o", linestyle="", markersize=7,
                              label="outside its limits"))
    axis.legend(handles=handles, fontsize=7.5, loc="upper left", bbox_to_anchor=(1.01, 1.0), frameon=False)
    axis.set_title("Voltage of the small case's buses and the connecting bus at each stage", fontsize=10)
    return figure


def loading_plot(data: PairStages, stage_names: list[str], failed_stage: str | None = None):
    table = data.branches
    position = stage_positions(stage_names)
    figure, axis = plt.subplots(figsize=(9.5, 4.2))
    rated = table[table["rating_mva"].notna() & table["loading_pct"].notna()]
    kinds = {"line": PALETTE[0], "transformer": PALETTE[2]}
    for _, rows in rated.groupby(["from_bus", "to_bus", "ckt", "kind"], sort=False):
        kind = "transformer" if rows["kind"].iloc[0] != "line" else "line"
        axis.plot(rows["stage"].map(position), rows["loading_pct"], marker="o", markersize=3, linewidth=1.0,
                  color=kinds[kind], alpha=0.75)
        bad = rows[rows["loading_pct"] > OVERLOAD_PCT]
        if not bad.empty:
            axis.scatter(bad["stage"].map(position), bad["loading_pct"], s=60, color=VIOLATION, zorder=5,
                         edgecolors="white", linewidths=0.8)
    axis.axhline(OVERLOAD_PCT, color=VIOLATION, linestyle="--", linewidth=1.1)
    axis.text(0.995, OVERLOAD_PCT, " first rating (100 %)", color=VIOLATION, fontsize=7.5, ha="right",
              va="bottom", transform=axis.get_yaxis_transform())
    top = max(110.0, float(rated["loading_pct"].max()) * 1.1 if not rated.empty else 0.0)
    axis.set_ylim(0, top)
    _stage_axis(axis, stage_names, failed_stage)
    axis.set_ylabel("loading (% of first rating)")
    unrated = table[table["rating_mva"].isna()].groupby(["from_bus", "to_bus", "ckt"]).ngroups
    handles = [plt.Line2D([], [], color=c, marker="o", markersize=3, label=f"{k}s") for k, c in kinds.items()]
    handles.append(plt.Line2D([], [], color=VIOLATION, marker="o", linestyle="", markersize=7,
                              label="above its rating"))
    axis.legend(handles=handles, fontsize=7.5, loc="upper left", bbox_to_anchor=(1.01, 1.0), frameon=False)
    title = "Loading of the small case's branches and transformer windings at each stage"
    if unrated:
        title += f"\n({unrated} without a rating not drawn)"
    axis.set_title(title, fontsize=10)
    return figure


def _tree_layout(root: int, children: dict[int, list[int]]) -> dict[int, tuple[float, float]]:
    """Depth to the right, leaves one row apart, parents centred on their children."""
    places, next_row = {}, [0.0]

    def place(bus, depth):
        kids = children.get(bus, [])
        if not kids:
            y = next_row[0]
            next_row[0] += 1.0
        else:
            ys = [place(kid, depth + 1) for kid in kids]
            y = (min(ys) + max(ys)) / 2.0
        places[bus] = (float(depth), y)
        return y

    place(root, 0)
    return places


def _tree_label(data: PairStages, bus: int, edge_stage: dict, worst_violation: dict) -> str:
    label = f"{bus} {data.bus_names.get(bus, '')}".strip()
    details = [f"stage {edge_stage[bus]}"] if bus in edge_stage else []
    if worst_violation.get(bus):
        details.append(f"{worst_violation[bus]} voltage")
    return label + ("\n" + ", ".join(details) if details else "")


def tree_plot(data: PairStages, worst_violation: dict[int, str], failed_connection: tuple | None = None):
    root = data.connecting_bus
    children: dict[int, list[int]] = {}
    edge_stage: dict[int, str] = {}
    for step in data.energisation:
        for bus in step.buses:
            parent = step.parent if step.parent is not None else root
            children.setdefault(parent, []).append(bus)
            edge_stage[bus] = step.stage
    places = _tree_layout(root, children) if root is not None else {}
    pending = [b for b in data.small_buses if b not in places]
    depth = max((x for x, _ in places.values()), default=0.0) + 1.0
    for i, bus in enumerate(pending):
        places[bus] = (depth, float(i))
    rows = max(max((y for _, y in places.values()), default=0.0) + 1.0, 2.0)
    labels = {bus: _tree_label(data, bus, edge_stage, worst_violation) for bus in places}
    # A depth step as wide as the longest label, so that labels on one row do not meet.
    longest = max(len(line) for text in labels.values() for line in text.split("\n"))
    step = max(1.5, 0.075 * longest)
    figure, axis = plt.subplots(figsize=(min(1.2 + step * (depth + 1), 22.0), min(0.5 * rows + 1.2, 16.0)))
    for bus, (x, y) in places.items():
        for kid in children.get(bus, []):
            kx, ky = places[kid]
            axis.plot([x, x + 0.5, x + 0.5, kx], [y, y, ky, ky], color="#555555", linewidth=1.0, zorder=1)
    if failed_connection:
        buses = [b for b in failed_connection[:-1] if b in places]
        for a, b in zip(buses, buses[1:]):
            (ax_, ay), (bx, by) = places[a], places[b]
            axis.plot([ax_, bx], [ay, by], color=VIOLATION, linewidth=1.6, linestyle="--", zorder=1)
    for bus, (x, y) in places.items():
        energised = bus in edge_stage or bus == root
        colour = VIOLATION if worst_violation.get(bus) else (CONNECTING if bus == root else
                                                              PALETTE[0] if energised else NOT_ENERGISED)
        axis.scatter([x], [y], s=90 if bus == root else 45, color=colour, zorder=3,
                     marker="s" if bus == root else "o")
        label = labels[bus]
        axis.text(x - 0.05, y - 0.16, label, fontsize=7, va="bottom",
                  color=VIOLATION if worst_violation.get(bus) else ("#111111" if energised else NOT_ENERGISED))
    if pending:
        axis.text(depth, -0.9, "never energised", fontsize=7.5, color=NOT_ENERGISED, ha="left")
    axis.set_xlim(-0.3, depth + 1.4)
    axis.set_ylim(rows - 0.3, -1.2)
    axis.axis("off")
    axis.set_title(f"Energisation order from the connecting bus {root} (under each bus: the stage that "
                   "brought it back)", fontsize=10, loc="left")
    return figure

