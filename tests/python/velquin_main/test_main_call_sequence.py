"""The integration run against the recording fake simulator: the sequence
of simulator calls for a pair, the files it leaves, and how it goes on over
several small and main cases."""

import json
from collections.abc import Mapping

import pytest

from fixtures.case_data import bus, generator, line, load, make_case, transformer
from fixtures.integration_run import script_network

MAIN = make_case(buses=[bus(101), bus(102), bus(201)])
# 101 is the connecting bus, 201 collides with the main case, 1000000 is a
# three-winding star point of the simulator.
PLANT = make_case(buses=[bus(101), bus(201), bus(202), bus(1000000)],
                  lines=[line(101, 201), line(201, 202)],
                  transformers=[transformer(202, 201, ckt="T", CONBUS=(201, 0, 0))],
                  generators=[generator(202)], loads=[load(201)])
MERGED_LINES = [(101, 900000, "1 "), (900000, 202, "1 ")]  # as the simulator walks the merged case
TRANSFER_TAGS = ("bus", "line", "trn", "gen", "fixed_shunt", "switched_shunt", "load", "ind")


def saves(fake):
    return [call.kwargs["sfile"] for call in fake.calls_to("save")]


def test_one_pair_makes_every_call_in_order_and_leaves_its_files(fake_study, capsys):
    main, plant = fake_study.case("north", MAIN), fake_study.case("plant7", PLANT)
    script_network(fake_study.fake, lines=MERGED_LINES, machines={202: ["1"]})

    assert fake_study.run([("yes", "north.sav")], [("yes", "plant7", 101)], psse_init=60000) is None

    folder = fake_study.results / "plant7" / "north"
    f = lambda name: str(folder / name)  # noqa: E731
    fake = fake_study.fake
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
                                str(fake_study.results / "north_solved_.sav")]
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


def test_small_cases_that_collide_with_each_other_get_distinct_numbers(fake_study):
    fake_study.case("base", MAIN)
    fake_study.case("first", PLANT)  # takes 201 (as 900000) and 202
    fake_study.case("second", make_case(buses=[bus(102), bus(202), bus(900000)], lines=[line(102, 202)]))

    fake_study.run([("yes", "base")], [("yes", "first", 101), ("yes", "second", 102)])

    assert [c.kwargs["ibus"] for c in fake_study.fake.calls_to("bus_data_4")] == [900000, 202, 900001, 900002]
    assert json.loads((fake_study.results / "second" / "base" / "base_renumber_map.json").read_text()) == {
        "202": 900001, "900000": 900002}
    assert len(fake_study.fake.calls_to("psseinit")) == len(fake_study.fake.calls_to("case")) == 1


def test_only_the_last_small_case_closes_and_only_when_it_solved(fake_study):
    fake_study.case("a", MAIN), fake_study.case("b", MAIN), fake_study.case("plant", PLANT)
    script_network(fake_study.fake, lines=MERGED_LINES)
    # Main case a's pair does not converge; main case b, opened second, does.
    fake_study.fake.answer("solved", lambda: 0 if len(fake_study.fake.calls_to("case")) == 2 else 1)

    fake_study.run([("yes", "a.sav"), ("no", "skipped"), (1, "b")], [("yes", "plant", 101), ("no", "plant", 101)])

    names = fake_study.fake.names()
    assert names.count("psseinit") == names.count("case") == 2
    assert names.count("close_powerflow") == 1 and names.index("close_powerflow") > len(names) - 5
    finals = [s for s in saves(fake_study.fake) if s.endswith("_solved_.sav")]
    assert finals == [str(fake_study.results / "b_solved_.sav")]
    assert [c.kwargs for c in fake_study.fake.calls_to("progress_output")].count({"islct": 6}) == 2


def test_without_enabled_cases_only_the_adapter_and_the_main_cases_are_touched(fake_study):
    fake_study.case("base", MAIN)
    fake_study.run([("no", "base"), (0, "base")], [("yes", "base", 101)])
    assert fake_study.fake.imports[:3] == ["psse3602", "caspy", "psspy"] and fake_study.fake.calls == []
    fake_study.run([("yes", "base"), ("yes", "base.sav")], [("no", "plant", 101)])
    assert [c.name for c in fake_study.fake.calls] == ["Savecase"] * 2
    assert not fake_study.results.exists()


class ForeignTable(Mapping):
    """A section that is a mapping but no dictionary: renumbering leaves it as it is."""

    def __init__(self, **columns):
        self.columns = columns

    def __getitem__(self, key):
        return self.columns[key]

    def __iter__(self):
        return iter(self.columns)

    def __len__(self):
        return len(self.columns)


def test_a_renumbering_that_leaves_an_old_number_stops_the_pair_before_anything_is_copied(fake_study):
    fake_study.case("north", MAIN)
    fake_study.case("plant7", make_case(buses=[bus(101), bus(201)], lines=[line(101, 201)],
                                        psssub=ForeignTable(NUM=(201,), SUBNUM=(1,))))
    with pytest.raises(ValueError, match=r"^bus renumbering left old bus numbers in the small case, which is "
                                         r"therefore not added to the main case: 201 \(renumbered 900000\) at "
                                         r"psssub->NUM\(0\)$"):
        fake_study.run([("yes", "north")], [("yes", "plant7", 101)])
    assert fake_study.fake.names() == []  # the simulator was neither started nor given anything
    assert not (fake_study.results / "plant7" / "north").exists()
