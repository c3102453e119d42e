#include "loadflow/solution_inputs.hpp"

#include <algorithm>
#include <cstdint>
#include <type_traits>

#include "loadflow/network_key.hpp"

namespace velquin::sim::loadflow {

namespace {

class Bytes {
public:
    explicit Bytes(std::string& out) : out_(out) {}
    template <class T>
    requires std::is_arithmetic_v<T> || std::is_enum_v<T>
    void put(T v) { out_.append(reinterpret_cast<const char*>(&v), sizeof v); }
    void put(const Complex& z) {
        put(z.real());
        put(z.imag());
    }
    void put(const std::string& s) {
        put(static_cast<std::uint64_t>(s.size()));
        out_.append(s);
    }
    template <class T>
    void put(const std::vector<T>& list) {
        put(static_cast<std::uint64_t>(list.size()));
        for (const T& e : list) put(e);
    }

private:
    std::string& out_;
};

void put_options(Bytes& b, const LoadflowOptions& o, const Case& c) {
    // The structured binding fails to compile when an option is added.
    const auto& [method, taps, area_interchange, phase_shift_adjustment, dc_tap_adjustment, shunts, start,
                 dc_angles_at_flat_start, var_limits, step, restart_on_failure, linear_start_fallback,
                 tolerance_mva, zero_impedance_threshold, max_iterations, divergence_mva, blowup_vm,
                 max_adjustment_rounds] = o;
    // DC tap adjustment cannot change anything in a case without DC lines;
    // the recipes' calls differ in it alone.
    const bool has_dc_lines =
        !c.two_terminal_dc_lines.empty() || !c.vsc_dc_lines.empty() || !c.multi_terminal_dc_lines.empty();
    b.put(method);
    b.put(taps);
    b.put(area_interchange);
    b.put(phase_shift_adjustment);
    b.put(dc_tap_adjustment && has_dc_lines);
    b.put(shunts);
    b.put(start);
    b.put(dc_angles_at_flat_start);
    b.put(var_limits);
    b.put(step);
    b.put(restart_on_failure);
    b.put(linear_start_fallback);
    b.put(tolerance_mva);
    b.put(zero_impedance_threshold);
    b.put(max_iterations);
    b.put(divergence_mva);
    b.put(blowup_vm);
    b.put(max_adjustment_rounds);
}

void put_flat_start_reads(Bytes& b, const Case& c, const NetworkModel& m, const NewtonSettings& settings) {
    b.put(m.s_base);
    for (const PlantModel& pm : m.plants) {
        b.put(pm.vs);
        // A swing plant's scheduled power is replaced by what balances
        // its island.
        if (!pm.swing) b.put(pm.p);
        // VSC converters' limits at their stored voltages.
        if (pm.kind == RegulatorKind::VscConverter) {
            b.put(pm.qmax);
            b.put(pm.qmin);
        }
    }
    // The DC line regimes the stored voltages call for.
    for (const LccLineData& d : m.lcc_lines) {
        b.put(d.regime);
        b.put(d.current_order);
    }
    const std::vector<RegulationGroup> groups = regulation_groups(m);
    b.put(starting_plant_states(m, groups, settings));
    for (const RegulationGroup& g : groups) {
        bool remote = false;
        for (int p : g.plants) remote = remote || m.plants[static_cast<std::size_t>(p)].node != g.regulated;
        // Their shared reactive output is an unknown that starts from the
        // stored one.
        if (remote)
            for (int p : g.plants) b.put(m.plants[static_cast<std::size_t>(p)].stored_q);
    }
    for (std::size_t i = 0; i < c.buses.size(); ++i) {
        const int node = m.bus_node[i];
        if (node >= 0 && m.node_swing[static_cast<std::size_t>(node)]) {
            b.put(static_cast<std::uint64_t>(i));
            b.put(c.buses[i].vm);
            b.put(c.buses[i].va_deg);
        }
    }
}

// Area interchange moves each controlled area's slack plant and writes its
// machines' outputs as their stored ones plus their share of the move: the
// outputs of every machine at an area's slack bus, whatever the model made
// of them.
void put_area_slack_outputs(Bytes& b, const Case& c, const NetworkModel& m) {
    std::vector<int> slack_buses;
    for (const Area& a : c.areas)
        if (a.swing_bus != 0) slack_buses.push_back(a.swing_bus);
    if (slack_buses.empty()) return;
    for (const PlantModel& pm : m.plants) {
        // A swing plant's area takes its island's imbalance instead.
        if (pm.swing || pm.bus < 0 || pm.machines.empty()) continue;
        const int number = c.buses[static_cast<std::size_t>(pm.bus)].number;
        if (std::find(slack_buses.begin(), slack_buses.end(), number) == slack_buses.end()) continue;
        for (int mi : pm.machines) b.put(c.machines[static_cast<std::size_t>(mi)].pg);
    }
}

}  // namespace

bool is_flat_start(const LoadflowOptions& o) {
    return o.start == StartProfile::Flat;
}

std::string solution_inputs(const LoadflowOptions& o, const Case& c, const NetworkModel& m,
                            const NewtonSettings& settings) {
    std::string out;
    Bytes b(out);
    put_options(b, o, c);
    if (is_flat_start(o)) {
        b.put('F');
        put_flat_start_reads(b, c, m, settings);
        if (o.area_interchange != 0) put_area_slack_outputs(b, c, m);
    } else {
        b.put('A');
        append_solution_fields(out, c);
    }
    return out;
}

}  // namespace velquin::sim::loadflow
