// Which RAW field each member of the typed device records holds. One list
// per record line drives the reader, the writer and the conversion of
// saved cases that kept these devices as untyped records, so the three
// cannot disagree. A visitor F provides
//   f(name, int&), f(name, double&), f(name, std::string&)  ordinary fields
//   f.bus(name, int&, required)                             bus numbers
//   f.owners(Ownership&)                                    O1 F1 .. O4 F4
// (the const versions for writing). The names are those of the canonical
// layouts in raw_layouts.hpp.
#pragma once

#include <concepts>
#include <type_traits>

#include "model/case.hpp"

namespace velquin::sim::raw_fields {

template <class T, class Model>
concept Ref = std::same_as<std::remove_const_t<T>, Model>;

template <class F, Ref<TwoTerminalDcLine> T>
void visit(F& f, T& x) {
    f("NAME", x.name);
    f("MDC", x.control_mode);
    f("RDC", x.resistance);
    f("SETVL", x.setpoint);
    f("VSCHD", x.scheduled_kv);
    f("VCMOD", x.mode_switch_kv);
    f("RCOMP", x.compounding_resistance);
    f("DELTI", x.current_margin);
    f("METER", x.metered_end);
    f("DCVMIN", x.min_compounded_kv);
    f("CCCITMX", x.ccc_iteration_limit);
    f("CCCACC", x.ccc_acceleration);
}

template <class F, Ref<TwoTerminalDcConverter> T>
void visit(F& f, T& x) {
    f.bus("IP", x.bus, true);
    f("NB", x.bridges);
    f("ANMX", x.max_angle_deg);
    f("ANMN", x.min_angle_deg);
    f("RC", x.commutating_resistance);
    f("XC", x.commutating_reactance);
    f("EBAS", x.base_kv);
    f("TR", x.transformer_ratio);
    f("TAP", x.tap);
    f("TMX", x.tap_max);
    f("TMN", x.tap_min);
    f("STP", x.tap_step);
    f.bus("IC", x.firing_angle_bus, false);
    f("ND", x.firing_angle_node);
    f.bus("IF", x.tap_control_from_bus, false);
    f.bus("IT", x.tap_control_to_bus, false);
    f("ID", x.tap_control_ckt);
    f("XCAP", x.capacitor_reactance);
}

template <class F, Ref<VscDcLine> T>
void visit(F& f, T& x) {
    f("NAME", x.name);
    f("MDC", x.status);
    f("RDC", x.resistance);
    f.owners(x.ownership);
}

template <class F, Ref<VscConverter> T>
void visit(F& f, T& x) {
    f.bus("IBUS", x.bus, true);
    f("TYPE", x.dc_control);
    f("MODE", x.ac_control);
    f("DCSET", x.dc_setpoint);
    f("ACSET", x.ac_setpoint);
    f("ALOSS", x.loss_a);
    f("BLOSS", x.loss_b);
    f("MINLOSS", x.min_loss);
    f("SMAX", x.mva_rating);
    f("IMAX", x.current_rating);
    f("PWF", x.power_weighting);
    f("MAXQ", x.qmax);
    f("MINQ", x.qmin);
    f.bus("VSREG", x.regulated_bus, false);
    f("NREG", x.regulated_node);
    f("RMPCT", x.rmpct);
}

template <class F, Ref<FactsDevice> T>
void visit(F& f, T& x) {
    f("NAME", x.name);
    f.bus("I", x.sending_bus, true);
    f.bus("J", x.terminal_bus, false);
    f("MODE", x.mode);
    f("PDES", x.p_desired);
    f("QDES", x.q_desired);
    f("VSET", x.voltage_setpoint);
    f("SHMX", x.shunt_max);
    f("TRMX", x.bridge_max);
    f("VTMN", x.terminal_vmin);
    f("VTMX", x.terminal_vmax);
    f("VSMX", x.series_vmax);
    f("IMX", x.series_imax);
    f("LINX", x.dummy_reactance);
    f("RMPCT", x.rmpct);
    f("OWNER", x.owner);
    f("SET1", x.set1);
    f("SET2", x.set2);
    f("VSREF", x.series_voltage_reference);
    f.bus("FCREG", x.regulated_bus, false);
    f("NREG", x.regulated_node);
    f("MNAME", x.master_name);
}

// The counts NCONV, NDCBS and NDCLN are not members: they are the sizes of
// the part lists, read and written by the callers.
template <class F, Ref<MultiTerminalDcLine> T>
void visit(F& f, T& x) {
    f("NAME", x.name);
    f("MDC", x.control_mode);
    f.bus("VCONV", x.voltage_controlling_bus, false);
    f("VCMOD", x.mode_switch_kv);
    f.bus("VCONVN", x.negative_voltage_controlling_bus, false);
}

template <class F, Ref<MultiTerminalDcConverter> T>
void visit(F& f, T& x) {
    f.bus("IB", x.bus, true);
    f("N", x.bridges);
    f("ANGMX", x.max_angle_deg);
    f("ANGMN", x.min_angle_deg);
    f("RC", x.commutating_resistance);
    f("XC", x.commutating_reactance);
    f("EBAS", x.base_kv);
    f("TR", x.transformer_ratio);
    f("TAP", x.tap);
    f("TPMX", x.tap_max);
    f("TPMN", x.tap_min);
    f("TSTP", x.tap_step);
    f("SETVL", x.setpoint);
    f("DCPF", x.participation);
    f("MARG", x.margin);
    f("CNVCOD", x.pole);
}

template <class F, Ref<MultiTerminalDcBus> T>
void visit(F& f, T& x) {
    f("IDC", x.number);
    f.bus("IB", x.ac_bus, false);
    f("AREA", x.area);
    f("ZONE", x.zone);
    f("DCNAME", x.name);
    f("IDC2", x.second_dc_bus);
    f("RGRND", x.ground_resistance);
    f("OWNER", x.owner);
}

template <class F, Ref<MultiTerminalDcLink> T>
void visit(F& f, T& x) {
    f("IDC", x.from_dc_bus);
    f("JDC", x.to_dc_bus);
    f("DCCKT", x.ckt);
    f("MET", x.metered_end);
    f("RDC", x.resistance);
    f("LDC", x.inductance);
}

}  // namespace velquin::sim::raw_fields
