// Switched shunts in their control modes: a continuous shunt regulating
// its voltage within the Newton solution (at a limit it is a fixed shunt),
// and discrete shunts holding a plant's reactive output or another shunt's
// admittance within a band of that device's range.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>

#include "case_builders.hpp"
#include "loadflow/loadflow.hpp"

namespace velquin::sim {
namespace {

using namespace case_builders;

SwitchedShunt shunt(int at, int mode, double vlo, double vhi, std::vector<std::pair<int, double>> blocks,
                    double initial = 0.0) {
    SwitchedShunt s;
    s.bus = at;
    s.control_mode = mode;
    s.vswlo = vlo;
    s.vswhi = vhi;
    s.initial_mvar = initial;
    for (std::size_t k = 0; k < blocks.size(); ++k) {
        s.steps[k] = blocks[k].first;
        s.mvar_per_step[k] = blocks[k].second;
    }
    return s;
}

LoadflowOptions adjusting() {
    LoadflowOptions o = tight();
    o.shunts = ShuntAdjustment::All;
    return o;
}

TEST(LoadflowSwitchedShuntModes, ContinuousShuntRegulatesAndIsAFixedShuntAtItsLimit) {
    // Bus 2 sags to about 0.95 pu under its load.
    Case c = two_bus({80.0, 40.0});
    c.switched_shunts = {shunt(2, 2, 0.99, 0.99, {{1, 60.0}}, 10.0)};
    Case locked = c;
    ASSERT_EQ(solve_loadflow(locked, tight()).status, kSolutionConverged);
    EXPECT_LT(locked.buses[1].vm, 0.98);
    EXPECT_EQ(locked.switched_shunts[0].initial_mvar, 10.0);

    // Within its range it holds the voltage exactly, and the admittance it
    // reports draws what balances the bus.
    const LoadflowResult r = solve_loadflow(c, adjusting());
    ASSERT_EQ(r.status, kSolutionConverged);
    EXPECT_NEAR(c.buses[1].vm, 0.99, 1e-9);
    const double b = c.switched_shunts[0].initial_mvar;
    EXPECT_GT(b, 10.0);
    EXPECT_LT(b, 60.0);
    Case fixed = two_bus({80.0, 40.0});
    fixed.fixed_shunts = {FixedShunt{.bus = 2, .id = "1", .status = 1, .admittance = {0.0, b}, .name = ""}};
    ASSERT_EQ(solve_loadflow(fixed, tight()).status, kSolutionConverged);
    EXPECT_NEAR(fixed.buses[1].vm, 0.99, 1e-8);

    // Asked for more than its range, it stops at its limit: the same
    // network with a fixed 60 Mvar shunt gives the same voltages.
    Case limited = two_bus({80.0, 40.0});
    limited.switched_shunts = {shunt(2, 2, 1.05, 1.05, {{1, 60.0}}, 10.0)};
    ASSERT_EQ(solve_loadflow(limited, adjusting()).status, kSolutionConverged);
    EXPECT_NEAR(limited.switched_shunts[0].initial_mvar, 60.0, 1e-9);
    Case at_limit = two_bus({80.0, 40.0});
    at_limit.fixed_shunts = {
        FixedShunt{.bus = 2, .id = "1", .status = 1, .admittance = {0.0, 60.0}, .name = ""}};
    ASSERT_EQ(solve_loadflow(at_limit, tight()).status, kSolutionConverged);
    EXPECT_NEAR(limited.buses[1].vm, at_limit.buses[1].vm, 1e-9);
    EXPECT_NEAR(limited.buses[1].va_deg, at_limit.buses[1].va_deg, 1e-7);
    EXPECT_LT(limited.buses[1].vm, 1.05);

    // Inside a band it keeps its admittance.
    Case in_band = two_bus({80.0, 40.0});
    in_band.switched_shunts = {shunt(2, 2, 0.9, 1.1, {{1, 60.0}}, 10.0)};
    const LoadflowResult quiet = solve_loadflow(in_band, adjusting());
    ASSERT_EQ(quiet.status, kSolutionConverged);
    EXPECT_EQ(quiet.shunts_moved, 0);
    EXPECT_EQ(in_band.switched_shunts[0].initial_mvar, 10.0);
}

TEST(LoadflowSwitchedShuntModes, DiscreteShuntHoldsAPlantsReactiveOutputInItsBand) {
    // Generator bus 2 holds 1.0 pu behind a load that wants 60 Mvar; a
    // shunt at bus 3 next to it (MODSW 3) relieves the plant in 10 Mvar steps
    // until its output is within -0.05..0.05 of its 200 Mvar range.
    Case c;
    c.buses = {bus(1, kSwingBus), bus(2, kGeneratorBus), bus(3, kLoadBus)};
    c.plants = {Plant{.bus = 1, .scheduled_voltage = 1.0}, Plant{.bus = 2, .scheduled_voltage = 1.0}};
    c.machines = {machine(1, 0.0), machine(2, 30.0, 100.0, -100.0)};
    c.lines = {line(1, 2, 0.01, 0.1), line(2, 3, 0.01, 0.05)};
    c.loads = {load(3, {50.0, 60.0})};
    SwitchedShunt s = shunt(3, 3, -0.05, 0.05, {{8, 10.0}});
    s.regulated_bus = 2;
    c.switched_shunts = {s};
    Case locked = c;
    ASSERT_EQ(solve_loadflow(locked, tight()).status, kSolutionConverged);
    EXPECT_GT(locked.machines[1].qg / 200.0, 0.05);

    const LoadflowResult r = solve_loadflow(c, adjusting());
    ASSERT_EQ(r.status, kSolutionConverged);
    EXPECT_GT(r.shunts_moved, 0);
    // The plant's output from the solved voltages: what bus 2 sends into its
    // two lines, less nothing else (no load at bus 2).
    const Complex v1 = voltage(c.buses[0]), v2 = voltage(c.buses[1]), v3 = voltage(c.buses[2]);
    const Complex sent =
        v2 * std::conj((v2 - v1) / Complex(0.01, 0.1) + (v2 - v3) / Complex(0.01, 0.05)) * 100.0;
    EXPECT_NEAR(sent.imag(), c.machines[1].qg, 1e-5);
    EXPECT_LE(std::fabs(sent.imag() / 200.0), 0.05);
    EXPECT_NEAR(std::remainder(c.switched_shunts[0].initial_mvar, 10.0), 0.0, 1e-9);
}

TEST(LoadflowSwitchedShuntModes, DiscreteShuntKeepsAnotherShuntInItsBand) {
    // A continuous shunt at bus 2 (range 0..40 Mvar) holds 1.0 pu; the
    // discrete one beside it (MODSW 5) adds 20 Mvar blocks until the
    // continuous one sits within 0..0.5 of its range.
    Case c = two_bus({80.0, 60.0});
    c.switched_shunts = {shunt(2, 2, 1.0, 1.0, {{1, 40.0}}), shunt(2, 5, 0.0, 0.5, {{4, 20.0}})};
    c.switched_shunts[1].regulated_bus = 2;
    const LoadflowResult r = solve_loadflow(c, adjusting());
    ASSERT_EQ(r.status, kSolutionConverged);
    EXPECT_NEAR(c.buses[1].vm, 1.0, 1e-9);
    const double continuous = c.switched_shunts[0].initial_mvar;
    EXPECT_GE(continuous / 40.0, 0.0);
    EXPECT_LE(continuous / 40.0, 0.5);
    EXPECT_GT(c.switched_shunts[1].initial_mvar, 0.0);
}

TEST(LoadflowSwitchedShuntModes, DiscreteShuntRelievesAFactsShuntElement) {
    // A STATCOM holds bus 2 at 1.0 pu (range +-100 Mvar); the shunt beside
    // it (MODSW 6, naming it) adds 15 Mvar blocks until the STATCOM's output
    // is within -0.1..0.1 of its 200 Mvar range.
    Case c = two_bus({60.0, 70.0});
    FactsDevice f;
    f.name = "STAT";
    f.sending_bus = 2;
    f.shunt_max = 100.0;
    f.voltage_setpoint = 1.0;
    c.facts_devices = {f};
    SwitchedShunt s = shunt(2, 6, -0.1, 0.1, {{6, 15.0}});
    s.vsc_name = "STAT";
    c.switched_shunts = {s};
    Case alone = c;
    alone.switched_shunts[0].control_mode = 0;
    LoadflowResult r = solve_loadflow(alone, adjusting());
    ASSERT_EQ(r.status, kSolutionConverged);
    EXPECT_GT(r.facts[0].shunt_mvar / 200.0, 0.1);

    r = solve_loadflow(c, adjusting());
    ASSERT_EQ(r.status, kSolutionConverged);
    EXPECT_NEAR(c.buses[1].vm, 1.0, 1e-9);
    EXPECT_LE(std::fabs(r.facts[0].shunt_mvar / 200.0), 0.1);
    EXPECT_GT(c.switched_shunts[0].initial_mvar, 0.0);
    EXPECT_NEAR(std::remainder(c.switched_shunts[0].initial_mvar, 15.0), 0.0, 1e-9);
}

}  // namespace
}  // namespace velquin::sim
