"""Writes config.xlsx, the example study's workbook (run with /usr/bin/python3)."""

from pathlib import Path

from openpyxl import Workbook

HERE = Path(__file__).resolve().parent


def main():
    book = Workbook()
    sheets = book.active
    sheets.title = "Sheets"
    sheets.append(["SHEET NAME", "SHEET TYPE", "SHEET RUN ENABLED", "FOLDER PATH TO STORE RESULTS FOR SHEET"])
    sheets.append(["Software", "SOFT_INPUT", True, None])
    sheets.append(["Main Cases", "MAIN_INPUT", True, None])
    sheets.append(["Plants", "CASE_INPUT", True, "build/demo/results"])

    software = book.create_sheet("Software")
    software.append(["ATTRIBUTE DESCRIPTION", "ATTRIBUTE VALUE"])
    software.append(["psse_path", "build/simulator"])
    software.append(["psse_version", 35.5])
    software.append(["psse_init", 150000])

    main_cases = book.create_sheet("Main Cases")
    main_cases.append(["ENABLED", "SNAPSHOT FILEPATH", "SNAPSHOT FILENAME"])
    main_cases.append(["yes", "build/demo/cases", "activsg10k.sav"])

    plants = book.create_sheet("Plants")
    plants.append(["ENABLED", "FILEPATH OF CASE TO BE ADDED", "NAME OF CASE TO BE ADDED", "CONNECTING BUS NUMBER"])
    plants.append(["yes", "build/demo/cases", "mojave_sun_solar.sav", 25832])
    plants.append(["yes", "build/demo/cases", "silver_valley_wind.sav", 74111])
    plants.append(["yes", "build/demo/cases", "front_range_storage.sav", 60264])

    book.save(HERE / "config.xlsx")


if __name__ == "__main__":
    main()
