// VSC DC lines: two voltage-source converters joined by a DC cable. One
// converter holds the DC voltage (TYPE 1, DCSET kV), the other its active
// power (TYPE 2, DCSET MW injected into its AC bus, negative when it draws
// from the AC side). Each converter loses ALOSS + BLOSS Idc kW (Idc in A),
// at least MINLOSS. On the AC side each holds a voltage (MODE 1, ACSET pu,
// at its own bus or VSREG, shared by RMPCT) within its reactive limits, or
// a power factor (MODE 2: Q = P tan(acos |ACSET|), of the opposite sign
// for a negative ACSET). The reactive limits are MAXQ/MINQ narrowed by the
// ratings: |S| <= SMAX MVA and |S| <= sqrt(3) V IMAX.
#pragma once

#include <array>
#include <string>
#include <utility>

#include "model/case.hpp"

namespace velquin::sim::loadflow {

// The DC side at the set points: what each converter injects into its AC
// bus (MW), the DC current (kA, from the power-controlling converter
// towards the other) and each converter's loss (MW).
struct VscDcSolution {
    std::array<double, 2> p_mw{};
    std::array<double, 2> loss_mw{};
    std::array<double, 2> dc_kv{};
    double id = 0.0;
    int voltage_end = 0;  // the converter holding the DC voltage
};

// A VSC line in the network model.
struct VscLineModel {
    int line = -1;  // index into Case::vsc_dc_lines
    VscDcSolution dc;
    std::array<int, 2> bus{-1, -1};  // case bus indices
    std::array<int, 2> node{-1, -1};
    std::array<int, 2> plant{-1, -1};  // regulators of the converters holding a voltage
    std::array<double, 2> fixed_q{};   // Mvar of the others (power factor)
};

// Solves the DC side of a VSC line; false with `problem` set when its
// converters' types or set points leave it without a solution.
bool solve_vsc_dc(const VscDcLine& line, VscDcSolution& out, std::string& problem);

// The reactive limits (Mvar) of a converter injecting p_mw at AC voltage
// vm (pu) of a bus whose base is base_kv.
std::pair<double, double> vsc_reactive_limits(const VscConverter& c, double p_mw, double vm, double base_kv);

// The reactive power of a converter in power-factor control (MODE 2), Mvar.
double vsc_power_factor_q(const VscConverter& c, double p_mw);

}  // namespace velquin::sim::loadflow
