"""`velquin run WORKBOOK` on the recording fake simulator: the summary,
run-summary.json and the exit status tell one story, the command's
messages say each thing once, and a summary fed the facts in another order
tells the same story."""

import argparse
import io
import json
import random
from pathlib import Path

import pytest

from fixtures.case_data import bus, line, make_case
from fixtures.integration_run import Events, script_network

REPO_DIR = Path(__file__).resolve().parents[3]
MAIN = make_case(buses=[bus(101)])
NO_PAIR = "No pair of cases was run: no main case or no small case is enabled."


def plant(first_bus):
    return make_case(buses=[bus(101), bus(first_bus), bus(first_bus + 1)],
                     lines=[line(101, first_bus), line(first_bus, first_bus + 1)])


@pytest.fixture
def cli(monkeypatch):
    monkeypatch.syspath_prepend(str(REPO_DIR))
    from cli import run_command, run_summary
    return argparse.Namespace(run_command=run_command, run_summary=run_summary)


@pytest.fixture
def velquin_run(fake_study, cli):
    fake_study.case("main", MAIN)
    fake_study.case("solar", plant(301))
    fake_study.case("wind", plant(401))
    script_network(fake_study.fake, lines=[(101, 301, "1"), (301, 302, "1"), (101, 401, "1"), (401, 402, "1")])
    workbook = fake_study.workbook([("yes", "main")], [("yes", "solar", 101), ("yes", "wind", 101)],
                                   psse_version=35.5)

    def velquin_run(path=workbook, traceback=False):
        return cli.run_command.execute(argparse.Namespace(workbook=str(path), traceback=traceback))

    return velquin_run


def table(out):
    """The rows of the summary table, cells split on runs of two blanks."""
    lines = out.splitlines()
    start = next(i for i, text in enumerate(lines) if text.startswith("Result folder"))
    rows = []
    for text in lines[start + 1:]:
        cells = [cell.strip() for cell in text.split("  ") if cell.strip()]
        if len(cells) != 4:
            break
        rows.append(cells)
    return rows


def summary_file(fake_study):
    return json.loads((fake_study.results / "run-summary.json").read_text())


def test_a_pair_that_does_not_converge_fails_the_command(velquin_run, fake_study, capsys):
    # The wind plant's second connection does not converge.
    calls = fake_study.fake.calls_to
    fake_study.fake.answer("solved", lambda: 1 if calls("recn") and calls("recn")[-1].args == (402,) else 0)
    assert velquin_run() == 1
    captured = capsys.readouterr()
    folder = fake_study.results
    assert [row[:3] for row in table(captured.out)] == [
        [str(folder / "solar" / "main"), "converged", "2 of 2"], [str(folder / "wind" / "main"), "failed", "1 of 2"]]
    failure = "the network solve did not converge at connection 2 of 2, (401, 402, '1') (solution status 1)"
    lines = captured.out.splitlines()
    assert [line.rsplit(", ", 1)[0] for line in lines if line.startswith("=> ")] == [
        "=> solar on main: converged, 2 of 2 connections brought back",
        f"=> wind on main: failed: {failure}; 1 of 2 connections brought back"]
    assert f"wind on main: failed: {failure}" in lines
    assert "Final case" not in captured.out and captured.err == ""

    document = summary_file(fake_study)
    assert document["exit_status"] == 1
    assert [(p["small_case"], p["outcome"]) for p in document["pairs"]] == [("solar", "converged"),
                                                                          ("wind", "failed")]
    assert document["pairs"][1]["failure"] == {"stage": "network solve", "connection": [401, 402, "1"],
                                               "position": 2, "connections": 2, "solution_status": 1}
    assert document["counts"] == {"pairs": 2, "converged": 1, "converged_with_omissions": 0, "failed": 1,
                                  "error": 0, "not_run": 0}
    assert document["final_cases"] == [] and document["run_errors"] == []
    # The study report of the result folder comes last.
    assert captured.out.splitlines()[-4:-2] == ["2 pairs: 1 converged, 1 failed.",
                                                f"Run summary: {folder / 'run-summary.json'}"]
    assert captured.out.splitlines()[-1] == f"Report: {folder / 'report' / 'index.html'}"


