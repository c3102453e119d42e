#!/usr/bin/python3
"""Times a whole integration run, stage by stage: a generated plant (a
collector network of a few or of about a hundred buses, every bus number
taken in the main network) grafted onto main networks of increasing size
through velquin_main.run_integration on the embedded simulator.

Stages are those run_integration's observer reports (read, renumber, maps,
start, copy, saves, report, discover, disconnect, first solve, network solve,
modify generators, close); "read" adds the main case's read. The simulator's
own calls are timed too, by wrapping them in its modules: every save (also
those inside the element transfers and the network solve) and every load-flow
solution (rsol, fnsl).

Growth is given as ratios against the smallest main network and the smallest
plant, measured in this same process.

    PYTHONPATH=build/python /usr/bin/python3 bench/bench_run.py [--mains NAME,...] [--plants 12,100]
"""

import argparse
import contextlib
import io
import math
import sys
import tempfile
import time
from collections import Counter
from pathlib import Path

REPO_DIR = Path(__file__).resolve().parent.parent
DATA_DIR = REPO_DIR / "tests" / "data" / "matpower"
MAINS = ["case_ACTIVSg200", "case_ACTIVSg2000", "case6515rte", "case9241pegase", "case_ACTIVSg10k"]
STAGES = ["read", "renumber", "maps", "start", "copy", "saves", "report", "discover", "disconnect",
          "first solve", "network solve", "modify generators", "close"]


def simulator_folder():
    import velquin_main
    return Path(velquin_main.__file__).resolve().parent.parent / "simulator"


class SimulatorClock:
    """Wraps the simulator's save and solution calls to count and time them."""

    WRAPPED = {"psspy": ("save", "rsol", "fnsl"), "caspy": ("Savecase",)}

    def __init__(self, modules):
        self.seconds = Counter()
        self.calls = Counter()
        for module_name, names in self.WRAPPED.items():
            module = modules[module_name]
            for name in names:
                setattr(module, name, self._timed(name, getattr(module, name)))

    def _timed(self, name, operation):
        def timed(*args, **kwargs):
            start = time.perf_counter()
            try:
                return operation(*args, **kwargs)
            finally:
                self.seconds[name] += time.perf_counter() - start
                self.calls[name] += 1
        return timed

    def take(self):
        taken = dict(seconds=dict(self.seconds), calls=dict(self.calls))
        self.seconds.clear()
        self.calls.clear()
        return taken


def point_of_interconnection(caspy, main_path):
    """The main network's bus with the most branches among the highest-voltage
    buses: a strong place to connect a plant."""
    case = caspy.Savecase(str(main_path))
    degree = Counter(case.casbrn["FRMBUS"]) + Counter(case.casbrn["TOBUS"])
    for buses in case.castrn["BUSNUM"]:
        degree.update(b for b in buses if b)
    kv = dict(zip(case.pssbus["NUM"], case.pssbus["BASKV"]))
    top_kv = max(kv.values())
    candidates = [b for b in kv if kv[b] >= 0.5 * top_kv] or list(kv)
    poi = max(candidates, key=lambda b: (degree[b], -b))
    return poi, kv[poi], [n for n in case.pssbus["NUM"] if n != poi]


