"""The check that no tracked file names the commercial simulator or its maker.

The names are put together from pieces at run time so that this file does not
spell them."""

import subprocess
import sys
from pathlib import Path

import pytest

CHECKER = Path(__file__).resolve().parents[2] / "tools" / "check-product-names.py"

HEAD, TAIL = "PS" + "S", "E"
MAKER = "Sie" + "mens"
MAKER_SHORT = "P" + "T" + "I"

PLANTED = [
    f"{HEAD}/{TAIL}",
    f"{HEAD}\u00ae{TAIL}",
    f"{HEAD}(R){TAIL}",
    f"{HEAD.lower()}(r){TAIL.lower()}",
    f"{HEAD}{TAIL}",
    f"{HEAD}{TAIL}-35.3",
    f"{HEAD} {TAIL} 34",
    f"C:\\Program Files\\{HEAD}{TAIL}35\\",
    f"{HEAD.title()}.{TAIL.lower()}",
    MAKER.upper(),
    f"{MAKER_SHORT}/{HEAD}(R){TAIL}",
    "Power Tech" + "nologies",
]

INTERFACE_TEXT = """\
import psspy, caspy, psse34, psse3505, psse3601, psse3602
engine = PSSE_ENGINE(psse_path=path, version=35.5)
engine.init_psse(buses=50000); psspy.psseinit(150000)
settings = {"psse_path": 1, "psse_version": 2, "psse_init": 3, "PSSE_Version": 4}
vm.remove_internal_psse_buses(case.pssbus, case.pssbus)
MXTPSS=99, psseng, psse_initialized, case.psslod, case.pss3wt
realar5=gen["PT"][i] * 100
PSS controls (power system stabiliser), PSSPY311
"""


def run_checker(*args):
    return subprocess.run([sys.executable, str(CHECKER), *map(str, args)], capture_output=True, text=True)


def test_every_planted_spelling_is_flagged_with_its_file_and_line(tmp_path):
    target = tmp_path / "notes.md"
    target.write_text("first line, clean\n" + "".join(f"written by {name} in 2024\n" for name in PLANTED),
                      encoding="utf-8")
    result = run_checker("--root", tmp_path, target)
    assert result.returncode == 1, result.stdout
    flagged = {int(line.split(":")[1]): line for line in result.stdout.splitlines()}
    # One finding per planted line (lines 2 onwards), none for the clean first line.
    assert {line - 2: PLANTED[line - 2] for line in flagged} == dict(enumerate(PLANTED))
    assert all(line.startswith(f"notes.md:{number}: names the commercial simulator or its maker")
               for number, line in flagged.items())


def test_a_mark_in_another_encoding_still_leaves_the_name_visible(tmp_path):
    target = tmp_path / "case.raw"
    target.write_bytes(f"0, 100.0, 33 / {HEAD}\xae{TAIL}-33.0\n".encode("latin-1"))
    assert run_checker(target).returncode == 1


def test_interface_identifiers_and_look_alike_words_pass(tmp_path):
    target = tmp_path / "engine.py"
    target.write_text(INTERFACE_TEXT, encoding="utf-8")
    result = run_checker(target)
    assert (result.returncode, result.stdout) == (0, "")


def test_only_tracked_text_files_are_checked(tmp_path):
    subprocess.run(["git", "init", "-q", str(tmp_path)], check=True)
    (tmp_path / "clean.md").write_text("the commercial simulator\n", encoding="utf-8")
    (tmp_path / "data.bin").write_bytes(b"\0" + MAKER.encode())
    (tmp_path / "untracked.md").write_text(MAKER + "\n", encoding="utf-8")
    subprocess.run(["git", "-C", str(tmp_path), "add", "clean.md", "data.bin"], check=True)
    assert run_checker("--root", tmp_path).returncode == 0

    (tmp_path / "sub").mkdir()
    (tmp_path / "sub" / "late.cpp").write_text(f"// {HEAD}/{TAIL} writes this\n", encoding="utf-8")
    subprocess.run(["git", "-C", str(tmp_path), "add", "sub/late.cpp"], check=True)
    result = run_checker("--root", tmp_path)
    assert result.returncode == 1
    [finding] = result.stdout.splitlines()
    assert finding.startswith("sub/late.cpp:1: names the commercial simulator or its maker")
