// What the load flow keeps between solutions, and the one rule for reusing
// it: everything kept was computed from inputs that are compared exactly
// with the case at every solution (network_key.hpp, solution_inputs.hpp).
// - The network model, with its bus index, while the network data are the
//   same; a model whose controls a solution moved is rebuilt. The
//   network data are compared unless the caller knows that nothing but the
//   last solution touched the case and that solution wrote no network data.
// - The Jacobian's layout (one per model), symbolic analyses by pattern
//   and ordering inputs, and pivots chosen from canonical values that are
//   a function of the network (sparse_lu.hpp); pivots chosen from a
//   solution's own matrix only within that solution.
// - Outcomes of earlier solutions of the same network, by their inputs
//   (result_memo.hpp).
// Each solution therefore gives, bit for bit, what the first solution of a
// fresh session gives for the same case and options. An exception from a
// solution discards everything kept, and the case is left as it was.
#pragma once

#include "api/progress_output.hpp"
#include "loadflow/bus_index.hpp"
#include "loadflow/loadflow.hpp"
#include "loadflow/network_key.hpp"
#include "loadflow/network_model.hpp"
#include "loadflow/result_memo.hpp"
#include "loadflow/sparse_lu.hpp"

namespace velquin::sim::loadflow {

class KeptState {
public:
    // `untouched`: see solve_loadflow.
    LoadflowResult solve(Case& c, const LoadflowOptions& o, ProgressOutput* progress, bool untouched = false);
    void discard();

private:
    // Takes the case's state into the kept model, or builds the model when
    // the network changed. Counts the builds in `work`.
    NetworkModel& model_for(const Case& c, const BuildSettings& settings, bool untouched, LoadflowWork& work);
    LoadflowResult deliver(const SolutionOutcome& outcome, Case& c, ProgressOutput* progress);

    NetworkKey network_key_;
    BusIndex bus_index_;
    NetworkModel model_;
    bool model_valid_ = false;
    BuildSettings settings_;
    // The last solution wrote network data (moved controls): the key
    // no longer describes the case.
    bool network_written_ = false;
    SparseLu jacobian_;
    SparseLu dc_;
    ResultMemo memo_;
};

}  // namespace velquin::sim::loadflow
