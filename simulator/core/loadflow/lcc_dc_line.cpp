#include "loadflow/lcc_dc_line.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace velquin::sim::loadflow {

namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kDegToRad = kPi / 180.0;
// No-load DC voltage of a six-pulse bridge per kV of valve-side AC voltage.
const double kBridgeFactor = 3.0 * std::sqrt(2.0) / kPi;

// The equivalent resistance of commutation (no loss, a voltage drop).
double commutation_resistance(const LccConverterData& c) {
    return c.bridges * 3.0 * c.reactance / kPi;
}
// The whole DC voltage drop per kA inside a converter.
double converter_drop(const LccConverterData& c) {
    return commutation_resistance(c) + c.bridges * 2.0 * c.resistance;
}

// The smallest positive I with slope I^2 + v0 I = p; false when the order
// exceeds what the source can give (then I is the one at its maximum).
bool current_for(double v0, double slope, double p, double& current) {
    if (p <= 0.0) {
        current = 0.0;
        return true;
    }
    if (std::fabs(slope) < 1e-12) {
        current = v0 > 0.0 ? p / v0 : 0.0;
        return v0 > 0.0;
    }
    const double disc = v0 * v0 + 4.0 * slope * p;
    if (disc < 0.0) {
        current = -v0 / (2.0 * slope);
        return false;
    }
    current = 2.0 * p / (v0 + std::sqrt(disc));
    return current >= 0.0 && std::isfinite(current);
}

// The current the order asks for when a voltage source v0 with internal
// resistance r_source sits at one end: the inverter (at its minimum angle)
// or the rectifier (at its minimum angle). `source_is_rectifier` tells
// which end the source is, so that the power is taken at the end the order
// names. Below VCMOD (current_order) the power order is a current order.
struct Order {
    double id = 0.0;
    bool feasible = true;
};

Order ordered_current(const LccLineData& d, double v0, double r_source, bool source_is_rectifier,
                      bool current_order) {
    Order o;
    if (d.mode == kDcCurrentControl) {
        o.id = std::max(0.0, d.setpoint) / 1000.0;
        return o;
    }
    const double p = std::fabs(d.setpoint);
    if (current_order) {
        o.id = p / d.scheduled_kv;
        return o;
    }
    const bool at_rectifier = d.setpoint > 0.0;
    // DC voltage at the named end as v0 + slope * Id.
    double slope = 0.0;
    if (source_is_rectifier)
        slope = at_rectifier ? -r_source : -(r_source + d.resistance);
    else
        slope = at_rectifier ? d.resistance - r_source : -r_source;
    o.feasible = current_for(v0, slope, p, o.id);
    return o;
}

}  // namespace

double no_load_voltage(const LccConverterData& c, double vm) {
    return c.tap > 0.0 ? c.bridges * kBridgeFactor * vm * c.base_kv * c.ratio / c.tap : 0.0;
}

double converter_reactive_power(const LccConverterData& c, double p, double angle, double vdo, double id,
                                double* overlap) {
    if (!(vdo > 0.0) || id <= 0.0) {
        if (overlap != nullptr) *overlap = 0.0;
        return 0.0;
    }
    const double cos_end =
        std::clamp(std::cos(angle) - 2.0 * commutation_resistance(c) * id / vdo, -1.0, 1.0);
    const double u = std::acos(cos_end) - angle;
    if (overlap != nullptr) *overlap = u;
    const double den = std::cos(2.0 * angle) - std::cos(2.0 * (angle + u));
    // Without overlap the power factor angle is the firing angle itself.
    const double tan_phi = std::fabs(den) > 1e-12
                               ? (2.0 * u + std::sin(2.0 * angle) - std::sin(2.0 * (angle + u))) / den
                               : std::tan(angle);
    return std::fabs(p) * tan_phi;
}

