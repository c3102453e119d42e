#!/usr/bin/python3
"""Cost of a brought-back connection: the demo's plants (examples/demo) run
through velquin_main.run_integration onto a main network, on the embedded
simulator, against one flat-start rsol of the same main network measured in
this same run.

Per connection it prints the time of the whole pair (element copy, saves,
status report, the network solve's full recipe) and of the network solve
alone, the load-flow work (model builds, symbolic analyses, full
factorisations, refactorisations, iterations, memo hits), and where the
time went (solutions, saves), then call by call through the recipe: the
mean time of each solution call of a connection, how often it was computed
rather than remembered, and its mean work. One flat-start rsol of the main
network is timed twice: from nothing (everything kept forgotten first, as
in a fresh session) and with the network model and orderings kept (its
inputs changed, so that it is computed). The ratios are per-connection time
over each.

    PYTHONPATH=build/python bench/bench_stepwise.py [--main activsg10k | --main tiled:7] [--repeats 5]

`--main tiled:N` runs on N copies of case_ACTIVSg10k joined by tie lines
(bench/tiled_network.py); the peak memory of the process is printed too.
"""

from __future__ import annotations

import argparse
import contextlib
import io
import resource
import statistics
import sys
import tempfile
import time
from collections import Counter
from pathlib import Path

from openpyxl import load_workbook

REPO_DIR = Path(__file__).resolve().parent.parent
DEMO_DIR = REPO_DIR / "examples" / "demo"
ACTIVSG10K = REPO_DIR / "tests" / "data" / "matpower" / "case_ACTIVSg10k.m"
WORK_KEYS = ("model_builds", "symbolic_analyses", "full_factorisations", "refactorisations", "iterations",
             "memo_hits")
FLAT_RSOL = ([1, 2, 0, 0, 1, 1, 0, 99, 0, 0], [500.0, 5.0])

sys.path.insert(0, str(Path(__file__).resolve().parent))
from bench_run import simulator_folder, write_workbook  # noqa: E402
from tiled_network import write_tiled_matpower  # noqa: E402


class SimulatorMeter:
    """Wraps the simulator's solution and save calls: times them and adds up
    the work each solution reports."""

    def __init__(self, psspy):
        self.seconds = Counter()
        self.calls = Counter()
        self.work = Counter()
        self.cpu = 0.0
        # Every call in order: (name, arguments, wall, CPU, work); a
        # connection's calls end at its numbered save (see `connection_solved`).
        self.log = []
        self.connections = []
        self._psspy = psspy
        for name in ("rsol", "fnsl", "save"):
            setattr(psspy, name, self._timed(name, getattr(psspy, name)))

    def _timed(self, name, operation):
        def timed(*args, **kwargs):
            start, cpu = time.perf_counter(), time.thread_time()
            try:
                return operation(*args, **kwargs)
            finally:
                wall, thread = time.perf_counter() - start, time.thread_time() - cpu
                self.seconds[name] += wall
                self.calls[name] += 1
                done = {}
                if name != "save":
                    self.cpu += thread
                    done = work(self._psspy)
                    self.work.update(done)
                self.log.append((name, (args, kwargs), wall, thread, done))
        return timed

    def connection_solved(self):
        """The calls since the previous connection's numbered save, which
        the network solve has just made, are this connection's."""
        self.connections.append(self.log)
        self.log = []

    def reset(self):
        self.seconds.clear()
        self.calls.clear()
        self.work.clear()
        self.cpu = 0.0
        self.log = []
        self.connections = []


def work(psspy) -> dict:
    """The last solution's work; empty with a simulator that does not tell
    (an earlier build, measured for comparison)."""
    return psspy.loadflow_work() if hasattr(psspy, "loadflow_work") else {}


def demo_plants() -> list[tuple[str, int]]:
    """(RAW file stem, connecting bus) of the demo workbook's plants."""
    book = load_workbook(DEMO_DIR / "config.xlsx", read_only=True)
    rows = list(book["Plants"].iter_rows(values_only=True))[1:]
    return [(Path(name).stem, int(bus)) for enabled, _, name, bus in rows if str(enabled).lower() == "yes"]


def start_of(name: str, arguments) -> str:
    """The start profile a solution call asks for (simulator/docs/loadflow.md,
    options 6 and, for rsol, 7): "flat", "DC angles" or "case"."""
    args, kwargs = arguments
    options = list(args[0]) if args else []

    def option(k: int) -> int:
        if f"options{k}" in kwargs:
            return int(kwargs[f"options{k}"])
        return int(options[k - 1]) if len(options) >= k else 0

    if name == "rsol" and option(7) & 4:
        return "DC angles"
    return {1: "flat", 4: "DC angles"}.get(option(6), "case")


