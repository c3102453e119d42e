"""The integration run against the recording fake simulator: the sequence
of simulator calls for a pair, the files it leaves, and how it goes on over
several small and main cases."""

import json

import pytest

from fixtures.case_data import bus, generator, line, load, make_case, transformer
from fixtures.integration_run import script_network, serve_cases
from fixtures.workbooks import config_workbook

MAIN = make_case(buses=[bus(101), bus(102), bus(201)])
# 101 is the connecting bus, 201 collides with the main case, 1000000 is a
# three-winding star point of the simulator.
PLANT = make_case(buses=[bus(101), bus(201), bus(202), bus(1000000)],
                  lines=[line(101, 201), line(201, 202)],
                  transformers=[transformer(202, 201, ckt="T", CONBUS=(201, 0, 0))],
                  generators=[generator(202)], loads=[load(201)])
MERGED_LINES = [(101, 900000, "1 "), (900000, 202, "1 ")]  # as the simulator walks the merged case
TRANSFER_TAGS = ("bus", "line", "trn", "gen", "fixed_shunt", "switched_shunt", "load", "ind")


@pytest.fixture
def study(tmp_path, fake_simulator):
    import velquin_main

    served = {}

    class Study:
        fake = fake_simulator
        results = tmp_path / "results"

        def case(self, name, data):
            path = tmp_path / f"{name}.sav"
            path.touch()
            served[path] = data
            serve_cases(fake_simulator, served)
            return path

        def run(self, main_cases, small_cases, **settings):
            config_workbook(tmp_path / "config.xlsx", psse_path=str(fake_simulator.path), psse_version=36.2,
                            main_cases=[(e, str(tmp_path), n) for e, n in main_cases],
                            small_cases=[(e, str(tmp_path), n, b) for e, n, b in small_cases],
                            result_folder=str(self.results), **settings)
            return velquin_main.run_integration(str(tmp_path), "config.xlsx")

    return Study()


def saves(fake):
    return [call.kwargs["sfile"] for call in fake.calls_to("save")]


def test_one_pair_makes_every_call_in_order_and_leaves_its_files(study, capsys):
    main, plant = study.case("north", MAIN), study.case("plant7", PLANT)
    script_network(study.fake, lines=MERGED_LINES, machines={202: ["1"]})

    assert study.run([("yes", "north.sav")], [("yes", "plant7", 101)], psse_init=60000) is None

    folder = study.results / "plant7" / "north"
    f = lambda name: str(folder / name)  # noqa: E731
    fake = study.fake
    assert [c.args for c in fake.calls_to("Savecase")] == [(str(main),), (str(plant),)]
    own = {"psseinit", "case", "progress_output", "lines_per_page_one_device", "save", "dscn", "rsol", "solved",
           "close_powerflow", "deltmpfiles"}
    calls = [(c.name, c.args, c.kwargs) for c in fake.calls if c.module == "psspy" and c.name in own]
    assert calls[:19] == [
        ("psseinit", (), {"buses": 60000}),
        ("case", (), {"sfile": str(main)}),
        ("progress_output", (), {"islct": 2, "filarg": f("progress.txt")}),
        ("lines_per_page_one_device", (1, 10000000), {}),
        *[("save", (), {"sfile": f(f"north_added_{tag}_plant7")}) for tag in TRANSFER_TAGS],
        ("save", (), {"sfile": f("north_added_plant7")}),
        ("dscn", (900000,), {}),
        ("dscn", (202,), {}),
        ("save", (), {"sfile": f("north_oos_plant7.sav")}),
        ("rsol", (), {"options1": 1, "options2": 2, "options7": 2, "options9": 1, "options10": 0}),
        ("solved", (), {}),
        ("save", (), {"sfile": f("north_solved_plant7_0.sav")}),
    ]
    assert saves(fake)[11:] == [f("north_solved_plant7_1.sav"), f("north_solved_plant7_2.sav"),
                                f("north_solved_plant7_final_solved.sav"), f("north_modified_gen_plant7"),
                                str(study.results / "north_solved_.sav")]
    assert calls[-4:] == [("close_powerflow", (), {}), ("deltmpfiles", (), {}),
                          ("progress_output", (), {"islct": 6}), ("lines_per_page_one_device", (1, 10000000), {})]

    # The connecting bus and the star point were left out, 201 became 900000
    # everywhere (the transformer's buses too), and the network came back
    # outward from the connecting bus.
    assert [c.kwargs["ibus"] for c in fake.calls_to("bus_data_4")] == [900000, 202]
    assert [(c.kwargs["ibus"], c.kwargs["jbus"]) for c in fake.calls_to("branch_data_4")] == [(101, 900000),
                                                                                             (900000, 202)]
    assert [(c.kwargs["ibus"], c.kwargs["jbus"], c.kwargs["intgar10"])
            for c in fake.calls_to("two_winding_data_6")] == [(202, 900000, 900000)]
    assert [c.args for c in fake.calls_to("recn")] == [(900000,), (202,)]
    assert fake.calls_to("machine_chng_5")[0].kwargs == {"ibus": 202, "id": "1", "intgar1": 0}

    assert (folder / "north_renumber_map.txt").read_text() == "201 -> 900000\n"
    assert (folder / "north_renumber_map.json").read_text() == '{\n    "201": 900000\n}'
    assert (folder / "north_status_plant7.txt").read_text().startswith(
        "Bus_Status:\n    total_bus: 2\n    900000: 0\n    202: 0\n\nLine_Branch_Status:\n")
    assert capsys.readouterr().out.splitlines()[:3] == ["*" * 59, "Processing north with plant7", str(plant)]


