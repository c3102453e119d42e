// Small hand-built cases for the load-flow tests: buses, branches,
// transformers, loads and machines with the fields a test sets most often.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <string>
#include <utility>

#include "loadflow/loadflow.hpp"
#include "model/case.hpp"

namespace velquin::sim::case_builders {

// A tight tolerance, enough iterations, reactive limits off.
inline LoadflowOptions tight() {
    LoadflowOptions o;
    o.tolerance_mva = 1e-7;
    o.max_iterations = 30;
    o.var_limits = -1;
    return o;
}

inline Bus bus(int number, int type, double vm = 1.0, double kv = 100.0) {
    Bus b;
    b.number = number;
    b.type = type;
    b.vm = vm;
    b.base_kv = kv;
    return b;
}

inline LineBranch line(int from, int to, double r, double x, double b = 0.0) {
    LineBranch l;
    l.from_bus = from;
    l.to_bus = to;
    l.r = r;
    l.x = x;
    l.b = b;
    return l;
}

inline Load load(int at, Complex s) {
    Load l;
    l.bus = at;
    l.constant_power = s;
    return l;
}

inline Machine machine(int at, double pg, double qmax = 9999.0, double qmin = -9999.0, std::string id = "1") {
    Machine g;
    g.bus = at;
    g.id = std::move(id);
    g.pg = pg;
    g.qmax = qmax;
    g.qmin = qmin;
    return g;
}

// A two-winding transformer from `bus1` to `bus2`: impedance on the
// system base, winding 1 at `ratio`.
inline Transformer transformer(int bus1, int bus2, double r, double x, double ratio = 1.0) {
    Transformer t;
    t.bus1 = bus1;
    t.bus2 = bus2;
    t.impedance[0] = {r, x, 100.0};
    t.windings[0].ratio = ratio;
    return t;
}

// Swing bus 1 at 1.0 pu feeding a load at bus 2 over a line.
inline Case two_bus(Complex load_mva) {
    Case c;
    c.buses = {bus(1, kSwingBus), bus(2, kLoadBus)};
    c.plants = {Plant{.bus = 1, .scheduled_voltage = 1.0}};
    c.machines = {machine(1, 0.0)};
    c.lines = {line(1, 2, 0.01, 0.1)};
    c.loads = {load(2, load_mva)};
    return c;
}

inline Complex voltage(const Bus& b) {
    return std::polar(b.vm, b.va_deg * std::numbers::pi / 180.0);
}

// Two solved cases of one set of buses agree bus by bus: magnitudes within
// `tolerance` pu, angles within 100 times that in degrees.
inline void expect_same_voltages(const Case& a, const Case& b, double tolerance = 1e-9) {
    ASSERT_EQ(a.buses.size(), b.buses.size());
    for (std::size_t k = 0; k < a.buses.size(); ++k) {
        EXPECT_NEAR(a.buses[k].vm, b.buses[k].vm, tolerance) << "bus " << a.buses[k].number;
        EXPECT_NEAR(a.buses[k].va_deg, b.buses[k].va_deg, tolerance * 100.0) << "bus " << a.buses[k].number;
    }
}

}  // namespace velquin::sim::case_builders
