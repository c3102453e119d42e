// A small case in which every field of every element holds a value other
// than its default, each numeric field a different one, so that a field
// dropped, swapped or defaulted by the file format shows up as a difference.
// The fields are named one by one here, independently of the file layout.
#pragma once

#include "model/case.hpp"

namespace velquin::sim::testing {

// Gives every field it is handed a new, non-default value.
class Distinct {
public:
    explicit Distinct(int first = 1) : next_(first) {}
    void skip(int count) { next_ += count; }
    template <class... Ts>
    void fill(Ts&... fields) {
        (set(fields), ...);
    }

private:
    void set(int& v) { v = 1000 + next_++; }
    void set(double& v) { v = 0.5 + 0.03125 * next_++; }
    void set(Complex& v) {
        double re = 0.0;
        double im = 0.0;
        fill(re, im);
        v = {re, -im};
    }
    void set(std::string& v) { v = "text #" + std::to_string(next_++); }
    template <class T, std::size_t N>
    void set(std::array<T, N>& a) {
        for (T& e : a) set(e);
    }
    void set(Ownership& o) { fill(o.owner, o.fraction); }

    int next_;
};

inline AuxRecord full_aux_record(Distinct& n) {
    long long big = 0;
    double real = 0.0;
    std::string text;
    n.fill(text, real);
    big = static_cast<long long>(real * 1000) << 33;
    AuxRecord inner{.fields = {FieldValue{text}, FieldValue{big}, FieldValue{real}, FieldValue{}},
                    .groups = {}};
    n.fill(text, real);
    AuxRecord r{
        .fields = {FieldValue{text}, FieldValue{}, FieldValue{-7LL}, FieldValue{real}, FieldValue{""}},
        .groups = {{inner, inner}, {}, {AuxRecord{}}}};
    r.groups[0][1].fields.push_back(FieldValue{-real});
    return r;
}

inline void fill_converter(Distinct& n, TwoTerminalDcConverter& x) {
    n.fill(x.bus, x.bridges, x.max_angle_deg, x.min_angle_deg, x.commutating_resistance,
           x.commutating_reactance, x.base_kv, x.transformer_ratio, x.tap, x.tap_max, x.tap_min, x.tap_step,
           x.firing_angle_bus, x.firing_angle_node, x.tap_control_from_bus, x.tap_control_to_bus,
           x.tap_control_ckt, x.capacitor_reactance);
}

inline void fill_converter(Distinct& n, VscConverter& x) {
    n.fill(x.bus, x.dc_control, x.ac_control, x.dc_setpoint, x.ac_setpoint, x.loss_a, x.loss_b, x.min_loss,
           x.mva_rating, x.current_rating, x.power_weighting, x.qmax, x.qmin, x.regulated_bus,
           x.regulated_node, x.rmpct);
}

inline TwoTerminalDcLine full_two_terminal_dc_line(Distinct& n) {
    TwoTerminalDcLine x;
    n.fill(x.name, x.control_mode, x.resistance, x.setpoint, x.scheduled_kv, x.mode_switch_kv,
           x.compounding_resistance, x.current_margin, x.metered_end, x.min_compounded_kv,
           x.ccc_iteration_limit, x.ccc_acceleration);
    fill_converter(n, x.rectifier);
    fill_converter(n, x.inverter);
    return x;
}

inline VscDcLine full_vsc_dc_line(Distinct& n) {
    VscDcLine x;
    n.fill(x.name, x.status, x.resistance, x.ownership);
    for (VscConverter& c : x.converters) fill_converter(n, c);
    return x;
}

inline MultiTerminalDcLine full_multi_terminal_dc_line(Distinct& n) {
    MultiTerminalDcLine x;
    n.fill(x.name, x.control_mode, x.voltage_controlling_bus, x.mode_switch_kv,
           x.negative_voltage_controlling_bus);
    for (int i = 0; i < 2; ++i) {
        MultiTerminalDcConverter& c = x.converters.emplace_back();
        n.fill(c.bus, c.bridges, c.max_angle_deg, c.min_angle_deg, c.commutating_resistance,
               c.commutating_reactance, c.base_kv, c.transformer_ratio, c.tap, c.tap_max, c.tap_min,
               c.tap_step, c.setpoint, c.participation, c.margin, c.pole);
    }
    for (int i = 0; i < 3; ++i) {
        MultiTerminalDcBus& b = x.dc_buses.emplace_back();
        n.fill(b.number, b.ac_bus, b.area, b.zone, b.name, b.second_dc_bus, b.ground_resistance, b.owner);
    }
    for (int i = 0; i < 2; ++i) {
        MultiTerminalDcLink& l = x.links.emplace_back();
        n.fill(l.from_dc_bus, l.to_dc_bus, l.ckt, l.metered_end, l.resistance, l.inductance);
    }
    return x;
}

inline FactsDevice full_facts_device(Distinct& n) {
    FactsDevice x;
    n.fill(x.name, x.sending_bus, x.terminal_bus, x.mode, x.p_desired, x.q_desired, x.voltage_setpoint,
           x.shunt_max, x.bridge_max, x.terminal_vmin, x.terminal_vmax, x.series_vmax, x.series_imax,
           x.dummy_reactance, x.rmpct, x.owner, x.set1, x.set2, x.series_voltage_reference, x.regulated_bus,
           x.regulated_node, x.master_name);
    return x;
}

inline Case make_full_case() {
    Distinct n;
    // Typed device records take their own numbers; `n` skips the four
    // numbers each untyped record of format 1.0 took, so that the other
    // records keep the values a format 1.0 file holds.
    Distinct device_values(500);
    Case c;
    CaseIdentification& id = c.identification;
    n.fill(id.change_code, id.base_mva, id.revision, id.transformer_rating_units, id.branch_rating_units,
           id.base_frequency, id.title1, id.title2);
    c.system_wide.lines = {"GENERAL, THRSHZ=0.0001", "", "RATING, 1, \"RATE1\""};

    Bus& b = c.buses.emplace_back();
    n.fill(b.number, b.name, b.base_kv, b.type, b.area, b.zone, b.owner, b.vm, b.va_deg, b.normal_vmax,
           b.normal_vmin, b.emergency_vmax, b.emergency_vmin, b.type_before_disconnect);
    n.fill(c.buses.emplace_back().number);

    Load& l = c.loads.emplace_back();
    n.fill(l.bus, l.id, l.status, l.area, l.zone, l.owner, l.constant_power, l.constant_current,
           l.constant_admittance, l.scalable, l.interruptible, l.distributed_generation,
           l.distributed_generation_mode, l.load_type, l.name);

    FixedShunt& f = c.fixed_shunts.emplace_back();
    n.fill(f.bus, f.id, f.status, f.admittance, f.name);

    Plant& p = c.plants.emplace_back();
    n.fill(p.bus, p.scheduled_voltage, p.regulated_bus, p.regulated_node, p.rmpct);

    Machine& m = c.machines.emplace_back();
    n.fill(m.bus, m.id, m.pg, m.qg, m.qmax, m.qmin, m.pmax, m.pmin, m.mbase, m.source_impedance,
           m.step_up_impedance, m.step_up_ratio, m.status, m.rmpct, m.ownership, m.wind_mode,
           m.wind_power_factor, m.base_load, m.name);

    LineBranch& br = c.lines.emplace_back();
    n.fill(br.from_bus, br.to_bus, br.ckt, br.r, br.x, br.b, br.from_shunt, br.to_shunt, br.status,
           br.metered_end, br.length, br.ownership, br.ratings, br.name);

    SwitchingDevice& sd = c.switching_devices.emplace_back();
    n.fill(sd.from_bus, sd.to_bus, sd.ckt, sd.x, sd.ratings, sd.status, sd.normal_status, sd.metered_end,
           sd.type, sd.name);

    Transformer& t = c.transformers.emplace_back();
    n.fill(t.bus1, t.bus2, t.bus3, t.ckt, t.winding_code, t.impedance_code, t.magnetizing_code, t.mag1,
           t.mag2, t.non_metered_winding, t.name, t.status, t.ownership, t.vector_group,
           t.impedance_correction_code, t.star_vm, t.star_va_deg);
    for (WindingPairImpedance& z : t.impedance) n.fill(z.r, z.x, z.sbase);
    for (Winding& w : t.windings) {
        n.fill(w.ratio, w.nominal_kv, w.angle_deg, w.ratings, w.control_mode, w.controlled_bus,
               w.controlled_node, w.rmax, w.rmin, w.vmax, w.vmin, w.tap_positions, w.correction_table,
               w.load_drop_compensation, w.connection_angle);
    }

    Area& a = c.areas.emplace_back();
    n.fill(a.number, a.swing_bus, a.desired_mw, a.tolerance_mw, a.name);
    c.two_terminal_dc_lines.push_back(full_two_terminal_dc_line(device_values));
    n.skip(4);
    c.vsc_dc_lines.push_back(full_vsc_dc_line(device_values));
    n.skip(4);
    ImpedanceCorrectionTable& ict = c.impedance_correction_tables.emplace_back();
    ict.points.resize(2);
    n.fill(ict.number, ict.points[0].t, ict.points[0].factor, ict.points[1].t, ict.points[1].factor);
    c.multi_terminal_dc_lines.push_back(full_multi_terminal_dc_line(device_values));
    n.skip(4);
    MultiSectionLine& ms = c.multi_section_lines.emplace_back();
    ms.dummy_buses.resize(3);
    n.fill(ms.from_bus, ms.to_bus, ms.id, ms.metered_end, ms.dummy_buses[0], ms.dummy_buses[1],
           ms.dummy_buses[2]);
    Zone& z = c.zones.emplace_back();
    n.fill(z.number, z.name);
    InterAreaTransfer& iat = c.inter_area_transfers.emplace_back();
    n.fill(iat.from_area, iat.to_area, iat.id, iat.mw);
    Owner& o = c.owners.emplace_back();
    n.fill(o.number, o.name);
    c.facts_devices.push_back(full_facts_device(device_values));
    n.skip(4);

    SwitchedShunt& sw = c.switched_shunts.emplace_back();
    n.fill(sw.bus, sw.id, sw.control_mode, sw.adjustment_method, sw.status, sw.vswhi, sw.vswlo,
           sw.regulated_bus, sw.regulated_node, sw.rmpct, sw.vsc_name, sw.initial_mvar, sw.steps,
           sw.mvar_per_step, sw.block_status, sw.name);
    c.gne_devices.push_back(full_aux_record(n));

    InductionMachine& im = c.induction_machines.emplace_back();
    n.fill(im.bus, im.id, im.status, im.scode, im.dcode, im.area, im.zone, im.owner, im.tcode, im.bcode,
           im.mbase, im.ratekv, im.pcode, im.pset, im.h, im.a, im.b, im.d, im.e, im.ra, im.xa, im.xm, im.r1,
           im.x1, im.r2, im.x2, im.x3, im.e1, im.se1, im.e2, im.se2, im.ia1, im.ia2, im.xamult, im.name);

    Substation& s = c.substations.emplace_back();
    n.fill(s.number, s.name, s.latitude, s.longitude, s.grounding_resistance);
    SubstationNode& node = s.nodes.emplace_back();
    n.fill(node.number, node.name, node.bus, node.status, node.vm, node.va_deg);
    SubstationSwitchingDevice& breaker = s.switching_devices.emplace_back();
    n.fill(breaker.from_node, breaker.to_node, breaker.ckt, breaker.name, breaker.type, breaker.status,
           breaker.normal_status, breaker.x, breaker.ratings);
    SubstationTerminal& term = s.terminals.emplace_back();
    n.fill(term.bus, term.node, term.type, term.bus2, term.bus3, term.id);
    return c;
}

}  // namespace velquin::sim::testing
