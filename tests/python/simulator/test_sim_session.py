"""Start-up, progress output, opening and saving cases, and reading a saved
case with caspy."""

import math
import subprocess
import sys

import pytest

TABLE_KEYS = {
    "pssbus": "NUM NAME BASKV IDE AREA ZONE OWNER VM VA NMAXV NMINV EMAXV EMINV IERR",
    "casbrn": "FRMBUS TOBUS CKT STAT METBUS OWNER OWNPCT RX B GBI GBJ LINLEN RATINGS BRNAME",
    "castrn": "BUSNUM CKT STAT METBUS CW CZ CM MAG1 MAG2 TRNAME VECGRP ZCOD OWNER OWNPCT NTAPS TABLE "
              "CONBUS NOD CNTL WIND NOMV ANG RMAX RMIN VMAX VMIN CNXA SBASE XFRCMP RX RATINGS",
    "pssgen": "NUM IDE IREG NREG VS RMPCT STAT WMOD BASLOD OWNER OWNPCT PG QG QT QB PT PB MBASE GTAP WPF "
              "ZSORCE XTRAN MCNAME",
    "pssfsh": "NUM ID STATUS SHUNT",
    "psswsh": "NUM ID NI BI SI MODSW ADJM STAT SWREM SWNOD VSWHI VSWLO BINIT RMPCT RMIDNT SWNAME",
    "psslod": "NUM ID STATUS AREA ZONE OWNER LDSCALE LDINT DGENM LOAD DGENPQ LDNAME",
    "pssind": "NUM ID STATUS AREA ZONE OWNER SCODE DCODE TCODE BCODE PCODE MBASE RATEKV PSET H A B D E RA "
              "XA XM R1 X1 R2 X2 X3 E1 SE1 E2 SE2 IA1 IA2 IAM IMNAME",
    "pssbrn": "FRMBUS TOBUS METBUS CKT",
    "psstrn": "FRMBUS TOBUS CKT CONBUS",
    "pss3wt": "BUS1ST BUS2ND BUS3RD CKT NMETER",
    "pssabx": "FRMBUS TOBUS CKT STAT",
    "pssmsl": "FRMBUS TOBUS ID METBUS DUMBUS",
    "psssub": "NUM SUBNUM NODE NAME STATUS",
    "pssald": "NUM AREA PDES PTOL ARNAME",
    "pss2dc": "NAME MDC CCCITMX METER RDC SETVL VSCHD VCMOD RCOMP DELTI DCVMIN CCCACC IP NB IC ND IF IT ANMX ANMN "
              "RC XC EBAS TR TAP TMX TMN STP XCAP ID",
    "pssvsc": "NAME MDC RDC OWNER OWNPCT IBUS TYPE MODE VSREG NREG DCSET ACSET ALOSS BLOSS MINLOSS SMAX IMAX PWF "
              "MAXQ MINQ RMPCT",
    "pssmdc": "NAME MDC VCONV VCMOD VCONVN NCONV NDCBS NDCLN IB",
    "pssfct": "NAME I J MODE OWNER VSREF FCREG NREG PDES QDES VSET SHMX TRMX VTMN VTMX VSMX IMX LINX RMPCT SET1 "
              "SET2 MNAME",
    "pssict": "NUM NPOINTS T F",
    "pssitr": "ARFROM ARTO TRID PTRAN",
}


def test_an_empty_case_has_every_table_with_every_key(sim):
    data = sim.reading()
    for table, keys in TABLE_KEYS.items():
        expected = {key: () for key in keys.split()}
        if table == "pssbus":
            expected["IERR"] = 0
        assert getattr(data, table) == expected, table
    assert (data.cas_nbrn, data.cas_ntrn) == (0, 0)


def test_star_points_follow_the_real_buses_with_the_star_voltage(sim):
    p = sim.psspy
    for bus in (5, 6, 7):
        assert p.bus_data_4(ibus=bus, intgar2=4) == 0
    assert p.three_wnd_imped_data_4(ibus=5, jbus=6, kbus=7, ckt="1", realari16=0.97, realari17=-3.5)[0] == 0
    assert p.three_wnd_imped_data_4(ibus=5, jbus=6, kbus=7, ckt="2", intgar8=0)[0] == 0
    bus = sim.reading().pssbus
    assert bus["NUM"] == (5, 6, 7, 1000000, 1000001)
    assert (bus["VM"][3], bus["VA"][3], bus["AREA"][3]) == (0.97, -3.5, 4)
    assert (bus["IDE"][3], bus["IDE"][4]) == (1, 4)  # the second transformer is out of service


