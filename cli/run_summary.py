"""The outcome of every pair of cases of a run, told one way in three forms:
the summary printed at the end of `velquin run`, the `run-summary.json` file
at the root of each result folder, and the command's exit status.

A RunSummary is the run's observer (see velquin_main): it is called as
summary(event, facts) and keeps the facts; everything it reports is computed
from them at the end, so a summary fed the facts of runs made elsewhere
(worker processes) tells the same story. Facts are plain values; an error
that ends a run arrives as a "pair_stopped" or "run_stopped" event, and an
exception the observer never heard of can be handed to `run_raised`.

Each pair ends in one outcome:
  converged                 every element transferred, every small-case bus
                            in service at the end
  converged_with_omissions  the network solve converged, but elements were
                            refused or buses were left out of service
  failed                    the network solve did not converge at a connection
  error                     the run stopped on an error during this pair
  not_run                   the run stopped before this pair
"""

from __future__ import annotations

import datetime
import json
import os
import sys
import tempfile
import time
from dataclasses import dataclass, field
from typing import Any

SUMMARY_FILE = "run-summary.json"
FORMAT = "velquin run summary"
FORMAT_VERSION = 1

OUTCOMES = ("converged", "converged_with_omissions", "failed", "error", "not_run")

EXIT_SUCCESS = 0  # every pair converged with nothing omitted
EXIT_FAILURE = 1  # a pair did not, or the run stopped on an error
EXIT_UNUSABLE = 2  # nothing was run: the workbook (or the build) cannot be used

# What each pair's stake in the final merged case is, by its outcome.
FINAL_CASE_STATES = {
    "converged": "in_service",
    "converged_with_omissions": "in_service_with_omissions",
    "failed": "partly_energised",
}

# Where an error was raised, in words, and what to do about it.
STAGE_TEXTS = {
    "read workbook": "reading the workbook",
    "start simulator": "starting the simulator",
    "read main case": "reading the main case",
    "settings": "reading the small case's row",
    "read": "reading the small case",
    "renumber": "renumbering the small case's buses",
    "maps": "writing the renumbering maps",
    "start": "starting the simulator with the main case",
    "copy": "copying the elements",
    "saves": "saving a case",
    "report": "writing the status report",
    "discover": "finding the small case's connections",
    "disconnect": "taking the small case's buses out of service",
    "first solve": "the first load-flow solution",
    "network solve": "the network solve",
    "modify generators": "modifying the new generators",
    "close": "saving the final case",
}
_SIMULATOR_LOG = "see progress.txt in the pair's result folder for the simulator's own messages"
_WRITABLE = "check that the result folder can be written and has free space"
ADVICE = {
    "read workbook": "check that the file is an Excel .xlsx workbook with a sheet list and SOFT_INPUT, "
                     "MAIN_INPUT and CASE_INPUT sheets (README.md, 'Running a study', lists their columns)",
    "start simulator": "check psse_path and psse_version on the SOFT_INPUT sheet (README.md, 'Embedded "
                       "simulator or a real installation')",
    "read main case": "check SNAPSHOT FILEPATH and SNAPSHOT FILENAME of this main case on the MAIN_INPUT sheet: "
                      "they must name a saved case",
    "settings": "correct this small case's row on the CASE_INPUT sheet as the message says",
    "read": "check FILEPATH OF CASE TO BE ADDED and NAME OF CASE TO BE ADDED of this small case on the "
            "CASE_INPUT sheet: they must name a saved case",
    "renumber": "nothing of this small case was copied into the main case; check the bus numbers the message "
                "names in the small case",
    "maps": "check that the result folder named on the sheet list can be created and written",
    "start": "check psse_init on the SOFT_INPUT sheet, and that the main case opens in the simulator",
    "copy": _SIMULATOR_LOG,
    "saves": _WRITABLE,
    "report": _WRITABLE,
    "discover": _SIMULATOR_LOG,
    "disconnect": _SIMULATOR_LOG,
    "first solve": _SIMULATOR_LOG,
    "network solve": _SIMULATOR_LOG,
    "modify generators": _SIMULATOR_LOG,
    "close": _WRITABLE,
}
DEFAULT_ADVICE = "read the message above; 'velquin run --traceback' shows where the error was raised"
INTERRUPTED_ADVICE = ("the run was interrupted, not stopped by its data: the pairs that finished keep their "
                      "results; run the workbook again for the rest")


