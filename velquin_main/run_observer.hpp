// Facts about a run for whoever watches it (the command line's summary, the
// benchmark): an optional callable given to run_integration as `observer`,
// called as observer(event, facts) with a dictionary of facts per event.
//
//   "run_started"     main_cases, small_cases (the enabled rows of both
//                     tables, in run order), result_folders (each small
//                     case's result folder as the run resolves it); sent
//                     once the simulator adapter exists, whatever main
//                     cases the run is limited to
//   "main_case_read"  main_case, path, seconds
//   "pair_started"    main_case, small_case, small_case_path
//   "network_solve_started"  main_case, small_case, connections
//   "connection_solved"      main_case, small_case, connections, reconnected
//                     (once per connection the network solve brought back)
//   "pair_finished"   main_case, small_case, folder, buses, renumbered,
//                     connections, reconnected, ival_lf, converged,
//                     final_case (path or None), seconds, stages
//
// `stages` maps each stage of the pair, in run order, to its seconds: read,
// renumber, maps, start, copy, saves, report, discover, disconnect,
// first solve, network solve, modify generators, close.
#pragma once

#include <pybind11/pybind11.h>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

namespace velquin::main {

namespace py = pybind11;

class RunObserver {
public:
    explicit RunObserver(py::object callback) : callback_(std::move(callback)) {}

    bool active() const { return !callback_.is_none(); }
    void notify(const char* event, const py::dict& facts) const;

private:
    py::object callback_;
};

// Seconds spent per stage, stages kept in the order first timed.
class StageTimes {
public:
    template <typename Work>
    decltype(auto) time(const char* stage, Work&& work) {
        const auto start = std::chrono::steady_clock::now();
        struct Record {
            StageTimes& times;
            const char* stage;
            std::chrono::steady_clock::time_point start;
            ~Record() { times.add(stage, std::chrono::steady_clock::now() - start); }
        } record{*this, stage, start};
        return std::forward<Work>(work)();
    }

    py::dict as_dict() const;

private:
    void add(const char* stage, std::chrono::steady_clock::duration spent);

    std::vector<std::pair<std::string, double>> seconds_;
};

// Seconds since `start`.
double seconds_since(std::chrono::steady_clock::time_point start);

}  // namespace velquin::main
