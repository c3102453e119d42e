// One load-flow solution on a network model: the Newton iterations with
// their start, adjustments, restart and fallback, the progress text and
// everything the solution would write into the case. Nothing is written
// here; the caller applies the outcome (solution_write.hpp).
#pragma once

#include <functional>
#include <string>

#include "loadflow/loadflow.hpp"
#include "loadflow/network_model.hpp"
#include "loadflow/newton_solver.hpp"
#include "loadflow/solution_write.hpp"
#include "loadflow/sparse_lu.hpp"

namespace velquin::sim::loadflow {

struct SolutionOutcome {
    LoadflowResult result;
    SolutionWrite write;
    std::string progress_text;  // whole lines, each ended by a line feed
    // True when the outcome depends on every solution field of the case,
    // whatever the start: a solution that failed compares its last iterate
    // with the case's own voltages before it writes anything.
    bool read_all_solution_fields = false;
};

struct SolverWorkspace {
    SparseLu& jacobian;
    SparseLu& dc;
    // Gives the model as the case makes it, without the taps and shunts an
    // earlier attempt of this solution moved.
    std::function<NetworkModel&()> restore_model;
};

// Newton settings of a solution with these options on this case and model
// (tolerance and iteration limit from the options or the case).
NewtonSettings newton_settings(const LoadflowOptions& o, const Case& c, const NetworkModel& m);

SolutionOutcome run_solution(const Case& c, NetworkModel& m, const LoadflowOptions& o, SolverWorkspace& ws);

}  // namespace velquin::sim::loadflow
