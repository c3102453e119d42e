#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <filesystem>

#include "formats/matpower_format.hpp"

namespace velquin::sim {
namespace {

const std::filesystem::path kData = std::filesystem::path(VELQUIN_TEST_DATA_DIR) / "matpower";

struct Counts {
    const char* file;
    std::size_t buses, loads, fixed_shunts, machines, plants, lines, transformers;
};

// Counted from the files: loads are buses with Pd or Qd, fixed shunts are
// buses with Gs or Bs plus transformer branches with charging.
const Counts kCounts[] = {
    {"case118.m", 118, 99, 16, 54, 54, 175, 11},
    {"case14.m", 14, 11, 1, 5, 5, 17, 3},
    {"case2383wp.m", 2383, 1826, 46, 327, 327, 2726, 170},
    {"case30.m", 30, 20, 2, 6, 6, 41, 0},
    {"case300.m", 300, 201, 47, 69, 69, 283, 128},
    {"case6515rte.m", 6515, 3673, 113, 1389, 1033, 7422, 1615},
    {"case9.m", 9, 3, 0, 3, 3, 9, 0},
    {"case9241pegase.m", 9241, 4895, 7327, 1445, 1445, 14715, 1334},
    {"case_ACTIVSg10k.m", 10000, 4170, 281, 2485, 1728, 9726, 2980},
    {"case_ACTIVSg200.m", 200, 108, 4, 49, 49, 179, 66},
    {"case_ACTIVSg2000.m", 2000, 1125, 149, 544, 485, 2359, 847},
};

TEST(MatpowerReader, EveryPublicCaseImportsWithTheCountsItHolds) {
    for (const auto& expected : kCounts) {
        SCOPED_TRACE(expected.file);
        ImportReport report;
        const Case c = read_matpower_file(kData / expected.file, &report);
        EXPECT_EQ(c.buses.size(), expected.buses);
        EXPECT_EQ(c.loads.size(), expected.loads);
        EXPECT_EQ(c.fixed_shunts.size(), expected.fixed_shunts);
        EXPECT_EQ(c.machines.size(), expected.machines);
        EXPECT_EQ(c.plants.size(), expected.plants);
        EXPECT_EQ(c.lines.size(), expected.lines);
        EXPECT_EQ(c.transformers.size(), expected.transformers);
        EXPECT_TRUE(report.warnings.empty()) << report.warnings.front();
    }
}

TEST(MatpowerReader, Case14FieldsLandWhereTheLoadFlowExpectsThem) {
    const Case c = read_matpower_file(kData / "case14.m");
    EXPECT_EQ(c.identification.base_mva, 100.0);
    const Bus& b1 = c.buses.front();
    EXPECT_EQ(b1.number, 1);
    EXPECT_EQ(b1.type, kSwingBus);
    EXPECT_EQ(b1.vm, 1.06);
    EXPECT_EQ(b1.name, "Bus 1     HV");
    // Bus 9 carries Bs = 19 Mvar.
    ASSERT_EQ(c.fixed_shunts.size(), 1u);
    EXPECT_EQ(c.fixed_shunts[0].bus, 9);
    EXPECT_EQ(c.fixed_shunts[0].admittance, Complex(0.0, 19.0));
    // Branch 4-7 is a transformer with ratio 0.978.
    const auto t = std::find_if(c.transformers.begin(), c.transformers.end(),
                                [](const Transformer& x) { return x.bus1 == 4 && x.bus2 == 7; });
    ASSERT_NE(t, c.transformers.end());
    EXPECT_EQ(t->windings[0].ratio, 0.978);
    EXPECT_EQ(t->impedance[0].x, 0.20912);
    EXPECT_EQ(t->winding_code, 1);
    EXPECT_EQ(t->impedance_code, 1);
}

// The two-port admittances MATPOWER builds for a branch, and those of our
// transformer model (see model/transformer.hpp) plus the to-side shunt.
struct TwoPort {
    Complex yff, yft, ytf, ytt;
};

TwoPort matpower_branch(double r, double x, double b, double tap, double shift_deg) {
    const Complex ys = 1.0 / Complex(r, x);
    const Complex t = std::polar(tap == 0.0 ? 1.0 : tap, shift_deg * M_PI / 180.0);
    const Complex ytt = ys + Complex(0, b / 2);
    return {ytt / (t * std::conj(t)), -ys / std::conj(t), -ys / t, ytt};
}

TwoPort model_branch(const Transformer& t, const FixedShunt& to_side, double base_mva) {
    const Complex y = 1.0 / Complex(t.impedance[0].r, t.impedance[0].x);
    const double t1 = t.windings[0].ratio, t2 = t.windings[1].ratio;
    const Complex shift = std::polar(1.0, t.windings[0].angle_deg * M_PI / 180.0);
    TwoPort p{y / (t1 * t1) + Complex(t.mag1, t.mag2), -y / (std::conj(t1 * shift) * t2),
              -y / (t1 * shift * t2), y / (t2 * t2)};
    p.ytt += to_side.admittance / base_mva;
    return p;
}

TEST(MatpowerReader, TransformerBranchesKeepMatpowersAdmittances) {
    const char* text = R"(function mpc = tiny
mpc.baseMVA = 50;
mpc.bus = [
  1 3 0 0 0 0 1 1 0 230 1 1.1 0.9;
  2 1 0 0 0 0 1 1 0 115 1 1.1 0.9;
  3 1 0 0 0 0 1 1 0 115 1 1.1 0.9;
];
mpc.branch = [
  1 2 0.01 0.1 0.2  0 0 0 0.95  -7.5 1;
  2 3 0.02 0.2 0.06 0 0 0 0      3   1;
  1 3 0.01 0.1 0.3  0 0 0 1      0   1;
];
)";
    const Case c = parse_matpower(text, "tiny.m");
    ASSERT_EQ(c.transformers.size(), 3u);
    ASSERT_TRUE(c.lines.empty());
    const double rows[3][5] = {{0.01, 0.1, 0.2, 0.95, -7.5}, {0.02, 0.2, 0.06, 0, 3}, {0.01, 0.1, 0.3, 1, 0}};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const TwoPort want = matpower_branch(rows[i][0], rows[i][1], rows[i][2], rows[i][3], rows[i][4]);
        ASSERT_EQ(c.fixed_shunts[i].bus, c.transformers[i].bus2);
        const TwoPort got = model_branch(c.transformers[i], c.fixed_shunts[i], c.identification.base_mva);
        EXPECT_LT(std::abs(want.yff - got.yff), 1e-12);
        EXPECT_LT(std::abs(want.yft - got.yft), 1e-12);
        EXPECT_LT(std::abs(want.ytf - got.ytf), 1e-12);
        EXPECT_LT(std::abs(want.ytt - got.ytt), 1e-12);
    }
    // One charging shunt per charged transformer, at its to bus.
    ASSERT_EQ(c.fixed_shunts.size(), 3u);
    EXPECT_EQ(c.fixed_shunts[1].bus, 3);
    EXPECT_EQ(c.fixed_shunts[1].id, "T1");
    EXPECT_EQ(c.fixed_shunts[2].id, "T2");
}

