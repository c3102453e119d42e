// run_integration: reads the workbook, starts one simulator adapter and
// grafts every enabled small case onto every enabled main case.
#pragma once

#include <pybind11/pybind11.h>

namespace velquin::main {

namespace py = pybind11;

// The collaborators (PSSE_ENGINE, ReadConfigFile and the topology functions)
// are looked up as attributes of `module` at call time, as a module's
// globals are. `main_cases` None runs every enabled main case; otherwise
// only those at the listed positions (see MainCaseSelection).
void run_integration(const py::module_& module, const py::object& file_path, const py::object& file_name,
                     const py::object& observer, const py::object& main_cases);

}  // namespace velquin::main