def advice(stage: str | None, error: dict) -> str:
    """What to do about an error that stopped the run at `stage`."""
    if error.get("type") == "KeyboardInterrupt":
        return INTERRUPTED_ADVICE
    return ADVICE.get(stage, DEFAULT_ADVICE)

_BUSES_SHOWN = 20  # in printed lists; the JSON file holds them all


def describe_error(error: BaseException) -> dict:
    """{"type", "message"} of an exception, as the run's events give them."""
    kind = type(error)
    name = kind.__qualname__ if kind.__module__ == "builtins" else f"{kind.__module__}.{kind.__qualname__}"
    return {"type": name, "message": str(error)}


@dataclass
class PairRecord:
    """What the events said about one pair."""

    main_index: int
    small_index: int
    main_case: str | None = None
    small_case: str | None = None
    result_folder: str | None = None
    started: dict | None = None
    finished: dict | None = None
    stopped: dict | None = None

    @property
    def key(self) -> tuple[int, int]:
        return (self.main_index, self.small_index)

    @property
    def title(self) -> str:
        return f"{self.small_case or '?'} on {self.main_case or '?'}"

    @property
    def outcome(self) -> str:
        if self.finished is not None:
            if not self.finished["converged"]:
                return "failed"
            omitted = self.finished.get("refused") or self.finished.get("buses_out_of_service")
            return "converged_with_omissions" if omitted else "converged"
        if self.stopped is not None or self.started is not None:
            return "error"  # started and never finished: the run stopped in it
        return "not_run"

    @property
    def folder(self) -> str | None:
        return None if self.finished is None else _text(self.finished["folder"])

    def fact(self, name: str) -> Any:
        return None if self.finished is None else self.finished.get(name)


