// Counts the connections the network solve brings back, for the observer.
// The solve saves the case once per connection that converged, under the
// base name followed by "_<n>.sav"; the watch stands in for the engine,
// forwards every attribute to it, and counts those saves on the way,
// telling the observer "connection_solved" with `facts` plus `reconnected`.
#pragma once

#include <pybind11/pybind11.h>

#include "run_observer.hpp"

namespace velquin::main {

namespace py = pybind11;

class SolveWatch {
public:
    SolveWatch(py::object engine, py::str base, RunObserver observer, py::dict facts)
        : engine_(std::move(engine)),
          base_(std::move(base)),
          observer_(std::move(observer)),
          facts_(std::move(facts)) {}

    py::object forward(const py::str& name) const { return engine_.attr(name); }
    py::object save_case(const py::args& args, const py::kwargs& kwargs);
    long numbered_saves() const { return numbered_saves_; }

private:
    bool numbered(const py::handle& sfile) const;

    py::object engine_;
    py::str base_;
    RunObserver observer_;
    py::dict facts_;
    long numbered_saves_ = 0;
};

void register_solve_watch(py::module_& module);

}  // namespace velquin::main