LccLineData lcc_line_data(const Case& c, const BusIndex& index, std::size_t line, std::string& problem) {
    const TwoTerminalDcLine& l = c.two_terminal_dc_lines[line];
    LccLineData d;
    d.line = static_cast<int>(line);
    d.name = l.name;
    d.mode = l.control_mode;
    d.setpoint = l.setpoint;
    d.resistance = l.resistance;
    d.scheduled_kv = l.scheduled_kv;
    d.mode_switch_kv = l.mode_switch_kv;
    d.compounding = l.compounding_resistance;
    d.margin = std::clamp(l.current_margin, 0.0, 1.0);
    d.metered_at_inverter = l.metered_end != "R" && l.metered_end != "r";
    auto converter = [&](const TwoTerminalDcConverter& x, const char* end) {
        LccConverterData k;
        k.bus = index.find(x.bus);
        k.bridges = x.bridges;
        // As given, even when the minimum exceeds the maximum (files do
        // this): the converter runs at its minimum in normal operation.
        k.min_angle = x.min_angle_deg * kDegToRad;
        k.max_angle = x.max_angle_deg * kDegToRad;
        k.reactance = x.commutating_reactance;
        k.resistance = x.commutating_resistance;
        k.base_kv = x.base_kv;
        if (!(k.base_kv > 0.0) && k.bus >= 0) k.base_kv = c.buses[static_cast<std::size_t>(k.bus)].base_kv;
        k.ratio = x.transformer_ratio;
        k.tap = x.tap;
        k.tap_min = std::min(x.tap_min, x.tap_max);
        k.tap_max = std::max(x.tap_min, x.tap_max);
        k.tap_step = x.tap_step;
        if (problem.empty()) {
            if (k.bus < 0)
                problem = std::string(end) + " bus " + std::to_string(x.bus) + " is not in the case";
            else if (!(x.bridges > 0) || !(k.base_kv > 0.0) || !(k.ratio > 0.0) || !(k.tap > 0.0))
                problem = std::string(end) + " needs bridges, a base voltage, a ratio and a tap above zero";
        }
        return k;
    };
    d.rectifier = converter(l.rectifier, "rectifier");
    d.inverter = converter(l.inverter, "inverter");
    if (problem.empty() && d.mode == kDcPowerControl && d.setpoint != 0.0 && !(l.resistance >= 0.0))
        problem = "negative DC resistance";
    return d;
}

void choose_lcc_regime(const LccLineData& d, double vr, double vi, LccRegime& regime, bool& current_order) {
    regime = LccRegime::Normal;
    current_order = false;
    const LccConverterData& rc = d.rectifier;
    const LccConverterData& ic = d.inverter;
    const double vdo_r = no_load_voltage(rc, vr), vdo_i = no_load_voltage(ic, vi);
    if (!(vdo_r > 0.0) || !(vdo_i > 0.0)) return;
    const double rr = converter_drop(rc), ri = converter_drop(ic);
    const double ei = vdo_i * std::cos(ic.min_angle);
    const Order order = ordered_current(d, ei, ri, false, false);
    const double vdi = ei - ri * order.id;
    // The compounded voltage in power control decides the current order.
    current_order = d.mode == kDcPowerControl && d.mode_switch_kv > 0.0 && d.scheduled_kv > 0.0 &&
                    vdi + d.compounding * order.id < d.mode_switch_kv;
    const double id = current_order ? std::fabs(d.setpoint) / d.scheduled_kv : order.id;
    const double cos_alpha = (ei - ri * id + d.resistance * id + rr * id) / vdo_r;
    if (cos_alpha < std::cos(rc.max_angle)) {
        regime = LccRegime::AngleLimits;
    } else if (cos_alpha > std::cos(rc.min_angle)) {
        // The inverter takes the current, if it can do so above its
        // minimum angle.
        const double er = vdo_r * std::cos(rc.min_angle);
        const double im = ordered_current(d, er, rr, true, current_order).id * (1.0 - d.margin);
        const double cos_gamma = (er - (rr + d.resistance) * im + ri * im) / vdo_i;
        regime = cos_gamma <= std::cos(ic.min_angle) ? LccRegime::InverterCurrent : LccRegime::MinimumAngles;
    }
}

