"""`velquin simulator-path`: prints the folder of the embedded simulator's
modules, the folder the psse_path value "embedded" names (a workbook may
give either)."""

import sys


def add_arguments(parser):
    pass


def execute(args):
    try:
        import velquin_ps

        print(velquin_ps.embedded_simulator_folder())
    except ImportError as error:
        print(f"velquin simulator-path: {error}", file=sys.stderr)
        return 2
    return 0
