#!/usr/bin/python3
"""Times building the study report of a result folder (the demo's by
default, `make demo` first) with this tree's velquin_report against a
baseline's (a git revision, `main` by default), alternating the two sides,
each build in a fresh process: wall and CPU seconds, min/median/max, and the
ratio of the medians. Every build's CSV files must be byte for byte those of
the first baseline build, and its page the same but for the build's date
and duration; the bench fails otherwise.

The builds work on a copy of the result folder made of hard links (the
report reads the run's files and writes only its report/ folder), so the
folder's own report stays as it is.

    VELQUIN_BUILD_DIR=$PWD/build PYTHONPATH=build/python /usr/bin/python3 bench/bench_report.py \\
        [RESULT_FOLDER] [--baseline REV] [--baseline-simulator DIR] [--runs N]

--baseline-simulator: the embedded simulator's modules (caspy, psspy, the
start-up modules) of the baseline's build, to include the simulator's own
part; by default both sides use this build's.
"""

from __future__ import annotations

import argparse
import json
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
from pathlib import Path

REPO_DIR = Path(__file__).resolve().parent.parent
BUILD_DIR = Path(os.environ.get("VELQUIN_BUILD_DIR", REPO_DIR / "build")).resolve()
CSV_FILES = ("stages.csv", "branches.csv", "summary.csv", "full_output.csv")
# What differs between two builds of the same page: when and how long.
VOLATILE = [re.compile(r"built \d{4}-\d\d-\d\d \d\d:\d\d in [\d.]+ s"),
            re.compile(r"<dc:date>[^<]*</dc:date>")]

CHILD = """
import json, sys, time
sys.path.insert(0, sys.argv[1])
import velquin_report
from velquin_report.simulator import open_engine
engine = open_engine(sys.argv[3])
wall, cpu = time.perf_counter(), time.process_time()
velquin_report.build_report(sys.argv[2], engine=engine)
print(json.dumps({"wall": time.perf_counter() - wall, "cpu": time.process_time() - cpu,
                  "package": velquin_report.__file__}))
"""


def _link(source: str, target: str) -> None:
    try:
        os.link(source, target)
    except OSError:  # another file system
        shutil.copy2(source, target)


def linked_copy(folder: Path, into: Path) -> Path:
    target = into / folder.name
    shutil.copytree(folder, target, copy_function=_link, ignore=shutil.ignore_patterns("report"))
    return target


def baseline_package(revision: str, into: Path) -> Path:
    archive = subprocess.run(["git", "-C", str(REPO_DIR), "archive", revision, "velquin_report"],
                             capture_output=True, check=True).stdout
    into.mkdir()
    subprocess.run(["tar", "-x", "-C", str(into)], input=archive, check=True)
    return into


def build(package: Path, folder: Path, simulator: Path) -> dict:
    env = dict(os.environ, PYTHONPATH=str(BUILD_DIR / "python"), VELQUIN_BUILD_DIR=str(BUILD_DIR))
    done = subprocess.run([sys.executable, "-c", CHILD, str(package), str(folder), str(simulator)],
                          capture_output=True, text=True, env=env)
    if done.returncode != 0:
        sys.exit(f"the report of {folder} could not be built with {package}:\n{done.stderr}")
    return json.loads(done.stdout.strip().splitlines()[-1])


def outputs(folder: Path) -> dict[str, bytes]:
    report = folder / "report"
    found = {name: (report / name).read_bytes() for name in CSV_FILES}
    page = (report / "index.html").read_text(encoding="utf-8")
    for pattern in VOLATILE:
        page = pattern.sub("", page)
    found["index.html"] = page.encode()
    return found


def spread(values: list[float]) -> str:
    return f"min {min(values):7.2f}  median {statistics.median(values):7.2f}  max {max(values):7.2f} s"


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("folder", nargs="?", type=Path, default=BUILD_DIR / "demo" / "results")
    parser.add_argument("--baseline", default="main", help="git revision of the baseline's velquin_report")
    parser.add_argument("--baseline-simulator", type=Path, default=None)
    parser.add_argument("--runs", type=int, default=3, help="builds per side")
    args = parser.parse_args()
    if not (args.folder / "run-summary.json").is_file() and not any(args.folder.glob("*/*/*_renumber_map.*")):
        print(f"no run's results in {args.folder}: run `make demo` first, or name a result folder")
        return 0
    simulator = BUILD_DIR / "simulator"
    sides = {"baseline": (args.baseline_simulator or simulator), "this tree": simulator}
    with tempfile.TemporaryDirectory(prefix="bench-report-") as scratch:
        scratch = Path(scratch)
        folder = linked_copy(args.folder.resolve(), scratch)
        packages = {"baseline": baseline_package(args.baseline, scratch / "baseline"), "this tree": REPO_DIR}
        times = {side: {"wall": [], "cpu": []} for side in sides}
        reference = None
        for run in range(args.runs):
            for side in sides:
                result = build(packages[side], folder, sides[side])
                for clock in ("wall", "cpu"):
                    times[side][clock].append(result[clock])
                made = outputs(folder)
                if reference is None:
                    reference = made
                differing = [name for name in made if made[name] != reference[name]]
                if differing:
                    print(f"{side}, build {run + 1}: {', '.join(differing)} differ from the baseline's")
                    return 1
                print(f"build {run + 1}, {side:9}: {result['wall']:6.2f} s wall, {result['cpu']:6.2f} s CPU",
                      flush=True)
    print(f"\nreport of {args.folder} ({args.runs} builds per side, alternating; baseline {args.baseline}"
          f"{', its own simulator' if args.baseline_simulator else ''})")
    for side in sides:
        for clock in ("wall", "cpu"):
            print(f"  {side:9} {clock:4}  {spread(times[side][clock])}")
    for clock in ("wall", "cpu"):
        ratio = statistics.median(times["this tree"][clock]) / statistics.median(times["baseline"][clock])
        print(f"  this tree / baseline, median {clock}: {ratio:.2f}")
    print("  CSV files byte for byte and page (but its date and duration) identical in every build")
    return 0


if __name__ == "__main__":
    sys.exit(main())
