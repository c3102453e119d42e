#include "operations/transformer_impedance.hpp"

#include <algorithm>
#include <cmath>

namespace velquin::sim {

Complex pair_impedance_on_system_base(const Transformer& t, int pair, double system_mva) {
    const WindingPairImpedance& z = t.impedance[static_cast<std::size_t>(pair)];
    if (t.impedance_code == 1 || z.sbase <= 0.0) return {z.r, z.x};
    double r = z.r;
    double x = z.x;
    if (t.impedance_code == 3) {
        r = z.r / (1.0e6 * z.sbase);
        x = std::sqrt(std::max(z.x * z.x - r * r, 0.0));
    }
    const double scale = system_mva / z.sbase;
    return {r * scale, x * scale};
}

Complex star_branch_impedance(const Transformer& t, int winding, double system_mva) {
    const Complex z12 = pair_impedance_on_system_base(t, 0, system_mva);
    const Complex z23 = pair_impedance_on_system_base(t, 1, system_mva);
    const Complex z31 = pair_impedance_on_system_base(t, 2, system_mva);
    switch (winding) {
        case 0:
            return (z12 + z31 - z23) / 2.0;
        case 1:
            return (z12 + z23 - z31) / 2.0;
        default:
            return (z23 + z31 - z12) / 2.0;
    }
}

}  // namespace velquin::sim
