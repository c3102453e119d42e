// System-base per-unit two-port models of lines and transformer windings,
// with the unit conversions selected by a transformer's CW, CZ and CM codes
// (see the convention at the top of model/transformer.hpp).
#pragma once

#include <array>

#include "model/branch.hpp"
#include "model/transformer.hpp"

namespace velquin::sim::loadflow {

// Nodal admittances of a branch between side a and side b:
// [Ia; Ib] = [yaa yab; yba ybb] [Va; Vb].
struct TwoPort {
    Complex yaa, yab, yba, ybb;
};

// Series impedance below which a line is a zero-impedance tie when the case
// does not set its own threshold.
inline constexpr double kDefaultZeroImpedanceThreshold = 0.0001;

// A line with R = 0 and |X| at or below the threshold ties its buses
// together instead of being an impedance.
bool is_zero_impedance_line(const LineBranch& line, double threshold);

// Series admittance, charging and end shunts of an in-service line.
TwoPort line_two_port(const LineBranch& line);

// Ratio of winding k (0-based) in pu of its bus base voltage.
double winding_ratio_pu(const Transformer& t, int k, double bus_base_kv);
// Inverse of winding_ratio_pu: the value to store in Winding::ratio.
double winding_ratio_in_units(const Transformer& t, int k, double ratio_pu, double bus_base_kv);

// Impedance of winding pair p ([0] 1-2, [1] 2-3, [2] 3-1) in system-base pu.
Complex pair_impedance_pu(const Transformer& t, int p, double system_base_mva);
// Magnetising admittance in system-base pu.
Complex magnetizing_admittance_pu(const Transformer& t, double system_base_mva);
// Star-branch impedances of a three-winding transformer, from the pair
// impedances: Z1 = (Z12 + Z31 - Z23) / 2 and so on.
std::array<Complex, 3> star_impedances_pu(const Transformer& t, double system_base_mva);

// A winding with ratio t1 e^{j angle} on side a and plain ratio t2 on side
// b of the series admittance y (no magnetising branch).
TwoPort winding_two_port(Complex y, double t1, double angle_rad, double t2);

}  // namespace velquin::sim::loadflow
