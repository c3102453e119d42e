"""`velquin run WORKBOOK`: runs the integration study a workbook describes
and ends with a summary per pair of cases: its result folder, whether the
stepwise network solve converged, how many connections were brought back
and the time taken.

The facts come from run_integration's observer (see velquin_main). Exit
status: 0 when every pair converged, 1 when a pair did not converge, the
run stopped on an error or a sheet's report (velquin_report) could not be
built, 2 when the workbook or the build is missing.
"""

import os
import sys
import traceback


def add_arguments(parser):
    parser.add_argument("workbook", metavar="WORKBOOK",
                        help="the configuration workbook (.xlsx); its folder and file name are passed on")
    parser.add_argument("--traceback", action="store_true",
                        help="print the full traceback when the run stops on an error")
    from . import parallel_run

    parallel_run.add_arguments(parser)


class RunSummary:
    """Collects what the run reports, pair by pair, and prints a line as each
    pair ends."""

    def __init__(self, out=None):
        self._out = out
        self.finished = []
        self.current = None  # the pair being handled: (main case, small case)

    @property
    def out(self):
        return self._out if self._out is not None else sys.stdout

    def __call__(self, event, facts):
        if event == "main_case_read":
            print(f"Read main case {facts['path']} in {facts['seconds']:.1f} s", file=self.out)
        elif event == "pair_started":
            self.current = (facts["main_case"], facts["small_case"])
        elif event == "pair_finished":
            self.current = None
            self.finished.append(facts)
            print(f"=> {facts['small_case']} on {facts['main_case']}: {self.outcome(facts)}", file=self.out)

    @staticmethod
    def outcome(facts):
        state = "converged" if facts["converged"] else f"did not converge (status {facts['ival_lf']})"
        return (f"{state}, {facts['reconnected']} of {facts['connections']} connections brought back, "
                f"{facts['seconds']:.1f} s")

    @property
    def all_converged(self):
        return all(facts["converged"] for facts in self.finished)

    def report(self):
        rows = [(str(f["folder"]), "yes" if f["converged"] else "NO",
                 f"{f['reconnected']} of {f['connections']}", f"{f['seconds']:.1f} s") for f in self.finished]
        if self.current is not None:
            main_case, small_case = self.current
            rows.append((f"({small_case} on {main_case})", "stopped", "-", "-"))
        print(file=self.out)
        if not rows:
            print("No pair of cases was run: no main case or no small case is enabled.", file=self.out)
        else:
            header = ("Result folder", "Converged", "Brought back", "Time")
            widths = [max(len(row[i]) for row in (header, *rows)) for i in range(4)]
            for row in (header, *rows):
                print("  ".join(cell.ljust(width) for cell, width in zip(row, widths)).rstrip(), file=self.out)
        finals = [f["final_case"] for f in self.finished if f["final_case"] is not None]
        for final in finals:
            print(f"Final case: {final}", file=self.out)

    def failure_text(self, failure):
        where = f" while grafting {self.current[1]} onto {self.current[0]}" if self.current else ""
        return f"the run stopped{where}: {type(failure).__name__}: {failure}"


def execute(args):
    workbook = args.workbook
    if not os.path.isfile(workbook):
        print(f"velquin run: no workbook at '{workbook}'", file=sys.stderr)
        return 2
    folder, name = os.path.split(workbook)
    if ".xlsx" not in name:
        print(f"velquin run: '{workbook}' is not an .xlsx workbook", file=sys.stderr)
        return 2
    try:
        import velquin_main
    except ImportError as error:
        print(f"velquin run: the Velquin modules cannot be loaded ({error}); run 'make build'", file=sys.stderr)
        return 2
    from . import parallel_run

    if parallel_run.wanted(args):
        return parallel_run.execute(args, folder or os.curdir, name)

    from velquin_report.run_hook import RunReport

    summary = RunSummary()
    report = RunReport(workbook)
    failure = None
    try:
        with report.running():
            velquin_main.run_integration(folder or os.curdir, name, observer=report.observer(summary))
    except Exception as error:  # the run reports every failure this way; the summary says where
        failure = error
        if args.traceback:
            traceback.print_exc()
    summary.report()
    if failure is not None:
        sys.stdout.flush()
        print(f"velquin run: {summary.failure_text(failure)}", file=sys.stderr)
    report_status = report.finish(failure)
    if failure is not None:
        return 1
    return 0 if summary.all_converged and report_status == 0 else 1
