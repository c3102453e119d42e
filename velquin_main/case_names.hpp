// Names and paths of the cases a run reads and writes, and the checks on the
// cells they come from.
#pragma once

#include <pybind11/pybind11.h>

#include <string>

namespace velquin::main {

namespace py = pybind11;

// The text of `file_name` up to its first ".sav" (all of it without one).
py::str case_name(const py::object& file_name);

// The saved case `name` in `folder`: folder joined with name + ".sav".
py::object case_path(const py::object& folder, const py::str& name);

// The value of a path or name cell, refused with a clear error naming
// `where` and `column` when the cell is empty (the reader delivers empty
// cells as missing values, which would otherwise become the name "nan").
const py::object& required_cell(const py::object& value, const std::string& where, const char* column);

// The connecting bus as the run uses it: an integer is passed on as read. A
// whole float (the reader delivers 101.0 whenever any cell of the column is
// empty) and a text holding a whole number become that integer: a bus number
// is an integer to the simulator, and as text it would match no bus, leaving
// the small case grafted unconnected. An empty cell, a boolean, a fraction or
// any other text is refused with a clear error.
py::object connecting_bus_number(const py::object& value, const std::string& where);

}  // namespace velquin::main
