"""The headless-Chromium check itself: it must see what a broken page
says on its console, or its silence about the report proves nothing."""

from .chromium import visit


def test_console_errors_exceptions_and_failed_loads_are_caught(tmp_path):
    page = tmp_path / "broken.html"
    page.write_text('<!DOCTYPE html><html><body><p>text</p><img src="missing.png">'
                    '<script>console.error("boom"); notDefined();</script></body></html>')
    seen = visit(page, tmp_path)
    assert seen.text == "text"
    assert "boom" in seen.errors
    assert any("notDefined" in e for e in seen.errors)
    assert any("ERR_FILE_NOT_FOUND" in e for e in seen.errors)
