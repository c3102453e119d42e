#include "operations/facts_operations.hpp"

#include <limits>

#include "operations/checks.hpp"

namespace velquin::sim {

OperationResult set_facts_device_data(Case& c, CaseIndex& index, const FactsDeviceData& d) {
    Checks checks(c, index);
    checks.device_name("FACTS device", d.name);
    const auto position = find_named(c.facts_devices, d.name);
    if (!position && checks.ok() && !d.sending_bus)
        checks.fail(ElementCode::kInvalidValue, "a new FACTS device needs its sending bus");
    if (d.sending_bus) checks.existing_bus(*d.sending_bus);
    checks.bus_or_none("terminal bus", d.terminal_bus);
    if (checks.ok() && d.sending_bus && d.terminal_bus && *d.sending_bus == *d.terminal_bus)
        checks.fail(ElementCode::kRepeatedBus, "the sending and the terminal bus are the same");
    checks.range("mode", d.mode, 0, 8);
    checks.range("owner", d.owner, 1, kMaxAreaZoneOwner);
    checks.range("series voltage reference", d.series_voltage_reference, 0, 1);
    checks.bus_or_none("regulated bus", d.regulated_bus);
    checks.range("regulated node", d.regulated_node, 0, std::numeric_limits<int>::max());
    checks.finite({{"PDES", &d.p_desired},
                   {"QDES", &d.q_desired},
                   {"VSET", &d.voltage_setpoint},
                   {"VTMN", &d.terminal_vmin},
                   {"VTMX", &d.terminal_vmax},
                   {"LINX", &d.dummy_reactance},
                   {"RMPCT", &d.rmpct},
                   {"SET1", &d.set1},
                   {"SET2", &d.set2}});
    checks.non_negative("SHMX", d.shunt_max);
    checks.non_negative("TRMX", d.bridge_max);
    checks.non_negative("VSMX", d.series_vmax);
    checks.non_negative("IMX", d.series_imax);
    if (d.master_name && !d.master_name->empty() && normalize_identifier(*d.master_name).size() > 12)
        checks.fail(ElementCode::kInvalidIdentifier,
                    "IPFC master name '" + *d.master_name + "' is longer than twelve characters");
    if (!checks.ok()) return checks.result();

    FactsDevice fresh;
    fresh.name = normalize_identifier(d.name);
    FactsDevice& x = position ? c.facts_devices[*position] : fresh;
    assign(x.sending_bus, d.sending_bus);
    assign(x.terminal_bus, d.terminal_bus);
    assign(x.mode, d.mode);
    assign(x.owner, d.owner);
    assign(x.series_voltage_reference, d.series_voltage_reference);
    assign(x.regulated_bus, d.regulated_bus);
    assign(x.regulated_node, d.regulated_node);
    assign(x.p_desired, d.p_desired);
    assign(x.q_desired, d.q_desired);
    assign(x.voltage_setpoint, d.voltage_setpoint);
    assign(x.shunt_max, d.shunt_max);
    assign(x.bridge_max, d.bridge_max);
    assign(x.terminal_vmin, d.terminal_vmin);
    assign(x.terminal_vmax, d.terminal_vmax);
    assign(x.series_vmax, d.series_vmax);
    assign(x.series_imax, d.series_imax);
    assign(x.dummy_reactance, d.dummy_reactance);
    assign(x.rmpct, d.rmpct);
    assign(x.set1, d.set1);
    assign(x.set2, d.set2);
    if (d.master_name) x.master_name = normalize_identifier(*d.master_name);
    if (!position) c.facts_devices.push_back(std::move(fresh));
    return OperationResult::done();
}

}  // namespace velquin::sim
