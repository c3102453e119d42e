"""DC lines, FACTS devices, areas, inter-area transfers and impedance
correction tables created through psspy: every argument position holds a
value of its own, and each must land in its caspy column, survive the saved
case and come back from RAW files of every revision."""

import pytest

TWO_TERMINAL = dict(name="LCC A", intgar=[1, 101, 102, 25],
                    realar=[250.0, 500.5, 410.5, 1.5, 0.15, 7.5, 300.5, 0.9], meter="R")
RECTIFIER = dict(name="LCC A", ic=0, intgar=[101, 4, 103, 105, 106, 2],
                 realar=[17.5, 5.25, 0.01, 13.75, 345.5, 0.44, 1.0125, 1.3, 0.7, 0.0125, 2.5], idnam="T7")
INVERTER = dict(name="LCC A", ic=1, intgar=[102, 6, 104, 107, 108, 3],
                realar=[19.5, 16.25, 0.02, 14.75, 220.5, 0.55, 0.9875, 1.4, 0.6, 0.025, 3.5], idnam="T8")
VSC = dict(name="VSC B", intgar=[0, 2, 3, 4, 5], realar=[0.71, 0.4, 0.3, 0.2, 0.1])
VSC_CONVERTERS = [
    dict(name="VSC B", ic=1, intgar=[101, 1, 1, 103, 4],
         realar=[320.5, 1.025, 110.5, 2.75, 90.25, 400.5, 1200.5, 0.8, 150.5, -140.5, 85.5]),
    dict(name="VSC B", ic=2, intgar=[102, 2, 2, 104, 5],
         realar=[-200.25, 0.95, 111.5, 3.75, 91.25, 401.5, 1201.5, 0.7, 151.5, -141.5, 86.5]),
]
FACTS = dict(name="UPFC C", intgar=[103, 104, 7, 6, 1, 105, 8],
             realar=[55.5, 12.25, 1.015, 75.5, 33.25, 0.925, 1.085, 0.125, 66.5, 0.045, 91.5, 0.0375, -0.0625],
             mname="MASTER")


@pytest.fixture
def devices(sim):
    p = sim.psspy
    for bus in range(101, 109):
        assert p.bus_data_4(ibus=bus, intgar=[1, 7, 1, 1], realar1=230.0) == 0
    assert p.two_terminal_dc_line_data(**TWO_TERMINAL) == 0
    assert p.two_term_dc_convr_data(**RECTIFIER) == 0
    assert p.two_term_dc_convr_data(**INVERTER) == 0
    assert p.vsc_dc_line_data(**VSC) == 0
    for converter in VSC_CONVERTERS:
        assert p.vsc_dc_converter_data(**converter) == 0
    assert p.facts_data_2(**FACTS) == 0
    assert p.area_data(iar=7, intgar=[101], realar=[35.5, 4.25], arname="EAST") == 0
    assert p.transfer_data(iarfrm=7, iarto=8, trid="X", realar=[12.5]) == 0
    assert p.impedance_correction_data_3(i=4, t=[0.9, 1.0, 1.1], fre=[1.1, 1.0, 1.2], fim=[0.02, 0.0, -0.01]) == 0
    assert p.impedance_correction_data(i=5, realar=[-30.0, 1.2, 0.0, 1.0, 30.0, 1.3]) == 0
    return sim


