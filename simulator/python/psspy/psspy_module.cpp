// The embedded simulator's main API module.
#include <pybind11/pybind11.h>

#include "psspy/registration.hpp"

PYBIND11_MODULE(psspy, m) {
    m.doc() = "Velquin embedded power-flow simulator: operations on the case in memory.";
    velquin::sim::python::register_session_operations(m);
    velquin::sim::python::register_element_operations(m);
    velquin::sim::python::register_device_operations(m);
    velquin::sim::python::register_query_operations(m);
    velquin::sim::python::register_loadflow_operations(m);
    velquin::sim::python::register_format_operations(m);
}
