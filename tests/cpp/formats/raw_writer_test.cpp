#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <limits>

#include "casefile/case_file.hpp"
#include "formats/raw_format.hpp"

namespace velquin::sim {
namespace {

const std::filesystem::path kData = std::filesystem::path(VELQUIN_TEST_DATA_DIR) / "raw";

std::vector<std::filesystem::path> samples() {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(kData))
        if (entry.path().extension() == ".raw" || entry.path().extension() == ".RAW")
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

TEST(RawWriter, EverySampleSurvivesRawAndSavedCaseRoundTrips) {
    const auto files = samples();
    ASSERT_GE(files.size(), 19u);
    for (const auto& path : files) {
        SCOPED_TRACE(path.filename().string());
        const Case original = read_raw_file(path);
        const int revision = original.identification.revision;
        // RAW -> RAW in the revision it was read from.
        ImportReport report;
        const std::string text = format_raw(original, revision, &report);
        EXPECT_TRUE(report.warnings.empty()) << report.warnings.front();
        const Case again = parse_raw(text, "written");
        EXPECT_EQ(again, original);
        // RAW -> saved case -> RAW -> saved case.
        const std::string saved = encode_case(again);
        const Case from_saved = decode_case(saved, "saved");
        EXPECT_EQ(from_saved, original);
        const Case twice = parse_raw(format_raw(from_saved, revision), "written twice");
        EXPECT_EQ(encode_case(twice), saved);
    }
}

TEST(RawWriter, NewerRevisionsHoldEverythingAnOlderOneDoes) {
    for (const auto& path : samples()) {
        const Case original = read_raw_file(path);
        if (original.identification.revision != 33) continue;
        SCOPED_TRACE(path.filename().string());
        for (const int revision : {34, 35}) {
            ImportReport report;
            Case expected = original;
            expected.identification.revision = revision;
            EXPECT_EQ(parse_raw(format_raw(original, revision, &report), "up"), expected) << revision;
            EXPECT_TRUE(report.warnings.empty());
        }
    }
}

TEST(RawWriter, OlderRevisionsSayWhatTheyCannotHold) {
    Case c = read_raw_file(kData / "five_bus_nodeBreaker_rev35.raw");
    SwitchingDevice breaker;
    breaker.from_bus = 1;
    breaker.to_bus = 2;
    breaker.type = 2;
    c.switching_devices.push_back(breaker);
    c.impedance_correction_tables.push_back(
        ImpedanceCorrectionTable{7, {{0.9, {1.1, 0.2}}, {1.1, {1.2, 0.0}}}});
    ImportReport report;
    const Case v33 = parse_raw(format_raw(c, 33, &report), "v33");
    EXPECT_EQ(report.warnings,
              (std::vector<std::string>{
                  "1 system switching device(s) written as breaker/switch branches (revision 33 has no "
                  "switching device data)",
                  "revision 33 has real impedance correction factors only; 1 imaginary part(s) not written",
                  "revision 33 has no substation data; 5 substation(s) not written",
                  "revision 33 has no field NREG in generator records; 1 value(s) not written",
                  "revision 33 has no field NREG in switched shunt records; 1 value(s) not written",
                  "revision 33 has no field NOD in transformer winding records; 2 value(s) not written"}));
    EXPECT_TRUE(v33.substations.empty());
    ASSERT_EQ(v33.lines.size(), c.lines.size() + 1);
    EXPECT_EQ(v33.lines.back().ckt, "@1");
    EXPECT_EQ(v33.lines.back().x, 0.0001);
    EXPECT_EQ(v33.impedance_correction_tables.back().points[0].factor, Complex(1.1, 0.0));
    EXPECT_EQ(v33.buses, c.buses);

    // Two switched shunts at one bus fit revision 35 only.
    c.switched_shunts.push_back(c.switched_shunts.front());
    c.switched_shunts.back().id = "2";
    EXPECT_THROW((void)format_raw(c, 34), std::invalid_argument);
    EXPECT_EQ(parse_raw(format_raw(c, 35), "v35").switched_shunts, c.switched_shunts);
    EXPECT_THROW((void)format_raw(c, 36), std::invalid_argument);
}

TEST(RawWriter, NumbersAndTextComeBackExactly) {
    Case c;
    c.identification.base_mva = 0.1 + 0.2;
    c.identification.title1 = "  leading blanks kept";
    Bus b;
    b.number = 999997;
    b.name = "it's";
    b.vm = 1.0 / 3.0;
    b.va_deg = -1.0e-300;
    b.base_kv = 123456789.123456789;
    c.buses.push_back(b);
    b.number = 2;
    b.name = "\"both\" 'quotes'";
    b.vm = -0.0;
    c.buses.push_back(b);
    Load l;
    l.bus = 2;
    l.id = " 1";  // a leading blank is part of the identifier
    l.constant_power = {5e-324, 1.7976931348623157e308};
    c.loads.push_back(l);
    ImportReport report;
    const Case back = parse_raw(format_raw(c, 33, &report), "numbers");
    EXPECT_EQ(back.identification.base_mva, 0.1 + 0.2);
    EXPECT_EQ(back.identification.title1, c.identification.title1);
    EXPECT_EQ(back.buses[0], c.buses[0]);
    EXPECT_EQ(back.buses[1].name, "\"both\" `quotes`");
    EXPECT_EQ(report.warnings,
              std::vector<std::string>{"bus field NAME holds both quote characters; ' written as `"});
    EXPECT_EQ(back.loads, c.loads);

    c.buses[0].vm = std::numeric_limits<double>::quiet_NaN();
    EXPECT_THROW((void)format_raw(c, 33), std::invalid_argument);
}

TEST(RawWriter, DeviceRecordsOfDefaultsComeBackAsDefaults) {
    Case c;
    VscDcLine vsc;
    vsc.converters[0].bus = 1;
    vsc.converters[1].bus = 2;
    c.vsc_dc_lines = {vsc, vsc};
    TwoTerminalDcLine lcc;
    lcc.rectifier.bus = 3;
    lcc.inverter.bus = 4;
    c.two_terminal_dc_lines = {lcc};
    c.facts_devices.emplace_back().sending_bus = 5;
    c.zones.push_back(Zone{3, "Z"});
    for (const int revision : {33, 34, 35}) {
        SCOPED_TRACE(revision);
        const Case back = parse_raw(format_raw(c, revision), "defaults");
        EXPECT_EQ(back.vsc_dc_lines, c.vsc_dc_lines);
        EXPECT_EQ(back.two_terminal_dc_lines, c.two_terminal_dc_lines);
        EXPECT_EQ(back.facts_devices, c.facts_devices);
        EXPECT_EQ(back.zones, c.zones);
    }
}

TEST(RawWriter, WritesTheFileWhole) {
    const Case c = read_raw_file(kData / "case14.raw");
    // Several checkouts may run the tests at once: the name is this process's own.
    const auto path = std::filesystem::temp_directory_path() /
                      ("velquin_formats_case14_" + std::to_string(::getpid()) + ".raw");
    write_raw_file(c, path, 34);
    Case expected = c;
    expected.identification.revision = 34;
    EXPECT_EQ(read_raw_file(path), expected);
    std::filesystem::remove(path);
}

}  // namespace
}  // namespace velquin::sim
