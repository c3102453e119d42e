#include "loadflow/dc_estimate.hpp"

#include <cmath>

namespace velquin::sim::loadflow {

bool estimate_angles(const NetworkModel& m, SparseLu& lu, std::vector<Complex>& v) {
    const std::size_t n = static_cast<std::size_t>(m.node_count);
    std::vector<int> index(n, -1);
    int dim = 0;
    for (std::size_t i = 0; i < n; ++i)
        if (m.node_active[i] && !m.node_swing[i]) index[i] = dim++;
    if (dim == 0) return true;
    // Susceptance of each admittance entry from the branch series admittances.
    std::vector<double> b(m.y_col.size(), 0.0);
    std::vector<double> rhs(static_cast<std::size_t>(dim), 0.0);
    for (const BranchStamp& s : m.stamps) {
        double bs = -s.series.imag();
        if (!(std::fabs(bs) > 1e-12)) bs = std::abs(s.series);
        b[static_cast<std::size_t>(s.pab)] -= bs;
        b[static_cast<std::size_t>(s.pba)] -= bs;
        b[static_cast<std::size_t>(s.paa)] += bs;
        b[static_cast<std::size_t>(s.pbb)] += bs;
        // A phase shift drives flow from side a as if side a lagged.
        const double shifted = bs * s.shift_rad;
        if (index[static_cast<std::size_t>(s.a)] >= 0) rhs[static_cast<std::size_t>(index[static_cast<std::size_t>(s.a)])] += shifted;
        if (index[static_cast<std::size_t>(s.b)] >= 0) rhs[static_cast<std::size_t>(index[static_cast<std::size_t>(s.b)])] -= shifted;
    }
    std::vector<int> start(1, 0), rows;
    std::vector<double> values;
    rows.reserve(m.y_col.size());
    values.reserve(m.y_col.size());
    for (std::size_t i = 0; i < n; ++i) {
        if (index[i] < 0) continue;
        for (int e = m.y_start[i]; e < m.y_start[i + 1]; ++e) {
            const auto k = static_cast<std::size_t>(m.y_col[static_cast<std::size_t>(e)]);
            if (index[k] < 0) continue;
            rows.push_back(index[k]);
            values.push_back(b[static_cast<std::size_t>(e)]);
        }
        start.push_back(static_cast<int>(rows.size()));
        // Injections at flat voltage: generation and load, shunt conductance.
        const double p = m.s_base[i].real() - m.i_load[i].real() - m.y_shunt[i].real();
        rhs[static_cast<std::size_t>(index[i])] += p;
    }
    for (const PlantModel& pm : m.plants)
        if (pm.swing && index[static_cast<std::size_t>(pm.node)] >= 0)
            rhs[static_cast<std::size_t>(index[static_cast<std::size_t>(pm.node)])] += pm.p;
    lu.set_pattern(start, rows);
    if (!lu.factor(values, false)) return false;
    lu.solve(rhs);
    for (std::size_t i = 0; i < n; ++i) {
        if (!m.node_active[i]) continue;
        const int swing = m.island_swing[static_cast<std::size_t>(m.node_island[i])];
        const double ref = std::arg(v[static_cast<std::size_t>(swing)]);
        const double angle = index[i] >= 0 ? ref + rhs[static_cast<std::size_t>(index[i])] : ref;
        if (!std::isfinite(angle)) return false;
        v[i] = std::polar(std::abs(v[i]), angle);
    }
    return true;
}

}  // namespace velquin::sim::loadflow