def test_reading_a_case_leaves_the_case_in_memory_alone(sim):
    p = sim.psspy
    assert p.bus_data_4(ibus=1, realar2=1.05) == 0
    sim.reading("other")
    assert p.newcase_2(basemva=50.0) == 0
    assert p.bus_data_4(ibus=2, realar2=0.95) == 0
    other = sim.caspy.Savecase(str(sim.folder / "other.sav"))
    assert other.pssbus["NUM"] == (1,)
    assert p.busdat(ibus=2, string="PU") == (0, 0.95)
    assert p.busdat(ibus=1, string="PU")[0] == 1
    # The tables are plain attributes that callers may replace.
    other.pssbus = {"NUM": (9,)}
    assert other.pssbus == {"NUM": (9,)}


def test_a_reading_tells_the_system_base_read_only(sim):
    assert sim.psspy.newcase_2(basemva=250.0) == 0
    data = sim.reading()
    assert data.sbase == 250.0
    with pytest.raises(AttributeError):
        data.sbase = 100.0
    assert data.sbase == 250.0


def _lines_case(sim):
    p = sim.psspy
    for number in (1, 2, 3):
        assert p.bus_data_4(ibus=number) == 0
    assert p.branch_data_4(ibus=1, jbus=2) == 0
    assert p.branch_data_4(ibus=2, jbus=3) == 0
    assert p.save(sfile=str(sim.folder / "lines")) == 0
    return sim.folder / "lines.sav"


def test_tables_behave_as_plain_attributes_whenever_first_read(sim):
    """Tables are built on first reading; whatever is read, set or deleted
    first, the object answers as one with every table set at once."""
    path = _lines_case(sim)
    read = sim.caspy.Savecase(path)
    every = {name: getattr(read, name) for name in [*TABLE_KEYS, "cas_nbrn", "cas_ntrn"]}
    assert every["casbrn"]["TOBUS"] == (2, 3) and every["cas_nbrn"] == 2
    # vars() and dir() show every table before any was read.
    assert sim.caspy.Savecase(path).__dict__ == every
    assert vars(sim.caspy.Savecase(path)) == every
    assert set(every) <= set(dir(sim.caspy.Savecase(path)))
    # Reading one table twice gives the same object; hasattr reads it.
    data = sim.caspy.Savecase(path)
    assert data.casbrn is data.casbrn and hasattr(data, "pssgen")
    # Replaced or deleted before its first reading, a table stays so.
    data = sim.caspy.Savecase(path)
    data.castrn = {"BUSNUM": ()}
    del data.casbrn
    assert data.castrn == {"BUSNUM": ()}
    with pytest.raises(AttributeError, match="'caspy.CaseData' object has no attribute 'casbrn'"):
        data.casbrn
    with pytest.raises(AttributeError):
        del data.casbrn
    assert "casbrn" not in dir(data) and "casbrn" not in vars(data)
    assert vars(data) == {**{k: v for k, v in every.items() if k != "casbrn"}, "castrn": {"BUSNUM": ()}}
    # Any other attribute: set, read and deleted as on a plain object.
    data.note = "kept"
    assert data.note == "kept"
    del data.note
    with pytest.raises(AttributeError, match="has no attribute 'note'"):
        data.note
    # A dictionary given to __dict__ replaces every table.
    data = sim.caspy.Savecase(path)
    data.__dict__ = {"pssbus": "mine"}
    assert data.pssbus == "mine" and not hasattr(data, "casbrn")


def test_equal_values_read_alike_and_zero_keeps_its_sign(sim):
    for number, angle in ((1, 0.0), (2, -0.0), (3, 0.0), (4, 0.0), (5, -12.5)):
        assert sim.psspy.bus_data_4(ibus=number, realar3=angle) == 0
    angles = sim.reading().pssbus["VA"]
    assert angles == (0.0, 0.0, 0.0, 0.0, -12.5)
    assert [math.copysign(1.0, a) for a in angles] == [1.0, -1.0, 1.0, 1.0, -1.0]
    assert all(type(a) is float for a in angles)


