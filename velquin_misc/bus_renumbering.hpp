// Giving the small case's buses that collide with the main case new numbers
// from 900000 to 999999, and rewriting every bus reference of the small case.
#pragma once

#include <pybind11/pybind11.h>

#include <string>

namespace velquin::misc {

namespace py = pybind11;

// Returns (small_case, {old: new}) after rewriting every bus field of small_case.
py::tuple renumber_buses(const py::object& small_case, const py::object& scbus, const py::object& mcbus,
                         const py::object& connecting_bus);

// Replaces small_case.<section> by a copy whose `field` is renumbered; returns small_case.
py::object renumber_field(const py::dict& bus_renumber_map, const py::object& small_case,
                          const std::string& section, const py::object& field);

void register_bus_renumbering(py::module_& module);

}  // namespace velquin::misc
