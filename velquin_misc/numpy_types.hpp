// Turning array-library values back into the host's plain values.
#pragma once

#include <pybind11/pybind11.h>

namespace velquin::misc {

namespace py = pybind11;

// Recursively replaces arrays by nested lists and array scalars by plain
// numbers and strings inside dictionaries, tuples and lists; other values
// pass through unchanged.
py::object convert_np_types(const py::object& data);

void register_numpy_types(py::module_& module);

}  // namespace velquin::misc
