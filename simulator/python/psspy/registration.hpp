// The psspy module is assembled from groups of operations, each group in
// its own file.
#pragma once

#include <pybind11/pybind11.h>

namespace velquin::sim::python {

// Start-up, progress output, opening, saving and closing cases.
void register_session_operations(pybind11::module_& m);
// Creating and changing elements, disconnecting and reconnecting buses.
void register_element_operations(pybind11::module_& m);
// Creating and changing DC lines, FACTS devices, areas, inter-area
// transfers and impedance correction tables.
void register_device_operations(pybind11::module_& m);
// Walking branches and machines at a bus, bus queries.
void register_query_operations(pybind11::module_& m);
// Load-flow solutions and their status.
void register_loadflow_operations(pybind11::module_& m);
// Reading and writing case files in exchange formats.
void register_format_operations(pybind11::module_& m);

}  // namespace velquin::sim::python
