"""One main case of a parallel run, in a process of its own (the simulator
holds one case per process): the workbook's run limited to that main case.

Started by the worker task (main_case_task) as

    python -u -m <package>.main_case_process REQUEST EVENTS_FD

REQUEST is JSON: the working folder, the workbook's folder and file name,
the main case's position and whether to print tracebacks. The process prints
what the sequential run prints for this main case (its standard output is
the main case's log) and sends, as pickled records on the file descriptor
EVENTS_FD, every observer event as it happens ("event", (event, facts)),
then ("failed", {type, message, text}) when the run raised (`text` is the
error as the summary words it), and finally ("ended", {peak_memory,
cpu_seconds}).
"""

import ctypes
import json
import os
import pickle
import resource
import signal
import sys
import traceback

from .run_summary import RunSummary, describe_error


def stop_gracefully(signal_number, frame):
    # The worker asks this process to stop (the run was interrupted): the
    # run stops as an interrupted sequential run does, its files closed.
    raise KeyboardInterrupt(f"stopped by signal {signal.Signals(signal_number).name}: the run was interrupted")


def die_with_parent(parent_pid):
    """Ends this process when the worker that started it ends, so that a
    stopped or dead worker leaves no main case running behind it."""
    if sys.platform.startswith("linux"):
        set_parent_death_signal = 1  # PR_SET_PDEATHSIG
        ctypes.CDLL(None, use_errno=True).prctl(set_parent_death_signal, signal.SIGTERM)
    if os.getppid() != parent_pid:  # the worker ended before the line above
        os._exit(1)


def usage():
    """Peak memory (bytes) and processor time (seconds) of this process."""
    own = resource.getrusage(resource.RUSAGE_SELF)
    return {"peak_memory": own.ru_maxrss * 1024, "cpu_seconds": own.ru_utime + own.ru_stime}  # Linux: kB


def main(argv):
    request = json.loads(argv[0])
    events = os.fdopen(int(argv[1]), "wb")
    # The worker stops this process on an interrupt (SIGTERM); a terminal's
    # Ctrl-C is the parent's to handle.
    signal.signal(signal.SIGINT, signal.SIG_IGN)
    signal.signal(signal.SIGTERM, stop_gracefully)
    die_with_parent(request["worker_pid"])

    def send(kind, payload):
        pickle.dump((kind, payload), events)
        events.flush()

    summary = RunSummary()  # prints the lines the sequential run prints per pair

    def observer(event, facts):
        summary(event, facts)
        send("event", (event, facts))

    status = 0
    try:
        import velquin_main

        velquin_main.run_integration(request["workbook_folder"], request["workbook_name"], observer=observer,
                                     main_cases=[request["position"]])
    except (Exception, KeyboardInterrupt) as error:  # reported to the parent run, as the sequential run reports it
        summary.run_raised(error)
        lines = summary.error_lines(traceback_shown=request["traceback"])
        sys.stdout.flush()
        # An interrupted main case's log ends saying so (the worker writes it).
        for line in lines if not isinstance(error, KeyboardInterrupt) else ():
            print(line, file=sys.stderr)
        if request["traceback"]:
            traceback.print_exc()
        sys.stderr.flush()
        send("failed", {**describe_error(error), "text": lines[0].removeprefix("velquin run: ")})
        status = 1
    sys.stdout.flush()
    send("ended", usage())
    events.close()
    return status


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