def build_plant(psspy, path, poi, poi_kv, taken_numbers, feeders, units_per_feeder):
    """A plant of 2 + 2 * feeders * units buses on numbers taken in the main
    network: HV bus tied to the connecting bus, main transformer, collector
    bus, feeders of MV buses each with a pad-mount transformer to a 1 MW
    unit; station service, a capacitor and a pump motor at the collector."""
    numbers = iter(taken_numbers)
    assert psspy.newcase_2(basemva=100.0) == 0
    assert psspy.bus_data_4(ibus=poi, intgar1=3, realar1=poi_kv, name="POI") == 0
    hv, collector = next(numbers), next(numbers)
    assert psspy.bus_data_4(ibus=hv, realar1=poi_kv, name="PLANT HV") == 0
    assert psspy.bus_data_4(ibus=collector, realar1=34.5, name="COLLECTOR") == 0
    assert psspy.branch_data_4(ibus=poi, jbus=hv, ckt="1", realar1=0.0005, realar2=0.005) == 0
    assert psspy.two_winding_data_6(ibus=hv, jbus=collector, ckt="1", realari1=0.002, realari2=0.08)[0] == 0
    assert psspy.load_data_7(ibus=collector, id="SS", realar1=0.3, realar2=0.1) == 0
    assert psspy.shunt_data(ibus=collector, id="C1", realar2=2.0) == 0
    assert psspy.induction_machine_data_2(ibus=collector, id="M1", realar1=2.0, realar3=0.5) == 0
    for feeder in range(feeders):
        upstream = collector
        for unit in range(units_per_feeder):
            mv, lv = next(numbers), next(numbers)
            assert psspy.bus_data_4(ibus=mv, realar1=34.5, name=f"F{feeder}U{unit} MV") == 0
            assert psspy.bus_data_4(ibus=lv, intgar1=2, realar1=0.69, name=f"F{feeder}U{unit} LV") == 0
            assert psspy.branch_data_4(ibus=upstream, jbus=mv, ckt="1", realar1=0.004, realar2=0.008) == 0
            assert psspy.two_winding_data_6(ibus=mv, jbus=lv, ckt="1", realari1=0.02, realari2=0.6)[0] == 0
            assert psspy.plant_data_4(ibus=lv, realar1=1.0) == 0
            assert psspy.machine_data_5(ibus=lv, id="1", realar1=1.0, realar3=0.4, realar4=-0.4, realar5=1.0,
                                        realar6=0.0, realar7=1.2) == 0
            upstream = mv
    assert psspy.save(sfile=str(path)) == 0
    return 2 + 2 * feeders * units_per_feeder


def write_workbook(path, simulator, main_cases, plants, results, psse_init=150000):
    """A workbook of the main cases [saved case, ...] and the plants [(saved
    case, connecting bus), ...] on the simulator `simulator` (a folder, or
    "embedded"), with the results under `results`."""
    from openpyxl import Workbook
    book = Workbook()
    sheets = book.active
    sheets.title = "Sheets"
    for row in (["SHEET NAME", "SHEET TYPE", "SHEET RUN ENABLED", "FOLDER PATH TO STORE RESULTS FOR SHEET"],
                ["Software", "SOFT_INPUT", True, None], ["Main", "MAIN_INPUT", True, None],
                ["Plants", "CASE_INPUT", True, str(results)]):
        sheets.append(row)
    rows = {"Software": [["ATTRIBUTE DESCRIPTION", "ATTRIBUTE VALUE"], ["psse_path", str(simulator)],
                         ["psse_version", 35.5], ["psse_init", psse_init]],
            "Main": [["ENABLED", "SNAPSHOT FILEPATH", "SNAPSHOT FILENAME"]] + [["yes", str(p.parent), p.name]
                                                                               for p in main_cases],
            "Plants": [["ENABLED", "FILEPATH OF CASE TO BE ADDED", "NAME OF CASE TO BE ADDED",
                        "CONNECTING BUS NUMBER"]] + [["yes", str(p.parent), p.stem, bus] for p, bus in plants]}
    for title, lines in rows.items():
        sheet = book.create_sheet(title)
        for line in lines:
            sheet.append(line)
    book.save(path)


