"""Branch flows on the case's own system base: a run on a 250 MVA base on
the embedded simulator (flows against the textbook models on that base and
against the loads they feed), the base asked of psspy where caspy does not
tell it (once per main case), and a clear error where neither does."""

from __future__ import annotations

import cmath
import math
import os
import sys
import types
from pathlib import Path

import pandas as pd
import pytest

from fixtures.case_data import bus, line, make_case
from fixtures.workbooks import config_workbook

REPO_DIR = Path(__file__).resolve().parents[3]
if str(REPO_DIR) not in sys.path:
    sys.path.insert(0, str(REPO_DIR))

from velquin_report import ReportError, build_report  # noqa: E402

from .study import embedded_run  # noqa: E402

BASE_MVA = 250.0
PLANT_BUSES = [101, 102, 103]
LINE = dict(r=0.004, x=0.03, b=0.01)  # the tie line 3-101, pu on 250 MVA
MAIN_TRANSFORMER = dict(r=0.003, x=0.09, winding_mva=60.0, no_load_w=30000.0, exciting_pu=0.005)
PAD_MOUNT = dict(r=0.01, x=0.15)  # 102-103, pu on 250 MVA
PLANT_MW, AUX_LOAD_MW, AUX_LOAD_MVAR = 20.0, 0.8, 0.3


def build_cases(psspy, folder: Path) -> None:
    """A three-bus grid and a plant on its bus 3, both on a 250 MVA base."""
    assert psspy.newcase_2(basemva=BASE_MVA) == 0
    for number, kind, name in ((1, 3, "SWING"), (2, 1, "LOAD"), (3, 1, "POI")):
        assert psspy.bus_data_4(ibus=number, intgar1=kind, realar1=135.0, name=name) == 0
    for a, b in ((1, 2), (2, 3), (1, 3)):
        assert psspy.branch_data_4(ibus=a, jbus=b, ckt="1", realar1=0.01, realar2=0.08, realar3=0.02) == 0
    assert psspy.plant_data_4(ibus=1, realar1=1.02) == 0
    assert psspy.machine_data_5(ibus=1, id="1", realar1=60.0) == 0
    assert psspy.load_data_7(ibus=2, id="1", realar1=60.0, realar2=20.0) == 0
    assert psspy.fnsl() == 0 and psspy.solved() == 0
    assert psspy.save(sfile=str(folder / "grid.sav")) == 0

    assert psspy.newcase_2(basemva=BASE_MVA) == 0
    for number, kv, kind, name in ((3, 135.0, 3, "POI"), (101, 135.0, 1, "PLANT HV"), (102, 34.5, 1, "PLANT MV"),
                                   (103, 0.69, 2, "PLANT INV")):
        assert psspy.bus_data_4(ibus=number, intgar1=kind, realar1=kv, name=name) == 0
    assert psspy.branch_data_4(ibus=3, jbus=101, ckt="1", realar1=LINE["r"], realar2=LINE["x"], realar3=LINE["b"],
                               ratings1=80.0) == 0
    # Impedance on its own 60 MVA winding base, magnetising by no-load loss
    # and exciting current: both converted on the system base.
    t = MAIN_TRANSFORMER
    assert psspy.two_winding_data_6(ibus=101, jbus=102, ckt="1", intgar15=2, intgar16=2, realari1=t["r"],
                                    realari2=t["x"], realari3=t["winding_mva"], realari13=t["no_load_w"],
                                    realari14=t["exciting_pu"], ratings1=60.0)[0] == 0
    assert psspy.two_winding_data_6(ibus=102, jbus=103, ckt="1", realari1=PAD_MOUNT["r"],
                                    realari2=PAD_MOUNT["x"], ratings1=25.0)[0] == 0
    assert psspy.plant_data_4(ibus=103, realar1=1.0) == 0
    assert psspy.machine_data_5(ibus=103, id="1", realar1=0.0, realar3=8.0, realar4=-8.0, realar5=PLANT_MW,
                                realar6=0.0, realar7=25.0) == 0
    assert psspy.load_data_7(ibus=102, id="SS", realar1=AUX_LOAD_MW, realar2=AUX_LOAD_MVAR) == 0
    assert psspy.save(sfile=str(folder / "plant.sav")) == 0


