// Adjustment of switched shunts between Newton solutions, by control mode
// (MODSW): 1 steps the blocks to hold a voltage band; 2 (continuous) holds
// its admittance while its voltage is in band and, once outside, regulates
// the band's edge within the Newton solution (a regulator with susceptance
// limits), or, where machines hold that voltage, follows it with an
// estimated susceptance; 3, 4 and 6 step the blocks to keep the reactive
// output of a plant, a VSC converter or a FACTS shunt element within a band
// VSWLO..VSWHI given in pu of that device's reactive range (output divided
// by upper less lower limit); 5 does the same for another switched shunt's
// admittance.
#pragma once

#include <vector>

#include "loadflow/loadflow.hpp"
#include "loadflow/network_model.hpp"
#include "loadflow/newton_solver.hpp"

namespace velquin::sim::loadflow {

// Moves the switched shunts for the solved voltages v; the caller
// refreshes the admittance matrix. Returns how many moved.
int adjust_switched_shunts(NetworkModel& m, NewtonSolver& solver, const std::vector<Complex>& v,
                           ShuntAdjustment mode);

// Present susceptance (pu) of the shunt a control stands for: its stepped
// value, or what its regulator gives at the solved state.
double present_susceptance(const NetworkModel& m, const ShuntControl& sc,
                           const std::vector<NewtonSolver::PlantOutput>& outputs,
                           const std::vector<Complex>& v);

}  // namespace velquin::sim::loadflow
