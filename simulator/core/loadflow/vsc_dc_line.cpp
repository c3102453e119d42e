#include "loadflow/vsc_dc_line.hpp"

#include <algorithm>
#include <cmath>

namespace velquin::sim::loadflow {

namespace {

constexpr int kLossIterations = 50;

// Converter loss, MW, at DC current id (kA).
double loss_mw(const VscConverter& c, double id) {
    return std::max(c.loss_a + c.loss_b * std::fabs(id) * 1000.0, c.min_loss) / 1000.0;
}

}  // namespace

bool solve_vsc_dc(const VscDcLine& line, VscDcSolution& out, std::string& problem) {
    const VscConverter& a = line.converters[0];
    const VscConverter& b = line.converters[1];
    if (a.dc_control == kVscOutOfService || b.dc_control == kVscOutOfService) {
        problem = "a converter is out of service (TYPE 0)";
        return false;
    }
    if (a.dc_control == b.dc_control) {
        problem = a.dc_control == kVscDcVoltageControl
                      ? "both converters hold the DC voltage (TYPE 1)"
                      : "neither converter holds the DC voltage (both TYPE 2)";
        return false;
    }
    const int v_end = a.dc_control == kVscDcVoltageControl ? 0 : 1;
    const VscConverter& vc = line.converters[static_cast<std::size_t>(v_end)];
    const VscConverter& pc = line.converters[static_cast<std::size_t>(1 - v_end)];
    const double v0 = vc.dc_setpoint;
    if (!(v0 > 0.0)) {
        problem = "the DC voltage set point is not above zero";
        return false;
    }
    const double r = std::max(0.0, line.resistance);
    // Power the P converter sends into the cable: what it draws from its AC
    // bus less its loss. The cable delivers v0 * id at the other end with
    // (v0 + r id) id sent.
    double id = (-pc.dc_setpoint - pc.loss_a / 1000.0) / v0;
    for (int k = 0; k < kLossIterations; ++k) {
        const double sent = -pc.dc_setpoint - loss_mw(pc, id);
        double next = 0.0;
        if (r > 0.0) {
            const double disc = v0 * v0 + 4.0 * r * sent;
            if (disc < 0.0) {
                problem = "the cable cannot carry the power set point at that DC voltage";
                return false;
            }
            next = 2.0 * sent / (v0 + std::sqrt(disc));
        } else {
            next = sent / v0;
        }
        const bool settled = std::fabs(next - id) <= 1e-14 * (1.0 + std::fabs(next));
        id = next;
        if (settled) break;
    }
    out.voltage_end = v_end;
    out.id = id;
    const auto pv = static_cast<std::size_t>(v_end), pp = static_cast<std::size_t>(1 - v_end);
    out.loss_mw[pp] = loss_mw(pc, id);
    out.loss_mw[pv] = loss_mw(vc, id);
    out.dc_kv[pv] = v0;
    out.dc_kv[pp] = v0 + r * id;
    out.p_mw[pp] = pc.dc_setpoint;
    out.p_mw[pv] = v0 * id - out.loss_mw[pv];
    return true;
}

std::pair<double, double> vsc_reactive_limits(const VscConverter& c, double p_mw, double vm, double base_kv) {
    double qmax = std::max(c.qmax, c.qmin), qmin = std::min(c.qmax, c.qmin);
    double s = c.mva_rating > 0.0 ? c.mva_rating : HUGE_VAL;
    if (c.current_rating > 0.0 && base_kv > 0.0)
        s = std::min(s, std::sqrt(3.0) * vm * base_kv * c.current_rating / 1000.0);
    if (std::isfinite(s)) {
        const double room = s > std::fabs(p_mw) ? std::sqrt(s * s - p_mw * p_mw) : 0.0;
        qmax = std::min(qmax, room);
        qmin = std::max(qmin, -room);
        if (qmin > qmax) qmin = qmax = 0.0;
    }
    return {qmin, qmax};
}

double vsc_power_factor_q(const VscConverter& c, double p_mw) {
    const double pf = std::clamp(std::fabs(c.ac_setpoint), 1e-6, 1.0);
    const double q = p_mw * std::sqrt(1.0 - pf * pf) / pf;
    return c.ac_setpoint < 0.0 ? -q : q;
}

}  // namespace velquin::sim::loadflow