@dataclass
class RunSummary:
    workbook: str | None = None
    out: Any = None  # where the lines printed as pairs end go; standard output by default
    pairs_by_key: dict = field(default_factory=dict)
    main_cases: dict = field(default_factory=dict)  # main_index -> "main_case_read" facts
    run_errors: list = field(default_factory=list)  # "run_stopped" facts: stage, main_index, main_case, error
    started_at: float = field(default_factory=time.monotonic)
    ended_at: float | None = None

    # -- facts in --------------------------------------------------------
    def __call__(self, event: str, facts: dict) -> None:
        if event == "run_planned":
            for planned in facts["pairs"]:
                self._pair(planned)
        elif event == "main_case_read":
            self.main_cases[facts["main_index"]] = facts
            print(f"Read main case {facts['path']} in {facts['seconds']:.1f} s", file=self._out)
        elif event == "pair_started":
            self._pair(facts).started = facts
        elif event == "pair_finished":
            pair = self._pair(facts)
            pair.finished = facts
            print(f"=> {pair.title}: {self.outcome_text(pair)}", file=self._out)
        elif event == "pair_stopped":
            self._pair(facts).stopped = facts
        elif event == "run_stopped":
            self.run_errors.append(facts)
        # Other events are for other observers.

    def run_raised(self, error: BaseException | dict, main_index: int | None = None) -> None:
        """The error that ended a run (of main case `main_index` alone, when
        main cases run apart). Already told by a stop event, it changes
        nothing; otherwise it stops the pair left unfinished, or else it is an
        error of the run (of that main case)."""
        def concerned(index):
            return main_index is None or index == main_index

        if any(concerned(p.main_index) for p in self.pairs if p.stopped is not None) or any(
                concerned(e.get("main_index")) for e in self.run_errors):
            return
        facts = error if isinstance(error, dict) else describe_error(error)
        unfinished = [p for p in self.pairs if concerned(p.main_index) and p.started is not None
                      and p.finished is None]
        if unfinished:
            pair = unfinished[-1]
            pair.stopped = {"main_index": pair.main_index, "small_index": pair.small_index,
                            "main_case": pair.main_case, "small_case": pair.small_case, "stage": None,
                            "error": facts}
            return
        main_case = next((p.main_case for p in self.pairs if p.main_index == main_index), None)
        self.run_errors.append({"stage": None, "main_index": main_index, "main_case": main_case, "error": facts})

    def finish(self) -> None:
        self.ended_at = time.monotonic()

    def _pair(self, facts: dict) -> PairRecord:
        key = (facts["main_index"], facts["small_index"])
        pair = self.pairs_by_key.get(key)
        if pair is None:
            pair = self.pairs_by_key[key] = PairRecord(*key)
        for name in ("main_case", "small_case", "result_folder"):
            if facts.get(name) is not None:
                setattr(pair, name, _text(facts[name]))
        return pair

    @property
    def _out(self):
        return self.out if self.out is not None else sys.stdout

    # -- the story -------------------------------------------------------
    @property
    def pairs(self) -> list[PairRecord]:
        return [self.pairs_by_key[key] for key in sorted(self.pairs_by_key)]

    def counts(self, pairs: list[PairRecord] | None = None) -> dict:
        pairs = self.pairs if pairs is None else pairs
        counts = {"pairs": len(pairs), **{outcome: 0 for outcome in OUTCOMES}}
        for pair in pairs:
            counts[pair.outcome] += 1
        return counts

    @property
    def errors(self) -> list[dict]:
        """The errors that stopped the run (one per main case at the most
        when main cases run apart): stage, pair (None outside a pair),
        main_case and the error's facts."""
        errors = [{"stage": p.stopped.get("stage"), "pair": p, "main_case": p.main_case,
                   "error": p.stopped["error"]} for p in self.pairs if p.stopped is not None]
        errors += [{"stage": e.get("stage"), "pair": None, "main_case": e.get("main_case"), "error": e["error"]}
                   for e in self.run_errors]
        return errors

    @property
    def exit_status(self) -> int:
        errors = self.errors
        if errors and all(e["stage"] == "read workbook" for e in errors):
            return EXIT_UNUSABLE
        if errors or any(pair.outcome != "converged" for pair in self.pairs):
            return EXIT_FAILURE
        return EXIT_SUCCESS

    def final_cases(self) -> list[dict]:
        """Each final merged case saved, with the pairs it holds and in which state."""
        finals = []
        for pair in self.pairs:
            path = pair.fact("final_case")
            if path is None:
                continue
            held = [p for p in self.pairs if p.main_index == pair.main_index and p.small_index <= pair.small_index]
            finals.append({
                "path": _text(path), "main_case": pair.main_case,
                "pairs": [{"small_case": p.small_case, "folder": p.folder, "outcome": p.outcome,
                           "state": FINAL_CASE_STATES.get(p.outcome)} for p in held],
            })
        return finals

    # -- text --------------------------------------------------------------
    def outcome_text(self, pair: PairRecord) -> str:
        outcome = pair.outcome
        if outcome in ("error", "not_run"):
            return outcome.replace("_", " ")
        brought_back = (f"{pair.fact('reconnected')} of {pair.fact('connections')} connections brought back, "
                        f"{pair.fact('seconds'):.1f} s")
        if outcome == "converged":
            return f"converged, {brought_back}"
        if outcome == "failed":
            return f"failed: {failure_text(pair.finished)}; {brought_back}"
        return f"converged with omissions: {omissions_text(pair.finished)}; {brought_back}"

    def error_lines(self, traceback_shown: bool = False) -> list[str]:
        """Each error that stopped the run and what to do about it; empty without one."""
        lines = []
        for error in self.errors:
            stage, facts = error["stage"], error["error"]
            if error["pair"] is not None:
                where = f"while grafting {error['pair'].small_case or '?'} onto {error['main_case'] or '?'}"
                if stage in STAGE_TEXTS:
                    where += f" ({STAGE_TEXTS[stage]})"
                headline = f"the run stopped {where}"
            elif stage == "read workbook":
                headline = "the workbook cannot be used"
            elif stage == "read main case":
                headline = f"the run stopped reading main case {error['main_case'] or '?'}"
            elif stage in STAGE_TEXTS:
                headline = f"the run stopped {STAGE_TEXTS[stage]}"
            else:
                headline = "the run stopped"
            lines.append(f"velquin run: {headline}: {facts['type']}: {facts['message']}")
            lines.append(f"  What to do: {advice(stage, facts)}.")
        if lines and not traceback_shown:
            lines.append("  ('velquin run --traceback' shows where the error was raised.)")
        return lines

    def report_lines(self) -> list[str]:
        """The table of pairs, the omissions and failures, the final cases and the counts."""
        pairs = self.pairs
        if not pairs:
            return [] if self.errors else [
                "No pair of cases was run: no main case or no small case is enabled."]
        rows = []
        for pair in pairs:
            finished = pair.finished
            if finished is None:
                rows.append((f"({pair.title})", pair.outcome.replace("_", " "), "-", "-"))
            else:
                rows.append((pair.folder, pair.outcome.replace("_", " "),
                             f"{finished['reconnected']} of {finished['connections']}",
                             f"{finished['seconds']:.1f} s"))
        header = ("Result folder", "Outcome", "Brought back", "Time")
        widths = [max(len(row[i]) for row in (header, *rows)) for i in range(len(header))]
        lines = ["  ".join(cell.ljust(width) for cell, width in zip(row, widths)).rstrip()
                 for row in (header, *rows)]

        for pair in pairs:
            if pair.outcome == "converged_with_omissions":
                lines.append(f"{pair.title}: converged with omissions:")
                lines.extend(f"  {line}" for line in omission_lines(pair.finished))
            elif pair.outcome == "failed":
                lines.append(f"{pair.title}: failed: {failure_text(pair.finished)}")
                lines.extend(f"  {line}" for line in omission_lines(pair.finished))
        for final in self.final_cases():
            lines.append(f"Final case: {final['path']}")
            lines.append("  holds " + ", ".join(f"{held['small_case']} ({held_text(held)})"
                                                for held in final["pairs"]))
        counts = self.counts()
        lines.append(f"{counts['pairs']} pair{'s' if counts['pairs'] != 1 else ''}: {counts_text(counts)}.")
        return lines

    # -- run-summary.json ------------------------------------------------
    def result_folders(self) -> list[str]:
        folders = []
        for pair in self.pairs:
            folder = _result_folder(pair)
            if folder is not None and folder not in folders:
                folders.append(folder)
        return folders

    def document(self, result_folder: str) -> dict:
        """The content of run-summary.json in `result_folder`: the pairs whose
        results are there and the final cases saved there."""
        pairs = [p for p in self.pairs if _result_folder(p) == result_folder]
        finals = [f for f in self.final_cases() if _same_folder(os.path.dirname(f["path"]), result_folder)]
        run_errors = [{"stage": e["stage"], "main_case": e["main_case"], **e["error"],
                       "advice": advice(e["stage"], e["error"])} for e in self.errors if e["pair"] is None]
        ended = self.ended_at if self.ended_at is not None else time.monotonic()
        return {
            "format": FORMAT,
            "format_version": FORMAT_VERSION,
            "workbook": self.workbook,
            "result_folder": result_folder,
            "finished_at": datetime.datetime.now().astimezone().isoformat(timespec="seconds"),
            "seconds": round(ended - self.started_at, 3),
            "exit_status": self.exit_status,
            "run_errors": run_errors,
            "counts": self.counts(pairs),
            "run_counts": self.counts(),
            "main_cases": [{"main_index": index, "main_case": facts["main_case"], "path": facts["path"],
                            "seconds": facts["seconds"]} for index, facts in sorted(self.main_cases.items())],
            "pairs": [pair_document(pair) for pair in pairs],
            "final_cases": finals,
        }

    def write_json(self) -> list[str]:
        """Writes run-summary.json into every result folder; returns the paths."""
        written = []
        for folder in self.result_folders():
            path = os.path.join(folder, SUMMARY_FILE)
            _write_atomically(path, json.dumps(self.document(folder), indent=2, default=_plain) + "\n")
            written.append(path)
        return written


