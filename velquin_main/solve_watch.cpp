#include "solve_watch.hpp"

#include <string>

#include "python_support.hpp"

namespace velquin::main {

namespace {

// Whether `connection` (first bus, further buses..., circuit) is the step
// that read `first` and reconnected `reconnected`.
bool is_step_of(const py::handle& connection, const py::handle& first, const py::list& reconnected) {
    if (!PySequence_Check(connection.ptr())) return false;
    const py::sequence items = py::reinterpret_borrow<py::sequence>(connection);
    const std::size_t count = items.size();
    if ((count != 3 && count != 4) || count - 2 != reconnected.size()) return false;
    if (!equal(items[0], first)) return false;
    for (std::size_t i = 1; i + 1 < count; ++i) {
        if (!equal(items[i], reconnected[i - 1])) return false;
    }
    return true;
}

}  // namespace

py::object SolveWatch::save_case(const py::args& args, const py::kwargs& kwargs) {
    py::object result = engine_.attr("save_case")(*args, **kwargs);
    if (kwargs.contains("sfile") && numbered(kwargs["sfile"])) {
        ++numbered_saves_;
        py::dict facts = facts_.attr("copy")();  // a fresh dict per event; facts_ is shared
        facts["reconnected"] = numbered_saves_;
        observer_.notify("connection_solved", facts);
    }
    return result;
}

py::object SolveWatch::get_bus_data(const py::args& args, const py::kwargs& kwargs) {
    py::object result = engine_.attr("get_bus_data")(*args, **kwargs);
    if (kwargs.contains("string") && kwargs.contains("ibus") && equal(kwargs["string"], py::str("PU"))) {
        steps_.push_back({kwargs["ibus"], py::list()});
    }
    return result;
}

py::object SolveWatch::reconnect_buses(const py::args& args, const py::kwargs& kwargs) {
    py::object result = engine_.attr("reconnect_buses")(*args, **kwargs);
    if (!steps_.empty() && args.size() == 1 && kwargs.empty()) {
        const py::handle buses = args[0];
        if (py::isinstance<py::list>(buses)) {
            for (const auto& bus : buses) steps_.back().reconnected.append(bus);
        } else {
            steps_.back().reconnected.append(buses);
        }
    }
    return result;
}

py::set SolveWatch::reconnected_buses() const {
    py::set buses;
    for (const auto& step : steps_) {
        for (const auto& bus : step.reconnected) buses.add(bus);
    }
    return buses;
}

py::object SolveWatch::last_connection(const py::object& ordered) const {
    if (steps_.empty()) return py::none();
    // The solve walks `ordered` in order, skipping some connections, so each
    // step is the next connection from the previous step's on that matches.
    const py::list connections(ordered);
    std::size_t next = 0;
    py::object found = py::none();
    for (const auto& step : steps_) {
        found = py::none();
        for (; next < connections.size(); ++next) {
            if (is_step_of(connections[next], step.first_bus, step.reconnected)) {
                found = py::make_tuple(next + 1, connections[next]);
                ++next;
                break;
            }
        }
    }
    return found;
}

bool SolveWatch::numbered(const py::handle& sfile) const {
    if (!PyUnicode_Check(sfile.ptr())) return false;
    const std::string name = text(sfile);
    const std::string base = text(base_) + "_";
    const std::string suffix = ".sav";
    if (name.size() <= base.size() + suffix.size()) return false;
    if (name.compare(0, base.size(), base) != 0) return false;
    if (name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) return false;
    const std::string counter = name.substr(base.size(), name.size() - base.size() - suffix.size());
    return counter.find_first_not_of("0123456789") == std::string::npos;
}

void register_solve_watch(py::module_& module) {
    py::class_<SolveWatch>(module, "_SolveWatch")
        .def("__getattr__", &SolveWatch::forward)
        .def("save_case", &SolveWatch::save_case)
        .def("get_bus_data", &SolveWatch::get_bus_data)
        .def("reconnect_buses", &SolveWatch::reconnect_buses);
}

}  // namespace velquin::main
