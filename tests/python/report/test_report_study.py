"""The study report on a real run of the embedded simulator (two plants on
IEEE 30, one failing at its second stage): the CSV files against the saved
stage cases, the page, the full-output check, `velquin report`, and the
page in headless Chromium."""

from __future__ import annotations

import cmath
import hashlib
import io
import math
import os
import subprocess
import sys
from pathlib import Path

import pandas as pd
import pytest

from .chromium import visit
from .study import SINK_BUSES, SOLAR_BUSES, build_cases, embedded_run, write_workbook

REPO_DIR = Path(__file__).resolve().parents[3]
STAGE_COLUMNS = ["main_case", "small_case", "stage", "bus", "name", "base_kv", "vm_pu", "va_deg", "vmax_pu",
                 "vmin_pu", "violation"]
BRANCH_COLUMNS = ["main_case", "small_case", "stage", "from_bus", "to_bus", "ckt", "p_mw", "q_mvar",
                  "rating_mva", "loading_pct"]


def digest(path: Path) -> str:
    return hashlib.sha256(path.read_bytes()).hexdigest()


@pytest.fixture(scope="module")
def study(tmp_path_factory, simulator_dir, test_data_dir):
    folder = tmp_path_factory.mktemp("report_study")
    results = folder / "results"

    def write_cases(psspy):
        build_cases(psspy, folder, test_data_dir / "matpower" / "case30.m")
        return write_workbook(folder, simulator_dir, results)

    with embedded_run(folder, simulator_dir, write_cases) as (caspy, status, out):
        report = results / "report"
        in_run = {name: (report / name).read_text() for name in ("stages.csv", "branches.csv", "summary.csv",
                                                                 "full_output.csv", "index.html")}
        yield dict(folder=folder, results=results, report=report, caspy=caspy, status=status, out=out,
                   in_run=in_run)


def pair_folder(study, small):
    return study["results"] / small / "ieee30"


def stage_file(study, small, stage):
    suffix = "final_solved" if stage == "final" else stage
    return pair_folder(study, small) / f"ieee30_solved_{small}_{suffix}.sav"


def text(value) -> str:
    """A CSV cell read as text: an empty cell reads as NaN."""
    return value if isinstance(value, str) else ""


def read_csv(study, name):
    return pd.read_csv(study["report"] / name, keep_default_na=False, na_values=[""])


def test_the_run_ends_with_the_report_and_fails_for_the_failed_pair(study):
    lines = study["out"].splitlines()
    assert lines[-1] == f"Report: {study['report'] / 'index.html'}"
    assert study["status"] == 1  # the sink plant did not converge
    for name in ("index.html", "stages.csv", "branches.csv", "summary.csv", "full_output.csv"):
        assert (study["report"] / name).is_file(), name


def test_stages_csv_holds_every_stage_s_voltages_as_saved(study):
    stages = read_csv(study, "stages.csv")
    assert list(stages.columns) == STAGE_COLUMNS
    caspy = study["caspy"]
    expected_stages = {"solar": ["0", "1", "2", "3", "final"], "sink": ["0", "1"]}
    for small, connecting, buses in (("solar", 4, SOLAR_BUSES), ("sink", 7, SINK_BUSES)):
        rows = stages[stages["small_case"] == small]
        assert list(dict.fromkeys(rows["stage"].astype(str))) == expected_stages[small]
        for stage in expected_stages[small]:
            case = caspy.Savecase(str(stage_file(study, small, stage))).pssbus
            at = {n: i for i, n in enumerate(case["NUM"])}
            got = rows[rows["stage"].astype(str) == stage].set_index("bus")
            assert sorted(got.index) == sorted([connecting, *buses])
            for bus in got.index:
                i, row = at[bus], got.loc[bus]
                assert row["main_case"] == "ieee30" and text(row["name"]) == case["NAME"][i]
                assert (row["base_kv"], row["vmax_pu"], row["vmin_pu"]) == pytest.approx(
                    (case["BASKV"][i], case["NMAXV"][i], case["NMINV"][i]))
                if case["IDE"][i] == 4:  # out of service: no voltage, no violation
                    assert math.isnan(row["vm_pu"]) and math.isnan(row["va_deg"]) and text(row["violation"]) == ""
                    continue
                assert (row["vm_pu"], row["va_deg"]) == pytest.approx((case["VM"][i], case["VA"][i]), abs=1e-9)
                expected = ("high" if case["VM"][i] > case["NMAXV"][i] else
                            "low" if case["VM"][i] < case["NMINV"][i] else "")
                assert text(row["violation"]) == expected
    # Stage 0 has the plants out of service; energising the solar collector
    # puts its 34.5 kV bus above its 0.98 pu limit.
    assert stages[(stages["stage"].astype(str) == "0") & stages["bus"].isin(SOLAR_BUSES)]["vm_pu"].isna().all()
    assert "high" in set(stages[stages["bus"] == 102]["violation"].dropna())


