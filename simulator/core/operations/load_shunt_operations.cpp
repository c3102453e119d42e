#include "operations/load_shunt_operations.hpp"

#include <limits>

#include "operations/checks.hpp"

namespace velquin::sim {

namespace {

constexpr int kMaxStepsPerBlock = 9;
constexpr int kMaxSwitchedShuntMode = 6;

void set_part(Complex& target, const OptionalReal& re, const OptionalReal& im) {
    if (re) target.real(*re);
    if (im) target.imag(*im);
}

}  // namespace

OperationResult set_load_data(Case& c, CaseIndex& index, const LoadData& d) {
    Checks checks(c, index);
    checks.identifier("load", d.id);
    const auto bus = checks.existing_bus(d.bus);
    checks.range("status", d.status, 0, 1);
    checks.range("area", d.area, 1, kMaxAreaZoneOwner);
    checks.range("zone", d.zone, 1, kMaxAreaZoneOwner);
    checks.range("owner", d.owner, 1, kMaxAreaZoneOwner);
    checks.range("scaling flag", d.scalable, 0, 1);
    checks.range("interruptible flag", d.interruptible, 0, 1);
    checks.range("distributed generation mode", d.distributed_generation_mode, 0, 1);
    for (const auto& [field, value] : {std::pair{"PL", &d.pl},
                                       {"QL", &d.ql},
                                       {"IP", &d.ip},
                                       {"IQ", &d.iq},
                                       {"YP", &d.yp},
                                       {"YQ", &d.yq},
                                       {"DGENP", &d.dg_p},
                                       {"DGENQ", &d.dg_q}}) {
        checks.finite(field, *value);
    }
    if (!checks.ok()) return checks.result();

    const auto position = index.load(c, d.bus, d.id);
    Load fresh;
    if (!position) {
        const Bus& b = c.buses[*bus];
        fresh.bus = d.bus;
        fresh.id = normalize_identifier(d.id);
        fresh.area = b.area;
        fresh.zone = b.zone;
        fresh.owner = b.owner;
    }
    Load& load = position ? c.loads[*position] : fresh;
    assign(load.status, d.status);
    assign(load.area, d.area);
    assign(load.zone, d.zone);
    assign(load.owner, d.owner);
    assign(load.scalable, d.scalable);
    assign(load.interruptible, d.interruptible);
    assign(load.distributed_generation_mode, d.distributed_generation_mode);
    set_part(load.constant_power, d.pl, d.ql);
    set_part(load.constant_current, d.ip, d.iq);
    set_part(load.constant_admittance, d.yp, d.yq);
    set_part(load.distributed_generation, d.dg_p, d.dg_q);
    assign(load.load_type, d.load_type);
    assign(load.name, d.name);
    if (!position) c.loads.push_back(std::move(fresh));
    return OperationResult::done();
}

OperationResult set_fixed_shunt_data(Case& c, CaseIndex& index, const FixedShuntData& d) {
    Checks checks(c, index);
    checks.identifier("shunt", d.id);
    checks.existing_bus(d.bus);
    checks.range("status", d.status, 0, 1);
    checks.finite("GL", d.g_mw);
    checks.finite("BL", d.b_mvar);
    if (!checks.ok()) return checks.result();

    const auto position = index.fixed_shunt(c, d.bus, d.id);
    FixedShunt fresh;
    fresh.bus = d.bus;
    fresh.id = normalize_identifier(d.id);
    FixedShunt& shunt = position ? c.fixed_shunts[*position] : fresh;
    assign(shunt.status, d.status);
    set_part(shunt.admittance, d.g_mw, d.b_mvar);
    assign(shunt.name, d.name);
    if (!position) c.fixed_shunts.push_back(std::move(fresh));
    return OperationResult::done();
}

OperationResult set_switched_shunt_data(Case& c, CaseIndex& index, const SwitchedShuntData& d) {
    Checks checks(c, index);
    checks.identifier("switched shunt", d.id);
    checks.existing_bus(d.bus);
    for (int i = 0; i < kSwitchedShuntBlockCount; ++i) {
        const std::string block = "block " + std::to_string(i + 1);
        checks.range(block + " steps", d.steps[i], 0, kMaxStepsPerBlock);
        checks.range(block + " status", d.block_status[i], 0, 1);
        checks.finite(block + " Mvar per step", d.mvar_per_step[i]);
    }
    checks.range("control mode", d.control_mode, 0, kMaxSwitchedShuntMode);
    checks.bus_or_none("regulated bus", d.regulated_bus);
    checks.range("regulated node", d.regulated_node, 0, std::numeric_limits<int>::max());
    checks.range("status", d.status, 0, 1);
    checks.range("adjustment method", d.adjustment_method, 0, 1);
    checks.finite("VSWHI", d.vswhi);
    checks.finite("VSWLO", d.vswlo);
    checks.finite("BINIT", d.initial_mvar);
    checks.finite("RMPCT", d.rmpct);
    if (!checks.ok()) return checks.result();

    const auto position = index.switched_shunt(c, d.bus, d.id);
    SwitchedShunt fresh;
    fresh.bus = d.bus;
    fresh.id = normalize_identifier(d.id);
    SwitchedShunt& shunt = position ? c.switched_shunts[*position] : fresh;
    for (int i = 0; i < kSwitchedShuntBlockCount; ++i) {
        assign(shunt.steps[i], d.steps[i]);
        assign(shunt.mvar_per_step[i], d.mvar_per_step[i]);
        assign(shunt.block_status[i], d.block_status[i]);
    }
    assign(shunt.control_mode, d.control_mode);
    assign(shunt.regulated_bus, d.regulated_bus);
    assign(shunt.regulated_node, d.regulated_node);
    assign(shunt.status, d.status);
    assign(shunt.adjustment_method, d.adjustment_method);
    assign(shunt.vswhi, d.vswhi);
    assign(shunt.vswlo, d.vswlo);
    assign(shunt.initial_mvar, d.initial_mvar);
    assign(shunt.rmpct, d.rmpct);
    assign(shunt.vsc_name, d.vsc_name);
    assign(shunt.name, d.name);
    if (!position) c.switched_shunts.push_back(std::move(fresh));
    return OperationResult::done();
}

}  // namespace velquin::sim
