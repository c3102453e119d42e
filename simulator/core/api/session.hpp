// The simulator's process-wide state: the case in memory, where progress
// text goes, which release was started, and the outcome of the last load
// flow. The Python modules are thin layers over this one object.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "api/progress_output.hpp"
#include "loadflow/loadflow_work.hpp"
#include "model/case.hpp"
#include "operations/case_index.hpp"
#include "operations/element_walks.hpp"

namespace velquin::sim {

class Session {
public:
    static Session& instance();

    bool initialized() const { return initialized_; }
    void mark_initialized(int bus_capacity);
    int bus_capacity() const { return bus_capacity_; }

    // Release recorded by the start-up module that was imported ("34",
    // "35.5", "36.1", "36.2"); empty when none was.
    const std::string& started_release() const { return started_release_; }
    void set_started_release(std::string release) { started_release_ = std::move(release); }

    bool has_case() const { return case_.has_value(); }
    Case& current_case() { return *case_; }
    const Case& current_case() const { return *case_; }
    // Makes `c` the case in memory; forgets the previous one and the outcome
    // of any earlier solution.
    void replace_case(Case c);
    void close_case();

    // Lookup tables over the case in memory; forgotten with the case.
    CaseIndex& case_index() { return case_index_; }
    // Branch and machine walks in progress; forgotten with the case.
    ElementWalks& walks() { return walks_; }

    ProgressOutput& progress() { return progress_; }
    // Writes one line to the progress output and flushes it, so that what
    // the simulator refused is on record even if the process stops.
    void report(std::string_view line);

    // Page length per output device (1 to 4), as set by the API; kept for
    // callers that ask, the output itself is not paged.
    int lines_per_page(int device) const;
    bool set_lines_per_page(int device, int lines);

    // Status of the last load-flow solution, as `solved` reports it.
    int solution_status() const { return solution_status_; }
    void set_solution_status(int status) { solution_status_ = status; }
    // Work and iterations of the last load-flow solution (zero when the
    // last call was refused or failed), for benchmarks.
    const LoadflowWork& solution_work() const { return solution_work_; }
    int solution_iterations() const { return solution_iterations_; }
    void set_solution_work(const LoadflowWork& work, int iterations) {
        solution_work_ = work;
        solution_iterations_ = iterations;
    }

private:
    Session() = default;

    bool initialized_ = false;
    int bus_capacity_ = 0;
    std::string started_release_;
    std::optional<Case> case_;
    CaseIndex case_index_;
    ElementWalks walks_;
    ProgressOutput progress_;
    std::array<int, 4> lines_per_page_{60, 60, 60, 60};
    int solution_status_ = kSolutionNotAttempted;
    LoadflowWork solution_work_;
    int solution_iterations_ = 0;

public:
    // Value of `solution_status` before any solution of the case in memory.
    static constexpr int kSolutionNotAttempted = 9;
};

}  // namespace velquin::sim
