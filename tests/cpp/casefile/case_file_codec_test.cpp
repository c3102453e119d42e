#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <limits>
#include <utility>

#include "casefile/atomic_file.hpp"
#include "casefile/case_file.hpp"
#include "casefile/full_case.hpp"
#include "casefile/xxhash64.hpp"
#include "formats/raw_format.hpp"

namespace velquin::sim {
namespace {

using testing::make_full_case;

// Bytes (31 i + 7) mod 256, i = 0 .. n-1.
std::string pattern(std::size_t n) {
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 31 + 7) & 0xFF);
    return s;
}

TEST(CaseFileChecksum, MatchesTheReferenceXxh64) {
    EXPECT_EQ(casefile::xxhash64(""), 0xEF46DB3751D8E999ull);
    // Low 32 bits of XXH64 as zstd writes them into a frame's checksum,
    // for lengths that cover the stripe loop and every tail path.
    const std::pair<std::size_t, std::uint32_t> zstd_checksums[] = {
        {1, 0xe858bbb7u},  {3, 0x32a487f9u},  {4, 0xe3ff8f04u},   {7, 0x6c6f9a8eu},     {8, 0x269683e0u},
        {12, 0x1fd0666eu}, {31, 0xa39ad4a1u}, {32, 0x671cc43du},  {33, 0xed857664u},    {63, 0x2707057fu},
        {64, 0x5729d17eu}, {65, 0xbae65dc1u}, {100, 0x3e70c151u}, {100003, 0xf6f9efdbu}};
    for (const auto& [length, expected] : zstd_checksums)
        EXPECT_EQ(static_cast<std::uint32_t>(casefile::xxhash64(pattern(length))), expected) << length;
    EXPECT_NE(casefile::xxhash64("abc", 1), casefile::xxhash64("abc", 0));
}

TEST(CaseFileRoundTrip, EveryFieldOfEveryElementSurvives) {
    const Case full = make_full_case();
    ASSERT_NE(full, Case{});
    const std::string bytes = encode_case(full);
    EXPECT_EQ(decode_case(bytes, "full"), full);
    // Encoding is deterministic, so a re-encoded case is byte-identical.
    EXPECT_EQ(encode_case(decode_case(bytes, "full")), bytes);

    const Case empty;
    EXPECT_EQ(decode_case(encode_case(empty), "empty"), empty);
}

const std::filesystem::path kSavedCases =
    std::filesystem::path(VELQUIN_TEST_DATA_DIR).parent_path() / "cpp" / "casefile" / "data";

// The file with the bodies of the given sections replaced by empty lists,
// its length and checksum made right again.
std::string with_empty_sections(std::string_view bytes, std::initializer_list<std::uint32_t> ids) {
    constexpr std::size_t header = 32;
    std::string out(bytes.substr(0, header));
    for (std::size_t at = header; at < bytes.size();) {
        std::uint32_t id = 0;
        std::uint64_t length = 0;
        std::memcpy(&id, bytes.data() + at, 4);
        std::memcpy(&length, bytes.data() + at + 4, 8);
        std::string body(bytes.substr(at + 12, length));
        at += 12 + length;
        if (std::find(ids.begin(), ids.end(), id) != ids.end()) body.assign(4, '\0');
        const std::uint64_t new_length = body.size();
        out.append(reinterpret_cast<const char*>(&id), 4);
        out.append(reinterpret_cast<const char*>(&new_length), 8);
        out += body;
    }
    const std::uint64_t payload = out.size() - header;
    std::memcpy(out.data() + 16, &payload, 8);
    const std::string_view all(out);
    const std::uint64_t sum = casefile::xxhash64(all.substr(header), casefile::xxhash64(all.substr(0, 24)));
    std::memcpy(out.data() + 24, &sum, 8);
    return out;
}

// A file written by format 1.0 must keep reading back to the same case: a
// layout change (fields reordered, a type widened) without a new format
// version fails here. When the model gains a field, the version goes up and
// this file stays; compare it to the full case with the new field reset.
// Format 1.0 kept DC lines and FACTS devices untyped; this file holds
// made-up records there (text where numbers belong) that no reader ever
// produced, so those four sections are compared on a real file below.
TEST(CaseFileCompatibility, Format1_0FileStillReadsBack) {
    const std::string bytes = casefile::read_whole_file(kSavedCases / "full_case_1_0.sav");
    Case expected = make_full_case();
    expected.two_terminal_dc_lines.clear();
    expected.vsc_dc_lines.clear();
    expected.multi_terminal_dc_lines.clear();
    expected.facts_devices.clear();
    EXPECT_EQ(decode_case(with_empty_sections(bytes, {12, 13, 15, 20}), "1.0"), expected);
    // Untyped records whose values a typed field cannot take are refused,
    // naming the field.
    try {
        (void)decode_case(bytes, "full_case_1_0.sav");
        ADD_FAILURE() << "made-up device records were accepted";
    } catch (const CaseFileError& e) {
        EXPECT_STREQ(
            e.what(),
            "full_case_1_0.sav: corrupted (section two-terminal dc lines: two-terminal DC line field "
            "VSCHD: text where a number belongs)");
    }
}

