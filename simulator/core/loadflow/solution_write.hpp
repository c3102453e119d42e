// What a solution writes into the case, gathered completely before anything
// is written, and the one function that writes it. A solution computed now
// and one given again from an earlier solution with the same inputs both
// reach the case through apply_solution, which cannot fail half-way.
#pragma once

#include <vector>

#include "model/case.hpp"

namespace velquin::sim::loadflow {

struct SolutionWrite {
    struct Voltage {
        int element = -1;  // bus, or transformer for a star point
        double vm = 1.0;
        double va_deg = 0.0;
    };
    struct Value {
        int element = -1;
        double value = 0.0;
    };
    struct Ratio {
        int transformer = -1;
        int winding = 0;
        double ratio = 1.0;  // in the units of the winding's CW
    };
    std::vector<Voltage> buses;
    std::vector<Voltage> star_points;
    std::vector<Value> machine_pg;
    std::vector<Value> machine_qg;
    struct Angle {
        int transformer = -1;
        int winding = 0;
        double angle_deg = 0.0;
    };
    struct DcTaps {
        int line = -1;  // two-terminal DC line
        double rectifier = 1.0, inverter = 1.0;
    };
    std::vector<Ratio> ratios;
    std::vector<Angle> angles;               // phase shifters
    std::vector<Value> switched_shunt_mvar;  // initial_mvar
    std::vector<DcTaps> dc_taps;

    // Moved taps, angles, switched shunts and converter taps: network data
    // (solution_fields.hpp), so the case's network is not the one solved.
    bool writes_network_data() const {
        return !ratios.empty() || !angles.empty() || !switched_shunt_mvar.empty() || !dc_taps.empty();
    }
    bool empty() const {
        return buses.empty() && star_points.empty() && machine_pg.empty() && machine_qg.empty() &&
               ratios.empty() && angles.empty() && switched_shunt_mvar.empty() && dc_taps.empty();
    }
};

// Writes the values into `c`, which must have the elements they name.
void apply_solution(const SolutionWrite& w, Case& c) noexcept;

}  // namespace velquin::sim::loadflow
