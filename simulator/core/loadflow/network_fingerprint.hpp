// A 64-bit fingerprint of everything in a case that the network model is
// built from, apart from what solutions write into it (bus voltages,
// star-point voltages, machine outputs), which the model takes afresh on
// every solution. Equal fingerprints let a solution reuse the previous model.
#pragma once

#include <cstdint>

#include "loadflow/network_model.hpp"

namespace velquin::sim::loadflow {

std::uint64_t network_fingerprint(const Case& c, const BuildSettings& settings);

// Takes the solution state of `c` into a model built from a case of the
// same fingerprint: starting voltages, machine outputs, set points taken
// from bus voltages, and the per-solution state of the controls.
void refresh_state(NetworkModel& m, const Case& c);

}  // namespace velquin::sim::loadflow
