"""The configuration workbook reader, on real .xlsx workbooks."""

import math
from collections import OrderedDict

import pandas as pd
import pytest

from fixtures.workbooks import sheet_list, write_workbook
from velquin_rc import ReadConfigFile


def read(folder, sheets, name="config.xlsx"):
    write_workbook(folder / name, sheets)
    return ReadConfigFile(str(folder), name)


CASE_HEADER = ["Enabled", "Name of case to be added", "Connecting bus number"]


def test_enabled_case_sheet_is_listed_tagged_and_returned_row_by_row(workbook_folder):
    reader = read(workbook_folder, {
        "Sheets": sheet_list(("Cases", "CASE_INPUT", True, "C:/Results/Run1")),
        "Cases": [CASE_HEADER, [" YES ", "Plant7.sav", 101], ["no", "other", 2.5], [True, None, 7]],
    })
    assert reader.sheet_dict == OrderedDict([("cases", "case_input")])
    assert isinstance(reader.sheet_dict, OrderedDict)
    assert list(reader.dfs["cases"]["parent_path"]) == ["c:/results/run1"] * 3

    rows = reader.get_case_config_indexed_dict()
    assert list(rows) == ["0", "1", "2"]
    assert rows["0"] == {"enabled": "yes", "name of case to be added": "plant7.sav",
                         "connecting bus number": 101, "parent_path": "c:/results/run1"}
    # Cells that are not text keep their value and type; missing cells stay missing.
    assert rows["1"]["connecting bus number"] == 2.5
    assert rows["2"]["enabled"] is True
    assert math.isnan(rows["2"]["name of case to be added"])
    assert reader.get_main_config_indexed_dict() == {}
    assert reader.get_soft_config_indexed_dict() == {}


def test_only_a_run_flag_equal_to_one_gives_a_result_folder(workbook_folder):
    reader = read(workbook_folder, {
        "Sheets": sheet_list(("A", "MAIN_INPUT", "NOT APPLICABLE", "f1"), ("B", "MAIN_INPUT", 1.0, "f2"),
                             ("C", "MAIN_INPUT", 2, "f3"), ("D", "MAIN_INPUT", False, "f4"),
                             ("E", "MAIN_INPUT", 0, "f5"), ("F", "MAIN_INPUT", None, "f6")),
        **{name: [["Enabled"], ["yes"]] for name in "ABCDEF"},
    })
    # Any true flag lists the sheet; false, 0 and empty do not.
    assert list(reader.sheet_dict) == ["a", "b", "c"]
    assert "parent_path" not in reader.dfs["a"].columns
    assert list(reader.dfs["b"]["parent_path"]) == ["f2"]
    assert "parent_path" not in reader.dfs["c"].columns
    rows = reader.get_main_config_indexed_dict()
    assert rows == {"0": {"enabled": "yes"}, "1": {"enabled": "yes", "parent_path": "f2"},
                    "2": {"enabled": "yes"}}


def test_type_matching_exact_for_one_type_by_substring_in_a_list(workbook_folder):
    reader = read(workbook_folder, {
        "Sheets": sheet_list(("Both", "MAIN_INPUT; CASE_INPUT", 1, None),
                             ("Near", " Case_Input_Old ", 1, None),
                             ("Extended", "soft_input_v2,main_input", 1, None),
                             ("Exact", "SOFT_INPUT", 1, None)),
    })
    assert reader.get_main_config_sheet() == OrderedDict([("both", "main_input"), ("extended", "main_input")])
    # "case_input_old" alone is not "case_input"; inside a list it would match.
    assert reader.get_case_config_sheet() == OrderedDict([("both", "case_input")])
    assert reader.get_soft_config_sheet() == OrderedDict([("extended", "soft_input_v2"),
                                                          ("exact", "soft_input")])
    assert reader._filter_sheet_dict("input") == OrderedDict([("both", "case_input"),
                                                              ("extended", "main_input")])


def test_counter_runs_on_across_sheets_and_sheet_lists(workbook_folder):
    reader = read(workbook_folder, {
        "List1": sheet_list(("First", "CASE_INPUT", 1, "r"), ("Ghost", "CASE_INPUT", 1, "r")),
        "First": [["Name"], ["a"], ["b"], ["c"]],
        # A second sheet list in the same workbook is read too.
        "List2": [["Sheet Name", "Sheet Type", "Sheet Run Enabled", "Folder path to store results for sheet"],
                  ["Second", "CASE_INPUT", 1, "s"]],
        "Second": [["Name"], ["d"], ["e"]],
    })
    assert list(reader.sheet_dict) == ["first", "ghost", "second"]
    rows = reader.get_case_config_indexed_dict()
    assert [(key, row["name"], row["parent_path"]) for key, row in rows.items()] == [
        ("0", "a", "r"), ("1", "b", "r"), ("2", "c", "r"), ("3", "d", "s"), ("4", "e", "s")]


