#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>

#include "casefile/case_file.hpp"
#include "casefile/crc32.hpp"
#include "casefile/full_case.hpp"

namespace velquin::sim {
namespace {

using testing::make_full_case;

// Bitwise CRC-32, one bit at a time: the definition the fast table-driven
// version must agree with.
std::uint32_t reference_crc32(std::string_view bytes) {
    std::uint32_t c = 0xFFFFFFFFu;
    for (unsigned char b : bytes) {
        c ^= b;
        for (int k = 0; k < 8; ++k) c = (c & 1u) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
    }
    return ~c;
}

TEST(CaseFileChecksum, MatchesTheStandardCrc32) {
    EXPECT_EQ(casefile::crc32("123456789"), 0xCBF43926u);
    EXPECT_EQ(casefile::crc32(""), 0u);
    std::mt19937 random(7);
    std::string data(1031, '\0');
    for (char& ch : data) ch = static_cast<char>(random());
    // Every length and alignment the eight-byte loop and its tail can meet.
    for (std::size_t start = 0; start < 9; ++start) {
        for (std::size_t length : {0u, 1u, 7u, 8u, 9u, 15u, 16u, 17u, 1000u}) {
            const std::string_view piece = std::string_view(data).substr(start, length);
            ASSERT_EQ(casefile::crc32(piece), reference_crc32(piece)) << start << "+" << length;
        }
    }
    const std::string_view all(data);
    EXPECT_EQ(casefile::crc32(all.substr(100), casefile::crc32(all.substr(0, 100))), reference_crc32(all));
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
    c.facts_devices.push_back(nested(16));
    EXPECT_EQ(decode_case(encode_case(c), "deep"), c);
    c.facts_devices.push_back(nested(17));
    EXPECT_THROW(encode_case(c), CaseFileError);
}

}  // namespace
}  // namespace velquin::sim