def test_a_run_that_stops_says_so_once_first_with_what_to_do(velquin_run, fake_study, capsys):
    def bus_data_4(**arguments):  # the second pair's bus transfer fails
        if arguments["ibus"] == 401:
            raise OSError("disk gone")
        return 0

    fake_study.fake.answer("bus_data_4", bus_data_4)
    assert velquin_run() == 1
    captured = capsys.readouterr()
    assert captured.err.splitlines() == [
        "velquin run: the run stopped while grafting wind onto main (copying the elements): OSError: disk gone",
        "  What to do: see progress.txt in the pair's result folder for the simulator's own messages.",
        "  ('velquin run --traceback' shows where the error was raised.)"]
    assert (captured.out + captured.err).count("disk gone") == 1
    assert table(captured.out)[1] == ["(wind on main)", "error", "-", "-"]
    assert NO_PAIR not in captured.out
    document = summary_file(fake_study)
    assert document["pairs"][1]["outcome"] == "error"
    assert document["pairs"][1]["error"] == {
        "stage": "copy", "type": "OSError", "message": "disk gone",
        "advice": "see progress.txt in the pair's result folder for the simulator's own messages"}


def test_with_traceback_the_error_comes_first_and_then_where_it_was_raised(velquin_run, fake_study, capsys):
    fake_study.fake.answer("bus_data_4", OSError("disk gone"))
    assert velquin_run(traceback=True) == 1
    err = capsys.readouterr().err.splitlines()
    assert err[0].startswith("velquin run: the run stopped while grafting solar onto main")
    assert err[2] == "Traceback (most recent call last):" and err[-1] == "OSError: disk gone"


def test_a_file_that_is_not_a_workbook_is_reported_once_with_what_to_do(velquin_run, fake_study, capsys):
    broken = fake_study.folder / "broken.xlsx"
    broken.write_text("not a workbook\n")
    assert velquin_run(broken) == 2
    captured = capsys.readouterr()
    err = captured.err.splitlines()
    assert err[0].startswith("velquin run: the workbook cannot be used: ")
    assert err[1].startswith("  What to do: check that the file is an Excel .xlsx workbook")
    assert len(err) == 3 and captured.out == ""
    assert not fake_study.results.exists()


def test_without_an_enabled_pair_the_command_says_so_and_succeeds(velquin_run, fake_study, cli, capsys):
    workbook = fake_study.workbook([("yes", "main")], [("no", "solar", 101)])
    assert velquin_run(workbook) == 0
    captured = capsys.readouterr()
    assert captured.out.splitlines()[-1] == NO_PAIR and captured.err == ""


def test_a_missing_or_wrong_workbook_is_a_usage_error(velquin_run, tmp_path, capsys):
    assert velquin_run(tmp_path / "nothere.xlsx") == 2
    (tmp_path / "config.csv").write_text("x\n")
    assert velquin_run(tmp_path / "config.csv") == 2
    assert capsys.readouterr().err.splitlines() == [
        f"velquin run: no workbook at '{tmp_path / 'nothere.xlsx'}'",
        "  What to do: give the path of the configuration workbook (.xlsx).",
        f"velquin run: '{tmp_path / 'config.csv'}' is not an .xlsx workbook",
        "  What to do: give the configuration workbook, saved by Excel as .xlsx."]


def test_a_summary_file_that_cannot_be_written_fails_the_command(velquin_run, fake_study, capsys):
    (fake_study.results / "run-summary.json").mkdir(parents=True)
    assert velquin_run() == 1
    err = capsys.readouterr().err.splitlines()
    assert err[0].startswith("velquin run: cannot write the run summary file: ")


def comparable(document):
    return {key: value for key, value in document.items() if key not in ("finished_at", "seconds")}


