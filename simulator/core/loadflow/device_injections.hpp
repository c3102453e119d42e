// Power that devices inject at their buses as functions of the voltages:
// the converters of two-terminal LCC DC lines (of both AC voltage
// magnitudes) and the series element of FACTS devices that schedule a
// flow (of both voltages). The Newton solution adds them to the scheduled
// injections and their derivatives to the Jacobian.
#pragma once

#include <vector>

#include "model/types.hpp"

namespace velquin::sim::loadflow {

struct NetworkModel;

struct DeviceInjections {
    std::vector<Complex> s;  // per node, pu, into the network
    // dS(row) / d|V(col)| and dS(row) / d angle(col).
    struct Derivative {
        int row = -1, col = -1;
        Complex d_vm, d_va;
    };
    std::vector<Derivative> derivatives;
    bool any = false;  // the model has such devices
};

// Fills `out` for node voltages v (derivatives when asked). With
// `normal_regimes` every LCC line is taken in its normal regime with its
// own order, whatever regime the stored state chose: a function of the
// network data alone (for the Jacobian's canonical matrix).
void evaluate_device_injections(const NetworkModel& m, const std::vector<Complex>& v, bool derivatives,
                                DeviceInjections& out, bool normal_regimes = false);

// The same at 1 pu everywhere, for the DC estimate of the angles.
std::vector<Complex> flat_device_injections(const NetworkModel& m);

}  // namespace velquin::sim::loadflow
