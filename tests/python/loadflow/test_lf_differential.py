"""Random sequences of changes through psspy, with solutions in between, on
several networks: every solution must leave the case, the status and the
progress text exactly as a fresh session solving the same case does (the
kept state forgotten with loadflow_reset, the case loaded from the file
saved just before that solution)."""

from __future__ import annotations

from pathlib import Path

import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

NETWORKS = ["matpower/case14.m", "raw/IEEE_14_bus_completed.raw", "raw/39bus.raw",
            "raw/three_winding_test_2.raw", "matpower/case30.m",
            # Devices: two LCC and two VSC lines; areas with slack machines
            # and an LCC line; a phase shifter; FACTS devices and a VSC line.
            "raw/IEEE_14_v35_3_nudox.raw", "raw/IEEE300Bus.raw", "raw/ThreeMIB_T3W_phase.raw",
            "raw/frankenstein_70.raw"]

# The solution calls of the stepwise network solve: flat starts, starts from
# the case's voltages and DC-angle starts.
SOLUTIONS = [
    ("rsol", dict(options1=1, options2=2, options6=1, options7=0, options8=99, options9=0, options10=0)),
    ("rsol", ([1, 2, 0, 0, 1, 1, 0, 99, 0, 0], [500.0, 5.0])),
    ("fnsl", ([2, 0, 0, 1, 1, 0, 99, 0],)),
    ("fnsl", ([2, 0, 0, 1, 1, 4, 99, 0],)),
    ("rsol", ([1, 2, 0, 0, 1, 1, 4, 99, 0, 0], [500.0, 5.0])),
    ("fnsl", dict(options1=2, options4=1, options5=1, options6=0, options7=99, options8=0)),
    # Every adjustment: taps, area interchange, phase shifters (whose moved
    # angles are written back), DC converter taps, switched shunts.
    ("fnsl", ([1, 2, 1, 1, 1, 0, 99, 0],)),
]

SIGNED = [20.0, -20.0, 30.0, -30.0, 0.0, -0.0, 5.5]


def call(psspy, name, args):
    function = getattr(psspy, name)
    return function(**args) if isinstance(args, dict) else function(*args)


class Network:
    """A network loaded once and saved, with the numbers the changes use."""

    def __init__(self, sim, path: Path, folder: Path):
        psspy = sim.psspy
        if path.suffix == ".m":
            assert psspy.read_matpower(str(path)) == 0
        else:
            assert psspy.read(0, str(path)) == 0
        self.saved = folder / (path.stem + ".sav")
        assert psspy.save(sfile=str(self.saved)) == 0
        case = sim.caspy.Savecase(str(self.saved))
        self.buses = list(case.pssbus["NUM"])
        self.types = list(case.pssbus["IDE"])
        self.lines = list(zip(case.casbrn["FRMBUS"], case.casbrn["TOBUS"], case.casbrn["CKT"]))
        self.loads = list(zip(case.psslod["NUM"], case.psslod["ID"]))
        self.machines = [(bus, "1") for bus in case.pssgen["NUM"]]  # refused where the id differs
        self.transformers = [(b[0], b[1], ckt) for b, ckt in zip(case.castrn["BUSNUM"], case.castrn["CKT"])
                             if not b[2]]
        self.dc_lines = list(case.pss2dc["NAME"])
        self.vsc_lines = list(case.pssvsc["NAME"])
        self.facts = list(case.pssfct["NAME"])
        self.areas = list(case.pssald["AREA"])


def change(draw, net):
    """One change through psspy, as (name, keyword arguments)."""
    kind = draw(st.sampled_from(["shunt", "line", "transformer", "load", "machine", "output", "limits", "type",
                                 "dscn", "recn", "dc", "vsc", "facts", "area"]))
    pick = lambda items: draw(st.sampled_from(items))  # noqa: E731
    if kind == "shunt":
        return "shunt_data", dict(ibus=pick(net.buses), id=pick(["A", "B"]), realar1=0.0, realar2=pick(SIGNED))
    if kind == "line" and net.lines:
        i, j, ckt = pick(net.lines)
        return "branch_data_4", dict(ibus=i, jbus=j, ckt=ckt, intgar1=pick([0, 1, 1]),
                                     realar2=pick([0.05, -0.05, 0.1, 0.2]))
    if kind == "transformer" and net.transformers:
        i, j, ckt = pick(net.transformers)
        return "two_winding_data_6", dict(ibus=i, jbus=j, ckt=ckt, realari4=pick([0.95, 1.0, 1.025, 1.05]),
                                          realari6=pick([-5.0, 0.0, 5.0]))
    if kind == "load" and net.loads:
        bus, lid = pick(net.loads)
        return "load_data_7", dict(ibus=bus, id=lid, intgar1=pick([0, 1, 1]), realar1=pick(SIGNED),
                                   realar2=pick(SIGNED))
    if kind == "machine" and net.machines:
        bus, mid = pick(net.machines)
        return "machine_chng_4", dict(ibus=bus, id=mid, intgar1=pick([0, 1, 1]), realar1=pick([0.0, 10.0, 40.0]))
    if kind == "output" and net.machines:
        # Stored outputs are solution fields; at a load bus they are a fixed injection.
        bus, mid = pick(net.machines)
        return "machine_chng_4", dict(ibus=bus, id=mid, realar1=pick([0.0, 10.0, 40.0]), realar2=pick(SIGNED))
    if kind == "limits" and net.machines:
        # Narrow reactive limits hold plants at a limit: later solutions
        # start them there.
        bus, mid = pick(net.machines)
        return "machine_chng_4", dict(ibus=bus, id=mid, realar3=pick([2.0, 15.0, 9999.0]),
                                      realar4=pick([-2.0, -15.0, -9999.0]))
    if kind == "type":
        # Half the time a generator bus becomes a load bus: its machines
        # turn into fixed injections of their stored outputs.
        buses = [bus for bus, _ in net.machines] if draw(st.booleans()) and net.machines else net.buses
        return "bus_chng_4", dict(ibus=pick(buses), intgar1=pick([1, 2]))
    if kind in ("dscn", "recn"):
        return kind, dict(ibus=pick(net.buses))
    if kind == "dc" and net.dc_lines:
        # Blocked, power or current order.
        return "two_terminal_dc_line_data", dict(name=pick(net.dc_lines), intgar1=pick([0, 1, 1, 2]),
                                                 realar1=pick([20.0, 50.0, 100.0]))
    if kind == "vsc" and net.vsc_lines:
        # AC voltage or power factor.
        return "vsc_dc_converter_data", dict(name=pick(net.vsc_lines), ic=pick([1, 2]), intgar3=pick([1, 2]),
                                             realar2=pick([0.98, 1.0, 1.02]))
    if kind == "facts" and net.facts:
        return "facts_data", dict(name=pick(net.facts), realar3=pick([0.98, 1.0, 1.02]),
                                  realar4=pick([5.0, 50.0, 100.0]))
    if kind == "area" and net.areas:
        return "area_data", dict(iar=pick(net.areas), realar1=pick([-60.0, -10.0, 0.0, 40.0]),
                                 realar2=pick([0.5, 5.0]))
    return "shunt_data", dict(ibus=pick(net.buses), id="A", realar2=pick(SIGNED))