def test_headers_cells_and_empty_rows_are_normalised(workbook_folder):
    reader = read(workbook_folder, {
        "Sheets": [["  Sheet Name ", "SHEET TYPE", " sheet run enabled", "FOLDER PATH TO STORE RESULTS FOR SHEET "],
                   ["Soft", "SOFT_INPUT", True, " D:/Out "]],
        "SOFT": [[" Attribute Description ", "ATTRIBUTE VALUE"], [" PSSE_Version ", 35.5],
                 [None, None], ["psse_path", " C:\\Program Files\\Simulator "], [None, None]],
    })
    frame = reader.get_data_frame()["soft"]
    # All-empty rows are dropped and the others keep their row labels.
    assert list(frame.index) == [0, 2]
    assert list(frame.columns) == ["attribute description", "attribute value", "parent_path"]
    assert reader.get_soft_config_indexed_dict() == {
        "0": {"attribute description": "psse_version", "attribute value": 35.5, "parent_path": "d:/out"},
        "1": {"attribute description": "psse_path", "attribute value": "c:\\program files\\simulator",
              "parent_path": "d:/out"}}


def test_repeated_sheet_keeps_first_position_and_last_type(workbook_folder):
    reader = read(workbook_folder, {
        "Sheets": sheet_list(("X", "MAIN_INPUT", 1, None), ("Y", "SOFT_INPUT", 1, None),
                             ("x", "CASE_INPUT", 1, None)),
    })
    assert reader.sheet_dict == OrderedDict([("x", "case_input"), ("y", "soft_input")])


def test_clean_column_touches_only_text_of_text_columns():
    numbers = pd.Series([1.0, 2.0])
    assert ReadConfigFile.clean_column(numbers) is numbers
    flags = pd.Series([True, False])
    assert ReadConfigFile.clean_column(flags) is flags
    mixed = pd.Series([" A b ", 1, True, None, float("nan"), 2.5], index=[3, 5, 6, 7, 8, 9], name="col")
    cleaned = ReadConfigFile.clean_column(mixed)
    assert list(cleaned.index) == [3, 5, 6, 7, 8, 9] and cleaned.name == "col"
    assert cleaned[3] == "a b"
    assert cleaned[5] == 1 and type(cleaned[5]) is int
    assert cleaned[6] is True and cleaned[7] is None and math.isnan(cleaned[8])
    assert mixed[3] == " A b "  # the input is not changed


def test_no_folder_reads_nothing():
    reader = ReadConfigFile()
    assert reader.file_name == "config.xlsx" and reader.file_path is None
    assert reader.dfs is None and reader.get_data_frame() is None
    assert reader.sheet_dict == OrderedDict()
    assert reader.get_case_config_indexed_dict() == {}
    assert ReadConfigFile(None, "").file_name == ""


@pytest.mark.parametrize("sheets, error, words", [
    # No result-folder column: fails at the first row of the list.
    ({"Sheets": [["Sheet Name", "Sheet Type", "Sheet Run Enabled"], ["A", "MAIN_INPUT", 0]]},
     KeyError, "sheet list 'sheets' has no column 'folder path to store results for sheet'"),
    ({"Sheets": [["Sheet Name", 5], ["A", 1]]}, TypeError,
     "configuration sheet 'sheets': the column header 5 is not text; every header must be text"),
    ({"Sheets": [["Name", "NAME "], ["A", 1]]}, ValueError,
     "configuration sheet 'sheets': more than one column is headed 'name' once spaces and case are ignored"),
    ({"Sheets": sheet_list((2024, "MAIN_INPUT", 1, None))}, AttributeError,
     "sheet 'sheets', row 2: the sheet name 2024 is not text"),
])
def test_malformed_workbooks_fail_clearly(workbook_folder, sheets, error, words):
    with pytest.raises(error) as raised:
        read(workbook_folder, sheets)
    assert raised.value.args == (words,)


def test_enabled_row_without_type_fails_when_types_are_matched(workbook_folder):
    reader = read(workbook_folder, {"Sheets": sheet_list(("A", None, 1, None), ("B", "MAIN_INPUT", 1, None))})
    with pytest.raises(AttributeError) as raised:
        reader.get_main_config_indexed_dict()
    assert str(raised.value) == "the sheet list gives sheet 'a' the type nan, which is not text"


def test_files_that_cannot_hold_a_configuration(workbook_folder):
    with pytest.raises(FileNotFoundError):
        ReadConfigFile(str(workbook_folder), "missing.xlsx")
    with pytest.raises(AttributeError) as raised:
        ReadConfigFile(str(workbook_folder), "config.txt")
    assert str(raised.value) == ("cannot read the configuration file 'config.txt': its name holds neither "
                                 "'.xlsx' nor '.csv'")
    (workbook_folder / "config.csv").write_text("sheet name,sheet type,sheet run enabled\nA,MAIN_INPUT,1\n")
    with pytest.raises(AttributeError, match="single comma-separated table"):
        ReadConfigFile(str(workbook_folder), "config.csv")