TEST(MatpowerReader, SyntaxVariantsAndElementMapping) {
    const char* text =
        "% header comment\r\n"
        "function mpc = variants\r\n"
        "mpc.version = '2';\r\n"
        "mpc.baseMVA = 1e2;  % trailing comment\r\n"
        "mpc.bus = [\r\n"
        "\t1, 3, 0, 0, 0, 0, 1, 1.05, 0, 138, 1, 1.1, 0.9\r\n"
        "\t2 2 +10 -5 1.5 .25 2 1. -3.5E0 138 3 Inf 0.9 ;% comment after a row\r\n"
        "\t3 1 0 0 0 0 2 1 0 ...  continued\r\n"
        "\t    138 1 1.1 0.9;  4 4 0 0 0 0 2 1 0 138 1 1.1 0.9;\r\n"
        "];\r\n"
        "mpc.gen = [\r\n"
        "  2 10 0 Inf -Inf 1.02 100 0 50 0;\r\n"
        "  2 20 0 30  -30  1.03 100 1 50 0;\r\n"
        "  2 20 0 30  -30  1.04 100 1 50 0;\r\n"
        "  1  0 0 30  -30  1.05 100 1 50 0;\r\n"
        "];\r\n"
        "mpc.branch = [\r\n"
        "  1 2 0.01 0.1 0.02 100 0 0 0 0 1 -360 360;\r\n"
        "  2 1 0.01 0.1 0.02 Inf 0 0 1 0 0;\r\n"
        "  2 3 0.01 0.1 0    0   0 0 0 0 1;\r\n"
        "];\r\n"
        "mpc.gencost = [ 2 0 0 3 0.1 1 0; ];\r\n"
        "mpc.bus_name = { 'ONE'; 'TWO''S'; \"THREE\"; 'FOUR' };\r\n"
        "mpc.custom = [1 2 3];\r\n";
    ImportReport report;
    const Case c = parse_matpower(text, "variants.m", &report);
    ASSERT_EQ(c.buses.size(), 4u);
    const Bus& b2 = c.buses[1];
    EXPECT_EQ(b2.type, kGeneratorBus);
    EXPECT_EQ(b2.va_deg, -3.5);
    EXPECT_EQ(b2.zone, 3);
    EXPECT_EQ(b2.normal_vmax, 9999.0);
    EXPECT_EQ(b2.name, "TWO'S");
    EXPECT_EQ(c.buses[2].name, "THREE");
    EXPECT_EQ(c.buses[2].base_kv, 138.0);
    EXPECT_EQ(c.buses[3].type, kIsolatedBus);
    ASSERT_EQ(c.loads.size(), 1u);
    EXPECT_EQ(c.loads[0].constant_power, Complex(10, -5));
    EXPECT_EQ(c.loads[0].area, 2);
    ASSERT_EQ(c.fixed_shunts.size(), 1u);
    EXPECT_EQ(c.fixed_shunts[0].admittance, Complex(1.5, 0.25));

    ASSERT_EQ(c.machines.size(), 4u);
    EXPECT_EQ(c.machines[0].id, "1");
    EXPECT_EQ(c.machines[2].id, "3");
    EXPECT_EQ(c.machines[3].id, "1");
    EXPECT_EQ(c.machines[0].qmax, 9999.0);
    EXPECT_EQ(c.machines[0].qmin, -9999.0);
    EXPECT_EQ(c.machines[0].status, 0);
    ASSERT_EQ(c.plants.size(), 2u);
    EXPECT_EQ(c.plants[0].bus, 2);
    EXPECT_EQ(c.plants[0].scheduled_voltage, 1.03);  // first in-service machine
    EXPECT_EQ(c.plants[1].scheduled_voltage, 1.05);

    // Ratio 1 without shift between equal base voltages is a line; parallel
    // circuits are numbered whatever their direction.
    ASSERT_EQ(c.lines.size(), 3u);
    EXPECT_TRUE(c.transformers.empty());
    EXPECT_EQ(c.lines[0].ckt, "1");
    EXPECT_EQ(c.lines[1].ckt, "2");
    EXPECT_EQ(c.lines[1].status, 0);
    EXPECT_EQ(c.lines[1].ratings[0], 0.0);
    EXPECT_EQ(c.lines[0].ratings[0], 100.0);
    EXPECT_EQ(c.lines[2].ckt, "1");

    // Cost data is expected and ignored; an unknown field is reported, and
    // so is the generator asking for another set point at bus 2.
    EXPECT_EQ(report.warnings, (std::vector<std::string>{
                                   "variants.m:24: field 'custom' is not imported",
                                   "variants.m:14: generator at bus 2 asks for a different voltage set point "
                                   "than the first one there; the first one is kept"}));
}