def expected_tables():
    r, i = RECTIFIER, INVERTER
    line = dict(NAME=("LCC A",), MDC=(1,), CCCITMX=(25,), METER=("R",), SETVL=(250.0,), VSCHD=(500.5,),
                VCMOD=(410.5,), RCOMP=(1.5,), DELTI=(0.15,), RDC=(7.5,), DCVMIN=(300.5,), CCCACC=(0.9,))
    for k, key in enumerate(("IP", "NB", "IC", "IF", "IT", "ND")):
        line[key] = ((r["intgar"][k], i["intgar"][k]),)
    for k, key in enumerate(("ANMX", "ANMN", "RC", "XC", "EBAS", "TR", "TAP", "TMX", "TMN", "STP", "XCAP")):
        line[key] = ((r["realar"][k], i["realar"][k]),)
    line["ID"] = (("T7", "T8"),)
    c1, c2 = VSC_CONVERTERS
    vsc = dict(NAME=("VSC B",), MDC=(0,), RDC=(0.71,), OWNER=((2, 3, 4, 5),), OWNPCT=((0.4, 0.3, 0.2, 0.1),))
    for k, key in enumerate(("IBUS", "TYPE", "MODE", "VSREG", "NREG")):
        vsc[key] = ((c1["intgar"][k], c2["intgar"][k]),)
    for k, key in enumerate(("DCSET", "ACSET", "ALOSS", "BLOSS", "MINLOSS", "SMAX", "IMAX", "PWF", "MAXQ", "MINQ",
                             "RMPCT")):
        vsc[key] = ((c1["realar"][k], c2["realar"][k]),)
    facts = dict(NAME=("UPFC C",), MNAME=("MASTER",))
    for k, key in enumerate(("I", "J", "MODE", "OWNER", "VSREF", "FCREG", "NREG")):
        facts[key] = (FACTS["intgar"][k],)
    for k, key in enumerate(("PDES", "QDES", "VSET", "SHMX", "TRMX", "VTMN", "VTMX", "VSMX", "IMX", "LINX",
                             "RMPCT", "SET1", "SET2")):
        facts[key] = (FACTS["realar"][k],)
    tables = dict(NUM=(4, 5), NPOINTS=(3, 3), T=((0.9, 1.0, 1.1), (-30.0, 0.0, 30.0)),
                  F=((complex(1.1, 0.02), complex(1.0, 0.0), complex(1.2, -0.01)),
                     (complex(1.2, 0), complex(1.0, 0), complex(1.3, 0))))
    areas = dict(NUM=(101,), AREA=(7,), PDES=(35.5,), PTOL=(4.25,), ARNAME=("EAST",))
    transfers = dict(ARFROM=(7,), ARTO=(8,), TRID=("X",), PTRAN=(12.5,))
    return dict(pss2dc=line, pssvsc=vsc, pssfct=facts, pssict=tables, pssald=areas, pssitr=transfers)


def test_every_argument_lands_in_its_caspy_column(devices):
    reading = devices.reading()
    for table, columns in expected_tables().items():
        assert getattr(reading, table) == columns, table
    assert reading.pssmdc == dict(NAME=(), MDC=(), VCONV=(), VCMOD=(), VCONVN=(), NCONV=(), NDCBS=(), NDCLN=(),
                                  IB=())


@pytest.mark.parametrize("revision", ["33", "34", "35"])
def test_raw_files_of_every_revision_carry_the_devices(devices, revision):
    p = devices.psspy
    raw = devices.folder / f"devices{revision}.raw"
    assert p.writerawversion(vernum=revision, ofile=str(raw)) == 0
    assert p.read(numnam=0, ifile=str(raw)) == 0
    reading = devices.reading(f"from{revision}")
    for table, columns in expected_tables().items():
        if revision == "33":
            # No node numbers and only real correction factors there.
            columns = dict(columns)
            if table == "pss2dc":
                columns["ND"] = ((0, 0),)
            elif table in ("pssvsc", "pssfct"):
                columns["NREG"] = ((0, 0),) if table == "pssvsc" else (0,)
            elif table == "pssict":
                columns["F"] = tuple(tuple(complex(f.real, 0) for f in row) for row in columns["F"])
        assert getattr(reading, table) == columns, table


def test_changes_touch_only_the_fields_given(devices):
    p = devices.psspy
    assert p.two_terminal_dc_line_data(name="lcc a  ", realar1=-180.0) == 0
    assert p.two_term_dc_convr_data(name="LCC A", ic=1, realar7=1.025) == 0
    assert p.vsc_dc_converter_data(name="VSC B", ic=2, intgar2=1) == 0
    assert p.facts_data(name="UPFC C", intgar3=2) == 0
    assert p.area_data(iar=7, realar2=6.0) == 0
    assert p.transfer_data(iarfrm=7, iarto=8, trid="X", realar1=-3.0) == 0
    # A zero triple ends the table.
    assert p.impedance_correction_data_3(i=4, t2=0.0, fre2=0.0, fim2=0.0) == 0
    reading = devices.reading()
    expected = expected_tables()
    expected["pss2dc"]["SETVL"] = (-180.0,)
    expected["pss2dc"]["TAP"] = ((1.0125, 1.025),)
    expected["pssvsc"]["TYPE"] = ((1, 1),)
    expected["pssfct"]["MODE"] = (2,)
    expected["pssald"]["PTOL"] = (6.0,)
    expected["pssitr"]["PTRAN"] = (-3.0,)
    expected["pssict"]["NPOINTS"] = (1, 3)
    expected["pssict"]["T"] = ((0.9,), (-30.0, 0.0, 30.0))
    expected["pssict"]["F"] = ((complex(1.1, 0.02),), expected["pssict"]["F"][1])
    for table, columns in expected.items():
        assert getattr(reading, table) == columns, table


