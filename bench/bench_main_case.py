#!/usr/bin/python3
"""Measures one main case as a worker of a parallel run runs it (in a
process of its own, through the worker's task): its time, processor time
and peak memory, with the demo's three plants, on the demo's 10,000-bus
network and on that network tiled to about 80,000 buses. The figures behind
docs/parallel-runs.md: the memory a worker needs, and how many main cases a
worker does per hour.

The tiling is bench/tiled_network.py's: TILES copies of case_ACTIVSg10k
joined by tie lines, bus numbers shifted by 100000 per copy.

    PYTHONPATH=build/python VELQUIN_BUILD_DIR=build /usr/bin/python3 bench/bench_main_case.py [--tiles 8] [--repeats 1]
"""

import argparse
import os
import shutil
import statistics
import sys
import tempfile
import time
from pathlib import Path

from bench_run import simulator_folder
from tiled_network import write_tiled_matpower

REPO_DIR = Path(__file__).resolve().parent.parent
NETWORK = REPO_DIR / "tests" / "data" / "matpower" / "case_ACTIVSg10k.m"
DEMO_CASES = REPO_DIR / "examples" / "demo" / "cases"
# The demo's plants and their connecting buses (examples/demo/README.md).
PLANTS = [("mojave_sun_solar", 25832), ("silver_valley_wind", 74111), ("front_range_storage", 60264)]


def prepare(folder, tiles):
    sys.path.insert(0, str(simulator_folder()))
    import psspy

    cases = folder / "cases"
    cases.mkdir()
    psspy.progress_output(islct=2, filarg=str(folder / "preparing.txt"))
    for name, _ in PLANTS:
        assert psspy.read(numnam=0, ifile=str(DEMO_CASES / f"{name}.raw")) == 0, name
        assert psspy.save(sfile=str(cases / f"{name}.sav")) == 0
    mains = {"grid10k": 10000}
    assert psspy.read_matpower(ifile=str(NETWORK)) == 0
    assert psspy.save(sfile=str(cases / "grid10k.sav")) == 0
    if tiles > 1:
        start = time.perf_counter()
        buses = write_tiled_matpower(folder / "tiled.m", copies=tiles, source=NETWORK)["buses"]
        assert psspy.read_matpower(ifile=str(folder / "tiled.m")) == 0
        assert psspy.save(sfile=str(cases / f"grid{tiles}x10k.sav")) == 0
        mains[f"grid{tiles}x10k"] = buses
        print(f"tiled {tiles} x case_ACTIVSg10k: {buses} buses ({time.perf_counter() - start:.1f} s to build)")
    psspy.progress_output(islct=6)
    return mains


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--tiles", type=int, default=8, help="copies of the 10,000-bus network (1: none)")
    parser.add_argument("--repeats", type=int, default=1)
    args = parser.parse_args()
    sys.path.insert(0, str(REPO_DIR))
    from bench_parallel import write_workbook
    from cli.main_case_task import run_group

    with tempfile.TemporaryDirectory(prefix="velquin-bench-main-case-") as scratch:
        folder = Path(scratch)
        mains = prepare(folder, args.tiles)
        write_workbook(folder / "config.xlsx", list(mains), PLANTS, psse_init=1000000)
        for position, (name, buses) in enumerate(mains.items()):
            runs = []
            written = 0
            for _ in range(args.repeats):
                shutil.rmtree(folder / "results", ignore_errors=True)
                request = {"jobs": [{"position": position, "name": name}], "log_path": str(folder / "main.log"),
                           "cwd": str(folder), "workbook_folder": ".", "workbook_name": "config.xlsx",
                           "traceback": True, "stop_event": None, "dask_variables": {}}
                (result,) = run_group(request)
                if result["failure"] or result["lost"]:
                    sys.exit(f"{name}: {result['failure'] or result['lost']}\n{(folder / 'main.log').read_text()}")
                pairs = [facts for event, facts in result["events"] if event == "pair_finished"]
                written = sum(path.stat().st_size for path in (folder / "results").rglob("*") if path.is_file())
                runs.append((result["seconds"], result["cpu_seconds"], result["peak_memory"],
                             sum(p["converged"] for p in pairs), len(pairs)))
            seconds = statistics.median(run[0] for run in runs)
            cpu = statistics.median(run[1] for run in runs)
            memory = max(run[2] for run in runs)
            print(f"{name} ({buses} buses) with {len(PLANTS)} plants: {seconds:.1f} s "
                  f"(processor {cpu:.1f} s), peak memory {memory / 2**20:.0f} MiB, "
                  f"{runs[0][3]} of {runs[0][4]} pairs converged, {written / 2**30:.2f} GiB of results; "
                  f"a worker does {3600 / cpu:.0f} such main cases per hour of processor time")
        worker_memory()


def worker_memory():
    """The resident memory of an idle worker of the local cluster (the
    process that starts the main cases' processes)."""
    import logging

    import psutil
    from distributed import Client, LocalCluster

    with LocalCluster(n_workers=1, threads_per_worker=1, processes=True, dashboard_address=None,
                      silence_logs=logging.ERROR) as cluster, Client(cluster) as client:
        (rss,) = client.run(lambda: psutil.Process(os.getpid()).memory_info().rss).values()
    print(f"idle Dask worker process: {rss / 2**20:.0f} MiB resident")


if __name__ == "__main__":
    main()
