#include "operations/machine_operations.hpp"

#include <limits>

#include "operations/checks.hpp"

namespace velquin::sim {

namespace {

constexpr int kMaxWindMode = 3;
constexpr int kMaxBaseLoadFlag = 3;

std::string describe(std::string_view kind, int bus, std::string_view id) {
    return std::string(kind) + " '" + std::string(id) + "' at bus " + std::to_string(bus);
}

OperationResult write_machine(Case& c, CaseIndex& index, const MachineData& d, bool may_create) {
    Checks checks(c, index);
    checks.identifier("machine", d.id);
    checks.existing_bus(d.bus);
    if (!checks.ok()) return checks.result();
    const auto position = index.machine(c, d.bus, d.id);
    const auto plant = index.plant(c, d.bus);
    if (!position) {
        if (!may_create)
            return refuse(ElementCode::kElementNotFound,
                          describe("machine", d.bus, d.id) + " does not exist");
        if (!plant) {
            return refuse(ElementCode::kNoPlant, describe("machine", d.bus, d.id) +
                                                     ": the bus has no plant data; create the plant first");
        }
    }
    checks.range("status", d.status, 0, 1);
    checks.ownership(d.ownership);
    checks.range("wind machine mode", d.wind_mode, 0, kMaxWindMode);
    checks.range("base load flag", d.base_load, 0, kMaxBaseLoadFlag);
    checks.positive("machine base", d.mbase);
    for (const auto& [field, value] : {std::pair{"PG", &d.pg},
                                       {"QG", &d.qg},
                                       {"QT", &d.qmax},
                                       {"QB", &d.qmin},
                                       {"PT", &d.pmax},
                                       {"PB", &d.pmin},
                                       {"ZR", &d.zr},
                                       {"ZX", &d.zx},
                                       {"RT", &d.rt},
                                       {"XT", &d.xt},
                                       {"GTAP", &d.gtap},
                                       {"WPF", &d.wpf}}) {
        checks.finite(field, *value);
    }
    if (!checks.ok()) return checks.result();

    Machine fresh;
    if (!position) {
        fresh.bus = d.bus;
        fresh.id = normalize_identifier(d.id);
        fresh.mbase = c.identification.base_mva;
        fresh.rmpct = c.plants[*plant].rmpct;
        fresh.ownership.owner[0] = c.buses[*index.bus(c, d.bus)].owner;
    }
    Machine& m = position ? c.machines[*position] : fresh;
    assign(m.status, d.status);
    apply_ownership(m.ownership, d.ownership);
    assign(m.wind_mode, d.wind_mode);
    assign(m.base_load, d.base_load);
    assign(m.pg, d.pg);
    assign(m.qg, d.qg);
    assign(m.qmax, d.qmax);
    assign(m.qmin, d.qmin);
    assign(m.pmax, d.pmax);
    assign(m.pmin, d.pmin);
    assign(m.mbase, d.mbase);
    if (d.zr) m.source_impedance.real(*d.zr);
    if (d.zx) m.source_impedance.imag(*d.zx);
    if (d.rt) m.step_up_impedance.real(*d.rt);
    if (d.xt) m.step_up_impedance.imag(*d.xt);
    assign(m.step_up_ratio, d.gtap);
    assign(m.wind_power_factor, d.wpf);
    assign(m.name, d.name);
    if (!position) c.machines.push_back(std::move(fresh));
    return OperationResult::done();
}

}  // namespace

OperationResult set_plant_data(Case& c, CaseIndex& index, const PlantData& d) {
    Checks checks(c, index);
    checks.existing_bus(d.bus);
    checks.node_of_bus(d.bus, d.node);
    checks.bus_or_none("regulated bus", d.regulated_bus);
    checks.range("regulated node", d.regulated_node, 0, std::numeric_limits<int>::max());
    checks.positive("scheduled voltage", d.scheduled_voltage);
    checks.finite("RMPCT", d.rmpct);
    if (!checks.ok()) return checks.result();
    const auto position = index.plant(c, d.bus);
    Plant fresh;
    fresh.bus = d.bus;
    Plant& p = position ? c.plants[*position] : fresh;
    assign(p.regulated_bus, d.regulated_bus);
    assign(p.regulated_node, d.regulated_node);
    assign(p.scheduled_voltage, d.scheduled_voltage);
    assign(p.rmpct, d.rmpct);
    if (!position) c.plants.push_back(fresh);
    return OperationResult::done();
}

OperationResult set_machine_data(Case& c, CaseIndex& index, const MachineData& data) {
    return write_machine(c, index, data, true);
}

OperationResult change_machine_data(Case& c, CaseIndex& index, const MachineData& data) {
    return write_machine(c, index, data, false);
}

OperationResult set_induction_machine_data(Case& c, CaseIndex& index, const InductionMachineData& d) {
    Checks checks(c, index);
    checks.identifier("induction machine", d.id);
    const auto bus = checks.existing_bus(d.bus);
    checks.range("status", d.status, 0, 1);
    checks.range("SCODE", d.scode, 1, 2);
    checks.range("DCODE", d.dcode, 0, 5);
    checks.range("area", d.area, 1, kMaxAreaZoneOwner);
    checks.range("zone", d.zone, 1, kMaxAreaZoneOwner);
    checks.range("owner", d.owner, 1, kMaxAreaZoneOwner);
    checks.range("TCODE", d.tcode, 1, 2);
    checks.range("BCODE", d.bcode, 1, 2);
    checks.range("PCODE", d.pcode, 1, 2);
    checks.positive("machine base", d.mbase);
    checks.non_negative("rated voltage", d.ratekv);
    for (const auto& [field, value] : {std::pair{"PSET", &d.pset},
                                       {"H", &d.h},
                                       {"A", &d.a},
                                       {"B", &d.b},
                                       {"D", &d.d},
                                       {"E", &d.e},
                                       {"RA", &d.ra},
                                       {"XA", &d.xa},
                                       {"XM", &d.xm},
                                       {"R1", &d.r1},
                                       {"X1", &d.x1},
                                       {"R2", &d.r2},
                                       {"X2", &d.x2},
                                       {"X3", &d.x3},
                                       {"E1", &d.e1},
                                       {"SE1", &d.se1},
                                       {"E2", &d.e2},
                                       {"SE2", &d.se2},
                                       {"IA1", &d.ia1},
                                       {"IA2", &d.ia2},
                                       {"XAMULT", &d.xamult}}) {
        checks.finite(field, *value);
    }
    if (!checks.ok()) return checks.result();

    const auto position = index.induction_machine(c, d.bus, d.id);
    InductionMachine fresh;
    if (!position) {
        const Bus& b = c.buses[*bus];
        fresh.bus = d.bus;
        fresh.id = normalize_identifier(d.id);
        fresh.area = b.area;
        fresh.zone = b.zone;
        fresh.owner = b.owner;
        fresh.mbase = c.identification.base_mva;
    }
    InductionMachine& m = position ? c.induction_machines[*position] : fresh;
    assign(m.status, d.status);
    assign(m.scode, d.scode);
    assign(m.dcode, d.dcode);
    assign(m.area, d.area);
    assign(m.zone, d.zone);
    assign(m.owner, d.owner);
    assign(m.tcode, d.tcode);
    assign(m.bcode, d.bcode);
    assign(m.pcode, d.pcode);
    assign(m.mbase, d.mbase);
    assign(m.ratekv, d.ratekv);
    assign(m.pset, d.pset);
    assign(m.h, d.h);
    assign(m.a, d.a);
    assign(m.b, d.b);
    assign(m.d, d.d);
    assign(m.e, d.e);
    assign(m.ra, d.ra);
    assign(m.xa, d.xa);
    assign(m.xm, d.xm);
    assign(m.r1, d.r1);
    assign(m.x1, d.x1);
    assign(m.r2, d.r2);
    assign(m.x2, d.x2);
    assign(m.x3, d.x3);
    assign(m.e1, d.e1);
    assign(m.se1, d.se1);
    assign(m.e2, d.e2);
    assign(m.se2, d.se2);
    assign(m.ia1, d.ia1);
    assign(m.ia2, d.ia2);
    assign(m.xamult, d.xamult);
    assign(m.name, d.name);
    if (!position) c.induction_machines.push_back(std::move(fresh));
    return OperationResult::done();
}

}  // namespace velquin::sim
