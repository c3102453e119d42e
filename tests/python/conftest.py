"""Shared test setup: where the build put the modules, and the fixture
modules under fixtures/ (each loaded as a pytest plugin)."""

import os
import sys
from pathlib import Path

import pytest

TESTS_DIR = Path(__file__).resolve().parent
REPO_DIR = TESTS_DIR.parent.parent
BUILD_DIR = Path(os.environ.get("VELQUIN_BUILD_DIR", REPO_DIR / "build")).resolve()

if str(BUILD_DIR / "python") not in sys.path:
    sys.path.insert(0, str(BUILD_DIR / "python"))

pytest_plugins = sorted(
    f"fixtures.{path.stem}"
    for path in (TESTS_DIR / "fixtures").glob("*.py")
    if path.stem != "__init__"
)


@pytest.fixture(scope="session")
def build_dir() -> Path:
    return BUILD_DIR


@pytest.fixture(scope="session")
def simulator_dir() -> Path:
    """Folder of the embedded simulator's Python modules."""
    return BUILD_DIR / "simulator"


@pytest.fixture(scope="session")
def test_data_dir() -> Path:
    return TESTS_DIR.parent / "data"
