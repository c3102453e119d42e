#include <gtest/gtest.h>

#include "api_test_support.hpp"
#include "operations/load_shunt_operations.hpp"
#include "operations/machine_operations.hpp"

namespace velquin::sim {
namespace {

using testing::case_with_buses;
using testing::code_of;

TEST(Machines, NeedPlantDataAndTakeThePlantShareWhenCreated) {
    Case c = case_with_buses(2);
    c.identification.base_mva = 250.0;
    CaseIndex index;
    const Case before = c;
    EXPECT_EQ(set_machine_data(c, index, MachineData{.bus = 1, .id = "1"}).code,
              code_of(ElementCode::kNoPlant));
    EXPECT_EQ(c, before);

    ASSERT_EQ(set_plant_data(
                  c, index, PlantData{.bus = 1, .regulated_bus = 2, .scheduled_voltage = 1.03, .rmpct = 60.0})
                  .code,
              0);
    ASSERT_EQ(set_machine_data(c, index, MachineData{.bus = 1, .id = "1", .pg = 80.0}).code, 0);
    ASSERT_EQ(set_plant_data(c, index, PlantData{.bus = 1, .rmpct = 40.0}).code, 0);
    ASSERT_EQ(set_machine_data(c, index, MachineData{.bus = 1, .id = "2"}).code, 0);
    ASSERT_EQ(c.plants.size(), 1u);
    EXPECT_EQ(c.plants[0].regulated_bus, 2);      // kept when the second call left it out
    EXPECT_DOUBLE_EQ(c.machines[0].rmpct, 60.0);  // the share the plant had at its creation
    EXPECT_DOUBLE_EQ(c.machines[1].rmpct, 40.0);
    EXPECT_DOUBLE_EQ(c.machines[1].mbase, 250.0);
    EXPECT_EQ(c.machines[1].ownership.owner[0], 7);
    EXPECT_DOUBLE_EQ(c.machines[1].qmax, Machine{}.qmax);
}

TEST(Machines, ChangeTouchesOnlyTheFieldsGiven) {
    Case c = case_with_buses(1);
    CaseIndex index;
    set_plant_data(c, index, PlantData{.bus = 1});
    MachineData full{.bus = 1,
                     .id = "G1",
                     .status = 1,
                     .wind_mode = 2,
                     .base_load = 1,
                     .pg = 50.0,
                     .qg = 5.0,
                     .qmax = 30.0,
                     .qmin = -20.0,
                     .pmax = 60.0,
                     .pmin = 10.0,
                     .mbase = 70.0,
                     .zr = 0.01,
                     .zx = 0.2,
                     .rt = 0.001,
                     .xt = 0.1,
                     .gtap = 1.02,
                     .wpf = 0.95,
                     .name = "UNIT"};
    ASSERT_EQ(set_machine_data(c, index, full).code, 0);
    const Machine created = c.machines[0];
    // The reactive rewrite after a solve passes only these three values.
    ASSERT_EQ(change_machine_data(c, index,
                                  MachineData{.bus = 1, .id = "g1 ", .qg = 7.0, .qmax = 31.0, .qmin = -21.0})
                  .code,
              0);
    Machine expected = created;
    expected.qg = 7.0;
    expected.qmax = 31.0;
    expected.qmin = -21.0;
    EXPECT_EQ(c.machines[0], expected);
    EXPECT_EQ(change_machine_data(c, index, MachineData{.bus = 1, .id = "2", .qg = 1.0}).code,
              code_of(ElementCode::kElementNotFound));
}

TEST(Machines, RefusalsReturnTheirCodeAndChangeNothing) {
    Case original = case_with_buses(1);
    CaseIndex setup;
    set_plant_data(original, setup, PlantData{.bus = 1});
    const std::vector<std::pair<MachineData, ElementCode>> cases = {
        {MachineData{.bus = 2}, ElementCode::kBusNotFound},
        {MachineData{.bus = 1, .id = "   "}, ElementCode::kInvalidIdentifier},
        {MachineData{.bus = 1, .status = -1}, ElementCode::kInvalidValue},
        {MachineData{.bus = 1, .wind_mode = 4}, ElementCode::kInvalidValue},
        {MachineData{.bus = 1, .mbase = 0.0}, ElementCode::kInvalidValue},
    };
    for (const auto& [data, code] : cases) {
        Case c = original;
        CaseIndex index;
        EXPECT_EQ(set_machine_data(c, index, data).code, code_of(code));
        EXPECT_EQ(c, original);
    }
    Case c = original;
    CaseIndex index;
    EXPECT_EQ(set_plant_data(c, index, PlantData{.bus = 1, .regulated_bus = 5}).code,
              code_of(ElementCode::kBusNotFound));
    EXPECT_EQ(set_plant_data(c, index, PlantData{.bus = 1, .scheduled_voltage = 0.0}).code,
              code_of(ElementCode::kInvalidValue));
    EXPECT_EQ(c, original);
}

TEST(Loads, NewLoadTakesTheBusAreaZoneOwnerAndSeveralLoadsShareABus) {
    Case c = case_with_buses(1);
    CaseIndex index;
    ASSERT_EQ(set_load_data(c, index, LoadData{.bus = 1, .id = "1", .pl = 10.0, .ql = 5.0}).code, 0);
    ASSERT_EQ(set_load_data(c, index, LoadData{.bus = 1, .id = "2", .zone = 9, .yq = -3.0}).code, 0);
    ASSERT_EQ(c.loads.size(), 2u);
    EXPECT_EQ(c.loads[0].area, 3);
    EXPECT_EQ(c.loads[0].owner, 7);
    EXPECT_EQ(c.loads[0].constant_power, Complex(10.0, 5.0));
    EXPECT_EQ(c.loads[1].zone, 9);
    EXPECT_EQ(c.loads[1].constant_admittance, Complex(0.0, -3.0));
    // Changing the reactive part keeps the active part.
    ASSERT_EQ(set_load_data(c, index, LoadData{.bus = 1, .id = "1", .ql = 6.0}).code, 0);
    EXPECT_EQ(c.loads[0].constant_power, Complex(10.0, 6.0));
    const Case before = c;
    EXPECT_EQ(set_load_data(c, index, LoadData{.bus = 1, .scalable = 2}).code,
              code_of(ElementCode::kInvalidValue));
    EXPECT_EQ(set_load_data(c, index, LoadData{.bus = 1, .area = 0}).code,
              code_of(ElementCode::kInvalidValue));
    EXPECT_EQ(c, before);
}

TEST(Shunts, FixedAndSwitchedShuntsKeepWhatIsNotGiven) {
    Case c = case_with_buses(2);
    CaseIndex index;
    ASSERT_EQ(set_fixed_shunt_data(c, index, FixedShuntData{.bus = 1, .id = "1", .b_mvar = 25.0}).code, 0);
    ASSERT_EQ(set_fixed_shunt_data(c, index, FixedShuntData{.bus = 1, .id = "1", .status = 0}).code, 0);
    ASSERT_EQ(c.fixed_shunts.size(), 1u);
    EXPECT_EQ(c.fixed_shunts[0].admittance, Complex(0.0, 25.0));
    EXPECT_EQ(c.fixed_shunts[0].status, 0);

    SwitchedShuntData s{.bus = 2, .id = "SW"};
    for (std::size_t i = 0; i < 8; ++i) {
        s.steps[i] = static_cast<int>(i % 3);
        s.mvar_per_step[i] = 10.0 * static_cast<double>(i);
    }
    s.block_status[7] = 0;
    s.regulated_bus = 1;
    ASSERT_EQ(set_switched_shunt_data(c, index, s).code, 0);
    const SwitchedShunt& created = c.switched_shunts.at(0);
    EXPECT_EQ(created.steps[5], 2);
    EXPECT_DOUBLE_EQ(created.mvar_per_step[7], 70.0);
    EXPECT_EQ(created.block_status[6], 1);
    EXPECT_EQ(created.block_status[7], 0);
    EXPECT_EQ(created.control_mode, 1);

    const Case before = c;
    SwitchedShuntData bad{.bus = 2, .id = "SW"};
    bad.steps[3] = 10;
    EXPECT_EQ(set_switched_shunt_data(c, index, bad).code, code_of(ElementCode::kInvalidValue));
    EXPECT_EQ(set_switched_shunt_data(c, index, SwitchedShuntData{.bus = 2, .control_mode = 7}).code,
              code_of(ElementCode::kInvalidValue));
    EXPECT_EQ(set_switched_shunt_data(c, index, SwitchedShuntData{.bus = 2, .regulated_bus = 3}).code,
              code_of(ElementCode::kBusNotFound));
    EXPECT_EQ(set_fixed_shunt_data(c, index, FixedShuntData{.bus = 3}).code,
              code_of(ElementCode::kBusNotFound));
    EXPECT_EQ(c, before);
}

TEST(InductionMachines, DefaultsFromTheBusAndTheSystemBase) {
    Case c = case_with_buses(1);
    c.identification.base_mva = 80.0;
    CaseIndex index;
    ASSERT_EQ(
        set_induction_machine_data(c, index, InductionMachineData{.bus = 1, .id = "M", .pset = -2.5}).code,
        0);
    const InductionMachine& m = c.induction_machines.at(0);
    EXPECT_EQ(m.area, 3);
    EXPECT_EQ(m.zone, 4);
    EXPECT_EQ(m.owner, 7);
    EXPECT_DOUBLE_EQ(m.mbase, 80.0);
    EXPECT_DOUBLE_EQ(m.pset, -2.5);
    EXPECT_DOUBLE_EQ(m.xm, InductionMachine{}.xm);
    const Case before = c;
    EXPECT_EQ(
        set_induction_machine_data(c, index, InductionMachineData{.bus = 1, .id = "M", .dcode = 6}).code,
        code_of(ElementCode::kInvalidValue));
    EXPECT_EQ(
        set_induction_machine_data(c, index, InductionMachineData{.bus = 1, .id = "M", .tcode = 0}).code,
        code_of(ElementCode::kInvalidValue));
    EXPECT_EQ(c, before);
}

}  // namespace
}  // namespace velquin::sim
