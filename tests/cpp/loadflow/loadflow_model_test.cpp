// The load flow on small hand-built cases: answers that can be checked by
// hand or by a second route, and the model features one at a time.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "case_builders.hpp"
#include "loadflow/line_flows.hpp"
#include "loadflow/loadflow.hpp"

namespace velquin::sim {
namespace {

using namespace case_builders;

TEST(LoadflowTwoBus, ReceivingEndPowerAndSwingOutputBalance) {
    Case c = two_bus({50.0, 20.0});
    const LoadflowResult r = solve_loadflow(c, tight());
    ASSERT_EQ(r.status, kSolutionConverged);
    const Complex v1 = voltage(c.buses[0]), v2 = voltage(c.buses[1]);
    const Complex i = (v1 - v2) / Complex(0.01, 0.1);
    const Complex s2 = v2 * std::conj(i);
    EXPECT_NEAR(s2.real(), 0.5, 1e-8);
    EXPECT_NEAR(s2.imag(), 0.2, 1e-8);
    const Complex s1 = v1 * std::conj(i) * 100.0;
    EXPECT_NEAR(c.machines[0].pg, s1.real(), 1e-6);
    EXPECT_NEAR(c.machines[0].qg, s1.imag(), 1e-6);
    EXPECT_GT(c.machines[0].pg, 50.0);  // losses
}

TEST(LoadflowTwoBus, BaseMvaAndLoadCharacteristics) {
    // Constant-current and constant-admittance parts scale with |V| and
    // |V|^2; distributed generation offsets the load; base 50 MVA.
    Case c = two_bus({0.0, 0.0});
    c.identification.base_mva = 50.0;
    c.loads[0].constant_current = {20.0, 5.0};
    c.loads[0].constant_admittance = {10.0, -4.0};
    c.loads[0].distributed_generation = {3.0, 1.0};
    c.loads[0].distributed_generation_mode = 1;
    ASSERT_EQ(solve_loadflow(c, tight()).status, kSolutionConverged);
    const Complex v1 = voltage(c.buses[0]), v2 = voltage(c.buses[1]);
    const Complex s2 = v2 * std::conj((v1 - v2) / Complex(0.01, 0.1)) * 50.0;
    const double vm = c.buses[1].vm;
    EXPECT_NEAR(s2.real(), 20.0 * vm + 10.0 * vm * vm - 3.0, 1e-5);
    EXPECT_NEAR(s2.imag(), 5.0 * vm + 4.0 * vm * vm - 1.0, 1e-5);
}

TEST(LoadflowTwoBus, ResolvingAConvergedCaseTakesNoIteration) {
    Case c = two_bus({50.0, 20.0});
    ASSERT_EQ(solve_loadflow(c, tight()).iterations > 0, true);
    const Case solved = c;
    const LoadflowResult again = solve_loadflow(c, tight());
    EXPECT_EQ(again.status, kSolutionConverged);
    EXPECT_EQ(again.iterations, 0);
    EXPECT_NEAR(c.buses[1].vm, solved.buses[1].vm, 1e-12);
}

TEST(LoadflowStatus, NoSwingInServiceIsNotAttempted) {
    Case c = two_bus({50.0, 20.0});
    c.buses[0].type = kIsolatedBus;
    const double vm_before = c.buses[1].vm;
    EXPECT_EQ(solve_loadflow(c, tight()).status, kSolutionNotAttempted);
    EXPECT_EQ(c.buses[1].vm, vm_before);
    Case empty;
    EXPECT_EQ(solve_loadflow(empty, tight()).status, kSolutionNotAttempted);
}

TEST(LoadflowStatus, UnreachableLoadBlowsUpAndLeavesTheCaseAlone) {
    // 5000 MW over a 0.1 pu line has no solution.
    Case c = two_bus({5000.0, 0.0});
    c.buses[1].vm = 0.97;
    LoadflowOptions o = tight();
    const LoadflowResult plain = solve_loadflow(c, o);
    EXPECT_NE(plain.status, kSolutionConverged);
    EXPECT_FALSE(plain.written_back);
    EXPECT_EQ(c.buses[1].vm, 0.97);
    o.step = StepLength::OnDemand;
    const LoadflowResult robust = solve_loadflow(c, o);
    EXPECT_TRUE(robust.status == kSolutionStepControlStopped || robust.status == kSolutionIterationLimit);
}

TEST(LoadflowIslands, EachIslandWithItsSwingAndUnsolvedIslandsReported) {
    Case c = two_bus({50.0, 20.0});
    // Second island 10-11 with its own swing bus, third island 20-21 without.
    c.buses.push_back(bus(10, kSwingBus, 1.02));
    c.buses.push_back(bus(11, kLoadBus));
    c.buses.push_back(bus(20, kLoadBus, 0.9));
    c.buses.push_back(bus(21, kLoadBus, 0.8));
    c.plants.push_back(Plant{.bus = 10, .scheduled_voltage = 1.02});
    c.machines.push_back(machine(10, 0.0));
    c.lines.push_back(line(10, 11, 0.0, 0.2));
    c.lines.push_back(line(20, 21, 0.0, 0.2));
    c.loads.push_back(load(11, {30.0, 0.0}));
    c.loads.push_back(load(21, {10.0, 0.0}));
    const LoadflowResult r = solve_loadflow(c, tight());
    EXPECT_EQ(r.status, kSolutionIslandsUnsolved);
    EXPECT_EQ(r.islands_solved, 2);
    EXPECT_EQ(r.islands_unsolved, 1);
    EXPECT_NEAR(c.machines[1].pg, 30.0, 1e-6);  // lossless line
    EXPECT_EQ(c.buses[4].vm, 0.9);
    EXPECT_EQ(c.buses[5].vm, 0.8);
    // Without the load the third island is dead and does not spoil the status.
    c.loads.pop_back();
    EXPECT_EQ(solve_loadflow(c, tight()).status, kSolutionConverged);
}

TEST(LoadflowBuses, OutOfServiceBusesAndTheirElementsAreExcluded) {
    Case c = two_bus({50.0, 20.0});
    c.buses.push_back(bus(3, kIsolatedBus, 0.5));
    c.lines.push_back(line(2, 3, 0.01, 0.1));
    c.loads.push_back(load(3, {500.0, 0.0}));
    const LoadflowResult r = solve_loadflow(c, tight());
    ASSERT_EQ(r.status, kSolutionConverged);
    EXPECT_EQ(c.buses[2].vm, 0.5);
    Case reference = two_bus({50.0, 20.0});
    solve_loadflow(reference, tight());
    EXPECT_NEAR(c.buses[1].vm, reference.buses[1].vm, 1e-10);
}

// Swing 1, generator bus 2 holding 1.03 pu, load bus 3.
Case three_bus(double qmax) {
    Case c;
    c.buses = {bus(1, kSwingBus), bus(2, kGeneratorBus), bus(3, kLoadBus)};
    c.plants = {Plant{.bus = 1, .scheduled_voltage = 1.0}, Plant{.bus = 2, .scheduled_voltage = 1.03}};
    c.machines = {machine(1, 0.0), machine(2, 40.0, qmax, -qmax)};
    c.lines = {line(1, 2, 0.01, 0.1), line(2, 3, 0.01, 0.1), line(1, 3, 0.01, 0.1)};
    c.loads = {load(3, {100.0, 60.0})};
    return c;
}

TEST(LoadflowVarLimits, GeneratorBusSwitchesToLimitOnlyWhenAsked) {
    Case free = three_bus(10.0);
    ASSERT_EQ(solve_loadflow(free, tight()).status, kSolutionConverged);
    EXPECT_NEAR(free.buses[1].vm, 1.03, 1e-10);
    EXPECT_GT(free.machines[1].qg, 10.0);

    for (int from : {0, 1, 99}) {
        Case limited = three_bus(10.0);
        LoadflowOptions o = tight();
        o.var_limits = from;
        const LoadflowResult r = solve_loadflow(limited, o);
        ASSERT_EQ(r.status, kSolutionConverged) << from;
        EXPECT_EQ(r.limited_plants, 1);
        EXPECT_NEAR(limited.machines[1].qg, 10.0, 1e-9);
        EXPECT_LT(limited.buses[1].vm, 1.03);
    }
}

TEST(LoadflowVarLimits, GeneratorReturnsToVoltageControlWhenTheLimitNoLongerBinds) {
    // Stored output at the limit, but the load now supplies reactive power:
    // the plant must leave the limit and hold its voltage again.
    Case c = three_bus(10.0);
    c.loads[0].constant_power = {10.0, -80.0};
    c.machines[1].qg = 10.0;
    c.buses[1].vm = 1.0;
    LoadflowOptions o = tight();
    o.var_limits = 0;
    const LoadflowResult r = solve_loadflow(c, o);
    ASSERT_EQ(r.status, kSolutionConverged);
    EXPECT_EQ(r.limited_plants, 0);
    EXPECT_NEAR(c.buses[1].vm, 1.03, 1e-10);
    EXPECT_LT(c.machines[1].qg, 10.0);
}

TEST(LoadflowPlants, MachinesShareByPercentageAndRemoteRegulation) {
    Case c = three_bus(9999.0);
    c.machines.push_back(machine(2, 20.0, 9999.0, -9999.0, "2"));
    c.machines[1].rmpct = 75.0;
    c.machines[2].rmpct = 25.0;
    ASSERT_EQ(solve_loadflow(c, tight()).status, kSolutionConverged);
    EXPECT_NEAR(c.machines[1].qg, 3.0 * c.machines[2].qg, 1e-6);

    // The plant at bus 2 now holds bus 3 at 1.0 pu.
    Case remote = three_bus(9999.0);
    remote.plants[1].regulated_bus = 3;
    remote.plants[1].scheduled_voltage = 1.0;
    ASSERT_EQ(solve_loadflow(remote, tight()).status, kSolutionConverged);
    EXPECT_NEAR(remote.buses[2].vm, 1.0, 1e-9);
    EXPECT_GT(remote.buses[1].vm, 1.0);
}

TEST(LoadflowBranches, ZeroImpedanceLineTiesBuses) {
    Case c = two_bus({50.0, 20.0});
    c.buses.push_back(bus(3, kLoadBus, 0.7));
    c.lines.push_back(line(2, 3, 0.0, 0.0));
    c.loads[0].constant_power = {30.0, 10.0};
    c.loads.push_back(load(3, {20.0, 10.0}));
    ASSERT_EQ(solve_loadflow(c, tight()).status, kSolutionConverged);
    EXPECT_EQ(c.buses[1].vm, c.buses[2].vm);
    EXPECT_EQ(c.buses[1].va_deg, c.buses[2].va_deg);
    Case merged = two_bus({50.0, 20.0});
    solve_loadflow(merged, tight());
    EXPECT_NEAR(c.buses[1].vm, merged.buses[1].vm, 1e-10);
}

TEST(LoadflowBranches, TransformerCodesGiveTheSameNetwork) {
    // One transformer described three ways (CW 1/2/3, CZ 1/2/3, CM 1/2)
    // must give the same solution.
    auto make = [](int cw, int cz, int cm) {
        Case c = two_bus({40.0, 10.0});
        c.buses[1].base_kv = 20.0;
        c.lines.clear();
        Transformer t;
        t.bus1 = 1;
        t.bus2 = 2;
        t.winding_code = cw;
        t.impedance_code = cz;
        t.magnetizing_code = cm;
        t.windings[0].angle_deg = 5.0;
        t.windings[0].nominal_kv = 110.0;
        // ratio 1.05 of the 100 kV bus base
        t.windings[0].ratio = cw == 1 ? 1.05 : cw == 2 ? 105.0 : 105.0 / 110.0;
        t.windings[1].ratio = cw == 2 ? 20.0 : 1.0;
        // Z = 0.002 + j0.08 pu on 100 MVA; given on a 50 MVA winding base for CZ 2/3
        if (cz == 1) t.impedance[0] = {0.002, 0.08, 50.0};
        if (cz == 2) t.impedance[0] = {0.001, 0.04, 50.0};
        if (cz == 3) t.impedance[0] = {0.001 * 50.0e6, std::hypot(0.001, 0.04), 50.0};
        // Ym = 0.001 - j0.004 on the system base
        if (cm == 1) {
            t.mag1 = 0.001;
            t.mag2 = -0.004;
        } else {
            t.mag1 = 0.001 * 100.0e6;
            t.mag2 = std::hypot(0.001, 0.004) * 100.0 / 50.0;
        }
        c.transformers = {t};
        EXPECT_EQ(solve_loadflow(c, tight()).status, kSolutionConverged);
        return c;
    };
    const Case a = make(1, 1, 1);
    for (const Case& b : {make(2, 2, 2), make(3, 3, 1), make(2, 3, 2)}) {
        EXPECT_NEAR(a.buses[1].vm, b.buses[1].vm, 1e-9);
        EXPECT_NEAR(a.buses[1].va_deg, b.buses[1].va_deg, 1e-7);
    }
    // The shift makes the winding-1 side lead: the far angle drops by it.
    EXPECT_LT(a.buses[1].va_deg, -5.0);
}

TEST(LoadflowBranches, ThreeWindingStarMatchesExplicitStarBus) {
    Case star;
    star.buses = {bus(1, kSwingBus), bus(2, kLoadBus), bus(3, kLoadBus)};
    star.plants = {Plant{.bus = 1, .scheduled_voltage = 1.0}};
    star.machines = {machine(1, 0.0)};
    star.loads = {load(2, {30.0, 10.0}), load(3, {20.0, 5.0})};
    Transformer t;
    t.bus1 = 1;
    t.bus2 = 2;
    t.bus3 = 3;
    t.impedance = {WindingPairImpedance{0.01, 0.10, 100.0}, WindingPairImpedance{0.01, 0.12, 100.0},
                   WindingPairImpedance{0.01, 0.14, 100.0}};
    t.windings[1].ratio = 1.02;
    star.transformers = {t};
    ASSERT_EQ(solve_loadflow(star, tight()).status, kSolutionConverged);

    // The same with the star point as bus 4 and three two-winding units.
    Case explicit_star = star;
    explicit_star.transformers.clear();
    explicit_star.buses.push_back(bus(4, kLoadBus));
    explicit_star.transformers = {transformer(1, 4, 0.005, 0.06), transformer(2, 4, 0.005, 0.04, 1.02),
                                  transformer(3, 4, 0.005, 0.08)};
    ASSERT_EQ(solve_loadflow(explicit_star, tight()).status, kSolutionConverged);
    for (std::size_t k = 0; k < 3; ++k) {
        EXPECT_NEAR(star.buses[k].vm, explicit_star.buses[k].vm, 1e-9);
        EXPECT_NEAR(star.buses[k].va_deg, explicit_star.buses[k].va_deg, 1e-7);
    }
    EXPECT_NEAR(star.transformers[0].star_vm, explicit_star.buses[3].vm, 1e-9);
}

TEST(LoadflowAdjustments, TapAndSwitchedShuntBringVoltagesIntoTheirBands) {
    Case c = two_bus({80.0, 40.0});
    c.lines.clear();
    Transformer t = transformer(1, 2, 0.005, 0.1);
    t.windings[0].control_mode = 1;
    t.windings[0].controlled_bus = 2;
    t.windings[0].vmin = 0.99;
    t.windings[0].vmax = 1.01;
    t.windings[0].tap_positions = 33;
    c.transformers = {t};
    for (TapAdjustment mode : {TapAdjustment::Stepping, TapAdjustment::Direct}) {
        Case k = c;
        LoadflowOptions o = tight();
        EXPECT_EQ(solve_loadflow(k, o).status, kSolutionConverged);
        EXPECT_LT(k.buses[1].vm, 0.99);
        o.taps = mode;
        const LoadflowResult r = solve_loadflow(k, o);
        ASSERT_EQ(r.status, kSolutionConverged);
        EXPECT_GT(r.taps_moved, 0);
        EXPECT_GE(k.buses[1].vm, 0.99);
        EXPECT_LE(k.buses[1].vm, 1.01);
        const double ratio = k.transformers[0].windings[0].ratio;
        EXPECT_LT(ratio, 1.0);
        // On a tap step of 0.2/32.
        EXPECT_NEAR(std::remainder(ratio - 0.9, 0.2 / 32.0), 0.0, 1e-9);
    }

    Case s = two_bus({80.0, 40.0});
    SwitchedShunt sh;
    sh.bus = 2;
    sh.vswlo = 0.98;
    sh.vswhi = 1.0;
    sh.steps[0] = 8;
    sh.mvar_per_step[0] = 5.0;
    s.switched_shunts = {sh};
    LoadflowOptions o = tight();
    o.shunts = ShuntAdjustment::All;
    const LoadflowResult r = solve_loadflow(s, o);
    ASSERT_EQ(r.status, kSolutionConverged);
    EXPECT_GE(s.buses[1].vm, 0.98);
    EXPECT_GT(s.switched_shunts[0].initial_mvar, 0.0);
    EXPECT_NEAR(std::remainder(s.switched_shunts[0].initial_mvar, 5.0), 0.0, 1e-9);
    o.shunts = ShuntAdjustment::Off;
    Case locked = two_bus({80.0, 40.0});
    locked.switched_shunts = {sh};
    solve_loadflow(locked, o);
    EXPECT_EQ(locked.switched_shunts[0].initial_mvar, 0.0);
}

TEST(LoadflowInductionMachine, MotorDrawsItsSetPointAndReactivePower) {
    Case c = two_bus({0.0, 0.0});
    InductionMachine im;
    im.bus = 2;
    im.pset = 20.0;
    im.pcode = 2;  // electrical power
    im.ra = 0.01;
    im.xa = 0.1;
    im.xm = 3.0;
    im.r1 = 0.02;
    im.x1 = 0.1;
    c.induction_machines = {im};
    ASSERT_EQ(solve_loadflow(c, tight()).status, kSolutionConverged);
    const Complex v1 = voltage(c.buses[0]), v2 = voltage(c.buses[1]);
    const Complex s2 = v2 * std::conj((v1 - v2) / Complex(0.01, 0.1)) * 100.0;
    EXPECT_NEAR(s2.real(), 20.0, 1e-5);
    EXPECT_GT(s2.imag(), 0.0);  // magnetising and leakage draw reactive power
}

TEST(LoadflowOptions, ParsingDefaultsRangesAndCaseSolutionParameters) {
    OptionsParse f = parse_fnsl_options(nullptr, {2, 0, 0, 1, 1, 4, 99, 0});
    ASSERT_EQ(f.error, kSolveRan);
    EXPECT_EQ(f.options.taps, TapAdjustment::Direct);
    EXPECT_EQ(f.options.start, StartProfile::DcAngles);
    EXPECT_EQ(f.options.var_limits, 99);
    EXPECT_EQ(f.options.step, StepLength::Full);

    OptionsParse r = parse_rsol_options(
        nullptr, {1, 2, std::nullopt, std::nullopt, std::nullopt, std::nullopt, 2, std::nullopt, 1, 0}, {});
    ASSERT_EQ(r.error, kSolveRan);
    EXPECT_EQ(r.options.start, StartProfile::CaseVoltages);
    EXPECT_TRUE(r.options.restart_on_failure);
    EXPECT_EQ(r.options.shunts, ShuntAdjustment::All);  // default 1
    EXPECT_EQ(r.options.step, StepLength::EveryIteration);

    OptionsParse dc = parse_rsol_options(nullptr, {1, 2, 0, 0, 1, 1, 4, 99, 0, 0}, {500.0, 5.0});
    EXPECT_EQ(dc.options.start, StartProfile::DcAngles);

    EXPECT_EQ(parse_fnsl_options(nullptr, {3}).error, kSolveInvalidOption);
    EXPECT_EQ(parse_fnsl_options(nullptr, {0, 0, 0, 0, 0, 5}).error, kSolveInvalidOption);
    EXPECT_EQ(parse_rsol_options(nullptr, {}, {-1.0}).error, kSolveInvalidValue);
    EXPECT_EQ(parse_rsol_options(nullptr, {}, {500.0, 1.0}).error, kSolveInvalidValue);

    Case c;
    c.system_wide.lines = {
        "SOLVER, FNSL, ACTAPS=1, AREAIN=0, PHSHFT=0, DCTAPS=1, SWSHNT=0, FLATST=0, VARLIM=-1, NONDIV=1"};
    OptionsParse from_case = parse_fnsl_options(&c, {});
    EXPECT_EQ(from_case.options.taps, TapAdjustment::Stepping);
    EXPECT_EQ(from_case.options.shunts, ShuntAdjustment::Off);
    EXPECT_EQ(from_case.options.var_limits, -1);
    EXPECT_EQ(from_case.options.step, StepLength::OnDemand);
}

}  // namespace
}  // namespace velquin::sim