def _voltages(pssbus):
    return {n: cmath.rect(pssbus["VM"][i], math.radians(pssbus["VA"][i])) for i, n in enumerate(pssbus["NUM"])}


def independent_flows(case):
    """From-end flows in MW/Mvar of the plant's branches, written out here
    from the textbook models (every winding code 1, no phase shift)."""
    v = _voltages(case.pssbus)
    flows = {}
    lines = case.casbrn
    for i, (f, t) in enumerate(zip(lines["FRMBUS"], lines["TOBUS"])):
        y = 1 / lines["RX"][i]
        shunt = 1j * lines["B"][i] / 2 + lines["GBI"][i]
        flows[(f, t, lines["CKT"][i])] = 100 * v[f] * ((y + shunt) * v[f] - y * v[t]).conjugate()
    trn = case.castrn
    star_number = 1000000  # the one three-winding transformer's star point
    for i, buses in enumerate(trn["BUSNUM"]):
        ratios = trn["WIND"][i]
        if buses[2] == 0:
            f, t = buses[:2]
            y = 1 / trn["RX"][i][0]
            current = y / ratios[0] ** 2 * v[f] - y / (ratios[0] * ratios[1]) * v[t]
            flows[(f, t, trn["CKT"][i])] = 100 * v[f] * current.conjugate()
        else:
            z12, z23, z31 = trn["RX"][i]
            star_z = [(z12 + z31 - z23) / 2, (z12 + z23 - z31) / 2, (z23 + z31 - z12) / 2]
            vs = v[star_number]
            for k in range(3):
                y, tk = 1 / star_z[k], ratios[k]
                current = y / tk ** 2 * v[buses[k]] - y / tk * vs
                flows[(buses[k], 0, trn["CKT"][i])] = 100 * v[buses[k]] * current.conjugate()
    return flows


def test_branches_csv_flows_agree_with_flows_computed_from_the_saved_voltages(study):
    branches = read_csv(study, "branches.csv")
    assert list(branches.columns) == BRANCH_COLUMNS
    caspy = study["caspy"]
    solar = branches[branches["small_case"] == "solar"]
    for stage in ("1", "2", "3", "final"):
        case = caspy.Savecase(str(stage_file(study, "solar", stage)))
        expected = independent_flows(case)
        rows = solar[solar["stage"].astype(str) == stage]
        assert len(rows) > 0
        for row in rows.itertuples(index=False):
            s = expected[(row.from_bus, row.to_bus, str(row.ckt))]
            assert (row.p_mw, row.q_mvar) == pytest.approx((s.real, s.imag), abs=1e-6)
    final = solar[solar["stage"].astype(str) == "final"].set_index(["from_bus", "to_bus"])
    # Every branch and winding of the plant, in service at the final stage.
    assert sorted(final.index) == sorted([(4, 101), (101, 0), (102, 0), (103, 0), (102, 104)])
    line = final.loc[(4, 101)]
    assert line["rating_mva"] == 40.0
    # Loading is the larger end's MVA against the rating.
    assert line["loading_pct"] >= 100 * abs(complex(line["p_mw"], line["q_mvar"])) / 40.0 - 1e-9
    assert final.loc[(103, 0)]["rating_mva"] == 5.0
    # The sink plant's failed stage left no rows after its first stage.
    assert set(branches[branches["small_case"] == "sink"]["stage"].astype(str)) <= {"0", "1"}


