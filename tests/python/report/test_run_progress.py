"""The progress line per pair while a run goes on: on a terminal only,
below the lines the run prints."""

import io
import sys
from pathlib import Path

REPO_DIR = Path(__file__).resolve().parents[3]
if str(REPO_DIR) not in sys.path:
    sys.path.insert(0, str(REPO_DIR))

from velquin_report.run_progress import RunProgress  # noqa: E402

PAIR = {"main_case": "grid", "small_case": "solar"}


class Terminal(io.StringIO):
    def isatty(self):
        return True


def run(progress, reconnected):
    with progress.keeping_output_above():
        print("Processing grid with solar")
        progress("network_solve_started", {**PAIR, "connections": 3})
        for n in range(1, reconnected + 1):
            print(f"Reconnecting buses: ({n}, {n + 1}, '1')")
            progress("connection_solved", {**PAIR, "connections": 3, "reconnected": n})
        progress("pair_finished", {**PAIR, "converged": reconnected == 3})


def test_on_a_terminal_a_line_per_pair_counts_the_connections_below_the_printed_lines():
    screen = Terminal()
    run(RunProgress(screen), reconnected=2)
    text = screen.getvalue()
    assert "solar on grid: 2 of 3 connections brought back" in text
    assert "elapsed" in text and "left" in text
    # The run's own lines arrive whole, each on its own line.
    lines = [line.split("\r")[-1].strip() for line in text.split("\n")]
    assert "Processing grid with solar" in lines
    assert "Reconnecting buses: (2, 3, '1')" in lines


def test_elsewhere_nothing_is_added_and_the_output_passes_untouched(capsys):
    file_like = io.StringIO()
    progress = RunProgress(file_like)
    assert not progress.enabled
    stdout = sys.stdout
    run(progress, reconnected=3)
    assert sys.stdout is stdout
    assert file_like.getvalue() == ""
    assert capsys.readouterr().out.splitlines()[0] == "Processing grid with solar"
