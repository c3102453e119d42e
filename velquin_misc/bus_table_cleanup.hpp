// Clean-up of the small case's bus table before renumbering: the connecting
// bus and the simulator's internal buses leave it.
#pragma once

#include <pybind11/pybind11.h>

namespace velquin::misc {

namespace py = pybind11;

// A copy of the bus table without the connecting bus's position, or the
// table itself when there is nothing to drop.
py::object exclude_connecting_bus(const py::object& small_case, const py::object& scbus,
                                  const py::object& connecting_bus);

// Updates `scbus` with the rows of `pssbus` whose bus number is at most 999999.
py::object remove_internal_psse_buses(const py::object& pssbus, const py::object& scbus);

void register_bus_table_cleanup(py::module_& module);

}  // namespace velquin::misc