def test_the_report_s_flows_balance_every_plant_bus_of_the_solved_case(study):
    """Against the simulator's own solution: at each bus of the plant, what
    the branches carry away equals what machines and loads put in."""
    from velquin_report.branch_flows import branch_flows
    from velquin_report.case_tables import read_case

    path = stage_file(study, "solar", "final")
    case = read_case(study["caspy"], path)
    raw = study["caspy"].Savecase(str(path))
    flows = branch_flows(case, set(SOLAR_BUSES))
    balance = {bus: 0j for bus in SOLAR_BUSES}
    for row in flows.itertuples(index=False):
        for bus, s in ((row.from_bus, complex(row.p_mw, row.q_mvar)), (row.to_bus, complex(row.p_to_mw, row.q_to_mvar))):
            if bus in balance:
                balance[bus] += s
    assert abs(balance[103]) > 0.5  # the branches do carry the station service
    loads = raw.psslod
    for i, bus in enumerate(loads["NUM"]):
        if bus in balance and loads["STATUS"][i] == 1:
            balance[bus] += 100 * loads["LOAD"][i][0]
    machines = raw.pssgen
    for i, bus in enumerate(machines["NUM"]):
        if bus in balance and machines["STAT"][i] == 1:
            balance[bus] -= 100 * complex(machines["PG"][i], machines["QG"][i])
    assert max(abs(s) for s in balance.values()) < 0.1


def test_reading_the_plant_s_part_of_a_case_gives_the_whole_case_s_rows_and_flows(study):
    """The report reads only the rows around the small case's buses: they
    are exactly the whole case's rows, and the flows from them the same."""
    from velquin_report.branch_flows import branch_flows, touching
    from velquin_report.case_tables import read_case

    for small, connecting, buses in (("solar", 4, SOLAR_BUSES), ("sink", 7, SINK_BUSES)):
        for stage in ("0", "1", "final") if small == "solar" else ("0", "1"):
            path = stage_file(study, small, stage)
            whole = read_case(study["caspy"], path)
            for around in (buses, [connecting, *buses]):
                part = read_case(study["caspy"], path, around=around)
                assert part.system_base_mva == whole.system_base_mva == 100.0
                wanted = set(around)
                for name, columns in (("lines", ("from_bus", "to_bus")), ("transformers", ("bus1", "bus2", "bus3"))):
                    expected = touching(getattr(whole, name), wanted, columns).reset_index(drop=True)
                    pd.testing.assert_frame_equal(getattr(part, name), expected, check_exact=True)
                ends = set(part.lines[["from_bus", "to_bus"]].to_numpy().ravel()) | wanted
                ends |= set(part.transformers[["bus1", "bus2", "bus3"]].to_numpy().ravel()) - {0}
                pd.testing.assert_frame_equal(part.buses, whole.buses[whole.buses.index.isin(ends)],
                                              check_exact=True)
                machines = whole.machines[whole.machines["bus"].isin(wanted)].reset_index(drop=True)
                # No machine: an empty table, whatever its columns' types.
                pd.testing.assert_frame_equal(part.machines, machines, check_exact=True,
                                              check_dtype=not machines.empty)
                pd.testing.assert_frame_equal(branch_flows(part, set(buses)), branch_flows(whole, set(buses)),
                                              check_exact=True)


