#include "operations/transformer_operations.hpp"

#include <array>
#include <limits>

#include "operations/branch_operations.hpp"
#include "operations/checks.hpp"
#include "operations/transformer_impedance.hpp"

namespace velquin::sim {

namespace {

constexpr int kMaxTapPositions = 9999;
constexpr int kMaxControlMode = 5;

TransformerResult refused(OperationResult result, std::size_t realaro_size) {
    return TransformerResult{std::move(result), std::vector<double>(realaro_size, 0.0)};
}

void check_winding(Checks& checks, const WindingData& w, const std::string& prefix) {
    checks.range(prefix + "tap positions", w.tap_positions, 2, kMaxTapPositions);
    checks.range(prefix + "impedance correction table", w.correction_table, 0,
                 std::numeric_limits<int>::max());
    checks.bus_or_none(prefix + "controlled bus", w.controlled_bus);
    checks.range(prefix + "controlled node", w.controlled_node, 0, std::numeric_limits<int>::max());
    checks.signed_range(prefix + "control mode", w.control_mode, kMaxControlMode);
    for (const auto& [field, value] : {std::pair{"ratio", &w.ratio},
                                       {"nominal voltage", &w.nominal_kv},
                                       {"angle", &w.angle_deg},
                                       {"RMA", &w.rmax},
                                       {"RMI", &w.rmin},
                                       {"VMA", &w.vmax},
                                       {"VMI", &w.vmin},
                                       {"compensation R", &w.compensation_r},
                                       {"compensation X", &w.compensation_x},
                                       {"connection angle", &w.connection_angle}}) {
        checks.finite(prefix + field, *value);
    }
    checks.finite(prefix + "rating ", w.ratings);
}

void apply_winding(Winding& w, const WindingData& d) {
    assign(w.tap_positions, d.tap_positions);
    assign(w.correction_table, d.correction_table);
    assign(w.controlled_bus, d.controlled_bus);
    assign(w.controlled_node, d.controlled_node);
    assign(w.control_mode, d.control_mode);
    assign(w.ratio, d.ratio);
    assign(w.nominal_kv, d.nominal_kv);
    assign(w.angle_deg, d.angle_deg);
    assign(w.rmax, d.rmax);
    assign(w.rmin, d.rmin);
    assign(w.vmax, d.vmax);
    assign(w.vmin, d.vmin);
    if (d.compensation_r) w.load_drop_compensation.real(*d.compensation_r);
    if (d.compensation_x) w.load_drop_compensation.imag(*d.compensation_x);
    assign(w.connection_angle, d.connection_angle);
    apply_ratings(w.ratings, d.ratings);
}

void check_codes(Checks& checks, const OptionalInt& cw, const OptionalInt& cz, const OptionalInt& cm,
                 const OptionalInt& zcod) {
    checks.range("winding data code CW", cw, 1, 3);
    checks.range("impedance data code CZ", cz, 1, 3);
    checks.range("magnetizing data code CM", cm, 1, 2);
    checks.range("impedance correction code", zcod, 0, 1);
}

// A new winding's ratio: 1 pu, or with CW 2 the bus base voltage in kV.
double default_ratio(const Case& c, CaseIndex& index, int winding_code, int bus) {
    if (winding_code != 2) return 1.0;
    const double kv = c.buses[*index.bus(c, bus)].base_kv;
    return kv > 0.0 ? kv : 1.0;
}

std::string describe(int i, int j, int k, std::string_view ckt) {
    std::string text = "transformer " + std::to_string(i) + " to " + std::to_string(j);
    if (k != 0) text += " to " + std::to_string(k);
    return text + " circuit '" + std::string(ckt) + "'";
}

}  // namespace

TransformerResult set_two_winding_data(Case& c, CaseIndex& index, const TwoWindingData& d) {
    Checks checks(c, index);
    checks.identifier("circuit", d.ckt);
    if (checks.ok() && d.bus_i == d.bus_j) {
        checks.fail(ElementCode::kRepeatedBus,
                    describe(d.bus_i, d.bus_j, 0, d.ckt) + " has the same bus at both ends");
    }
    checks.existing_bus(d.bus_i);
    checks.existing_bus(d.bus_j);
    if (checks.ok() &&
        (index.line(c, d.bus_i, d.bus_j, d.ckt) || index.switching_device(c, d.bus_i, d.bus_j, d.ckt))) {
        checks.fail(ElementCode::kDuplicate,
                    describe(d.bus_i, d.bus_j, 0, d.ckt) + ": the circuit is already used by another branch");
    }
    checks.range("winding 1 side", d.winding1_side, 1, 2);
    if (checks.ok() && d.metered_bus && *d.metered_bus != d.bus_i && *d.metered_bus != d.bus_j) {
        checks.fail(ElementCode::kInvalidValue, "metered end bus " + std::to_string(*d.metered_bus) +
                                                    " is not an end of the transformer");
    }
    checks.range("status", d.status, 0, 1);
    checks.ownership(d.ownership);
    check_codes(checks, d.winding_code, d.impedance_code, d.magnetizing_code, d.impedance_correction_code);
    checks.finite("R", d.r);
    checks.finite("X", d.x);
    checks.positive("winding MVA base", d.sbase);
    checks.finite("MAG1", d.mag1);
    checks.finite("MAG2", d.mag2);
    check_winding(checks, d.winding1, "winding 1 ");
    checks.finite("winding 2 ratio", d.winding2_ratio);
    checks.finite("winding 2 nominal voltage", d.winding2_nominal_kv);
    if (!checks.ok()) return refused(checks.result(), 2);

    const auto position = index.two_winding(c, d.bus_i, d.bus_j, d.ckt);
    Transformer fresh;
    if (!position) {
        const bool at_j = d.winding1_side.value_or(1) == 2;
        fresh.bus1 = at_j ? d.bus_j : d.bus_i;
        fresh.bus2 = at_j ? d.bus_i : d.bus_j;
        fresh.ckt = normalize_identifier(d.ckt);
        fresh.ownership.owner[0] = c.buses[*index.bus(c, fresh.bus1)].owner;
        fresh.impedance[0].x = kDefaultBranchReactance;
        fresh.impedance[0].sbase = c.identification.base_mva;
        const int cw = d.winding_code.value_or(fresh.winding_code);
        fresh.windings[0].ratio = default_ratio(c, index, cw, fresh.bus1);
        fresh.windings[1].ratio = default_ratio(c, index, cw, fresh.bus2);
    }
    Transformer& t = position ? c.transformers[*position] : fresh;
    if (position && d.winding1_side) {
        const int wanted = *d.winding1_side == 1 ? d.bus_i : d.bus_j;
        if (t.bus1 != wanted) std::swap(t.bus1, t.bus2);
    }
    assign(t.status, d.status);
    if (d.metered_bus) t.non_metered_winding = *d.metered_bus == t.bus1 ? 2 : 1;
    apply_ownership(t.ownership, d.ownership);
    assign(t.impedance_correction_code, d.impedance_correction_code);
    assign(t.winding_code, d.winding_code);
    assign(t.impedance_code, d.impedance_code);
    assign(t.magnetizing_code, d.magnetizing_code);
    assign(t.impedance[0].r, d.r);
    assign(t.impedance[0].x, d.x);
    assign(t.impedance[0].sbase, d.sbase);
    assign(t.mag1, d.mag1);
    assign(t.mag2, d.mag2);
    apply_winding(t.windings[0], d.winding1);
    assign(t.windings[1].ratio, d.winding2_ratio);
    assign(t.windings[1].nominal_kv, d.winding2_nominal_kv);
    assign(t.name, d.name);
    assign(t.vector_group, d.vector_group);
    const Complex z = pair_impedance_on_system_base(t, 0, c.identification.base_mva);
    if (!position) c.transformers.push_back(std::move(fresh));
    return TransformerResult{OperationResult::done(), {z.real(), z.imag()}};
}

TransformerResult set_three_winding_impedance_data(Case& c, CaseIndex& index,
                                                   const ThreeWindingImpedanceData& d) {
    constexpr std::size_t kRealaroSize = 6;
    Checks checks(c, index);
    checks.identifier("circuit", d.ckt);
    if (checks.ok() && (d.bus_i == d.bus_j || d.bus_j == d.bus_k || d.bus_i == d.bus_k)) {
        checks.fail(ElementCode::kRepeatedBus,
                    describe(d.bus_i, d.bus_j, d.bus_k, d.ckt) + " names a bus twice");
    }
    checks.existing_bus(d.bus_i);
    checks.existing_bus(d.bus_j);
    checks.existing_bus(d.bus_k);
    if (!checks.ok()) return refused(checks.result(), kRealaroSize);

    const auto position = index.three_winding(c, d.bus_i, d.bus_j, d.bus_k, d.ckt);
    // Winding order: the existing transformer's, else winding 1 at the
    // given bus and the other two in the order named.
    std::array<int, 3> order{d.bus_i, d.bus_j, d.bus_k};
    if (position) {
        const Transformer& t = c.transformers[*position];
        order = {t.bus1, t.bus2, t.bus3};
    }
    if (d.winding1_bus && *d.winding1_bus != order[0]) {
        if (position) {
            checks.fail(ElementCode::kInvalidValue,
                        "winding 1 of " + describe(order[0], order[1], order[2], d.ckt) + " is at bus " +
                            std::to_string(order[0]) + "; the winding order cannot be changed");
        } else if (*d.winding1_bus == order[1]) {
            order = {order[1], order[0], order[2]};
        } else if (*d.winding1_bus == order[2]) {
            order = {order[2], order[0], order[1]};
        } else {
            checks.fail(ElementCode::kInvalidValue, "winding 1 bus " + std::to_string(*d.winding1_bus) +
                                                        " is not a bus of the transformer");
        }
    }
    int non_metered = 0;
    if (checks.ok() && d.non_metered_bus) {
        for (int w = 0; w < 3; ++w) {
            if (order[static_cast<std::size_t>(w)] == *d.non_metered_bus) non_metered = w + 1;
        }
        if (non_metered == 0) {
            checks.fail(ElementCode::kInvalidValue, "non-metered end bus " +
                                                        std::to_string(*d.non_metered_bus) +
                                                        " is not a bus of the transformer");
        }
    }
    checks.ownership(d.ownership);
    check_codes(checks, d.winding_code, d.impedance_code, d.magnetizing_code, d.impedance_correction_code);
    checks.range("status", d.status, 0, 4);
    for (std::size_t p = 0; p < 3; ++p) {
        checks.finite("R", d.r[p]);
        checks.finite("X", d.x[p]);
        checks.positive("winding MVA base", d.sbase[p]);
    }
    checks.finite("MAG1", d.mag1);
    checks.finite("MAG2", d.mag2);
    checks.non_negative("star point voltage", d.star_vm);
    checks.finite("star point angle", d.star_va_deg);
    if (!checks.ok()) return refused(checks.result(), kRealaroSize);

    Transformer fresh;
    if (!position) {
        fresh.bus1 = order[0];
        fresh.bus2 = order[1];
        fresh.bus3 = order[2];
        fresh.ckt = normalize_identifier(d.ckt);
        fresh.ownership.owner[0] = c.buses[*index.bus(c, fresh.bus1)].owner;
        for (auto& z : fresh.impedance) {
            z.x = kDefaultBranchReactance;
            z.sbase = c.identification.base_mva;
        }
        const int cw = d.winding_code.value_or(fresh.winding_code);
        for (std::size_t w = 0; w < 3; ++w) fresh.windings[w].ratio = default_ratio(c, index, cw, order[w]);
    }
    Transformer& t = position ? c.transformers[*position] : fresh;
    apply_ownership(t.ownership, d.ownership);
    assign(t.winding_code, d.winding_code);
    assign(t.impedance_code, d.impedance_code);
    assign(t.magnetizing_code, d.magnetizing_code);
    assign(t.status, d.status);
    if (non_metered != 0) t.non_metered_winding = non_metered;
    assign(t.impedance_correction_code, d.impedance_correction_code);
    for (std::size_t p = 0; p < 3; ++p) {
        assign(t.impedance[p].r, d.r[p]);
        assign(t.impedance[p].x, d.x[p]);
        assign(t.impedance[p].sbase, d.sbase[p]);
    }
    assign(t.mag1, d.mag1);
    assign(t.mag2, d.mag2);
    assign(t.star_vm, d.star_vm);
    assign(t.star_va_deg, d.star_va_deg);
    assign(t.name, d.name);
    assign(t.vector_group, d.vector_group);
    std::vector<double> realaro;
    for (int p = 0; p < 3; ++p) {
        const Complex z = pair_impedance_on_system_base(t, p, c.identification.base_mva);
        realaro.push_back(z.real());
        realaro.push_back(z.imag());
    }
    if (!position) c.transformers.push_back(std::move(fresh));
    return TransformerResult{OperationResult::done(), std::move(realaro)};
}

TransformerResult set_three_winding_winding_data(Case& c, CaseIndex& index,
                                                 const ThreeWindingWindingData& d) {
    Checks checks(c, index);
    checks.identifier("circuit", d.ckt);
    if (!checks.ok()) return refused(checks.result(), 2);
    const auto position = index.three_winding(c, d.bus_i, d.bus_j, d.bus_k, d.ckt);
    if (!position) {
        return refused(refuse(ElementCode::kElementNotFound,
                              describe(d.bus_i, d.bus_j, d.bus_k, d.ckt) + " does not exist"),
                       2);
    }
    checks.range("winding number", OptionalInt{d.winding}, 1, 3);
    check_winding(checks, d.data, "");
    if (!checks.ok()) return refused(checks.result(), 2);
    Transformer& t = c.transformers[*position];
    apply_winding(t.windings[static_cast<std::size_t>(d.winding - 1)], d.data);
    const Complex z = star_branch_impedance(t, d.winding - 1, c.identification.base_mva);
    return TransformerResult{OperationResult::done(), {z.real(), z.imag()}};
}

}  // namespace velquin::sim
