#include "operations/element_walks.hpp"

#include "operations/element_views.hpp"

namespace velquin::sim {

namespace {

constexpr int kInServiceOnly = 1;
constexpr int kEveryElement = 2;

template <class Element>
void collect_two_terminal(const Case& c, CaseIndex& index, const std::vector<Element>& elements, int bus,
                          bool in_service_only, std::vector<BranchAtBus>& out) {
    for (const Element& e : elements) {
        if (e.from_bus != bus && e.to_bus != bus) continue;
        const int far = e.from_bus == bus ? e.to_bus : e.from_bus;
        if (in_service_only &&
            (e.status == 0 || !bus_in_service(c, index, bus) || !bus_in_service(c, index, far))) {
            continue;
        }
        out.push_back(BranchAtBus{far, e.ckt});
    }
}

}  // namespace

std::vector<BranchAtBus> branches_at_bus(const Case& c, CaseIndex& index, int bus, bool in_service_only) {
    std::vector<BranchAtBus> found;
    collect_two_terminal(c, index, c.lines, bus, in_service_only, found);
    for (const Transformer& t : c.transformers) {
        if (t.is_three_winding() || (t.bus1 != bus && t.bus2 != bus)) continue;
        const int far = t.bus1 == bus ? t.bus2 : t.bus1;
        if (in_service_only &&
            (t.status == 0 || !bus_in_service(c, index, bus) || !bus_in_service(c, index, far))) {
            continue;
        }
        found.push_back(BranchAtBus{far, t.ckt});
    }
    collect_two_terminal(c, index, c.switching_devices, bus, in_service_only, found);
    return found;
}

std::vector<ThreeWindingAtBus> three_windings_at_bus(const Case& c, CaseIndex& index, int bus,
                                                     bool in_service_only) {
    std::vector<ThreeWindingAtBus> found;
    for (const Transformer& t : c.transformers) {
        if (!t.is_three_winding()) continue;
        int winding = 0;
        for (int w = 1; w <= 3; ++w) {
            if (winding_bus(t, w) == bus) winding = w;
        }
        if (winding == 0) continue;
        int others[2] = {0, 0};
        int n = 0;
        for (int w = 1; w <= 3; ++w) {
            if (w != winding) others[n++] = winding_bus(t, w);
        }
        if (in_service_only &&
            (!winding_in_service(t, winding) || !bus_in_service(c, index, bus) ||
             !bus_in_service(c, index, others[0]) || !bus_in_service(c, index, others[1]))) {
            continue;
        }
        found.push_back(ThreeWindingAtBus{others[0], others[1], t.ckt});
    }
    return found;
}

ElementWalks::Started ElementWalks::start_branches(const Case& c, CaseIndex& index, int bus, int node,
                                                   int single) {
    if (!index.bus(c, bus)) {
        return Started{static_cast<int>(WalkStartCode::kBusNotFound), 0,
                       "bus " + std::to_string(bus) + " does not exist"};
    }
    if (single != kInServiceOnly && single != kEveryElement) {
        return Started{static_cast<int>(WalkStartCode::kInvalidSelection), 0,
                       "selection " + std::to_string(single) + " is neither 1 (in service) nor 2 (all)"};
    }
    if (node != 0) {
        bool found = false;
        for (const Substation& s : c.substations) {
            for (const SubstationNode& n : s.nodes) found = found || (n.bus == bus && n.number == node);
        }
        if (!found) {
            return Started{static_cast<int>(WalkStartCode::kInvalidNode), 0,
                           "node " + std::to_string(node) + " is not a node of bus " + std::to_string(bus)};
        }
    }
    const bool in_service_only = single == kInServiceOnly;
    branch_walk_started_ = true;
    branch_bus_ = bus;
    branches_ = branches_at_bus(c, index, bus, in_service_only);
    next_branch_ = 0;
    three_windings_ = three_windings_at_bus(c, index, bus, in_service_only);
    next_three_winding_ = 0;
    return Started{0, static_cast<int>(branches_.size()), {}};
}

ElementWalks::NextBranch ElementWalks::next_branch(const Case& c, CaseIndex& index, int bus) {
    if (!index.bus(c, bus)) return NextBranch{static_cast<int>(WalkCode::kBusNotFound), {}};
    if (!branch_walk_started_ || branch_bus_ != bus)
        return NextBranch{static_cast<int>(WalkCode::kNotStarted), {}};
    if (next_branch_ >= branches_.size()) return NextBranch{static_cast<int>(WalkCode::kEnd), {}};
    return NextBranch{0, branches_[next_branch_++]};
}

ElementWalks::NextThreeWinding ElementWalks::next_three_winding(const Case& c, CaseIndex& index, int bus) {
    if (!index.bus(c, bus)) return NextThreeWinding{static_cast<int>(WalkCode::kBusNotFound), {}};
    if (!branch_walk_started_ || branch_bus_ != bus) {
        return NextThreeWinding{static_cast<int>(WalkCode::kNotStarted), {}};
    }
    if (next_three_winding_ >= three_windings_.size())
        return NextThreeWinding{static_cast<int>(WalkCode::kEnd), {}};
    return NextThreeWinding{0, three_windings_[next_three_winding_++]};
}

int ElementWalks::start_machines(const Case& c, CaseIndex& index, int bus) {
    if (!index.bus(c, bus)) return static_cast<int>(WalkStartCode::kBusNotFound);
    machine_walk_started_ = true;
    machine_bus_ = bus;
    machines_.clear();
    for (const Machine& m : c.machines) {
        if (m.bus == bus) machines_.push_back(m.id);
    }
    next_machine_ = 0;
    return 0;
}

ElementWalks::NextMachine ElementWalks::next_machine(const Case& c, CaseIndex& index, int bus) {
    if (!index.bus(c, bus)) return NextMachine{static_cast<int>(WalkCode::kBusNotFound), {}};
    if (!machine_walk_started_ || machine_bus_ != bus)
        return NextMachine{static_cast<int>(WalkCode::kNotStarted), {}};
    if (next_machine_ >= machines_.size()) return NextMachine{static_cast<int>(WalkCode::kEnd), {}};
    return NextMachine{0, machines_[next_machine_++]};
}

}  // namespace velquin::sim
