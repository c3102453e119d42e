// VSC DC lines and FACTS devices: DC power and losses recomputed here,
// voltages held, limits reached, and each device against the same network
// with its effect written in by hand (fixed injections, a fixed shunt, a
// line).
#include <gtest/gtest.h>

#include <cmath>
#include <complex>

#include "case_builders.hpp"
#include "loadflow/loadflow.hpp"

namespace velquin::sim {
namespace {

using namespace case_builders;

// Swing 1, load buses 2 and 3, generator bus 4: 1-2, 3-4, 4-1.
Case four_bus() {
    Case c;
    c.buses = {bus(1, kSwingBus), bus(2, kLoadBus), bus(3, kLoadBus), bus(4, kGeneratorBus)};
    c.plants = {Plant{.bus = 1, .scheduled_voltage = 1.02}, Plant{.bus = 4, .scheduled_voltage = 1.01}};
    c.machines = {machine(1, 0.0), machine(4, 120.0)};
    c.lines = {line(1, 2, 0.01, 0.08), line(3, 4, 0.01, 0.08), line(4, 1, 0.02, 0.15)};
    c.loads = {load(2, {60.0, 30.0}), load(3, {90.0, 40.0})};
    return c;
}

VscConverter vsc(int at, int dc_control, double dc_setpoint, double ac_setpoint) {
    VscConverter k;
    k.bus = at;
    k.dc_control = dc_control;
    k.dc_setpoint = dc_setpoint;
    k.ac_setpoint = ac_setpoint;
    k.loss_a = 500.0;  // kW
    k.loss_b = 2.0;    // kW per A
    k.qmax = 100.0;
    k.qmin = -100.0;
    return k;
}

// Converter 1 at bus 2 holds 300 kV; converter 2 at bus 3 draws 80 MW.
Case vsc_network() {
    Case c = four_bus();
    VscDcLine l;
    l.name = "VSC1";
    l.resistance = 2.0;
    l.converters = {vsc(2, kVscDcVoltageControl, 300.0, 1.0), vsc(3, kVscPowerControl, -80.0, 1.01)};
    c.vsc_dc_lines = {l};
    return c;
}

TEST(LoadflowVscLine, DcPowerLossesAndVoltageControl) {
    Case c = vsc_network();
    const LoadflowResult r = solve_loadflow(c, tight());
    ASSERT_EQ(r.status, kSolutionConverged);
    ASSERT_EQ(r.vsc_lines.size(), 1u);
    const VscLineResult& v = r.vsc_lines[0];
    // The cable sends (300 + R I) I from converter 2, which draws 80 MW
    // less its loss 0.5 + 0.002 I[A] MW.
    double lo = 0.0, hi = 1.0;
    for (int k = 0; k < 200; ++k) {
        const double mid = 0.5 * (lo + hi);
        const double excess = (300.0 + 2.0 * mid) * mid - (80.0 - 0.5 - 2.0 * mid);
        (excess < 0.0 ? lo : hi) = mid;
    }
    const double id = 0.5 * (lo + hi);
    EXPECT_NEAR(v.id_ka, id, 1e-12);
    EXPECT_NEAR(v.mw[1], -80.0, 1e-12);
    EXPECT_NEAR(v.mw[0], 300.0 * id - (0.5 + 2.0 * id), 1e-9);
    EXPECT_NEAR(c.buses[1].vm, 1.0, 1e-9);
    EXPECT_NEAR(c.buses[2].vm, 1.01, 1e-9);

    // The converters as fixed injections of what they delivered.
    Case fixed = four_bus();
    fixed.loads.push_back(load(2, {-v.mw[0], -v.mvar[0]}));
    fixed.loads.push_back(load(3, {-v.mw[1], -v.mvar[1]}));
    ASSERT_EQ(solve_loadflow(fixed, tight()).status, kSolutionConverged);
    expect_same_voltages(c, fixed);
}

TEST(LoadflowVscLine, ReactiveLimitsRatingsAndPowerFactor) {
    // At MAXQ 10 Mvar converter 1 cannot hold 1.05 pu.
    Case limited = vsc_network();
    limited.vsc_dc_lines[0].converters[0].ac_setpoint = 1.05;
    limited.vsc_dc_lines[0].converters[0].qmax = 10.0;
    LoadflowResult r = solve_loadflow(limited, tight());
    ASSERT_EQ(r.status, kSolutionConverged);
    EXPECT_TRUE(r.vsc_lines[0].at_limit[0]);
    EXPECT_NEAR(r.vsc_lines[0].mvar[0], 10.0, 1e-9);
    EXPECT_LT(limited.buses[1].vm, 1.05);

    // A 90 MVA rating leaves sqrt(90^2 - 80^2) Mvar to converter 2.
    Case rated = vsc_network();
    rated.vsc_dc_lines[0].converters[1].mva_rating = 90.0;
    rated.vsc_dc_lines[0].converters[1].ac_setpoint = 1.08;
    r = solve_loadflow(rated, tight());
    ASSERT_EQ(r.status, kSolutionConverged);
    EXPECT_NEAR(r.vsc_lines[0].mvar[1], std::sqrt(90.0 * 90.0 - 80.0 * 80.0), 1e-9);

    // Power factor 0.9 (negative: absorbing) at converter 2.
    Case pf = vsc_network();
    pf.vsc_dc_lines[0].converters[1].ac_control = kVscPowerFactorControl;
    pf.vsc_dc_lines[0].converters[1].ac_setpoint = -0.9;
    r = solve_loadflow(pf, tight());
    ASSERT_EQ(r.status, kSolutionConverged);
    EXPECT_NEAR(r.vsc_lines[0].mvar[1], 80.0 * std::sqrt(1.0 - 0.81) / 0.9, 1e-9);

    // Both converters on power control: no DC voltage, the line is out.
    Case bad = vsc_network();
    bad.vsc_dc_lines[0].converters[0].dc_control = kVscPowerControl;
    r = solve_loadflow(bad, tight());
    ASSERT_EQ(r.status, kSolutionConverged);
    EXPECT_TRUE(r.vsc_lines.empty());
    ASSERT_FALSE(r.notes.empty());
    EXPECT_NE(r.notes.back().find("neither converter holds the DC voltage"), std::string::npos);
}

FactsDevice facts(int i, int j, int mode) {
    FactsDevice f;
    f.name = "F1";
    f.sending_bus = i;
    f.terminal_bus = j;
    f.mode = mode;
    f.voltage_setpoint = 1.0;
    f.shunt_max = 50.0;
    return f;
}

TEST(LoadflowFacts, ShuntHoldsItsVoltageAndIsAFixedShuntAtItsLimit) {
    Case c = four_bus();
    c.facts_devices = {facts(3, 0, kFactsNormal)};
    LoadflowResult r = solve_loadflow(c, tight());
    ASSERT_EQ(r.status, kSolutionConverged);
    EXPECT_NEAR(c.buses[2].vm, 1.0, 1e-9);
    EXPECT_FALSE(r.facts[0].shunt_at_limit);

    // 8 Mvar (at 1 pu) is too little to hold 1.0 pu: a fixed 8 Mvar shunt.
    Case limited = four_bus();
    limited.facts_devices = {facts(3, 0, kFactsNormal)};
    limited.facts_devices[0].shunt_max = 8.0;
    r = solve_loadflow(limited, tight());
    ASSERT_EQ(r.status, kSolutionConverged);
    EXPECT_TRUE(r.facts[0].shunt_at_limit);
    EXPECT_LT(limited.buses[2].vm, 1.0);
    Case shunt = four_bus();
    shunt.fixed_shunts = {FixedShunt{.bus = 3, .id = "1", .status = 1, .admittance = {0.0, 8.0}, .name = ""}};
    ASSERT_EQ(solve_loadflow(shunt, tight()).status, kSolutionConverged);
    expect_same_voltages(limited, shunt);
    EXPECT_NEAR(r.facts[0].shunt_mvar, 8.0 * limited.buses[2].vm * limited.buses[2].vm, 1e-9);
}

// Power leaving a bus into its lines, MVA, from the solved voltages.
Complex into_lines(const Case& c, int number) {
    Complex s{};
    for (const LineBranch& l : c.lines) {
        if (l.from_bus != number && l.to_bus != number) continue;
        const int other = l.from_bus == number ? l.to_bus : l.from_bus;
        const Complex v = voltage(c.buses[static_cast<std::size_t>(number - 1)]);
        const Complex w = voltage(c.buses[static_cast<std::size_t>(other - 1)]);
        s += v * std::conj((v - w) / Complex(l.r, l.x));
    }
    return s * 100.0;
}

TEST(LoadflowFacts, SeriesElementSchedulesTheFlowOrIsAnImpedance) {
    // Mode 1 between buses 2 and 4 (lines 1-2 and 3-4 carry the rest):
    // 40 + j10 arrives at bus 4, bus 2 gives the 40 MW, and its shunt
    // element holds bus 2 at 1.0 pu.
    Case c = four_bus();
    c.facts_devices = {facts(2, 4, kFactsNormal)};
    c.facts_devices[0].p_desired = 40.0;
    c.facts_devices[0].q_desired = 10.0;
    LoadflowResult r = solve_loadflow(c, tight());
    ASSERT_EQ(r.status, kSolutionConverged);
    EXPECT_NEAR(c.buses[1].vm, 1.0, 1e-9);
    // Bus 2: lines take what the load leaves of -40 MW; bus 4: its machine
    // and the scheduled 40 + j10 feed its lines.
    EXPECT_NEAR(into_lines(c, 2).real(), -60.0 - 40.0, 1e-6);
    const Complex at_4 = into_lines(c, 4);
    EXPECT_NEAR(at_4.real(), 120.0 + 40.0, 1e-6);
    EXPECT_NEAR(at_4.imag(), c.machines[1].qg + 10.0, 1e-6);
    EXPECT_GT(r.facts[0].series_current_pu, 0.0);

    // Without a shunt element bus 2 also gives the reactive power
    // Im(V2 conj(I)) of the series current I = conj(S / V4) (the active
    // power stays 40 MW: the series voltage's share comes over the DC link).
    Case no_shunt = c;
    no_shunt.facts_devices[0].shunt_max = 0.0;
    ASSERT_EQ(solve_loadflow(no_shunt, tight()).status, kSolutionConverged);
    const Complex v2 = voltage(no_shunt.buses[1]), v4 = voltage(no_shunt.buses[3]);
    const Complex series_current = std::conj(Complex(0.4, 0.1) / v4);
    const Complex given_at_2 = v2 * std::conj(series_current) * 100.0;
    EXPECT_NEAR(into_lines(no_shunt, 2).real(), -60.0 - 40.0, 1e-6);
    EXPECT_NEAR(into_lines(no_shunt, 2).imag(), -30.0 - given_at_2.imag(), 1e-6);

    // Mode 3: the series impedance SET1 + j SET2 is a line.
    Case z = four_bus();
    z.facts_devices = {facts(2, 3, kFactsConstantImpedance)};
    z.facts_devices[0].shunt_max = 0.0;
    z.facts_devices[0].set1 = 0.01;
    z.facts_devices[0].set2 = 0.05;
    ASSERT_EQ(solve_loadflow(z, tight()).status, kSolutionConverged);
    Case as_line = four_bus();
    as_line.lines.push_back(line(2, 3, 0.01, 0.05));
    ASSERT_EQ(solve_loadflow(as_line, tight()).status, kSolutionConverged);
    expect_same_voltages(z, as_line);

    // Mode 2 bypasses the series element: the buses are tied.
    Case bypass = four_bus();
    bypass.facts_devices = {facts(2, 3, kFactsSeriesBypassed)};
    bypass.facts_devices[0].shunt_max = 0.0;
    ASSERT_EQ(solve_loadflow(bypass, tight()).status, kSolutionConverged);
    EXPECT_EQ(bypass.buses[1].vm, bypass.buses[2].vm);
    EXPECT_EQ(bypass.buses[1].va_deg, bypass.buses[2].va_deg);
}

}  // namespace
}  // namespace velquin::sim
