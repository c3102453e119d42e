// velquin_main: the integration run. Loading the module binds the names the
// run uses from velquin_rc, velquin_ps and velquin_misc; the run looks them
// up here when it is called.
#include <pybind11/pybind11.h>

#include "integration_run.hpp"
#include "solve_watch.hpp"
#include "velquin_common/console.hpp"

namespace py = pybind11;

namespace {

constexpr const char* kMiscFunctions[] = {
    "exclude_connecting_bus", "remove_internal_psse_buses", "renumber_buses",    "find_buses",
    "organize_connections",   "enforce_topological_order",  "solve_the_network", "write_status_report",
};

}  // namespace

PYBIND11_MODULE(velquin_main, module) {
    module.doc() = "Velquin integration run";

    velquin::python::clear_console_on_windows();
    module.attr("os") = py::module_::import("os");
    module.attr("json") = py::module_::import("json");
    module.attr("PSSE_ENGINE") = py::module_::import("velquin_ps").attr("PSSE_ENGINE");
    module.attr("ReadConfigFile") = py::module_::import("velquin_rc").attr("ReadConfigFile");
    auto misc = py::module_::import("velquin_misc");
    for (const char* name : kMiscFunctions) module.attr(name) = misc.attr(name);

    velquin::main::register_solve_watch(module);

    module.def(
        "run_integration",
        [](const py::object& file_path, const py::object& file_name, const py::object& observer,
           const py::object& main_cases) {
            velquin::main::run_integration(py::module_::import("velquin_main"), file_path, file_name,
                                           observer, main_cases);
        },
        py::arg("file_path"), py::arg("file_name"), py::kw_only(), py::arg("observer") = py::none(),
        py::arg("main_cases") = py::none(),
        "Grafts every enabled small case of the workbook onto every enabled main case.\n\n"
        "file_path and file_name locate the workbook. observer, when given, is called as\n"
        "observer(event, facts) with the events 'run_planned' (the pairs to handle),\n"
        "'run_started' (main_cases, main_case_names, small_cases, result_folders),\n"
        "'main_case_read', 'pair_started', 'pair_finished' (folder, converged, connections,\n"
        "reconnected, refused, buses_out_of_service, seconds, stages, ...), and 'pair_stopped'\n"
        "or 'run_stopped' (stage, error) before an error propagates. main_cases, when given,\n"
        "limits the run to the enabled main cases at those positions (0 for the first).");
}
