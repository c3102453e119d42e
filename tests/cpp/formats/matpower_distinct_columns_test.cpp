// Every column the MATPOWER reader imports, with a value no other column
// holds, must land in its model member. The column order is MATPOWER's
// published case format (bus, gen and branch matrices, columns numbered from
// 1), written out here rather than taken from the reader's column table.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "formats/matpower_format.hpp"

namespace velquin::sim {
namespace {

// Columns in MATPOWER's order, including the result and cost-related ones
// the reader leaves alone.
const std::vector<std::string> kBusColumns = {"BUS_I",    "BUS_TYPE", "PD",    "QD",      "GS",     "BS",
                                              "BUS_AREA", "VM",       "VA",    "BASE_KV", "ZONE",   "VMAX",
                                              "VMIN",     "LAM_P",    "LAM_Q", "MU_VMAX", "MU_VMIN"};
const std::vector<std::string> kGenColumns = {
    "GEN_BUS",    "PG",     "QG",       "QMAX",    "QMIN",    "VG",     "MBASE",
    "GEN_STATUS", "PMAX",   "PMIN",     "PC1",     "PC2",     "QC1MIN", "QC1MAX",
    "QC2MIN",     "QC2MAX", "RAMP_AGC", "RAMP_10", "RAMP_30", "RAMP_Q", "APF"};
const std::vector<std::string> kBranchColumns = {"F_BUS",     "T_BUS",  "BR_R",   "BR_X", "BR_B",
                                                 "RATE_A",    "RATE_B", "RATE_C", "TAP",  "SHIFT",
                                                 "BR_STATUS", "ANGMIN", "ANGMAX"};

using Row = std::map<std::string, double>;

// Gives each column a value no column before it had: k + 0.25 (k counting
// columns), or 100 + k where the value must be an integer.
class Rows {
public:
    Row make(const std::vector<std::string>& columns, const Row& fixed = {}) {
        Row row;
        for (const auto& c : columns) {
            ++count_;
            const bool integral = c == "BUS_I" || c == "BUS_AREA" || c == "ZONE";
            row[c] = fixed.count(c) != 0 ? fixed.at(c) : integral ? 100 + count_ : count_ + 0.25;
        }
        return row;
    }

private:
    int count_ = 0;
};

std::string matrix(const std::vector<std::string>& columns, const std::vector<Row>& rows) {
    std::string out = "[\n";
    for (const Row& row : rows) {
        for (const auto& c : columns) {
            char buffer[32];
            std::snprintf(buffer, sizeof buffer, " %.17g", row.at(c));
            out += buffer;
        }
        out += ";\n";
    }
    return out + "];\n";
}

TEST(MatpowerDistinctColumns, EveryImportedColumnLandsInItsOwnMember) {
    Rows rows;
    const double base_mva = 117.5;
    const Row bus1 = rows.make(kBusColumns, {{"BUS_TYPE", 3}});
    const Row bus2 = rows.make(kBusColumns, {{"BUS_TYPE", 2}});
    const Row gen = rows.make(kGenColumns, {{"GEN_BUS", bus2.at("BUS_I")}, {"GEN_STATUS", 1}});
    // A line needs TAP and SHIFT 0; the transformer gets both.
    const Row line = rows.make(kBranchColumns, {{"F_BUS", bus1.at("BUS_I")},
                                                {"T_BUS", bus2.at("BUS_I")},
                                                {"TAP", 0},
                                                {"SHIFT", 0},
                                                {"BR_STATUS", 1}});
    const Row transformer = rows.make(
        kBranchColumns, {{"F_BUS", bus2.at("BUS_I")}, {"T_BUS", bus1.at("BUS_I")}, {"BR_STATUS", 1}});
    const std::string text = "function mpc = distinct\nmpc.version = '2';\nmpc.baseMVA = 117.5;\nmpc.bus = " +
                             matrix(kBusColumns, {bus1, bus2}) + "mpc.gen = " + matrix(kGenColumns, {gen}) +
                             "mpc.branch = " + matrix(kBranchColumns, {line, transformer});
    const Case c = parse_matpower(text, "distinct.m");

    EXPECT_EQ(c.identification.base_mva, base_mva);
    ASSERT_EQ(c.buses.size(), 2u);
    ASSERT_EQ(c.loads.size(), 2u);
    ASSERT_EQ(c.fixed_shunts.size(), 3u);  // two bus shunts, then the transformer's charging
    for (int k = 0; k < 2; ++k) {
        const Row& row = k == 0 ? bus1 : bus2;
        SCOPED_TRACE("bus row " + std::to_string(k + 1));
        const Bus& b = c.buses[k];
        EXPECT_EQ(b.number, row.at("BUS_I"));
        EXPECT_EQ(b.type, row.at("BUS_TYPE"));
        EXPECT_EQ(b.area, row.at("BUS_AREA"));
        EXPECT_EQ(b.vm, row.at("VM"));
        EXPECT_EQ(b.va_deg, row.at("VA"));
        EXPECT_EQ(b.base_kv, row.at("BASE_KV"));
        EXPECT_EQ(b.zone, row.at("ZONE"));
        EXPECT_EQ(b.normal_vmax, row.at("VMAX"));
        EXPECT_EQ(b.normal_vmin, row.at("VMIN"));
        const Load& l = c.loads[k];
        EXPECT_EQ(l.bus, b.number);
        EXPECT_EQ(l.constant_power, Complex(row.at("PD"), row.at("QD")));
        EXPECT_EQ(l.constant_current, Complex());
        EXPECT_EQ(l.constant_admittance, Complex());
        EXPECT_EQ(l.area, b.area);
        EXPECT_EQ(l.zone, b.zone);
        const FixedShunt& s = c.fixed_shunts[k];
        EXPECT_EQ(s.bus, b.number);
        EXPECT_EQ(s.admittance, Complex(row.at("GS"), row.at("BS")));
    }

    ASSERT_EQ(c.machines.size(), 1u);
    const Machine& m = c.machines[0];
    EXPECT_EQ(m.bus, gen.at("GEN_BUS"));
    EXPECT_EQ(m.pg, gen.at("PG"));
    EXPECT_EQ(m.qg, gen.at("QG"));
    EXPECT_EQ(m.qmax, gen.at("QMAX"));
    EXPECT_EQ(m.qmin, gen.at("QMIN"));
    EXPECT_EQ(m.mbase, gen.at("MBASE"));
    EXPECT_EQ(m.status, 1);
    EXPECT_EQ(m.pmax, gen.at("PMAX"));
    EXPECT_EQ(m.pmin, gen.at("PMIN"));
    ASSERT_EQ(c.plants.size(), 1u);
    EXPECT_EQ(c.plants[0].bus, m.bus);
    EXPECT_EQ(c.plants[0].scheduled_voltage, gen.at("VG"));

    ASSERT_EQ(c.lines.size(), 1u);
    const LineBranch& l = c.lines[0];
    EXPECT_EQ(l.from_bus, line.at("F_BUS"));
    EXPECT_EQ(l.to_bus, line.at("T_BUS"));
    EXPECT_EQ(l.r, line.at("BR_R"));
    EXPECT_EQ(l.x, line.at("BR_X"));
    EXPECT_EQ(l.b, line.at("BR_B"));
    EXPECT_EQ(l.ratings[0], line.at("RATE_A"));
    EXPECT_EQ(l.ratings[1], line.at("RATE_B"));
    EXPECT_EQ(l.ratings[2], line.at("RATE_C"));
    EXPECT_EQ(l.status, 1);

    // The transformer: ratio and shift on the from side, charging split
    // into magnetising susceptance and a shunt at the to bus.
    ASSERT_EQ(c.transformers.size(), 1u);
    const Transformer& t = c.transformers[0];
    const double tap = transformer.at("TAP"), b = transformer.at("BR_B");
    EXPECT_EQ(t.bus1, transformer.at("F_BUS"));
    EXPECT_EQ(t.bus2, transformer.at("T_BUS"));
    EXPECT_EQ(t.impedance[0].r, transformer.at("BR_R"));
    EXPECT_EQ(t.impedance[0].x, transformer.at("BR_X"));
    EXPECT_EQ(t.impedance[0].sbase, base_mva);
    EXPECT_EQ(t.mag1, 0.0);
    EXPECT_EQ(t.mag2, b / (2.0 * tap * tap));
    EXPECT_EQ(t.windings[0].ratio, tap);
    EXPECT_EQ(t.windings[0].angle_deg, transformer.at("SHIFT"));
    EXPECT_EQ(t.windings[0].ratings[0], transformer.at("RATE_A"));
    EXPECT_EQ(t.windings[0].ratings[1], transformer.at("RATE_B"));
    EXPECT_EQ(t.windings[0].ratings[2], transformer.at("RATE_C"));
    EXPECT_EQ(t.windings[1].ratio, 1.0);
    EXPECT_EQ(t.status, 1);
    const FixedShunt& charging = c.fixed_shunts[2];
    EXPECT_EQ(charging.bus, t.bus2);
    EXPECT_EQ(charging.admittance, Complex(0.0, b / 2.0 * base_mva));
}

}  // namespace
}  // namespace velquin::sim
