"""`velquin run WORKBOOK`: runs the integration study a workbook describes
and ends with its outcome per pair of cases (see cli/run_summary.py): an
error that stopped the run first, with what to do about it; then the table
of pairs (result folder, outcome, connections brought back, time), what was
omitted or failed, the final merged cases and what they hold; and
run-summary.json written at the root of each result folder; last, the
report of each result folder (velquin_report).

Exit status: 0 when every pair converged with nothing omitted, 1 when a
pair converged with omissions, failed or stopped on an error (or the
summary file or a report could not be written), 2 when the workbook or the
build cannot be used.
"""

import os
import sys
import traceback

from .run_summary import EXIT_FAILURE, EXIT_UNUSABLE, RunSummary


def add_arguments(parser):
    parser.add_argument("workbook", metavar="WORKBOOK",
                        help="the configuration workbook (.xlsx); its folder and file name are passed on")
    parser.add_argument("--traceback", action="store_true",
                        help="print the full traceback when the run stops on an error")
    from . import parallel_run

    parallel_run.add_arguments(parser)


def report(summary, traceback_text=None, out=None, err=None):
    """Prints the end of the command from the summary's facts and writes
    run-summary.json; returns the exit status."""
    out = out if out is not None else sys.stdout
    err = err if err is not None else sys.stderr
    out.flush()
    error_lines = summary.error_lines(traceback_shown=traceback_text is not None)
    for line in error_lines:
        print(line, file=err)
    if traceback_text:
        print(traceback_text, end="", file=err)
    err.flush()

    status = summary.exit_status
    lines = summary.report_lines()
    if lines:
        print(file=out)
        for line in lines:
            print(line, file=out)
    try:
        written = summary.write_json()
    except OSError as error:
        print(f"velquin run: cannot write the run summary file: {error}", file=err)
        print("  What to do: check that the result folder can be written.", file=err)
        return max(status, EXIT_FAILURE)
    for path in written:
        print(f"Run summary: {path}", file=out)
    return status


def execute(args):
    workbook = args.workbook
    if not os.path.isfile(workbook):
        print(f"velquin run: no workbook at '{workbook}'", file=sys.stderr)
        print("  What to do: give the path of the configuration workbook (.xlsx).", file=sys.stderr)
        return EXIT_UNUSABLE
    folder, name = os.path.split(workbook)
    if ".xlsx" not in name:
        print(f"velquin run: '{workbook}' is not an .xlsx workbook", file=sys.stderr)
        print("  What to do: give the configuration workbook, saved by Excel as .xlsx.", file=sys.stderr)
        return EXIT_UNUSABLE
    try:
        import velquin_main
    except ImportError as error:
        print(f"velquin run: the Velquin modules cannot be loaded ({error})", file=sys.stderr)
        print("  What to do: run 'make build'.", file=sys.stderr)
        return EXIT_UNUSABLE
    from . import parallel_run

    if parallel_run.wanted(args):
        return parallel_run.execute(args, folder or os.curdir, name)

    from velquin_report.run_hook import RunReport

    summary = RunSummary(workbook=os.path.abspath(workbook))
    study_report = RunReport(workbook)
    failure = None
    traceback_text = None
    try:
        with study_report.running():
            velquin_main.run_integration(folder or os.curdir, name, observer=study_report.observer(summary))
    except Exception as error:  # the summary tells where the run stopped and what to do
        failure = error
        summary.run_raised(error)
        if args.traceback:
            traceback_text = traceback.format_exc()
    summary.finish()
    status = report(summary, traceback_text)
    # The report reads the summary file just written.
    return max(status, study_report.finish(failure))
