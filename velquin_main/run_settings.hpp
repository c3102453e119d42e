// What the run takes from the workbook: the simulator settings and the
// tables of enabled main and small cases.
#pragma once

#include <pybind11/pybind11.h>

#include <optional>

namespace velquin::main {

namespace py = pybind11;

// The simulator settings of the software sheet; a setting without a row is
// empty. Later rows with the same description win.
struct SoftwareSettings {
    std::optional<py::object> psse_path;
    std::optional<py::object> version;
    std::optional<py::object> init_buses;  // psse_init: the buses the simulator starts with
};

SoftwareSettings read_software_settings(const py::object& software_rows);

// A row takes part when its "enabled" value equals "yes", 1 or 1.0 (a boolean
// true equals 1).
bool is_enabled(const py::object& value);

// The enabled rows of `rows` as {"0": {...}, "1": {...}}: dense counter keys,
// each value holding the listed row keys under the driver's own names.
// A missing key is the host's KeyError.
struct FieldFromRow {
    const char* name;     // key in the table
    const char* row_key;  // key of the reader's row
};
py::dict enabled_table(const py::object& rows, std::initializer_list<FieldFromRow> fields);

py::dict main_case_table(const py::object& main_rows);
py::dict small_case_table(const py::object& case_rows);

}  // namespace velquin::main