TEST(MatpowerReader, DcLinesAreReportedNotApproximated) {
    const char* text =
        "mpc.baseMVA = 100;\n"
        "mpc.bus = [1 3 0 0 0 0 1 1 0 230 1 1.1 0.9; 2 1 0 0 0 0 1 1 0 230 1 1.1 0.9];\n"
        "mpc.dcline = [\n"
        "  1 2 1 10 8.9 0 0 1.01 1 1 10 -10 10 -10 10 1 0.01;\n"
        "  2 1 1 5 4.5 0 0 1 1 1 10 -10 10 -10 10 0.5 0.01;\n"
        "];\n";
    ImportReport report;
    const Case c = parse_matpower(text, "dc.m", &report);
    EXPECT_EQ(c.buses.size(), 2u);
    EXPECT_TRUE(c.two_terminal_dc_lines.empty());
    EXPECT_TRUE(c.vsc_dc_lines.empty());
    ASSERT_EQ(report.warnings.size(), 1u);
    EXPECT_NE(report.warnings[0].find("dc.m:3: 2 DC line(s) of field 'dcline' not imported"), std::string::npos)
        << report.warnings[0];
}

TEST(MatpowerReader, MalformedInputNamesFileLineAndField) {
    struct Bad {
        std::string text;
        int line;
        std::string field;    // empty where the script itself is broken
        std::string message;  // the whole error text
    };
    const std::string bus =
        "mpc.baseMVA = 100;\nmpc.bus = [\n1 3 0 0 0 0 1 1 0 1 1 1.1 0.9;\n2 1 0 0 0 0 1 1 0 1 1 1.1 "
        "0.9;\n];\n";
    const std::vector<std::pair<std::string, Bad>> cases = {
        {"short bus row",
         {"mpc.baseMVA = 100;\nmpc.bus = [\n1 3 0 0 0 0 1 1 0 1 1 1.1;\n];\n", 3, "bus row 1",
          "bad.m:3: field bus row 1: has 12 columns, at least 13 are needed"}},
        {"bad number",
         {"mpc.baseMVA = 100;\nmpc.bus = [\n1 3 0 0 0 0 1 x1 0 1 1 1.1 0.9;\n];\n", 3, "",
          "bad.m:3: not a number: 'x1 0 1 1 1.1 0.9;'"}},
        {"unknown generator bus",
         {(bus + "mpc.gen = [\n7 0 0 0 0 1 100 1 0 0;\n];\n"), 7, "gen row 1 column 1 (GEN_BUS)",
          "bad.m:7: field gen row 1 column 1 (GEN_BUS): bus 7 is not in the bus data"}},
        {"duplicate bus",
         {"mpc.baseMVA = 100;\nmpc.bus = [\n1 3 0 0 0 0 1 1 0 1 1 1.1 0.9\n1 1 0 0 0 0 1 1 0 1 1 1.1 0.9];",
          4, "bus row 2 column 1 (BUS_I)", "bad.m:4: field bus row 2 column 1 (BUS_I): bus 1 appears twice"}},
        {"bad bus type",
         {"mpc.baseMVA = 100;\nmpc.bus = [\n1 5 0 0 0 0 1 1 0 1 1 1.1 0.9];", 3,
          "bus row 1 column 2 (BUS_TYPE)",
          "bad.m:3: field bus row 1 column 2 (BUS_TYPE): bus type must be 1, 2, 3 or 4"}},
        {"unclosed matrix",
         {"mpc.baseMVA = 100;\nmpc.bus = [\n1 3 0 0 0 0 1 1 0 1 1 1.1 0.9;\n", 2, "",
          "bad.m:2: matrix not closed"}},
        {"zero impedance",
         {(bus + "mpc.branch = [\n1 2 0 0 0 0 0 0 0 0 1];"), 7, "branch row 1 column 4 (BR_X)",
          "bad.m:7: field branch row 1 column 4 (BR_X): a branch needs a non-zero impedance"}},
        {"infinite voltage",
         {"mpc.baseMVA = 100;\nmpc.bus = [\n1 3 0 0 0 0 1 Inf 0 1 1 1.1 0.9];", 3, "bus row 1 column 8 (VM)",
          "bad.m:3: field bus row 1 column 8 (VM): must be a finite number"}},
        {"bus names",
         {(bus + "mpc.bus_name = {'A'};\n"), 6, "bus_name",
          "bad.m:6: field bus_name: has 1 names for 2 buses"}},
        {"no bus data", {"mpc.baseMVA = 100;\n", 0, "bus", "bad.m: field bus: missing"}},
    };
    for (const auto& [name, bad] : cases) {
        SCOPED_TRACE(name);
        try {
            (void)parse_matpower(bad.text, "bad.m");
            ADD_FAILURE() << "no error";
        } catch (const FormatError& e) {
            EXPECT_EQ(e.file(), "bad.m");
            EXPECT_EQ(e.line(), bad.line) << e.what();
            EXPECT_EQ(e.field(), bad.field) << e.what();
            EXPECT_EQ(e.what(), bad.message);
        }
    }
}

}  // namespace
}  // namespace velquin::sim
