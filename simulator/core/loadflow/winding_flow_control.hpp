// Transformer windings that hold the flow through them within a band:
// phase shifters (COD 3) move their angle to hold the active power, and
// windings with COD 2 move their ratio to hold the reactive power. The flow
// is the one entering the winding at its own bus. Between Newton
// solutions each winding outside its band moves towards the band's middle
// by the change its sensitivity asks for, in whole steps of its range.
#pragma once

#include <cmath>
#include <vector>

#include "model/types.hpp"

namespace velquin::sim::loadflow {

struct NetworkModel;

struct FlowControl {
    int transformer = -1;
    int winding = 0;  // 0-based
    int stamp = -1;
    bool active_power = true;      // COD 3: the angle moves; COD 2: the ratio
    double low = 0.0, high = 0.0;  // band, pu of the system base
    double min = 0.0, max = 0.0;   // angle limits (radians) or ratio limits (pu of the bus base)
    double step = 0.0;             // one position of the range; 0: continuous
    double setting = 0.0;          // present angle (radians) or ratio (pu)
    double bus_base_kv = 0.0;
    // The previous solved point, for a sensitivity that includes the
    // network's response.
    double last_setting = NAN, last_flow = NAN;
    int last_direction = 0;
    bool locked = false;  // stopped after reversing direction
    bool moved = false;
};

// Flow entering the winding at its own bus (active or reactive, pu).
double controlled_flow(const NetworkModel& m, const FlowControl& fc, const std::vector<Complex>& v);

// Moves the windings outside their bands: angles when `angles`, ratios
// when `ratios` (one step each round when `one_step`). Re-stamps them;
// the caller refreshes the admittance matrix. Returns how many moved.
int adjust_flow_controls(NetworkModel& m, const std::vector<Complex>& v, bool angles, bool ratios,
                         bool one_step);

// Forgets what earlier solutions did (a kept model serving a new one).
void reset_flow_controls(std::vector<FlowControl>& controls);

}  // namespace velquin::sim::loadflow
