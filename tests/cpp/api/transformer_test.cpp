#include <gtest/gtest.h>

#include "api_test_support.hpp"
#include "operations/element_views.hpp"
#include "operations/transformer_impedance.hpp"
#include "operations/transformer_operations.hpp"

namespace velquin::sim {
namespace {

using testing::case_with_buses;
using testing::code_of;

TEST(TwoWinding, NewTransformerDefaultsFollowTheWindingCode) {
    Case c = case_with_buses(2);
    c.buses[1].base_kv = 13.8;
    c.identification.base_mva = 50.0;
    CaseIndex index;
    TwoWindingData d{.bus_i = 1, .bus_j = 2, .ckt = "1"};
    d.winding_code = 2;
    const TransformerResult r = set_two_winding_data(c, index, d);
    ASSERT_EQ(r.result.code, 0) << r.result.message;
    const Transformer& t = c.transformers.at(0);
    EXPECT_DOUBLE_EQ(t.windings[0].ratio, 138.0);  // kV of each winding's bus
    EXPECT_DOUBLE_EQ(t.windings[1].ratio, 13.8);
    EXPECT_DOUBLE_EQ(t.impedance[0].sbase, 50.0);
    EXPECT_EQ(t.ownership.owner[0], 7);
    EXPECT_EQ(metered_bus(t), 1);
}

TEST(TwoWinding, WindingOneSideAndMeteredEndAreBusesOfTheCall) {
    Case c = case_with_buses(2);
    CaseIndex index;
    TwoWindingData d{.bus_i = 1, .bus_j = 2, .ckt = "1"};
    d.winding1_side = 2;
    d.metered_bus = 2;
    d.winding1.ratio = 1.05;
    ASSERT_EQ(set_two_winding_data(c, index, d).result.code, 0);
    const Transformer& t = c.transformers.at(0);
    EXPECT_EQ(t.bus1, 2);
    EXPECT_EQ(t.bus2, 1);
    EXPECT_EQ(metered_bus(t), 2);
    // Found from either end; moving winding 1 keeps the winding data with it.
    TwoWindingData move{.bus_i = 1, .bus_j = 2, .ckt = "1"};
    move.winding1_side = 1;
    ASSERT_EQ(set_two_winding_data(c, index, move).result.code, 0);
    ASSERT_EQ(c.transformers.size(), 1u);
    EXPECT_EQ(t.bus1, 1);
    EXPECT_DOUBLE_EQ(t.windings[0].ratio, 1.05);
}

TEST(TwoWinding, ImpedanceIsReportedOnTheSystemBase) {
    Case c = case_with_buses(2);
    c.identification.base_mva = 100.0;
    CaseIndex index;
    TwoWindingData d{.bus_i = 1, .bus_j = 2, .ckt = "1"};
    d.impedance_code = 2;
    d.r = 0.01;
    d.x = 0.08;
    d.sbase = 50.0;
    TransformerResult r = set_two_winding_data(c, index, d);
    ASSERT_EQ(r.result.code, 0);
    ASSERT_EQ(r.realaro.size(), 2u);
    EXPECT_NEAR(r.realaro[0], 0.02, 1e-15);
    EXPECT_NEAR(r.realaro[1], 0.16, 1e-15);
    // CZ 3: R is the load loss in W, X is |Z|, both on the winding base.
    TwoWindingData losses{.bus_i = 1, .bus_j = 2, .ckt = "1"};
    losses.impedance_code = 3;
    losses.r = 150000.0;  // 0.003 pu on 50 MVA
    losses.x = 0.005;
    r = set_two_winding_data(c, index, losses);
    EXPECT_NEAR(r.realaro[0], 0.006, 1e-15);
    EXPECT_NEAR(r.realaro[1], 0.008, 1e-12);
}

TEST(TwoWinding, RefusalsReturnTheirCodeAndChangeNothing) {
    Case original = case_with_buses(3);
    original.lines.push_back(testing::line(1, 2, "L"));
    struct Refused {
        TwoWindingData data;
        ElementCode code;
    };
    std::vector<Refused> cases;
    auto base = [] { return TwoWindingData{.bus_i = 1, .bus_j = 3, .ckt = "1"}; };
    cases.push_back({TwoWindingData{.bus_i = 2, .bus_j = 1, .ckt = "l"}, ElementCode::kDuplicate});
    cases.push_back({TwoWindingData{.bus_i = 1, .bus_j = 9}, ElementCode::kBusNotFound});
    cases.push_back({TwoWindingData{.bus_i = 3, .bus_j = 3}, ElementCode::kRepeatedBus});
    auto add = [&](auto change, ElementCode code) {
        TwoWindingData d = base();
        change(d);
        cases.push_back({d, code});
    };
    add([](TwoWindingData& d) { d.winding_code = 4; }, ElementCode::kInvalidValue);
    add([](TwoWindingData& d) { d.magnetizing_code = 3; }, ElementCode::kInvalidValue);
    add([](TwoWindingData& d) { d.winding1.tap_positions = 1; }, ElementCode::kInvalidValue);
    add([](TwoWindingData& d) { d.winding1.control_mode = -6; }, ElementCode::kInvalidValue);
    add([](TwoWindingData& d) { d.winding1.controlled_bus = -7; }, ElementCode::kBusNotFound);
    add([](TwoWindingData& d) { d.metered_bus = 2; }, ElementCode::kInvalidValue);
    add([](TwoWindingData& d) { d.sbase = 0.0; }, ElementCode::kInvalidValue);
    add([](TwoWindingData& d) { d.winding1_side = 3; }, ElementCode::kInvalidValue);
    for (const Refused& r : cases) {
        Case c = original;
        CaseIndex index;
        const TransformerResult result = set_two_winding_data(c, index, r.data);
        EXPECT_EQ(result.result.code, code_of(r.code)) << result.result.message;
        EXPECT_EQ(result.realaro, std::vector<double>(2, 0.0));
        EXPECT_EQ(c, original);
    }
}

TEST(ThreeWinding, WindingOneBusSetsTheOrderOfANewTransformer) {
    Case c = case_with_buses(3);
    CaseIndex index;
    ThreeWindingImpedanceData d{.bus_i = 1, .bus_j = 2, .bus_k = 3, .ckt = "1"};
    d.winding1_bus = 3;
    d.non_metered_bus = 2;
    ASSERT_EQ(set_three_winding_impedance_data(c, index, d).result.code, 0);
    const Transformer& t = c.transformers.at(0);
    EXPECT_EQ((std::array<int, 3>{t.bus1, t.bus2, t.bus3}), (std::array<int, 3>{3, 1, 2}));
    EXPECT_EQ(t.non_metered_winding, 3);
    EXPECT_EQ(non_metered_bus(t), 2);
    // Named in another order, the same transformer; its order stays.
    ThreeWindingImpedanceData again{.bus_i = 2, .bus_j = 1, .bus_k = 3, .ckt = "1"};
    again.winding1_bus = 1;
    const OperationResult refused = set_three_winding_impedance_data(c, index, again).result;
    EXPECT_EQ(refused.code, code_of(ElementCode::kInvalidValue));
    again.winding1_bus.reset();
    again.status = 3;
    ASSERT_EQ(set_three_winding_impedance_data(c, index, again).result.code, 0);
    ASSERT_EQ(c.transformers.size(), 1u);
    EXPECT_EQ(t.bus1, 3);
    EXPECT_EQ(t.status, 3);
}

TEST(ThreeWinding, WindingDataNeedsTheTransformerAndReportsTheStarBranch) {
    Case c = case_with_buses(3);
    CaseIndex index;
    ThreeWindingWindingData w{.bus_i = 1, .bus_j = 2, .bus_k = 3, .ckt = "1", .winding = 2};
    w.data.ratio = 1.02;
    Case untouched = c;
    EXPECT_EQ(set_three_winding_winding_data(c, index, w).result.code,
              code_of(ElementCode::kElementNotFound));
    EXPECT_EQ(c, untouched);

    ThreeWindingImpedanceData d{.bus_i = 1, .bus_j = 2, .bus_k = 3, .ckt = "1"};
    d.x = {0.10, 0.30, 0.24};
    ASSERT_EQ(set_three_winding_impedance_data(c, index, d).result.code, 0);
    const TransformerResult r = set_three_winding_winding_data(c, index, w);
    ASSERT_EQ(r.result.code, 0);
    EXPECT_NEAR(r.realaro[1], (0.10 + 0.30 - 0.24) / 2.0, 1e-15);  // X2 = (X12 + X23 - X31) / 2
    EXPECT_DOUBLE_EQ(c.transformers[0].windings[1].ratio, 1.02);
    EXPECT_DOUBLE_EQ(c.transformers[0].windings[0].ratio, 1.0);
    w.winding = 4;
    EXPECT_EQ(set_three_winding_winding_data(c, index, w).result.code, code_of(ElementCode::kInvalidValue));
}

TEST(ThreeWinding, StatusSwitchesSingleWindings) {
    Transformer t = testing::transformer(1, 2, 3);
    t.status = 4;
    EXPECT_FALSE(winding_in_service(t, 1));
    EXPECT_TRUE(winding_in_service(t, 2));
    t.status = 2;
    EXPECT_FALSE(winding_in_service(t, 2));
    t.status = 0;
    EXPECT_FALSE(winding_in_service(t, 3));
}

TEST(StarPoints, NumberedFromTheFirstInternalBusInTransformerOrder) {
    Case c = case_with_buses(4);
    c.transformers.push_back(testing::transformer(1, 2, 3, "A"));
    c.transformers.push_back(testing::transformer(1, 2, 0, "B"));
    c.transformers.push_back(testing::transformer(2, 3, 4, "C"));
    const std::vector<StarPoint> points = star_points(c);
    ASSERT_EQ(points.size(), 2u);
    EXPECT_EQ(points[0].number, kFirstInternalBusNumber);
    EXPECT_EQ(points[0].transformer, 0u);
    EXPECT_EQ(points[1].number, kFirstInternalBusNumber + 1);
    EXPECT_EQ(points[1].transformer, 2u);
}

}  // namespace
}  // namespace velquin::sim