namespace velquin::sim {
namespace {

// Successive solutions reuse the network model while the case's network is
// unchanged; every change must still be seen.
TEST(LoadflowReuse, ChangesBetweenSolutionsAreSeen) {
    Case c = two_bus({50.0, 20.0});
    Machine fixed = machine(2, 0.0);
    fixed.id = "9";
    c.machines.push_back(fixed);  // at a load bus: a fixed injection
    auto received = [&]() {
        const Complex v1 = voltage(c.buses[0]), v2 = voltage(c.buses[1]);
        const LineBranch& l = c.lines[0];
        return v2 * std::conj((v1 - v2) / Complex(l.r, l.x)) * 100.0;
    };
    ASSERT_EQ(solve_loadflow(c, tight()).status, kSolutionConverged);
    EXPECT_NEAR(received().real(), 50.0, 1e-5);

    c.loads[0].constant_power = {70.0, 10.0};
    ASSERT_EQ(solve_loadflow(c, tight()).status, kSolutionConverged);
    EXPECT_NEAR(received().real(), 70.0, 1e-5);
    EXPECT_NEAR(received().imag(), 10.0, 1e-5);

    c.lines[0].x = 0.2;
    ASSERT_EQ(solve_loadflow(c, tight()).status, kSolutionConverged);
    EXPECT_NEAR(received().real(), 70.0, 1e-5);

    c.machines[1].qg = 15.0;  // the fixed injection's stored output
    ASSERT_EQ(solve_loadflow(c, tight()).status, kSolutionConverged);
    EXPECT_NEAR(received().imag(), -5.0, 1e-5);

    c.machines[1].pg = 20.0;
    ASSERT_EQ(solve_loadflow(c, tight()).status, kSolutionConverged);
    EXPECT_NEAR(received().real(), 50.0, 1e-5);

    c.buses[1].vm = 0.9;  // a different starting point, same answer
    const LoadflowResult r = solve_loadflow(c, tight());
    ASSERT_EQ(r.status, kSolutionConverged);
    EXPECT_GT(r.iterations, 0);
    EXPECT_NEAR(received().imag(), -5.0, 1e-5);

    // A generator bus's scheduled power, which solutions never write.
    Case g = three_bus(9999.0);
    ASSERT_EQ(solve_loadflow(g, tight()).status, kSolutionConverged);
    const double swing_before = g.machines[0].pg;
    g.machines[1].pg += 30.0;
    ASSERT_EQ(solve_loadflow(g, tight()).status, kSolutionConverged);
    EXPECT_NEAR(g.machines[0].pg, swing_before - 30.0, 1.0);  // less the change in losses
}

}  // namespace
}  // namespace velquin::sim

