"""`velquin convert`, run as users run it."""

import os
import subprocess
import sys
from pathlib import Path

import pytest

REPO = Path(__file__).resolve().parents[3]


def convert(build_dir, *args):
    env = dict(os.environ, VELQUIN_BUILD_DIR=str(build_dir))
    return subprocess.run([sys.executable, str(REPO / "bin" / "velquin"), "convert", *map(str, args)],
                          capture_output=True, text=True, env=env, timeout=120)


def test_raw_to_older_raw_reports_counts_and_losses(build_dir, test_data_dir, tmp_path):
    target = tmp_path / "out.raw"
    run = convert(build_dir, test_data_dir / "raw" / "IEEE_14_bus_completed_rev35.raw", target,
                  "--version", "33")
    assert run.returncode == 0, run.stderr
    lines = run.stdout.splitlines()
    assert "(RAW): 14 buses, 11 loads" in lines[0]
    assert any("imaginary part(s) not written" in line for line in lines)
    assert lines[-1] == f"Wrote {target} (RAW revision 33)"
    assert target.read_text().splitlines()[0].startswith("0, 100.0, 33,")


def test_matpower_to_saved_case_to_raw(build_dir, test_data_dir, tmp_path):
    saved = tmp_path / "case118.sav"
    run = convert(build_dir, test_data_dir / "matpower" / "case118.m", saved)
    assert run.returncode == 0, run.stderr
    assert "118 buses" in run.stdout
    raw = tmp_path / "case118.raw"
    run = convert(build_dir, saved, raw)
    assert run.returncode == 0, run.stderr
    assert "Read" in run.stdout and "118 buses" in run.stdout
    run = convert(build_dir, raw, tmp_path / "again.raw", "--version", "35")
    assert run.returncode == 0, run.stderr
    assert "118 buses, 99 loads, 16 fixed shunts, 54 machines, 175 line branches" in run.stdout


@pytest.mark.parametrize("source, target, message", [
    ("missing.raw", "out.raw", "does not exist"),
    ("case.raw", "out.m", "extension must be one of .raw, .sav"),
    ("case.txt", "out.raw", "extension must be one of .m, .raw, .sav"),
    ("bad.raw", "out.raw", "bad.raw:4: field BASKV"),
])
def test_failures_exit_non_zero_with_one_clear_message(build_dir, tmp_path, source, target, message):
    (tmp_path / "case.raw").write_text("0, 100, 33\nt\nt\n0\nQ\n")
    (tmp_path / "bad.raw").write_text("0, 100, 33\nt\nt\n101, 'A', 23O.0\n0\nQ\n")
    run = convert(build_dir, tmp_path / source, tmp_path / target)
    assert run.returncode == 1
    assert message in run.stderr
    assert not (tmp_path / target).exists()


def test_version_is_for_raw_output_only(build_dir, test_data_dir, tmp_path):
    run = convert(build_dir, test_data_dir / "raw" / "case14.raw", tmp_path / "x.sav", "--version", "34")
    assert run.returncode == 1
    assert "--version applies to RAW output only" in run.stderr
