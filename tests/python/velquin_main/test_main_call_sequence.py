"""The integration run against the recording fake simulator: the exact
sequence of simulator calls for a pair, the files it leaves, and how it goes
on over several small and main cases."""

import json
import os

import pytest

from fixtures.case_data import bus, generator, line, load, make_case, transformer
from fixtures.integration_run import script_network, serve_cases
from fixtures.workbooks import config_workbook

MAIN = make_case(buses=[bus(101), bus(102), bus(201)])
# Bus 101 is the connecting bus (the main case's), 201 collides with the main
# case and 1000000 is a three-winding star point of the simulator.
PLANT = make_case(buses=[bus(101), bus(201), bus(202), bus(1000000)],
                  lines=[line(101, 201), line(201, 202)],
                  transformers=[transformer(202, 201, ckt="T", CONBUS=(201, 0, 0))],
                  generators=[generator(202)], loads=[load(201)])
# The merged case as the simulator walks it once 201 has become 900000.
MERGED_LINES = [(101, 900000, "1 "), (900000, 202, "1 ")]


@pytest.fixture
def study(tmp_path, fake_simulator):
    """A folder with the case files, a result folder and a way to write the
    workbook and run it."""
    import velquin_main

    cases = tmp_path / "cases"
    cases.mkdir()
    served = {}

    class Study:
        fake = fake_simulator
        folder = tmp_path
        results = tmp_path / "results"

        def case(self, name, data):
            path = cases / f"{name}.sav"
            path.touch()
            served[path] = data
            serve_cases(fake_simulator, served)
            return path

        def run(self, main_cases, small_cases, **settings):
            settings.setdefault("psse_path", str(fake_simulator.path))
            settings.setdefault("psse_version", 36.2)
            config_workbook(tmp_path / "config.xlsx", main_cases=main_cases, small_cases=small_cases,
                            result_folder=str(self.results), **settings)
            return velquin_main.run_integration(str(tmp_path), "config.xlsx")

    return Study()


def saves(fake):
    return [call.kwargs["sfile"] for call in fake.calls_to("save")]


def test_one_pair_makes_every_call_in_order_and_leaves_its_files(study, capsys):
    main = study.case("north", MAIN)
    plant = study.case("plant7", PLANT)
    script_network(study.fake, lines=MERGED_LINES, machines={202: ["1"]})

    result = study.run([("yes", str(main.parent), "north.sav")],
                       [("yes", str(plant.parent), "plant7", 101)], psse_init=60000)

    assert result is None
    folder = study.results / "plant7" / "north"
    f = lambda name: str(folder / name)  # noqa: E731
    fake = study.fake
    assert [(c.name, c.args) for c in fake.calls if c.module == "caspy"] == [
        ("Savecase", (str(main),)), ("Savecase", (str(plant),))]

    # The run's own calls, in order, with the element transfers' and the
    # network solve's saves showing where those steps fall.
    own = {"psseinit", "case", "progress_output", "lines_per_page_one_device", "save", "dscn", "rsol",
           "solved", "close_powerflow", "deltmpfiles"}
    calls = [c for c in fake.calls if c.module == "psspy" and c.name in own]
    before_solve = [(c.name, c.args, c.kwargs) for c in calls[:19]]
    assert before_solve == [
        ("psseinit", (), {"buses": 60000}),
        ("case", (), {"sfile": str(main)}),
        ("progress_output", (), {"islct": 2, "filarg": f("progress.txt")}),
        ("lines_per_page_one_device", (1, 10000000), {}),
        *[("save", (), {"sfile": f(f"north_added_{tag}_plant7")})
          for tag in ("bus", "line", "trn", "gen", "fixed_shunt", "switched_shunt", "load", "ind")],
        ("save", (), {"sfile": f("north_added_plant7")}),
        ("dscn", (900000,), {}),
        ("dscn", (202,), {}),
        ("save", (), {"sfile": f("north_oos_plant7.sav")}),
        ("rsol", (), {"options1": 1, "options2": 2, "options7": 2, "options9": 1, "options10": 0}),
        ("solved", (), {}),
        ("save", (), {"sfile": f("north_solved_plant7_0.sav")}),
    ]
    assert saves(fake)[11:] == [
        f("north_solved_plant7_1.sav"), f("north_solved_plant7_2.sav"),
        f("north_solved_plant7_final_solved.sav"), f("north_modified_gen_plant7"),
        str(study.results / "north_solved_.sav")]
    assert [c.name for c in calls[-4:]] == ["close_powerflow", "deltmpfiles", "progress_output",
                                            "lines_per_page_one_device"]
    assert calls[-2].kwargs == {"islct": 6}

    # The connecting bus and the star point were left out, 201 became 900000
    # everywhere, and the network came back outward from the connecting bus.
    assert [c.kwargs["ibus"] for c in fake.calls_to("bus_data_4")] == [900000, 202]
    assert [(c.kwargs["ibus"], c.kwargs["jbus"]) for c in fake.calls_to("branch_data_4")] == [
        (101, 900000), (900000, 202)]
    assert [(c.kwargs["ibus"], c.kwargs["jbus"], c.kwargs["intgar10"])
            for c in fake.calls_to("two_winding_data_6")] == [(202, 900000, 900000)]
    assert [c.args for c in fake.calls_to("recn")] == [(900000,), (202,)]
    assert fake.calls_to("machine_chng_5")[0].kwargs == {"ibus": 202, "id": "1", "intgar1": 0}

    assert sorted(os.listdir(folder)) == ["north_renumber_map.json", "north_renumber_map.txt",
                                          "north_status_plant7.txt"]
    assert (folder / "north_renumber_map.txt").read_text() == "201 -> 900000\n"
    assert (folder / "north_renumber_map.json").read_text() == '{\n    "201": 900000\n}'
    report = (folder / "north_status_plant7.txt").read_text()
    assert report.startswith("Bus_Status:\n    total_bus: 2\n    900000: 0\n    202: 0\n\n")
    assert report.index("Load_Status:") < report.index("Induction_Machine_Status:")

    printed = capsys.readouterr().out.splitlines()
    assert printed[:3] == ["*" * 59, "Processing north with plant7", str(plant)]