// The same guard for the current format: every field of every record set.
// When the model gains a field, the version goes up and this file stays;
// compare it to the full case with the new field reset.
TEST(CaseFileCompatibility, Format2_0FileStillReadsBack) {
    EXPECT_EQ(load_case_file(kSavedCases / "full_case_2_0.sav"), make_full_case());
}

// DC lines and FACTS devices of a RAW file saved by format 1.0 (untyped
// records) read back as the typed records the RAW reader gives today.
TEST(CaseFileCompatibility, Format1_0DeviceRecordsBecomeTyped) {
    const Case from_raw = read_raw_file(std::filesystem::path(VELQUIN_TEST_DATA_DIR) / "raw" /
                                        "IEEE_14_bus_completed_rev35.raw");
    ASSERT_FALSE(from_raw.two_terminal_dc_lines.empty());
    ASSERT_FALSE(from_raw.vsc_dc_lines.empty());
    ASSERT_FALSE(from_raw.multi_terminal_dc_lines.empty());
    ASSERT_FALSE(from_raw.facts_devices.empty());
    EXPECT_EQ(load_case_file(kSavedCases / "ieee14_completed_rev35_1_0.sav"), from_raw);
}

TEST(CaseFileRoundTrip, DoublesKeepTheirExactBits) {
    const double specials[] = {-0.0,
                               std::numeric_limits<double>::infinity(),
                               -std::numeric_limits<double>::infinity(),
                               std::numeric_limits<double>::denorm_min(),
                               std::numeric_limits<double>::max(),
                               std::bit_cast<double>(std::uint64_t{0x7FF8DEADBEEF0001ull}),  // NaN payload
                               std::bit_cast<double>(std::uint64_t{0xFFF0000000000001ull}),  // signalling NaN
                               0.1 + 0.2};
    Case c;
    for (double v : specials) {
        Bus& bus = c.buses.emplace_back();
        bus.number = static_cast<int>(c.buses.size());
        bus.vm = v;
        bus.va_deg = -v;
        c.gne_devices.push_back(AuxRecord{.fields = {FieldValue{v}}, .groups = {}});
    }
    const Case back = decode_case(encode_case(c), "specials");
    ASSERT_EQ(back.buses.size(), std::size(specials));
    for (std::size_t k = 0; k < std::size(specials); ++k) {
        EXPECT_EQ(std::bit_cast<std::uint64_t>(back.buses[k].vm), std::bit_cast<std::uint64_t>(specials[k]))
            << k;
        EXPECT_EQ(std::bit_cast<std::uint64_t>(back.buses[k].va_deg),
                  std::bit_cast<std::uint64_t>(-specials[k]));
        EXPECT_EQ(std::bit_cast<std::uint64_t>(std::get<double>(back.gne_devices[k].fields[0])),
                  std::bit_cast<std::uint64_t>(specials[k]));
    }
}

TEST(CaseFileRoundTrip, TextIsKeptByteForByte) {
    Case c;
    std::string all_bytes;
    for (int b = 0; b < 256; ++b) all_bytes.push_back(static_cast<char>(b));
    c.buses.push_back(Bus{.number = 1, .name = all_bytes});
    c.buses.push_back(Bus{.number = 2, .name = "  leading and trailing  "});
    c.loads.emplace_back().id = "";
    c.system_wide.lines = {"", std::string(70000, 'x'), "\r\n"};
    EXPECT_EQ(decode_case(encode_case(c), "text"), c);
}

TEST(CaseFileRoundTrip, DeepDeviceRecordsAreRefusedWhenSaving) {
    // The reader accepts 16 levels; the writer must not produce more.
    auto nested = [](int depth) {
        AuxRecord r;
        for (int k = 1; k < depth; ++k) {
            AuxRecord outer;
            outer.groups.push_back({std::move(r)});
            r = std::move(outer);
        }
        return r;
    };
    Case c;
    c.gne_devices.push_back(nested(16));
    EXPECT_EQ(decode_case(encode_case(c), "deep"), c);
    c.gne_devices.push_back(nested(17));
    EXPECT_THROW(encode_case(c), CaseFileError);
}

}  // namespace
}  // namespace velquin::sim
