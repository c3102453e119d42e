"""Sub-command dispatch of the velquin command line."""

import argparse
import importlib

COMMANDS = {
    "run": ("cli.run_command", "Run an integration study from a workbook."),
    "convert": ("cli.convert_command", "Convert a case between RAW, MATPOWER and saved-case files."),
    "report": ("cli.report_command", "Build the study report of a sheet's result folder again."),
}


def main(argv):
    parser = argparse.ArgumentParser(prog="velquin")
    sub = parser.add_subparsers(dest="command", required=True)
    for name, (module_name, help_text) in COMMANDS.items():
        module = importlib.import_module(module_name)
        module.add_arguments(sub.add_parser(name, help=help_text))
    args = parser.parse_args(argv)
    module = importlib.import_module(COMMANDS[args.command][0])
    return module.execute(args)
