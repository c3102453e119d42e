// velquin_misc: topology, renumbering, status report and network solve.
#include <pybind11/pybind11.h>

#include "bus_renumbering.hpp"
#include "bus_table_cleanup.hpp"
#include "connection_discovery.hpp"
#include "network_solve.hpp"
#include "numpy_types.hpp"
#include "status_report.hpp"

PYBIND11_MODULE(velquin_misc, module) {
    module.doc() = "Velquin topology, bus renumbering, status report and network solve";
    velquin::misc::register_connection_discovery(module);
    velquin::misc::register_bus_table_cleanup(module);
    velquin::misc::register_numpy_types(module);
    velquin::misc::register_bus_renumbering(module);
    velquin::misc::register_status_report(module);
    velquin::misc::register_network_solve(module);
}
