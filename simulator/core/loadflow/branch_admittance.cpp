#include "loadflow/branch_admittance.hpp"

#include <cmath>

namespace velquin::sim::loadflow {

bool is_zero_impedance_line(const LineBranch& line, double threshold) {
    return line.r == 0.0 && std::fabs(line.x) <= threshold;
}

TwoPort line_two_port(const LineBranch& line) {
    const Complex y = 1.0 / Complex(line.r, line.x);
    const Complex half_charging(0.0, line.b / 2.0);
    return TwoPort{y + half_charging + line.from_shunt, -y, -y, y + half_charging + line.to_shunt};
}

namespace {

double nominal_kv(const Winding& w, double bus_base_kv) {
    return w.nominal_kv > 0.0 ? w.nominal_kv : bus_base_kv;
}

// Factor that turns the stored WINDV into a ratio in pu of the bus base.
double ratio_scale(const Transformer& t, int k, double bus_base_kv) {
    const Winding& w = t.windings[static_cast<std::size_t>(k)];
    switch (t.winding_code) {
        case 2:
            // kV; a bus without a base voltage leaves the number as a ratio.
            return bus_base_kv > 0.0 ? 1.0 / bus_base_kv : 1.0;
        case 3:
            return bus_base_kv > 0.0 ? nominal_kv(w, bus_base_kv) / bus_base_kv : 1.0;
        default:
            return 1.0;
    }
}

}  // namespace

double winding_ratio_pu(const Transformer& t, int k, double bus_base_kv) {
    return t.windings[static_cast<std::size_t>(k)].ratio * ratio_scale(t, k, bus_base_kv);
}

double winding_ratio_in_units(const Transformer& t, int k, double ratio_pu, double bus_base_kv) {
    return ratio_pu / ratio_scale(t, k, bus_base_kv);
}

Complex pair_impedance_pu(const Transformer& t, int p, double system_base_mva) {
    const WindingPairImpedance& z = t.impedance[static_cast<std::size_t>(p)];
    const double winding_base = z.sbase > 0.0 ? z.sbase : system_base_mva;
    switch (t.impedance_code) {
        case 2:
            return Complex(z.r, z.x) * (system_base_mva / winding_base);
        case 3: {
            // R is the load loss in W at rated current; X is |Z| in pu of the
            // winding base.
            const double r = z.r / (1.0e6 * winding_base);
            const double x2 = z.x * z.x - r * r;
            const double x = x2 > 0.0 ? std::sqrt(x2) : 0.0;
            return Complex(r, z.x < 0.0 ? -x : x) * (system_base_mva / winding_base);
        }
        default:
            return Complex(z.r, z.x);
    }
}

Complex magnetizing_admittance_pu(const Transformer& t, double system_base_mva) {
    if (t.magnetizing_code != 2) return Complex(t.mag1, t.mag2);
    // MAG1: no-load loss in W; MAG2: exciting current in pu of the 1-2
    // winding base. The susceptance is inductive.
    const double winding_base = t.impedance[0].sbase > 0.0 ? t.impedance[0].sbase : system_base_mva;
    const double g = t.mag1 / (1.0e6 * system_base_mva);
    const double y = std::fabs(t.mag2) * winding_base / system_base_mva;
    const double b2 = y * y - g * g;
    return Complex(g, b2 > 0.0 ? -std::sqrt(b2) : 0.0);
}

std::array<Complex, 3> star_impedances_pu(const Transformer& t, double system_base_mva) {
    const Complex z12 = pair_impedance_pu(t, 0, system_base_mva);
    const Complex z23 = pair_impedance_pu(t, 1, system_base_mva);
    const Complex z31 = pair_impedance_pu(t, 2, system_base_mva);
    return {(z12 + z31 - z23) / 2.0, (z12 + z23 - z31) / 2.0, (z23 + z31 - z12) / 2.0};
}

TwoPort winding_two_port(Complex y, double t1, double angle_rad, double t2) {
    const Complex a = std::polar(t1, angle_rad);
    return TwoPort{y / (t1 * t1), -y / (std::conj(a) * t2), -y / (a * t2), y / (t2 * t2)};
}

}  // namespace velquin::sim::loadflow
