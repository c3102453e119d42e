"""Files the format tests share."""

import pytest

# Line 4 holds a letter O where BASKV needs a zero.
MALFORMED_RAW = "0, 100, 33\nt\nt\n101, 'A', 23O.0\n0\nQ\n"


@pytest.fixture
def malformed_raw(tmp_path):
    """A RAW file whose bus record has a malformed BASKV on line 4."""
    path = tmp_path / "bad.raw"
    path.write_text(MALFORMED_RAW)
    return path
