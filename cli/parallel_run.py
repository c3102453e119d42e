"""`velquin run --workers N WORKBOOK` and `velquin run --scheduler ADDRESS
WORKBOOK`: the workbook's main cases at the same time, each with all its
small cases in a process of its own, on Dask's distributed scheduler.

The run first reads the workbook and starts the simulator adapter as the
sequential run does, handling no main case (run_integration with
main_cases=[]): a workbook the sequential run refuses is refused the same
way, and the observer's "run_started" event gives the enabled main cases and
the result folders. Each main case then becomes one task (main_case_task);
main cases of the same name write the same files, so they share one task
and run one after the other in workbook order, as in the sequential run.

Every main case writes exactly the files the sequential run writes for it,
and its console output goes to <main case>_console.log in the result folder
of the first small case. A line is printed as each main case ends. At the
end the facts the main cases' processes sent back are given, in workbook
order, to the sequential run's summary and study report, which then write
and print what they write and print after a sequential run: the summary,
run-summary.json, the report and the exit status are the sequential run's.
A main case that raises, or whose worker or process dies, is reported as an
error with its message while the others go on. Ctrl-C stops the main cases
still running, then the workers, and says which main cases had finished.
"""

import argparse
import contextlib
import importlib.util
import io
import logging
import os
import sys
import tempfile
import traceback
import uuid

from .console_log import finish_abandoned
from .run_command import report
from .run_summary import EXIT_UNUSABLE, RunSummary, counts_text, describe_error

STOP_WAIT_SECONDS = 20.0
EXIT_INTERRUPTED = 130
TRACEBACKS_IN_LOGS = "(The tracebacks are in the logs of the main cases.)\n"

# Settings of the local cluster. Its tasks are few and long (a main case
# each), so Dask's fine-grained upkeep (a profiler sampling the running task
# 100 times a second, event-loop and memory checks every few milliseconds)
# would only take processor time from the main cases; each worker takes one
# main case at a time, and a main case whose worker died failed: running it
# again on another worker would only repeat the fault and rewrite its files.
LOCAL_CLUSTER_SETTINGS = {
    "distributed.worker.profile.enabled": False,
    "distributed.worker.memory.monitor-interval": "1s",
    "distributed.admin.tick.interval": "1s",
    "distributed.admin.tick.limit": "60s",
    "distributed.admin.system-monitor.interval": "5s",
    "distributed.scheduler.work-stealing": False,
    "distributed.scheduler.active-memory-manager.start": False,
    "distributed.scheduler.worker-saturation": 1.0,
    "distributed.scheduler.allowed-failures": 0,
}


def _positive(text):
    value = int(text)
    if value < 1:
        raise argparse.ArgumentTypeError(f"needs one worker or more, not {value}")
    return value


def add_arguments(parser):
    where = parser.add_mutually_exclusive_group()
    where.add_argument("--workers", type=_positive, metavar="N",
                       help="run the main cases at the same time on N worker processes of a local Dask "
                            "cluster, each main case in a process of its own; its console output goes to "
                            "<main case>_console.log in its result folder")
    where.add_argument("--scheduler", metavar="ADDRESS",
                       help="run the main cases on the running Dask cluster at ADDRESS "
                            "(e.g. tcp://host:8786), whose workers have Velquin installed and see the "
                            "workbook's paths")


def wanted(args):
    return getattr(args, "workers", None) is not None or getattr(args, "scheduler", None) is not None


def read_plan(folder, name, observer):
    """The run's plan ("run_started" facts), the run's events until then
    given to `observer` as the sequential run gives them."""
    import velquin_main

    plan = {}

    def watch(event, facts):
        observer(event, facts)
        if event == "run_started":
            plan.update(facts)

    velquin_main.run_integration(folder, name, observer=watch, main_cases=[])
    return plan


def main_case_names(plan):
    """The main cases' names, a main case whose name cell is empty (its run
    stops at once) named by its position."""
    return [name if name is not None else f"#{position + 1}"
            for position, name in enumerate(plan["main_case_names"])]


def job_groups(plan):
    """The main cases as [{position, name}, ...] groups, one per name, in
    the order of their first main case."""
    groups = {}
    for position, name in enumerate(main_case_names(plan)):
        groups.setdefault(name, []).append({"position": position, "name": name})
    return list(groups.values())


def log_path(plan, name):
    folders = [folder for folder in plan["result_folders"] if isinstance(folder, (str, os.PathLike))]
    return os.path.abspath(os.path.join(folders[0], f"{name}_console.log")) if folders else None


