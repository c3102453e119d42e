// Checking a renumbered case: every bus field is present and none still
// holds a number that was renumbered.
#pragma once

#include <pybind11/pybind11.h>

namespace velquin::misc {

namespace py = pybind11;

// Prints one line per missing (section, field) and per item still holding an
// old number; true when there was none.
bool validate_bus_renumbering(const py::object& small_case, const py::dict& bus_renumber_map);

}  // namespace velquin::misc
