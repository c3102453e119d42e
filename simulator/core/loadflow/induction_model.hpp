// Steady state of an induction machine at its bus: the equivalent circuit
// (stator RA + jXA, magnetising jXM, one or two rotor cages R/s + jX)
// at the slip that meets the machine's power set point.
#pragma once

#include "loadflow/network_model.hpp"

namespace velquin::sim::loadflow {

struct InductionState {
    Complex consumption;  // system-base pu, positive P is motoring
    double slip = 0.0;
    bool stalled = false;  // the set point exceeds the pull-out power
};

InductionState induction_state(const InductionModel& m, double vm);

}  // namespace velquin::sim::loadflow
