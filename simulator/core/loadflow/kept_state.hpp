// What the load flow keeps between solutions, and the one rule for reusing
// it: everything kept was computed from inputs that are compared exactly
// with the case at every solution (network_key.hpp, solution_inputs.hpp).
// - The network model, with its bus index, while the network data are the
//   same; a model whose taps or shunts a solution moved is rebuilt.
// - Symbolic analyses of the sparse matrices, by pattern and ordering
//   inputs (sparse_lu.hpp); numeric factors only within one solution.
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
    LoadflowResult solve(Case& c, const LoadflowOptions& o, ProgressOutput* progress);
    void discard();

private:
    // Takes the case's state into the kept model, or builds the model when
    // the network changed. Counts the builds in `work`.
    NetworkModel& model_for(const Case& c, const BuildSettings& settings, LoadflowWork& work);

    NetworkKey network_key_;
    BusIndex bus_index_;
    NetworkModel model_;
    bool model_valid_ = false;
    SparseLu jacobian_;
    SparseLu dc_;
    ResultMemo memo_;
};

}  // namespace velquin::sim::loadflow
