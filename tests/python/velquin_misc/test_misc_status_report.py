"""The status report's layout, and that the file is closed whatever happens."""

import builtins

import pytest

import velquin_misc as vm


def read(path):
    with open(path, newline="") as handle:
        return handle.read()


def test_layout_of_flat_nested_and_empty_sections(tmp_path):
    path = tmp_path / "status.txt"
    vm.write_status_report(
        str(path),
        Bus_Status={"Total Buses": 2, "Bus 1": 0, "Bus 2": -1},
        Load_Status={},
        Generator_Status={"Total": 1, "Plant 5": {"Machine 1": 0, "Deep": {"k": "v\nw"}}},
    )
    assert read(path) == (
        "Bus_Status:\n"
        "    Total Buses: 2\n"
        "    Bus 1: 0\n"
        "    Bus 2: -1\n"
        "\n"
        "Load_Status:\n"
        "\n"
        "\n"
        "Generator_Status:\n"
        "    Total: 1\n"
        "    Plant 5:\n"
        "        Machine 1: 0\n"
        "        Deep:\n"
        "            k: v\n"
        "w\n"
        "\n"
    )


def test_no_sections_gives_an_empty_file_and_an_existing_file_is_truncated(tmp_path):
    path = tmp_path / "status.txt"
    path.write_text("old contents")
    vm.write_status_report(str(path))
    assert read(path) == ""


class Unprintable:
    def __str__(self):
        raise RuntimeError("cannot print")


@pytest.fixture
def opened_files(monkeypatch):
    files = []
    real_open = builtins.open

    def recording_open(*args, **kwargs):
        handle = real_open(*args, **kwargs)
        files.append(handle)
        return handle

    monkeypatch.setattr(builtins, "open", recording_open)
    return files


@pytest.mark.parametrize("bad_section, error", [
    ({"x": Unprintable()}, RuntimeError),
    ([("not", "a dict")], AttributeError),
])
def test_failure_keeps_earlier_sections_and_closes_the_file(tmp_path, opened_files, bad_section, error):
    path = tmp_path / "status.txt"
    with pytest.raises(error):
        vm.write_status_report(str(path), Bus_Status={"Bus 1": 0}, Load_Status=bad_section)
    assert len(opened_files) == 1 and opened_files[0].closed
    assert read(path) == "Bus_Status:\n    Bus 1: 0\n\nLoad_Status:\n"


def test_unwritable_path_fails_before_writing(tmp_path):
    with pytest.raises(OSError):
        vm.write_status_report(str(tmp_path / "missing" / "status.txt"), Bus_Status={"Bus 1": 0})
