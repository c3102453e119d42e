#include "loadflow/adjustments.hpp"

#include <algorithm>
#include <cmath>

namespace velquin::sim::loadflow {

namespace {

// Ratio step used when a winding gives no usable number of positions.
constexpr double kDefaultTapStep = 0.00625;

int direction_of(double x) {
    return x > 0.0 ? 1 : (x < 0.0 ? -1 : 0);
}

// Records a move; a device that reverses direction within one solution is
// hunting around its band and stays where it is from then on.
bool accept_direction(int& last, bool& locked, int direction) {
    if (locked) return false;
    if (last != 0 && direction != last) {
        locked = true;
        return false;
    }
    last = direction;
    return true;
}

int adjust_taps(NetworkModel& m, const NewtonSolver& solver, const std::vector<Complex>& v,
                TapAdjustment mode) {
    std::vector<int> controllers(static_cast<std::size_t>(m.node_count), 0);
    for (const TapControl& tc : m.taps) ++controllers[static_cast<std::size_t>(tc.controlled_node)];
    int moved = 0;
    for (TapControl& tc : m.taps) {
        const auto c = static_cast<std::size_t>(tc.controlled_node);
        const BranchStamp& st = m.stamps[static_cast<std::size_t>(tc.stamp)];
        if (!m.node_active[c] || !m.node_active[static_cast<std::size_t>(st.a)] ||
            solver.voltage_held(tc.controlled_node))
            continue;
        const double vc = std::abs(v[c]);
        if (vc >= tc.vmin && vc <= tc.vmax) continue;
        const double target = 0.5 * (tc.vmin + tc.vmax);
        // The voltage on the far side of the ratio falls as the ratio rises;
        // on the tap side it rises.
        const double sensitivity = (tc.controlled_on_tap_side ? 1.0 : -1.0) * vc / tc.ratio;
        const double wanted = (target - vc) / sensitivity / controllers[c];
        const double step = tc.step > 0.0 ? tc.step : kDefaultTapStep;
        double steps = 1.0;
        if (mode == TapAdjustment::Direct) steps = std::max(1.0, std::round(std::fabs(wanted) / step));
        const double next = std::clamp(tc.ratio + direction_of(wanted) * steps * step, tc.rmin, tc.rmax);
        if (std::fabs(next - tc.ratio) < 1e-12) continue;
        if (!accept_direction(tc.last_direction, tc.locked, direction_of(next - tc.ratio))) continue;
        tc.ratio = next;
        tc.moved = true;
        m.set_tap_ratio(tc.stamp, next);
        ++moved;
    }
    return moved;
}

int adjust_shunts(NetworkModel& m, const NewtonSolver& solver, const std::vector<Complex>& v,
                  ShuntAdjustment mode) {
    std::vector<int> controllers(static_cast<std::size_t>(m.node_count), 0);
    for (const ShuntControl& sc : m.shunts) ++controllers[static_cast<std::size_t>(sc.regulated_node)];
    int moved = 0;
    for (ShuntControl& sc : m.shunts) {
        if (mode == ShuntAdjustment::ContinuousOnly && !sc.continuous) continue;
        const auto r = static_cast<std::size_t>(sc.regulated_node);
        const auto i = static_cast<std::size_t>(sc.node);
        if (!m.node_active[i] || solver.voltage_held(sc.regulated_node)) continue;
        const double vr = std::abs(v[r]);
        if (vr >= sc.vlo && vr <= sc.vhi) continue;
        double next = sc.b;
        if (sc.continuous) {
            // Stiffness of the node from its admittances to neighbours.
            double stiffness = 0.0;
            for (int e = m.y_start[i]; e < m.y_start[i + 1]; ++e)
                if (m.y_col[static_cast<std::size_t>(e)] != sc.node)
                    stiffness += std::abs(m.y_val[static_cast<std::size_t>(e)]);
            const double target = vr < sc.vlo ? sc.vlo : sc.vhi;
            next = std::clamp(sc.b + stiffness * (target - vr) / vr / controllers[r], sc.bmin, sc.bmax);
        } else if (vr < sc.vlo) {
            // One level up (more capacitive) or down.
            auto it = std::upper_bound(sc.levels.begin(), sc.levels.end(), sc.b + 1e-9);
            if (it != sc.levels.end()) next = *it;
        } else {
            auto it = std::lower_bound(sc.levels.begin(), sc.levels.end(), sc.b - 1e-9);
            if (it != sc.levels.begin()) next = *(it - 1);
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

}  // namespace

std::string describe(const AdjustmentCounts& moved) {
    std::string s =
        std::to_string(moved.taps) + " tap(s) and " + std::to_string(moved.shunts) + " switched shunt(s)";
    if (moved.phase_shifters > 0) s += ", " + std::to_string(moved.phase_shifters) + " phase shifter(s)";
    if (moved.areas > 0) s += ", " + std::to_string(moved.areas) + " area slack machine(s)";
    return s + " moved";
}

AdjustmentCounts adjust_controls(NetworkModel& m, const NewtonSolver& solver, const std::vector<Complex>& v,
                                 TapAdjustment taps, ShuntAdjustment shunts) {
    AdjustmentCounts counts;
    if (taps != TapAdjustment::Off) counts.taps = adjust_taps(m, solver, v, taps);
    if (shunts != ShuntAdjustment::Off) counts.shunts = adjust_shunts(m, solver, v, shunts);
    if (counts.total() > 0) m.refresh_admittance();
    return counts;
}

}  // namespace velquin::sim::loadflow
