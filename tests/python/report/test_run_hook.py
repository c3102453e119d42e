"""`velquin run` on the recording fake simulator: the report at the end
tells each pair's outcome from the run, a pair the run stopped on included."""

import argparse
from pathlib import Path

import pandas as pd
import pytest

from fixtures.case_data import bus, line, make_case
from fixtures.integration_run import script_network, serve_cases
from fixtures.workbooks import config_workbook

REPO_DIR = Path(__file__).resolve().parents[3]


def plant(first_bus):
    return make_case(buses=[bus(101), bus(first_bus), bus(first_bus + 1)],
                     lines=[line(101, first_bus), line(first_bus, first_bus + 1)])


@pytest.fixture
def velquin_run(tmp_path, fake_simulator, monkeypatch):
    monkeypatch.syspath_prepend(str(REPO_DIR))
    from cli import run_command

    serve_cases(fake_simulator, {tmp_path / "main.sav": make_case(buses=[bus(101)]),
                                 tmp_path / "solar.sav": plant(301), tmp_path / "wind.sav": plant(401)})
    script_network(fake_simulator, lines=[(101, 301, "1"), (301, 302, "1"), (101, 401, "1"), (401, 402, "1")])
    workbook = config_workbook(
        tmp_path / "config.xlsx", psse_path=str(fake_simulator.path), psse_version=35.5,
        main_cases=[("yes", str(tmp_path), "main")],
        small_cases=[("yes", str(tmp_path), "solar", 101), ("yes", str(tmp_path), "wind", 101)],
        result_folder=str(tmp_path / "out"))
    return lambda: run_command.execute(argparse.Namespace(workbook=str(workbook), traceback=False))


def test_a_pair_the_run_stopped_on_is_in_the_report_with_the_error(velquin_run, fake_simulator, tmp_path,
                                                                    capsys):
    def bus_data_4(**arguments):  # the second pair's bus transfer fails
        if arguments["ibus"] == 401:
            raise OSError("disk gone")
        return 0

    fake_simulator.answer("bus_data_4", bus_data_4)
    assert velquin_run() == 1
    report = tmp_path / "out" / "report"
    assert capsys.readouterr().out.splitlines()[-1] == f"Report: {report / 'index.html'}"
    summary = pd.read_csv(report / "summary.csv").set_index("small_case")
    # The fake saves no case: the run's own facts tell the first pair's outcome.
    assert summary.loc["solar", "outcome"] == "converged"
    assert (summary.loc["solar", "reconnected"], summary.loc["solar", "connections"]) == (2, 2)
    assert summary.loc["wind", "outcome"] == "error"
    page = (report / "index.html").read_text()
    assert "The run stopped on this pair:</strong> OSError: disk gone" in page

