// Watches the network solve for the observer: which connections it brought
// back and where it stopped. The watch stands in for the engine, forwards
// every attribute to it, and notes on the way:
// - the numbered saves, one per connection that converged (the base name
//   followed by "_<n>.sav"), telling the observer "connection_solved" with
//   `facts` plus `reconnected` at each;
// - each connection's step, which opens with the read of its first bus's
//   voltage magnitude ("PU") and reconnects the connection's other buses;
// - every bus reconnected.
#pragma once

#include <pybind11/pybind11.h>

#include <vector>

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
    py::object get_bus_data(const py::args& args, const py::kwargs& kwargs);
    py::object reconnect_buses(const py::args& args, const py::kwargs& kwargs);

    long numbered_saves() const { return numbered_saves_; }

    // Every bus the solve reconnected.
    py::set reconnected_buses() const;

    // The connection of `ordered` that the last step worked on, and its
    // position counted from 1, as (position, connection); None when no
    // step was made or none matches.
    py::object last_connection(const py::object& ordered) const;

private:
    struct Step {
        py::object first_bus;
        py::list reconnected;
    };

    bool numbered(const py::handle& sfile) const;

    py::object engine_;
    py::str base_;
    RunObserver observer_;
    py::dict facts_;
    long numbered_saves_ = 0;
    std::vector<Step> steps_;
};

void register_solve_watch(py::module_& module);

}  // namespace velquin::main