namespace velquin::sim {
namespace {

TEST(LoadflowIslands, IslandsOfASingleSwingBusNeedNoEquation) {
    Case c;
    c.buses = {bus(1, kSwingBus, 1.02)};
    c.plants = {Plant{.bus = 1, .scheduled_voltage = 1.0}};
    c.machines = {machine(1, 0.0)};
    c.loads = {load(1, {10.0, 4.0})};
    const LoadflowResult r = solve_loadflow(c, tight());
    ASSERT_EQ(r.status, kSolutionConverged);
    EXPECT_EQ(c.buses[0].vm, 1.0);
    EXPECT_NEAR(c.machines[0].pg, 10.0, 1e-9);
    EXPECT_NEAR(c.machines[0].qg, 4.0, 1e-9);
    OptionsParse robust = parse_rsol_options(&c, {1, 2, 0, 0, 1, 1, 0, 99, 0, 0}, {500.0, 5.0});
    EXPECT_EQ(solve_loadflow(c, robust.options).status, kSolutionConverged);
}

}  // namespace
}  // namespace velquin::sim

namespace velquin::sim {
namespace {

TEST(LoadflowProgress, IterationsOutcomeAndUnmodelledDevicesOnceEach) {
    Case c = two_bus({50.0, 20.0});
    c.multi_terminal_dc_lines.resize(2);
    c.gne_devices.resize(1);
    c.buses[1].vm = 0.95;
    const std::filesystem::path file = std::filesystem::temp_directory_path() / "velquin_lf_progress.txt";
    {
        ProgressOutput out;
        ASSERT_TRUE(out.to_file(file, false));
        LoadflowOptions o = tight();
        o.method = "Full Newton-Raphson";
        ASSERT_EQ(solve_loadflow(c, o, &out).status, kSolutionConverged);
    }
    std::ifstream in(file);
    std::stringstream buffer;
    buffer << in.rdbuf();
    const std::string text = buffer.str();
    std::filesystem::remove(file);
    auto count = [&](const std::string& what) {
        std::size_t n = 0;
        for (auto pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos + 1)) ++n;
        return n;
    };
    EXPECT_EQ(count("2 multi-terminal DC lines read and kept, not modelled by the load flow"), 1u);
    EXPECT_EQ(count("1 GNE device not modelled by the load flow: ignored"), 1u);
    EXPECT_EQ(count("Full Newton-Raphson load flow"), 1u);
    EXPECT_EQ(count("Reached tolerance in"), 1u);
    // Iteration 0 names bus 2 with its mismatch.
    EXPECT_NE(text.find("\n   0 "), std::string::npos);
    EXPECT_NE(text.find(" 2 "), std::string::npos);
}

}  // namespace
}  // namespace velquin::sim

