"""`velquin run WORKBOOK` on the recording fake simulator: the summary per
pair and the exit status."""

import argparse
from pathlib import Path

import pytest

from fixtures.case_data import bus, line, make_case
from fixtures.integration_run import script_network, serve_cases
from fixtures.workbooks import config_workbook

REPO_DIR = Path(__file__).resolve().parents[3]
MAIN = make_case(buses=[bus(101)])


def plant(first_bus):
    return make_case(buses=[bus(101), bus(first_bus), bus(first_bus + 1)],
                     lines=[line(101, first_bus), line(first_bus, first_bus + 1)])


@pytest.fixture
def velquin_run(tmp_path, fake_simulator, monkeypatch):
    monkeypatch.syspath_prepend(str(REPO_DIR))
    from cli import run_command

    serve_cases(fake_simulator, {tmp_path / "main.sav": MAIN, tmp_path / "solar.sav": plant(301),
                                 tmp_path / "wind.sav": plant(401)})
    script_network(fake_simulator, lines=[(101, 301, "1"), (301, 302, "1"), (101, 401, "1"), (401, 402, "1")])
    workbook = config_workbook(
        tmp_path / "config.xlsx", psse_path=str(fake_simulator.path), psse_version=35.5,
        main_cases=[("yes", str(tmp_path), "main")],
        small_cases=[("yes", str(tmp_path), "solar", 101), ("yes", str(tmp_path), "wind", 101)],
        result_folder=str(tmp_path / "out"))

    def velquin_run(path=workbook):
        return run_command.execute(argparse.Namespace(workbook=str(path), traceback=False))

    return velquin_run


def table(out):
    lines = out.splitlines()
    start = next(i for i, text in enumerate(lines) if text.startswith("Result folder"))
    return [text.split() for text in lines[start + 1:start + 3]]


def test_a_pair_that_does_not_converge_fails_the_command(velquin_run, fake_simulator, capsys):
    # The wind plant's second connection does not converge.
    calls = fake_simulator.calls_to
    fake_simulator.answer("solved", lambda: 1 if calls("recn") and calls("recn")[-1].args == (402,) else 0)
    assert velquin_run() == 1
    out = capsys.readouterr().out
    assert [row[1:5] for row in table(out)] == [["yes", "2", "of", "2"], ["NO", "1", "of", "2"]]
    assert "=> wind on main: did not converge (status 1), 1 of 2 connections brought back" in out
    assert "Final case" not in out


def test_a_run_that_stops_names_the_pair_and_fails(velquin_run, fake_simulator, capsys):
    def bus_data_4(**arguments):  # the second pair's bus transfer fails
        if arguments["ibus"] == 401:
            raise OSError("disk gone")
        return 0

    fake_simulator.answer("bus_data_4", bus_data_4)
    assert velquin_run() == 1
    captured = capsys.readouterr()
    assert table(captured.out)[1] == ["(wind", "on", "main)", "stopped", "-", "-"]
    assert "velquin run: the run stopped while grafting wind onto main: OSError: disk gone" in captured.err


def test_a_missing_or_wrong_workbook_is_a_usage_error(velquin_run, tmp_path, capsys):
    assert velquin_run(tmp_path / "nothere.xlsx") == 2
    (tmp_path / "config.csv").write_text("x\n")
    assert velquin_run(tmp_path / "config.csv") == 2
    assert "no workbook at" in capsys.readouterr().err
