#include <gtest/gtest.h>

#include <cmath>

#include "api_test_support.hpp"
#include "operations/branch_operations.hpp"
#include "operations/bus_operations.hpp"
#include "operations/transformer_operations.hpp"

namespace velquin::sim {
namespace {

using testing::case_with_buses;
using testing::code_of;

TEST(BusData, NewBusTakesDefaultsForWhatIsNotGiven) {
    Case c;
    CaseIndex index;
    BusData d;
    d.number = 5001;
    d.base_kv = 230.0;
    d.name = "NORTH";
    ASSERT_EQ(set_bus_data(c, index, d).code, 0);
    ASSERT_EQ(c.buses.size(), 1u);
    Bus expected;
    expected.number = 5001;
    expected.base_kv = 230.0;
    expected.name = "NORTH";
    EXPECT_EQ(c.buses[0], expected);
}

TEST(BusData, ExistingBusChangesOnlyTheFieldsGiven) {
    Case c = case_with_buses(2);
    c.buses[1].vm = 1.04;
    c.buses[1].name = "KEEP";
    CaseIndex index;
    BusData d;
    d.number = 2;
    d.va_deg = -12.5;
    ASSERT_EQ(set_bus_data(c, index, d).code, 0);
    Bus expected = case_with_buses(2).buses[1];
    expected.vm = 1.04;
    expected.name = "KEEP";
    expected.va_deg = -12.5;
    EXPECT_EQ(c.buses[1], expected);
    EXPECT_EQ(c.buses.size(), 2u);
}

TEST(BusData, RefusalsReturnTheirCodeAndChangeNothing) {
    const Case original = case_with_buses(2);
    struct Refused {
        BusData data;
        ElementCode code;
    };
    std::vector<Refused> cases;
    cases.push_back({BusData{.number = 0}, ElementCode::kBusOutOfRange});
    cases.push_back({BusData{.number = 1000000}, ElementCode::kBusOutOfRange});
    cases.push_back({BusData{.number = 1, .type = 5}, ElementCode::kInvalidValue});
    cases.push_back({BusData{.number = 1, .type = 0}, ElementCode::kInvalidValue});
    cases.push_back({BusData{.number = 3, .area = 0}, ElementCode::kInvalidValue});
    cases.push_back({BusData{.number = 1, .owner = 10000}, ElementCode::kInvalidValue});
    cases.push_back({BusData{.number = 1, .base_kv = -1.0}, ElementCode::kInvalidValue});
    cases.push_back({BusData{.number = 1, .va_deg = std::nan("")}, ElementCode::kInvalidValue});
    cases.push_back({BusData{.number = 1, .node = 4}, ElementCode::kInvalidNode});
    for (const Refused& r : cases) {
        Case c = original;
        CaseIndex index;
        const OperationResult result = set_bus_data(c, index, r.data);
        EXPECT_EQ(result.code, code_of(r.code)) << result.message;
        EXPECT_FALSE(result.message.empty());
        EXPECT_EQ(c, original);
    }
    {
        // The highest number bus renumbering can hand out is a valid new bus.
        Case c = original;
        CaseIndex index;
        EXPECT_EQ(set_bus_data(c, index, BusData{.number = 999999}).code, 0);
    }
    Case c = original;
    CaseIndex index;
    EXPECT_EQ(change_bus_data(c, index, BusData{.number = 3, .vm = 1.0}).code,
              code_of(ElementCode::kBusNotFound));
    EXPECT_EQ(c, original);
}

TEST(BusData, NodeOfTheBusInASubstationIsAccepted) {
    Case c = case_with_buses(1);
    Substation s;
    SubstationNode node;
    node.number = 4;
    node.bus = 1;
    s.nodes.push_back(node);
    c.substations.push_back(s);
    CaseIndex index;
    EXPECT_EQ(set_bus_data(c, index, BusData{.number = 1, .node = 4, .vm = 0.98}).code, 0);
    EXPECT_DOUBLE_EQ(c.buses[0].vm, 0.98);
}

TEST(Disconnect, RemembersTheTypeAndReconnectRestoresIt) {
    Case c = case_with_buses(2);
    c.buses[0].type = kSwingBus;
    c.lines.push_back(testing::line(1, 2));
    const Case before = c;
    CaseIndex index;
    ASSERT_EQ(disconnect_bus(c, index, 1).code, 0);
    EXPECT_EQ(c.buses[0].type, kIsolatedBus);
    EXPECT_EQ(c.buses[0].type_before_disconnect, kSwingBus);
    EXPECT_EQ(c.lines[0].status, 1);  // the branch keeps its own status
    // A second disconnect must not overwrite the remembered type with 4.
    ASSERT_EQ(disconnect_bus(c, index, 1).code, 0);
    ASSERT_EQ(reconnect_bus(c, index, 1).code, 0);
    EXPECT_EQ(c, before);
}

TEST(Disconnect, ReconnectOfABusIsolatedOtherwiseDependsOnItsMachines) {
    Case c = case_with_buses(3);
    c.buses[0].type = kIsolatedBus;
    c.buses[1].type = kIsolatedBus;
    c.machines.push_back(testing::machine(1, "1"));
    c.machines.push_back(testing::machine(2, "1"));
    c.machines.back().status = 0;
    CaseIndex index;
    ASSERT_EQ(reconnect_bus(c, index, 1).code, 0);
    ASSERT_EQ(reconnect_bus(c, index, 2).code, 0);
    EXPECT_EQ(c.buses[0].type, kGeneratorBus);
    EXPECT_EQ(c.buses[1].type, kLoadBus);
    // Reconnecting a bus in service changes nothing.
    c.buses[2].type = kGeneratorBus;
    ASSERT_EQ(reconnect_bus(c, index, 3).code, 0);
    EXPECT_EQ(c.buses[2].type, kGeneratorBus);
    EXPECT_EQ(disconnect_bus(c, index, 9).code, code_of(ElementCode::kBusNotFound));
    EXPECT_EQ(reconnect_bus(c, index, 9).code, code_of(ElementCode::kBusNotFound));
}

TEST(Disconnect, SettingTheTypeExplicitlyForgetsTheRememberedOne) {
    Case c = case_with_buses(1);
    c.buses[0].type = kGeneratorBus;
    CaseIndex index;
    disconnect_bus(c, index, 1);
    set_bus_data(c, index, BusData{.number = 1, .type = kIsolatedBus});
    reconnect_bus(c, index, 1);
    EXPECT_EQ(c.buses[0].type, kLoadBus);  // no machine at the bus
}

TEST(LineData, NewLineDefaultsAndOwnerOfTheFromBus) {
    Case c = case_with_buses(2);
    CaseIndex index;
    LineData d{.from_bus = 1, .to_bus = 2, .ckt = "A "};
    d.r = 0.01;
    ASSERT_EQ(set_line_data(c, index, d).code, 0);
    ASSERT_EQ(c.lines.size(), 1u);
    const LineBranch& l = c.lines[0];
    EXPECT_EQ(l.ckt, "A");
    EXPECT_DOUBLE_EQ(l.r, 0.01);
    EXPECT_DOUBLE_EQ(l.x, kDefaultBranchReactance);
    EXPECT_EQ(l.status, 1);
    EXPECT_EQ(l.metered_end, 1);
    EXPECT_EQ(l.ownership.owner, (std::array<int, 4>{7, 0, 0, 0}));
}

TEST(LineData, ChangeFromTheOtherEndKeepsShuntsAtTheirBuses) {
    Case c = case_with_buses(2);
    CaseIndex index;
    LineData first{.from_bus = 1, .to_bus = 2, .ckt = "1"};
    first.gi = 0.1;
    first.bj = 0.2;
    first.x = 0.3;
    ASSERT_EQ(set_line_data(c, index, first).code, 0);
    LineData change{.from_bus = 2, .to_bus = 1, .ckt = "1 "};
    change.bi = 0.5;  // shunt at bus 2, the stored to-end
    change.metered_bus = 2;
    ASSERT_EQ(set_line_data(c, index, change).code, 0);
    ASSERT_EQ(c.lines.size(), 1u);
    const LineBranch& l = c.lines[0];
    EXPECT_EQ(l.from_bus, 1);
    EXPECT_EQ(l.from_shunt, Complex(0.1, 0.0));
    EXPECT_EQ(l.to_shunt, Complex(0.0, 0.5));
    EXPECT_DOUBLE_EQ(l.x, 0.3);
    EXPECT_EQ(l.metered_end, 2);
}

TEST(LineData, RefusalsReturnTheirCodeAndChangeNothing) {
    Case original = case_with_buses(3);
    original.transformers.push_back(testing::transformer(2, 3, 0, "T1"));
    struct Refused {
        LineData data;
        ElementCode code;
    };
    const std::vector<Refused> cases = {
        {LineData{.from_bus = 1, .to_bus = 4}, ElementCode::kBusNotFound},
        {LineData{.from_bus = 1, .to_bus = 1}, ElementCode::kRepeatedBus},
        {LineData{.from_bus = 1, .to_bus = 2, .ckt = ""}, ElementCode::kInvalidIdentifier},
        {LineData{.from_bus = 1, .to_bus = 2, .ckt = "ABC"}, ElementCode::kInvalidIdentifier},
        {LineData{.from_bus = 1, .to_bus = 2, .ckt = "&1"}, ElementCode::kInvalidIdentifier},
        {LineData{.from_bus = 3, .to_bus = 2, .ckt = "t1"}, ElementCode::kDuplicate},
        {LineData{.from_bus = 1, .to_bus = 2, .metered_bus = 3}, ElementCode::kInvalidValue},
        {LineData{.from_bus = 1, .to_bus = 2, .status = 2}, ElementCode::kInvalidValue},
        {LineData{.from_bus = 1, .to_bus = 2, .ownership = {.owner = {0}}}, ElementCode::kInvalidValue},
        {LineData{.from_bus = 1, .to_bus = 2, .r = INFINITY}, ElementCode::kInvalidValue},
    };
    for (const Refused& r : cases) {
        Case c = original;
        CaseIndex index;
        const OperationResult result = set_line_data(c, index, r.data);
        EXPECT_EQ(result.code, code_of(r.code)) << result.message;
        EXPECT_EQ(c, original);
    }
}

}  // namespace
}  // namespace velquin::sim