def run_pair(velquin_main, clock, workbook):
    events = []
    output = io.StringIO()
    start = time.perf_counter()
    with contextlib.redirect_stdout(output):
        velquin_main.run_integration(str(workbook.parent), workbook.name,
                                     observer=lambda event, facts: events.append((event, facts)))
    total = time.perf_counter() - start
    facts = {event: f for event, f in events}
    pair = facts["pair_finished"]
    stages = dict(pair["stages"])
    stages["read"] += facts["main_case_read"]["seconds"]
    return dict(total=total, stages=stages, converged=pair["converged"], connections=pair["connections"],
                reconnected=pair["reconnected"], simulator=clock.take())


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--mains", default=",".join(MAINS), help="MATPOWER cases of tests/data/matpower")
    parser.add_argument("--plants", default="12,100", help="plant sizes in buses (2 + 2 x units)")
    args = parser.parse_args()

    simulator = simulator_folder()
    sys.path.insert(0, str(simulator))
    import caspy
    import psspy
    import velquin_main

    plants = []
    for size in (int(s) for s in args.plants.split(",")):
        units = max(1, (size - 2) // 2)
        # As many feeders as units per feeder, or fewer feeders when units
        # do not divide evenly.
        feeders = max(d for d in range(1, math.isqrt(units) + 1) if units % d == 0)
        plants.append((feeders, units // feeders))

    clock = None
    results = []
    with tempfile.TemporaryDirectory(prefix="velquin-bench-run-") as scratch:
        folder = Path(scratch)
        psspy.progress_output(islct=2, filarg=str(folder / "preparing.txt"))
        for name in args.mains.split(","):
            main_path = folder / f"{name.lower()}.sav"
            assert psspy.read_matpower(ifile=str(DATA_DIR / f"{name}.m")) == 0, name
            assert psspy.save(sfile=str(main_path)) == 0
            poi, poi_kv, taken = point_of_interconnection(caspy, main_path)
            main_buses = len(taken) + 1
            for feeders, units in plants:
                plant_path = folder / f"plant_{feeders}x{units}.sav"
                buses = build_plant(psspy, plant_path, poi, poi_kv, taken, feeders, units)
                results_folder = folder / "results"
                workbook = folder / "config.xlsx"
                write_workbook(workbook, simulator, [main_path], [(plant_path, poi)], results_folder)
                if clock is None:
                    clock = SimulatorClock({"psspy": psspy, "caspy": caspy})
                clock.take()  # the preparation's own calls are not the run's
                outcome = run_pair(velquin_main, clock, workbook)
                outcome.update(main=name, main_buses=main_buses, plant_buses=buses)
                results.append(outcome)
                report_one(outcome)
                psspy.progress_output(islct=2, filarg=str(folder / "preparing.txt"))
    report_growth(results)


def report_one(r):
    sim = r["simulator"]
    print(f"{r['main']} ({r['main_buses']} buses) + plant of {r['plant_buses']} buses: "
          f"{r['total']:.2f} s, {'converged' if r['converged'] else 'NOT converged'}, "
          f"{r['reconnected']} of {r['connections']} connections")
    print("    " + "  ".join(f"{stage} {r['stages'].get(stage, 0.0):.3f}" for stage in STAGES))
    solutions = sim["calls"].get("rsol", 0) + sim["calls"].get("fnsl", 0)
    solve_seconds = sim["seconds"].get("rsol", 0.0) + sim["seconds"].get("fnsl", 0.0)
    print(f"    simulator: {sim['calls'].get('save', 0)} saves {sim['seconds'].get('save', 0.0):.3f} s, "
          f"{solutions} solutions {solve_seconds:.3f} s, "
          f"{sim['calls'].get('Savecase', 0)} case reads {sim['seconds'].get('Savecase', 0.0):.3f} s")
    sys.stdout.flush()


def report_growth(results):
    if not results:
        return
    print()
    print("Share of the run per stage (all pairs together):")
    totals = Counter()
    for r in results:
        totals.update(r["stages"])
    whole = sum(totals.values())
    for stage, seconds in totals.most_common():
        print(f"    {stage:18} {seconds:8.2f} s  {100 * seconds / whole:5.1f} %")
    plants = sorted({r["plant_buses"] for r in results})
    mains = []
    for r in results:
        if r["main"] not in mains:
            mains.append(r["main"])
    find = {(r["main"], r["plant_buses"]): r for r in results}
    print()
    print("Growth with the main network (ratio to the smallest main network, same plant):")
    for plant in plants:
        base = find.get((mains[0], plant))
        for name in mains[1:]:
            r = find.get((name, plant))
            if base and r:
                print(f"    plant {plant:3} buses, {name:18} {r['main_buses'] / base['main_buses']:6.1f}x buses: "
                      + ratios(r, base))
    print("Growth with the plant (ratio to the smallest plant, same main network):")
    for name in mains:
        base = find.get((name, plants[0]))
        for plant in plants[1:]:
            r = find.get((name, plant))
            if base and r:
                print(f"    {name:18} {r['connections'] / max(1, base['connections']):5.1f}x connections: "
                      + ratios(r, base))


def ratios(r, base):
    parts = [f"total {r['total'] / base['total']:.1f}x"]
    for stage in ("read", "renumber", "copy", "saves", "report", "network solve"):
        b = base["stages"].get(stage, 0.0)
        parts.append(f"{stage} {r['stages'].get(stage, 0.0) / b:.1f}x" if b > 0 else f"{stage} -")
    return ", ".join(parts)


if __name__ == "__main__":
    main()
