// Finding the small case's internal branches and three-winding transformers
// in the merged case, and ordering them outward from the connecting bus.
#pragma once

#include <pybind11/pybind11.h>

namespace velquin::misc {

namespace py = pybind11;

// Walks the branches and three-winding transformers at every small-case bus;
// returns (branch records, three-winding records) whose buses all lie in the small case.
py::tuple find_buses(const py::object& scbus_numbers, const py::object& psseng);

// Breadth-first list of the distinct connections reachable from `main_bus`.
py::list organize_connections(const py::object& main_bus, const py::object& branches, const py::object& tx3s);

// One tuple per connection, its non-zero buses sorted by breadth-first distance from `main_bus`.
py::list enforce_topological_order(const py::object& connections, const py::object& main_bus);

// The connection's non-zero buses with `root` first when it is one of them.
py::tuple reorder_edge(const py::object& edge, const py::object& root);

void register_connection_discovery(py::module_& module);

}  // namespace velquin::misc
