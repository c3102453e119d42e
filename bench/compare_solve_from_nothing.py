#!/usr/bin/python3
"""Solution from nothing, this build against a baseline, in one command:
bench/bench_solve_from_nothing.cpp is compiled against the baseline's source
and simulator library (for example main, exported with `git archive` and
built in a folder of its own), then both programs run in turn, alternating,
and the thread CPU times are compared network by network.

    bench/compare_solve_from_nothing.py --baseline-source SRC --baseline-build BUILD
        [--build build] [--rounds 8] [--repeats 5] [FILE.m ...]

For each network and start it prints the baseline's and this build's
minimum / median / maximum (over rounds, each round the minimum of its
repeats) and the ratio of this build to the baseline: min / median / max of
the per-round ratios.
"""

from __future__ import annotations

import argparse
import statistics
import subprocess
import sys
import tempfile
from collections import defaultdict
from pathlib import Path

REPO_DIR = Path(__file__).resolve().parent.parent
DEFAULT_FILES = [REPO_DIR / "tests" / "data" / "matpower" / name
                 for name in ("case9241pegase.m", "case_ACTIVSg10k.m")]


def compile_against(source_dir: Path, build_dir: Path, target: Path) -> None:
    library = build_dir / "simulator"
    subprocess.run(["g++", "-O2", "-std=c++20", f"-I{source_dir / 'simulator' / 'core'}",
                    str(REPO_DIR / "bench" / "bench_solve_from_nothing.cpp"), f"-L{library}", "-lvelquin_sim",
                    f"-Wl,-rpath,{library}", "-o", str(target)], check=True)


def run(program: Path, repeats: int, files: list[Path]) -> dict:
    out = subprocess.run([str(program), str(repeats)] + [str(f) for f in files], check=True, capture_output=True,
                         text=True).stdout
    results = {}
    for line in out.splitlines():
        name, start, best, median, iterations, status = line.split()
        results[(name, start)] = (float(best), int(iterations), int(status))
    return results


def spread(values: list[float]) -> str:
    return f"{min(values):8.2f} {statistics.median(values):8.2f} {max(values):8.2f}"


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--baseline-source", type=Path, required=True)
    parser.add_argument("--baseline-build", type=Path, required=True)
    parser.add_argument("--build", type=Path, default=REPO_DIR / "build")
    parser.add_argument("--rounds", type=int, default=8)
    parser.add_argument("--repeats", type=int, default=5)
    parser.add_argument("files", nargs="*", type=Path, default=DEFAULT_FILES)
    args = parser.parse_args()
    with tempfile.TemporaryDirectory(prefix="velquin-from-nothing-") as scratch:
        baseline, current = Path(scratch) / "baseline", Path(scratch) / "current"
        compile_against(args.baseline_source, args.baseline_build, baseline)
        compile_against(REPO_DIR, args.build, current)
        times = defaultdict(lambda: ([], []))
        iterations = {}
        for _ in range(args.rounds):
            for side, program in ((0, baseline), (1, current)):
                for key, (best, its, status) in run(program, args.repeats, args.files).items():
                    times[key][side].append(best)
                    iterations.setdefault(key, [None, None])[side] = (its, status)
    print(f"thread CPU time, ms; {args.rounds} alternating rounds, each the minimum of {args.repeats} solutions")
    print(f"{'network':18} {'start':7} {'baseline min/med/max':>28} {'this build min/med/max':>28} "
          f"{'ratio min/med/max':>22}  iterations (baseline, this)")
    for (name, start), (old, new) in sorted(times.items()):
        ratios = [b / a for a, b in zip(old, new)]
        print(f"{name:18} {start:7} {spread(old):>28} {spread(new):>28} {spread(ratios):>22}  "
              f"{iterations[(name, start)]}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
