"""Sub-command dispatch of the velquin command line."""

import argparse
import importlib
import sys

# Modules of this package (`cli` in the source tree, `velquin_cli` once installed).
COMMANDS = {
    "run": (".run_command", "Run an integration study from a workbook."),
    "convert": (".convert_command", "Convert a case between RAW, MATPOWER and saved-case files."),
    "simulator-path": (".simulator_path_command",
                       "Print the folder of the embedded simulator's modules (psse_path 'embedded')."),
    "report": (".report_command", "Build the study report of a sheet's result folder again."),
}


def _command_module(module_name):
    return importlib.import_module(module_name, __package__)


def main(argv):
    parser = argparse.ArgumentParser(prog="velquin")
    sub = parser.add_subparsers(dest="command", required=True)
    for name, (module_name, help_text) in COMMANDS.items():
        _command_module(module_name).add_arguments(sub.add_parser(name, help=help_text))
    args = parser.parse_args(argv)
    return _command_module(COMMANDS[args.command][0]).execute(args)


def entry_point():
    """The installed `velquin` command."""
    return main(sys.argv[1:])
