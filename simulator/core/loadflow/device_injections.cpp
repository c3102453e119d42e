#include "loadflow/device_injections.hpp"

#include "loadflow/facts_device_model.hpp"
#include "loadflow/lcc_dc_line.hpp"
#include "loadflow/network_model.hpp"

namespace velquin::sim::loadflow {

namespace {

constexpr double kStep = 1e-6;  // pu of voltage, for the converters' derivatives

// Injections of a line's converters at the two magnitudes: the rectifier
// draws P + jQ, the inverter delivers P and draws Q.
void lcc_injections(const LccLineData& d, double vr, double vi, double base, Complex& sr, Complex& si) {
    const LccOperatingPoint op = solve_lcc(d, vr, vi);
    sr = Complex(-op.pr, -op.qr) / base;
    si = Complex(op.pi, -op.qi) / base;
}

}  // namespace

void evaluate_device_injections(const NetworkModel& m, const std::vector<Complex>& v, bool derivatives,
                                DeviceInjections& out, bool normal_regimes) {
    out.any = !m.lcc_lines.empty() || !m.facts.empty();
    if (!out.any) return;
    out.s.assign(static_cast<std::size_t>(m.node_count), Complex{});
    out.derivatives.clear();
    for (const LccLineData& line : m.lcc_lines) {
        LccLineData normal;
        const LccLineData* chosen = &line;
        if (normal_regimes && (line.regime != LccRegime::Normal || line.current_order)) {
            normal = line;
            normal.regime = LccRegime::Normal;
            normal.current_order = false;
            chosen = &normal;
        }
        const LccLineData& d = *chosen;
        const int r = d.rectifier.node, i = d.inverter.node;
        if (r < 0 || i < 0 || !m.node_active[static_cast<std::size_t>(r)] ||
            !m.node_active[static_cast<std::size_t>(i)])
            continue;
        const double vr = std::abs(v[static_cast<std::size_t>(r)]),
                     vi = std::abs(v[static_cast<std::size_t>(i)]);
        Complex sr, si;
        lcc_injections(d, vr, vi, m.base_mva, sr, si);
        out.s[static_cast<std::size_t>(r)] += sr;
        out.s[static_cast<std::size_t>(i)] += si;
        if (!derivatives) continue;
        Complex up_r, up_i, down_r, down_i;
        lcc_injections(d, vr + kStep, vi, m.base_mva, up_r, up_i);
        lcc_injections(d, vr - kStep, vi, m.base_mva, down_r, down_i);
        out.derivatives.push_back({r, r, (up_r - down_r) / (2.0 * kStep), {}});
        out.derivatives.push_back({i, r, (up_i - down_i) / (2.0 * kStep), {}});
        lcc_injections(d, vr, vi + kStep, m.base_mva, up_r, up_i);
        lcc_injections(d, vr, vi - kStep, m.base_mva, down_r, down_i);
        out.derivatives.push_back({r, i, (up_r - down_r) / (2.0 * kStep), {}});
        out.derivatives.push_back({i, i, (up_i - down_i) / (2.0 * kStep), {}});
    }
    for (const FactsModel& f : m.facts) {
        if (!f.scheduled_flow) continue;
        const int a = f.sending_node, b = f.terminal_node;
        if (!m.node_active[static_cast<std::size_t>(a)] || !m.node_active[static_cast<std::size_t>(b)])
            continue;
        const Complex va = v[static_cast<std::size_t>(a)], vb = v[static_cast<std::size_t>(b)];
        // z = S V_I / V_J: the sending bus gives P and Im(z).
        const Complex z = f.schedule * va / vb;
        out.s[static_cast<std::size_t>(b)] += f.schedule;
        out.s[static_cast<std::size_t>(a)] += Complex(-f.schedule.real(), -z.imag());
        if (!derivatives) continue;
        const double vma = std::abs(va), vmb = std::abs(vb);
        out.derivatives.push_back({a, a, Complex(0.0, -z.imag() / vma), Complex(0.0, -z.real())});
        out.derivatives.push_back({a, b, Complex(0.0, z.imag() / vmb), Complex(0.0, z.real())});
    }
}

std::vector<Complex> flat_device_injections(const NetworkModel& m) {
    DeviceInjections out;
    std::vector<Complex> flat(static_cast<std::size_t>(m.node_count), Complex(1.0, 0.0));
    evaluate_device_injections(m, flat, false, out);
    if (!out.any) out.s.assign(static_cast<std::size_t>(m.node_count), Complex{});
    return out.s;
}

}  // namespace velquin::sim::loadflow