def test_summary_csv_gives_each_pair_its_outcome_and_worst_values(study):
    summary = pd.read_csv(io.StringIO(study["in_run"]["summary.csv"]))
    assert list(summary.columns) == [
        "main_case", "small_case", "outcome", "reconnected", "connections", "seconds", "worst_vm_pu",
        "worst_vm_bus", "worst_vm_stage", "worst_loading_pct", "worst_loading_branch", "worst_loading_stage"]
    summary = summary.set_index("small_case")
    assert summary.loc["solar", "outcome"] == "converged"
    assert (summary.loc["solar", "reconnected"], summary.loc["solar", "connections"]) == (3, 3)
    assert summary.loc["sink", "outcome"] == "failed"
    assert (summary.loc["sink", "reconnected"], summary.loc["sink", "connections"]) == (1, 2)
    stages = read_csv(study, "stages.csv")
    solar = stages[stages["small_case"] == "solar"]
    beyond = (solar["vm_pu"] - solar["vmax_pu"]).combine(solar["vmin_pu"] - solar["vm_pu"], max)
    assert summary.loc["solar", "worst_vm_pu"] == pytest.approx(solar.loc[beyond.idxmax(), "vm_pu"])
    assert summary.loc["solar", "worst_vm_bus"] == 102
    assert summary.loc["solar", "seconds"] > 0


def test_the_page_names_every_pair_and_stage_and_shows_the_failed_one(study):
    page = (study["report"] / "index.html").read_text()
    for small, stages in (("solar", ["0", "1", "2", "3", "final_solved"]), ("sink", ["0", "1"])):
        assert f"{small} on ieee30" in page
        for stage in stages:
            assert f"ieee30_solved_{small}_{stage}.sav" in page
    assert page.count("<svg") == 6  # tree, voltages, loading per pair
    assert "leaves the new plant's machines (generators) out of service" in page
    # The sink plant's second stage failed: its status and what the
    # simulator said about it.
    failed = page[page.index("Stage 2 failed"):]
    assert "solution status 1" in failed or "solution status 2" in failed or "solution status 3" in failed
    progress = (pair_folder(study, "sink") / "progress.txt").read_text()
    last_outcome = [line for line in progress.splitlines()
                    if line.startswith(("Iteration limit exceeded", "Blown up", "Terminated by step control"))][-1]
    assert last_outcome in failed[:failed.index("</details>")]
    assert "Stage 2 failed" not in page[:page.index("sink on ieee30")]


def test_full_output_check_runs_on_a_copy_and_reports_the_plant_at_full_power(study):
    final = stage_file(study, "solar", "final")
    before = (digest(final), final.stat().st_mtime_ns)
    rows = read_csv(study, "full_output.csv")
    assert list(rows.columns) == [
        "main_case", "small_case", "check", "solved", "solution_status", "connecting_bus", "connecting_bus_vm_pu",
        "p_mw", "q_mvar", "power_factor", "q_target_mvar", "machines_q_mvar", "machines_qmin_mvar",
        "machines_qmax_mvar", "holds", "violations", "notes"]
    solar = rows[rows["small_case"] == "solar"].set_index("check")
    assert list(solar.index) == ["full output", "0.95 lagging", "0.95 leading"]
    full = solar.loc["full output"]
    assert full["solved"] == "yes" and full["connecting_bus"] == 4
    # 20 MW of inverters less 0.5 MW of station service and the losses.
    assert 18.0 < full["p_mw"] < 19.5
    # The 15 MVA pad-mount transformer carries the 20 MW.
    assert "branch 102-104 ckt 1" in full["violations"]
    for check in ("0.95 lagging", "0.95 leading"):
        row = solar.loc[check]
        assert row["solved"] == "yes"
        target = math.copysign(abs(row["p_mw"]) * math.tan(math.acos(0.95)), 1 if "lagging" in check else -1)
        assert row["q_target_mvar"] == pytest.approx(target)
        assert row["machines_qmin_mvar"] == -9.0 and row["machines_qmax_mvar"] == 9.0
        assert -9.0 <= row["machines_q_mvar"] <= 9.0
        if row["holds"] == "yes":
            assert row["q_mvar"] == pytest.approx(target, abs=0.5)
        else:  # the machines at their limit fall short
            assert abs(row["machines_q_mvar"]) == pytest.approx(9.0)
            assert abs(row["q_mvar"]) < abs(target)
    sink = rows[rows["small_case"] == "sink"]
    assert list(sink["solved"]) == ["not run"]
    assert (digest(final), final.stat().st_mtime_ns) == before