def usual_recipes(connections: list[list]) -> list[list]:
    """The solution calls of the connections whose solve made the most
    common number of them (a retry adds calls)."""
    solutions = [[call for call in calls if call[0] != "save"] for calls in connections]
    if not solutions:
        return []
    usual = Counter(len(calls) for calls in solutions).most_common(1)[0][0]
    return [calls for calls in solutions if len(calls) == usual]


def first_call_times(connections: list[list]) -> tuple[list[float], list[float]]:
    """Wall and CPU times of each connection's first recipe call when it is a
    flat start that built the model: it does the work of a flat-start solve
    from nothing (model, orderings, pivots; see its counters), timed within
    the run, under the same load as the connection around it."""
    first = [calls[0] for calls in usual_recipes(connections)
             if start_of(calls[0][0], calls[0][1]) == "flat" and calls[0][4].get("model_builds", 0) > 0]
    return [c[2] for c in first], [c[3] for c in first]


def recipe_breakdown(connections: list[list]) -> list[str]:
    """Lines of the per-call table over the connections whose solve made the
    most common number of solution calls."""
    same = usual_recipes(connections)
    if not same:
        return []
    usual = len(same[0])
    lines = [f"  recipe call by call ({len(same)} of {len(connections)} connections made {usual} solution calls; "
             "means per connection):"]
    for position in range(usual):
        calls = [c[position] for c in same]
        name = calls[0][0]
        wall = statistics.mean(c[2] for c in calls) * 1e3
        cpu = statistics.mean(c[3] for c in calls) * 1e3
        computed = sum(1 for c in calls if not c[4].get("memo_hits", 0)) / len(calls)
        done = ", ".join(f"{k.replace('_', ' ')} {statistics.mean(c[4].get(k, 0) for c in calls):.2f}"
                         for k in WORK_KEYS if k != "memo_hits")
        lines.append(f"    {position + 1:2d} {name} {start_of(name, calls[0][1]):9} {wall:6.1f} ms "
                     f"({cpu:5.1f} CPU), computed {computed:4.0%}: {done}")
    # Each connection's calls end with its numbered save.
    saves = [calls[-1] for calls in connections if calls and calls[-1][0] == "save"]
    if saves:
        lines.append(f"    numbered save after the recipe: {statistics.mean(c[2] for c in saves) * 1e3:.1f} ms "
                     f"({statistics.mean(c[3] for c in saves) * 1e3:.1f} CPU)")
    return lines


def stats(values: list[float]) -> str:
    return f"{min(values) * 1e3:.1f} / {statistics.median(values) * 1e3:.1f} / {max(values) * 1e3:.1f}"


def time_flat_rsol(psspy, main: Path, repeats: int) -> dict:
    """One flat-start rsol of the main network, from nothing and with the
    model kept (the swing bus's angle nudged so that it is computed): wall
    and thread CPU times, and the work of the last one."""
    assert psspy.case(str(main)) == 0
    kinds = ("cold", "warm") if hasattr(psspy, "loadflow_reset") else ("warm",)
    out = {kind: dict(wall=[], cpu=[], work={}) for kind in kinds}
    swing_bus = find_swing(psspy, main)
    ierr, swing = psspy.busdat(ibus=swing_bus, string="ANGLED")
    for r in range(repeats):
        for kind in kinds:
            if kind == "cold":
                psspy.loadflow_reset()
            psspy.bus_chng_4(ibus=swing_bus, realar3=swing + (2 * r + (kind == "warm")) * 1e-7)
            start, cpu = time.perf_counter(), time.thread_time()
            psspy.rsol(*FLAT_RSOL)
            out[kind]["cpu"].append(time.thread_time() - cpu)
            out[kind]["wall"].append(time.perf_counter() - start)
            out[kind]["work"] = work(psspy)
            assert psspy.solved() == 0, "the main network does not solve from a flat start"
    return out


_swing_bus = {}


