#!/usr/bin/python3
"""Builds a utility-sized network from a public one: several copies of a
MATPOWER case (by default case_ACTIVSg10k) joined by tie lines, written as a
MATPOWER file and, optionally, as a saved case of the embedded simulator.

Copy k has its bus numbers shifted by k * offset (copy 0 keeps the original
numbers, so the demo plants' connecting buses stay valid). Only copy 0
keeps its swing bus; in the other copies that bus becomes a generator bus
holding its solved output, so every copy balances itself and the ties carry
little. Each pair of consecutive copies is joined by tie lines between the
same buses of both (the best-connected buses of the highest voltage).

Reusable from Python:

    from tiled_network import write_tiled_matpower, save_tiled_case
    info = write_tiled_matpower(Path("tiled.m"), copies=7)
    save_tiled_case(psspy, Path("tiled.m"), Path("tiled.sav"))

or from the command line:

    bench/tiled_network.py --copies 7 --matpower tiled.m [--saved tiled.sav]
"""

from __future__ import annotations

import argparse
import re
import sys
from collections import Counter
from pathlib import Path

REPO_DIR = Path(__file__).resolve().parent.parent
DEFAULT_SOURCE = REPO_DIR / "tests" / "data" / "matpower" / "case_ACTIVSg10k.m"
BUS_OFFSET = 100_000  # leaves the 900000+ range free for renumbered plant buses
TIE_IMPEDANCE = (0.0005, 0.005)  # r, x in pu: a strong double circuit


def _matrix(text: str, name: str) -> list[list[str]]:
    match = re.search(rf"^mpc\.{name}\s*=\s*\[(.*?)\];", text, re.S | re.M)
    if match is None:
        raise ValueError(f"no mpc.{name} matrix")
    rows = []
    for line in match.group(1).splitlines():
        line = line.split("%", 1)[0].strip().rstrip(";").strip()
        if line:
            rows.append(line.split())
    return rows


def _cells(text: str, name: str) -> list[str] | None:
    match = re.search(rf"^mpc\.{name}\s*=\s*\{{(.*?)\}};", text, re.S | re.M)
    if match is None:
        return None
    return [line.strip().rstrip(";").strip() for line in match.group(1).splitlines()
            if line.split("%", 1)[0].strip()]


def _base_mva(text: str) -> str:
    match = re.search(r"^mpc\.baseMVA\s*=\s*([^;]+);", text, re.M)
    return match.group(1).strip() if match else "100"


def write_tiled_matpower(target: Path, copies: int = 7, source: Path = DEFAULT_SOURCE,
                         ties_per_pair: int = 3, offset: int = BUS_OFFSET) -> dict:
    """Writes the tiled network to `target` and returns what it holds
    (buses, branches, generators, tie lines, bus offset)."""
    if copies < 1:
        raise ValueError("copies must be at least 1")
    text = source.read_text()
    bus, gen, branch = _matrix(text, "bus"), _matrix(text, "gen"), _matrix(text, "branch")
    names = _cells(text, "bus_name")
    largest = max(int(float(row[0])) for row in bus)
    if (copies - 1) * offset + largest >= 900_000:
        raise ValueError("too many copies: bus numbers would reach 900000")
    base_kv = {int(float(row[0])): float(row[9]) for row in bus}
    degree = Counter()
    for row in branch:
        degree.update((int(float(row[0])), int(float(row[1]))))
    top_kv = max(base_kv.values())
    ties = sorted((b for b in base_kv if base_kv[b] >= top_kv), key=lambda b: (-degree[b], b))[:ties_per_pair]

    def shifted(number: str, k: int) -> str:
        return str(int(float(number)) + k * offset)

    out = [f"function mpc = {target.stem}",
           f"% {copies} copies of {source.name} joined by tie lines (bench/tiled_network.py)",
           "mpc.version = '2';", f"mpc.baseMVA = {_base_mva(text)};", "mpc.bus = ["]
    for k in range(copies):
        for row in bus:
            fields = list(row)
            fields[0] = shifted(row[0], k)
            if k > 0 and fields[1] == "3":
                fields[1] = "2"
            out.append("\t" + "\t".join(fields) + ";")
    out.append("];")
    out.append("mpc.gen = [")
    for k in range(copies):
        for row in gen:
            out.append("\t" + "\t".join([shifted(row[0], k)] + row[1:]) + ";")
    out.append("];")
    out.append("mpc.branch = [")
    width = len(branch[0])
    for k in range(copies):
        for row in branch:
            out.append("\t" + "\t".join([shifted(row[0], k), shifted(row[1], k)] + row[2:]) + ";")
    tie_count = 0
    for k in range(copies - 1):
        for b in ties:
            fields = [shifted(str(b), k), shifted(str(b), k + 1), str(TIE_IMPEDANCE[0]), str(TIE_IMPEDANCE[1]),
                      "0", "0", "0", "0", "0", "0", "1"] + ["0"] * max(0, width - 11)
            out.append("\t" + "\t".join(fields[:width]) + ";")
            tie_count += 1
    out.append("];")
    if names is not None:
        out.append("mpc.bus_name = {")
        for _ in range(copies):
            out.extend("\t" + name + ";" for name in names)
        out.append("};")
    target.write_text("\n".join(out) + "\n")
    return dict(buses=copies * len(bus), branches=copies * len(branch) + tie_count, generators=copies * len(gen),
                tie_lines=tie_count, offset=offset, tie_buses=ties)


def save_tiled_case(psspy, matpower: Path, saved: Path) -> None:
    """Reads the tiled MATPOWER file into the embedded simulator and saves it."""
    if psspy.read_matpower(str(matpower)) != 0:
        raise RuntimeError(f"{matpower}: not read")
    if psspy.save(sfile=str(saved)) != 0:
        raise RuntimeError(f"{saved}: not saved")


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--copies", type=int, default=7)
    parser.add_argument("--source", type=Path, default=DEFAULT_SOURCE)
    parser.add_argument("--matpower", type=Path, required=True, help="MATPOWER file to write")
    parser.add_argument("--saved", type=Path, help="also write a saved case (needs the built simulator)")
    args = parser.parse_args()
    info = write_tiled_matpower(args.matpower, args.copies, args.source)
    print(f"{args.matpower}: {info['buses']} buses, {info['branches']} branches ({info['tie_lines']} tie lines), "
          f"{info['generators']} generators")
    if args.saved:
        sys.path.insert(0, str(REPO_DIR / "build" / "simulator"))
        import psspy
        psspy.progress_output(islct=6)
        save_tiled_case(psspy, args.matpower, args.saved)
        print(f"{args.saved}: saved")
    return 0


if __name__ == "__main__":
    sys.exit(main())
