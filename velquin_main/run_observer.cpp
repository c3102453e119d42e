#include "run_observer.hpp"

namespace velquin::main {

void RunObserver::notify(const char* event, const py::dict& facts) const {
    if (active()) callback_(event, facts);
}

void RunObserver::notify_during_error(const char* event, const py::dict& facts) const {
    if (!active()) return;
    try {
        callback_(event, facts);
    } catch (py::error_already_set& error) {
        error.discard_as_unraisable(py::str(std::string("the run's observer, reporting '") + event + "'"));
    }
}

py::dict error_facts(const py::error_already_set& error) {
    // Called while the error propagates: describing it must not raise.
    py::object name = py::str("unknown error");
    py::object message = py::str("(the error's text cannot be shown)");
    try {
        const py::handle type = error.type();
        name = type.attr("__qualname__");
        const py::object module = type.attr("__module__");
        if (!module.equal(py::str("builtins"))) name = py::str("{}.{}").format(module, name);
        message = py::str(error.value());
    } catch (py::error_already_set&) {
    }
    return py::dict(py::arg("type") = name, py::arg("message") = message);
}

py::dict StageTimes::as_dict() const {
    py::dict stages;
    for (const auto& [stage, seconds] : seconds_) stages[py::str(stage)] = seconds;
    return stages;
}

void StageTimes::add(const char* stage, std::chrono::steady_clock::duration spent) {
    const double seconds = std::chrono::duration<double>(spent).count();
    for (auto& [name, total] : seconds_) {
        if (name == stage) {
            total += seconds;
            return;
        }
    }
    seconds_.emplace_back(stage, seconds);
}

double seconds_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace velquin::main
