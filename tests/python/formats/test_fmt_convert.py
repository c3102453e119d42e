"""`velquin convert`, run as users run it."""

import os
import subprocess
import sys
from pathlib import Path

import pytest

REPO = Path(__file__).resolve().parents[3]

CASE118 = "118 buses, 99 loads, 16 fixed shunts, 54 machines, 175 line branches, 11 two-winding transformers"


def convert(build_dir, *args):
    env = dict(os.environ, VELQUIN_BUILD_DIR=str(build_dir))
    return subprocess.run([sys.executable, str(REPO / "bin" / "velquin"), "convert", *map(str, args)],
                          capture_output=True, text=True, env=env, timeout=120)


def converted(build_dir, source, target, *options):
    """Runs a conversion that must succeed; returns its output lines."""
    run = convert(build_dir, source, target, *options)
    assert (run.returncode, run.stderr) == (0, "")
    return run.stdout.splitlines()


def test_raw_to_older_raw_reports_counts_and_losses(build_dir, test_data_dir, tmp_path):
    source = test_data_dir / "raw" / "IEEE_14_bus_completed_rev35.raw"
    target = tmp_path / "out.raw"
    assert converted(build_dir, source, target, "--version", "33") == [
        f"Read {source} (RAW): 14 buses, 11 loads, 1 fixed shunt, 5 machines, 17 line branches, "
        "3 two-winding transformers, 1 area, 2 two-terminal DC lines, 2 VSC DC lines, 2 impedance correction "
        "tables, 1 multi-terminal DC line, 2 multi-section lines, 1 zone, 2 inter-area transfers, 1 owner, "
        "2 FACTS devices, 1 GNE device, 2 induction machines",
        f"warning: {source}:125: 2 induction machine record(s) refer to buses not in the bus data (first: bus 3010)",
        f"warning: {source}:91: 9 multi-terminal DC line record(s) refer to buses not in the bus data (first: bus 212)",
        "warning: revision 33 has real impedance correction factors only; 2 imaginary part(s) not written",
        f"Wrote {target} (RAW revision 33)",
    ]
    assert target.read_text().splitlines()[0].startswith("0, 100.0, 33,")


def test_matpower_to_saved_case_to_raw(build_dir, test_data_dir, tmp_path):
    source = test_data_dir / "matpower" / "case118.m"
    saved, raw, again = tmp_path / "case118.sav", tmp_path / "case118.raw", tmp_path / "again.raw"
    assert converted(build_dir, source, saved) == [f"Read {source} (MATPOWER): {CASE118}",
                                                   f"Wrote {saved} (saved case)"]
    assert converted(build_dir, saved, raw) == [f"Read {saved} (saved case): {CASE118}",
                                                f"Wrote {raw} (RAW revision 33)"]
    assert converted(build_dir, raw, again, "--version", "35") == [f"Read {raw} (RAW): {CASE118}",
                                                                   f"Wrote {again} (RAW revision 35)"]


@pytest.mark.parametrize("source, target, message", [
    ("missing.raw", "out.raw", "'{folder}/missing.raw' does not exist or is not a file"),
    ("case.raw", "out.m", "cannot write '{folder}/out.m': the extension must be one of .raw, .sav"),
    ("case.txt", "out.raw", "cannot read '{folder}/case.txt': the extension must be one of .m, .raw, .sav"),
    ("bad.raw", "out.raw", "read: {folder}/bad.raw:4: field BASKV: expected a number, found '23O.0'"),
])
def test_failures_exit_non_zero_with_one_clear_message(build_dir, tmp_path, malformed_raw, source, target,
                                                       message):
    (tmp_path / "case.raw").write_text("0, 100, 33\nt\nt\n0\nQ\n")
    (tmp_path / "case.txt").write_text("0, 100, 33\nt\nt\n0\nQ\n")
    run = convert(build_dir, tmp_path / source, tmp_path / target)
    assert (run.returncode, run.stdout) == (1, "")
    assert run.stderr == f"velquin convert: {message.format(folder=tmp_path)}\n"
    assert not (tmp_path / target).exists()


def test_version_is_for_raw_output_only(build_dir, test_data_dir, tmp_path):
    run = convert(build_dir, test_data_dir / "raw" / "case14.raw", tmp_path / "x.sav", "--version", "34")
    assert run.returncode == 1
    assert run.stderr == "velquin convert: --version applies to RAW output only\n"
    assert not (tmp_path / "x.sav").exists()
