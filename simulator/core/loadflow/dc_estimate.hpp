// Voltage angles from a DC load flow: the lossless, flat-magnitude
// approximation of the network, one linear solve. A Newton solution that
// starts from these angles converges on large networks where a flat angle
// profile does not.
#pragma once

#include <vector>

#include "loadflow/network_model.hpp"
#include "loadflow/sparse_lu.hpp"

namespace velquin::sim::loadflow {

// Replaces the angles of v (active nodes) by DC estimates, keeping
// magnitudes and each island's swing angle. Returns false (v unchanged)
// when the DC matrix is singular.
bool estimate_angles(const NetworkModel& m, SparseLu& lu, std::vector<Complex>& v);

}  // namespace velquin::sim::loadflow