LccOperatingPoint solve_lcc(const LccLineData& d, double vr, double vi) {
    LccOperatingPoint op;
    if (d.mode != kDcPowerControl && d.mode != kDcCurrentControl) return op;
    const LccConverterData& rc = d.rectifier;
    const LccConverterData& ic = d.inverter;
    const double vdo_r = no_load_voltage(rc, vr), vdo_i = no_load_voltage(ic, vi);
    if (!(vdo_r > 0.0) || !(vdo_i > 0.0)) {
        op.feasible = false;
        return op;
    }
    const double rr = converter_drop(rc), ri = converter_drop(ic);
    const double ei = vdo_i * std::cos(ic.min_angle);
    Order order;
    double id = 0.0, vdi = 0.0, vdr = 0.0;
    op.gamma = ic.min_angle;
    switch (d.regime) {
        case LccRegime::Normal: {
            order = ordered_current(d, ei, ri, false, d.current_order);
            id = order.id;
            vdi = ei - ri * id;
            vdr = vdi + d.resistance * id;
            // Within its range when the regime is the right one; a Newton
            // iterate may pass beyond it for a while.
            op.alpha = std::acos(std::clamp((vdr + rr * id) / vdo_r, -1.0, 1.0));
            break;
        }
        case LccRegime::InverterCurrent: {
            const double er = vdo_r * std::cos(rc.min_angle);
            order = ordered_current(d, er, rr, true, d.current_order);
            id = order.id * (1.0 - d.margin);
            vdr = er - rr * id;
            vdi = vdr - d.resistance * id;
            op.alpha = rc.min_angle;
            op.inverter_controls_current = true;
            const double cos_gamma = (vdi + ri * id) / vdo_i;
            op.inverter_at_max_angle = cos_gamma < std::cos(ic.max_angle);
            if (cos_gamma > 1.0) order.feasible = false;
            op.gamma = std::acos(std::clamp(cos_gamma, -1.0, 1.0));
            break;
        }
        case LccRegime::MinimumAngles:
        case LccRegime::AngleLimits: {
            // Both ends at fixed angles: the circuit sets the current.
            const bool at_max = d.regime == LccRegime::AngleLimits;
            op.alpha = at_max ? rc.max_angle : rc.min_angle;
            const double er = vdo_r * std::cos(op.alpha);
            id = std::max(0.0, (er - ei) / (rr + d.resistance - ri));
            vdi = ei - ri * id;
            vdr = vdi + d.resistance * id;
            op.rectifier_at_max_angle = at_max;
            op.inverter_controls_current = !at_max;
            break;
        }
    }
    op.id = id;
    op.vdr = vdr;
    op.vdi = vdi;
    op.current_mode = d.current_order;
    op.feasible = order.feasible && id >= 0.0;
    op.pr = vdr * id + rc.bridges * 2.0 * rc.resistance * id * id;
    op.pi = vdi * id - ic.bridges * 2.0 * ic.resistance * id * id;
    op.qr = converter_reactive_power(rc, op.pr, op.alpha, vdo_r, id, &op.overlap_r);
    op.qi = converter_reactive_power(ic, op.pi, op.gamma, vdo_i, id, &op.overlap_i);
    return op;
}

namespace {

// The tap position of a converter nearest to `wanted` within its range.
double tap_position(const LccConverterData& c, double wanted) {
    const double t = std::clamp(wanted, c.tap_min, c.tap_max);
    if (!(c.tap_step > 0.0)) return t;
    const double k = std::round((t - c.tap_min) / c.tap_step);
    return std::min(c.tap_min + k * c.tap_step, c.tap_max);
}

}  // namespace

int adjust_lcc_taps(LccLineData& d, double vr, double vi) {
    if (d.mode != kDcPowerControl && d.mode != kDcCurrentControl) return 0;
    int moved = 0;
    LccConverterData& rc = d.rectifier;
    LccConverterData& ic = d.inverter;
    // Inverter: the compounded DC voltage on its schedule at the minimum
    // extinction angle.
    if (d.scheduled_kv > 0.0) {
        const double vdo_i = no_load_voltage(ic, vi);
        const double ri = converter_drop(ic);
        const Order order = ordered_current(d, vdo_i * std::cos(ic.min_angle), ri, false, d.current_order);
        const double wanted_vdi = d.scheduled_kv - d.compounding * order.id;
        const double wanted_vdo = (wanted_vdi + ri * order.id) / std::cos(ic.min_angle);
        if (wanted_vdo > 0.0) {
            const double tap = tap_position(ic, ic.tap * vdo_i / wanted_vdo);
            if (std::fabs(tap - ic.tap) > 1e-9) {
                ic.tap = tap;
                ++moved;
            }
        }
    }
    // Rectifier: the firing angle within its range for the normal
    // operating point.
    const double vdo_i = no_load_voltage(ic, vi);
    const double ri = converter_drop(ic), rr = converter_drop(rc);
    const Order order = ordered_current(d, vdo_i * std::cos(ic.min_angle), ri, false, d.current_order);
    const double vdr = vdo_i * std::cos(ic.min_angle) - ri * order.id + d.resistance * order.id;
    const double vdo_r = no_load_voltage(rc, vr);
    if (vdo_r > 0.0 && vdr + rr * order.id > 0.0) {
        // cos(alpha) grows in proportion to the tap.
        const double per_tap = (vdr + rr * order.id) / (vdo_r * rc.tap);
        const double low = std::cos(rc.max_angle) / per_tap, high = std::cos(rc.min_angle) / per_tap;
        double tap = rc.tap;
        if (tap > high || tap < low) {
            tap = tap_position(rc, tap > high ? high : low);
            // A position past the minimum angle goes one step back; one short
            // of the range one step in, where that stays within it.
            if (tap > high + 1e-12 && rc.tap_step > 0.0 && tap - rc.tap_step >= rc.tap_min - 1e-12)
                tap -= rc.tap_step;
            else if (tap < low - 1e-12 && rc.tap_step > 0.0 && tap + rc.tap_step <= high + 1e-12)
                tap += rc.tap_step;
        }
        if (std::fabs(tap - rc.tap) > 1e-9) {
            rc.tap = tap;
            ++moved;
        }
    }
    return moved;
}

}  // namespace velquin::sim::loadflow
