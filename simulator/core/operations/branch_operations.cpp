#include "operations/branch_operations.hpp"

#include "operations/checks.hpp"

namespace velquin::sim {

namespace {

std::string describe(int from, int to, std::string_view ckt) {
    return "branch " + std::to_string(from) + " to " + std::to_string(to) + " circuit '" + std::string(ckt) +
           "'";
}

}  // namespace

OperationResult set_line_data(Case& c, CaseIndex& index, const LineData& d) {
    Checks checks(c, index);
    checks.identifier("circuit", d.ckt);
    if (checks.ok() && normalize_identifier(d.ckt).front() == '&') {
        checks.fail(ElementCode::kInvalidIdentifier,
                    "circuit '" + d.ckt + "' starts with '&', which marks multi-section lines");
    }
    if (checks.ok() && d.from_bus == d.to_bus) {
        checks.fail(ElementCode::kRepeatedBus,
                    describe(d.from_bus, d.to_bus, d.ckt) + " has the same bus at both ends");
    }
    checks.existing_bus(d.from_bus);
    checks.existing_bus(d.to_bus);
    if (checks.ok() && (index.two_winding(c, d.from_bus, d.to_bus, d.ckt) ||
                        index.switching_device(c, d.from_bus, d.to_bus, d.ckt))) {
        checks.fail(ElementCode::kDuplicate, describe(d.from_bus, d.to_bus, d.ckt) +
                                                 ": the circuit is already used by another branch");
    }
    if (checks.ok() && d.metered_bus && *d.metered_bus != d.from_bus && *d.metered_bus != d.to_bus) {
        checks.fail(ElementCode::kInvalidValue,
                    "metered end bus " + std::to_string(*d.metered_bus) + " is not an end of the branch");
    }
    checks.range("status", d.status, 0, 1);
    checks.ownership(d.ownership);
    for (const auto& [field, value] : {std::pair{"R", &d.r},
                                       {"X", &d.x},
                                       {"B", &d.b},
                                       {"GI", &d.gi},
                                       {"BI", &d.bi},
                                       {"GJ", &d.gj},
                                       {"BJ", &d.bj},
                                       {"length", &d.length}}) {
        checks.finite(field, *value);
    }
    checks.finite("rating ", d.ratings);
    if (!checks.ok()) return checks.result();

    const auto position = index.line(c, d.from_bus, d.to_bus, d.ckt);
    LineBranch fresh;
    if (!position) {
        fresh.from_bus = d.from_bus;
        fresh.to_bus = d.to_bus;
        fresh.ckt = normalize_identifier(d.ckt);
        fresh.x = kDefaultBranchReactance;
        fresh.ownership.owner[0] = c.buses[*index.bus(c, d.from_bus)].owner;
    }
    LineBranch& line = position ? c.lines[*position] : fresh;
    // The shunts at the ends follow the buses the caller named.
    const bool reversed = line.from_bus != d.from_bus;
    Complex& shunt_i = reversed ? line.to_shunt : line.from_shunt;
    Complex& shunt_j = reversed ? line.from_shunt : line.to_shunt;
    if (d.gi) shunt_i.real(*d.gi);
    if (d.bi) shunt_i.imag(*d.bi);
    if (d.gj) shunt_j.real(*d.gj);
    if (d.bj) shunt_j.imag(*d.bj);
    assign(line.status, d.status);
    if (d.metered_bus) line.metered_end = *d.metered_bus == line.from_bus ? 1 : 2;
    apply_ownership(line.ownership, d.ownership);
    assign(line.r, d.r);
    assign(line.x, d.x);
    assign(line.b, d.b);
    assign(line.length, d.length);
    apply_ratings(line.ratings, d.ratings);
    assign(line.name, d.name);
    if (!position) c.lines.push_back(std::move(fresh));
    return OperationResult::done();
}

}  // namespace velquin::sim
