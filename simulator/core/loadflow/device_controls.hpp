// The DC lines and FACTS devices of a network model around a Newton
// solution: their adjustments between solutions (converter taps of LCC
// lines, the voltage-dependent current ratings of VSC converters), the
// flows they carry between areas, their reports and what goes back into
// the case.
#pragma once

#include <string>
#include <vector>

#include "loadflow/area_interchange.hpp"
#include "loadflow/loadflow.hpp"
#include "loadflow/network_model.hpp"
#include "loadflow/newton_solver.hpp"

namespace velquin::sim::loadflow {

// Chooses the LCC lines' control regimes again, moves their converter
// taps (when `dc_taps`) and updates the reactive limits of VSC converters
// for the solved voltages. Returns what changed.
struct DcLineMoves {
    int taps = 0;
    int limits = 0;
    int regimes = 0;  // LCC lines that changed their control regime
};
DcLineMoves adjust_dc_lines(const Case& c, NetworkModel& m, const std::vector<Complex>& v, bool dc_taps);

// Active power of the DC lines and FACTS series elements between their
// buses, for area interchange.
std::vector<TieElementFlow> device_tie_flows(const NetworkModel& m, const std::vector<Complex>& v);

// The devices' operating points at the solved state, and one line each
// for the progress device.
void collect_device_results(const Case& c, const NetworkModel& m, NewtonSolver& solver, LoadflowResult& res,
                            std::vector<std::string>& lines);

// The devices' state derived from the case's solution fields: the regimes
// the stored voltages call for (chosen again between solutions) and the
// VSC converters' reactive limits at the stored voltages.
void take_device_state(NetworkModel& m, const Case& c);

}  // namespace velquin::sim::loadflow
