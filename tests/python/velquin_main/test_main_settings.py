"""What the run takes from the reader's rows: the software settings, the
enabled rule, the connecting bus, and the errors for rows it cannot use."""

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

    def run(cases, soft=None, mains=None):
        soft = soft if soft is not None else software_rows(str(fake_simulator.path))
        mains = mains if mains is not None else indexed([main_row("yes", str(tmp_path), "main")])
        stub_reader(soft, mains, cases)
        return velquin_main.run_integration(str(tmp_path), "config.xlsx")

    return fake_simulator, tmp_path, run


def read_cases(fake, folder):
    return [c.args[0][len(str(folder)) + 1:] for c in fake.calls_to("Savecase")][1:]


def test_enabled_rows_are_taken_in_order_and_the_last_one_closes(setup):
    fake, folder, run = setup
    rows = [case_row(enabled, str(folder), name, 101, str(folder / "out"))
            for enabled, name in [("yes", "a"), ("Yes", "x"), (1, "b"), ("no", "x"), (1.0, "c"), (0, "x"),
                                  (math.nan, "x"), (True, "d"), (None, "x"), (False, "x")]]
    run(indexed(rows))
    assert read_cases(fake, folder) == ["a.sav", "b.sav", "c.sav", "d.sav"]
    # Rows skipped after "d" do not keep it from being the last small case.
    assert fake.calls_to("save")[-1].kwargs == {"sfile": str(folder / "out" / "main_solved_.sav")}
    assert fake.names()[-4:-2] == ["close_powerflow", "deltmpfiles"]


def test_software_settings_later_rows_win_and_others_are_ignored(setup, tmp_path):
    fake, folder, run = setup
    soft = indexed([
        {"attribute description": "psse_version", "attribute value": 33.0},
        {"attribute description": "psse_init", "attribute value": "1200"},
        {"attribute description": "psse_path", "attribute value": str(fake.path)},
        {"attribute description": "PSSE_VERSION", "attribute value": 99.0},
        {"attribute description": "comment", "attribute value": "35.5"},
        {"attribute description": "psse_version", "attribute value": "35.5"},
    ])
    run(indexed([case_row("yes", str(folder), "a", 101, str(folder / "out"))]), soft=soft)
    assert fake.imports[0] == "psse3505"
    assert fake.calls_to("psseinit")[0].kwargs == {"buses": 1200}


@pytest.mark.parametrize("missing", ["psse_path", "psse_version"])
def test_a_missing_simulator_setting_stops_before_anything_is_read(setup, missing):
    fake, folder, run = setup
    soft = {k: row for k, row in software_rows(str(fake.path)).items()
            if row["attribute description"] != missing}
    with pytest.raises(UnboundLocalError, match=missing):
        run(indexed([case_row("yes", str(folder), "a", 101, str(folder / "out"))]), soft=soft)
    assert fake.imports == [] and fake.calls == []


def test_a_missing_start_up_size_stops_after_the_maps_are_written(setup):
    fake, folder, run = setup
    soft = {k: row for k, row in software_rows(str(fake.path)).items()
            if row["attribute description"] != "psse_init"}
    with pytest.raises(UnboundLocalError, match="psse_init"):
        run(indexed([case_row("yes", str(folder), "a", 101, str(folder / "out"))]), soft=soft)
    assert sorted(p.name for p in (folder / "out" / "a" / "main").iterdir()) == [
        "main_renumber_map.json", "main_renumber_map.txt"]
    assert fake.calls_to("psseinit") == []


@pytest.mark.parametrize("given", [101, 101.0, " 101 ", "101"])
def test_the_connecting_bus_reaches_the_walks_as_an_integer(setup, given):
    fake, folder, run = setup
    run(indexed([case_row("yes", str(folder), "a", given, str(folder / "out"))]))
    first_walk = fake.calls_to("inibrn_2")[0].kwargs["ibus"]
    assert first_walk == 101 and type(first_walk) is int
    # Left out of the bus table, so only 301 is created and the solve
    # reconnects it from 101.
    assert [c.kwargs["ibus"] for c in fake.calls_to("bus_data_4")] == [301]
    assert [c.args for c in fake.calls_to("recn")] == [(301,)]


@pytest.mark.parametrize("given", [math.nan, "bus 101", 101.5, True])
def test_an_unusable_connecting_bus_is_refused_before_the_case_is_read(setup, given):
    fake, folder, run = setup
    with pytest.raises(ValueError, match="small case 'a': the connecting bus number"):
        run(indexed([case_row("yes", str(folder), "a", given, str(folder / "out"))]))
    assert read_cases(fake, folder) == []


def test_the_connecting_bus_must_be_a_bus_of_the_main_case_or_of_a_plant_added_to_it(setup):
    fake, folder, run = setup
    out = str(folder / "out")
    # The second plant connects to bus 301 of the first, which the main case
    # did not have before.
    run(indexed([case_row("yes", str(folder), "a", 101, out), case_row("yes", str(folder), "b", 301, out)]))
    assert read_cases(fake, folder) == ["a.sav", "b.sav"]
    fake.clear()
    with pytest.raises(ValueError, match="small case 'c': the connecting bus 555 is not a bus of main case 'main'"):
        run(indexed([case_row("yes", str(folder), "c", 555, out)]))
    assert read_cases(fake, folder) == []


def test_empty_path_cells_and_missing_keys_are_errors(setup):
    fake, folder, run = setup
    with pytest.raises(ValueError, match="'snapshot filepath' is empty"):
        run({}, mains=indexed([main_row("yes", math.nan, "main")]))
    with pytest.raises(ValueError, match="'parent_path' is empty"):
        run(indexed([case_row("yes", str(folder), "a", 101, math.nan)]))
    row = case_row("yes", str(folder), "a", 101, str(folder))
    del row["parent_path"]  # a sheet enabled only through "NOT APPLICABLE"
    fake.clear()
    with pytest.raises(KeyError):
        run(indexed([row]))
    assert fake.calls == []


def test_a_failing_step_ends_the_run(setup):
    fake, folder, run = setup
    fake.answer("bus_data_4", RuntimeError("simulator gone"))
    with pytest.raises(RuntimeError, match="simulator gone"):
        run(indexed([case_row("yes", str(folder), "a", 101, str(folder / "out")),
                     case_row("yes", str(folder), "b", 101, str(folder / "out"))]))
    assert read_cases(fake, folder) == ["a.sav"]
    assert fake.calls[-1].name == "bus_data_4"
