// Adjustment of voltage-controlling transformer taps and switched shunts
// between Newton solutions: each device whose controlled voltage lies
// outside its band moves towards it, then the network is solved again.
#pragma once

#include <string>
#include <vector>

#include "loadflow/loadflow.hpp"
#include "loadflow/network_model.hpp"
#include "loadflow/newton_solver.hpp"

namespace velquin::sim::loadflow {

struct AdjustmentCounts {
    int taps = 0;
    int shunts = 0;
    int flow_windings = 0;     // phase shifters and windings holding reactive power
    int areas = 0;             // area slack machines moved
    int dc_taps = 0;           // converter transformer taps of DC lines
    int converter_limits = 0;  // VSC converters' reactive limits updated
    int dc_regimes = 0;        // LCC lines that changed their control regime
    int total() const {
        return taps + shunts + flow_windings + areas + dc_taps + converter_limits + dc_regimes;
    }
};

// "2 tap(s) and 1 switched shunt(s) moved", with the other kinds when they moved.
std::string describe(const AdjustmentCounts& moved);

// Moves the devices for the solved voltages v and refreshes the admittance
// matrix. Returns how many devices moved.
AdjustmentCounts adjust_controls(NetworkModel& m, NewtonSolver& solver, const std::vector<Complex>& v,
                                 TapAdjustment taps, ShuntAdjustment shunts, bool phase_shift);

}  // namespace velquin::sim::loadflow