class Focus:
    """A few elements of a network: changes that meet on the same elements
    find the faults that changes spread over a network miss."""

    def __init__(self, draw, net: Network):
        some = lambda items: draw(st.lists(st.sampled_from(items), min_size=1, max_size=2)) if items else []  # noqa
        self.machines = some(net.machines)
        self.buses = some(net.buses) + [bus for bus, _ in self.machines]
        self.lines = some(net.lines)
        self.loads = some(net.loads)
        self.transformers = some(net.transformers)
        self.dc_lines, self.vsc_lines, self.facts, self.areas = net.dc_lines, net.vsc_lines, net.facts, net.areas


@st.composite
def steps(draw, net: Network):
    """Changes with solutions in between, ending in at least two solutions."""
    focus = Focus(draw, net)
    solutions = draw(st.lists(st.sampled_from(SOLUTIONS), min_size=1, max_size=3))
    out = []
    for _ in range(draw(st.integers(1, 6))):
        out.append(("change",) + change(draw, focus))
        out.append(("solve",) + draw(st.sampled_from(solutions)))
    out.append(("solve",) + draw(st.sampled_from(solutions)))
    return out


def solve_and_record(sim, name, args, before: Path, after: Path):
    psspy = sim.psspy
    assert psspy.save(sfile=str(before)) == 0
    start = sim.progress.stat().st_size
    assert call(psspy, name, args) == 0
    status = psspy.solved()
    text = sim.progress.read_bytes()[start:]
    assert psspy.save(sfile=str(after)) == 0
    return status, text, psspy.loadflow_work()


@pytest.fixture(scope="module")
def networks(embedded_simulator, test_data_dir, tmp_path_factory):
    from types import SimpleNamespace
    folder = tmp_path_factory.mktemp("networks")
    psspy = embedded_simulator.psspy
    progress = folder / "loading.txt"
    psspy.progress_output(islct=2, filarg=str(progress))
    sim = SimpleNamespace(psspy=psspy, caspy=embedded_simulator.caspy)
    return {name: Network(sim, test_data_dir / name, folder) for name in NETWORKS}


@pytest.mark.parametrize("name", NETWORKS)
def test_every_solution_equals_a_fresh_sessions(sim, networks, name):
    net = networks[name]
    hits = []

    @settings(max_examples=20, deadline=None, derandomize=True,
              suppress_health_check=[HealthCheck.function_scoped_fixture, HealthCheck.too_slow])
    @given(st.data())
    def check(data):
        psspy = sim.psspy
        assert psspy.case(str(net.saved)) == 0
        solutions = []
        for k, step in enumerate(data.draw(steps(net))):
            if step[0] == "change":
                getattr(psspy, step[1])(**step[2])  # refused changes are part of the sequence too
                continue
            before, after = sim.folder / f"before_{k}.sav", sim.folder / f"after_{k}.sav"
            status, text, work = solve_and_record(sim, step[1], step[2], before, after)
            hits.append(work["memo_hits"])
            solutions.append((step[1], step[2], before, after.read_bytes(), status, text))
        for k, (operation, args, before, case_bytes, status, text) in enumerate(solutions):
            psspy.loadflow_reset()
            assert psspy.case(str(before)) == 0
            fresh = sim.folder / "fresh.sav"
            fresh_status, fresh_text, _ = solve_and_record(sim, operation, args, sim.folder / "again.sav", fresh)
            assert fresh_status == status, f"solution {k}: status"
            assert fresh_text == text, f"solution {k}: progress text"
            assert fresh.read_bytes() == case_bytes, f"solution {k}: the case written back"

    check()
    assert sum(hits) > 0, "no solution was given an earlier outcome: the memo was not exercised"
