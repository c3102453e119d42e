"""The task a Dask worker runs in a parallel run: the main cases of one
group, each in a process of its own (main_case_process), in workbook order.

A group is one main case, or several main cases of the same name: those
write the same files, so they run one after the other, as the sequential run
runs them. Their console output goes to one log file (console_log).

The task watches the run's stop event while a main case runs: when the
parent run is interrupted, it stops the process and reports the main case
as interrupted. It returns one result per main case it was given: the
observer events the process sent, its failure (None when the run did not
raise), the error of a process that ended without telling why ("lost": a
crash, a kill), whether it was interrupted, its peak memory, its processor
time and the time taken.
"""

import json
import os
import pickle
import signal
import subprocess
import sys
import threading
import time

from distributed.diagnostics.plugin import WorkerPlugin

from .console_log import ConsoleLog

STOP_POLL_SECONDS = 1.0
STOP_GRACE_SECONDS = 5.0

# Test hook: a worker given the main case of this name ends at once, as a
# worker that dies would (a crash, a machine that goes away).
EXIT_WORKER_VARIABLE = "VELQUIN_TEST_EXIT_WORKER_AT"


class _EventStream(threading.Thread):
    """Collects the records a main case's process sends, until it closes
    its end of the pipe or ends."""

    def __init__(self, fd):
        super().__init__(daemon=True)
        self._fd = fd
        self.records = []

    def run(self):
        with os.fdopen(self._fd, "rb") as stream:
            while True:
                try:
                    self.records.append(pickle.load(stream))
                except EOFError:
                    return
                except (pickle.UnpicklingError, ValueError, TypeError):
                    return  # a record cut short by the process's end


class _StopSignal:
    """The run's stop event, when there is one (a Dask Event the parent
    sets on an interrupt)."""

    def __init__(self, name):
        self._event = None
        if name is not None:
            from distributed import Event

            self._event = Event(name)

    def is_set(self):
        return self._event is not None and self._event.is_set()


def _ended_by(returncode):
    if returncode is None or returncode >= 0:
        return f"exit status {returncode}"
    try:
        return f"signal {signal.Signals(-returncode).name}"
    except ValueError:
        return f"signal {-returncode}"


def _child_environment(request):
    environment = dict(os.environ)
    # Dask sets variables for its worker processes (a small malloc trim
    # threshold, which makes the run a third slower, and one thread for the
    # numeric libraries): a main case runs with the run's own values.
    for name, value in request["dask_variables"].items():
        if value is None:
            environment.pop(name, None)
        else:
            environment[name] = value
    # The process imports the command line and the modules from where this
    # worker found them (a build tree, or an installed package).
    environment["PYTHONPATH"] = os.pathsep.join(folder for folder in sys.path if folder)
    return environment


def _run_main_case(request, job, log, stop):
    read_end, write_end = os.pipe()
    child_request = {
        "workbook_folder": request["workbook_folder"], "workbook_name": request["workbook_name"],
        "position": job["position"], "traceback": request["traceback"], "worker_pid": os.getpid(),
    }
    command = [sys.executable, "-u", "-m", f"{__package__}.main_case_process", json.dumps(child_request),
               str(write_end)]
    start = time.monotonic()
    try:
        child = subprocess.Popen(command, stdin=subprocess.DEVNULL,
                                 stdout=log.file if log else subprocess.DEVNULL, stderr=subprocess.STDOUT,
                                 cwd=request["cwd"], env=_child_environment(request), pass_fds=(write_end,))
    finally:
        os.close(write_end)
    stream = _EventStream(read_end)
    stream.start()
    interrupted = False
    while child.poll() is None:
        if not interrupted and stop.is_set():
            interrupted = True
            child.terminate()
            try:
                child.wait(STOP_GRACE_SECONDS)
            except subprocess.TimeoutExpired:
                child.kill()
        stream.join(STOP_POLL_SECONDS)
    stream.join()

    records = stream.records
    failure = next((payload for kind, payload in records if kind == "failed"), None)
    ended = next((payload for kind, payload in records if kind == "ended"), None)
    result = {
        "position": job["position"], "name": job["name"],
        "events": [payload for kind, payload in records if kind == "event"],
        "failure": failure, "interrupted": interrupted,
        # The error of a process that ended without saying why.
        "lost": None if ended is not None or interrupted else {
            "type": "ChildProcessError",
            "message": f"the process running main case {job['name']} ended with {_ended_by(child.returncode)}"},
        "peak_memory": ended["peak_memory"] if ended else None,
        "cpu_seconds": ended["cpu_seconds"] if ended else None,
        "seconds": time.monotonic() - start,
    }
    if log and result["lost"]:
        log.note(f"velquin run: {result['lost']['type']}: {result['lost']['message']}")
    return result


def run_group(request):
    """Runs the main cases `request["jobs"]` (position, name) of the
    workbook; see the module's description."""
    stop = _StopSignal(request.get("stop_event"))
    log = None
    results = []
    last_line = None
    try:
        for job in request["jobs"]:
            if stop.is_set():
                last_line = "velquin run: interrupted"
                break
            if os.environ.get(EXIT_WORKER_VARIABLE) == job["name"]:
                os._exit(70)
            if log is None and request.get("log_path"):
                log = ConsoleLog(request["log_path"])
            results.append(_run_main_case(request, job, log, stop))
            if results[-1]["interrupted"]:
                last_line = "velquin run: interrupted"
                break
    except BaseException as error:
        last_line = f"velquin run: the worker's task failed: {type(error).__name__}: {error}"
        raise
    finally:
        if log is not None:
            log.finish(last_line)
    return results


class IgnoreTerminalInterrupts(WorkerPlugin):
    """Worker plugin of the local cluster: its workers share the terminal
    of the run, whose Ctrl-C is for the parent to handle (it stops the
    workers' main cases through the stop event, then the workers)."""

    name = "velquin-ignore-terminal-interrupts"

    def setup(self, worker):
        try:
            signal.signal(signal.SIGINT, signal.SIG_IGN)
        except ValueError:  # not on the worker's main thread: nothing to do
            pass
