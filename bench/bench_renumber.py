#!/usr/bin/python3
"""Times velquin_misc.renumber_buses on a small case of a few hundred buses
against a main case of tens of thousands, next to a plain dictionary rewrite
of the same fields in the same process.

Run with the build's python folder on the path:
    PYTHONPATH=build/python /usr/bin/python3 bench/bench_renumber.py [--runs N]
"""

import argparse
import contextlib
import io
import random
import statistics
import time
import types

import velquin_misc

SMALL_BUSES = 400
MAIN_BUSES = 60000

BUS_FIELDS = [
    ("pssbus", "NUM"), ("psslod", "NUM"), ("pssfsh", "NUM"), ("pssgen", "NUM"), ("pssgen", "IREG"),
    ("psswsh", "NUM"), ("psswsh", "SWREM"), ("psssub", "NUM"), ("pssind", "NUM"), ("pssald", "NUM"),
    ("psstrn", "CONBUS"), ("pssabx", "FRMBUS"), ("pssabx", "TOBUS"), ("pssmsl", "FRMBUS"), ("pssmsl", "TOBUS"),
    ("pssmsl", "DUMBUS"), ("pssmsl", "METBUS"), ("pssbrn", "FRMBUS"), ("pssbrn", "TOBUS"), ("pssbrn", "METBUS"),
    ("pss3wt", "BUS1ST"), ("pss3wt", "BUS2ND"), ("pss3wt", "BUS3RD"), ("pss3wt", "NMETER"),
    ("casbrn", "FRMBUS"), ("casbrn", "TOBUS"), ("casbrn", "METBUS"), ("castrn", "BUSNUM"), ("castrn", "METBUS"),
    ("castrn", "CONBUS"),
]


def build_cases(rng):
    """Main bus table and the sections of a small case, as tuples per field."""
    main_numbers = tuple(rng.sample(range(1, 200000), MAIN_BUSES))
    main = {"NUM": main_numbers, "IERR": 0}
    # Half of the small case's numbers collide with the main case.
    colliding = rng.sample(main_numbers, SMALL_BUSES // 2)
    free = [n for n in range(200001, 300000)][: SMALL_BUSES - len(colliding)]
    buses = colliding + free
    rng.shuffle(buses)

    def pick(count):
        return tuple(rng.choice(buses) for _ in range(count))

    def floats(count):
        return tuple(round(rng.uniform(0.9, 1.1), 4) for _ in range(count))

    n_lines, n_tx, n_gen, n_load = 450, 120, 60, 250
    frm, to = pick(n_lines), pick(n_lines)
    sections = {
        "pssbus": {"NUM": tuple(buses), "NAME": tuple(f"BUS{b:<8}" for b in buses),
                   "BASKV": tuple(rng.choice((34.5, 138.0, 345.0)) for _ in buses),
                   "TYPE": tuple(rng.choice((1, 2, 3)) for _ in buses), "AREA": (1,) * len(buses),
                   "ZONE": (1,) * len(buses), "VM": floats(len(buses)), "VA": floats(len(buses)), "IERR": 0},
        "psslod": {"NUM": pick(n_load), "ID": ("1 ",) * n_load, "PL": floats(n_load), "QL": floats(n_load)},
        "pssfsh": {"NUM": pick(40), "ID": ("1 ",) * 40, "BL": floats(40)},
        "pssgen": {"NUM": pick(n_gen), "IREG": pick(n_gen), "PG": floats(n_gen), "QT": floats(n_gen)},
        "psswsh": {"NUM": pick(30), "SWREM": pick(30), "BINIT": floats(30)},
        "psssub": {"NUM": pick(20), "NAME": ("SUB",) * 20},
        "pssind": {"NUM": pick(25), "ID": ("1 ",) * 25, "PSET": floats(25)},
        "pssald": {"NUM": pick(15), "ID": ("1 ",) * 15},
        "psstrn": {"CONBUS": pick(n_tx), "ID": ("1 ",) * n_tx},
        "pssabx": {"FRMBUS": pick(10), "TOBUS": pick(10)},
        "pssmsl": {"FRMBUS": pick(10), "TOBUS": pick(10), "DUMBUS": pick(10), "METBUS": pick(10)},
        "pssbrn": {"FRMBUS": frm, "TOBUS": to, "METBUS": frm, "CKT": ("1 ",) * n_lines,
                   "RLINE": floats(n_lines), "XLINE": floats(n_lines)},
        "pss3wt": {"BUS1ST": pick(20), "BUS2ND": pick(20), "BUS3RD": pick(20), "NMETER": pick(20)},
        "casbrn": {"FRMBUS": frm, "TOBUS": to, "METBUS": frm, "CKT": ("1 ",) * n_lines},
        "castrn": {"BUSNUM": pick(n_tx * 2), "METBUS": pick(n_tx * 2), "CONBUS": pick(n_tx * 2)},
    }
    return main, sections


def fresh_case(sections):
    return types.SimpleNamespace(**{name: dict(table) for name, table in sections.items()})


def baseline_renumber(case, main):
    """The same job as plain dictionaries and sets: choose numbers, rewrite the 30 fields."""
    taken = set(main["NUM"])
    mapping = {}
    given = set()
    candidate = 900000
    for old in case.pssbus["NUM"]:
        if old in taken:
            while candidate in taken or candidate in given:
                candidate += 1
            mapping[old] = candidate
            given.add(candidate)
    for section, field in BUS_FIELDS:
        table = dict(getattr(case, section))
        table[field] = tuple(mapping.get(x, x) for x in table[field])
        setattr(case, section, table)
    return case, mapping


def time_runs(function, main, sections, runs):
    times = []
    for _ in range(runs):
        case = fresh_case(sections)
        with contextlib.redirect_stdout(io.StringIO()):
            start = time.perf_counter()
            function(case, main)
            times.append(time.perf_counter() - start)
    return times


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--runs", type=int, default=30)
    args = parser.parse_args()

    main_table, sections = build_cases(random.Random(7))

    def velquin(case, main):
        return velquin_misc.renumber_buses(case, case.pssbus, main, None)

    # Both must produce the same rewrite before their speed means anything.
    with contextlib.redirect_stdout(io.StringIO()):
        ours, our_map = velquin(fresh_case(sections), main_table)
    theirs, their_map = baseline_renumber(fresh_case(sections), main_table)
    assert our_map == their_map, "renumber maps differ"
    for section, field in BUS_FIELDS:
        assert getattr(ours, section)[field] == getattr(theirs, section)[field], (section, field)

    results = {
        "renumber_buses": time_runs(velquin, main_table, sections, args.runs),
        "plain dict baseline": time_runs(baseline_renumber, main_table, sections, args.runs),
    }
    print(f"small case {SMALL_BUSES} buses ({len(our_map)} renumbered), main case {MAIN_BUSES} buses, "
          f"{args.runs} runs")
    for name, times in results.items():
        print(f"{name:>20}: min {min(times) * 1e3:7.2f} ms  median {statistics.median(times) * 1e3:7.2f} ms  "
              f"max {max(times) * 1e3:7.2f} ms")
    ratio = statistics.median(results["renumber_buses"]) / statistics.median(results["plain dict baseline"])
    print(f"median ratio renumber_buses / baseline: {ratio:.2f}")


if __name__ == "__main__":
    main()
