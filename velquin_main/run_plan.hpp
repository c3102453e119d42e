// The pairs a run will handle, for the observer, taken from the tables
// without judging them: an empty or unusable cell gives None here and is
// refused by the run where it reaches that cell, as without the plan.
#pragma once

#include <pybind11/pybind11.h>

namespace velquin::main {

namespace py = pybind11;

// One dictionary per (main case, small case) pair, in run order: main_index,
// small_index, main_case, small_case, result_folder.
py::list planned_pairs(const py::dict& main_cases, const py::dict& small_cases);

// The case name of a name cell, or None when it is empty or not usable.
py::object planned_name(const py::object& cell);

// A small case's result folder as the run will use it (resolved against the
// file system's letter case), or as written when it cannot be resolved, or
// None when the cell is empty.
py::object result_folder_of(const py::object& parent_path);

}  // namespace velquin::main
