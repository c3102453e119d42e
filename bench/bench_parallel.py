#!/usr/bin/python3
"""Times `velquin run WORKBOOK` (sequential) against `velquin run --workers N
WORKBOOK` (parallel) on the same workbook, in one command.

The workbook has several main cases (copies of one MATPOWER network under
their own names) and, for each, the same generated plants (bench_run's
plants: every bus number taken in the main network). The two commands run
alternately, each into a fresh result folder, as a user runs them (a new
process, the workbook read, for the parallel run the local Dask cluster
started and stopped); the first parallel run's files are checked against the
first sequential run's, byte for byte (but for the files that hold times:
the run's summary and the study report). Prints min/median/max of each side
and the ratio parallel / sequential, for the whole command and for the part
until the run's summary is written (the main cases, without the study
report that both commands then build the same way), and for the processor
time of all the processes of each command (what the parallel run costs
more, whatever else the machine runs).

    PYTHONPATH=build/python VELQUIN_BUILD_DIR=build /usr/bin/python3 bench/bench_parallel.py \
        [--main case_ACTIVSg10k] [--main-cases 4] [--plants 2] [--workers 2] [--repeats 3]
"""

import argparse
import os
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

import bench_run
from bench_run import DATA_DIR, build_plant, point_of_interconnection, simulator_folder

REPO_DIR = Path(__file__).resolve().parent.parent


def write_workbook(path, main_cases, plants, psse_init=150000):
    """A workbook of the main cases and the plants ((name, connecting bus))
    in the folder cases/, results in results/, on the embedded simulator."""
    cases = Path("cases")
    bench_run.write_workbook(path, "embedded", [cases / name for name in main_cases],
                             [(cases / name, poi) for name, poi in plants], "results", psse_init)


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
    """Runs the command; returns its seconds in all, until it has written
    the run's summary (before it builds the study report, which both runs
    build the same way, after all main cases), and its processor seconds."""
    shutil.rmtree(folder / "results", ignore_errors=True)
    used_before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    summary_written = None
    output = []
    with subprocess.Popen([sys.executable, str(REPO_DIR / "bin" / "velquin"), "run", *options, "config.xlsx"],
                          cwd=folder, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True) as command:
        for line in command.stdout:
            output.append(line)
            if summary_written is None and line.startswith("Run summary:"):
                summary_written = time.perf_counter() - start
    seconds = time.perf_counter() - start
    if command.returncode != 0 or summary_written is None:
        sys.exit(f"velquin run {' '.join(options)} failed ({command.returncode}):\n{''.join(output)}")
    # The processor time of the command and of every process it started
    # (each waited for by its parent: workers, main cases' processes).
    used = resource.getrusage(resource.RUSAGE_CHILDREN)
    processor = (used.ru_utime - used_before.ru_utime) + (used.ru_stime - used_before.ru_stime)
    return seconds, summary_written, processor


def result_files(folder):
    """The run's files but for those that hold its times (its summary, the
    report) or only the parallel run writes (the logs)."""
    root = folder / "results"
    return {p.relative_to(root).as_posix(): p.read_bytes() for p in root.rglob("*")
            if p.is_file() and not p.name.endswith("_console.log") and p.name != "run-summary.json"
            and "report" not in p.relative_to(root).parts}


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
        times = {"sequential": [], "parallel": []}
        for repeat in range(args.repeats):
            # Alternate which side goes first.
            sides = [("sequential", []), ("parallel", ["--workers", str(args.workers)])]
            for side, options in sides if repeat % 2 == 0 else reversed(sides):
                seconds, summary_written, processor = run(folder, options)
                times[side].append((seconds, summary_written, processor))
                if repeat == 0:
                    files = result_files(folder)
                    if side == sides[0][0]:
                        first = files
                    elif files != first:
                        sys.exit("the parallel run's files differ from the sequential run's")
                print(f"  repeat {repeat + 1}: {side:10} {seconds:7.2f} s, run summary written after "
                      f"{summary_written:7.2f} s, processor time {processor:7.2f} s", flush=True)
        for label, index in (("whole command", 0), ("until the run summary (main cases, no report)", 1),
                             ("processor time of all the command's processes", 2)):
            sequential = [t[index] for t in times["sequential"]]
            parallel = [t[index] for t in times["parallel"]]
            ratios = [p / s for p, s in zip(parallel, sequential)]
            print(f"{label}:")
            print(f"  sequential  {spread(sequential)} s")
            print(f"  parallel    {spread(parallel)} s")
            print(f"  ratio parallel / sequential, per repeat: {spread(ratios)}; "
                  f"of the medians {statistics.median(parallel) / statistics.median(sequential):.2f}")


if __name__ == "__main__":
    main()
