#!/usr/bin/python3
"""Runs the network solve's solution calls on every network of the test
data with one build's simulator and records what a user sees: the status
after each call, the progress text, and the saved case after each call
(after the last call only for networks above 3,000 buses). Two builds'
folders are then compared with bench/compare_results:

    bench/capture_network_results.py --simulator build/simulator OUT_NEW
    bench/capture_network_results.py --simulator ../main-build/simulator OUT_MAIN
    build/bench/compare_results OUT_MAIN OUT_NEW
"""

from __future__ import annotations

import argparse
import os
import sys
from pathlib import Path

REPO_DIR = Path(__file__).resolve().parent.parent
DATA_DIR = REPO_DIR / "tests" / "data"

RSOL_STEP = dict(options1=1, options2=2, options6=1, options7=0, options8=99, options9=0, options10=0)
FNSL_STEP = dict(options1=2, options4=1, options5=1, options6=0, options7=99, options8=0)
RECIPE = [("rsol", RSOL_STEP), ("rsol", ([1, 2, 0, 0, 1, 1, 0, 99, 0, 0], [500.0, 5.0])),
          ("rsol", ([1, 2, 0, 0, 1, 1, 0, 99, 0, 0], [500.0, 5.0])), ("fnsl", ([2, 0, 0, 1, 1, 0, 99, 0],)),
          ("fnsl", ([2, 0, 0, 1, 1, 0, 99, 0],)), ("rsol", ([1, 2, 0, 0, 1, 1, 0, 99, 0, 0], [500.0, 5.0])),
          ("fnsl", ([2, 0, 0, 1, 1, 4, 99, 0],)), ("fnsl", ([2, 0, 0, 1, 1, 4, 99, 0],)),
          ("rsol", ([1, 2, 0, 0, 1, 1, 4, 99, 0, 0], [500.0, 5.0])),
          ("rsol", ([1, 2, 0, 0, 1, 1, 0, 99, 0, 0], [500.0, 5.0]))]
# One connection of the network solve when every call converges, then the
# driver's own call from the case's voltages with a flat restart.
CALLS = [("rsol", RSOL_STEP), ("rsol", RSOL_STEP)] + RECIPE + [("fnsl", FNSL_STEP), ("rsol", RSOL_STEP),
                                                               ("fnsl", FNSL_STEP)] + \
        [("rsol", dict(options1=1, options2=2, options7=2, options9=1, options10=0))]


def call(psspy, name, args):
    function = getattr(psspy, name)
    return function(**args) if isinstance(args, dict) else function(*args)


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--simulator", type=Path, required=True, help="folder of psspy and caspy")
    parser.add_argument("out", type=Path)
    args = parser.parse_args()
    sys.path.insert(0, str(args.simulator.resolve()))
    import caspy
    import psspy

    args.out = args.out.resolve()
    args.out.mkdir(parents=True, exist_ok=True)
    networks = sorted((DATA_DIR / "matpower").glob("*.m")) + sorted((DATA_DIR / "raw").glob("*"))
    for path in networks:
        if path.suffix.lower() not in (".m", ".raw"):
            continue
        folder = args.out / path.stem
        folder.mkdir(exist_ok=True)
        # Saves name their files on the progress output: relative names keep
        # the text the same whichever folder a build writes to.
        os.chdir(folder)
        psspy.progress_output(islct=2, filarg="progress.txt")
        ierr = psspy.read_matpower(str(path)) if path.suffix == ".m" else psspy.read(0, str(path))
        if ierr != 0:
            (folder / "statuses.txt").write_text(f"not read: {ierr}\n")
            continue
        buses = len(caspy.Savecase(str(save(psspy, Path("read")))).pssbus["NUM"])
        statuses = []
        for k, (name, arguments) in enumerate(CALLS):
            statuses.append(f"{k} {name} {call(psspy, name, arguments)} {psspy.solved()}")
            if buses <= 3000 or k == len(CALLS) - 1:
                save(psspy, Path(f"after_{k:02d}"))
        Path("statuses.txt").write_text("\n".join(statuses) + "\n")
        Path("read.sav").unlink()
        print(f"{path.name}: {buses} buses, statuses {' '.join(s.split()[-1] for s in statuses)}")
    psspy.progress_output(islct=6)
    return 0


def save(psspy, stem: Path) -> Path:
    assert psspy.save(sfile=str(stem)) == 0
    return stem.with_suffix(".sav")


if __name__ == "__main__":
    sys.exit(main())
