// Small helpers for doing in C++ exactly what the equivalent Python
// expression would do, errors included.
#pragma once

#include <pybind11/pybind11.h>

#include <initializer_list>
#include <string>

#include "velquin_common/python_errors.hpp"
#include "velquin_common/python_values.hpp"

namespace velquin::ps {

namespace py = pybind11;

using python::is_nonzero;
using python::join_text;
using python::raise;

// `value * 100`
py::object times_100(const py::handle& value);

// `operator.index(value)`, as `range(value)` requires.
py::ssize_t as_index(const py::handle& value);

// The Python repr of a float, as a user would see the version written.
std::string version_text(double version);

// Refuses positional arguments for methods that take keyword arguments only.
void refuse_positional(const char* method, const py::args& args);

}  // namespace velquin::ps