def test_small_cases_that_collide_with_each_other_get_distinct_numbers(study):
    main = study.case("base", MAIN)
    # The first case takes 201 (renumbered to 900000) and 202; the second
    # holds 202 and 900000 itself, both taken by then.
    first = study.case("first", PLANT)
    second = study.case("second", make_case(buses=[bus(102), bus(202), bus(900000)],
                                            lines=[line(102, 202), line(202, 900000)]))

    study.run([("yes", str(main.parent), "base")],
              [("yes", str(first.parent), "first", 101), ("yes", str(second.parent), "second", 102)])

    created = [c.kwargs["ibus"] for c in study.fake.calls_to("bus_data_4")]
    assert created == [900000, 202, 900001, 900002]
    assert json.loads((study.results / "second" / "base" / "base_renumber_map.json").read_text()) == {
        "202": 900001, "900000": 900002}
    # The simulator is started and the main case opened once for both.
    assert len(study.fake.calls_to("psseinit")) == 1
    assert len(study.fake.calls_to("case")) == 1
    assert [c.args for c in study.fake.calls_to("Savecase")] == [
        (str(main),), (str(first),), (str(second),)]


def test_only_the_last_small_case_closes_and_only_when_it_solved(study):
    main_a = study.case("a", MAIN)
    main_b = study.case("b", MAIN)
    plant = study.case("plant", PLANT)
    script_network(study.fake, lines=MERGED_LINES)
    # Main case a: its pair does not converge (every solution status 1);
    # main case b, opened second: it does.
    study.fake.answer("solved", lambda: 0 if len(study.fake.calls_to("case")) == 2 else 1)

    study.run([("yes", str(main_a.parent), "a.sav"), ("no", "x", "skipped"), (1, str(main_b.parent), "b")],
              [("yes", str(plant.parent), "plant", 101), ("no", str(plant.parent), "plant", 101)])

    names = study.fake.names()
    # a failed: no final save, not closed; b starts the simulator again.
    assert names.count("psseinit") == 2 and names.count("case") == 2
    assert names.count("close_powerflow") == 1
    assert names.index("close_powerflow") > [i for i, c in enumerate(study.fake.calls) if c.name == "case"][1]
    finals = [s for s in saves(study.fake) if s.endswith("_solved_.sav")]
    assert finals == [str(study.results / "b_solved_.sav")]
    assert [c.kwargs for c in study.fake.calls_to("progress_output")].count({"islct": 6}) == 2


def test_nothing_enabled_still_starts_the_adapter(study):
    main = study.case("base", MAIN)
    study.run([("no", str(main.parent), "base"), (0, str(main.parent), "base")],
              [("yes", str(main.parent), "base", 101)])
    assert study.fake.imports[:3] == ["psse3602", "caspy", "psspy"]
    assert study.fake.calls == []


def test_main_cases_without_small_cases_are_only_read(study):
    main = study.case("base", MAIN)
    study.run([("yes", str(main.parent), "base"), ("yes", str(main.parent), "base.sav")],
              [("no", str(main.parent), "plant", 101)])
    assert [(c.name, c.args) for c in study.fake.calls] == [("Savecase", (str(main),))] * 2
    assert not study.results.exists()
