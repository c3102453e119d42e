// Bringing the small case back into service connection by connection, with a
// load-flow solve after each.
#pragma once

#include <pybind11/pybind11.h>

namespace velquin::misc {

namespace py = pybind11;

// Returns the last solution status: 0 when every connection solved and the
// final case was saved, else the first failing status.
py::object solve_the_network(const py::object& psseng, const py::object& sav_file_name,
                             const py::object& ordered);

void register_network_solve(py::module_& module);

}  // namespace velquin::misc