namespace velquin::sim {
namespace {

TEST(LoadflowLineFlows, ImpedanceLinesAndTiesCarryWhatBalancesTheirBuses) {
    // Swing 1 -- line -- 2 == tie == 3 == tie == 4, plus a second tie 3-4
    // closing a loop, loads at 3 and 4.
    Case c = two_bus({0.0, 0.0});
    c.buses.push_back(bus(3, kLoadBus));
    c.buses.push_back(bus(4, kLoadBus));
    c.lines.push_back(line(2, 3, 0.0, 0.0));
    c.lines.push_back(line(3, 4, 0.0, 0.00005));
    c.lines.push_back(line(4, 3, 0.0, 0.0));
    c.lines[3].ckt = "2";
    c.loads = {load(3, {20.0, 10.0}), load(4, {30.0, 5.0})};
    ASSERT_EQ(solve_loadflow(c, tight()).status, kSolutionConverged);
    const std::vector<LineEndFlows> f = line_flows(c);
    ASSERT_EQ(f.size(), 4u);
    // The impedance line delivers the whole load and its losses.
    EXPECT_NEAR(f[0].from.real(), c.machines[0].pg, 1e-6);
    EXPECT_NEAR(f[0].from.imag(), c.machines[0].qg, 1e-6);
    EXPECT_NEAR(-f[0].to.real(), 50.0, 1e-5);
    EXPECT_NEAR(-f[0].to.imag(), 15.0, 1e-5);
    EXPECT_NEAR(f[1].from.real(), 50.0, 1e-5);
    EXPECT_NEAR(f[1].to.imag(), -15.0, 1e-5);
    // Ties 3-4 share the 30 + j5 to bus 4; one of the loop carries it.
    const Complex into_4 = f[2].from - f[3].to;
    EXPECT_NEAR(into_4.real(), 30.0, 1e-5);
    EXPECT_NEAR(into_4.imag(), 5.0, 1e-5);
    EXPECT_TRUE(std::abs(f[2].from) < 1e-9 || std::abs(f[3].from) < 1e-9);
    // Out of service: nothing.
    c.lines[1].status = 0;
    EXPECT_EQ(line_flows(c)[1].from, Complex{});
}

}  // namespace
}  // namespace velquin::sim
