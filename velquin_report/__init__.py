"""The study report: what each stage of a run did to the grid.

    from velquin_report import build_report
    index_html = build_report(sheet_result_folder, engine=None, facts=None)

See report.build_report. The page's template lives in templates/.
"""

from .report import ReportError, build_report

__all__ = ["ReportError", "build_report"]
