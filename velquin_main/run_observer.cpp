#include "run_observer.hpp"

namespace velquin::main {

void RunObserver::notify(const char* event, const py::dict& facts) const {
    if (active()) callback_(event, facts);
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