def find_swing(psspy, main: Path) -> int:
    if main not in _swing_bus:
        import caspy
        case = caspy.Savecase(str(main))
        _swing_bus[main] = next(n for n, t in zip(case.pssbus["NUM"], case.pssbus["IDE"]) if t == 3)
    return _swing_bus[main]


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--main", default="activsg10k", help="activsg10k, tiled:N or a MATPOWER file")
    parser.add_argument("--repeats", type=int, default=5, help="timings of the reference rsol")
    args = parser.parse_args()

    simulator = simulator_folder()
    sys.path.insert(0, str(simulator))
    import psspy
    import velquin_main

    with tempfile.TemporaryDirectory(prefix="velquin-bench-stepwise-") as scratch:
        folder = Path(scratch)
        psspy.progress_output(islct=2, filarg=str(folder / "preparing.txt"))
        if args.main.startswith("tiled:"):
            source = folder / "tiled.m"
            info = write_tiled_matpower(source, int(args.main.split(":", 1)[1]))
            label = f"{info['buses']} buses ({args.main})"
        else:
            source = ACTIVSG10K if args.main == "activsg10k" else Path(args.main)
            label = source.stem
        assert psspy.read_matpower(str(source)) == 0
        main_case = folder / "main.sav"
        assert psspy.save(sfile=str(main_case)) == 0
        plants = []
        for stem, bus in demo_plants():
            assert psspy.read(0, str(DEMO_DIR / "cases" / f"{stem}.raw")) == 0
            path = folder / f"{stem}.sav"
            assert psspy.save(sfile=str(path)) == 0
            plants.append((path, bus))
        workbook = folder / "config.xlsx"
        write_workbook(workbook, simulator, [main_case], plants, folder / "results")

        meter = SimulatorMeter(psspy)
        events = []

        def observe(event, facts):
            events.append((event, facts))
            if event == "connection_solved":
                meter.connection_solved()

        output = io.StringIO()
        start, cpu = time.perf_counter(), time.process_time()
        with contextlib.redirect_stdout(output):
            velquin_main.run_integration(str(workbook.parent), workbook.name, observer=observe)
        total, total_cpu = time.perf_counter() - start, time.process_time() - cpu
        pairs = [facts for event, facts in events if event == "pair_finished"]
        solutions = dict(seconds=dict(meter.seconds), calls=dict(meter.calls), work=dict(meter.work),
                         cpu=meter.cpu)
        by_call = recipe_breakdown(meter.connections)
        first_wall, first_cpu = first_call_times(meter.connections)
        meter.reset()
        peak_mb = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024
        reference = time_flat_rsol(psspy, main_case, args.repeats)

    connections = sum(p["reconnected"] for p in pairs)
    network_solve = sum(p["stages"].get("network solve", 0.0) for p in pairs)
    pair_time = sum(sum(p["stages"].values()) for p in pairs)
    per = pair_time / connections
    print(f"Main network {label}, {len(pairs)} plants, {connections} connections brought back, "
          f"all converged: {all(p['converged'] for p in pairs)}")
    per_cpu = total_cpu / connections
    print(f"  whole run {total:.2f} s wall ({total_cpu:.2f} s CPU); the pairs' stages {pair_time:.2f} s")
    print(f"  per connection: {per * 1e3:.1f} ms wall, {per_cpu * 1e3:.1f} ms CPU (whole pair: copy, saves, "
          f"report, network solve); {network_solve / connections * 1e3:.1f} ms wall in the network solve")
    calls = solutions["calls"]
    seconds = solutions["seconds"]
    n_solutions = calls.get("rsol", 0) + calls.get("fnsl", 0)
    print(f"  solutions: {n_solutions} ({n_solutions / connections:.1f} per connection), "
          f"{(seconds.get('rsol', 0) + seconds.get('fnsl', 0)) / connections * 1e3:.1f} ms per connection "
          f"({solutions['cpu'] / connections * 1e3:.1f} ms CPU); saves: {calls.get('save', 0)}, "
          f"{seconds.get('save', 0) / connections * 1e3:.1f} ms per connection")
    work = solutions["work"]
    print("  work per connection: " + ", ".join(f"{k.replace('_', ' ')} {work.get(k, 0) / connections:.2f}"
                                                 for k in WORK_KEYS))
    print("  stages per connection: " + ", ".join(
        f"{stage} {sum(p['stages'].get(stage, 0.0) for p in pairs) / connections * 1e3:.1f} ms"
        for stage in pairs[0]["stages"]))
    for line in by_call:
        print(line)
    if first_wall:
        # Timed in every connection, this reference shares the run's load,
        # which the rsol timed after the run (below) may not.
        print(f"  the recipe's first call (flat rsol, model built) in {len(first_wall)} connections: wall "
              f"{stats(first_wall)} ms, CPU {stats(first_cpu)} ms (min/median/max)")
        # Both are means over the connections: their ratio is that of the totals.
        print(f"      ratio per connection / their mean ({statistics.mean(first_wall) * 1e3:.1f} ms wall, "
              f"{statistics.mean(first_cpu) * 1e3:.1f} ms CPU): {per / statistics.mean(first_wall):.2f} (wall), "
              f"{per_cpu / statistics.mean(first_cpu):.2f} (CPU)")
    for kind, label in (("cold", "from nothing"), ("warm", "model kept")):
        if kind not in reference:
            continue
        r = reference[kind]
        print(f"  one flat-start rsol, {label:12}: wall {stats(r['wall'])} ms, CPU {stats(r['cpu'])} ms "
              f"(min/median/max); work " + ", ".join(f"{k.replace('_', ' ')} {r['work'].get(k, 0)}"
                                                     for k in WORK_KEYS))
        print(f"      ratio per connection / that rsol: {per / statistics.median(r['wall']):.2f} (wall), "
              f"{per_cpu / statistics.median(r['cpu']):.2f} (CPU)")
    print(f"  peak memory of the process: {peak_mb:.0f} MB")
    return 0


if __name__ == "__main__":
    sys.exit(main())