@pytest.fixture(scope="module")
def run(tmp_path_factory, simulator_dir):
    folder = tmp_path_factory.mktemp("report_base")
    results = folder / "results"

    def write_cases(psspy):
        build_cases(psspy, folder)
        return config_workbook(folder / "config.xlsx", psse_path=str(simulator_dir), psse_version=35.5,
                               psse_init=1000, main_cases=[("yes", str(folder), "grid.sav")],
                               small_cases=[("yes", str(folder), "plant.sav", 3)], result_folder=str(results))

    with embedded_run(folder, simulator_dir, write_cases) as (caspy, status, _):
        yield dict(results=results, report=results / "report", caspy=caspy, status=status)


def stage_path(run, stage):
    suffix = "final_solved" if stage == "final" else stage
    return run["results"] / "plant" / "grid" / f"grid_solved_plant_{suffix}.sav"


def textbook_flows(pssbus) -> dict[tuple[int, int], complex]:
    """From-end MW + j Mvar of the plant's branches on the 250 MVA base."""
    v = {n: cmath.rect(pssbus["VM"][i], math.radians(pssbus["VA"][i])) for i, n in enumerate(pssbus["NUM"])}
    flows = {}
    y = 1 / complex(LINE["r"], LINE["x"])
    flows[(3, 101)] = BASE_MVA * v[3] * ((y + 0.5j * LINE["b"]) * v[3] - y * v[101]).conjugate()
    t = MAIN_TRANSFORMER
    y = 1 / (complex(t["r"], t["x"]) * BASE_MVA / t["winding_mva"])
    g = t["no_load_w"] / (1e6 * BASE_MVA)
    magnetising = complex(g, -math.sqrt((t["exciting_pu"] * t["winding_mva"] / BASE_MVA) ** 2 - g * g))
    flows[(101, 102)] = BASE_MVA * v[101] * ((y + magnetising) * v[101] - y * v[102]).conjugate()
    y = 1 / complex(PAD_MOUNT["r"], PAD_MOUNT["x"])
    flows[(102, 103)] = BASE_MVA * v[102] * (y * v[102] - y * v[103]).conjugate()
    return flows


def test_branch_flows_are_on_the_case_s_own_system_base(run):
    assert run["status"] == 0
    branches = pd.read_csv(run["report"] / "branches.csv")
    final = branches[branches["stage"].astype(str) == "final"].set_index(["from_bus", "to_bus"])
    assert sorted(final.index) == sorted(textbook_flows(run["caspy"].Savecase(str(stage_path(run, "final"))).pssbus))
    for stage in ("1", "2", "3", "final"):
        case = run["caspy"].Savecase(str(stage_path(run, stage)))
        assert case.sbase == BASE_MVA
        expected = textbook_flows(case.pssbus)
        rows = branches[branches["stage"].astype(str) == stage]
        assert len(rows) > 0
        for row in rows.itertuples(index=False):
            s = expected[(row.from_bus, row.to_bus)]
            assert (row.p_mw, row.q_mvar) == pytest.approx((s.real, s.imag), abs=1e-6), (stage, row)
    # In the final case the machine is still out of service: the tie line
    # carries the station service load, in MW as the load is given, and a
    # little loss.
    assert AUX_LOAD_MW < final.loc[(3, 101), "p_mw"] < AUX_LOAD_MW + 0.05


def test_the_full_output_check_tells_the_plant_s_megawatts(run):
    rows = pd.read_csv(run["report"] / "full_output.csv").set_index("check")
    full = rows.loc["full output"]
    assert full["solved"] == "yes"
    # The plant's 20 MW less its 0.8 MW station service and a few losses.
    assert PLANT_MW - AUX_LOAD_MW - 1.0 < full["p_mw"] < PLANT_MW - AUX_LOAD_MW


