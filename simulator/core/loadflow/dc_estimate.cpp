#include "loadflow/dc_estimate.hpp"

#include <cmath>

#include "loadflow/device_injections.hpp"

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
        if (index[static_cast<std::size_t>(s.a)] >= 0)
            rhs[static_cast<std::size_t>(index[static_cast<std::size_t>(s.a)])] += shifted;
        if (index[static_cast<std::size_t>(s.b)] >= 0)
            rhs[static_cast<std::size_t>(index[static_cast<std::size_t>(s.b)])] -= shifted;
    }
    // DC line converters and FACTS series elements at 1 pu.
    const std::vector<Complex> devices = flat_device_injections(m);
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
        const double p = m.s_base[i].real() - m.i_load[i].real() - m.y_shunt[i].real() + devices[i].real();
        rhs[static_cast<std::size_t>(index[i])] += p;
    }
    for (const PlantModel& pm : m.plants)
        if (pm.swing && index[static_cast<std::size_t>(pm.node)] >= 0)
            rhs[static_cast<std::size_t>(index[static_cast<std::size_t>(pm.node)])] += pm.p;
    lu.set_pattern(start, rows);
    if (!lu.factor_exactly(values)) return false;
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

namespace velquin::sim::loadflow {

bool estimate_magnitudes(const NetworkModel& m, SparseLu& lu, std::vector<Complex>& v) {
    const std::size_t n = static_cast<std::size_t>(m.node_count);
    std::vector<Complex> held(n, Complex{});
    std::vector<char> is_held(n, 0);
    for (const PlantModel& pm : m.plants) {
        const auto r = static_cast<std::size_t>(pm.swing ? pm.node : pm.regulated_node);
        if (!m.node_active[r] || (!pm.swing && pm.qmax - pm.qmin <= 1e-9)) continue;
        if (!is_held[r]) held[r] = std::polar(pm.vs, std::arg(v[r]));
        is_held[r] = 1;
    }
    std::vector<int> index(n, -1);
    int unknowns = 0;
    for (std::size_t i = 0; i < n; ++i)
        if (m.node_active[i] && !is_held[i]) index[i] = unknowns++;
    if (unknowns == 0) return true;
    // Real form of the complex system, two rows per node: [G -B; B G].
    std::vector<int> start(1, 0), cols;
    std::vector<double> values, rhs(2 * static_cast<std::size_t>(unknowns), 0.0);
    for (std::size_t i = 0; i < n; ++i) {
        if (index[i] < 0) continue;
        const Complex load = std::conj(-m.s_base[i] + m.i_load[i]);
        Complex driven{};
        for (int part = 0; part < 2; ++part) {
            for (int e = m.y_start[i]; e < m.y_start[i + 1]; ++e) {
                const auto k = static_cast<std::size_t>(m.y_col[static_cast<std::size_t>(e)]);
                Complex y = m.y_val[static_cast<std::size_t>(e)];
                if (k == i) y += load;
                if (index[k] < 0) {
                    if (part == 0 && is_held[k]) driven += y * held[k];
                    continue;
                }
                const int c = 2 * index[k];
                if (part == 0) {
                    cols.insert(cols.end(), {c, c + 1});
                    values.insert(values.end(), {y.real(), -y.imag()});
                } else {
                    cols.insert(cols.end(), {c, c + 1});
                    values.insert(values.end(), {y.imag(), y.real()});
                }
            }
            start.push_back(static_cast<int>(cols.size()));
        }
        rhs[2 * static_cast<std::size_t>(index[i])] = -driven.real();
        rhs[2 * static_cast<std::size_t>(index[i]) + 1] = -driven.imag();
    }
    lu.set_pattern(start, cols);
    if (!lu.factor_exactly(values)) return false;
    lu.solve_transposed(rhs);
    for (std::size_t i = 0; i < n; ++i) {
        if (index[i] < 0) continue;
        const double vm = std::hypot(rhs[2 * static_cast<std::size_t>(index[i])],
                                     rhs[2 * static_cast<std::size_t>(index[i]) + 1]);
        if (!std::isfinite(vm) || vm < 0.2 || vm > 5.0) return false;
    }
    for (std::size_t i = 0; i < n; ++i) {
        if (index[i] < 0) continue;
        const double vm = std::hypot(rhs[2 * static_cast<std::size_t>(index[i])],
                                     rhs[2 * static_cast<std::size_t>(index[i]) + 1]);
        v[i] = std::polar(vm, std::arg(v[i]));
    }
    return true;
}

}  // namespace velquin::sim::loadflow
