// What a solution reads of the case besides the network data, as bytes: the
// key under which its outcome is remembered (result_memo.hpp).
//
// Every solution reads its options and the network data (kept apart, see
// network_key.hpp). Of the solution fields (solution_fields.hpp):
// - a start from the case's voltages (and every start that keeps part of
//   them) reads them all;
// - a flat start reads only what the model derives from them and uses:
//   the specified injections (machines at load buses and generator-bus
//   plants), the plants' set points, the starting state of each plant at
//   its reactive limits, the stored reactive output of plants sharing a
//   remote regulated bus, the stored voltages of the swing buses, the DC
//   lines' starting regimes and the VSC converters' limits (from their
//   buses' stored voltages) and, with area interchange, the outputs of the
//   machines at the areas' slack buses (written back moved). A
//   flat solution that fails reads all of them after all (it compares its
//   last iterate with the case's voltages); the memo records that.
// The property tests in tests/cpp/loadflow perturb every solution field a
// flat start is said not to read and check that nothing changes.
#pragma once

#include <string>

#include "loadflow/loadflow.hpp"
#include "loadflow/network_model.hpp"
#include "loadflow/newton_solver.hpp"

namespace velquin::sim::loadflow {

std::string solution_inputs(const LoadflowOptions& o, const Case& c, const NetworkModel& m,
                            const NewtonSettings& settings);

// True when a solution with these options starts without reading the
// case's voltages.
bool is_flat_start(const LoadflowOptions& o);

}  // namespace velquin::sim::loadflow
