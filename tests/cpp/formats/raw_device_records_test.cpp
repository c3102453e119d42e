// DC lines, FACTS devices and impedance correction tables in RAW revisions
// 33, 34 and 35: every field holds a value of its own, written out by hand
// in each revision's field order, so that a field read into the wrong
// member, or written at the wrong position, shows up.
#include <gtest/gtest.h>

#include <string>

#include "formats/raw_format.hpp"

namespace velquin::sim {
namespace {

TwoTerminalDcLine expected_two_terminal_line() {
    TwoTerminalDcLine l;
    l.name = "LCC A";
    l.control_mode = 1;
    l.resistance = 7.5;
    l.setpoint = 250.0;
    l.scheduled_kv = 500.5;
    l.mode_switch_kv = 410.5;
    l.compounding_resistance = 1.5;
    l.current_margin = 0.15;
    l.metered_end = "R";
    l.min_compounded_kv = 300.5;
    l.ccc_iteration_limit = 25;
    l.ccc_acceleration = 0.9;
    l.rectifier = {.bus = 101,
                   .bridges = 4,
                   .max_angle_deg = 17.5,
                   .min_angle_deg = 5.25,
                   .commutating_resistance = 0.01,
                   .commutating_reactance = 13.75,
                   .base_kv = 345.5,
                   .transformer_ratio = 0.44,
                   .tap = 1.0125,
                   .tap_max = 1.3,
                   .tap_min = 0.7,
                   .tap_step = 0.0125,
                   .firing_angle_bus = 103,
                   .firing_angle_node = 2,
                   .tap_control_from_bus = 105,
                   .tap_control_to_bus = 106,
                   .tap_control_ckt = "T7",
                   .capacitor_reactance = 2.5};
    l.inverter = {.bus = 102,
                  .bridges = 6,
                  .max_angle_deg = 19.5,
                  .min_angle_deg = 16.25,
                  .commutating_resistance = 0.02,
                  .commutating_reactance = 14.75,
                  .base_kv = 220.5,
                  .transformer_ratio = 0.55,
                  .tap = 0.9875,
                  .tap_max = 1.4,
                  .tap_min = 0.6,
                  .tap_step = 0.025,
                  .firing_angle_bus = 104,
                  .firing_angle_node = 3,
                  .tap_control_from_bus = 107,
                  .tap_control_to_bus = 108,
                  .tap_control_ckt = "T8",
                  .capacitor_reactance = 3.5};
    return l;
}

VscDcLine expected_vsc_line() {
    VscDcLine l;
    l.name = "VSC B";
    l.status = 0;
    l.resistance = 0.71;
    l.ownership = {{2, 3, 4, 5}, {0.4, 0.3, 0.2, 0.1}};
    l.converters[0] = {.bus = 101,
                       .dc_control = 1,
                       .ac_control = 1,
                       .dc_setpoint = 320.5,
                       .ac_setpoint = 1.025,
                       .loss_a = 110.5,
                       .loss_b = 2.75,
                       .min_loss = 90.25,
                       .mva_rating = 400.5,
                       .current_rating = 1200.5,
                       .power_weighting = 0.8,
                       .qmax = 150.5,
                       .qmin = -140.5,
                       .regulated_bus = 103,
                       .regulated_node = 4,
                       .rmpct = 85.5};
    l.converters[1] = {.bus = 102,
                       .dc_control = 2,
                       .ac_control = 2,
                       .dc_setpoint = -200.25,
                       .ac_setpoint = 0.95,
                       .loss_a = 111.5,
                       .loss_b = 3.75,
                       .min_loss = 91.25,
                       .mva_rating = 401.5,
                       .current_rating = 1201.5,
                       .power_weighting = 0.7,
                       .qmax = 151.5,
                       .qmin = -141.5,
                       .regulated_bus = 104,
                       .regulated_node = 5,
                       .rmpct = 86.5};
    return l;
}

MultiTerminalDcLine expected_multi_terminal_line() {
    MultiTerminalDcLine l;
    l.name = "MT D";
    l.control_mode = 2;
    l.voltage_controlling_bus = 101;
    l.mode_switch_kv = 480.5;
    l.negative_voltage_controlling_bus = 102;
    l.converters = {
        {101, 4, 18.5, 6.5, 0.02, 12.5, 230.5, 0.45, 1.025, 1.35, 0.75, 0.015, 500.5, 1.25, 0.125, 1},
        {102, 2, 19.5, 7.5, 0.03, 13.5, 231.5, 0.46, 1.05, 1.45, 0.65, 0.02, -250.5, 2.25, 0.25, -1}};
    l.dc_buses = {{1, 101, 3, 4, "DC ONE", 2, 0.35, 5},
                  {2, 102, 6, 7, "DC TWO", 3, 0.45, 8},
                  {3, 0, 9, 10, "DC THREE", 0, 0.55, 11}};
    l.links = {{1, 2, "A", 2, 3.25, 11.5}, {2, 3, "B", 1, 4.75, 0.0}};
    return l;
}

FactsDevice expected_facts_device() {
    FactsDevice f;
    f.name = "UPFC C";
    f.sending_bus = 103;
    f.terminal_bus = 104;
    f.mode = 7;
    f.p_desired = 55.5;
    f.q_desired = 12.25;
    f.voltage_setpoint = 1.015;
    f.shunt_max = 75.5;
    f.bridge_max = 33.25;
    f.terminal_vmin = 0.925;
    f.terminal_vmax = 1.085;
    f.series_vmax = 0.125;
    f.series_imax = 66.5;
    f.dummy_reactance = 0.045;
    f.rmpct = 91.5;
    f.owner = 6;
    f.set1 = 0.0375;
    f.set2 = -0.0625;
    f.series_voltage_reference = 1;
    f.regulated_bus = 105;
    f.regulated_node = 8;
    f.master_name = "MASTER";
    return f;
}

// The device sections of each revision, as the writer puts them (without
// the column headings of revisions 34 and 35).
struct DeviceText {
    std::string two_terminal;
    std::string vsc;
    std::string correction;
    std::string multi_terminal;
    std::string facts;
};

DeviceText device_text(int revision) {
    const bool v33 = revision == 33;
    const bool v34 = revision == 34;
    DeviceText t;
    const std::string line = "'LCC A       ', 1, 7.5, 250.0, 500.5, 410.5, 1.5, 0.15, 'R', 300.5, 25, 0.9\n";
    auto converter = [&](const char* head, const char* ic, const char* nd, const char* tail) {
        if (v33) return std::string(head) + ic + ", " + tail + "\n";
        if (v34) return std::string(head) + ic + ", " + tail + ", " + nd + "\n";
        return std::string(head) + ic + ", " + nd + ", " + tail + "\n";
    };
    t.two_terminal = line +
                     converter("101, 4, 17.5, 5.25, 0.01, 13.75, 345.5, 0.44, 1.0125, 1.3, 0.7, 0.0125, ",
                               "103", "2", "105, 106, 'T7', 2.5") +
                     converter("102, 6, 19.5, 16.25, 0.02, 14.75, 220.5, 0.55, 0.9875, 1.4, 0.6, 0.025, ",
                               "104", "3", "107, 108, 'T8', 3.5");
    auto vsc_converter = [&](const char* head, const char* reg, const char* node, const char* rmpct) {
        if (v33) return std::string(head) + reg + ", " + rmpct + "\n";
        if (v34) return std::string(head) + reg + ", " + rmpct + ", " + node + "\n";
        return std::string(head) + reg + ", " + node + ", " + rmpct + "\n";
    };
    t.vsc = "'VSC B       ', 0, 0.71, 2, 0.4, 3, 0.3, 4, 0.2, 5, 0.1\n" +
            vsc_converter("101, 1, 1, 320.5, 1.025, 110.5, 2.75, 90.25, 400.5, 1200.5, 0.8, 150.5, -140.5, ",
                          "103", "4", "85.5") +
            vsc_converter("102, 2, 2, -200.25, 0.95, 111.5, 3.75, 91.25, 401.5, 1201.5, 0.7, 151.5, -141.5, ",
                          "104", "5", "86.5");
    t.correction = v33 ? "4, 0.9, 1.1, 1.0, 1.0, 1.1, 1.2\n"
                       : "4, 0.9, 1.1, 0.02, 1.0, 1.0, 0.0, 1.1, 1.2, -0.01, 0.0, 0.0, 0.0\n";
    t.multi_terminal =
        "'MT D        ', 2, 3, 2, 2, 101, 480.5, 102\n"
        "101, 4, 18.5, 6.5, 0.02, 12.5, 230.5, 0.45, 1.025, 1.35, 0.75, 0.015, 500.5, 1.25, 0.125, 1\n"
        "102, 2, 19.5, 7.5, 0.03, 13.5, 231.5, 0.46, 1.05, 1.45, 0.65, 0.02, -250.5, 2.25, 0.25, -1\n"
        "1, 101, 3, 4, 'DC ONE      ', 2, 0.35, 5\n"
        "2, 102, 6, 7, 'DC TWO      ', 3, 0.45, 8\n"
        "3, 0, 9, 10, 'DC THREE    ', 0, 0.55, 11\n"
        "1, 2, 'A', 2, 3.25, 11.5\n"
        "2, 3, 'B', 1, 4.75, 0.0\n";
    const std::string facts_head =
        "'UPFC C      ', 103, 104, 7, 55.5, 12.25, 1.015, 75.5, 33.25, 0.925, 1.085, 0.125, 66.5, 0.045, "
        "91.5, 6, 0.0375, -0.0625, 1, 105";
    t.facts = v33   ? facts_head + ", 'MASTER      '\n"
              : v34 ? facts_head + ", 'MASTER      ', 8\n"
                    : facts_head + ", 8, 'MASTER      '\n";
    return t;
}

// A whole file of the revision: buses 101 to 108 and the device sections.
std::string raw_file(int revision) {
    const DeviceText d = device_text(revision);
    std::string s = "0, 100.0, " + std::to_string(revision) + ", 0, 0, 60.0\nDEVICES\n\n";
    if (revision >= 34) s += "0 / END OF SYSTEM-WIDE DATA\n";
    for (int bus = 101; bus <= 108; ++bus) s += std::to_string(bus) + ", 'B', 230.0\n";
    s += "0 / bus\n0 / load\n0 / fixed shunt\n0 / generator\n0 / branch\n";
    if (revision >= 34) s += "0 / switching device\n";
    s += "0 / transformer\n0 / area\n" + d.two_terminal + "0\n" + d.vsc + "0\n" + d.correction + "0\n" +
         d.multi_terminal + "0\n0 / multi-section\n0 / zone\n0 / transfer\n0 / owner\n" + d.facts +
         "0\n0 / switched shunt\n0 / gne\n0 / induction machine\n";
    if (revision >= 34) s += "0 / substation\n";
    return s + "Q\n";
}

ImpedanceCorrectionTable expected_table(int revision) {
    ImpedanceCorrectionTable t{4, {{0.9, {1.1, 0.02}}, {1.0, {1.0, 0.0}}, {1.1, {1.2, -0.01}}}};
    if (revision == 33)
        for (auto& p : t.points) p.factor.imag(0.0);
    return t;
}

class RawDeviceRecords : public ::testing::TestWithParam<int> {};

TEST_P(RawDeviceRecords, EveryFieldLandsInItsMember) {
    const int revision = GetParam();
    ImportReport report;
    const Case c = parse_raw(raw_file(revision), "devices", &report);
    EXPECT_TRUE(report.warnings.empty()) << report.warnings.front();
    // Revision 33 has no node numbers: they stay 0.
    TwoTerminalDcLine two_terminal = expected_two_terminal_line();
    VscDcLine vsc = expected_vsc_line();
    FactsDevice facts = expected_facts_device();
    if (revision == 33) {
        two_terminal.rectifier.firing_angle_node = two_terminal.inverter.firing_angle_node = 0;
        vsc.converters[0].regulated_node = vsc.converters[1].regulated_node = 0;
        facts.regulated_node = 0;
    }
    ASSERT_EQ(c.two_terminal_dc_lines.size(), 1u);
    EXPECT_EQ(c.two_terminal_dc_lines[0], two_terminal);
    ASSERT_EQ(c.vsc_dc_lines.size(), 1u);
    EXPECT_EQ(c.vsc_dc_lines[0], vsc);
    ASSERT_EQ(c.multi_terminal_dc_lines.size(), 1u);
    EXPECT_EQ(c.multi_terminal_dc_lines[0], expected_multi_terminal_line());
    ASSERT_EQ(c.facts_devices.size(), 1u);
    EXPECT_EQ(c.facts_devices[0], facts);
    ASSERT_EQ(c.impedance_correction_tables.size(), 1u);
    EXPECT_EQ(c.impedance_correction_tables[0], expected_table(revision));
}

TEST_P(RawDeviceRecords, TheWriterPutsEveryFieldAtItsPosition) {
    const int revision = GetParam();
    Case c;
    for (int bus = 101; bus <= 108; ++bus)
        c.buses.push_back(Bus{.number = bus, .name = "B", .base_kv = 230.0});
    c.two_terminal_dc_lines = {expected_two_terminal_line()};
    c.vsc_dc_lines = {expected_vsc_line()};
    c.multi_terminal_dc_lines = {expected_multi_terminal_line()};
    c.facts_devices = {expected_facts_device()};
    c.impedance_correction_tables = {expected_table(35)};
    ImportReport report;
    const std::string text = format_raw(c, revision, &report);
    const DeviceText d = device_text(revision);
    for (const std::string* section : {&d.two_terminal, &d.vsc, &d.correction, &d.multi_terminal, &d.facts})
        EXPECT_NE(text.find(*section), std::string::npos) << "missing:\n" << *section << "in:\n" << text;
    // Revision 33 has no node numbers and only real correction factors,
    // and says so.
    std::string notes;
    for (const auto& w : report.warnings) notes += w + "\n";
    if (revision == 33) {
        EXPECT_NE(notes.find("no field ND in two-terminal DC converter records; 2 value(s)"),
                  std::string::npos)
            << notes;
        EXPECT_NE(notes.find("no field NREG in VSC DC converter records; 2 value(s)"), std::string::npos)
            << notes;
        EXPECT_NE(notes.find("no field NREG in FACTS device records; 1 value(s)"), std::string::npos)
            << notes;
        EXPECT_NE(notes.find("2 imaginary part(s) not written"), std::string::npos) << notes;
    } else {
        EXPECT_EQ(notes, "");
    }
    // What a revision can hold comes back whole.
    const Case back = parse_raw(text, "written");
    EXPECT_EQ(back.two_terminal_dc_lines.size(), 1u);
    if (revision >= 34) {
        EXPECT_EQ(back.two_terminal_dc_lines, c.two_terminal_dc_lines);
        EXPECT_EQ(back.vsc_dc_lines, c.vsc_dc_lines);
        EXPECT_EQ(back.facts_devices, c.facts_devices);
    }
    EXPECT_EQ(back.multi_terminal_dc_lines, c.multi_terminal_dc_lines);
}

INSTANTIATE_TEST_SUITE_P(Revisions, RawDeviceRecords, ::testing::Values(33, 34, 35));

TEST(RawDeviceRecords, MissingFieldsTakeTheirDefaults) {
    // Only the fields without a default are given.
    const std::string text =
        "0, 100.0, 35\n\n\n0 / system-wide\n1\n2\n0 / bus\n0\n0\n0\n0\n0\n0\n0 / area\n"
        "'L', 1, 5.0, 100.0, 400.0\n1, 2, 15.0, 5.0, 0.0, 10.0, 230.0\n2, 2, 18.0, 15.0, 0.0, 10.0, 230.0\n"
        "0\n'V', 1, 1.0\n1, 1, 1, 400.0\n2, 2, 1, 100.0\n0\n0\n0\n0\n0\n0\n0\n'F', 1\n0\n0\n0\n0\n0\nQ\n";
    const Case c = parse_raw(text, "defaults");
    ASSERT_EQ(c.two_terminal_dc_lines.size(), 1u);
    const TwoTerminalDcLine& l = c.two_terminal_dc_lines[0];
    EXPECT_EQ(l.metered_end, "I");
    EXPECT_EQ(l.ccc_iteration_limit, 20);
    EXPECT_EQ(l.ccc_acceleration, 1.0);
    EXPECT_EQ(l.rectifier.transformer_ratio, 1.0);
    EXPECT_EQ(l.rectifier.tap, 1.0);
    EXPECT_EQ(l.rectifier.tap_max, 1.5);
    EXPECT_EQ(l.rectifier.tap_min, 0.51);
    EXPECT_EQ(l.rectifier.tap_step, 0.00625);
    EXPECT_EQ(l.inverter.tap_control_ckt, "1");
    ASSERT_EQ(c.vsc_dc_lines.size(), 1u);
    const VscConverter& v = c.vsc_dc_lines[0].converters[1];
    EXPECT_EQ(v.ac_setpoint, 1.0);
    EXPECT_EQ(v.power_weighting, 1.0);
    EXPECT_EQ(v.qmax, 9999.0);
    EXPECT_EQ(v.qmin, -9999.0);
    EXPECT_EQ(v.rmpct, 100.0);
    EXPECT_EQ(c.vsc_dc_lines[0].ownership, Ownership{});
    ASSERT_EQ(c.facts_devices.size(), 1u);
    FactsDevice f;
    f.name = "F";
    f.sending_bus = 1;
    EXPECT_EQ(c.facts_devices[0], f);
}

TEST(RawDeviceRecords, ConvertersNeedTheirBuses) {
    Case c;
    c.vsc_dc_lines.emplace_back().name = "NO BUSES";
    EXPECT_THROW((void)format_raw(c, 35), std::invalid_argument);
    const std::string text =
        "0, 100.0, 33\n\n\n1\n0\n0\n0\n0\n0\n0\n0\n'V', 1, 1.0\n0, 1, 1, 400.0\n2, 2, 1, 100.0\n0\nQ\n";
    EXPECT_THROW((void)parse_raw(text, "no bus"), FormatError);
}

}  // namespace
}  // namespace velquin::sim
