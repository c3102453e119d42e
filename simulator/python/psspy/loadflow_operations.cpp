// Load-flow solutions of the case in memory and their outcome: fnsl (full
// Newton-Raphson), rsol (robust Newton-Raphson) and solved. The option
// positions and codes are described in docs/loadflow.md.
#include "api/session.hpp"
#include "common/operation_support.hpp"
#include "loadflow/loadflow.hpp"
#include "psspy/registration.hpp"

namespace velquin::sim::python {

namespace {

IntegerOptions integer_options(const CallArguments& a, int count) {
    IntegerOptions out(static_cast<std::size_t>(count));
    for (int k = 1; k <= count; ++k) {
        if (auto v = a.integer("options", k)) out[static_cast<std::size_t>(k - 1)] = *v;
    }
    return out;
}

RealValues real_values(const CallArguments& a, int count) {
    RealValues out(static_cast<std::size_t>(count));
    for (int k = 1; k <= count; ++k) {
        if (auto v = a.real("values", k)) out[static_cast<std::size_t>(k - 1)] = *v;
    }
    return out;
}

}  // namespace

void register_loadflow_operations(pybind11::module_& m) {
    def_operation(
        m, "fnsl", {int_array("options", 8)},
        [](const CallArguments& a) { return run_fnsl(Session::instance(), integer_options(a, 8)); },
        "Full Newton-Raphson load flow of the case in memory. Returns ierr (0: the solution ran; "
        "its outcome is given by solved()).");
    def_operation(
        m, "rsol", {int_array("options", 10), real_array("values", 2)},
        [](const CallArguments& a) {
            return run_rsol(Session::instance(), integer_options(a, 10), real_values(a, 2));
        },
        "Robust Newton-Raphson load flow (step control, DC angle start) of the case in memory. "
        "Returns ierr (0: the solution ran; its outcome is given by solved()).");
    m.def(
        "solved", []() { return Session::instance().solution_status(); },
        "solved()\n\nStatus of the last load-flow solution: 0 converged, 1 iteration limit, 2 blown up, "
        "3 stopped by step control, 5 singular Jacobian, 8 islands without a swing bus unsolved, "
        "9 not attempted.");
}

}  // namespace velquin::sim::python
