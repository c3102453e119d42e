"""The format operations of psspy: reading RAW and MATPOWER files into
memory and writing the case in memory as RAW."""

import pytest


@pytest.fixture(scope="module")
def psspy(embedded_simulator):
    module = embedded_simulator.psspy
    module.progress_output(islct=6)
    yield module
    module.progress_output(islct=1)


@pytest.fixture
def raw_dir(test_data_dir):
    return test_data_dir / "raw"


def test_read_replaces_the_case_and_a_bad_file_leaves_it(psspy, raw_dir, tmp_path, malformed_raw):
    assert psspy.read(0, str(raw_dir / "case14.raw")) == 0
    before = psspy.case_summary()
    assert before == ("14 buses, 11 loads, 5 machines, 17 line branches, 3 two-winding transformers, 1 area, "
                      "1 zone, 1 owner, 1 switched shunt")
    assert psspy.case_raw_revision() == 33

    assert psspy.read(0, str(malformed_raw)) == 4
    assert psspy.read(0, str(tmp_path / "missing.raw")) == 3
    assert psspy.read(1, str(raw_dir / "wecc179.raw")) == 1
    assert psspy.readrawversion(0, "32", str(raw_dir / "wecc179.raw")) == 2
    assert psspy.read_matpower(str(malformed_raw)) == 4
    assert psspy.case_summary() == before


def test_malformed_file_message_names_line_and_field(psspy, tmp_path, malformed_raw):
    log = tmp_path / "progress.txt"
    psspy.progress_output(islct=2, filarg=str(log))
    try:
        assert psspy.read(ifile=str(malformed_raw), numnam=0) == 4
    finally:
        psspy.progress_output(islct=6)
    assert log.read_text() == f"read: {malformed_raw}:4: field BASKV: expected a number, found '23O.0'\n"


def test_written_revisions_read_back(psspy, raw_dir, tmp_path):
    assert psspy.read(0, str(raw_dir / "IEEE_14_bus_completed.raw")) == 0
    summary = psspy.case_summary()
    for vernum in ("33", "34", "35"):
        target = tmp_path / f"out{vernum}.raw"
        assert psspy.writerawversion(vernum, str(target)) == 0
        lines = target.read_text().splitlines()
        assert lines[0 if vernum == "33" else 1] == f"0, 100.0, {vernum}, 0, 0, 60.0"
        assert psspy.read(0, str(target)) == 0
        assert psspy.case_raw_revision() == int(vernum)
        assert psspy.case_summary() == summary
    assert psspy.rawd_2(0, 1, [0, 0, 0], 0, str(tmp_path / "current.raw")) == 0
    assert psspy.rawd_2(0, 0, [0, 0, 0], 0, str(tmp_path / "part.raw")) == 1
    assert psspy.writerawversion("36", str(tmp_path / "x.raw")) == 2
    assert psspy.writerawversion("33", str(tmp_path / "no" / "such" / "folder.raw")) == 3


def test_matpower_read(psspy, test_data_dir):
    assert psspy.read_matpower(str(test_data_dir / "matpower" / "case30.m")) == 0
    assert psspy.case_summary() == "30 buses, 20 loads, 2 fixed shunts, 6 machines, 41 line branches"


def test_wrong_argument_types_raise(psspy, raw_dir):
    with pytest.raises(TypeError):
        psspy.read("0", str(raw_dir / "case14.raw"))
    with pytest.raises(TypeError):
        psspy.readrawversion(0, 33, str(raw_dir / "case14.raw"))
    with pytest.raises(TypeError):
        psspy.writerawversion("33", ofile=5)
    with pytest.raises(TypeError):
        psspy.read_matpower(file="case9.m")