class _Regulating:
    """A simulator adapter that leaves every bus's type as it is."""

    def __init__(self, engine):
        self.engine = engine

    def __getattr__(self, name):
        return getattr(self.engine, name)

    def change_bus_data(self, **_):
        return 0


def test_the_full_output_check_s_load_bus_hold_solves_as_equal_limits_alone(study, simulator_dir, tmp_path):
    """The check fixes a machine's reactive output by making its bus a load
    bus; equal limits at a regulating bus must give the same solution."""
    from velquin_report.full_output import check_full_output
    from velquin_report.result_folder import find_pairs, small_case_buses
    from velquin_report.simulator import open_engine
    from velquin_report.stage_tables import read_stages

    engine = open_engine(simulator_dir)
    engine.init_psse(buses=150000)
    pair = next(p for p in find_pairs(study["results"]) if p.small_case == "solar")
    stages = read_stages(engine.caspy, pair, small_case_buses(pair))
    held = check_full_output(engine, stages, tmp_path).results
    regulating = check_full_output(_Regulating(engine), stages, tmp_path).results
    assert [r.check for r in held] == ["full output", "0.95 lagging", "0.95 leading"]
    assert [r.check for r in regulating] == [r.check for r in held]
    for a, b in zip(held, regulating):
        assert a.solved and b.solved and a.holds == b.holds, a.check
        assert a.machines_q_mvar == pytest.approx(b.machines_q_mvar, abs=1e-9, nan_ok=True), a.check
        assert (a.connecting_bus_vm_pu, a.p_mw, a.q_mvar) == pytest.approx(
            (b.connecting_bus_vm_pu, b.p_mw, b.q_mvar), abs=1e-6), a.check
        assert a.violations == b.violations, a.check

def test_velquin_report_rebuilds_the_same_files_from_the_folder_alone(study, build_dir):
    env = dict(os.environ, VELQUIN_BUILD_DIR=str(build_dir))
    done = subprocess.run([sys.executable, str(REPO_DIR / "bin" / "velquin"), "report", str(study["results"])],
                          capture_output=True, text=True, env=env, timeout=300)
    assert done.returncode == 0, done.stderr
    assert done.stdout.splitlines()[-1] == f"Report: {study['report'] / 'index.html'}"
    for name in ("stages.csv", "branches.csv", "full_output.csv"):
        assert (study["report"] / name).read_text() == study["in_run"][name], name
    rebuilt = read_csv(study, "summary.csv")
    in_run = pd.read_csv(io.StringIO(study["in_run"]["summary.csv"]))
    # Without the run, its summary file in the folder tells the times; the rest is told by the files.
    pd.testing.assert_frame_equal(rebuilt, in_run, check_dtype=False)
    assert rebuilt["seconds"].notna().all()
    page = (study["report"] / "index.html").read_text()
    assert "Stage 2 failed" in page and "files" in page


def test_the_page_renders_in_headless_chromium_without_console_errors(study, tmp_path):
    page = visit(study["report"] / "index.html", tmp_path)
    assert page.errors == []
    assert "solar on ieee30" in page.text and "Stage 2 failed" in page.text
    assert page.height > 3000  # plots and tables laid out, not an empty page
