// A small case in which every field of every element holds a value other
// than its default, each numeric field a different one, so that a field
// dropped, swapped or defaulted by the file format shows up as a difference.
#pragma once

#include "model/case.hpp"

namespace velquin::sim::testing {

// Distinct, non-default values: every call gives a new one.
class Distinct {
public:
    int i() { return 1000 + next_++; }
    double d() { return 0.5 + 0.03125 * next_++; }
    Complex z() {
        const double re = d();
        return {re, d()};
    }
    std::string s(const char* stem) { return std::string(stem) + "#" + std::to_string(next_++); }
    Ratings ratings() {
        Ratings r{};
        for (double& v : r) v = d();
        return r;
    }
    Ownership ownership() {
        Ownership o;
        for (int k = 0; k < kOwnerCount; ++k) {
            o.owner[k] = i();
            o.fraction[k] = d();
        }
        return o;
    }

private:
    int next_ = 1;
};

inline Winding full_winding(Distinct& n) {
    Winding w;
    w.ratio = n.d();
    w.nominal_kv = n.d();
    w.angle_deg = n.d();
    w.ratings = n.ratings();
    w.control_mode = n.i();
    w.controlled_bus = -n.i();
    w.controlled_node = n.i();
    w.rmax = n.d();
    w.rmin = n.d();
    w.vmax = n.d();
    w.vmin = n.d();
    w.tap_positions = n.i();
    w.correction_table = n.i();
    w.load_drop_compensation = n.z();
    w.connection_angle = n.d();
    return w;
}

inline AuxRecord full_aux_record(Distinct& n) {
    AuxRecord inner;
    inner.fields = {FieldValue{n.s("conv")}, FieldValue{static_cast<long long>(n.i()) << 33},
                    FieldValue{n.d()}, FieldValue{}};
    AuxRecord r;
    r.fields = {FieldValue{n.s("dc")}, FieldValue{}, FieldValue{-7LL}, FieldValue{n.d()},
                FieldValue{std::string()}};
    r.groups = {{inner, inner}, {}, {AuxRecord{}}};
    r.groups[0][1].fields.push_back(FieldValue{n.d()});
    return r;
}

inline Case make_full_case() {
    Distinct n;
    Case c;
    c.identification = CaseIdentification{.change_code = n.i(),
                                          .base_mva = n.d(),
                                          .revision = n.i(),
                                          .transformer_rating_units = n.d(),
                                          .branch_rating_units = n.d(),
                                          .base_frequency = n.d(),
                                          .title1 = n.s("title one"),
                                          .title2 = n.s("title two")};
    c.system_wide.lines = {n.s("GENERAL, THRSHZ=0.0001"), "", n.s("RATING, 1, \"RATE1\"")};

    c.buses.push_back(Bus{.number = n.i(),
                          .name = n.s("BUS"),
                          .base_kv = n.d(),
                          .type = n.i(),
                          .area = n.i(),
                          .zone = n.i(),
                          .owner = n.i(),
                          .vm = n.d(),
                          .va_deg = n.d(),
                          .normal_vmax = n.d(),
                          .normal_vmin = n.d(),
                          .emergency_vmax = n.d(),
                          .emergency_vmin = n.d(),
                          .type_before_disconnect = n.i()});
    c.buses.push_back(Bus{.number = n.i(), .name = "second"});

    c.loads.push_back(Load{.bus = n.i(),
                           .id = n.s("L"),
                           .status = n.i(),
                           .area = n.i(),
                           .zone = n.i(),
                           .owner = n.i(),
                           .constant_power = n.z(),
                           .constant_current = n.z(),
                           .constant_admittance = n.z(),
                           .scalable = n.i(),
                           .interruptible = n.i(),
                           .distributed_generation = n.z(),
                           .distributed_generation_mode = n.i(),
                           .load_type = n.s("type"),
                           .name = n.s("load")});

    c.fixed_shunts.push_back(
        FixedShunt{.bus = n.i(), .id = n.s("F"), .status = n.i(), .admittance = n.z(), .name = n.s("fixed")});

    c.plants.push_back(Plant{.bus = n.i(),
                             .scheduled_voltage = n.d(),
                             .regulated_bus = n.i(),
                             .regulated_node = n.i(),
                             .rmpct = n.d()});

    c.machines.push_back(Machine{.bus = n.i(),
                                 .id = n.s("G"),
                                 .pg = n.d(),
                                 .qg = n.d(),
                                 .qmax = n.d(),
                                 .qmin = n.d(),
                                 .pmax = n.d(),
                                 .pmin = n.d(),
                                 .mbase = n.d(),
                                 .source_impedance = n.z(),
                                 .step_up_impedance = n.z(),
                                 .step_up_ratio = n.d(),
                                 .status = n.i(),
                                 .rmpct = n.d(),
                                 .ownership = n.ownership(),
                                 .wind_mode = n.i(),
                                 .wind_power_factor = n.d(),
                                 .base_load = n.i(),
                                 .name = n.s("machine")});

    c.lines.push_back(LineBranch{.from_bus = n.i(),
                                 .to_bus = n.i(),
                                 .ckt = n.s("C"),
                                 .r = n.d(),
                                 .x = n.d(),
                                 .b = n.d(),
                                 .from_shunt = n.z(),
                                 .to_shunt = n.z(),
                                 .status = n.i(),
                                 .metered_end = n.i(),
                                 .length = n.d(),
                                 .ownership = n.ownership(),
                                 .ratings = n.ratings(),
                                 .name = n.s("line")});

    c.switching_devices.push_back(SwitchingDevice{.from_bus = n.i(),
                                                  .to_bus = n.i(),
                                                  .ckt = n.s("S"),
                                                  .x = n.d(),
                                                  .ratings = n.ratings(),
                                                  .status = n.i(),
                                                  .normal_status = n.i(),
                                                  .metered_end = n.i(),
                                                  .type = n.i(),
                                                  .name = n.s("switch")});

    Transformer t;
    t.bus1 = n.i();
    t.bus2 = n.i();
    t.bus3 = n.i();
    t.ckt = n.s("T");
    t.winding_code = n.i();
    t.impedance_code = n.i();
    t.magnetizing_code = n.i();
    t.mag1 = n.d();
    t.mag2 = -n.d();
    t.non_metered_winding = n.i();
    t.name = n.s("transformer");
    t.status = n.i();
    t.ownership = n.ownership();
    t.vector_group = n.s("YNd1");
    t.impedance_correction_code = n.i();
    for (WindingPairImpedance& z : t.impedance) z = {.r = n.d(), .x = n.d(), .sbase = n.d()};
    t.star_vm = n.d();
    t.star_va_deg = n.d();
    for (Winding& w : t.windings) w = full_winding(n);
    c.transformers.push_back(t);

    c.areas.push_back(Area{.number = n.i(),
                           .swing_bus = n.i(),
                           .desired_mw = n.d(),
                           .tolerance_mw = n.d(),
                           .name = n.s("area")});
    c.two_terminal_dc_lines.push_back(full_aux_record(n));
    c.vsc_dc_lines.push_back(full_aux_record(n));
    c.impedance_correction_tables.push_back(ImpedanceCorrectionTable{
        .number = n.i(), .points = {{.t = n.d(), .factor = n.z()}, {.t = n.d(), .factor = n.z()}}});
    c.multi_terminal_dc_lines.push_back(full_aux_record(n));
    c.multi_section_lines.push_back(MultiSectionLine{.from_bus = n.i(),
                                                     .to_bus = n.i(),
                                                     .id = n.s("&"),
                                                     .metered_end = n.i(),
                                                     .dummy_buses = {n.i(), n.i(), n.i()}});
    c.zones.push_back(Zone{.number = n.i(), .name = n.s("zone")});
    c.inter_area_transfers.push_back(
        InterAreaTransfer{.from_area = n.i(), .to_area = n.i(), .id = n.s("I"), .mw = n.d()});
    c.owners.push_back(Owner{.number = n.i(), .name = n.s("owner")});
    c.facts_devices.push_back(full_aux_record(n));

    SwitchedShunt sw;
    sw.bus = n.i();
    sw.id = n.s("W");
    sw.control_mode = n.i();
    sw.adjustment_method = n.i();
    sw.status = n.i();
    sw.vswhi = n.d();
    sw.vswlo = n.d();
    sw.regulated_bus = n.i();
    sw.regulated_node = n.i();
    sw.rmpct = n.d();
    sw.vsc_name = n.s("vsc");
    sw.initial_mvar = n.d();
    for (int k = 0; k < kSwitchedShuntBlockCount; ++k) {
        sw.steps[k] = n.i();
        sw.mvar_per_step[k] = n.d();
        sw.block_status[k] = n.i();
    }
    sw.name = n.s("switched");
    c.switched_shunts.push_back(sw);

    c.gne_devices.push_back(full_aux_record(n));

    InductionMachine m;
    m.bus = n.i();
    m.id = n.s("M");
    m.status = n.i();
    m.scode = n.i();
    m.dcode = n.i();
    m.area = n.i();
    m.zone = n.i();
    m.owner = n.i();
    m.tcode = n.i();
    m.bcode = n.i();
    m.mbase = n.d();
    m.ratekv = n.d();
    m.pcode = n.i();
    m.pset = n.d();
    m.h = n.d();
    m.a = n.d();
    m.b = n.d();
    m.d = n.d();
    m.e = n.d();
    m.ra = n.d();
    m.xa = n.d();
    m.xm = n.d();
    m.r1 = n.d();
    m.x1 = n.d();
    m.r2 = n.d();
    m.x2 = n.d();
    m.x3 = n.d();
    m.e1 = n.d();
    m.se1 = n.d();
    m.e2 = n.d();
    m.se2 = n.d();
    m.ia1 = n.d();
    m.ia2 = n.d();
    m.xamult = n.d();
    m.name = n.s("induction");
    c.induction_machines.push_back(m);

    Substation s;
    s.number = n.i();
    s.name = n.s("substation");
    s.latitude = n.d();
    s.longitude = -n.d();
    s.grounding_resistance = n.d();
    s.nodes.push_back(SubstationNode{
        .number = n.i(), .name = n.s("node"), .bus = n.i(), .status = n.i(), .vm = n.d(), .va_deg = n.d()});
    s.switching_devices.push_back(SubstationSwitchingDevice{.from_node = n.i(),
                                                            .to_node = n.i(),
                                                            .ckt = n.s("K"),
                                                            .name = n.s("breaker"),
                                                            .type = n.i(),
                                                            .status = n.i(),
                                                            .normal_status = n.i(),
                                                            .x = n.d(),
                                                            .ratings = {n.d(), n.d(), n.d()}});
    s.terminals.push_back(SubstationTerminal{
        .bus = n.i(), .node = n.i(), .type = n.s("B"), .bus2 = n.i(), .bus3 = n.i(), .id = n.s("id")});
    c.substations.push_back(s);
    return c;
}

}  // namespace velquin::sim::testing
