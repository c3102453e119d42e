"""The log file of a main case in a parallel run: what the main case would
have printed on the console in a sequential run.

It is written under a partial name (the final name followed by ".partial")
while the main case runs and renamed to its final name once the main case
has ended, so that a log under its final name is always whole: it ends with
the main case's last line, or with a line saying how the main case was cut
short (the worker died, the run was interrupted).
"""

import os

PARTIAL_SUFFIX = ".partial"


def partial_path(path):
    return path + PARTIAL_SUFFIX


class ConsoleLog:
    """Opened by the worker that runs the main case; the processes running
    it write into `file` (appending), and `finish` gives the log its final
    name."""

    def __init__(self, path):
        self.path = path
        os.makedirs(os.path.dirname(path) or os.curdir, exist_ok=True)
        self.file = open(partial_path(path), "wb")  # noqa: SIM115 (closed by finish)

    def note(self, line):
        self.file.write((line + "\n").encode("utf-8", "replace"))
        self.file.flush()

    def finish(self, last_line=None):
        if last_line is not None:
            self.note(last_line)
        self.file.close()
        os.replace(partial_path(self.path), self.path)


def finish_abandoned(path, last_line):
    """Gives a log its final name after the worker writing it stopped
    without doing so (it died, or was stopped): says why at its end.
    Returns whether there was such a log."""
    partial = partial_path(path)
    if not os.path.exists(partial):
        return False
    with open(partial, "ab") as file:
        file.write((last_line + "\n").encode("utf-8", "replace"))
    os.replace(partial, path)
    return True
