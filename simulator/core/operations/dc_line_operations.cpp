#include "operations/dc_line_operations.hpp"

#include <limits>

#include "operations/checks.hpp"

namespace velquin::sim {

namespace {

constexpr int kMaxBridges = 99;

OperationResult missing(std::string_view what, std::string_view name) {
    return refuse(ElementCode::kElementNotFound,
                  std::string(what) + " '" + std::string(name) + "' does not exist");
}

}  // namespace

OperationResult set_two_terminal_dc_line_data(Case& c, CaseIndex& index, const TwoTerminalDcLineData& d) {
    Checks checks(c, index);
    checks.device_name("two-terminal DC line", d.name);
    const auto position = find_named(c.two_terminal_dc_lines, d.name);
    checks.range("control mode", d.control_mode, 0, 2);
    checks.range("CCC iteration limit", d.ccc_iteration_limit, 0, std::numeric_limits<int>::max());
    if (!position && checks.ok() && (!d.rectifier_bus || !d.inverter_bus))
        checks.fail(ElementCode::kInvalidValue,
                    "a new two-terminal DC line needs its rectifier and inverter buses");
    if (d.rectifier_bus) checks.existing_bus(*d.rectifier_bus);
    if (d.inverter_bus) checks.existing_bus(*d.inverter_bus);
    if (checks.ok()) {
        const TwoTerminalDcLine none;
        const TwoTerminalDcLine& now = position ? c.two_terminal_dc_lines[*position] : none;
        if (d.rectifier_bus.value_or(now.rectifier.bus) == d.inverter_bus.value_or(now.inverter.bus))
            checks.fail(ElementCode::kRepeatedBus, "the rectifier and the inverter are at the same bus");
    }
    checks.finite({{"SETVL", &d.setpoint},
                   {"VSCHD", &d.scheduled_kv},
                   {"VCMOD", &d.mode_switch_kv},
                   {"RCOMP", &d.compounding_resistance},
                   {"DELTI", &d.current_margin},
                   {"DCVMIN", &d.min_compounded_kv},
                   {"CCCACC", &d.ccc_acceleration}});
    checks.non_negative("RDC", d.resistance);
    const std::string meter = fold_identifier(d.metered_end.value_or("I"));
    if (checks.ok() && meter != "R" && meter != "I")
        checks.fail(ElementCode::kInvalidValue, "metered end '" + *d.metered_end + "' must be 'R' or 'I'");
    if (!checks.ok()) return checks.result();

    TwoTerminalDcLine fresh;
    fresh.name = normalize_identifier(d.name);
    TwoTerminalDcLine& line = position ? c.two_terminal_dc_lines[*position] : fresh;
    assign(line.control_mode, d.control_mode);
    assign(line.rectifier.bus, d.rectifier_bus);
    assign(line.inverter.bus, d.inverter_bus);
    assign(line.ccc_iteration_limit, d.ccc_iteration_limit);
    assign(line.setpoint, d.setpoint);
    assign(line.scheduled_kv, d.scheduled_kv);
    assign(line.mode_switch_kv, d.mode_switch_kv);
    assign(line.compounding_resistance, d.compounding_resistance);
    assign(line.current_margin, d.current_margin);
    assign(line.resistance, d.resistance);
    assign(line.min_compounded_kv, d.min_compounded_kv);
    assign(line.ccc_acceleration, d.ccc_acceleration);
    if (d.metered_end) line.metered_end = meter;
    if (!position) c.two_terminal_dc_lines.push_back(std::move(fresh));
    return OperationResult::done();
}

OperationResult set_two_terminal_dc_converter_data(Case& c, CaseIndex& index,
                                                   const TwoTerminalDcConverterData& d) {
    Checks checks(c, index);
    const auto position = find_named(c.two_terminal_dc_lines, d.line_name);
    if (!position) return missing("two-terminal DC line", d.line_name);
    if (d.end != 0 && d.end != 1)
        return refuse(ElementCode::kInvalidValue,
                      "converter " + std::to_string(d.end) + " is neither 0 (rectifier) nor 1 (inverter)");
    if (d.bus) checks.existing_bus(*d.bus);
    checks.range("bridges", d.bridges, 0, kMaxBridges);
    checks.bus_or_none("firing angle bus", d.firing_angle_bus);
    checks.bus_or_none("tap control from bus", d.tap_control_from_bus);
    checks.bus_or_none("tap control to bus", d.tap_control_to_bus);
    checks.range("firing angle node", d.firing_angle_node, 0, std::numeric_limits<int>::max());
    checks.finite({{"ANMX", &d.max_angle_deg},
                   {"ANMN", &d.min_angle_deg},
                   {"RC", &d.commutating_resistance},
                   {"XC", &d.commutating_reactance},
                   {"XCAP", &d.capacitor_reactance}});
    checks.non_negative("EBAS", d.base_kv);
    checks.positive("TR", d.transformer_ratio);
    checks.positive("TAP", d.tap);
    checks.positive("TMX", d.tap_max);
    checks.positive("TMN", d.tap_min);
    checks.non_negative("STP", d.tap_step);
    if (d.tap_control_ckt) checks.identifier("tap control transformer circuit", *d.tap_control_ckt);
    if (!checks.ok()) return checks.result();

    TwoTerminalDcLine& line = c.two_terminal_dc_lines[*position];
    TwoTerminalDcConverter& x = d.end == 0 ? line.rectifier : line.inverter;
    const TwoTerminalDcConverter& other = d.end == 0 ? line.inverter : line.rectifier;
    if (d.bus && *d.bus == other.bus)
        return refuse(ElementCode::kRepeatedBus, "the rectifier and the inverter are at the same bus");
    assign(x.bus, d.bus);
    assign(x.bridges, d.bridges);
    assign(x.firing_angle_bus, d.firing_angle_bus);
    assign(x.tap_control_from_bus, d.tap_control_from_bus);
    assign(x.tap_control_to_bus, d.tap_control_to_bus);
    assign(x.firing_angle_node, d.firing_angle_node);
    assign(x.max_angle_deg, d.max_angle_deg);
    assign(x.min_angle_deg, d.min_angle_deg);
    assign(x.commutating_resistance, d.commutating_resistance);
    assign(x.commutating_reactance, d.commutating_reactance);
    assign(x.base_kv, d.base_kv);
    assign(x.transformer_ratio, d.transformer_ratio);
    assign(x.tap, d.tap);
    assign(x.tap_max, d.tap_max);
    assign(x.tap_min, d.tap_min);
    assign(x.tap_step, d.tap_step);
    assign(x.capacitor_reactance, d.capacitor_reactance);
    if (d.tap_control_ckt) x.tap_control_ckt = normalize_identifier(*d.tap_control_ckt);
    return OperationResult::done();
}

OperationResult set_vsc_dc_line_data(Case& c, CaseIndex& index, const VscDcLineData& d) {
    Checks checks(c, index);
    checks.device_name("VSC DC line", d.name);
    checks.range("status", d.status, 0, 1);
    checks.ownership(d.ownership);
    checks.non_negative("RDC", d.resistance);
    if (!checks.ok()) return checks.result();

    const auto position = find_named(c.vsc_dc_lines, d.name);
    VscDcLine fresh;
    fresh.name = normalize_identifier(d.name);
    VscDcLine& line = position ? c.vsc_dc_lines[*position] : fresh;
    assign(line.status, d.status);
    assign(line.resistance, d.resistance);
    apply_ownership(line.ownership, d.ownership);
    if (!position) c.vsc_dc_lines.push_back(std::move(fresh));
    return OperationResult::done();
}

OperationResult set_vsc_converter_data(Case& c, CaseIndex& index, const VscConverterData& d) {
    Checks checks(c, index);
    const auto position = find_named(c.vsc_dc_lines, d.line_name);
    if (!position) return missing("VSC DC line", d.line_name);
    if (d.converter != 1 && d.converter != 2)
        return refuse(ElementCode::kInvalidValue,
                      "converter " + std::to_string(d.converter) + " is neither 1 nor 2");
    if (d.bus) checks.existing_bus(*d.bus);
    checks.range("DC control type", d.dc_control, 0, 2);
    checks.range("AC control mode", d.ac_control, 1, 2);
    checks.bus_or_none("regulated bus", d.regulated_bus);
    checks.range("regulated node", d.regulated_node, 0, std::numeric_limits<int>::max());
    checks.finite({{"DCSET", &d.dc_setpoint},
                   {"ACSET", &d.ac_setpoint},
                   {"PWF", &d.power_weighting},
                   {"MAXQ", &d.qmax},
                   {"MINQ", &d.qmin},
                   {"RMPCT", &d.rmpct}});
    checks.non_negative("ALOSS", d.loss_a);
    checks.non_negative("BLOSS", d.loss_b);
    checks.non_negative("MINLOSS", d.min_loss);
    checks.non_negative("SMAX", d.mva_rating);
    checks.non_negative("IMAX", d.current_rating);
    if (!checks.ok()) return checks.result();

    VscDcLine& line = c.vsc_dc_lines[*position];
    VscConverter& x = line.converters[static_cast<std::size_t>(d.converter - 1)];
    const VscConverter& other = line.converters[static_cast<std::size_t>(2 - d.converter)];
    if (d.bus && *d.bus == other.bus)
        return refuse(ElementCode::kRepeatedBus,
                      "both converters of a VSC DC line at bus " + std::to_string(*d.bus));
    assign(x.bus, d.bus);
    assign(x.dc_control, d.dc_control);
    assign(x.ac_control, d.ac_control);
    assign(x.regulated_bus, d.regulated_bus);
    assign(x.regulated_node, d.regulated_node);
    assign(x.dc_setpoint, d.dc_setpoint);
    assign(x.ac_setpoint, d.ac_setpoint);
    assign(x.loss_a, d.loss_a);
    assign(x.loss_b, d.loss_b);
    assign(x.min_loss, d.min_loss);
    assign(x.mva_rating, d.mva_rating);
    assign(x.current_rating, d.current_rating);
    assign(x.power_weighting, d.power_weighting);
    assign(x.qmax, d.qmax);
    assign(x.qmin, d.qmin);
    assign(x.rmpct, d.rmpct);
    return OperationResult::done();
}

}  // namespace velquin::sim