def test_a_summary_fed_the_facts_in_another_order_tells_the_same_story(fake_study, cli, capsys):
    # As when main cases run in processes of their own and their facts are
    # handed to one summary afterwards, a main case's facts kept together.
    fake_study.case("north", MAIN)
    fake_study.case("south", MAIN)
    fake_study.case("solar", plant(301))
    script_network(fake_study.fake, lines=[(101, 301, "1"), (301, 302, "1")])
    fake_study.fake.answer("solved", lambda: int(len(fake_study.fake.calls_to("case")) == 1))  # north fails
    events = Events()
    fake_study.run([("yes", "north"), ("yes", "south")], [("yes", "solar", 101)], observer=events)

    told = cli.run_summary.RunSummary(workbook="config.xlsx")
    for event, facts in events:
        told(event, facts)
    by_main_case = {}
    for event, facts in events:
        by_main_case.setdefault(facts.get("main_index"), []).append((event, facts))
    replayed = cli.run_summary.RunSummary(workbook="config.xlsx")
    groups = list(by_main_case.values())
    random.Random(7).shuffle(groups)
    for group in groups:
        for event, facts in group:
            replayed(event, facts)

    folder = str(fake_study.results)
    assert [p.outcome for p in told.pairs] == ["failed", "converged"]
    assert comparable(replayed.document(folder)) == comparable(told.document(folder))
    assert replayed.report_lines() == told.report_lines()
    assert replayed.exit_status == told.exit_status == 1


def test_errors_of_main_cases_run_apart_are_each_told(cli):
    # Two main cases stopped in processes of their own; the first told its
    # stop, the second died without a word.
    summary = cli.run_summary.RunSummary(out=io.StringIO())
    summary("run_planned", {"pairs": [
        {"main_index": m, "small_index": 0, "main_case": name, "small_case": "solar", "result_folder": "/r"}
        for m, name in enumerate(("north", "south"))]})
    summary("pair_started", {"main_index": 0, "small_index": 0, "main_case": "north", "small_case": "solar",
                             "small_case_path": "/c/solar.sav", "result_folder": "/r"})
    summary("pair_stopped", {"main_index": 0, "small_index": 0, "main_case": "north", "small_case": "solar",
                             "stage": "read", "error": {"type": "OSError", "message": "unreadable"}})
    summary.run_raised(OSError("unreadable again"), main_index=0)  # told already: changes nothing
    summary.run_raised(MemoryError("worker killed"), main_index=1)
    assert [(e["stage"], e["main_case"], e["error"]["message"]) for e in summary.errors] == [
        ("read", "north", "unreadable"), (None, "south", "worker killed")]
    assert [p.outcome for p in summary.pairs] == ["error", "not_run"]
    lines = summary.error_lines()
    assert lines[0] == ("velquin run: the run stopped while grafting solar onto north (reading the small case): "
                        "OSError: unreadable")
    assert lines[2] == "velquin run: the run stopped: MemoryError: worker killed"
    assert summary.exit_status == 1


def test_an_interrupted_main_case_is_advised_as_an_interruption_not_by_its_stage(cli):
    # A main case's process stopped by Ctrl-C while reading its case: the
    # stage's advice (check the case's path) would send the user after a
    # fault that is not there.
    summary = cli.run_summary.RunSummary(out=io.StringIO())
    summary("run_stopped", {"stage": "read main case", "main_index": 0, "main_case": "north",
                            "error": {"type": "KeyboardInterrupt", "message": "the run was interrupted"}})
    summary("run_stopped", {"stage": "read main case", "main_index": 1, "main_case": "south",
                            "error": {"type": "OSError", "message": "unreadable"}})
    lines = summary.error_lines()
    assert lines[1] == f"  What to do: {cli.run_summary.INTERRUPTED_ADVICE}."
    assert lines[3] == f"  What to do: {cli.run_summary.ADVICE['read main case']}."
    summary.finish()
    advice = [e["advice"] for e in summary.document("/r")["run_errors"]]
    assert advice == [cli.run_summary.INTERRUPTED_ADVICE, cli.run_summary.ADVICE["read main case"]]
