#include "operations/bus_operations.hpp"

#include "operations/checks.hpp"

namespace velquin::sim {

namespace {

void check_bus_fields(Checks& checks, const BusData& d) {
    checks.range("bus type", d.type, kLoadBus, kIsolatedBus);
    checks.range("area", d.area, 1, kMaxAreaZoneOwner);
    checks.range("zone", d.zone, 1, kMaxAreaZoneOwner);
    checks.range("owner", d.owner, 1, kMaxAreaZoneOwner);
    checks.non_negative("base voltage", d.base_kv);
    checks.non_negative("voltage magnitude", d.vm);
    checks.finite("voltage angle", d.va_deg);
    checks.finite("normal high voltage limit", d.normal_vmax);
    checks.finite("normal low voltage limit", d.normal_vmin);
    checks.finite("emergency high voltage limit", d.emergency_vmax);
    checks.finite("emergency low voltage limit", d.emergency_vmin);
}

void apply_bus_fields(Bus& bus, const BusData& d) {
    if (d.type) {
        bus.type = *d.type;
        bus.type_before_disconnect = 0;
    }
    assign(bus.area, d.area);
    assign(bus.zone, d.zone);
    assign(bus.owner, d.owner);
    assign(bus.base_kv, d.base_kv);
    assign(bus.vm, d.vm);
    assign(bus.va_deg, d.va_deg);
    assign(bus.normal_vmax, d.normal_vmax);
    assign(bus.normal_vmin, d.normal_vmin);
    assign(bus.emergency_vmax, d.emergency_vmax);
    assign(bus.emergency_vmin, d.emergency_vmin);
    assign(bus.name, d.name);
}

OperationResult write_bus(Case& c, CaseIndex& index, const BusData& d, bool may_create) {
    Checks checks(c, index);
    const auto position = index.bus(c, d.number);
    if (!position) {
        if (!may_create)
            return refuse(ElementCode::kBusNotFound, "bus " + std::to_string(d.number) + " does not exist");
        if (d.number < 1 || d.number > kMaxUserBusNumber) {
            return refuse(ElementCode::kBusOutOfRange, "bus number " + std::to_string(d.number) +
                                                           " is outside 1.." +
                                                           std::to_string(kMaxUserBusNumber));
        }
    }
    checks.node_of_bus(d.number, d.node);
    check_bus_fields(checks, d);
    if (!checks.ok()) return checks.result();
    if (position) {
        apply_bus_fields(c.buses[*position], d);
    } else {
        Bus bus;
        bus.number = d.number;
        apply_bus_fields(bus, d);
        c.buses.push_back(std::move(bus));
    }
    return OperationResult::done();
}

}  // namespace

OperationResult set_bus_data(Case& c, CaseIndex& index, const BusData& data) {
    return write_bus(c, index, data, true);
}

OperationResult change_bus_data(Case& c, CaseIndex& index, const BusData& data) {
    return write_bus(c, index, data, false);
}

bool has_in_service_machine(const Case& c, int bus) {
    for (const Machine& m : c.machines) {
        if (m.bus == bus && m.status != 0) return true;
    }
    return false;
}

OperationResult disconnect_bus(Case& c, CaseIndex& index, int bus) {
    const auto position = index.bus(c, bus);
    if (!position) return refuse(ElementCode::kBusNotFound, "bus " + std::to_string(bus) + " does not exist");
    Bus& b = c.buses[*position];
    if (b.type == kIsolatedBus) return OperationResult::done();
    b.type_before_disconnect = b.type;
    b.type = kIsolatedBus;
    return OperationResult::done();
}

OperationResult reconnect_bus(Case& c, CaseIndex& index, int bus) {
    const auto position = index.bus(c, bus);
    if (!position) return refuse(ElementCode::kBusNotFound, "bus " + std::to_string(bus) + " does not exist");
    Bus& b = c.buses[*position];
    if (b.type != kIsolatedBus) return OperationResult::done();
    if (b.type_before_disconnect >= kLoadBus && b.type_before_disconnect < kIsolatedBus) {
        b.type = b.type_before_disconnect;
    } else {
        b.type = has_in_service_machine(c, bus) ? kGeneratorBus : kLoadBus;
    }
    b.type_before_disconnect = 0;
    return OperationResult::done();
}

}  // namespace velquin::sim
