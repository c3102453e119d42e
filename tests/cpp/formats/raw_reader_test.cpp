#include <gtest/gtest.h>

#include <filesystem>

#include "formats/raw_format.hpp"

namespace velquin::sim {
namespace {

const std::filesystem::path kData = std::filesystem::path(VELQUIN_TEST_DATA_DIR) / "raw";

struct Counts {
    const char* file;
    int revision;
    std::size_t buses, lines, two_winding, three_winding, machines, loads, fixed_shunts, switched_shunts;
};

// From tests/data/raw/SOURCES.md.
const Counts kCounts[] = {
    {"case14.raw", 33, 14, 17, 3, 0, 5, 11, 0, 1},
    {"frankenstein_70.raw", 33, 9, 3, 2, 1, 5, 3, 1, 2},
    {"three_winding_test_2.raw", 33, 3, 0, 0, 1, 2, 1, 0, 0},
    {"parser_test_defaults.raw", 33, 3, 1, 0, 1, 1, 1, 1, 1},
    {"micro_grid_assmb_v33.raw", 33, 16, 12, 6, 1, 15, 6, 3, 0},
    {"ACTIVSg2000.RAW", 33, 2000, 2345, 861, 0, 544, 1350, 4, 153},
    {"IEEE_14_bus_completed.raw", 33, 14, 17, 3, 0, 5, 11, 1, 0},
    {"IEEE_14_bus_whitespaceAsDelimiter.raw", 33, 14, 17, 3, 0, 5, 11, 1, 0},
    {"RawCaseWithSpecialCharacters.raw", 33, 7, 2, 2, 1, 4, 5, 0, 0},
    {"ThreeMIB_T3W_phase.raw", 33, 7, 2, 2, 1, 4, 5, 0, 0},
    {"IEEE300Bus.raw", 33, 300, 306, 105, 0, 69, 197, 29, 0},
    {"ACTIVSg2000_rename.raw", 34, 2000, 2345, 861, 0, 544, 1350, 4, 153},
    {"wecc179.raw", 34, 179, 203, 60, 0, 29, 106, 36, 0},
    {"39bus.raw", 34, 39, 34, 12, 0, 10, 19, 2, 0},
    {"IEEE_14_v35_3_nudox.raw", 35, 19, 20, 3, 1, 5, 15, 1, 0},
    {"IEEE_14_v35_3_nudox_1_hvdc_substations_x_desf.raw", 35, 19, 20, 4, 1, 5, 15, 1, 0},
    {"IEEE_14_bus_completed_rev35.raw", 35, 14, 17, 3, 0, 5, 11, 1, 0},
    {"five_bus_nodeBreaker_rev35.raw", 35, 5, 1, 1, 1, 1, 4, 1, 1},
    {"IEEE_24_bus_rev35.raw", 35, 24, 32, 6, 0, 11, 16, 0, 2},
};

TEST(RawReader, EverySampleImportsWithTheCountsItHolds) {
    std::size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(kData))
        if (entry.path().extension() == ".raw" || entry.path().extension() == ".RAW") ++files;
    EXPECT_EQ(files, std::size(kCounts)) << "a sample file without expected counts";
    for (const auto& expected : kCounts) {
        SCOPED_TRACE(expected.file);
        const Case c = read_raw_file(kData / expected.file);
        std::size_t three = 0;
        for (const auto& t : c.transformers) three += t.is_three_winding() ? 1 : 0;
        EXPECT_EQ(c.identification.revision, expected.revision);
        EXPECT_EQ(c.buses.size(), expected.buses);
        EXPECT_EQ(c.lines.size(), expected.lines);
        EXPECT_EQ(c.transformers.size() - three, expected.two_winding);
        EXPECT_EQ(three, expected.three_winding);
        EXPECT_EQ(c.machines.size(), expected.machines);
        EXPECT_EQ(c.loads.size(), expected.loads);
        EXPECT_EQ(c.fixed_shunts.size(), expected.fixed_shunts);
        EXPECT_EQ(c.switched_shunts.size(), expected.switched_shunts);
    }
}

TEST(RawReader, SectionsTheLoadFlowDoesNotModelAreKept) {
    for (const char* name : {"IEEE_14_bus_completed.raw", "IEEE_14_bus_completed_rev35.raw"}) {
        SCOPED_TRACE(name);
        const Case c = read_raw_file(kData / name);
        EXPECT_EQ(c.two_terminal_dc_lines.size(), 2u);
        EXPECT_EQ(c.vsc_dc_lines.size(), 2u);
        EXPECT_EQ(c.impedance_correction_tables.size(), 2u);
        EXPECT_EQ(c.multi_terminal_dc_lines.size(), 1u);
        EXPECT_EQ(c.multi_section_lines.size(), 2u);
        EXPECT_EQ(c.inter_area_transfers.size(), 2u);
        EXPECT_EQ(c.facts_devices.size(), 2u);
        EXPECT_EQ(c.gne_devices.size(), 1u);
        EXPECT_EQ(c.induction_machines.size(), 2u);
        // MTDC 'MULTERM_DC_1': 4 converters, 5 DC buses, 4 links.
        const MultiTerminalDcLine& mtdc = c.multi_terminal_dc_lines[0];
        EXPECT_EQ(mtdc.name, "MULTERM_DC_1");
        EXPECT_EQ(mtdc.converters.size(), 4u);
        EXPECT_EQ(mtdc.dc_buses.size(), 5u);
        EXPECT_EQ(mtdc.links.size(), 4u);
        // The GNE record puts ST, OWNER, NMETR on its first line here.
        const AuxRecord& gne = c.gne_devices[0];
        EXPECT_EQ(std::get<long long>(gne.fields[8]), 153);
        ASSERT_EQ(gne.groups.size(), 4u);
        EXPECT_EQ(gne.groups[1].size(), 3u);
        EXPECT_EQ(std::get<double>(gne.groups[1][2].fields[0]), 101.0);
        EXPECT_EQ(std::get<std::string>(gne.groups[3][0].fields[0]), "A1");
        // Rectifier of the second two-terminal line: IP 12, ID '1'.
        const TwoTerminalDcConverter& rectifier = c.two_terminal_dc_lines[1].rectifier;
        EXPECT_EQ(rectifier.bus, 12);
        EXPECT_EQ(rectifier.tap_control_ckt, "1");
    }
    // The revision-35 twin has complex correction factors.
    const Case c35 = read_raw_file(kData / "IEEE_14_bus_completed_rev35.raw");
    ASSERT_EQ(c35.impedance_correction_tables[0].points.size(), 3u);
    EXPECT_EQ(c35.impedance_correction_tables[0].points[0].factor, Complex(1.1, 0.1));

    const Case nb = read_raw_file(kData / "IEEE_14_v35_3_nudox_1_hvdc_substations_x_desf.raw");
    std::size_t nodes = 0, devices = 0, terminals = 0;
    for (const auto& s : nb.substations) {
        nodes += s.nodes.size();
        devices += s.switching_devices.size();
        terminals += s.terminals.size();
    }
    EXPECT_EQ(nb.substations.size(), 16u);
    EXPECT_EQ(nodes, 93u);
    EXPECT_EQ(devices, 74u);
    EXPECT_EQ(terminals, 76u);

    const Case five = read_raw_file(kData / "five_bus_nodeBreaker_rev35.raw");
    ASSERT_EQ(five.substations.size(), 5u);
    const auto& t = five.substations[0].terminals;
    ASSERT_EQ(t.size(), 5u);
    EXPECT_EQ(t[3].type, "3");
    EXPECT_EQ(t[3].bus2, 3);
    EXPECT_EQ(t[3].bus3, 4);
    EXPECT_EQ(t[4].type, "D");
    EXPECT_EQ(t[4].id, "EATL P1");
}

TEST(RawReader, TwinFilesOfDifferentRevisionsHoldTheSameNetwork) {
    const Case v33 = read_raw_file(kData / "IEEE_14_bus_completed.raw");
    const Case v35 = read_raw_file(kData / "IEEE_14_bus_completed_rev35.raw");
    EXPECT_EQ(v33.buses, v35.buses);
    EXPECT_EQ(v33.loads, v35.loads);
    EXPECT_EQ(v33.machines, v35.machines);
    EXPECT_EQ(v33.lines, v35.lines);
    EXPECT_EQ(v33.transformers, v35.transformers);
    EXPECT_EQ(v33.induction_machines, v35.induction_machines);
}

TEST(RawReader, EmptyFieldsAndShortRecordsTakeTheDefaults) {
    ImportReport report;
    const Case c = read_raw_file(kData / "parser_test_defaults.raw", &report);
    ASSERT_FALSE(report.warnings.empty());
    EXPECT_EQ(report.warnings[0], (kData / "parser_test_defaults.raw").string() +
                                      ":1: no format revision given; revision 33 assumed");
    EXPECT_EQ(c.identification.base_mva, 100.0);
    EXPECT_EQ(c.identification.base_frequency, 60.0);
    EXPECT_EQ(c.identification.title2, "");
    Bus bus;
    bus.number = 1;
    EXPECT_EQ(c.buses[0], bus);
    Load load;
    load.bus = 1;
    EXPECT_EQ(c.loads[0], load);
    const Machine& m = c.machines[0];
    EXPECT_EQ(m.qmax, 9999.0);
    EXPECT_EQ(m.mbase, 100.0);
    EXPECT_EQ(m.source_impedance, Complex(0.0, 1.0));
    EXPECT_EQ(c.plants[0].scheduled_voltage, 1.0);
    EXPECT_EQ(c.lines[0].ckt, "1");
    EXPECT_EQ(c.lines[0].x, 0.1);
    const Transformer& t = c.transformers[0];
    EXPECT_EQ(t.bus3, 3);
    EXPECT_EQ(t.impedance[2].x, 0.1);
    EXPECT_EQ(t.impedance[1].sbase, 100.0);
    EXPECT_EQ(t.windings[2].tap_positions, 33);
    EXPECT_EQ(c.switched_shunts[0].control_mode, 1);
    EXPECT_EQ(c.areas[0].tolerance_mw, 10.0);
    EXPECT_EQ(c.multi_section_lines[0].id, "&1");
}

TEST(RawReader, LexicalRules) {
    // Blanks, TABs and commas mixed; both quotes; '/' in quotes; @! and
    // comment-only lines; Latin-1 bytes; a record cut short; CRLF; Q.
    const std::string text =
        "@!IC,SBASE,REV\r\n"
        "0 50.0 33 0 0 50.0 / stamp, with a comma\r\n"
        "Title with 'quotes' / and slashes\r\n"
        "\r\n"
        "101 'A/B \xe9' 230.0 3\r\n"
        "102,\t\"O'HARE\"  ,\t115.0, 1, 7, 8, 9, 1.02, -3.5\r\n"
        "0 / END OF BUS DATA\r\n"
        "  / a comment-only line\r\n"
        "102, L1, , , , 10.0, 5.0\r\n"
        "0\r\n"
        "0\r\n"
        "101,'1',50,,,,1.01\r\n"
        "0\r\n"
        "Q\r\n"
        "anything after Q is not read\r\n";
    ImportReport report;
    const Case c = parse_raw(text, "lex.raw", &report);
    EXPECT_EQ(c.identification.base_mva, 50.0);
    EXPECT_EQ(c.identification.base_frequency, 50.0);
    EXPECT_EQ(c.identification.title1, "Title with 'quotes' / and slashes");
    EXPECT_EQ(c.identification.title2, "");
    ASSERT_EQ(c.buses.size(), 2u);
    EXPECT_EQ(c.buses[0].name, "A/B \xe9");
    EXPECT_EQ(c.buses[0].type, 3);
    EXPECT_EQ(c.buses[1].name, "O'HARE");
    EXPECT_EQ(c.buses[1].area, 7);
    EXPECT_EQ(c.buses[1].va_deg, -3.5);
    EXPECT_EQ(c.buses[1].normal_vmax, 1.1);
    ASSERT_EQ(c.loads.size(), 1u);
    EXPECT_EQ(c.loads[0].id, "L1");
    EXPECT_EQ(c.loads[0].area, 7);  // the bus's
    EXPECT_EQ(c.loads[0].owner, 9);
    EXPECT_EQ(c.loads[0].constant_power, Complex(10.0, 5.0));
    ASSERT_EQ(c.machines.size(), 1u);
    EXPECT_EQ(c.machines[0].mbase, 50.0);  // SBASE
    EXPECT_EQ(c.machines[0].pg, 50.0);
    EXPECT_EQ(c.plants[0].scheduled_voltage, 1.01);
    EXPECT_TRUE(c.lines.empty());
    EXPECT_EQ(report.warnings,
              std::vector<std::string>{"lex.raw:15: text after the end of the data ignored"});
}

TEST(RawReader, ARevisionGivenByTheCallerDecidesTheLayout) {
    // A revision-33 generator record in a file that claims revision 35.
    const std::string text =
        "0, 100, 35\nt1\nt2\n1,'',230,3\n0\n0\n0\n1,'1',10,0,99,-99,1.02,0,,,,,,,,,,,7\n0\nQ\n";
    ImportReport report;
    const Case c = parse_raw_as(text, "as33.raw", 33, &report);
    EXPECT_EQ(c.identification.revision, 33);
    ASSERT_EQ(c.machines.size(), 1u);
    EXPECT_EQ(c.machines[0].ownership.owner[0], 7);
    EXPECT_EQ(c.machines[0].pmin, -9999.0);
    EXPECT_EQ(parse_raw(text, "as35.raw").machines[0].pmin, 7.0);
    EXPECT_EQ(report.warnings,
              std::vector<std::string>{"as33.raw:1: the file says revision 35; read as revision 33"});
    EXPECT_THROW((void)parse_raw_as(text, "as36.raw", 36), FormatError);
}

TEST(RawReader, ComplexCorrectionTablesSpanLines) {
    const std::string text =
        "0, 100, 34\n\n\n0 / system-wide\n0\n0\n0\n0\n0\n0 / switching\n0\n0\n0\n0\n"
        "1, -30.0, 1.1, 0.0, 0.0, 1.0, 0.0, 6.0, 1.03, 0.01,\n"
        "   30.0, 1.11, 0.0\n"
        "   0.0, 0.0, 0.0\n"
        "2, 0.9, 1.0, 0.0, 1.1, 1.02, 0.0, 0.0, 0.0, 0.0\n"
        "0 / END OF IMPEDANCE CORRECTION DATA\nQ\n";
    const Case c = parse_raw(text, "ict.raw");
    ASSERT_EQ(c.impedance_correction_tables.size(), 2u);
    const auto& p = c.impedance_correction_tables[0].points;
    ASSERT_EQ(p.size(), 4u);  // T = 0, F = 1 is a point, not the end
    EXPECT_EQ(p[1].t, 0.0);
    EXPECT_EQ(p[2].factor, Complex(1.03, 0.01));
    EXPECT_EQ(p[3].t, 30.0);
    EXPECT_EQ(c.impedance_correction_tables[1].points.size(), 2u);
}

TEST(RawReader, MalformedInputNamesFileLineAndField) {
    const std::string head = "0, 100, 33\nt1\nt2\n";
    struct Bad {
        std::string name, text, field;
        int line;
    };
    const Bad cases[] = {
        {"letters in a number", head + "101, 'A', 23O.0\n0\nQ\n", "BASKV", 4},
        {"open quote", head + "101, 'A, 230\n0\nQ\n", "", 4},
        {"duplicate bus", head + "1\n1\n0\nQ\n", "I", 5},
        {"bad bus type", head + "1,'',1,7\n0\nQ\n", "IDE", 4},
        {"revision 32", "0, 100, 32\nt1\nt2\n0\nQ\n", "REV", 1},
        {"no reactance", head + "0\n0\n0\n0\n1,2,'1',0.1\n0\nQ\n", "X", 8},
        {"truncated transformer", head + "0\n0\n0\n0\n0\n1,2,0\n0.0,0.1\n1.0\n", "", 11},
        {"bad winding code", head + "0\n0\n0\n0\n0\n1,2,0,'1',4\n", "CW", 9},
        {"bus by name", head + "0\n'BUS A   230',\n", "I", 5},
        {"real where integer", head + "1.5\n", "I", 4},
        {"bus zero", head + "1\n0\n0\n0\n0\n1, 0, '1', 0, 0.1\n", "J", 9},
    };
    for (const Bad& bad : cases) {
        SCOPED_TRACE(bad.name);
        try {
            (void)parse_raw(bad.text, "bad.raw");
            ADD_FAILURE() << "no error";
        } catch (const FormatError& e) {
            EXPECT_EQ(e.file(), "bad.raw");
            EXPECT_EQ(e.line(), bad.line) << e.what();
            EXPECT_EQ(e.field(), bad.field) << e.what();
        }
    }
}

}  // namespace
}  // namespace velquin::sim
