// Impedance correction tables of transformer windings: a factor that scales
// a winding's impedance as a function of its off-nominal ratio or of its
// phase-shift angle, interpolated linearly between the table's points.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "model/case.hpp"

namespace velquin::sim::loadflow {

// One winding's table, ready to be looked up.
struct CorrectionCurve {
    bool by_angle = false;  // T are angles in degrees, else ratios in pu
    std::vector<double> t;  // ascending
    std::vector<Complex> factor;
    // The factor at x, linear between points, the end value beyond them.
    Complex at(double x) const;
};

// The curve winding k of transformer t refers to, or nullopt-like empty
// curve (no points) when it has none. A table the case does not hold, or
// one with fewer than two usable points or a zero factor, gives an empty
// curve and a line in `notes`. Angle tables are those of windings that
// control active power (COD 3 or 5); without such a control a table whose
// points lie outside 0.5 to 1.5 is taken as an angle table.
CorrectionCurve winding_correction_curve(const Case& c, const Transformer& t, int k,
                                         std::vector<std::string>& notes);

// Everything needed to recompute the series admittances of a transformer
// whose windings have correction curves when a ratio or angle moves.
struct CorrectedTransformer {
    int transformer = -1;
    bool three_winding = false;
    bool pair_correction = false;     // ZCOD 1: factors scale the bus-to-bus impedances
    std::array<Complex, 3> pair_z{};  // nominal pair impedances, system-base pu
    std::array<CorrectionCurve, 3> curves;
    // Converts a ratio in pu of the bus base into the unit of the tables
    // (pu of the winding's nominal voltage for CW 2 and 3).
    std::array<double, 3> table_ratio_scale{1.0, 1.0, 1.0};
    std::array<int, 3> stamp{-1, -1, -1};  // the windings' branch stamps
    bool applies() const { return !curves[0].t.empty() || !curves[1].t.empty() || !curves[2].t.empty(); }
};

// The correction data of transformer t (bus base voltages kv of its
// windings); applies() is false when none of its windings has a usable
// table.
CorrectedTransformer transformer_correction(const Case& c, const Transformer& t, double base_mva,
                                            const std::array<double, 3>& kv, std::vector<std::string>& notes);

// Series impedances, system-base pu, at the windings' ratios (pu of the bus
// base) and angles (degrees): [0] the 1-2 impedance of a two-winding
// transformer, or the three star impedances of a three-winding one. The
// caller substitutes a zero impedance.
std::array<Complex, 3> corrected_series_impedances(const CorrectedTransformer& ct,
                                                   const std::array<double, 3>& ratio_pu,
                                                   const std::array<double, 3>& angle_deg);

}  // namespace velquin::sim::loadflow
