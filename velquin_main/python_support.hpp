// Small helpers that let the driver do in C++ what the equivalent host
// expression does, with the host's own errors.
#pragma once

#include <pybind11/pybind11.h>

#include <string>

#include "velquin_common/python_errors.hpp"
#include "velquin_common/python_values.hpp"
#include "velquin_common/text_file.hpp"
#include "velquin_common/unpacking.hpp"

namespace velquin::main {

namespace py = pybind11;

// `str(value)` as a C++ string (UTF-8).
std::string text(const py::handle& value);

using python::contains;
using python::equal;
using python::join_text;
using python::raise;
using python::TextFile;
using python::unpack_pair;

// `bool(value)`.
bool truthy(const py::handle& value);

// None or a float NaN: what the workbook reader delivers for an empty cell.
bool is_missing(const py::handle& value);

// os.path.join(a, b).
py::object path_join(const py::handle& a, const py::handle& b);

}  // namespace velquin::main
