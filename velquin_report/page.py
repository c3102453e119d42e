"""index.html from the template templates/report.html.j2 (jinja2, with
autoescaping; only the plots' own SVG is inserted as markup)."""

from __future__ import annotations

import math
import time
from pathlib import Path

import jinja2

from .progress_text import status_meaning
from .run_facts import CONVERGED, CONVERGED_WITH_OMISSIONS

TEMPLATES = Path(__file__).resolve().parent / "templates"


def _missing(value) -> bool:
    return value is None or (isinstance(value, float) and math.isnan(value))


def number(value, digits: int = 4, unit: str = "") -> str:
    if _missing(value):
        return ""
    return f"{value:.{digits}f}{(' ' + unit) if unit else ''}"


def seconds(value) -> str:
    return "" if _missing(value) else f"{value:.1f} s"


def outcome_class(outcome: str) -> str:
    return {CONVERGED: "ok", CONVERGED_WITH_OMISSIONS: "warn"}.get(outcome, "bad")


def brought_back(summary: dict) -> str:
    done, total = summary.get("reconnected"), summary.get("connections")
    if _missing(done):
        return ""
    return f"{done} of {total}" if not _missing(total) else f"{done} of ?"


def _environment() -> jinja2.Environment:
    env = jinja2.Environment(loader=jinja2.FileSystemLoader(str(TEMPLATES)),
                             autoescape=jinja2.select_autoescape(["html", "j2"]),
                             undefined=jinja2.StrictUndefined, trim_blocks=True, lstrip_blocks=True)
    env.filters.update(number=number, seconds=seconds, outcome_class=outcome_class, brought_back=brought_back,
                       status_meaning=status_meaning, missing=_missing)
    return env


def render_page(result_folder: Path, reports: list, seconds: float) -> str:
    template = _environment().get_template("report.html.j2")
    return template.render(result_folder=str(result_folder), reports=reports,
                           generated=time.strftime("%Y-%m-%d %H:%M"), build_seconds=seconds)
