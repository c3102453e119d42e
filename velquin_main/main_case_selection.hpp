// The main cases a run handles: every enabled main case by default, or only
// those the caller names by position. Running one main case per process
// (the parallel run) needs a run of one workbook limited to a few of its
// main cases, with everything else exactly as in the whole run.
#pragma once

#include <pybind11/pybind11.h>

#include <cstddef>
#include <vector>

namespace velquin::main {

namespace py = pybind11;

class MainCaseSelection {
public:
    // `positions` None selects all `count` main cases. Otherwise it is an
    // iterable of positions among the enabled main cases in workbook order,
    // 0 for the first; a position that is not a whole number from 0 to
    // count - 1 is refused with a clear error. Order and repeats do not
    // matter: the run keeps the workbook's order.
    MainCaseSelection(const py::object& positions, std::size_t count);

    bool contains(std::size_t position) const { return selected_.at(position); }

private:
    std::vector<bool> selected_;
};

}  // namespace velquin::main
