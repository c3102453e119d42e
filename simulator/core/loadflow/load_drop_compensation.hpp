// Load-drop compensation of a voltage-controlling winding: instead of its
// controlled bus's voltage the winding holds |V - Zc I|, the estimated
// voltage at a point Zc = CR + j CX (pu, system base) downstream, I being
// the current the transformer delivers towards the controlled bus.
#pragma once

#include <vector>

#include "loadflow/network_model.hpp"

namespace velquin::sim::loadflow {

double compensated_voltage(const NetworkModel& m, const TapControl& tc, const std::vector<Complex>& v);

}  // namespace velquin::sim::loadflow