def test_unreadable_files_raise_an_error_naming_the_file(sim):
    missing = sim.folder / "missing.sav"
    with pytest.raises(OSError, match="missing.sav") as raised:
        sim.caspy.Savecase(str(missing))
    assert isinstance(raised.value, sim.caspy.CaseFileError)
    garbage = sim.folder / "garbage.sav"
    garbage.write_bytes(b"not a saved case at all")
    with pytest.raises(sim.caspy.CaseFileError, match="garbage.sav"):
        sim.caspy.Savecase(garbage)  # a path object is accepted too


def test_save_and_case_add_the_extension_and_report_codes(sim):
    p = sim.psspy
    assert p.bus_data_4(ibus=7, name="SEVEN") == 0
    assert p.save(sfile=str(sim.folder / "plain")) == 0
    assert (sim.folder / "plain.sav").is_file()
    assert p.save(sfile=str(sim.folder / "named.case")) == 0
    assert (sim.folder / "named.case").is_file()
    assert p.newcase_2() == 0
    assert p.case(sfile=str(sim.folder / "plain")) == 0
    assert p.busdat(7, "TYPE") == (0, 1)
    # Failing opens keep the case in memory.
    (sim.folder / "bad.sav").write_bytes(b"\x00" * 64)
    assert p.case(sfile=str(sim.folder / "bad.sav")) == 3
    assert p.case(sfile=str(sim.folder / "absent")) == 2
    assert p.case(sfile="") == 1
    assert p.busdat(7, "TYPE") == (0, 1)
    assert p.save(sfile=str(sim.folder / "no" / "such" / "folder" / "x")) == 2
    assert p.save(sfile="") == 1


def test_new_case_sets_base_and_titles_and_refuses_a_bad_base(sim):
    p = sim.psspy
    assert p.newcase_2(options=[1, 0], basemva=50.0, basefreq=50.0, titl1="A", titl2="B") == 0
    assert p.bus_data_4(ibus=1) == 0
    assert p.plant_data_4(ibus=1) == 0
    assert p.machine_data_2(ibus=1, id="1") == 0
    assert sim.reading().pssgen["MBASE"] == (50.0,)  # a new machine's base is the system base
    assert p.newcase_2(basemva=0.0) == 4
    assert p.newcase_2(basefreq=-60.0) == 4
    assert p.busdat(1, "TYPE") == (0, 1)


def test_progress_output_selectors_and_codes(sim, tmp_path):
    p = sim.psspy
    log = tmp_path / "log.txt"
    log.write_text("kept\n")
    assert p.progress_output(islct=2, filarg=str(log), options=[1, 0]) == 0
    p.bus_data_4(ibus=0)
    assert p.progress_output(2, str(log), [0]) == 0  # overwrites
    p.dscn(ibus=55)
    assert log.read_text().splitlines() == ["dscn: bus 55 does not exist (code 1)"]
    assert p.progress_output(islct=2, filarg=str(log), options=[1]) == 0
    p.recn(55)
    assert log.read_text().splitlines()[0].startswith("dscn:")
    assert log.read_text().splitlines()[1].startswith("recn:")
    assert p.progress_output(islct=6) == 0
    p.recn(55)
    assert len(log.read_text().splitlines()) == 2
    assert p.progress_output(islct=3) == 1
    assert p.progress_output(islct=2, filarg=str(tmp_path / "no" / "dir.txt")) == 2
    assert p.progress_output(islct=2) == 3
    assert p.progress_output(islct=1, options=[2]) == 4
    assert p.lines_per_page_one_device(1, 10000000) == 0
    assert p.lines_per_page_one_device(5, 10) == 1
    assert p.lines_per_page_one_device(2, 0) == 2
    assert p.psseinit(buses=0) == 1


@pytest.mark.parametrize("module,release", [("psse34", "34"), ("psse3505", "35.5"), ("psse3601", "36.1"),
                                            ("psse3602", "36.2")])
def test_the_start_up_module_records_its_release(simulator_dir, module, release):
    code = ("import sys; sys.path.insert(0, sys.argv[1]); import psspy; before = psspy.started_release();"
            f"import {module}; print(repr(before), repr(psspy.started_release()), psspy.psseinit(buses=50000))")
    out = subprocess.run([sys.executable, "-c", code, str(simulator_dir)], capture_output=True, text=True,
                         check=True)
    assert out.stdout.split() == ["''", repr(release), "0"]
