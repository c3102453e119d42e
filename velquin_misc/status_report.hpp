// The plain-text report of every element transfer's results.
#pragma once

#include <pybind11/pybind11.h>

namespace velquin::misc {

namespace py = pybind11;

// Writes one titled block per keyword argument, in argument order.
void write_status_report(const py::object& filename, const py::kwargs& statuses);

void register_status_report(py::module_& module);

}  // namespace velquin::misc
