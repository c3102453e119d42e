#!/usr/bin/python3
"""Times `velquin run WORKBOOK` (sequential) against `velquin run --workers N
WORKBOOK` (parallel) on the same workbook, in one command.

The workbook has several main cases (copies of one MATPOWER network under
their own names) and, for each, the same generated plants (bench_run's
plants: every bus number taken in the main network). The two commands run
alternately, each into a fresh result folder, as a user runs them (a new
process, the workbook read, for the parallel run the local Dask cluster
started and stopped); the first parallel run's files are checked against the
first sequential run's, byte for byte. Prints min/median/max of each side
and the ratio parallel / sequential.

    PYTHONPATH=build/python VELQUIN_BUILD_DIR=build /usr/bin/python3 bench/bench_parallel.py \
        [--main case_ACTIVSg10k] [--main-cases 4] [--plants 2] [--workers 2] [--repeats 3]
"""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

from bench_run import DATA_DIR, build_plant, point_of_interconnection, simulator_folder

REPO_DIR = Path(__file__).resolve().parent.parent


def write_workbook(path, main_cases, plants):
    from openpyxl import Workbook

    book = Workbook()
    rows = {
        "Sheets": [["SHEET NAME", "SHEET TYPE", "SHEET RUN ENABLED", "FOLDER PATH TO STORE RESULTS FOR SHEET"],
                   ["Software", "SOFT_INPUT", True, None], ["Main", "MAIN_INPUT", True, None],
                   ["Plants", "CASE_INPUT", True, "results"]],
        "Software": [["ATTRIBUTE DESCRIPTION", "ATTRIBUTE VALUE"], ["psse_path", "embedded"],
                     ["psse_version", 35.5], ["psse_init", 150000]],
        "Main": [["ENABLED", "SNAPSHOT FILEPATH", "SNAPSHOT FILENAME"],
                 *(["yes", "cases", name] for name in main_cases)],
        "Plants": [["ENABLED", "FILEPATH OF CASE TO BE ADDED", "NAME OF CASE TO BE ADDED", "CONNECTING BUS NUMBER"],
                   *(["yes", "cases", name, poi] for name, poi in plants)],
    }
    book.remove(book.active)
    for title, lines in rows.items():
        sheet = book.create_sheet(title)
        for line in lines:
            sheet.append(line)
    book.save(path)


def build_study(folder, main, main_cases, plant_count):
    sys.path.insert(0, str(simulator_folder()))
    import caspy
    import psspy

    cases = folder / "cases"
    cases.mkdir()
    psspy.progress_output(islct=2, filarg=str(folder / "preparing.txt"))
    assert psspy.read_matpower(ifile=str(DATA_DIR / f"{main}.m")) == 0, main
    names = [f"main{k + 1}" for k in range(main_cases)]
    assert psspy.save(sfile=str(cases / f"{names[0]}.sav")) == 0
    for name in names[1:]:
        shutil.copyfile(cases / f"{names[0]}.sav", cases / f"{name}.sav")
    poi, poi_kv, taken = point_of_interconnection(caspy, cases / f"{names[0]}.sav")
    plants = []
    for k in range(plant_count):
        name = f"plant{k + 1}"
        # Each plant takes other numbers of the main network: three feeders of four units.
        build_plant(psspy, cases / f"{name}.sav", poi, poi_kv, taken[k * 40:], 3, 4)
        plants.append((name, poi))
    psspy.progress_output(islct=6)
    write_workbook(folder / "config.xlsx", names, plants)


def run(folder, options):
    shutil.rmtree(folder / "results", ignore_errors=True)
    environment = dict(os.environ)
    start = time.perf_counter()
    done = subprocess.run([sys.executable, str(REPO_DIR / "bin" / "velquin"), "run", *options, "config.xlsx"],
                          cwd=folder, env=environment, capture_output=True, text=True)
    seconds = time.perf_counter() - start
    if done.returncode != 0:
        sys.exit(f"velquin run {' '.join(options)} failed ({done.returncode}):\n{done.stdout}\n{done.stderr}")
    return seconds


def result_files(folder):
    root = folder / "results"
    return {p.relative_to(root).as_posix(): p.read_bytes() for p in root.rglob("*")
            if p.is_file() and not p.name.endswith("_console.log")}


def spread(values):
    return f"min {min(values):7.2f}  median {statistics.median(values):7.2f}  max {max(values):7.2f}"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--main", default="case_ACTIVSg10k", help="MATPOWER case of tests/data/matpower")
    parser.add_argument("--main-cases", type=int, default=4)
    parser.add_argument("--plants", type=int, default=2, help="plants grafted onto every main case")
    parser.add_argument("--workers", type=int, default=2)
    parser.add_argument("--repeats", type=int, default=3)
    args = parser.parse_args()

    with tempfile.TemporaryDirectory(prefix="velquin-bench-parallel-") as scratch:
        folder = Path(scratch)
        build_study(folder, args.main, args.main_cases, args.plants)
        print(f"{args.main_cases} main cases ({args.main}) x {args.plants} plants of 26 buses; "
              f"parallel: --workers {args.workers}; {os.cpu_count()} processors")
        sequential, parallel = [], []
        for repeat in range(args.repeats):
            # Alternate which side goes first.
            sides = [("sequential", []), ("parallel", ["--workers", str(args.workers)])]
            for side, options in sides if repeat % 2 == 0 else reversed(sides):
                seconds = run(folder, options)
                (sequential if side == "sequential" else parallel).append(seconds)
                if repeat == 0:
                    files = result_files(folder)
                    if side == sides[0][0]:
                        first = files
                    elif files != first:
                        sys.exit("the parallel run's files differ from the sequential run's")
                print(f"  repeat {repeat + 1}: {side:10} {seconds:7.2f} s", flush=True)
        print(f"sequential  {spread(sequential)} s")
        print(f"parallel    {spread(parallel)} s")
        ratios = [p / s for p, s in zip(parallel, sequential)]
        print(f"ratio parallel / sequential, per repeat: {spread(ratios)}; "
              f"of the medians {statistics.median(parallel) / statistics.median(sequential):.2f}")


if __name__ == "__main__":
    main()
