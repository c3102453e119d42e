"""What `velquin run` does for the report: a progress line per pair while
the run goes on, the facts the run gives about each pair, and at the end
the report of every sheet's result folder the run wrote into.

    hook = RunReport(workbook)
    with hook.running():
        run_integration(folder, name, observer=hook.observer(summary))
    status = hook.finish(failure)   # prints "Report: .../report/index.html"
"""

from __future__ import annotations

import os
import sys
from pathlib import Path
from typing import Any, Callable, Mapping

from .run_progress import RunProgress


def sheet_result_folders(workbook: str) -> list[Path]:
    """The result folders of the workbook's enabled small-case sheets."""
    from velquin_rc import ReadConfigFile

    folder, name = os.path.split(workbook)
    rows = ReadConfigFile(folder or os.curdir, name).get_case_config_indexed_dict()
    found = []
    for row in rows.values():
        parent = row.get("parent_path")
        if parent and Path(str(parent)).is_dir():
            found.append(Path(str(parent)))
    return found


class RunReport:
    def __init__(self, workbook: str, out=None, err=None):
        self.workbook = workbook
        self.out = out if out is not None else sys.stdout
        self.err = err if err is not None else sys.stderr
        self.progress = RunProgress(self.out)
        self.facts: dict[tuple[str, str], dict] = {}
        self.folders: list[Path] = []
        self.current: tuple[str, str] | None = None

    def observer(self, inner: Callable[[str, Mapping[str, Any]], None]):
        def observe(event, facts):
            inner(event, facts)
            self.progress(event, facts)
            if event == "run_started":  # the run names its sheets' result folders
                for folder in facts.get("result_folders") or []:
                    self._add_folder(Path(str(folder)))
            elif event == "pair_started":
                self.current = (str(facts["main_case"]), str(facts["small_case"]))
            elif event == "pair_stopped":  # the run tells the error of the pair it stops on
                self.facts[(str(facts["main_case"]), str(facts["small_case"]))] = {"error": facts.get("error")}
                self.current = None
            elif event == "pair_finished":
                self.current = None
                self.facts[(str(facts["main_case"]), str(facts["small_case"]))] = dict(facts)
                self._add_folder(Path(str(facts["folder"])).parent.parent)

        return observe

    def _add_folder(self, folder: Path) -> None:
        if folder not in self.folders:
            self.folders.append(folder)

    def running(self):
        return self.progress.keeping_output_above()

    def _result_folders(self) -> list[Path]:
        folders = list(self.folders)
        try:
            for folder in sheet_result_folders(self.workbook):
                if all(not (known.is_dir() and folder.samefile(known)) for known in folders):
                    folders.append(folder)
        except Exception:  # a workbook the run could not read has no results to report
            pass
        return folders

    def finish(self, failure: BaseException | None = None) -> int:
        """Builds the report of every sheet's result folder; 0 when all were
        built, 1 when one could not be."""
        from .result_folder import find_pairs
        from .simulator import open_engine, workbook_simulator

        if failure is not None and self.current is not None:
            self.facts[self.current] = {"error": f"{type(failure).__name__}: {failure}"}
        folders = [f for f in self._result_folders() if find_pairs(f)]
        if not folders:
            return 0
        try:
            from . import build_report  # plots and page: matplotlib and jinja2

            engine = open_engine(*workbook_simulator(self.workbook))
        except Exception as error:  # the run's results stay; say why there is no report
            print(f"velquin run: the report cannot be built: {type(error).__name__}: {error}", file=self.err)
            return 1
        status = 0
        for folder in folders:
            print(f"Building the report of {folder} ...", file=self.out, flush=True)
            try:
                index = build_report(folder, engine=engine, facts=self.facts)
            except Exception as error:  # the run's results stay; say why the report is missing
                print(f"velquin run: the report of {folder} could not be built: {type(error).__name__}: {error}",
                      file=self.err)
                status = 1
                continue
            print(f"Report: {index}", file=self.out, flush=True)
        return status
