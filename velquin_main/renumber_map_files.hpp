// The two files that record a pair's bus renumbering: M_renumber_map.txt
// (one "old -> new" line per renumbered bus) and M_renumber_map.json.
#pragma once

#include <pybind11/pybind11.h>

namespace velquin::main {

namespace py = pybind11;

void write_renumber_map_text(const py::object& path, const py::object& renumber_map);
void write_renumber_map_json(const py::object& path, const py::object& renumber_map);

}  // namespace velquin::main