# -- pieces of text and of the document --------------------------------------

def counts_text(counts: dict) -> str:
    """The number of pairs of each outcome that has any (`RunSummary.counts`),
    in words: "2 converged, 1 failed"."""
    return ", ".join(f"{counts[outcome]} {outcome.replace('_', ' ')}" for outcome in OUTCOMES if counts[outcome])


def failure_text(finished: dict) -> str:
    connection = finished.get("failed_connection")
    where = "at a connection that cannot be named"
    if connection is not None:
        where = (f"at connection {finished['failed_position']} of {finished['connections']}, "
                 f"{connection_text(connection)}")
    return f"the network solve did not converge {where} (solution status {finished['ival_lf']})"


def connection_text(connection) -> str:
    return "(" + ", ".join(repr(item) if isinstance(item, str) else str(item) for item in connection) + ")"


def omissions_text(finished: dict) -> str:
    parts = []
    refused = finished.get("refused") or []
    if refused:
        parts.append(f"{len(refused)} element{'s' if len(refused) != 1 else ''} refused")
    left_out = finished.get("buses_out_of_service") or []
    if left_out:
        parts.append(f"{len(left_out)} bus{'es' if len(left_out) != 1 else ''} left out of service")
    return ", ".join(parts)


def omission_lines(finished: dict) -> list[str]:
    lines = [f"refused by the main case: {entry['kind']} '{entry['element']}' (code {entry['code']})"
             for entry in finished.get("refused") or []]
    left_out = list(finished.get("buses_out_of_service") or [])
    if left_out:
        shown = ", ".join(str(bus) for bus in left_out[:_BUSES_SHOWN])
        if len(left_out) > _BUSES_SHOWN:
            shown += f" and {len(left_out) - _BUSES_SHOWN} more"
        reason = ("no connection brought back reaches them" if finished["converged"]
                  else "the network solve stopped before them")
        lines.append(f"left out of service: bus{'es' if len(left_out) != 1 else ''} {shown} ({reason})")
    return lines


