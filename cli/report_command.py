"""`velquin report RESULT_FOLDER`: builds the study report of a sheet's
result folder again from the saved stage cases (nothing of the run is
solved again; the full-output check solves copies of the final cases).

The cases are read with the embedded simulator of this build unless
--workbook (its software sheet) or --simulator-path/--simulator-version name other
simulator modules. Exit status: 0 when built, 1 when the folder holds no
results or the report fails, 2 when the build is missing.
"""

import sys


def add_arguments(parser):
    parser.add_argument("result_folder", metavar="RESULT_FOLDER",
                        help="a sheet's result folder (FOLDER PATH TO STORE RESULTS FOR SHEET)")
    parser.add_argument("--workbook", help="take the simulator's folder and release from this workbook")
    parser.add_argument("--simulator-path", help="folder of the simulator's Python modules")
    parser.add_argument("--simulator-version", type=float, help="simulator release, e.g. 35.5")
    parser.add_argument("--no-full-output", action="store_true", help="leave out the full-output check")


def execute(args):
    try:
        from velquin_report import ReportError, build_report
        from velquin_report.simulator import open_engine, workbook_simulator
    except ImportError as error:
        print(f"velquin report: the report's modules cannot be loaded ({error}); run 'make build'",
              file=sys.stderr)
        return 2
    try:
        if args.workbook:
            path, version = workbook_simulator(args.workbook)
        else:
            path, version = args.simulator_path, args.simulator_version
        engine = open_engine(path, version)
    except ImportError as error:
        print(f"velquin report: the simulator's modules cannot be loaded ({error}); run 'make build'",
              file=sys.stderr)
        return 2
    except (OSError, ValueError, TypeError) as error:
        print(f"velquin report: {error}", file=sys.stderr)
        return 1
    try:
        index = build_report(args.result_folder, engine=engine, full_output=not args.no_full_output,
                             on_pair=lambda main, small: print(f"Reading {small} on {main} ...", flush=True))
    except (ReportError, OSError) as error:
        print(f"velquin report: {error}", file=sys.stderr)
        return 1
    print(f"Report: {index}")
    return 0
