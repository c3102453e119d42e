// Walks over the elements at one bus: two-terminal branches, three-winding
// transformers and machines. A walk is started at a bus and then returns
// one element per call until it reports the end; the list is taken when the
// walk starts, so later changes to the case do not disturb it.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "operations/case_index.hpp"

namespace velquin::sim {

// Codes of the calls that return the next element.
enum class WalkCode : int {
    kReturned = 0,
    kBusNotFound = 1,
    kEnd = 2,         // no more elements
    kNotStarted = 3,  // no walk was started at this bus
};

// Codes of the calls that start a walk.
enum class WalkStartCode : int {
    kStarted = 0,
    kBusNotFound = 1,
    kInvalidSelection = 2,  // `single` is neither 1 nor 2
    kInvalidNode = 3,
};

struct BranchAtBus {
    int far_bus = 0;
    std::string ckt;
};

struct ThreeWindingAtBus {
    int second_bus = 0;  // the other two buses in winding order
    int third_bus = 0;
    std::string ckt;
};

// Lines, two-winding transformers and switching devices at `bus`, in that
// order and each kind in case order. With `in_service_only`, elements that
// are switched out or reach an out-of-service bus are left out.
std::vector<BranchAtBus> branches_at_bus(const Case& c, CaseIndex& index, int bus, bool in_service_only);
std::vector<ThreeWindingAtBus> three_windings_at_bus(const Case& c, CaseIndex& index, int bus,
                                                     bool in_service_only);

class ElementWalks {
public:
    struct Started {
        int code = 0;
        int count = 0;  // two-terminal branches the walk will return
        std::string message;
    };
    struct NextBranch {
        int code = 0;
        BranchAtBus branch;
    };
    struct NextThreeWinding {
        int code = 0;
        ThreeWindingAtBus transformer;
    };
    struct NextMachine {
        int code = 0;
        std::string id;
    };

    void reset() { *this = ElementWalks{}; }

    // `single` 1 walks in-service elements only, 2 every element. Starts
    // both the branch and the three-winding walk at the bus.
    Started start_branches(const Case& c, CaseIndex& index, int bus, int node, int single);
    NextBranch next_branch(const Case& c, CaseIndex& index, int bus);
    NextThreeWinding next_three_winding(const Case& c, CaseIndex& index, int bus);

    // Every machine at the bus, in and out of service, in case order.
    int start_machines(const Case& c, CaseIndex& index, int bus);
    NextMachine next_machine(const Case& c, CaseIndex& index, int bus);

private:
    bool branch_walk_started_ = false;
    int branch_bus_ = 0;
    std::vector<BranchAtBus> branches_;
    std::size_t next_branch_ = 0;
    std::vector<ThreeWindingAtBus> three_windings_;
    std::size_t next_three_winding_ = 0;

    bool machine_walk_started_ = false;
    int machine_bus_ = 0;
    std::vector<std::string> machines_;
    std::size_t next_machine_ = 0;
};

}  // namespace velquin::sim
