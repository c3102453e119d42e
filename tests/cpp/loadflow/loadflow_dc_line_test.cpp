// Two-terminal LCC DC lines against independent formulations: the line's
// converter powers at the solved voltages recomputed here from the
// textbook bridge equations (solved by bisection, overlap from the
// valve-side voltage), and the same network with the line replaced by
// fixed loads of those powers, which must give the same voltages.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <functional>
#include <numbers>

#include "case_builders.hpp"
#include "loadflow/loadflow.hpp"

namespace velquin::sim {
namespace {

using namespace case_builders;

constexpr double kPi = std::numbers::pi;

// Converter taps as the case gives them.
LoadflowOptions fixed_taps() {
    LoadflowOptions o = tight();
    o.dc_tap_adjustment = false;
    return o;
}

TwoTerminalDcConverter converter(int at, double min_deg, double max_deg) {
    TwoTerminalDcConverter k;
    k.bus = at;
    k.bridges = 2;
    k.min_angle_deg = min_deg;
    k.max_angle_deg = max_deg;
    k.commutating_reactance = 8.0;  // ohms per bridge
    k.base_kv = 230.0;
    k.transformer_ratio = 0.86;
    k.tap = 1.0;
    k.tap_min = 0.8;
    k.tap_max = 1.2;
    k.tap_step = 0.00625;
    return k;
}

// Swing 1 and generator 4 feed load buses 2 (rectifier) and 3 (inverter);
// the DC line carries 100 MW from 2 to 3 (measured at the rectifier).
Case dc_network() {
    Case c;
    c.buses = {bus(1, kSwingBus, 1.0, 230.0), bus(2, kLoadBus, 1.0, 230.0), bus(3, kLoadBus, 1.0, 230.0),
               bus(4, kGeneratorBus, 1.0, 230.0)};
    c.plants = {Plant{.bus = 1, .scheduled_voltage = 1.02}, Plant{.bus = 4, .scheduled_voltage = 1.01}};
    c.machines = {machine(1, 0.0), machine(4, 150.0)};
    c.lines = {line(1, 2, 0.005, 0.05), line(3, 4, 0.005, 0.05), line(4, 1, 0.01, 0.1)};
    c.loads = {load(2, {50.0, 20.0}), load(3, {250.0, 60.0})};
    TwoTerminalDcLine l;
    l.name = "DC1";
    l.control_mode = kDcPowerControl;
    l.resistance = 8.0;
    l.setpoint = 100.0;
    l.scheduled_kv = 500.0;
    l.current_margin = 0.1;
    l.rectifier = converter(2, 5.0, 30.0);
    l.inverter = converter(3, 17.0, 30.0);
    c.two_terminal_dc_lines = {l};
    return c;
}

// Valve-side line-to-line voltage (kV) and the overlap of a bridge from
// Id = sqrt(2) E (cos a - cos(a + u)) / (2 Xc), the textbook's form.
double valve_voltage(const TwoTerminalDcConverter& k, double vm) {
    return vm * k.base_kv * k.transformer_ratio / k.tap;
}
double overlap(const TwoTerminalDcConverter& k, double e, double angle, double id) {
    return std::acos(std::cos(angle) - 2.0 * k.commutating_reactance * id / (std::sqrt(2.0) * e)) - angle;
}
// Reactive power drawn with active power p: tan(phi) of the textbook.
double textbook_q(double p, double angle, double u) {
    const double tan_phi = (2.0 * u + std::sin(2.0 * angle) - std::sin(2.0 * (angle + u))) /
                           (std::cos(2.0 * angle) - std::cos(2.0 * (angle + u)));
    return p * tan_phi;
}

double bisect(const std::function<double(double)>& f, double lo, double hi) {
    for (int k = 0; k < 200; ++k) {
        const double mid = 0.5 * (lo + hi);
        (f(lo) < 0.0) == (f(mid) < 0.0) ? lo = mid : hi = mid;
    }
    return 0.5 * (lo + hi);
}

// The same network with the line's converters as fixed loads.
Case with_fixed_injections(Case c, const DcLineResult& r) {
    c.two_terminal_dc_lines.clear();
    c.loads.push_back(load(2, {r.rectifier_mw, r.rectifier_mvar}));
    c.loads.push_back(load(3, {-r.inverter_mw, r.inverter_mvar}));
    return c;
}

TEST(LoadflowDcLine, PowerControlEqualsFixedInjectionsAndTheTextbookConverters) {
    Case c = dc_network();
    const LoadflowResult r = solve_loadflow(c, fixed_taps());
    ASSERT_EQ(r.status, kSolutionConverged);
    ASSERT_EQ(r.dc_lines.size(), 1u);
    const DcLineResult& dc = r.dc_lines[0];
    EXPECT_FALSE(dc.inverter_controls_current);

    // The inverter at its minimum extinction angle sets the voltage; the
    // current is the one whose DC power at the rectifier is the order.
    const TwoTerminalDcLine& l = c.two_terminal_dc_lines[0];
    const double vr = c.buses[1].vm, vi = c.buses[2].vm;
    const double er = valve_voltage(l.rectifier, vr), ei = valve_voltage(l.inverter, vi);
    const double bridge = 3.0 * std::sqrt(2.0) / kPi;
    const double gamma = 17.0 * kPi / 180.0;
    auto vdi_at = [&](double id) {
        return 2.0 * (bridge * ei * std::cos(gamma) - 3.0 / kPi * l.inverter.commutating_reactance * id);
    };
    const double id = bisect([&](double x) { return (vdi_at(x) + l.resistance * x) * x - 100.0; }, 0.0, 1.0);
    const double vdr = vdi_at(id) + l.resistance * id;
    const double alpha =
        std::acos((vdr / 2.0 + 3.0 / kPi * l.rectifier.commutating_reactance * id) / (bridge * er));
    EXPECT_NEAR(dc.id_ka, id, 1e-9);
    EXPECT_NEAR(dc.rectifier_mw, 100.0, 1e-7);
    EXPECT_NEAR(dc.inverter_mw, vdi_at(id) * id, 1e-7);
    EXPECT_NEAR(dc.alpha_deg, alpha * 180.0 / kPi, 1e-7);
    EXPECT_NEAR(dc.gamma_deg, 17.0, 1e-12);
    // Reactive power from the firing angle and the commutating reactance.
    EXPECT_NEAR(dc.rectifier_mvar, textbook_q(100.0, alpha, overlap(l.rectifier, er, alpha, id)), 1e-6);
    EXPECT_NEAR(dc.inverter_mvar, textbook_q(dc.inverter_mw, gamma, overlap(l.inverter, ei, gamma, id)),
                1e-6);
    EXPECT_GT(dc.rectifier_mvar, 20.0);  // a real draw, not a rounding

    Case fixed = with_fixed_injections(dc_network(), dc);
    ASSERT_EQ(solve_loadflow(fixed, tight()).status, kSolutionConverged);
    expect_same_voltages(c, fixed);
}

TEST(LoadflowDcLine, RectifierAtItsMinimumAngleHandsTheCurrentToTheInverter) {
    // A high rectifier tap lowers its no-load voltage below what the
    // order needs: it stays at 5 degrees and the inverter holds the
    // current less the 10 % margin.
    Case c = dc_network();
    c.two_terminal_dc_lines[0].rectifier.tap = 1.1;
    const LoadflowResult r = solve_loadflow(c, fixed_taps());
    ASSERT_EQ(r.status, kSolutionConverged);
    const DcLineResult& dc = r.dc_lines[0];
    EXPECT_TRUE(dc.inverter_controls_current);
    EXPECT_NEAR(dc.alpha_deg, 5.0, 1e-12);
    const TwoTerminalDcConverter& k = c.two_terminal_dc_lines[0].rectifier;
    const double er = valve_voltage(k, c.buses[1].vm);
    auto vdr_at = [&](double id) {
        return 2.0 * (3.0 * std::sqrt(2.0) / kPi * er * std::cos(5.0 * kPi / 180.0) -
                      3.0 / kPi * k.commutating_reactance * id);
    };
    const double order = bisect([&](double x) { return vdr_at(x) * x - 100.0; }, 0.0, 1.0);
    EXPECT_NEAR(dc.id_ka, 0.9 * order, 1e-9);
    EXPECT_NEAR(dc.vdr_kv, vdr_at(0.9 * order), 1e-7);
    EXPECT_GT(dc.gamma_deg, 17.0);
    Case fixed = with_fixed_injections(dc_network(), dc);
    ASSERT_EQ(solve_loadflow(fixed, tight()).status, kSolutionConverged);
    expect_same_voltages(c, fixed);
}

TEST(LoadflowDcLine, CurrentControlBlockedLinesAndConverterTaps) {
    Case current = dc_network();
    current.two_terminal_dc_lines[0].control_mode = kDcCurrentControl;
    current.two_terminal_dc_lines[0].setpoint = 150.0;  // A
    LoadflowResult r = solve_loadflow(current, fixed_taps());
    ASSERT_EQ(r.status, kSolutionConverged);
    EXPECT_NEAR(r.dc_lines[0].id_ka, 0.15, 1e-12);

    Case blocked = dc_network();
    blocked.two_terminal_dc_lines[0].control_mode = kDcBlocked;
    r = solve_loadflow(blocked, fixed_taps());
    ASSERT_EQ(r.status, kSolutionConverged);
    EXPECT_TRUE(r.dc_lines.empty());
    Case without = dc_network();
    without.two_terminal_dc_lines.clear();
    ASSERT_EQ(solve_loadflow(without, tight()).status, kSolutionConverged);
    expect_same_voltages(blocked, without);

    // DC tap adjustment: the inverter's tap brings the DC voltage to its
    // 460 kV schedule within a tap step, the rectifier's keeps its angle
    // in range; both go back into the case on tap positions.
    for (bool adjust : {false, true}) {
        Case taps = dc_network();
        taps.two_terminal_dc_lines[0].scheduled_kv = 460.0;
        LoadflowOptions o = tight();
        o.dc_tap_adjustment = adjust;
        r = solve_loadflow(taps, o);
        ASSERT_EQ(r.status, kSolutionConverged);
        const TwoTerminalDcLine& l = taps.two_terminal_dc_lines[0];
        if (!adjust) {
            EXPECT_EQ(r.dc_taps_moved, 0);
            EXPECT_EQ(l.inverter.tap, 1.0);
            EXPECT_GT(r.dc_lines[0].vdi_kv, 475.0);
            continue;
        }
        EXPECT_GT(r.dc_taps_moved, 0);
        EXPECT_NEAR(r.dc_lines[0].vdi_kv, 460.0, 460.0 * l.inverter.tap_step);
        EXPECT_NEAR(std::remainder(l.inverter.tap - l.inverter.tap_min, l.inverter.tap_step), 0.0, 1e-9);
        EXPECT_EQ(r.dc_lines[0].inverter_tap, l.inverter.tap);
        EXPECT_GE(r.dc_lines[0].alpha_deg, 5.0);
        EXPECT_LE(r.dc_lines[0].alpha_deg, 30.0);
    }
}

}  // namespace
}  // namespace velquin::sim
