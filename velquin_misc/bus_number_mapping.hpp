// Rewriting the bus numbers inside one field's value through a renumber map.
#pragma once

#include <pybind11/pybind11.h>

namespace velquin::misc {

namespace py = pybind11;

// The value with every item that is a key of `bus_renumber_map` replaced by
// the key's new number: lists (one or two levels), tuples and arrays give new
// containers of the same kind; a single value is mapped itself.
py::object renumber_value(const py::dict& bus_renumber_map, const py::object& val);

}  // namespace velquin::misc
