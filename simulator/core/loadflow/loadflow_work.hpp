// The work one load-flow solution did.
#pragma once

namespace velquin::sim {

// The work a solution did, so that where time goes shows without a
// profiler.
struct LoadflowWork {
    int model_builds = 0;         // network models built (0: the kept model took the new state)
    int symbolic_analyses = 0;    // orderings with symbolic factorisations
    int full_factorisations = 0;  // numeric factorisations choosing their pivots
    int refactorisations = 0;     // numeric factorisations with the pivots of an earlier one
    int memo_hits = 0;            // 1: the outcome of an earlier solution with the same inputs
};

}  // namespace velquin::sim
