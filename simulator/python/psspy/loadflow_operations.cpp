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
    // Not in the commercial simulator's API: for benchmarks and tests.
    m.def(
        "loadflow_work",
        []() {
            const Session& s = Session::instance();
            const LoadflowWork& w = s.solution_work();
            pybind11::dict d;
            d["iterations"] = s.solution_iterations();
            d["model_builds"] = w.model_builds;
            d["symbolic_analyses"] = w.symbolic_analyses;
            d["full_factorisations"] = w.full_factorisations;
            d["refactorisations"] = w.refactorisations;
            d["memo_hits"] = w.memo_hits;
            return d;
        },
        "loadflow_work()\n\nWork of the last solution (fnsl or rsol): iterations, model builds, symbolic "
        "analyses, "
        "full factorisations, refactorisations and memo hits (1 when it gave the outcome of an earlier "
        "solution "
        "with the same inputs). Not part of the commercial simulator's API.");
    m.def(
        "loadflow_reset", []() { clear_loadflow_caches(); },
        "loadflow_reset()\n\nForgets what the load flow keeps between solutions (network model, orderings, "
        "earlier outcomes): the next solution starts as in a fresh session. Not part of the commercial "
        "simulator's API.");
    m.def(
        "solved", []() { return Session::instance().solution_status(); },
        "solved()\n\nStatus of the last load-flow solution: 0 converged, 1 iteration limit, 2 blown up, "
        "3 stopped by step control, 5 singular Jacobian, 8 islands without a swing bus unsolved, "
        "9 not attempted.");
}

}  // namespace velquin::sim::python