def held_text(held: dict) -> str:
    return {"in_service": "in service", "in_service_with_omissions": "in service, with omissions",
            "partly_energised": "partly energised: its network solve did not converge"}[held["state"]]


def pair_document(pair: PairRecord) -> dict:
    finished = pair.finished or {}
    failure = None
    if pair.outcome == "failed":
        connection = finished.get("failed_connection")
        failure = {"stage": "network solve", "connection": None if connection is None else list(connection),
                   "position": finished.get("failed_position"), "connections": finished.get("connections"),
                   "solution_status": finished.get("ival_lf")}
    error = None
    if pair.outcome == "error":
        stopped = pair.stopped or {}
        stage = stopped.get("stage")
        facts = stopped.get("error") or {"type": None, "message": None}
        error = {"stage": stage, **facts, "advice": advice(stage, facts)}
    return {
        "main_case": pair.main_case,
        "small_case": pair.small_case,
        "main_index": pair.main_index,
        "small_index": pair.small_index,
        "outcome": pair.outcome,
        "result_folder": pair.result_folder,
        "folder": pair.folder,
        "small_case_path": None if pair.started is None else _text(pair.started.get("small_case_path")),
        "buses": finished.get("buses"),
        "renumbered": finished.get("renumbered"),
        "connections": finished.get("connections"),
        "reconnected": finished.get("reconnected"),
        "solution_status": finished.get("ival_lf"),
        "elements": finished.get("elements"),
        "refused_elements": finished.get("refused"),
        "buses_out_of_service": finished.get("buses_out_of_service"),
        "failure": failure,
        "error": error,
        "final_case": None if finished.get("final_case") is None else _text(finished["final_case"]),
        "seconds": finished.get("seconds"),
        "stages": finished.get("stages"),
    }


def _result_folder(pair: PairRecord) -> str | None:
    # The pair's own folder is <result folder>/<small case>/<main case>.
    if pair.folder is not None:
        return os.path.dirname(os.path.dirname(pair.folder))
    return pair.result_folder


def _same_folder(a: str, b: str) -> bool:
    return os.path.normpath(a) == os.path.normpath(b)


def _text(value) -> str | None:
    return None if value is None else os.fspath(value) if hasattr(value, "__fspath__") else str(value)


def _plain(value):
    """JSON for values json does not know: numbers of numeric libraries,
    sets, paths; anything else as its text."""
    if hasattr(value, "item") and callable(value.item):
        return value.item()
    if isinstance(value, (set, frozenset)):
        return sorted(value, key=str)
    if hasattr(value, "__fspath__"):
        return os.fspath(value)
    return str(value)


def _write_atomically(path: str, text: str) -> None:
    """Readers (the HTML report) see the old file or the new one, never half of one."""
    folder = os.path.dirname(path) or os.curdir
    os.makedirs(folder, exist_ok=True)
    handle, temporary = tempfile.mkstemp(prefix=f".{SUMMARY_FILE}.", dir=folder)
    try:
        with os.fdopen(handle, "w", encoding="utf-8") as file:
            file.write(text)
        os.chmod(temporary, 0o666 & ~_umask())
        os.replace(temporary, path)
    except BaseException:
        if os.path.exists(temporary):
            os.unlink(temporary)
        raise


def _umask() -> int:
    mask = os.umask(0)
    os.umask(mask)
    return mask
