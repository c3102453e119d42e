// Field order of every record in a saved-case file. One function per model
// struct lists its members in the order they are stored; the same function
// drives writing, reading and size estimation, so the two directions cannot
// drift apart.
//
// The members are taken with a structured binding: adding a member to a
// model struct makes the binding here fail to compile, which is the moment
// to decide how the new field is stored (and to raise the format version).
// Changing the order of the names below changes the file layout.
#pragma once

#include <concepts>
#include <type_traits>

#include "model/case.hpp"

namespace velquin::sim::casefile {

template <class T, class Model>
concept ModelRef = std::same_as<std::remove_const_t<T>, Model>;

template <class V, ModelRef<Ownership> T>
void visit_fields(V& v, T& x) {
    auto& [owner, fraction] = x;
    v(owner, fraction);
}

template <class V, ModelRef<CaseIdentification> T>
void visit_fields(V& v, T& x) {
    auto& [change_code, base_mva, revision, transformer_rating_units, branch_rating_units, base_frequency,
           title1, title2] = x;
    v(change_code, base_mva, revision, transformer_rating_units, branch_rating_units, base_frequency, title1,
      title2);
}

template <class V, ModelRef<SystemWideData> T>
void visit_fields(V& v, T& x) {
    auto& [lines] = x;
    v(lines);
}

template <class V, ModelRef<Bus> T>
void visit_fields(V& v, T& x) {
    auto& [number, name, base_kv, type, area, zone, owner, vm, va_deg, normal_vmax, normal_vmin,
           emergency_vmax, emergency_vmin, type_before_disconnect] = x;
    v(number, name, base_kv, type, area, zone, owner, vm, va_deg, normal_vmax, normal_vmin, emergency_vmax,
      emergency_vmin, type_before_disconnect);
}

template <class V, ModelRef<Area> T>
void visit_fields(V& v, T& x) {
    auto& [number, swing_bus, desired_mw, tolerance_mw, name] = x;
    v(number, swing_bus, desired_mw, tolerance_mw, name);
}

template <class V, ModelRef<Zone> T>
void visit_fields(V& v, T& x) {
    auto& [number, name] = x;
    v(number, name);
}

template <class V, ModelRef<Owner> T>
void visit_fields(V& v, T& x) {
    auto& [number, name] = x;
    v(number, name);
}

template <class V, ModelRef<InterAreaTransfer> T>
void visit_fields(V& v, T& x) {
    auto& [from_area, to_area, id, mw] = x;
    v(from_area, to_area, id, mw);
}

template <class V, ModelRef<Load> T>
void visit_fields(V& v, T& x) {
    auto& [bus, id, status, area, zone, owner, constant_power, constant_current, constant_admittance,
           scalable, interruptible, distributed_generation, distributed_generation_mode, load_type, name] = x;
    v(bus, id, status, area, zone, owner, constant_power, constant_current, constant_admittance, scalable,
      interruptible, distributed_generation, distributed_generation_mode, load_type, name);
}

template <class V, ModelRef<FixedShunt> T>
void visit_fields(V& v, T& x) {
    auto& [bus, id, status, admittance, name] = x;
    v(bus, id, status, admittance, name);
}

template <class V, ModelRef<SwitchedShunt> T>
void visit_fields(V& v, T& x) {
    auto& [bus, id, control_mode, adjustment_method, status, vswhi, vswlo, regulated_bus, regulated_node,
           rmpct, vsc_name, initial_mvar, steps, mvar_per_step, block_status, name] = x;
    v(bus, id, control_mode, adjustment_method, status, vswhi, vswlo, regulated_bus, regulated_node, rmpct,
      vsc_name, initial_mvar, steps, mvar_per_step, block_status, name);
}

template <class V, ModelRef<Plant> T>
void visit_fields(V& v, T& x) {
    auto& [bus, scheduled_voltage, regulated_bus, regulated_node, rmpct] = x;
    v(bus, scheduled_voltage, regulated_bus, regulated_node, rmpct);
}

template <class V, ModelRef<Machine> T>
void visit_fields(V& v, T& x) {
    auto& [bus, id, pg, qg, qmax, qmin, pmax, pmin, mbase, source_impedance, step_up_impedance, step_up_ratio,
           status, rmpct, ownership, wind_mode, wind_power_factor, base_load, name] = x;
    v(bus, id, pg, qg, qmax, qmin, pmax, pmin, mbase, source_impedance, step_up_impedance, step_up_ratio,
      status, rmpct, ownership, wind_mode, wind_power_factor, base_load, name);
}

template <class V, ModelRef<LineBranch> T>
void visit_fields(V& v, T& x) {
    auto& [from_bus, to_bus, ckt, r, xx, b, from_shunt, to_shunt, status, metered_end, length, ownership,
           ratings, name] = x;
    v(from_bus, to_bus, ckt, r, xx, b, from_shunt, to_shunt, status, metered_end, length, ownership, ratings,
      name);
}

template <class V, ModelRef<SwitchingDevice> T>
void visit_fields(V& v, T& x) {
    auto& [from_bus, to_bus, ckt, xx, ratings, status, normal_status, metered_end, type, name] = x;
    v(from_bus, to_bus, ckt, xx, ratings, status, normal_status, metered_end, type, name);
}

template <class V, ModelRef<MultiSectionLine> T>
void visit_fields(V& v, T& x) {
    auto& [from_bus, to_bus, id, metered_end, dummy_buses] = x;
    v(from_bus, to_bus, id, metered_end, dummy_buses);
}

template <class V, ModelRef<Winding> T>
void visit_fields(V& v, T& x) {
    auto& [ratio, nominal_kv, angle_deg, ratings, control_mode, controlled_bus, controlled_node, rmax, rmin,
           vmax, vmin, tap_positions, correction_table, load_drop_compensation, connection_angle] = x;
    v(ratio, nominal_kv, angle_deg, ratings, control_mode, controlled_bus, controlled_node, rmax, rmin, vmax,
      vmin, tap_positions, correction_table, load_drop_compensation, connection_angle);
}

template <class V, ModelRef<WindingPairImpedance> T>
void visit_fields(V& v, T& x) {
    auto& [r, xx, sbase] = x;
    v(r, xx, sbase);
}

template <class V, ModelRef<Transformer> T>
void visit_fields(V& v, T& x) {
    auto& [bus1, bus2, bus3, ckt, winding_code, impedance_code, magnetizing_code, mag1, mag2,
           non_metered_winding, name, status, ownership, vector_group, impedance_correction_code, impedance,
           star_vm, star_va_deg, windings] = x;
    v(bus1, bus2, bus3, ckt, winding_code, impedance_code, magnetizing_code, mag1, mag2, non_metered_winding,
      name, status, ownership, vector_group, impedance_correction_code, impedance, star_vm, star_va_deg,
      windings);
}

template <class V, ModelRef<CorrectionPoint> T>
void visit_fields(V& v, T& x) {
    auto& [t, factor] = x;
    v(t, factor);
}

template <class V, ModelRef<ImpedanceCorrectionTable> T>
void visit_fields(V& v, T& x) {
    auto& [number, points] = x;
    v(number, points);
}

template <class V, ModelRef<InductionMachine> T>
void visit_fields(V& v, T& x) {
    auto& [bus, id, status, scode, dcode, area, zone, owner, tcode, bcode, mbase, ratekv, pcode, pset, h, a,
           b, d, e, ra, xa, xm, r1, x1, r2, x2, x3, e1, se1, e2, se2, ia1, ia2, xamult, name] = x;
    v(bus, id, status, scode, dcode, area, zone, owner, tcode, bcode, mbase, ratekv, pcode, pset, h, a, b, d,
      e, ra, xa, xm, r1, x1, r2, x2, x3, e1, se1, e2, se2, ia1, ia2, xamult, name);
}

template <class V, ModelRef<SubstationNode> T>
void visit_fields(V& v, T& x) {
    auto& [number, name, bus, status, vm, va_deg] = x;
    v(number, name, bus, status, vm, va_deg);
}

template <class V, ModelRef<SubstationSwitchingDevice> T>
void visit_fields(V& v, T& x) {
    auto& [from_node, to_node, ckt, name, type, status, normal_status, xx, ratings] = x;
    v(from_node, to_node, ckt, name, type, status, normal_status, xx, ratings);
}

template <class V, ModelRef<SubstationTerminal> T>
void visit_fields(V& v, T& x) {
    auto& [bus, node, type, bus2, bus3, id] = x;
    v(bus, node, type, bus2, bus3, id);
}

template <class V, ModelRef<Substation> T>
void visit_fields(V& v, T& x) {
    auto& [number, name, latitude, longitude, grounding_resistance, nodes, switching_devices, terminals] = x;
    v(number, name, latitude, longitude, grounding_resistance, nodes, switching_devices, terminals);
}

template <class V, ModelRef<TwoTerminalDcConverter> T>
void visit_fields(V& v, T& x) {
    auto& [bus, bridges, max_angle_deg, min_angle_deg, commutating_resistance, commutating_reactance, base_kv,
           transformer_ratio, tap, tap_max, tap_min, tap_step, firing_angle_bus, firing_angle_node,
           tap_control_from_bus, tap_control_to_bus, tap_control_ckt, capacitor_reactance] = x;
    v(bus, bridges, max_angle_deg, min_angle_deg, commutating_resistance, commutating_reactance, base_kv,
      transformer_ratio, tap, tap_max, tap_min, tap_step, firing_angle_bus, firing_angle_node,
      tap_control_from_bus, tap_control_to_bus, tap_control_ckt, capacitor_reactance);
}

template <class V, ModelRef<TwoTerminalDcLine> T>
void visit_fields(V& v, T& x) {
    auto& [name, control_mode, resistance, setpoint, scheduled_kv, mode_switch_kv, compounding_resistance,
           current_margin, metered_end, min_compounded_kv, ccc_iteration_limit, ccc_acceleration, rectifier,
           inverter] = x;
    v(name, control_mode, resistance, setpoint, scheduled_kv, mode_switch_kv, compounding_resistance,
      current_margin, metered_end, min_compounded_kv, ccc_iteration_limit, ccc_acceleration, rectifier,
      inverter);
}

template <class V, ModelRef<VscConverter> T>
void visit_fields(V& v, T& x) {
    auto& [bus, dc_control, ac_control, dc_setpoint, ac_setpoint, loss_a, loss_b, min_loss, mva_rating,
           current_rating, power_weighting, qmax, qmin, regulated_bus, regulated_node, rmpct] = x;
    v(bus, dc_control, ac_control, dc_setpoint, ac_setpoint, loss_a, loss_b, min_loss, mva_rating,
      current_rating, power_weighting, qmax, qmin, regulated_bus, regulated_node, rmpct);
}

template <class V, ModelRef<VscDcLine> T>
void visit_fields(V& v, T& x) {
    auto& [name, status, resistance, ownership, converters] = x;
    v(name, status, resistance, ownership, converters);
}

template <class V, ModelRef<FactsDevice> T>
void visit_fields(V& v, T& x) {
    auto& [name, sending_bus, terminal_bus, mode, p_desired, q_desired, voltage_setpoint, shunt_max,
           bridge_max, terminal_vmin, terminal_vmax, series_vmax, series_imax, dummy_reactance, rmpct, owner,
           set1, set2, series_voltage_reference, regulated_bus, regulated_node, master_name] = x;
    v(name, sending_bus, terminal_bus, mode, p_desired, q_desired, voltage_setpoint, shunt_max, bridge_max,
      terminal_vmin, terminal_vmax, series_vmax, series_imax, dummy_reactance, rmpct, owner, set1, set2,
      series_voltage_reference, regulated_bus, regulated_node, master_name);
}

template <class V, ModelRef<MultiTerminalDcConverter> T>
void visit_fields(V& v, T& x) {
    auto& [bus, bridges, max_angle_deg, min_angle_deg, commutating_resistance, commutating_reactance, base_kv,
           transformer_ratio, tap, tap_max, tap_min, tap_step, setpoint, participation, margin, pole] = x;
    v(bus, bridges, max_angle_deg, min_angle_deg, commutating_resistance, commutating_reactance, base_kv,
      transformer_ratio, tap, tap_max, tap_min, tap_step, setpoint, participation, margin, pole);
}

template <class V, ModelRef<MultiTerminalDcBus> T>
void visit_fields(V& v, T& x) {
    auto& [number, ac_bus, area, zone, name, second_dc_bus, ground_resistance, owner] = x;
    v(number, ac_bus, area, zone, name, second_dc_bus, ground_resistance, owner);
}

template <class V, ModelRef<MultiTerminalDcLink> T>
void visit_fields(V& v, T& x) {
    auto& [from_dc_bus, to_dc_bus, ckt, metered_end, resistance, inductance] = x;
    v(from_dc_bus, to_dc_bus, ckt, metered_end, resistance, inductance);
}

template <class V, ModelRef<MultiTerminalDcLine> T>
void visit_fields(V& v, T& x) {
    auto& [name, control_mode, voltage_controlling_bus, mode_switch_kv, negative_voltage_controlling_bus,
           converters, dc_buses, links] = x;
    v(name, control_mode, voltage_controlling_bus, mode_switch_kv, negative_voltage_controlling_bus,
      converters, dc_buses, links);
}

// AuxRecord is stored by the record codec itself (tagged values, nested
// groups with a depth limit), not through this table.

}  // namespace velquin::sim::casefile
