// Facts about a run for whoever watches it (the command line's summary, the
// benchmark): an optional callable given to run_integration as `observer`,
// called as observer(event, facts) with a dictionary of facts per event.
// Watching changes nothing the run does; the facts come from what the run
// already knows. Every value is a plain Python value (text, numbers, None,
// lists, tuples, dictionaries), so facts can be pickled or sent elsewhere.
//
//   "run_planned"     pairs: one dictionary per pair the run will handle, in
//                     order: main_index, small_index, main_case, small_case,
//                     result_folder (a name or folder is None where its cell
//                     is empty)
//   "run_started"     main_cases, small_cases (the enabled rows of both
//                     tables, in run order), main_case_names (None where
//                     the name cell is empty), result_folders (each small
//                     case's result folder as the run resolves it); sent
//                     once the simulator adapter exists, whatever main
//                     cases the run is limited to
//   "main_case_read"  main_index, main_case, path, seconds
//   "pair_started"    main_index, small_index, main_case, small_case,
//                     small_case_path, result_folder
//   "network_solve_started"  main_index, small_index, main_case, small_case,
//                     connections
//   "connection_solved"      main_index, small_index, main_case, small_case,
//                     connections, reconnected
//                     (once per connection the network solve brought back)
//   "pair_finished"   main_index, small_index, main_case, small_case,
//                     result_folder, folder, buses, renumbered, connections,
//                     reconnected, ival_lf, converged, final_case (path or
//                     None), seconds, stages, elements, refused,
//                     buses_out_of_service, failed_connection,
//                     failed_position
//   "pair_stopped"    main_index, small_index, main_case, small_case, stage,
//                     error; the error then propagates out of the run
//   "run_stopped"     stage ("read workbook", "start simulator" or
//                     "read main case"), main_index, main_case (None before
//                     the main cases), error: an error outside any pair
//
// `main_index` and `small_index` count the enabled main and small cases
// from 0. `stages` maps each stage of the pair, in run order, to its
// seconds: read, renumber, maps, start, copy, saves, report, discover,
// disconnect, first solve, network solve, modify generators, close.
// `elements` maps each element kind (bus, line branch, transformer,
// generator, fixed shunt, switched shunt, load, induction machine) to
// {"total": the kind's total, "refused": status entries with a non-zero
// code}; `refused` lists those entries as {"kind", "element" (the status
// key), "code"}. `buses_out_of_service` are the small case's buses, as
// renumbered, that the network solve did not bring back (leaving out buses
// whose creation was refused); `failed_connection` is the connection whose
// solve did not converge, and `failed_position` its position in the ordered
// connections counted from 1 (both None when the solve converged). `stage`
// is the stage running (or last started) when the error was raised;
// "settings" before the first. `error` is {"type", "message"}.
#pragma once

#include <pybind11/pybind11.h>

#include <chrono>
#include <exception>
#include <string>
#include <utility>
#include <vector>

#include "velquin_common/python_errors.hpp"

namespace velquin::main {

namespace py = pybind11;

class RunObserver {
public:
    explicit RunObserver(py::object callback) : callback_(std::move(callback)) {}

    bool active() const { return !callback_.is_none(); }
    void notify(const char* event, const py::dict& facts) const;

    // For reports made while an error propagates: a failing observer must
    // not replace that error, so its own error is reported as unraisable.
    void notify_during_error(const char* event, const py::dict& facts) const;

private:
    py::object callback_;
};

// {"type": ..., "message": ...} of a Python error: the class name (with its
// module when it is not a built-in) and str() of the error.
py::dict error_facts(const py::error_already_set& error);

// Seconds spent per stage, stages kept in the order first timed.
class StageTimes {
public:
    template <typename Work>
    decltype(auto) time(const char* stage, Work&& work) {
        last_started_ = stage;
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

    // The stage running, or the one last started, or nullptr before the first.
    const char* last_started() const { return last_started_; }

private:
    void add(const char* stage, std::chrono::steady_clock::duration spent);

    std::vector<std::pair<std::string, double>> seconds_;
    const char* last_started_ = nullptr;
};

// Seconds since `start`.
double seconds_since(std::chrono::steady_clock::time_point start);

// Runs `work`; when it fails, `report` is given the failure as a Python
// error before the failure goes on (a C++ exception goes on as the Python
// error it would have become at the module's boundary).
template <typename Work, typename Report>
void reporting_failure(Work&& work, Report&& report) {
    try {
        std::forward<Work>(work)();
    } catch (py::error_already_set& error) {
        report(error);
        throw;
    } catch (const std::exception&) {
        py::error_already_set error = python::current_python_error();
        report(error);
        throw error;
    }
}

}  // namespace velquin::main
