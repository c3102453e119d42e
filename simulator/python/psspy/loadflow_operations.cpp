#include "psspy/registration.hpp"

namespace velquin::sim::python {

void register_loadflow_operations(pybind11::module_& /*m*/) {}

}  // namespace velquin::sim::python