def test_small_cases_that_collide_with_each_other_get_distinct_numbers(study):
    study.case("base", MAIN)
    study.case("first", PLANT)  # takes 201 (as 900000) and 202
    study.case("second", make_case(buses=[bus(102), bus(202), bus(900000)], lines=[line(102, 202)]))

    study.run([("yes", "base")], [("yes", "first", 101), ("yes", "second", 102)])

    assert [c.kwargs["ibus"] for c in study.fake.calls_to("bus_data_4")] == [900000, 202, 900001, 900002]
    assert json.loads((study.results / "second" / "base" / "base_renumber_map.json").read_text()) == {
        "202": 900001, "900000": 900002}
    assert len(study.fake.calls_to("psseinit")) == len(study.fake.calls_to("case")) == 1


def test_only_the_last_small_case_closes_and_only_when_it_solved(study):
    study.case("a", MAIN), study.case("b", MAIN), study.case("plant", PLANT)
    script_network(study.fake, lines=MERGED_LINES)
    # Main case a's pair does not converge; main case b, opened second, does.
    study.fake.answer("solved", lambda: 0 if len(study.fake.calls_to("case")) == 2 else 1)

    study.run([("yes", "a.sav"), ("no", "skipped"), (1, "b")], [("yes", "plant", 101), ("no", "plant", 101)])

    names = study.fake.names()
    assert names.count("psseinit") == names.count("case") == 2
    assert names.count("close_powerflow") == 1 and names.index("close_powerflow") > len(names) - 5
    assert [s for s in saves(study.fake) if s.endswith("_solved_.sav")] == [str(study.results / "b_solved_.sav")]
    assert [c.kwargs for c in study.fake.calls_to("progress_output")].count({"islct": 6}) == 2


def test_without_enabled_cases_only_the_adapter_and_the_main_cases_are_touched(study):
    study.case("base", MAIN)
    study.run([("no", "base"), (0, "base")], [("yes", "base", 101)])
    assert study.fake.imports[:3] == ["psse3602", "caspy", "psspy"] and study.fake.calls == []
    study.run([("yes", "base"), ("yes", "base.sav")], [("no", "plant", 101)])
    assert [c.name for c in study.fake.calls] == ["Savecase"] * 2
    assert not study.results.exists()
