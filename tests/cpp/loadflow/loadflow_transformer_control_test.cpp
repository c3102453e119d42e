// Transformer windings beyond a fixed ratio: impedance correction tables,
// phase-shift control of active power and load-drop compensation of
// voltage control. Each is checked against the same network solved with
// the device's effect written in by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>

#include "case_builders.hpp"
#include "loadflow/loadflow.hpp"

namespace velquin::sim {
namespace {

using namespace case_builders;

// Swing 1 feeding load bus 2 through a transformer 1-2 and a parallel line.
Case transformer_case() {
    Case c = two_bus({80.0, 30.0});
    c.lines[0] = line(1, 2, 0.02, 0.25);
    c.transformers = {transformer(1, 2, 0.004, 0.1)};
    return c;
}

ImpedanceCorrectionTable table(int number, std::vector<CorrectionPoint> points) {
    ImpedanceCorrectionTable t;
    t.number = number;
    t.points = std::move(points);
    return t;
}

TEST(LoadflowImpedanceCorrection, RatioTableScalesTheImpedanceAtTheSolvedTap) {
    Case c = transformer_case();
    c.transformers[0].windings[0].ratio = 0.95;
    c.transformers[0].windings[0].correction_table = 7;
    // Complex factors, between points: 0.9 -> 1.2, 1.0 -> 1.0, 1.1 -> 1.3.
    c.impedance_correction_tables = {
        table(7, {{1.1, {1.3, 0.0}}, {0.9, {1.2, 0.1}}, {1.0, {1.0, 0.0}}})};  // unsorted on purpose
    ASSERT_EQ(solve_loadflow(c, tight()).status, kSolutionConverged);
    // Hand-written: at 0.95 the factor is halfway between 1.2 + j0.1 and 1.
    Case by_hand = transformer_case();
    by_hand.transformers[0].windings[0].ratio = 0.95;
    const Complex f(1.1, 0.05);
    const Complex z = Complex(0.004, 0.1) * f;
    by_hand.transformers[0].impedance[0].r = z.real();
    by_hand.transformers[0].impedance[0].x = z.imag();
    ASSERT_EQ(solve_loadflow(by_hand, tight()).status, kSolutionConverged);
    expect_same_voltages(c, by_hand);

    // Tap control moves the ratio; the factor follows the final ratio.
    Case controlled = transformer_case();
    controlled.impedance_correction_tables = c.impedance_correction_tables;
    Winding& w = controlled.transformers[0].windings[0];
    w.correction_table = 7;
    w.control_mode = 1;
    w.controlled_bus = 2;
    w.vmin = 0.99;
    w.vmax = 1.0;
    LoadflowOptions o = tight();
    o.taps = TapAdjustment::Stepping;
    const LoadflowResult r = solve_loadflow(controlled, o);
    ASSERT_EQ(r.status, kSolutionConverged);
    ASSERT_GT(r.taps_moved, 0);
    const double ratio = controlled.transformers[0].windings[0].ratio;
    Case final_by_hand = transformer_case();
    final_by_hand.transformers[0].windings[0].ratio = ratio;
    const double x = (ratio - 0.9) / 0.1;  // between 0.9 and 1.0
    ASSERT_GT(x, 0.0);
    ASSERT_LT(x, 1.0);
    const Complex zf =
        Complex(0.004, 0.1) * (Complex(1.2, 0.1) + (Complex(1.0, 0.0) - Complex(1.2, 0.1)) * x);
    final_by_hand.transformers[0].impedance[0].r = zf.real();
    final_by_hand.transformers[0].impedance[0].x = zf.imag();
    ASSERT_EQ(solve_loadflow(final_by_hand, tight()).status, kSolutionConverged);
    expect_same_voltages(controlled, final_by_hand);
}

TEST(LoadflowImpedanceCorrection, AngleTablesAndThreeWindingCodes) {
    // A phase shifter at 10 degrees with an angle table: factor 1.5 there.
    Case c = transformer_case();
    c.transformers[0].windings[0].angle_deg = 10.0;
    c.transformers[0].windings[0].correction_table = 2;
    c.impedance_correction_tables = {table(2, {{-20.0, {2.0, 0.0}}, {0.0, {1.0, 0.0}}, {20.0, {2.0, 0.0}}})};
    ASSERT_EQ(solve_loadflow(c, tight()).status, kSolutionConverged);
    Case by_hand = transformer_case();
    by_hand.transformers[0].windings[0].angle_deg = 10.0;
    by_hand.transformers[0].impedance[0].r *= 1.5;
    by_hand.transformers[0].impedance[0].x *= 1.5;
    ASSERT_EQ(solve_loadflow(by_hand, tight()).status, kSolutionConverged);
    expect_same_voltages(c, by_hand);

    // Three windings, winding 1 with factor 2 at its ratio: ZCOD 0 scales
    // its star impedance, ZCOD 1 the bus-to-bus impedances 1-2 and 3-1.
    Case three = two_bus({0.0, 0.0});
    three.lines.clear();
    three.buses.push_back(bus(3, kLoadBus));
    three.loads = {load(2, {40.0, 10.0}), load(3, {20.0, 5.0})};
    Transformer t;
    t.bus1 = 1;
    t.bus2 = 2;
    t.bus3 = 3;
    t.impedance = {WindingPairImpedance{0.01, 0.1, 100.0}, WindingPairImpedance{0.01, 0.12, 100.0},
                   WindingPairImpedance{0.01, 0.14, 100.0}};
    t.windings[0].correction_table = 1;
    three.transformers = {t};
    three.impedance_correction_tables = {table(1, {{0.9, {2.0, 0.0}}, {1.1, {2.0, 0.0}}})};
    for (int zcod : {0, 1}) {
        Case k = three;
        k.transformers[0].impedance_correction_code = zcod;
        ASSERT_EQ(solve_loadflow(k, tight()).status, kSolutionConverged);
        Case hand = three;
        hand.impedance_correction_tables.clear();
        hand.transformers[0].windings[0].correction_table = 0;
        auto& z = hand.transformers[0].impedance;
        if (zcod == 1) {
            for (int p : {0, 2}) {
                z[static_cast<std::size_t>(p)].r *= 2.0;
                z[static_cast<std::size_t>(p)].x *= 2.0;
            }
        } else {
            // Z1 = (Z12 + Z31 - Z23) / 2 doubles: add Z1 to Z12 and Z31.
            const Complex z1 = (Complex(0.01, 0.1) + Complex(0.01, 0.14) - Complex(0.01, 0.12)) / 2.0;
            for (int p : {0, 2}) {
                z[static_cast<std::size_t>(p)].r += z1.real();
                z[static_cast<std::size_t>(p)].x += z1.imag();
            }
        }
        ASSERT_EQ(solve_loadflow(hand, tight()).status, kSolutionConverged);
        expect_same_voltages(k, hand);
    }
}

TEST(LoadflowImpedanceCorrection, MissingOrUnusableTablesAreNamed) {
    Case c = transformer_case();
    c.transformers[0].windings[0].correction_table = 5;
    LoadflowResult r = solve_loadflow(c, tight());
    ASSERT_EQ(r.status, kSolutionConverged);
    ASSERT_EQ(r.notes.size(), 1u);
    EXPECT_NE(r.notes[0].find("table 5, which the case does not hold"), std::string::npos);
    c.impedance_correction_tables = {table(5, {{1.0, {0.0, 0.0}}, {1.1, {1.0, 0.0}}})};
    r = solve_loadflow(c, tight());
    ASSERT_EQ(r.notes.size(), 1u);
    EXPECT_NE(r.notes[0].find("non-zero factors"), std::string::npos);
}

// Active (or reactive) power entering a transformer at winding 1, from the
// solved voltages and the textbook two-winding model.
Complex entering_winding_1(const Case& c) {
    const Transformer& t = c.transformers[0];
    const Complex y = 1.0 / Complex(t.impedance[0].r, t.impedance[0].x);
    const double t1 = t.windings[0].ratio;
    const Complex a = std::polar(t1, t.windings[0].angle_deg * std::numbers::pi / 180.0);
    const Complex v1 = voltage(c.buses[0]), v2 = voltage(c.buses[1]);
    const Complex i1 = y / (t1 * t1) * v1 - y / std::conj(a) * v2;
    return v1 * std::conj(i1) * 100.0;
}

TEST(LoadflowFlowControl, PhaseShifterHoldsItsActivePowerBand) {
    Case c = transformer_case();
    Winding& w = c.transformers[0].windings[0];
    w.control_mode = 3;
    w.vmin = 20.0;  // MW
    w.vmax = 22.0;
    w.rmin = -30.0;  // degrees
    w.rmax = 30.0;
    w.tap_positions = 121;  // half-degree steps
    const Winding phase_shifter = w;
    LoadflowOptions o = tight();
    Case fixed = c;
    ASSERT_EQ(solve_loadflow(fixed, o).status, kSolutionConverged);
    EXPECT_GT(entering_winding_1(fixed).real(), 40.0);  // the stiffer path takes most
    EXPECT_EQ(fixed.transformers[0].windings[0].angle_deg, 0.0);

    o.phase_shift_adjustment = true;
    const LoadflowResult r = solve_loadflow(c, o);
    ASSERT_EQ(r.status, kSolutionConverged);
    EXPECT_GT(r.flow_windings_moved, 0);
    const double p = entering_winding_1(c).real();
    EXPECT_GE(p, 20.0);
    EXPECT_LE(p, 22.0);
    const double angle = c.transformers[0].windings[0].angle_deg;
    EXPECT_NEAR(std::remainder(angle, 0.5), 0.0, 1e-9);  // on a step of the range
    EXPECT_GT(angle, 0.0);                               // a positive angle lowers the flow from winding 1

    // At its angle limit the flow stays out of the band.
    Case limited = transformer_case();
    limited.transformers[0].windings[0] = phase_shifter;
    limited.transformers[0].windings[0].rmax = 2.0;
    ASSERT_EQ(solve_loadflow(limited, o).status, kSolutionConverged);
    EXPECT_NEAR(limited.transformers[0].windings[0].angle_deg, 2.0, 1e-9);
    EXPECT_GT(entering_winding_1(limited).real(), 22.0);
}

TEST(LoadflowFlowControl, RatioHoldsReactivePowerWithTheTaps) {
    Case c = transformer_case();
    Winding& w = c.transformers[0].windings[0];
    w.control_mode = 2;
    w.vmin = 5.0;  // Mvar
    w.vmax = 8.0;
    w.rmin = 0.9;
    w.rmax = 1.1;
    w.tap_positions = 81;
    Case fixed = c;
    ASSERT_EQ(solve_loadflow(fixed, tight()).status, kSolutionConverged);
    EXPECT_GT(entering_winding_1(fixed).imag(), 8.0);
    for (TapAdjustment mode : {TapAdjustment::Stepping, TapAdjustment::Direct}) {
        Case k = c;
        LoadflowOptions o = tight();
        o.taps = mode;
        ASSERT_EQ(solve_loadflow(k, o).status, kSolutionConverged);
        const double q = entering_winding_1(k).imag();
        EXPECT_GE(q, 5.0);
        EXPECT_LE(q, 8.0);
        EXPECT_NEAR(std::remainder(k.transformers[0].windings[0].ratio - 0.9, 0.2 / 80.0), 0.0, 1e-9);
    }
}

TEST(LoadflowLoadDropCompensation, WindingHoldsTheVoltageAtTheCompensationPoint) {
    // Swing 1 -- transformer -- 2 -- line (R + jX) -- 3 with the load. With
    // CR + jCX equal to the line's impedance the compensated voltage is
    // bus 3's own, since the line carries the transformer's whole current.
    Case c = transformer_case();
    c.buses.push_back(bus(3, kLoadBus));
    c.lines[0] = line(2, 3, 0.03, 0.12);
    c.loads[0].bus = 3;
    Winding& w = c.transformers[0].windings[0];
    w.control_mode = 1;
    w.controlled_bus = 2;
    w.vmin = 1.0;
    w.vmax = 1.01;
    w.rmin = 0.8;
    w.rmax = 1.1;
    w.tap_positions = 301;
    LoadflowOptions o = tight();
    o.taps = TapAdjustment::Direct;
    Case plain = c;
    ASSERT_EQ(solve_loadflow(plain, o).status, kSolutionConverged);
    EXPECT_GE(plain.buses[1].vm, 1.0);
    EXPECT_LT(plain.buses[2].vm, 0.99);  // the load end sags below the band

    w.load_drop_compensation = Complex(0.03, 0.12);
    ASSERT_EQ(solve_loadflow(c, o).status, kSolutionConverged);
    EXPECT_GE(c.buses[2].vm, 1.0);
    EXPECT_LE(c.buses[2].vm, 1.01);
    EXPECT_GT(c.buses[1].vm, 1.01);
}

}  // namespace
}  // namespace velquin::sim
