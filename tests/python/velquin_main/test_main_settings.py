"""What the run takes from the reader's rows: the enabled rule, the
simulator settings, the connecting bus, and the errors for rows it cannot
use."""

import math

import pytest

from fixtures.case_data import bus, line, make_case
from fixtures.integration_run import case_row, indexed, main_row, script_network, serve_cases, software_rows

MAIN = make_case(buses=[bus(101), bus(102)])
PLANT = make_case(buses=[bus(101), bus(301)], lines=[line(101, 301)])


@pytest.fixture
def setup(tmp_path, fake_simulator, stub_reader):
    import velquin_main

    serve_cases(fake_simulator, {tmp_path / f"{name}.sav": MAIN if name == "main" else PLANT
                                 for name in ("main", "a", "b", "c", "d")})
    script_network(fake_simulator, lines=[(101, 301, "1")])

    def run(cases, soft=None, main_folder=str(tmp_path)):
        stub_reader(software_rows(str(fake_simulator.path)) if soft is None else soft,
                    indexed([main_row("yes", main_folder, "main")]), indexed(cases))
        velquin_main.run_integration(str(tmp_path), "config.xlsx")

    def row(name, bus=101, enabled="yes", parent=str(tmp_path / "out")):
        return case_row(enabled, str(tmp_path), name, bus, parent)

    def read_cases():
        return [c.args[0][len(str(tmp_path)) + 1:] for c in fake_simulator.calls_to("Savecase")][1:]

    return fake_simulator, run, row, read_cases


def test_enabled_rows_are_taken_in_order_and_the_last_one_closes(setup, tmp_path):
    fake, run, row, read_cases = setup
    run([row(name, enabled=enabled) for enabled, name in [
        ("yes", "a"), ("Yes", "x"), (1, "b"), ("no", "x"), (1.0, "c"), (0, "x"), (math.nan, "x"), (True, "d"),
        (None, "x"), (False, "x")]])
    assert read_cases() == ["a.sav", "b.sav", "c.sav", "d.sav"]
    # Rows skipped after "d" do not keep it from being the last small case.
    assert fake.calls_to("save")[-1].kwargs == {"sfile": str(tmp_path / "out" / "main_solved_.sav")}


@pytest.mark.parametrize("missing", ["psse_path", "psse_version", "psse_init"])
def test_a_missing_simulator_setting_is_an_error(setup, tmp_path, missing):
    fake, run, row, _ = setup
    soft = {k: r for k, r in software_rows(str(fake.path)).items() if r["attribute description"] != missing}
    with pytest.raises(UnboundLocalError, match=missing):
        run([row("a")], soft=soft)
    assert fake.calls_to("psseinit") == []
    # Without the start-up size the run stops only where the simulator is
    # started, after the pair's maps were written.
    written = sorted(p.name for p in (tmp_path / "out").rglob("*") if p.is_file())
    assert written == (["main_renumber_map.json", "main_renumber_map.txt"] if missing == "psse_init" else [])


@pytest.mark.parametrize("given", [101, 101.0, " 101 "])
def test_the_connecting_bus_reaches_the_simulator_as_an_integer(setup, given):
    fake, run, row, _ = setup
    run([row("a", bus=given)])
    first_walk = fake.calls_to("inibrn_2")[0].kwargs["ibus"]
    assert first_walk == 101 and type(first_walk) is int
    assert [c.kwargs["ibus"] for c in fake.calls_to("bus_data_4")] == [301]


@pytest.mark.parametrize("given, error", [
    (math.nan, "the connecting bus number nan is not"), ("bus 101", "the connecting bus number 'bus 101' is not"),
    (101.5, "the connecting bus number 101.5 is not"), (True, "the connecting bus number True is not"),
    (555, "the connecting bus 555 is not a bus of main case 'main'")])
def test_an_unusable_connecting_bus_is_refused_before_the_case_is_read(setup, given, error):
    fake, run, row, read_cases = setup
    with pytest.raises(ValueError, match=f"small case 'a': {error}"):
        run([row("a", bus=given)])
    assert read_cases() == []


def test_a_plant_may_connect_to_a_bus_of_a_plant_added_before(setup):
    fake, run, row, read_cases = setup
    run([row("a"), row("b", bus=301)])
    assert read_cases() == ["a.sav", "b.sav"]


def test_an_empty_path_cell_is_an_error(setup):
    fake, run, row, _ = setup
    with pytest.raises(ValueError, match="'snapshot filepath' is empty"):
        run([], main_folder=math.nan)
    with pytest.raises(ValueError, match="'parent_path' is empty"):
        run([row("a", parent=math.nan)])
