// Damaged, foreign and future files: each must give a CaseFileError naming
// the source, never a crash, a huge allocation or a silently wrong case.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "casefile/case_file.hpp"
#include "casefile/full_case.hpp"
#include "casefile/xxhash64.hpp"

namespace velquin::sim {
namespace {

constexpr std::size_t kHeader = 32;

template <class T>
void put_at(std::string& bytes, std::size_t at, T v) {
    std::memcpy(bytes.data() + at, &v, sizeof v);
}

template <class T>
T get_at(const std::string& bytes, std::size_t at) {
    T v{};
    std::memcpy(&v, bytes.data() + at, sizeof v);
    return v;
}

// Fixes the payload length and checksum after a deliberate edit, so the
// structural checks behind them are what the test reaches.
std::string reseal(std::string bytes) {
    put_at<std::uint64_t>(bytes, 16, bytes.size() - kHeader);
    const std::string_view all(bytes);
    put_at<std::uint64_t>(bytes, 24,
                          casefile::xxhash64(all.substr(kHeader), casefile::xxhash64(all.substr(0, 24))));
    return bytes;
}

std::string error_of(std::string_view bytes) {
    try {
        (void)decode_case(bytes, "f.sav");
    } catch (const CaseFileError& e) {
        return e.what();
    }
    return "(no error)";
}

// Offset of section `id`'s 12-byte header.
std::size_t section_at(const std::string& bytes, std::uint32_t id) {
    std::size_t at = kHeader;
    while (get_at<std::uint32_t>(bytes, at) != id) at += 12 + get_at<std::uint64_t>(bytes, at + 4);
    return at;
}

Case case_with_buses() {
    Case c;
    for (int k = 1; k <= 3; ++k) c.buses.push_back(Bus{.number = k, .name = "B" + std::to_string(k)});
    return c;
}

TEST(CaseFileDamage, ForeignDataIsNotASavedCase) {
    EXPECT_EQ(error_of(""), "f.sav: not a Velquin saved case");
    EXPECT_EQ(error_of("0 / REL-33 RAW created\n"), "f.sav: not a Velquin saved case");
    EXPECT_EQ(error_of("\x89VQ"), "f.sav: truncated (header)");
}

TEST(CaseFileDamage, EveryTruncationIsReported) {
    const std::string bytes = encode_case(testing::make_full_case());
    for (std::size_t n = 0; n < bytes.size(); ++n) {
        const std::string message = error_of(std::string_view(bytes).substr(0, n));
        ASSERT_EQ(message.rfind("f.sav: ", 0), 0u) << n << ": " << message;
        if (n >= 8) {
            ASSERT_NE(message.find("truncated"), std::string::npos) << n << ": " << message;
        }
    }
    const std::string buses = encode_case(case_with_buses());
    const std::size_t bus_section = section_at(buses, 3);
    EXPECT_EQ(error_of(std::string_view(buses).substr(0, bus_section + 20)),
              "f.sav: truncated (section buses)");
    EXPECT_EQ(error_of(std::string_view(buses).substr(0, bus_section)),
              "f.sav: truncated (after section system-wide data)");
}

TEST(CaseFileDamage, EverySingleBitFlipIsDetected) {
    const std::string good = encode_case(case_with_buses());
    for (std::size_t at = 0; at < good.size(); ++at) {
        for (int bit = 0; bit < 8; ++bit) {
            std::string bad = good;
            bad[at] = static_cast<char>(bad[at] ^ (1 << bit));
            ASSERT_NE(error_of(bad), "(no error)") << "byte " << at << " bit " << bit;
        }
    }
    std::string bad = good;
    bad[bad.size() - 3] ^= 0x10;  // inside the last section's body
    EXPECT_EQ(error_of(bad), "f.sav: checksum mismatch (file corrupted)");
}

TEST(CaseFileDamage, TrailingBytesAreRejected) {
    const std::string good = encode_case(case_with_buses());
    EXPECT_EQ(error_of(good + "x"), "f.sav: corrupted (1 unexpected bytes after the end of the case)");
}

TEST(CaseFileDamage, VersionsAreChecked) {
    std::string newer = encode_case(Case{});
    put_at<std::uint16_t>(newer, 8, kCaseFileMajorVersion + 1);
    EXPECT_EQ(error_of(reseal(newer))
                  .rfind("f.sav: written by a newer Velquin (case file format " +
                             std::to_string(kCaseFileMajorVersion + 1) + ".0;",
                         0),
              0u);
    // Refused before the checksum: a newer major version may checksum differently.
    put_at<std::uint64_t>(newer, 24, 0);
    EXPECT_EQ(error_of(newer), "f.sav: written by a newer Velquin (case file format " +
                                   std::to_string(kCaseFileMajorVersion + 1) +
                                   ".0; this version reads format " + std::to_string(kCaseFileMajorVersion) +
                                   " and older)");

    std::string zero = encode_case(Case{});
    put_at<std::uint16_t>(zero, 8, 0);
    EXPECT_EQ(error_of(reseal(zero)), "f.sav: unknown case file format version 0.0 (corrupted)");
}

TEST(CaseFileDamage, NewerMinorVersionSectionsAreSkipped) {
    const Case c = case_with_buses();
    std::string bytes = encode_case(c);
    put_at<std::uint16_t>(bytes, 10, kCaseFileMinorVersion + 1);
    std::string extra(12 + 5, 'z');
    put_at<std::uint32_t>(extra, 0, 900);
    put_at<std::uint64_t>(extra, 4, 5);
    bytes.insert(section_at(bytes, 3), extra);  // in the middle, not only at the end
    EXPECT_EQ(decode_case(reseal(bytes), "f.sav"), c);
}

TEST(CaseFileDamage, StructuralFaultsBehindAValidChecksum) {
    const std::string good = encode_case(case_with_buses());
    const std::size_t buses = section_at(good, 3);
    const std::size_t count_at = buses + 12;

    {  // a count the section cannot hold must fail before allocating
        std::string bad = good;
        put_at<std::uint32_t>(bad, count_at, 0xFFFFFFFFu);
        EXPECT_EQ(
            error_of(reseal(bad)).rfind("f.sav: corrupted (section buses: a list of 4294967295 elements", 0),
            0u);
    }
    {  // fewer records than bytes
        std::string bad = good;
        put_at<std::uint32_t>(bad, count_at, 2);
        EXPECT_EQ(error_of(reseal(bad)),
                  "f.sav: corrupted (section buses: 86 bytes left over after the last record)");
    }
    {  // a string length running past the section
        std::string bad = good;
        put_at<std::uint32_t>(bad, count_at + 4 + 4, 1000000);  // first bus's name length
        EXPECT_EQ(error_of(reseal(bad)),
                  "f.sav: corrupted (section buses: a text of 1000000 bytes runs past the end)");
    }
    {  // section length past the end of the file
        std::string bad = good;
        put_at<std::uint64_t>(bad, buses + 4, 1u << 30);
        EXPECT_EQ(error_of(reseal(bad)),
                  "f.sav: corrupted (section buses: length runs past the end of the file)");
    }
    {  // a section twice, and one missing
        std::string twice = good;
        put_at<std::uint32_t>(twice, section_at(good, 4), 3);
        EXPECT_EQ(error_of(reseal(twice)), "f.sav: corrupted (section buses appears twice)");
        std::string missing = good;
        put_at<std::uint32_t>(missing, section_at(good, 4), 777);
        EXPECT_EQ(error_of(reseal(missing)), "f.sav: corrupted (section loads is missing)");
    }
    {  // reserved header fields
        std::string bad = good;
        put_at<std::uint32_t>(bad, 12, 1);
        EXPECT_EQ(error_of(reseal(bad)), "f.sav: corrupted (header)");
    }
}

TEST(CaseFileDamage, UnknownValueTagsAndDeepNestingAreRejected) {
    Case c;
    c.gne_devices.push_back(AuxRecord{.fields = {FieldValue{2.5}}, .groups = {}});
    const std::string good = encode_case(c);
    const std::size_t tag_at = section_at(good, 22) + 12 + 4 + 4;  // count, field count
    ASSERT_EQ(good[tag_at], 2);
    std::string bad = good;
    bad[tag_at] = 9;
    EXPECT_EQ(error_of(reseal(bad)), "f.sav: corrupted (section gne devices: unknown value tag 9)");

    // A chain of single-record groups, each level 8 bytes: far deeper than
    // any real record, and deep enough to overflow an unguarded reader.
    const std::size_t body = section_at(good, 22) + 12;
    std::string chain;
    auto u32 = [&chain](std::uint32_t v) { chain.append(reinterpret_cast<const char*>(&v), 4); };
    u32(1);  // one device
    for (int level = 0; level < 200000; ++level) {
        u32(0);  // no fields
        u32(1);  // one group
        u32(1);  // of one record
    }
    u32(0);
    u32(0);
    std::string deep = good.substr(0, body) + chain + good.substr(body + 4 + 4 + 1 + 8 + 4);
    put_at<std::uint64_t>(deep, body - 8, chain.size());
    EXPECT_EQ(error_of(reseal(deep)),
              "f.sav: corrupted (section gne devices: device records nested more than 16 levels deep)");
}

TEST(CaseFileDamage, UncheckedDecodingStillChecksStructure) {
    const Case c = testing::make_full_case();
    std::string bytes = encode_case(c);
    put_at<std::uint64_t>(bytes, 24, get_at<std::uint64_t>(bytes, 24) ^ 1u);
    EXPECT_THROW((void)decode_case(bytes, "f.sav"), CaseFileError);
    EXPECT_EQ(decode_case_unchecked(bytes, "f.sav"), c);
    EXPECT_THROW((void)decode_case_unchecked(std::string_view(bytes).substr(0, 100), "f.sav"), CaseFileError);
}

}  // namespace
}  // namespace velquin::sim
