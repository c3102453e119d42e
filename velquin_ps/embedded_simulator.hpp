// The embedded simulator, named by the psse_path value "embedded" (any
// letter case) instead of a folder: a workbook can then name it without
// knowing where Velquin was built or installed.
#pragma once

#include <pybind11/pybind11.h>

namespace velquin::ps {

namespace py = pybind11;

// The folder of the embedded simulator's modules: "velquin_simulator"
// beside the velquin_ps module (an installed package), else "simulator"
// beside the velquin_ps module's folder (a build tree). ImportError when
// neither exists.
py::str embedded_simulator_folder();

// The folder a psse_path value names, as text: the embedded simulator's
// folder for "embedded", the value's text for anything else.
py::str simulator_folder(const py::object& psse_path);

}  // namespace velquin::ps
