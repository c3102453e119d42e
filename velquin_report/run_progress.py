"""A progress line per pair while a run goes on: connections brought back
of how many, elapsed time and an estimate of the time left (tqdm's), kept
below the lines the run prints. Only on a terminal; elsewhere it does
nothing and lets the output pass untouched.

Use as an observer of run_integration, and around the run:

    progress = RunProgress(sys.stdout)
    with progress.keeping_output_above():
        run_integration(folder, name, observer=progress)
"""

from __future__ import annotations

import contextlib
import shutil
import sys
from typing import Any, Mapping


class _LinesAbove:
    """A stream that writes whole lines through tqdm, above its bar."""

    def __init__(self, stream):
        self._stream = stream
        self._pending = ""

    def write(self, text: str) -> int:
        from tqdm import tqdm

        self._pending += text
        *lines, self._pending = self._pending.split("\n")
        for line in lines:
            tqdm.write(line, file=self._stream)
        return len(text)

    def flush(self) -> None:
        if self._pending:
            self.write("\n")
        self._stream.flush()

    def isatty(self) -> bool:
        return True

    def __getattr__(self, name):
        return getattr(self._stream, name)


class RunProgress:
    def __init__(self, stream=None, enabled: bool | None = None):
        self.stream = stream if stream is not None else sys.stdout
        self.enabled = enabled if enabled is not None else bool(getattr(self.stream, "isatty", lambda: False)())
        self._bar = None

    def __call__(self, event: str, facts: Mapping[str, Any]) -> None:
        if not self.enabled:
            return
        if event == "network_solve_started":
            self._close()
            from tqdm import tqdm

            # One update per connection, each a load-flow solve: draw every one.
            # The width is given: where tqdm cannot measure the terminal it
            # would drop the format for its bare counter.
            self._bar = tqdm(total=int(facts["connections"]), file=self.stream, leave=False,
                             ncols=shutil.get_terminal_size((100, 24)).columns, mininterval=0, miniters=1,
                             desc=f"{facts['small_case']} on {facts['main_case']}", unit="connection",
                             bar_format="{desc}: {n_fmt} of {total_fmt} connections brought back "
                                        "|{bar}| {elapsed} elapsed, {remaining} left")
        elif event == "connection_solved" and self._bar is not None:
            self._bar.update(int(facts["reconnected"]) - self._bar.n)
        elif event == "pair_finished":
            self._close()

    def _close(self) -> None:
        if self._bar is not None:
            self._bar.close()
            self._bar = None

    @contextlib.contextmanager
    def keeping_output_above(self):
        """While the run prints, its lines go above the progress line."""
        if not self.enabled:
            yield
            return
        try:
            with contextlib.redirect_stdout(_LinesAbove(self.stream)):
                yield
        finally:
            self._close()
