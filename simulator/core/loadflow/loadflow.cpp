#include "loadflow/loadflow.hpp"

#include "loadflow/kept_state.hpp"

namespace velquin::sim {

const char* describe_solution_status(int status) {
    switch (status) {
        case kSolutionConverged:
            return "met convergence tolerance";
        case kSolutionIterationLimit:
            return "iteration limit exceeded";
        case kSolutionBlownUp:
            return "blown up";
        case kSolutionStepControlStopped:
            return "terminated by step control (no step reduces the mismatch)";
        case kSolutionSingular:
            return "singular Jacobian matrix";
        case kSolutionIslandsUnsolved:
            return "islands without a swing bus left unsolved";
        case kSolutionNotAttempted:
            return "solution not attempted";
        default:
            return "unknown";
    }
}

namespace {
loadflow::KeptState& kept_state() {
    static loadflow::KeptState kept;
    return kept;
}
}  // namespace

LoadflowResult solve_loadflow(Case& c, const LoadflowOptions& o, ProgressOutput* progress) {
    return kept_state().solve(c, o, progress);
}

void clear_loadflow_caches() {
    kept_state().discard();
}

}  // namespace velquin::sim