REFUSED = [
    ("two_terminal_dc_line_data", dict(name="NEW", intgar=[1, 101]), 4),
    ("two_terminal_dc_line_data", dict(name="NEW", intgar=[1, 101, 109]), 1),
    ("two_terminal_dc_line_data", dict(name="NEW", intgar=[1, 101, 101]), 7),
    ("two_terminal_dc_line_data", dict(name="", intgar=[1, 101, 102]), 3),
    ("two_terminal_dc_line_data", dict(name="LCC A", intgar2=102), 7),
    ("two_term_dc_convr_data", dict(name="LCC A", ic=1, intgar1=101), 7),
    ("two_terminal_dc_line_data", dict(name="LCC A", intgar1=3), 4),
    ("two_terminal_dc_line_data", dict(name="LCC A", meter="X"), 4),
    ("two_term_dc_convr_data", dict(name="NONE", ic=0), 5),
    ("two_term_dc_convr_data", dict(name="LCC A", ic=2), 4),
    ("two_term_dc_convr_data", dict(name="LCC A", ic=0, realar7=0.0), 4),
    ("vsc_dc_line_data", dict(name="VSC B", intgar1=2), 4),
    ("vsc_dc_converter_data", dict(name="VSC B", ic=3), 4),
    ("vsc_dc_converter_data", dict(name="VSC B", ic=1, intgar1=102), 7),
    ("vsc_dc_converter_data", dict(name="VSC B", ic=1, intgar3=0), 4),
    ("vsc_dc_converter_data", dict(name="NONE", ic=1), 5),
    ("facts_data_2", dict(name="NEW"), 4),
    ("facts_data_2", dict(name="UPFC C", intgar3=9), 4),
    ("facts_data_2", dict(name="UPFC C", intgar2=109), 1),
    ("area_data", dict(iar=0), 4),
    ("area_data", dict(iar=7, intgar1=109), 1),
    ("transfer_data", dict(iarfrm=7, iarto=7), 4),
    ("transfer_data", dict(iarfrm=7, iarto=8, trid="XY"), 3),
    ("impedance_correction_data_3", dict(i=4, t2=0.8), 4),
    ("impedance_correction_data", dict(i=5, realar2=-1.0), 4),
]


@pytest.mark.parametrize("name,kwargs,code", REFUSED, ids=[f"{n}-{c}" for n, _, c in REFUSED])
def test_refused_device_operation_changes_nothing(devices, name, kwargs, code):
    before = devices.reading("before")
    assert getattr(devices.psspy, name)(**kwargs) == code
    assert devices.progress_lines()[-1].startswith(name + ": ")
    after = devices.reading("after")
    for table in expected_tables():
        assert getattr(after, table) == getattr(before, table), table


def test_a_vsc_line_without_converter_buses_is_not_written(devices):
    p = devices.psspy
    assert p.vsc_dc_line_data(name="HALF") == 0
    raw = devices.folder / "half.raw"
    assert p.writerawversion(vernum="35", ofile=str(raw)) != 0
    assert not raw.exists()


def test_multi_terminal_lines_are_reported(sim, test_data_dir):
    p = sim.psspy
    assert p.read(numnam=0, ifile=str(test_data_dir / "raw" / "IEEE_14_bus_completed.raw")) == 0
    table = sim.reading().pssmdc
    assert table == dict(NAME=("MULTERM_DC_1",), MDC=(1,), VCONV=(212,), VCMOD=(400.0,), VCONVN=(0,), NCONV=(4,),
                         NDCBS=(5,), NDCLN=(4,), IB=((20, 21, 22, 23),))
