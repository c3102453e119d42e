"""`velquin convert IN OUT`: convert a case between RAW (.raw), MATPOWER
(.m, read only) and saved-case (.sav) files through the embedded
simulator's operations."""

import os
import tempfile
from pathlib import Path

READERS = {".raw": "RAW", ".m": "MATPOWER", ".sav": "saved case"}
WRITERS = {".raw": "RAW", ".sav": "saved case"}


class ConversionError(Exception):
    pass


def add_arguments(parser):
    parser.add_argument("input", metavar="IN", help="case to read (.raw, .m or .sav)")
    parser.add_argument("output", metavar="OUT", help="file to write (.raw or .sav)")
    parser.add_argument("--version", type=int, choices=(33, 34, 35),
                        help="RAW revision to write (default: the revision the case was read from; 33 for MATPOWER)")


class _Progress:
    """Sends the simulator's progress text to a scratch file for the length
    of one operation, so that its messages can be shown as this command's."""

    def __init__(self, psspy, folder):
        self.psspy = psspy
        self.path = os.path.join(folder, "progress.txt")

    def run(self, operation, *args, **kwargs):
        self.psspy.progress_output(islct=2, filarg=self.path)
        try:
            ierr = operation(*args, **kwargs)
        finally:
            self.psspy.progress_output(islct=6)
        with open(self.path, encoding="utf-8", errors="replace") as f:
            lines = [line.rstrip("\n") for line in f if line.strip()]
        return ierr, lines


def _operation(psspy, name):
    operation = getattr(psspy, name, None)
    if operation is None:
        raise ConversionError(f"this build of the simulator has no '{name}' operation")
    return operation


def _kind(path, table, role):
    suffix = Path(path).suffix.lower()
    if suffix not in table:
        known = ", ".join(sorted(table))
        raise ConversionError(f"cannot {role} '{path}': the extension must be one of {known}")
    return suffix


def convert(psspy, source, target, version=None):
    """Converts `source` into `target`; returns the lines to print."""
    in_kind = _kind(source, READERS, "read")
    out_kind = _kind(target, WRITERS, "write")
    if version is not None and out_kind != ".raw":
        raise ConversionError("--version applies to RAW output only")
    if not Path(source).is_file():
        raise ConversionError(f"'{source}' does not exist or is not a file")

    printed = []
    with tempfile.TemporaryDirectory(prefix="velquin-convert-") as folder:
        progress = _Progress(psspy, folder)
        if in_kind == ".raw":
            ierr, lines = progress.run(_operation(psspy, "read"), numnam=0, ifile=str(source))
        elif in_kind == ".m":
            ierr, lines = progress.run(_operation(psspy, "read_matpower"), ifile=str(source))
        else:
            ierr, lines = progress.run(_operation(psspy, "case"), sfile=str(source))
        if ierr != 0:
            raise ConversionError("; ".join(lines) or f"cannot read '{source}' (error {ierr})")
        printed.append(f"Read {source} ({READERS[in_kind]}): {psspy.case_summary()}")
        printed.extend(line for line in lines if line.startswith("warning:"))

        if out_kind == ".raw":
            revision = version or psspy.case_raw_revision() or 33
            ierr, lines = progress.run(_operation(psspy, "writerawversion"), vernum=str(revision),
                                       ofile=str(target))
            written = f"RAW revision {revision}"
        else:
            ierr, lines = progress.run(_operation(psspy, "save"), sfile=str(target))
            written = "saved case"
        if ierr != 0:
            raise ConversionError("; ".join(lines) or f"cannot write '{target}' (error {ierr})")
        printed.extend(line for line in lines if line.startswith("warning:"))
        printed.append(f"Wrote {target} ({written})")
    return printed


def execute(args):
    import sys

    try:
        # The embedded simulator's own psspy, wherever Velquin was built or installed.
        import velquin_ps

        folder = velquin_ps.embedded_simulator_folder()
        if folder not in sys.path:
            sys.path.insert(0, folder)
        import psspy
    except ImportError as error:
        print(f"velquin convert: the embedded simulator is not built ({error})", file=sys.stderr)
        return 2
    try:
        for line in convert(psspy, args.input, args.output, args.version):
            print(line)
    except ConversionError as error:
        print(f"velquin convert: {error}", file=sys.stderr)
        return 1
    return 0
