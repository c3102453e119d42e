#include "loadflow/adjustments.hpp"

#include <algorithm>
#include <cmath>

#include "loadflow/hunting_guard.hpp"
#include "loadflow/load_drop_compensation.hpp"
#include "loadflow/switched_shunt_control.hpp"

namespace velquin::sim::loadflow {

namespace {

// Ratio step used when a winding gives no usable number of positions.
constexpr double kDefaultTapStep = 0.00625;

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
        const double vc = tc.load_drop == Complex{} ? std::abs(v[c]) : compensated_voltage(m, tc, v);
        if (vc >= tc.vmin && vc <= tc.vmax) continue;
        const double target = 0.5 * (tc.vmin + tc.vmax);
        // The voltage on the far side of the ratio falls as the ratio rises;
        // on the tap side it rises.
        double sensitivity = (tc.controlled_on_tap_side ? 1.0 : -1.0) * vc / tc.ratio;
        // After a move, what the voltage actually did (the load's and the
        // network's response, load-drop compensation) is the better guide.
        if (tc.last_ratio != tc.ratio && tc.last_ratio > 0.0) {
            const double secant = (vc - tc.last_voltage) / (tc.ratio - tc.last_ratio);
            if (secant * sensitivity > 0.0)
                sensitivity = std::copysign(
                    std::clamp(std::fabs(secant), 0.2 * std::fabs(sensitivity), 5.0 * std::fabs(sensitivity)),
                    sensitivity);
        }
        const double wanted = (target - vc) / sensitivity / controllers[c];
        const double step = tc.step > 0.0 ? tc.step : kDefaultTapStep;
        double steps = 1.0;
        if (mode == TapAdjustment::Direct) steps = std::max(1.0, std::round(std::fabs(wanted) / step));
        const double next = std::clamp(tc.ratio + direction_of(wanted) * steps * step, tc.rmin, tc.rmax);
        if (std::fabs(next - tc.ratio) < 1e-12) continue;
        // Turning back after a move of several steps corrects an overshoot;
        // turning back after a single step is hunting.
        if (tc.last_steps > 1 && direction_of(next - tc.ratio) != tc.last_direction) tc.last_direction = 0;
        if (!accept_direction(tc.last_direction, tc.locked, direction_of(next - tc.ratio))) continue;
        tc.last_ratio = tc.ratio;
        tc.last_voltage = vc;
        tc.last_steps = static_cast<int>(std::lround(std::fabs(next - tc.ratio) / step));
        tc.ratio = next;
        tc.moved = true;
        m.set_tap_ratio(tc.stamp, next);
        ++moved;
    }
    return moved;
}

}  // namespace

std::string describe(const AdjustmentCounts& moved) {
    std::string s =
        std::to_string(moved.taps) + " tap(s) and " + std::to_string(moved.shunts) + " switched shunt(s)";
    if (moved.flow_windings > 0)
        s += ", " + std::to_string(moved.flow_windings) + " flow-controlling winding(s)";
    if (moved.areas > 0) s += ", " + std::to_string(moved.areas) + " area slack machine(s)";
    if (moved.dc_taps > 0) s += ", " + std::to_string(moved.dc_taps) + " DC converter tap(s)";
    if (moved.dc_regimes > 0) s += ", " + std::to_string(moved.dc_regimes) + " DC line control regime(s)";
    if (moved.converter_limits > 0)
        s += ", " + std::to_string(moved.converter_limits) + " VSC converter limit(s) at the new voltage";
    return s + " moved";
}

AdjustmentCounts adjust_controls(NetworkModel& m, NewtonSolver& solver, const std::vector<Complex>& v,
                                 TapAdjustment taps, ShuntAdjustment shunts, bool phase_shift) {
    AdjustmentCounts counts;
    if (taps != TapAdjustment::Off) counts.taps = adjust_taps(m, solver, v, taps);
    // Phase shifters with option 3; windings holding reactive power move
    // their ratio with the taps.
    counts.flow_windings =
        adjust_flow_controls(m, v, phase_shift, taps != TapAdjustment::Off, taps == TapAdjustment::Stepping);
    if (shunts != ShuntAdjustment::Off) counts.shunts = adjust_switched_shunts(m, solver, v, shunts);
    if (counts.total() > 0) m.refresh_admittance();
    return counts;
}

}  // namespace velquin::sim::loadflow