# --------------------------------------------- a caspy that tells no base

def result_folder(sheet: Path, pairs) -> dict[tuple[str, str], list[Path]]:
    """Pair folders with stage files for (small case, main case, stages)."""
    made = {}
    for when, (small, main, stages) in enumerate(pairs):
        folder = sheet / small / main
        folder.mkdir(parents=True)
        (folder / f"{main}_renumber_map.txt").write_text("")
        os.utime(folder / f"{main}_renumber_map.txt", (1000 + when, 1000 + when))
        (folder / f"{main}_status_{small}.txt").write_text("Bus_Status:\n    total_bus: 1\n    101: 0\n\n")
        made[(main, small)] = [folder / f"{main}_solved_{small}_{stage}.sav" for stage in stages]
        for path in made[(main, small)]:
            path.write_bytes(b"")
    return made


def plant_case(vm: float):
    """Bus 7 of the grid and the plant's bus 101, joined by one line."""
    return make_case(buses=[bus(7, VM=1.0, VA=0.0), bus(101, VM=vm, VA=-2.0)],
                     lines=[line(7, 101, RX=0.01 + 0.1j, B=0.0)])


def per_unit_flow(vm: float) -> complex:
    v7, v101 = 1.0, cmath.rect(vm, math.radians(-2.0))
    y = 1 / (0.01 + 0.1j)
    return v7 * (y * v7 - y * v101).conjugate()


def test_without_caspy_s_base_psspy_is_asked_once_per_main_case(tmp_path, fake_simulator):
    stages = result_folder(tmp_path, [("solar", "north", ["0", "1"]), ("wind", "north", ["0"]),
                                      ("solar", "south", ["0"])])
    bases = {"north": 250.0, "south": 50.0}
    voltages = {}
    for (main, small), paths in stages.items():
        for i, path in enumerate(paths):
            voltages[path.name] = 0.99 - 0.01 * i
            fake_simulator.add_case(path, plant_case(voltages[path.name]))
    opened = []
    fake_simulator.answer("case", lambda sfile: opened.append(sfile) or 0)
    fake_simulator.answer("sysmva", lambda: bases[Path(opened[-1]).parent.name])

    build_report(tmp_path, engine=fake_simulator.engine(35.5), full_output=False)

    asked = [(c.name, c.args, c.kwargs) for c in fake_simulator.calls if c.module == "psspy"]
    assert asked == [("psseinit", (), {"buses": 150000}),
                     ("case", (), {"sfile": str(stages[("north", "solar")][0])}), ("sysmva", (), {}),
                     ("case", (), {"sfile": str(stages[("south", "solar")][0])}), ("sysmva", (), {})]
    branches = pd.read_csv(tmp_path / "report" / "branches.csv")
    assert len(branches) == 4
    for row in branches.itertuples(index=False):
        path = stages[(row.main_case, row.small_case)][int(row.stage)]
        s = bases[row.main_case] * per_unit_flow(voltages[path.name])
        assert (row.from_bus, row.to_bus) == (7, 101)
        assert (row.p_mw, row.q_mvar) == pytest.approx((s.real, s.imag), rel=1e-9)  # ten digits written


@pytest.mark.parametrize("psspy", [types.SimpleNamespace(), types.SimpleNamespace(sysmva=lambda: -1.0)],
                         ids=["no sysmva", "not a base"])
def test_without_any_base_the_report_stops_with_a_clear_error(tmp_path, psspy):
    stages = result_folder(tmp_path, [("solar", "north", ["0"])])
    cases = {str(stages[("north", "solar")][0]): plant_case(0.99)}
    engine = types.SimpleNamespace(caspy=types.SimpleNamespace(Savecase=lambda path: cases[path]), psspy=psspy,
                                   init_psse=lambda **kw: 0, open_case=lambda **kw: 0)
    with pytest.raises(ReportError, match="flows of solar on north cannot be computed.*system base"):
        build_report(tmp_path, engine=engine, full_output=False)
    assert not (tmp_path / "report").exists()  # nothing written on an assumed base
