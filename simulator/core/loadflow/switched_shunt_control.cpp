#include "loadflow/switched_shunt_control.hpp"

#include <algorithm>
#include <cmath>

#include "loadflow/hunting_guard.hpp"

namespace velquin::sim::loadflow {

namespace {

bool regulating(const PlantModel& pm) {
    return pm.qmax != pm.qmin;
}

// A device's reactive output (or a shunt's admittance) in pu of its range
// QT - QB: 0 at no output.
double position_in_range(double value, double low, double high) {
    return high > low ? value / (high - low) : 0.0;
}

double controlled_position(const NetworkModel& m, const ShuntControl& sc,
                           const std::vector<NewtonSolver::PlantOutput>& outputs,
                           const std::vector<Complex>& v) {
    if (sc.controlled_shunt >= 0) {
        const ShuntControl& other = m.shunts[static_cast<std::size_t>(sc.controlled_shunt)];
        return position_in_range(present_susceptance(m, other, outputs, v), other.bmin, other.bmax);
    }
    const auto p = static_cast<std::size_t>(sc.controlled_plant);
    const PlantModel& pm = m.plants[p];
    const double vm = std::abs(v[static_cast<std::size_t>(pm.node)]);
    return position_in_range(outputs[p].q, pm.limit_q(false, vm), pm.limit_q(true, vm));
}

// The next block level up (more capacitive) or down from b.
double next_level(const ShuntControl& sc, bool up) {
    if (up) {
        auto it = std::upper_bound(sc.levels.begin(), sc.levels.end(), sc.b + 1e-9);
        return it != sc.levels.end() ? *it : sc.b;
    }
    auto it = std::lower_bound(sc.levels.begin(), sc.levels.end(), sc.b - 1e-9);
    return it != sc.levels.begin() ? *(it - 1) : sc.b;
}

}  // namespace

double present_susceptance(const NetworkModel& m, const ShuntControl& sc,
                           const std::vector<NewtonSolver::PlantOutput>& outputs,
                           const std::vector<Complex>& v) {
    if (sc.plant < 0 || !regulating(m.plants[static_cast<std::size_t>(sc.plant)])) return sc.b;
    const double vm = std::abs(v[static_cast<std::size_t>(sc.node)]);
    return outputs[static_cast<std::size_t>(sc.plant)].q / (vm * vm);
}

int adjust_switched_shunts(NetworkModel& m, NewtonSolver& solver, const std::vector<Complex>& v,
                           ShuntAdjustment mode) {
    std::vector<int> controllers(static_cast<std::size_t>(m.node_count), 0);
    for (const ShuntControl& sc : m.shunts)
        if (sc.mode <= 2) ++controllers[static_cast<std::size_t>(sc.regulated_node)];
    std::vector<NewtonSolver::PlantOutput> outputs;
    int moved = 0;
    for (ShuntControl& sc : m.shunts) {
        if (mode == ShuntAdjustment::ContinuousOnly && !sc.continuous) continue;
        const auto r = static_cast<std::size_t>(sc.regulated_node);
        const auto i = static_cast<std::size_t>(sc.node);
        if (!m.node_active[i]) continue;
        if (sc.plant >= 0) {
            // A continuous shunt regulating in the solution: once its voltage
            // leaves the band it holds the band's edge.
            PlantModel& pm = m.plants[static_cast<std::size_t>(sc.plant)];
            const double vr = std::abs(v[r]);
            if (regulating(pm) || (vr >= sc.vlo && vr <= sc.vhi) || sc.bmax <= sc.bmin) continue;
            pm.qmax = sc.bmax;
            pm.qmin = sc.bmin;
            solver.regulate(sc.plant, vr < sc.vlo ? sc.vlo : sc.vhi);
            sc.moved = true;
            ++moved;
            continue;
        }
        double next = sc.b;
        if (sc.mode <= 2) {
            if (solver.voltage_held(sc.regulated_node)) continue;
            const double vr = std::abs(v[r]);
            if (vr >= sc.vlo && vr <= sc.vhi) continue;
            if (sc.continuous) {
                // Where machines hold the voltage but may have let it go (at
                // a limit): the susceptance that brings it back, estimated
                // from the node's stiffness.
                double stiffness = 0.0;
                for (int e = m.y_start[i]; e < m.y_start[i + 1]; ++e)
                    if (m.y_col[static_cast<std::size_t>(e)] != sc.node)
                        stiffness += std::abs(m.y_val[static_cast<std::size_t>(e)]);
                const double target = vr < sc.vlo ? sc.vlo : sc.vhi;
                next = std::clamp(sc.b + stiffness * (target - vr) / vr / controllers[r], sc.bmin, sc.bmax);
            } else {
                next = next_level(sc, vr < sc.vlo);
            }
        } else {
            if (outputs.empty()) outputs = solver.plant_outputs(true);
            const double position = controlled_position(m, sc, outputs, v);
            if (position >= sc.vlo && position <= sc.vhi) continue;
            // The device is high in its range: more capacitance relieves it.
            next = next_level(sc, position > sc.vhi);
        }
        if (std::fabs(next - sc.b) < 1e-9) continue;
        if (!accept_direction(sc.last_direction, sc.locked, direction_of(next - sc.b))) continue;
        m.b_switched[i] += next - sc.b;
        sc.b = next;
        sc.moved = true;
        ++moved;
    }
    return moved;
}

}  // namespace velquin::sim::loadflow
