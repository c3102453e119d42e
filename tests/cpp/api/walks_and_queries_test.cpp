#include <gtest/gtest.h>

#include <numbers>

#include "api_test_support.hpp"
#include "operations/bus_query.hpp"
#include "operations/element_walks.hpp"

namespace velquin::sim {
namespace {

using testing::case_with_buses;

// Bus 1 has: line to 2 (in), line to 3 (switched out), transformer to 4,
// a switching device to 5; bus 5 is out of service. Three-winding
// transformers 2-1-3 and 1-4-5.
Case walk_case() {
    Case c = case_with_buses(5);
    c.buses[4].type = kIsolatedBus;
    c.lines.push_back(testing::line(1, 2, "1"));
    c.lines.push_back(testing::line(3, 1, "2"));
    c.lines.back().status = 0;
    c.lines.push_back(testing::line(2, 3, "9"));
    c.transformers.push_back(testing::transformer(4, 1, 0, "T"));
    c.transformers.push_back(testing::transformer(2, 1, 3, "A"));
    c.transformers.push_back(testing::transformer(1, 4, 5, "B"));
    SwitchingDevice sw;
    sw.from_bus = 1;
    sw.to_bus = 5;
    sw.ckt = "@1";
    c.switching_devices.push_back(sw);
    return c;
}

std::vector<std::pair<int, std::string>> walk_branches(ElementWalks& walks, const Case& c, CaseIndex& index,
                                                       int bus) {
    std::vector<std::pair<int, std::string>> seen;
    for (auto next = walks.next_branch(c, index, bus); next.code == 0;
         next = walks.next_branch(c, index, bus)) {
        seen.emplace_back(next.branch.far_bus, next.branch.ckt);
    }
    return seen;
}

TEST(BranchWalk, EveryBranchWithTwoInServiceOnlyWithOne) {
    const Case c = walk_case();
    CaseIndex index;
    ElementWalks walks;
    const auto all = walks.start_branches(c, index, 1, 0, 2);
    ASSERT_EQ(all.code, 0);
    EXPECT_EQ(all.count, 4);
    const std::vector<std::pair<int, std::string>> expected_all = {{2, "1"}, {3, "2"}, {4, "T"}, {5, "@1"}};
    EXPECT_EQ(walk_branches(walks, c, index, 1), expected_all);
    // Past the end the walk keeps answering "no more".
    EXPECT_EQ(walks.next_branch(c, index, 1).code, static_cast<int>(WalkCode::kEnd));

    ASSERT_EQ(walks.start_branches(c, index, 1, 0, 1).code, 0);
    const std::vector<std::pair<int, std::string>> expected_in = {{2, "1"}, {4, "T"}};
    EXPECT_EQ(walk_branches(walks, c, index, 1), expected_in);
}

TEST(BranchWalk, ThreeWindingWalkGivesTheOtherBusesInWindingOrder) {
    const Case c = walk_case();
    CaseIndex index;
    ElementWalks walks;
    ASSERT_EQ(walks.start_branches(c, index, 1, 0, 2).code, 0);
    auto first = walks.next_three_winding(c, index, 1);
    ASSERT_EQ(first.code, 0);
    EXPECT_EQ(first.transformer.second_bus, 2);
    EXPECT_EQ(first.transformer.third_bus, 3);
    EXPECT_EQ(first.transformer.ckt, "A");
    auto second = walks.next_three_winding(c, index, 1);
    ASSERT_EQ(second.code, 0);
    EXPECT_EQ(second.transformer.second_bus, 4);
    EXPECT_EQ(second.transformer.third_bus, 5);
    EXPECT_EQ(walks.next_three_winding(c, index, 1).code, static_cast<int>(WalkCode::kEnd));
    // In service only: the second transformer reaches out-of-service bus 5.
    ASSERT_EQ(walks.start_branches(c, index, 1, 0, 1).code, 0);
    EXPECT_EQ(walks.next_three_winding(c, index, 1).transformer.ckt, "A");
    EXPECT_EQ(walks.next_three_winding(c, index, 1).code, static_cast<int>(WalkCode::kEnd));
}

TEST(BranchWalk, RefusedStartsAndWalksAtAnotherBus) {
    const Case c = walk_case();
    CaseIndex index;
    ElementWalks walks;
    EXPECT_EQ(walks.next_branch(c, index, 1).code, static_cast<int>(WalkCode::kNotStarted));
    EXPECT_EQ(walks.start_branches(c, index, 8, 0, 2).code, static_cast<int>(WalkStartCode::kBusNotFound));
    EXPECT_EQ(walks.start_branches(c, index, 1, 0, 3).code,
              static_cast<int>(WalkStartCode::kInvalidSelection));
    EXPECT_EQ(walks.start_branches(c, index, 1, 2, 2).code, static_cast<int>(WalkStartCode::kInvalidNode));
    ASSERT_EQ(walks.start_branches(c, index, 2, 0, 2).code, 0);
    EXPECT_EQ(walks.next_branch(c, index, 1).code, static_cast<int>(WalkCode::kNotStarted));
    EXPECT_EQ(walks.next_branch(c, index, 8).code, static_cast<int>(WalkCode::kBusNotFound));
}

TEST(MachineWalk, EveryMachineAtTheBusInCaseOrder) {
    Case c = case_with_buses(2);
    c.machines.push_back(testing::machine(1, "1"));
    c.machines.push_back(testing::machine(2, "X"));
    c.machines.push_back(testing::machine(1, "2"));
    c.machines.back().status = 0;
    CaseIndex index;
    ElementWalks walks;
    EXPECT_EQ(walks.next_machine(c, index, 1).code, static_cast<int>(WalkCode::kNotStarted));
    ASSERT_EQ(walks.start_machines(c, index, 1), 0);
    EXPECT_EQ(walks.next_machine(c, index, 1).id, "1");
    EXPECT_EQ(walks.next_machine(c, index, 1).id, "2");
    EXPECT_EQ(walks.next_machine(c, index, 1).code, static_cast<int>(WalkCode::kEnd));
    EXPECT_EQ(walks.start_machines(c, index, 3), static_cast<int>(WalkStartCode::kBusNotFound));
}

TEST(BusQuery, QuantitiesByNameInTheirUnits) {
    Case c = case_with_buses(1);
    c.buses[0].vm = 1.02;
    c.buses[0].va_deg = -30.0;
    c.buses[0].type = kGeneratorBus;
    CaseIndex index;
    auto real = [&](std::string_view q) { return std::get<double>(bus_value(c, index, 1, q).value); };
    EXPECT_DOUBLE_EQ(real("PU"), 1.02);
    EXPECT_DOUBLE_EQ(real("KV"), 1.02 * 138.0);
    EXPECT_DOUBLE_EQ(real("BASE"), 138.0);
    EXPECT_DOUBLE_EQ(real("ANGLED"), -30.0);
    EXPECT_DOUBLE_EQ(real(" angle "), -std::numbers::pi / 6.0);
    EXPECT_EQ(std::get<int>(bus_value(c, index, 1, "TYPE").value), kGeneratorBus);
    EXPECT_EQ(std::get<int>(bus_value(c, index, 1, "OWNER").value), 7);
    EXPECT_EQ(bus_value(c, index, 1, "SPEED").code, static_cast<int>(BusQueryCode::kUnknownQuantity));
    EXPECT_EQ(bus_value(c, index, 2, "PU").code, static_cast<int>(BusQueryCode::kBusNotFound));
}

TEST(CaseIndex, FollowsElementsAddedOrReplacedBehindItsBack) {
    Case c = case_with_buses(3);
    CaseIndex index;
    EXPECT_EQ(index.bus(c, 3), 2u);
    EXPECT_FALSE(index.bus(c, 9));
    Bus extra;
    extra.number = 9;
    c.buses.push_back(extra);
    EXPECT_EQ(index.bus(c, 9), 3u);
    c.buses = case_with_buses(1).buses;
    EXPECT_FALSE(index.bus(c, 3));
    EXPECT_EQ(index.bus(c, 1), 0u);

    c.loads.resize(2);
    c.loads[0].bus = 1;
    c.loads[0].id = "ab";
    c.loads[1].bus = 1;
    c.loads[1].id = "1";
    EXPECT_EQ(index.load(c, 1, "AB  "), 0u);  // trailing blanks and letter case do not matter
    EXPECT_FALSE(index.load(c, 1, " AB"));    // leading ones do
    c.lines.push_back(testing::line(5, 6, "2"));
    EXPECT_EQ(index.line(c, 6, 5, "2"), 0u);
    c.transformers.push_back(testing::transformer(5, 6, 7, "1"));
    EXPECT_EQ(index.three_winding(c, 7, 5, 6, "1"), 0u);
    EXPECT_FALSE(index.two_winding(c, 5, 6, "1"));
}

TEST(CaseIndex, APositionThatNoLongerHoldsTheElementIsNotReturned) {
    Case c = case_with_buses(3);
    CaseIndex index;
    ASSERT_EQ(index.bus(c, 2), 1u);
    std::swap(c.buses[0].number, c.buses[1].number);  // rewritten in place, same buffer and size
    EXPECT_EQ(index.bus(c, 2), 0u);
    EXPECT_EQ(index.bus(c, 1), 1u);
}

}  // namespace
}  // namespace velquin::sim
