#include "loadflow/solution_run.hpp"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <memory>
#include <numbers>
#include <string_view>

#include "loadflow/adjustments.hpp"
#include "loadflow/area_interchange.hpp"
#include "loadflow/branch_admittance.hpp"
#include "loadflow/dc_estimate.hpp"
#include "loadflow/device_controls.hpp"
#include "loadflow/induction_model.hpp"
#include "loadflow/solution_parameters.hpp"
#include "loadflow/switched_shunt_control.hpp"

namespace velquin::sim::loadflow {

namespace {

constexpr double kRadToDeg = 180.0 / std::numbers::pi;
constexpr double kDefaultToleranceMva = 0.1;
constexpr int kDefaultMaxIterations = 20;
// Reactive limits given "from iteration n" apply earlier once the largest
// mismatch falls below this (MW/Mvar) or ten tolerances, whichever is larger.
constexpr double kVarLimitMismatchMva = 1.0;
constexpr std::size_t kListedIslandBuses = 10;

// Collects the progress text of a solution. It is always written, whether
// or not anyone reads it now: a later solution with the same inputs gives
// this text again.
class Reporter {
public:
    explicit Reporter(std::string& out) : out_(out) {}
    __attribute__((format(printf, 2, 3))) void line(const char* format, ...) {
        char buffer[512];
        va_list args;
        va_start(args, format);
        std::vsnprintf(buffer, sizeof buffer, format, args);
        va_end(args);
        text(buffer);
    }
    void text(std::string_view s) {
        out_.append(s);
        out_.push_back('\n');
    }

private:
    std::string& out_;
};

std::string node_label(const Case& c, const NetworkModel& m, int node) {
    if (node < 0) return "-";
    const int b = m.node_bus[static_cast<std::size_t>(node)];
    if (b >= 0) return std::to_string(c.buses[static_cast<std::size_t>(b)].number);
    const Transformer& t =
        c.transformers[static_cast<std::size_t>(m.node_star[static_cast<std::size_t>(node)])];
    return "star " + std::to_string(t.bus1) + "-" + std::to_string(t.bus2) + "-" + std::to_string(t.bus3);
}

int node_bus_number(const Case& c, const NetworkModel& m, int node) {
    if (node < 0) return 0;
    const int b = m.node_bus[static_cast<std::size_t>(node)];
    return b >= 0 ? c.buses[static_cast<std::size_t>(b)].number : 0;
}

double wrap_degrees(double deg) {
    deg = std::fmod(deg, 360.0);
    if (deg > 180.0) deg -= 360.0;
    if (deg <= -180.0) deg += 360.0;
    return deg;
}

std::string describe_options(const LoadflowOptions& o) {
    std::string s;
    auto add = [&](const std::string& part) { s += (s.empty() ? "" : ", ") + part; };
    add(o.taps == TapAdjustment::Off        ? "taps fixed"
        : o.taps == TapAdjustment::Stepping ? "taps stepping"
                                            : "taps direct");
    add(o.shunts == ShuntAdjustment::Off   ? "switched shunts locked"
        : o.shunts == ShuntAdjustment::All ? "switched shunts adjusted"
                                           : "continuous switched shunts adjusted");
    switch (o.start) {
        case StartProfile::CaseVoltages:
            add("start from case voltages");
            break;
        case StartProfile::Flat:
            add(o.dc_angles_at_flat_start ? "flat start with DC angles" : "flat start");
            break;
        case StartProfile::FlatMagnitudes:
            add("flat magnitudes, case angles");
            break;
        case StartProfile::FlatAngles:
            add("case magnitudes, flat angles");
            break;
        case StartProfile::DcAngles:
            add("case magnitudes, DC angles");
            break;
    }
    if (o.var_limits < 0)
        add("var limits ignored");
    else if (o.var_limits == 0)
        add("var limits applied at once");
    else
        add("var limits from iteration " + std::to_string(o.var_limits) + " or a small mismatch");
    if (o.step == StepLength::OnDemand) add("step control");
    if (o.step == StepLength::EveryIteration) add("step control every iteration");
    return s;
}

void set_start(const NetworkModel& m, const LoadflowOptions& o, std::vector<Complex>& v, SparseLu& dc,
               Reporter& r) {
    auto swing_angle = [&](std::size_t i) {
        const int swing = m.island_swing[static_cast<std::size_t>(m.node_island[i])];
        return std::arg(m.v_case[static_cast<std::size_t>(swing)]);
    };
    if (o.start == StartProfile::CaseVoltages) return;
    const bool flat_vm = o.start == StartProfile::Flat || o.start == StartProfile::FlatMagnitudes;
    const bool flat_va = o.start == StartProfile::Flat || o.start == StartProfile::FlatAngles;
    for (std::size_t i = 0; i < v.size(); ++i) {
        if (!m.node_active[i] || m.node_swing[i]) continue;
        const double vm = flat_vm ? 1.0 : std::abs(v[i]);
        const double va = flat_va ? swing_angle(i) : std::arg(v[i]);
        v[i] = std::polar(vm, va);
    }
    const bool dc_angles =
        o.start == StartProfile::DcAngles || (o.start == StartProfile::Flat && o.dc_angles_at_flat_start);
    if (dc_angles && !estimate_angles(m, dc, v))
        r.text("DC angle estimate not possible (singular network matrix): angles kept");
}

NewtonOutcome run_with_adjustments(const Case& c, NetworkModel& m, NewtonSolver& solver,
                                   const NewtonSettings& ns, const LoadflowOptions& o, AreaInterchange& areas,
                                   Reporter& r, LoadflowResult& res) {
    auto print = [&](const IterationRecord& rec) {
        const double base = m.base_mva;
        char step[32] = "";
        if (rec.iteration > 0) std::snprintf(step, sizeof step, "%7.3f", rec.step);
        char switches[48] = "";
        if (rec.limit_switches > 0)
            std::snprintf(switches, sizeof switches, "  %d plant(s) switched at var limits",
                          rec.limit_switches);
        r.line("%4d %12.4f %10s %12.4f %10s %s%s", res.iterations + rec.iteration, rec.max_p * base,
               node_label(c, m, rec.p_node).c_str(), rec.max_q * base, node_label(c, m, rec.q_node).c_str(),
               step, switches);
    };
    r.text("ITER       DELTAP        BUS       DELTAQ        BUS    STEP");
    NewtonOutcome outcome = solver.solve(ns, print);
    res.iterations += solver.iterations();
    int rounds = 0;
    while (outcome == NewtonOutcome::Converged && rounds < o.max_adjustment_rounds) {
        AdjustmentCounts moved =
            adjust_controls(m, solver, solver.v, o.taps, o.shunts, o.phase_shift_adjustment);
        if (areas.active())
            moved.areas = adjust_area_interchange(
                areas, m, area_exports(c, m, areas, solver.v, device_tie_flows(m, solver.v)));
        const DcLineMoves dc = adjust_dc_lines(c, m, solver.v, o.dc_tap_adjustment);
        moved.dc_taps = dc.taps;
        moved.converter_limits = dc.limits;
        moved.dc_regimes = dc.regimes;
        if (dc.limits > 0) solver.limits_changed();
        if (moved.total() == 0) break;
        ++rounds;
        res.taps_moved += moved.taps;
        res.shunts_moved += moved.shunts;
        res.areas_moved += moved.areas;
        res.flow_windings_moved += moved.flow_windings;
        res.dc_taps_moved += moved.dc_taps;
        res.device_changes += moved.converter_limits + moved.dc_regimes;
        r.line("Adjustment %d: %s", rounds, describe(moved).c_str());
        outcome = solver.solve(ns, print, true);
        res.iterations += solver.iterations();
    }
    if (rounds == o.max_adjustment_rounds && outcome == NewtonOutcome::Converged)
        r.line("Adjustment stopped after %d rounds", rounds);
    return outcome;
}

int status_of(NewtonOutcome o) {
    switch (o) {
        case NewtonOutcome::Converged:
            return kSolutionConverged;
        case NewtonOutcome::IterationLimit:
            return kSolutionIterationLimit;
        case NewtonOutcome::BlownUp:
            return kSolutionBlownUp;
        case NewtonOutcome::StepControlStopped:
            return kSolutionStepControlStopped;
        case NewtonOutcome::Singular:
            return kSolutionSingular;
    }
    return kSolutionNotAttempted;
}

// What the solution writes. `start_from_case` tells that the solution
// started from the case's voltages: then a node it did not move keeps the
// stored numbers exactly (they made its starting voltage), sparing the
// trigonometry, so that re-solving a solved case changes nothing. A start
// of its own moves every node but the swing nodes, whose stored voltages
// are then among the inputs of the solution as well.
SolutionWrite collect_write(const Case& c, const NetworkModel& m, const AreaInterchange& areas,
                            NewtonSolver& solver, bool fresh, bool start_from_case) {
    SolutionWrite w;
    for (std::size_t b = 0; b < c.buses.size(); ++b) {
        const int node = m.bus_node[b];
        if (node < 0 || !m.node_active[static_cast<std::size_t>(node)]) continue;
        const auto n = static_cast<std::size_t>(node);
        const Complex vn = solver.v[n];
        const auto& source = m.v_case_source[n];
        if ((start_from_case || m.node_swing[n]) && vn == m.v_case[n] && source.first > 0.0 &&
            c.buses[b].vm == source.first && c.buses[b].va_deg == source.second)
            continue;
        w.buses.push_back({static_cast<int>(b), std::abs(vn), wrap_degrees(std::arg(vn) * kRadToDeg)});
    }
    for (std::size_t t = 0; t < c.transformers.size(); ++t) {
        const int node = m.star_node[t];
        if (node < 0 || !m.node_active[static_cast<std::size_t>(node)]) continue;
        const Complex vn = solver.v[static_cast<std::size_t>(node)];
        w.star_points.push_back({static_cast<int>(t), std::abs(vn), wrap_degrees(std::arg(vn) * kRadToDeg)});
    }
    const auto outputs = solver.plant_outputs(!fresh);
    const auto& states = solver.plant_states();
    for (std::size_t p = 0; p < m.plants.size(); ++p) {
        const PlantModel& pm = m.plants[p];
        if (!m.node_active[static_cast<std::size_t>(pm.node)]) continue;
        for (std::size_t k = 0; k < pm.machines.size(); ++k) {
            const int mi = pm.machines[k];
            const Machine& g = c.machines[static_cast<std::size_t>(mi)];
            const double share = pm.machine_share[k];
            if (pm.swing) w.machine_pg.push_back({mi, outputs[p].p * share * m.base_mva});
            double qg = outputs[p].q * share * m.base_mva;
            if (states[p] == PlantState::AtMax)
                qg = std::max(g.qmax, g.qmin);
            else if (states[p] == PlantState::AtMin)
                qg = std::min(g.qmax, g.qmin);
            w.machine_qg.push_back({mi, qg});
        }
    }
    for (const TapControl& tc : m.taps) {
        if (!tc.moved) continue;
        const Transformer& t = c.transformers[static_cast<std::size_t>(tc.transformer)];
        w.ratios.push_back(
            {tc.transformer, tc.winding, winding_ratio_in_units(t, tc.winding, tc.ratio, tc.bus_base_kv)});
    }
    for (const ShuntControl& sc : m.shunts)
        if (sc.moved)
            w.switched_shunt_mvar.push_back(
                {sc.shunt, present_susceptance(m, sc, outputs, solver.v) * m.base_mva});
    for (const FlowControl& fc : m.flow_controls) {
        if (!fc.moved) continue;
        const Transformer& t = c.transformers[static_cast<std::size_t>(fc.transformer)];
        if (fc.active_power)
            w.angles.push_back({fc.transformer, fc.winding, wrap_degrees(fc.setting * kRadToDeg)});
        else
            w.ratios.push_back({fc.transformer, fc.winding,
                                winding_ratio_in_units(t, fc.winding, fc.setting, fc.bus_base_kv)});
    }
    // Area slack machines share their plant's move as they share its
    // reactive output.
    for (const AreaControl& ctl : areas.controls) {
        if (ctl.moved == 0.0) continue;
        const PlantModel& pm = m.plants[static_cast<std::size_t>(ctl.plant)];
        for (std::size_t k = 0; k < pm.machines.size(); ++k) {
            const int mi = pm.machines[k];
            w.machine_pg.push_back({mi, c.machines[static_cast<std::size_t>(mi)].pg +
                                            ctl.moved * pm.machine_share[k] * m.base_mva});
        }
    }
    for (const LccLineData& d : m.lcc_lines)
        if (d.taps_moved) w.dc_taps.push_back({d.line, d.rectifier.tap, d.inverter.tap});
    return w;
}

// Islands without a swing bus that hold load or generation.
int report_unsolved_islands(const Case& c, const NetworkModel& m, Reporter& r) {
    const auto islands = static_cast<std::size_t>(m.island_count);
    std::vector<char> energised(islands, 0);
    std::vector<std::vector<int>> members(islands);
    std::vector<char> has_plant(static_cast<std::size_t>(m.node_count), 0);
    for (const PlantModel& pm : m.plants) has_plant[static_cast<std::size_t>(pm.node)] = 1;
    for (const InductionModel& im : m.induction) has_plant[static_cast<std::size_t>(im.node)] = 1;
    for (std::size_t i = 0; i < static_cast<std::size_t>(m.node_count); ++i) {
        if (m.node_active[i]) continue;
        const auto island = static_cast<std::size_t>(m.node_island[i]);
        members[island].push_back(static_cast<int>(i));
        if (std::abs(m.s_base[i]) > 0.0 || std::abs(m.i_load[i]) > 0.0 || has_plant[i]) energised[island] = 1;
    }
    int count = 0;
    for (std::size_t k = 0; k < islands; ++k) {
        if (!energised[k]) continue;
        ++count;
        std::string list;
        std::size_t buses = 0;
        for (int node : members[k]) {
            if (m.node_bus[static_cast<std::size_t>(node)] < 0) continue;
            if (buses < kListedIslandBuses) list += (list.empty() ? "" : ", ") + node_label(c, m, node);
            ++buses;
        }
        if (buses > kListedIslandBuses) list += ", ...";
        r.line("Island of %zu bus(es) without a swing bus left unsolved: %s", buses, list.c_str());
    }
    return count;
}

double tolerance_mva(const LoadflowOptions& o, const Case& c) {
    if (o.tolerance_mva > 0.0) return o.tolerance_mva;
    const auto toln = solution_parameter(c, "NEWTON", "TOLN");
    return toln && *toln > 0.0 ? *toln : kDefaultToleranceMva;
}

}  // namespace

NewtonSettings newton_settings(const LoadflowOptions& o, const Case& c, const NetworkModel& m) {
    const double tolerance = tolerance_mva(o, c);
    int max_iterations = o.max_iterations;
    if (max_iterations <= 0) {
        const auto itmxn = solution_parameter(c, "NEWTON", "ITMXN");
        max_iterations = itmxn && *itmxn >= 1.0 ? static_cast<int>(*itmxn) : kDefaultMaxIterations;
    }
    NewtonSettings ns;
    ns.tolerance = tolerance / m.base_mva;
    ns.max_iterations = max_iterations;
    ns.step_control = o.step == StepLength::Full       ? StepControl::None
                      : o.step == StepLength::OnDemand ? StepControl::OnDemand
                                                       : StepControl::EveryIteration;
    ns.var_limits_from = o.var_limits;
    ns.var_limit_mismatch = std::max(kVarLimitMismatchMva, 10.0 * tolerance) / m.base_mva;
    ns.divergence = o.divergence_mva / m.base_mva;
    ns.blowup_vm = o.blowup_vm;
    ns.warm_limits = true;
    return ns;
}

SolutionOutcome run_solution(const Case& c, NetworkModel& m, const LoadflowOptions& o, SolverWorkspace& ws) {
    SolutionOutcome out;
    LoadflowResult& res = out.result;
    Reporter r(out.progress_text);
    const double tolerance = tolerance_mva(o, c);
    int active_nodes = 0, swing_islands = 0;
    for (char a : m.node_active) active_nodes += a;
    for (int s : m.island_swing) swing_islands += s >= 0;
    std::size_t in_service = 0;
    for (int node : m.bus_node) in_service += node >= 0;
    r.line("%s load flow: %zu bus(es) in service, %d island(s) with a swing bus", o.method.c_str(),
           in_service, swing_islands);
    r.line("Options: %s; tolerance %g MW/Mvar", describe_options(o).c_str(), tolerance);
    for (const std::string& note : m.notes) r.text(note);
    AreaInterchange areas;
    if (o.area_interchange != 0) {
        areas = build_area_interchange(c, m, o.area_interchange);
        for (const std::string& note : areas.notes) r.text(note);
        if (!areas.active()) r.text("Area interchange control: no area with a slack machine to control");
    }
    res.notes = m.notes;
    res.notes.insert(res.notes.end(), areas.notes.begin(), areas.notes.end());
    res.islands_unsolved = report_unsolved_islands(c, m, r);
    res.islands_solved = swing_islands;
    if (active_nodes == 0) {
        r.text(in_service == 0 ? "No bus in service: nothing to solve"
                               : "No island has a swing bus: solution not attempted");
        res.status = kSolutionNotAttempted;
        return out;
    }

    const NewtonSettings ns = newton_settings(o, c, m);
    auto solver_holder = std::make_unique<NewtonSolver>(m, ws.jacobian);
    solver_holder->v = m.v_case;
    set_start(m, o, solver_holder->v, ws.dc, r);
    bool start_from_case = o.start == StartProfile::CaseVoltages;
    NewtonOutcome outcome = run_with_adjustments(c, m, *solver_holder, ns, o, areas, r, res);
    if (outcome != NewtonOutcome::Converged && o.linear_start_fallback) {
        r.line(
            "No solution (%s): trying again from the voltages of the network with its loads as admittances, "
            "DC angles",
            describe_solution_status(status_of(outcome)));
        solver_holder = std::make_unique<NewtonSolver>(m, ws.jacobian);
        NewtonSolver& second = *solver_holder;
        second.v = m.v_case;
        LoadflowOptions flat = o;
        flat.start = StartProfile::Flat;
        flat.dc_angles_at_flat_start = true;
        set_start(m, flat, second.v, ws.dc, r);
        if (!estimate_magnitudes(m, ws.dc, second.v))
            r.text("Magnitude estimate not possible: flat magnitudes kept");
        NewtonSettings robust = ns;
        if (robust.step_control == StepControl::None) robust.step_control = StepControl::OnDemand;
        outcome = run_with_adjustments(c, m, second, robust, o, areas, r, res);
        start_from_case = false;
    }
    NewtonSolver& solver = *solver_holder;

    if (outcome != NewtonOutcome::Converged && o.restart_on_failure) {
        r.line("No solution (%s): restarting from a flat start with DC angles and step control",
               describe_solution_status(status_of(outcome)));
        LoadflowOptions retry = o;
        retry.restart_on_failure = false;
        retry.start = StartProfile::Flat;
        retry.dc_angles_at_flat_start = true;
        if (retry.step == StepLength::Full) retry.step = StepLength::OnDemand;
        const int before = res.iterations;
        SolutionOutcome second = run_solution(c, ws.restore_model(), retry, ws);
        second.result.iterations += before;
        second.progress_text.insert(0, out.progress_text);
        return second;
    }

    const IterationRecord last = solver.mismatch_summary();
    res.max_p_mw = last.max_p * m.base_mva;
    res.max_q_mvar = last.max_q * m.base_mva;
    res.max_p_bus = node_bus_number(c, m, last.p_node);
    res.max_q_bus = node_bus_number(c, m, last.q_node);
    for (std::size_t p = 0; p < m.plants.size(); ++p)
        res.limited_plants +=
            m.plants[p].kind == RegulatorKind::Machines && solver.plant_states()[p] != PlantState::Regulating;
    res.status = status_of(outcome);
    const double largest = std::max(last.max_p, last.max_q);
    // A failed solution only replaces the case's voltages when it ended
    // closer to a solution than they are; a blown-up one never does.
    bool improved = false;
    if ((outcome == NewtonOutcome::IterationLimit || outcome == NewtonOutcome::StepControlStopped) &&
        std::isfinite(largest)) {
        NewtonSolver probe(m, ws.jacobian);
        probe.v = m.v_case;
        const IterationRecord stored = probe.mismatch_as_is(ns);
        improved = largest < std::max(stored.max_p, stored.max_q);
        out.read_all_solution_fields = true;
    }
    std::vector<std::string> device_lines;
    if (outcome == NewtonOutcome::Converged || improved) {
        out.write =
            collect_write(c, m, areas, solver, outcome != NewtonOutcome::StepControlStopped, start_from_case);
        collect_device_results(c, m, solver, res, device_lines);
        res.written_back = true;
    }
    if (outcome == NewtonOutcome::Converged && res.islands_unsolved > 0)
        res.status = kSolutionIslandsUnsolved;

    switch (outcome) {
        case NewtonOutcome::Converged:
            r.line("Reached tolerance in %d iterations", res.iterations);
            break;
        case NewtonOutcome::IterationLimit:
            r.line("Iteration limit exceeded (%d iterations)", res.iterations);
            break;
        case NewtonOutcome::BlownUp:
            r.line("Blown up after %d iterations", res.iterations);
            break;
        case NewtonOutcome::StepControlStopped:
            r.line(
                "Terminated by step control after %d iterations: no step along the Newton direction reduces "
                "the mismatch",
                res.iterations);
            break;
        case NewtonOutcome::Singular:
            r.line("Singular Jacobian matrix after %d iterations", res.iterations);
            break;
    }
    r.line("Largest mismatch: %.4f MW at bus %s, %.4f Mvar at bus %s", res.max_p_mw,
           node_label(c, m, last.p_node).c_str(), res.max_q_mvar, node_label(c, m, last.q_node).c_str());
    if (res.limited_plants > 0) r.line("%d plant(s) held at a reactive limit", res.limited_plants);
    int stalled = 0;
    for (const InductionModel& im : m.induction)
        if (m.node_active[static_cast<std::size_t>(im.node)] &&
            induction_state(im, magnitude(solver.v[static_cast<std::size_t>(im.node)])).stalled)
            ++stalled;
    if (stalled > 0)
        r.line("%d induction machine(s) beyond their pull-out power: solved at the pull-out slip", stalled);
    if (res.taps_moved + res.shunts_moved > 0)
        r.line("Adjusted: %d tap move(s), %d switched shunt move(s)", res.taps_moved, res.shunts_moved);
    if (res.flow_windings_moved > 0)
        r.line("Adjusted: %d move(s) of phase shifters and windings holding reactive power",
               res.flow_windings_moved);
    for (const std::string& line : device_lines) r.text(line);
    if (areas.active() && outcome == NewtonOutcome::Converged) {
        const std::vector<double> exports =
            area_exports(c, m, areas, solver.v, device_tie_flows(m, solver.v));
        for (const AreaControl& ctl : areas.controls)
            r.line(
                "Area %d: net export %.3f MW, desired %.3f MW, tolerance %.3f MW; slack machine at bus %d "
                "moved "
                "%.3f MW",
                ctl.area, exports[static_cast<std::size_t>(ctl.slot)] * m.base_mva, ctl.desired * m.base_mva,
                ctl.tolerance * m.base_mva,
                c.buses[static_cast<std::size_t>(m.plants[static_cast<std::size_t>(ctl.plant)].bus)].number,
                ctl.moved * m.base_mva);
    }
    if (!res.written_back)
        r.text("Case voltages left as they were: the last iterate is no closer to a solution");
    if (res.status == kSolutionIslandsUnsolved)
        r.line("Solved islands converged; %d energised island(s) without a swing bus unsolved",
               res.islands_unsolved);
    return out;
}

}  // namespace velquin::sim::loadflow
