// Load-flow solving: the fixed ten-call recipe and the pass-through solvers.
#include <initializer_list>

#include "engine.hpp"

namespace velquin::ps {

namespace {

// Solution options in the simulator's positional order (option 1 first).
template <typename T>
py::list list_of(std::initializer_list<T> values) {
    py::list list;
    for (const T& value : values) list.append(value);
    return list;
}

py::list rsol_options(int option7) {
    return list_of({1, 2, 0, 0, 1, 1, option7, 99, 0, 0});
}
py::list rsol_values() {
    return list_of({500.0, 5.0});
}
py::list fnsl_options(int option6) {
    return list_of({2, 0, 0, 1, 1, option6, 99, 0});
}

}  // namespace

void Engine::run_load_flow() {
    // Every step runs whatever the previous one gave: convergence is judged
    // afterwards with check_solved.
    auto rsol = psspy.attr("rsol");
    auto fnsl = psspy.attr("fnsl");
    rsol(py::arg("options1") = 1, py::arg("options2") = 2, py::arg("options6") = 1, py::arg("options7") = 0,
         py::arg("options8") = 99, py::arg("options9") = 0, py::arg("options10") = 0);
    rsol(rsol_options(0), rsol_values());
    rsol(rsol_options(0), rsol_values());
    fnsl(fnsl_options(0));
    fnsl(fnsl_options(0));
    rsol(rsol_options(0), rsol_values());
    fnsl(fnsl_options(4));
    fnsl(fnsl_options(4));
    rsol(rsol_options(4), rsol_values());
    rsol(rsol_options(0), rsol_values());
}

void Engine::run_load_flow_rsol(const py::kwargs& kwargs) {
    psspy.attr("rsol")(**kwargs);
}

void Engine::run_load_flow_fnsl(const py::kwargs& kwargs) {
    psspy.attr("fnsl")(**kwargs);
}

py::object Engine::check_solved() {
    return psspy.attr("solved")();
}

}  // namespace velquin::ps