@contextlib.contextmanager
def dask_client(args):
    import dask
    from distributed import Client, LocalCluster

    if args.scheduler is not None:
        with Client(args.scheduler) as client:
            yield client, f"the Dask cluster at {args.scheduler}"
        return
    with tempfile.TemporaryDirectory(prefix="velquin-dask-") as scratch:
        with dask.config.set(LOCAL_CLUSTER_SETTINGS):
            # No worker extensions: the tasks use none, and closing the
            # shuffle extension of a restarted worker fails in this Dask.
            cluster = LocalCluster(n_workers=args.workers, threads_per_worker=1, processes=True,
                                   dashboard_address=None, silence_logs=logging.CRITICAL, local_directory=scratch,
                                   extensions={})
        try:
            with Client(cluster) as client:
                from .main_case_task import IgnoreTerminalInterrupts

                client.register_worker_plugin(IgnoreTerminalInterrupts())
                yield client, f"{args.workers} local worker(s)"
        finally:
            cluster.close()


def _memory_text(size):
    if size is None:
        return "-"
    return f"{size / 2**30:.2f} GB" if size >= 2**30 else f"{size / 2**20:.0f} MB"


def _lost_results(group, lost):
    return [{"position": job["position"], "name": job["name"], "events": [], "failure": None,
             "interrupted": False, "lost": lost, "peak_memory": None, "cpu_seconds": None, "seconds": None}
            for job in group]


def _pair_events(result):
    # The plan of the whole workbook, which every process also sends, is the parent run's already.
    return [(event, facts) for event, facts in result["events"] if event not in ("run_planned", "run_started")]


def _state(result):
    if result["interrupted"]:
        return "interrupted"
    if result["lost"]:
        return f"error: {result['lost']['type']}: {result['lost']['message']}"
    if result["failure"]:
        return f"error: {result['failure']['text']}"
    summary = RunSummary(out=io.StringIO())
    for event, facts in _pair_events(result):
        summary(event, facts)
    counts = summary.counts()
    return f"{counts['pairs']} pair(s): {counts_text(counts) or 'none run'}"


class ParallelRun:
    """The main cases of a plan, their tasks and their results (by
    position) as they come in."""

    def __init__(self, args, folder, name, plan):
        self.args = args
        self.folder = folder
        self.name = name
        self.plan = plan
        self.groups = job_groups(plan)
        self.results = {}
        # The run's own values of the variables that Dask sets for its
        # workers, taken before it sets them in this process too (importing
        # distributed loads its settings).
        import dask

        importlib.import_module("distributed")
        self.dask_variables = {name: os.environ.get(name)
                               for name in dask.config.get("distributed.nanny.pre-spawn-environ", {})}

    def log(self, group):
        return log_path(self.plan, group[0]["name"])

    def request(self, group, stop_event):
        return {"jobs": group, "log_path": self.log(group), "cwd": os.getcwd(), "workbook_folder": self.folder,
                "workbook_name": self.name, "traceback": self.args.traceback, "stop_event": stop_event,
                "dask_variables": self.dask_variables}

    def record(self, group, results):
        log = self.log(group)
        where = f"; log {log}" if log and os.path.exists(log) else ""
        for result in results:
            self.results[result["position"]] = result
            seconds = "-" if result["seconds"] is None else f"{result['seconds']:.1f} s"
            print(f"[{len(self.results)}/{len(self.plan['main_cases'])}] main case {result['name']}: "
                  f"{_state(result)} ({seconds}, peak memory {_memory_text(result['peak_memory'])}{where})",
                  flush=True)

    def run(self):
        """Runs every main case; False when interrupted."""
        from distributed import Event, as_completed, wait

        from .main_case_task import run_group

        for group in self.groups:
            if len(group) > 1:
                positions = ", ".join(str(job["position"] + 1) for job in group)
                print(f"Main cases {positions} are all named {group[0]['name']} and write the same files: "
                      "they run one after the other, in workbook order.")
        with dask_client(self.args) as (client, where):
            print(f"Running {len(self.plan['main_cases'])} main case(s) on {where}.", flush=True)
            stop = Event(f"velquin-stop-{uuid.uuid4().hex}", client=client)
            futures = {client.submit(run_group, self.request(group, stop.name), pure=False,
                                     key=f"velquin-main-case-{group[0]['position']}-{uuid.uuid4().hex}"): group
                       for group in self.groups}
            try:
                for future in as_completed(futures):
                    self.record(futures[future], self._results_of(future, futures[future]))
            except KeyboardInterrupt:
                print("\nInterrupted: stopping the main cases still running...", flush=True)
                stop.set()
                finished, _ = wait(list(futures), timeout=STOP_WAIT_SECONDS)
                for future in finished:
                    if futures[future][0]["position"] not in self.results:
                        self.record(futures[future], self._results_of(future, futures[future]))
                for future in futures:
                    future.cancel()
                self._abandon("velquin run: interrupted")
                return False
        return True

    def _results_of(self, future, group):
        from distributed.scheduler import KilledWorker

        try:
            return future.result()
        except KilledWorker as error:
            # Its arguments: the task's key, the last worker that ran it.
            worker = error.args[1] if len(error.args) > 1 else "unknown"
            lost = {"type": "KilledWorker", "message": f"the worker process running main case {group[0]['name']} "
                                                       f"died (worker {getattr(worker, 'address', worker)})"}
        except Exception as error:  # the task itself failed: every main case of the group failed with it
            lost = describe_error(error)
        if self.log(group):
            finish_abandoned(self.log(group), f"velquin run: {lost['type']}: {lost['message']}")
        return _lost_results(group, lost)

    def _abandon(self, last_line):
        for group in self.groups:
            if group[0]["position"] not in self.results and self.log(group):
                finish_abandoned(self.log(group), last_line)

    def interrupted_report(self):
        finished = [result["name"] for _, result in sorted(self.results.items())
                    if not result["interrupted"] and not result["lost"]]
        unfinished = [name for position, name in enumerate(main_case_names(self.plan))
                      if position not in self.results or self.results[position]["interrupted"]]
        print(f"Finished main cases: {', '.join(finished) or 'none'}.")
        print(f"Not finished: {', '.join(unfinished) or 'none'}.")


