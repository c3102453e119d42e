#include "loadflow/kept_state.hpp"

#include <cstring>
#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include <exception>
#include <optional>

#include "loadflow/fault_injection.hpp"
#include "loadflow/solution_inputs.hpp"
#include "loadflow/solution_parameters.hpp"
#include "loadflow/solution_run.hpp"

namespace velquin::sim::loadflow {

namespace {

BuildSettings build_settings(const Case& c, const LoadflowOptions& o) {
    BuildSettings bs;
    if (auto z = solution_parameter(c, "GENERAL", "THRSHZ"); z && *z >= 0.0) bs.zero_impedance_threshold = *z;
    if (o.zero_impedance_threshold >= 0.0) bs.zero_impedance_threshold = o.zero_impedance_threshold;
    return bs;
}

// A solution allocates and frees blocks of megabytes (factors, Jacobian,
// model); by default the C library hands them back to the system at once
// and the next solution pays a page fault for every page again, which costs
// more than the factorisations themselves. The process keeps freed memory
// for reuse instead: its peak is unchanged.
void keep_freed_memory() {
#if defined(__GLIBC__)
    static const bool done = [] {
        mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
        mallopt(M_TRIM_THRESHOLD, 1024 * 1024 * 1024);
        return true;
    }();
    (void)done;
#endif
}

bool same_settings(const BuildSettings& a, const BuildSettings& b) {
    // The structured bindings fail to compile when a setting is added.
    const auto& [threshold_a] = a;
    const auto& [threshold_b] = b;
    return std::memcmp(&threshold_a, &threshold_b, sizeof threshold_a) == 0;
}

bool controls_moved(const NetworkModel& m) {
    for (const TapControl& tc : m.taps)
        if (tc.moved) return true;
    for (const ShuntControl& sc : m.shunts)
        if (sc.moved) return true;
    for (const FlowControl& fc : m.flow_controls)
        if (fc.moved) return true;
    for (const LccLineData& d : m.lcc_lines)
        if (d.taps_moved) return true;
    return false;
}

// Discards everything kept when the scope is left by an exception.
class DiscardOnException {
public:
    explicit DiscardOnException(KeptState& kept) : kept_(kept) {}
    DiscardOnException(const DiscardOnException&) = delete;
    DiscardOnException& operator=(const DiscardOnException&) = delete;
    ~DiscardOnException() {
        if (std::uncaught_exceptions() > exceptions_) kept_.discard();
    }

private:
    KeptState& kept_;
    int exceptions_ = std::uncaught_exceptions();
};

}  // namespace

// Writes an outcome into the case and the progress output: the same for a
// solution computed now and one remembered.
LoadflowResult KeptState::deliver(const SolutionOutcome& outcome, Case& c, ProgressOutput* progress) {
    apply_solution(outcome.write, c);
    network_written_ = outcome.write.writes_network_data();
    if (progress != nullptr) {
        progress->write(outcome.progress_text);
        progress->flush();
    }
    return outcome.result;
}

void KeptState::discard() {
    network_key_.clear();
    bus_index_ = BusIndex{};
    model_ = NetworkModel{};
    model_valid_ = false;
    jacobian_.clear();
    dc_.clear();
    memo_.clear();
}

NetworkModel& KeptState::model_for(const Case& c, const BuildSettings& settings, bool untouched,
                                   LoadflowWork& work) {
    const bool same_network =
        untouched && model_valid_ && !network_written_ && same_settings(settings, settings_)
            ? true
            : network_key_.update(c, settings);
    settings_ = settings;
    network_written_ = false;
    if (!same_network) memo_.clear();
    if (same_network && model_valid_) {
        take_solution_state(model_, c);
        return model_;
    }
    model_valid_ = false;
    if (!same_network) bus_index_ = BusIndex(c.buses);
    model_ = build_network(c, settings, bus_index_);
    model_valid_ = true;
    ++work.model_builds;
    fault_point("model built");
    return model_;
}

LoadflowResult KeptState::solve(Case& c, const LoadflowOptions& o, ProgressOutput* progress, bool untouched) {
    keep_freed_memory();
    const DiscardOnException guard(*this);
    const BuildSettings settings = build_settings(c, o);
    LoadflowWork work;
    NetworkModel& m = model_for(c, settings, untouched, work);
    std::string inputs = solution_inputs(o, c, m, newton_settings(o, c, m));
    auto all_fields = [&c] {
        std::string bytes;
        append_solution_fields(bytes, c);
        return bytes;
    };
    if (const SolutionOutcome* remembered = memo_.find(inputs, all_fields)) {
        LoadflowResult res = deliver(*remembered, c, progress);
        res.work = LoadflowWork{};
        res.work.memo_hits = 1;
        return res;
    }

    jacobian_.begin_solution();
    dc_.begin_solution();
    const std::size_t analyses = jacobian_.analyses() + dc_.analyses();
    const std::size_t full = jacobian_.full_factorisations() + dc_.full_factorisations();
    const std::size_t refactors = jacobian_.refactorisations() + dc_.refactorisations();
    SolverWorkspace ws{jacobian_, dc_, [&]() -> NetworkModel& {
                           if (!controls_moved(model_)) {
                               take_solution_state(model_, c);
                               return model_;
                           }
                           model_valid_ = false;
                           model_ = build_network(c, settings, bus_index_);
                           model_valid_ = true;
                           ++work.model_builds;
                           return model_;
                       }};
    SolutionOutcome outcome = run_solution(c, m, o, ws);
    work.symbolic_analyses = static_cast<int>(jacobian_.analyses() + dc_.analyses() - analyses);
    work.full_factorisations =
        static_cast<int>(jacobian_.full_factorisations() + dc_.full_factorisations() - full);
    work.refactorisations =
        static_cast<int>(jacobian_.refactorisations() + dc_.refactorisations() - refactors);
    outcome.result.work = work;
    // Moved controls changed the kept model: the next solution builds
    // it again (from the case, which holds the moves if they were written).
    if (controls_moved(model_)) model_valid_ = false;
    std::optional<std::string> fields;
    if (outcome.read_all_solution_fields && is_flat_start(o)) fields = all_fields();
    const SolutionOutcome& kept = memo_.add(std::move(inputs), std::move(fields), std::move(outcome));
    fault_point("before write");
    return deliver(kept, c, progress);
}

}  // namespace velquin::sim::loadflow
