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

namespace velquin::sim::loadflow {

// Replaces the magnitudes of v (active nodes not held by a plant or swing)
// by those of the linear network in which loads are constant admittances at
// 1 pu and the held buses sit at their set points: off-nominal ratios and
// charging show in it. Angles are kept. Returns false (v unchanged) when the
// system is singular.
bool estimate_magnitudes(const NetworkModel& m, SparseLu& lu, std::vector<Complex>& v);

}  // namespace velquin::sim::loadflow
