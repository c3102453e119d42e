// Paths from the workbook reach the run lower-cased. On a case-sensitive
// file system such a path may name nothing; its existing components are then
// found by comparing names without regard to case.
#pragma once

#include <pybind11/pybind11.h>

namespace velquin::main {

namespace py = pybind11;

// `path` itself when it exists as written. Otherwise each component, from
// the first, is taken as written when that exists, else as the one entry of
// its folder whose name equals it ignoring case; from the first component
// that matches nothing on, the rest is kept as written. Two or more entries
// matching one component raise FileNotFoundError naming the path and the
// candidates.
py::object resolve_path(const py::object& path);

// The folder `path`, resolved as above and created with any missing parents
// under the resolved part (an existing folder is no error).
py::object make_folder(const py::object& path);

}  // namespace velquin::main
