#include "loadflow/winding_flow_control.hpp"

#include <algorithm>

#include "loadflow/branch_admittance.hpp"
#include "loadflow/network_model.hpp"

namespace velquin::sim::loadflow {

namespace {

constexpr double kProbe = 1e-5;  // radians or pu of ratio
// The network's response never makes a winding's own sensitivity larger;
// it can make it much smaller, but a secant below this share of the
// winding's own is taken as noise.
constexpr double kSmallestResponse = 0.05;

Complex entering_a(const TwoPort& t, Complex va, Complex vb) {
    return va * std::conj(t.yaa * va + t.yab * vb);
}

double flow_of(const FlowControl& fc, Complex s) {
    return fc.active_power ? s.real() : s.imag();
}

// The flow's change per unit change of the setting with the voltages held:
// the winding's own sensitivity.
double own_sensitivity(const NetworkModel& m, const FlowControl& fc, const std::vector<Complex>& v) {
    const BranchStamp& s = m.stamps[static_cast<std::size_t>(fc.stamp)];
    const Complex va = v[static_cast<std::size_t>(s.a)], vb = v[static_cast<std::size_t>(s.b)];
    auto at = [&](double delta) {
        const TwoPort tp = fc.active_power ? winding_two_port(s.series, s.t1, s.shift_rad + delta, s.t2)
                                           : winding_two_port(s.series, s.t1 + delta, s.shift_rad, s.t2);
        return flow_of(fc, entering_a(tp, va, vb));
    };
    return (at(kProbe) - at(-kProbe)) / (2.0 * kProbe);
}

}  // namespace

double controlled_flow(const NetworkModel& m, const FlowControl& fc, const std::vector<Complex>& v) {
    const BranchStamp& s = m.stamps[static_cast<std::size_t>(fc.stamp)];
    return flow_of(fc, entering_a(TwoPort{s.yaa, s.yab, s.yba, s.ybb}, v[static_cast<std::size_t>(s.a)],
                                  v[static_cast<std::size_t>(s.b)]));
}

int adjust_flow_controls(NetworkModel& m, const std::vector<Complex>& v, bool angles, bool ratios,
                         bool one_step) {
    int moved = 0;
    for (FlowControl& fc : m.flow_controls) {
        if (fc.active_power ? !angles : !ratios) continue;
        if (fc.locked) continue;
        const BranchStamp& st = m.stamps[static_cast<std::size_t>(fc.stamp)];
        if (!m.node_active[static_cast<std::size_t>(st.a)]) continue;
        const double flow = controlled_flow(m, fc, v);
        if (flow >= fc.low && flow <= fc.high) continue;
        double sensitivity = own_sensitivity(m, fc, v);
        if (std::isfinite(fc.last_setting) && fc.last_setting != fc.setting) {
            const double secant = (flow - fc.last_flow) / (fc.setting - fc.last_setting);
            if (secant * sensitivity > 0.0)
                sensitivity =
                    std::copysign(std::clamp(std::fabs(secant), kSmallestResponse * std::fabs(sensitivity),
                                             std::fabs(sensitivity)),
                                  sensitivity);
        }
        if (!(std::fabs(sensitivity) > 0.0)) continue;
        const double wanted = (0.5 * (fc.low + fc.high) - flow) / sensitivity;
        double change = wanted;
        if (fc.step > 0.0) {
            const double steps = one_step ? 1.0 : std::max(1.0, std::round(std::fabs(wanted) / fc.step));
            change = std::copysign(steps * fc.step, wanted);
        }
        const double next = std::clamp(fc.setting + change, fc.min, fc.max);
        if (std::fabs(next - fc.setting) < 1e-12) continue;  // at its limit
        const int direction = next > fc.setting ? 1 : -1;
        if (fc.step > 0.0 && fc.last_direction != 0 && direction != fc.last_direction) {
            // Reversing: the band is narrower than the steps can resolve.
            fc.locked = true;
            continue;
        }
        fc.last_direction = direction;
        fc.last_setting = fc.setting;
        fc.last_flow = flow;
        fc.setting = next;
        fc.moved = true;
        if (fc.active_power)
            m.set_phase_shift(fc.stamp, next);
        else
            m.set_tap_ratio(fc.stamp, next);
        ++moved;
    }
    return moved;
}

void reset_flow_controls(std::vector<FlowControl>& controls) {
    for (FlowControl& fc : controls) {
        fc.last_setting = NAN;
        fc.last_flow = NAN;
        fc.last_direction = 0;
        fc.locked = false;
        fc.moved = false;
    }
}

}  // namespace velquin::sim::loadflow
