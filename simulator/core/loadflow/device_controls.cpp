#include "loadflow/device_controls.hpp"

#include <cmath>
#include <cstdio>
#include <numbers>

#include "loadflow/facts_device_model.hpp"
#include "loadflow/lcc_dc_line.hpp"
#include "loadflow/vsc_dc_line.hpp"

namespace velquin::sim::loadflow {

namespace {

constexpr double kRadToDeg = 180.0 / std::numbers::pi;
// A VSC converter's reactive limit changes with its voltage (current
// rating); smaller changes than this (pu) are not worth another solution.
constexpr double kLimitChange = 1e-5;
// A line whose regime keeps changing (the margin can make two regimes each
// call for the other) stays in the last one.
constexpr int kMaxRegimeChanges = 4;

double magnitude_at(const std::vector<Complex>& v, int node) {
    return std::abs(v[static_cast<std::size_t>(node)]);
}

}  // namespace

DcLineMoves adjust_dc_lines(const Case& c, NetworkModel& m, const std::vector<Complex>& v, bool dc_taps) {
    DcLineMoves moves;
    for (LccLineData& d : m.lcc_lines) {
        if (d.regime_changes >= kMaxRegimeChanges) continue;
        LccRegime regime = d.regime;
        bool current_order = d.current_order;
        choose_lcc_regime(d, magnitude_at(v, d.rectifier.node), magnitude_at(v, d.inverter.node), regime,
                          current_order);
        if (regime == d.regime && current_order == d.current_order) continue;
        d.regime = regime;
        d.current_order = current_order;
        ++d.regime_changes;
        ++moves.regimes;
    }
    // Taps move once the regimes have settled.
    if (moves.regimes > 0) return moves;
    if (dc_taps)
        for (LccLineData& d : m.lcc_lines) {
            const int n =
                adjust_lcc_taps(d, magnitude_at(v, d.rectifier.node), magnitude_at(v, d.inverter.node));
            if (n > 0) d.taps_moved = true;
            moves.taps += n;
        }
    for (const VscLineModel& vm : m.vsc_lines) {
        const VscDcLine& l = c.vsc_dc_lines[static_cast<std::size_t>(vm.line)];
        for (std::size_t e = 0; e < 2; ++e) {
            if (vm.plant[e] < 0 || !(l.converters[e].current_rating > 0.0)) continue;
            PlantModel& pm = m.plants[static_cast<std::size_t>(vm.plant[e])];
            const auto [qmin, qmax] =
                vsc_reactive_limits(l.converters[e], vm.dc.p_mw[e], magnitude_at(v, vm.node[e]),
                                    c.buses[static_cast<std::size_t>(vm.bus[e])].base_kv);
            if (std::fabs(qmax / m.base_mva - pm.qmax) < kLimitChange &&
                std::fabs(qmin / m.base_mva - pm.qmin) < kLimitChange)
                continue;
            pm.qmax = qmax / m.base_mva;
            pm.qmin = qmin / m.base_mva;
            ++moves.limits;
        }
    }
    return moves;
}

std::vector<TieElementFlow> device_tie_flows(const NetworkModel& m, const std::vector<Complex>& v) {
    std::vector<TieElementFlow> flows;
    for (const LccLineData& d : m.lcc_lines) {
        const LccOperatingPoint op =
            solve_lcc(d, magnitude_at(v, d.rectifier.node), magnitude_at(v, d.inverter.node));
        flows.push_back({d.rectifier.bus, d.inverter.bus, op.pr / m.base_mva, -op.pi / m.base_mva,
                         d.metered_at_inverter});
    }
    for (const VscLineModel& vm : m.vsc_lines)
        flows.push_back(
            {vm.bus[0], vm.bus[1], -vm.dc.p_mw[0] / m.base_mva, -vm.dc.p_mw[1] / m.base_mva, false});
    for (const FactsModel& f : m.facts)
        if (f.scheduled_flow)
            flows.push_back({f.sending_bus, f.terminal_bus, f.schedule.real(), -f.schedule.real(), true});
    return flows;
}

void collect_device_results(const Case& c, const NetworkModel& m, NewtonSolver& solver, LoadflowResult& res,
                            std::vector<std::string>& lines) {
    if (m.lcc_lines.empty() && m.vsc_lines.empty() && m.facts.empty()) return;
    const std::vector<Complex>& v = solver.v;
    const auto outputs = solver.plant_outputs(true);
    const auto& states = solver.plant_states();
    char text[400];
    for (const LccLineData& d : m.lcc_lines) {
        const LccOperatingPoint op =
            solve_lcc(d, magnitude_at(v, d.rectifier.node), magnitude_at(v, d.inverter.node));
        DcLineResult r;
        r.name = d.name;
        r.alpha_deg = op.alpha * kRadToDeg;
        r.gamma_deg = op.gamma * kRadToDeg;
        r.overlap_rectifier_deg = op.overlap_r * kRadToDeg;
        r.overlap_inverter_deg = op.overlap_i * kRadToDeg;
        r.id_ka = op.id;
        r.vdr_kv = op.vdr;
        r.vdi_kv = op.vdi;
        r.rectifier_mw = op.pr;
        r.rectifier_mvar = op.qr;
        r.inverter_mw = op.pi;
        r.inverter_mvar = op.qi;
        r.rectifier_tap = d.rectifier.tap;
        r.inverter_tap = d.inverter.tap;
        r.inverter_controls_current = op.inverter_controls_current;
        r.at_angle_limit = op.rectifier_at_max_angle || op.inverter_at_max_angle;
        r.current_mode = op.current_mode;
        r.feasible = op.feasible;
        std::snprintf(
            text, sizeof text,
            "DC line '%s': Id %.4f kA, Vd %.3f / %.3f kV, alpha %.2f deg, gamma %.2f deg, rectifier %.3f MW "
            "%.3f Mvar, inverter %.3f MW %.3f Mvar%s%s%s%s",
            d.name.c_str(), op.id, op.vdr, op.vdi, r.alpha_deg, r.gamma_deg, op.pr, op.qr, op.pi, op.qi,
            op.inverter_controls_current ? "; rectifier at its minimum angle, inverter controls the current"
                                         : "",
            r.at_angle_limit ? "; a converter at its maximum angle" : "",
            op.current_mode ? "; below VCMOD: current control" : "",
            op.feasible ? "" : "; the order cannot be met");
        lines.emplace_back(text);
        res.dc_lines.push_back(r);
    }
    for (const VscLineModel& vm : m.vsc_lines) {
        VscLineResult r;
        r.name = c.vsc_dc_lines[static_cast<std::size_t>(vm.line)].name;
        r.id_ka = vm.dc.id;
        for (std::size_t e = 0; e < 2; ++e) {
            r.mw[e] = vm.dc.p_mw[e];
            r.loss_mw[e] = vm.dc.loss_mw[e];
            r.dc_kv[e] = vm.dc.dc_kv[e];
            r.mvar[e] = vm.fixed_q[e];
            if (vm.plant[e] >= 0) {
                const auto p = static_cast<std::size_t>(vm.plant[e]);
                r.mvar[e] = outputs[p].q * m.base_mva;
                r.at_limit[e] = states[p] != PlantState::Regulating;
            }
        }
        std::snprintf(
            text, sizeof text,
            "VSC DC line '%s': Id %.4f kA, converters %.3f MW %.3f Mvar%s and %.3f MW %.3f Mvar%s, losses "
            "%.3f and %.3f MW",
            r.name.c_str(), r.id_ka, r.mw[0], r.mvar[0], r.at_limit[0] ? " (at a limit)" : "", r.mw[1],
            r.mvar[1], r.at_limit[1] ? " (at a limit)" : "", r.loss_mw[0], r.loss_mw[1]);
        lines.emplace_back(text);
        res.vsc_lines.push_back(r);
    }
    for (const FactsModel& f : m.facts) {
        const FactsDevice& fd = c.facts_devices[static_cast<std::size_t>(f.device)];
        FactsResult r;
        r.name = fd.name;
        std::string limits;
        if (f.plant >= 0) {
            const auto p = static_cast<std::size_t>(f.plant);
            r.shunt_mvar = outputs[p].q * m.base_mva;
            r.shunt_at_limit = states[p] != PlantState::Regulating;
        }
        if (f.scheduled_flow) {
            const FactsSeriesState st =
                facts_series_state(fd, f.schedule, v[static_cast<std::size_t>(f.sending_node)],
                                   v[static_cast<std::size_t>(f.terminal_node)], m.base_mva);
            r.series_voltage_pu = st.voltage;
            r.series_current_pu = st.current;
            r.bridge_mw = st.bridge_mw;
            const double vt = magnitude_at(v, f.terminal_node);
            if (st.voltage > fd.series_vmax) limits += "; series voltage above VSMX";
            if (fd.series_imax > 0.0 && st.current * m.base_mva > fd.series_imax)
                limits += "; series current above IMX";
            if (std::fabs(st.bridge_mw) > fd.bridge_max) limits += "; bridge power above TRMX";
            if (vt < fd.terminal_vmin || vt > fd.terminal_vmax)
                limits += "; terminal voltage outside VTMN..VTMX";
        }
        std::snprintf(
            text, sizeof text,
            "FACTS device '%s': shunt %.3f Mvar%s, series voltage %.4f pu, current %.4f pu, bridge %.3f MW%s",
            r.name.c_str(), r.shunt_mvar, r.shunt_at_limit ? " (at its limit)" : "", r.series_voltage_pu,
            r.series_current_pu, r.bridge_mw, limits.empty() ? "" : (limits + " (schedule held)").c_str());
        lines.emplace_back(text);
        res.facts.push_back(r);
    }
}

void take_device_state(NetworkModel& m, const Case& c) {
    auto stored = [&](int bus) {
        const double vm = c.buses[static_cast<std::size_t>(bus)].vm;
        return vm > 0.0 ? vm : 1.0;
    };
    for (LccLineData& d : m.lcc_lines) {
        choose_lcc_regime(d, stored(d.rectifier.bus), stored(d.inverter.bus), d.regime, d.current_order);
        d.regime_changes = 0;
    }
    for (const VscLineModel& vm : m.vsc_lines) {
        const VscDcLine& l = c.vsc_dc_lines[static_cast<std::size_t>(vm.line)];
        for (std::size_t e = 0; e < 2; ++e) {
            if (vm.plant[e] < 0) continue;
            PlantModel& pm = m.plants[static_cast<std::size_t>(vm.plant[e])];
            const auto [qmin, qmax] =
                vsc_reactive_limits(l.converters[e], vm.dc.p_mw[e], stored(vm.bus[e]),
                                    c.buses[static_cast<std::size_t>(vm.bus[e])].base_kv);
            pm.qmax = qmax / m.base_mva;
            pm.qmin = qmin / m.base_mva;
        }
    }
}

}  // namespace velquin::sim::loadflow
