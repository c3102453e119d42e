#include "loadflow/line_flows.hpp"

#include <cmath>
#include <numbers>

#include "loadflow/branch_admittance.hpp"
#include "loadflow/bus_index.hpp"
#include "loadflow/impedance_correction.hpp"
#include "loadflow/solution_parameters.hpp"

namespace velquin::sim {

using namespace loadflow;

namespace {

Complex polar_degrees(double vm, double va_deg) {
    return std::polar(vm, va_deg * std::numbers::pi / 180.0);
}

// Power entering a two-port at side a, per unit.
Complex entering_a(const TwoPort& t, Complex va, Complex vb) {
    return va * std::conj(t.yaa * va + t.yab * vb);
}
Complex entering_b(const TwoPort& t, Complex va, Complex vb) {
    return vb * std::conj(t.yba * va + t.ybb * vb);
}

}  // namespace

std::vector<LineEndFlows> line_flows(const Case& c, double threshold) {
    if (threshold < 0.0) {
        const auto z = solution_parameter(c, "GENERAL", "THRSHZ");
        threshold = z && *z >= 0.0 ? *z : kDefaultZeroImpedanceThreshold;
    }
    const double base = c.identification.base_mva > 0.0 ? c.identification.base_mva : 100.0;
    const BusIndex index(c.buses);
    const std::size_t nb = c.buses.size();
    std::vector<Complex> v(nb);
    std::vector<char> up(nb, 0);
    for (std::size_t b = 0; b < nb; ++b) {
        up[b] = c.buses[b].in_service();
        v[b] = polar_degrees(c.buses[b].vm, c.buses[b].va_deg);
    }
    auto bus = [&](int number) {
        const int b = index.find(number);
        return b >= 0 && up[static_cast<std::size_t>(b)] ? b : -1;
    };
    // Power each bus must send into its ties (pu): what it produces less
    // what it consumes and sends into its other branches.
    std::vector<Complex> surplus(nb, Complex{});
    auto out = [&](int b, Complex s) { surplus[static_cast<std::size_t>(b)] -= s; };

    for (const Machine& g : c.machines) {
        const int b = bus(g.bus);
        if (g.status == 1 && b >= 0) surplus[static_cast<std::size_t>(b)] += Complex(g.pg, g.qg) / base;
    }
    for (const Load& l : c.loads) {
        const int b = bus(l.bus);
        if (l.status != 1 || b < 0) continue;
        const double vm = std::abs(v[static_cast<std::size_t>(b)]);
        Complex s = l.constant_power + l.constant_current * vm + std::conj(l.constant_admittance) * vm * vm;
        if (l.distributed_generation_mode != 0) s -= l.distributed_generation;
        out(b, s / base);
    }
    for (const FixedShunt& f : c.fixed_shunts) {
        const int b = bus(f.bus);
        if (f.status == 1 && b >= 0)
            out(b, std::conj(f.admittance) * std::norm(v[static_cast<std::size_t>(b)]) / base);
    }
    for (const SwitchedShunt& s : c.switched_shunts) {
        const int b = bus(s.bus);
        if (s.status == 1 && b >= 0)
            out(b, Complex(0.0, -s.initial_mvar) * std::norm(v[static_cast<std::size_t>(b)]) / base);
    }
    // Series impedances with the windings' impedance correction applied.
    std::vector<std::string> ignored_notes;
    auto series_impedances = [&](const Transformer& t, const std::array<double, 3>& kv) {
        const CorrectedTransformer ct = transformer_correction(c, t, base, kv, ignored_notes);
        if (!ct.applies()) {
            if (!t.is_three_winding()) return std::array<Complex, 3>{pair_impedance_pu(t, 0, base), {}, {}};
            return star_impedances_pu(t, base);
        }
        std::array<double, 3> ratio{1.0, 1.0, 1.0}, angle{0.0, 0.0, 0.0};
        for (int k = 0; k < (t.is_three_winding() ? 3 : 1); ++k) {
            const auto ku = static_cast<std::size_t>(k);
            ratio[ku] = winding_ratio_pu(t, k, kv[ku]);
            angle[ku] = t.windings[ku].angle_deg;
        }
        return corrected_series_impedances(ct, ratio, angle);
    };
    std::vector<LineEndFlows> flows(c.lines.size());
    struct Tie {
        int a, b;
        std::size_t line;  // index into c.lines, or npos for a switching device
    };
    std::vector<Tie> ties;
    for (std::size_t k = 0; k < c.lines.size(); ++k) {
        const LineBranch& l = c.lines[k];
        const int a = bus(l.from_bus), b = bus(l.to_bus);
        if (l.status != 1 || a < 0 || b < 0) continue;
        const Complex va = v[static_cast<std::size_t>(a)], vb = v[static_cast<std::size_t>(b)];
        if (!is_zero_impedance_line(l, threshold)) {
            const TwoPort t = line_two_port(l);
            flows[k] = {entering_a(t, va, vb) * base, entering_b(t, va, vb) * base};
            out(a, flows[k].from / base);
            out(b, flows[k].to / base);
            continue;
        }
        // The tie's own charging and end shunts are drawn at its ends.
        flows[k].from = std::conj(Complex(0.0, l.b / 2.0) + l.from_shunt) * std::norm(va) * base;
        flows[k].to = std::conj(Complex(0.0, l.b / 2.0) + l.to_shunt) * std::norm(vb) * base;
        out(a, flows[k].from / base);
        out(b, flows[k].to / base);
        ties.push_back({a, b, k});
    }
    for (const SwitchingDevice& d : c.switching_devices) {
        const int a = bus(d.from_bus), b = bus(d.to_bus);
        if (d.status != 1 || a < 0 || b < 0) continue;
        if (std::fabs(d.x) <= threshold) {
            ties.push_back({a, b, static_cast<std::size_t>(-1)});
            continue;
        }
        const Complex y = 1.0 / Complex(0.0, d.x);
        const TwoPort t{y, -y, -y, y};
        out(a, entering_a(t, v[static_cast<std::size_t>(a)], v[static_cast<std::size_t>(b)]));
        out(b, entering_b(t, v[static_cast<std::size_t>(a)], v[static_cast<std::size_t>(b)]));
    }
    for (const Transformer& t : c.transformers) {
        if (!t.is_three_winding()) {
            const int a = bus(t.bus1), b = bus(t.bus2);
            if (t.status != 1 || a < 0 || b < 0) continue;
            const double kv1 = c.buses[static_cast<std::size_t>(a)].base_kv,
                         kv2 = c.buses[static_cast<std::size_t>(b)].base_kv;
            Complex z = series_impedances(t, {kv1, kv2, 0.0})[0];
            if (std::abs(z) <= 1e-12) z = Complex(0.0, threshold);
            TwoPort tp = winding_two_port(1.0 / z, winding_ratio_pu(t, 0, kv1),
                                          t.windings[0].angle_deg * std::numbers::pi / 180.0,
                                          winding_ratio_pu(t, 1, kv2));
            tp.yaa += magnetizing_admittance_pu(t, base);
            out(a, entering_a(tp, v[static_cast<std::size_t>(a)], v[static_cast<std::size_t>(b)]));
            out(b, entering_b(tp, v[static_cast<std::size_t>(a)], v[static_cast<std::size_t>(b)]));
            continue;
        }
        const std::array<int, 3> b3{bus(t.bus1), bus(t.bus2), bus(t.bus3)};
        if (t.status == 0 || b3[0] < 0 || b3[1] < 0 || b3[2] < 0) continue;
        const Complex star = polar_degrees(t.star_vm, t.star_va_deg);
        const std::array<Complex, 3> z =
            series_impedances(t, {c.buses[static_cast<std::size_t>(b3[0])].base_kv,
                                  c.buses[static_cast<std::size_t>(b3[1])].base_kv,
                                  c.buses[static_cast<std::size_t>(b3[2])].base_kv});
        const int winding_out = t.status == 2 ? 1 : t.status == 3 ? 2 : t.status == 4 ? 0 : -1;
        for (int k = 0; k < 3; ++k) {
            if (k == winding_out) continue;
            const auto ku = static_cast<std::size_t>(k);
            const int b = b3[ku];
            Complex zk = z[ku];
            if (std::abs(zk) <= 1e-12) zk = Complex(0.0, threshold);
            const TwoPort tp = winding_two_port(
                1.0 / zk, winding_ratio_pu(t, k, c.buses[static_cast<std::size_t>(b)].base_kv),
                t.windings[ku].angle_deg * std::numbers::pi / 180.0, 1.0);
            out(b, entering_a(tp, v[static_cast<std::size_t>(b)], star));
        }
    }
    // Spanning forest of the ties; each tree edge carries the surplus of
    // the subtree below it.
    std::vector<std::vector<std::pair<int, std::size_t>>> adjacent(nb);
    for (std::size_t e = 0; e < ties.size(); ++e) {
        adjacent[static_cast<std::size_t>(ties[e].a)].emplace_back(ties[e].b, e);
        adjacent[static_cast<std::size_t>(ties[e].b)].emplace_back(ties[e].a, e);
    }
    std::vector<int> parent_edge(nb, -1);
    std::vector<char> seen(nb, 0);
    std::vector<int> order;
    for (const Tie& root_tie : ties) {
        const int root = root_tie.a;
        if (seen[static_cast<std::size_t>(root)]) continue;
        seen[static_cast<std::size_t>(root)] = 1;
        const std::size_t first = order.size();
        order.push_back(root);
        for (std::size_t q = first; q < order.size(); ++q) {
            const int x = order[q];
            for (const auto& [y, e] : adjacent[static_cast<std::size_t>(x)]) {
                if (seen[static_cast<std::size_t>(y)]) continue;
                seen[static_cast<std::size_t>(y)] = 1;
                parent_edge[static_cast<std::size_t>(y)] = static_cast<int>(e);
                order.push_back(y);
            }
        }
    }
    for (std::size_t q = order.size(); q-- > 0;) {
        const int x = order[q];
        const int e = parent_edge[static_cast<std::size_t>(x)];
        if (e < 0) continue;
        const Tie& t = ties[static_cast<std::size_t>(e)];
        const int parent = t.a == x ? t.b : t.a;
        const Complex sent = surplus[static_cast<std::size_t>(x)];  // from x towards its parent
        surplus[static_cast<std::size_t>(parent)] += sent;
        if (t.line == static_cast<std::size_t>(-1)) continue;
        LineEndFlows& f = flows[t.line];
        const bool x_is_from = c.lines[t.line].from_bus == c.buses[static_cast<std::size_t>(x)].number;
        f.from += (x_is_from ? sent : -sent) * base;
        f.to += (x_is_from ? -sent : sent) * base;
    }
    return flows;
}

}  // namespace velquin::sim