def feed(observer, results):
    """Gives the run's observer (the summary and the study report) the
    facts of every main case in workbook order, then the end of each main
    case that its process could not tell itself."""
    for position, result in sorted(results.items()):
        for event, facts in _pair_events(result):
            observer.watch(event, facts)
        if result["lost"]:
            observer.summary.run_raised(result["lost"], main_index=position)
        elif result["failure"]:  # told by its stop event, unless the observer missed it
            observer.summary.run_raised({key: result["failure"][key] for key in ("type", "message")},
                                        main_index=position)
        elif result["interrupted"]:
            observer.summary.run_raised({"type": "KeyboardInterrupt", "message": "the run was interrupted"},
                                        main_index=position)


class SummaryAndReport:
    """The sequential run's observer: its summary and its study report."""

    def __init__(self, workbook):
        from velquin_report.run_hook import RunReport

        self.summary = RunSummary(workbook=os.path.abspath(workbook))
        self.study_report = RunReport(workbook)
        # Progress is a line per main case as it ends, not a bar per pair.
        self.study_report.progress.enabled = False
        self.watch = self.study_report.observer(self.summary)


def execute(args, folder, name):
    if importlib.util.find_spec("distributed") is None:
        print("velquin run: --workers and --scheduler need Dask's distributed scheduler", file=sys.stderr)
        print("  What to do: install Debian's python3-distributed (tools/install-deps.sh).", file=sys.stderr)
        return EXIT_UNUSABLE
    observer = SummaryAndReport(args.workbook)
    try:
        plan = read_plan(folder, name, observer.watch)
    except Exception as error:  # the workbook or the simulator settings: as the sequential run reports it
        observer.summary.run_raised(error)
        observer.summary.finish()
        status = report(observer.summary, traceback.format_exc() if args.traceback else None)
        return max(status, observer.study_report.finish(error))

    parallel = ParallelRun(args, folder, name, plan)
    try:
        completed = parallel.run() if plan["main_cases"] else True
    except KeyboardInterrupt:  # while the workers started or stopped
        completed = False
    observer.summary.out = io.StringIO()  # the lines it prints per pair are in the main cases' logs
    feed(observer, parallel.results)
    observer.summary.finish()
    failed = any(result["failure"] for result in parallel.results.values())
    status = report(observer.summary, TRACEBACKS_IN_LOGS if args.traceback and failed else None)
    if not completed:
        parallel.interrupted_report()
        return EXIT_INTERRUPTED
    return max(status, observer.study_report.finish())
