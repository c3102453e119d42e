// The bus numbers a small case must not collide with: those of the main case
// as read from its file, and those of every small case already added to it in
// this run. Without the latter, a second small case whose numbers equal an
// earlier one's (its own, or the 900000-up numbers the earlier one was given)
// would be written over the earlier case's buses.
#pragma once

#include <pybind11/pybind11.h>

#include <optional>

namespace velquin::main {

namespace py = pybind11;

class BusNumbersInUse {
public:
    explicit BusNumbersInUse(py::object main_bus_table) : main_bus_table_(std::move(main_bus_table)) {}

    // The bus table to renumber against: the main case's own table until a
    // small case has been added, then a copy whose "NUM" also holds every
    // added bus (renumbering reads nothing else of it).
    py::object table() const;

    // Records the buses of a small case added to the main case.
    void add(const py::object& bus_numbers);

    // Whether `number` is a bus of the main case as it stands now.
    bool contains(const py::handle& number);

private:
    py::object main_bus_table_;
    py::list added_;
    std::optional<py::set> all_numbers_;  // built at the first question
};

}  // namespace velquin::main
