// File layout: a 32-byte header (magic, version, payload length, XXH64),
// then the payload, a sequence of sections, each an id, a byte length and a
// body. Every list of the case is one section.
#include "casefile/case_file.hpp"

#include <array>
#include <cstdint>
#include <cstring>
#include <optional>

#include "casefile/atomic_file.hpp"
#include "casefile/legacy_device_records.hpp"
#include "casefile/record_codec.hpp"
#include "casefile/xxhash64.hpp"

namespace velquin::sim {
namespace {

using casefile::RecordReader;
using casefile::RecordWriter;

// The high byte catches 7-bit transfers, CR LF catches line-end
// translation, 0x1A stops a DOS "type".
constexpr std::array<char, 8> kMagic{'\x89', 'V', 'Q', 'C', '\r', '\n', '\x1a', '\n'};

constexpr std::size_t kHeaderSize = 32;
constexpr std::size_t kChecksummedHeaderBytes = 24;  // magic .. payload length
constexpr std::size_t kSectionHeaderSize = 12;       // u32 id, u64 length

struct Header {
    std::uint16_t major = 0;
    std::uint16_t minor = 0;
    std::uint32_t reserved = 0;
    std::uint64_t payload_size = 0;
    std::uint64_t checksum = 0;
};

template <class T>
T load_at(std::string_view bytes, std::size_t at) {
    T v{};
    std::memcpy(&v, bytes.data() + at, sizeof v);
    return v;
}

template <class T>
void store_at(std::string& bytes, std::size_t at, T v) {
    std::memcpy(bytes.data() + at, &v, sizeof v);
}

// Every member of the case, with its section id and the name errors use.
// The structured binding fails to compile when a member is added to Case.
template <class C, class F>
void for_each_section(C& c, F&& f) {
    auto& [identification, system_wide, buses, loads, fixed_shunts, plants, machines, lines,
           switching_devices, transformers, areas, two_terminal_dc_lines, vsc_dc_lines,
           impedance_correction_tables, multi_terminal_dc_lines, multi_section_lines, zones,
           inter_area_transfers, owners, facts_devices, switched_shunts, gne_devices, induction_machines,
           substations] = c;
    f(1, "identification", identification);
    f(2, "system-wide data", system_wide);
    f(3, "buses", buses);
    f(4, "loads", loads);
    f(5, "fixed shunts", fixed_shunts);
    f(6, "plants", plants);
    f(7, "machines", machines);
    f(8, "line branches", lines);
    f(9, "switching devices", switching_devices);
    f(10, "transformers", transformers);
    f(11, "areas", areas);
    f(12, "two-terminal dc lines", two_terminal_dc_lines);
    f(13, "vsc dc lines", vsc_dc_lines);
    f(14, "impedance correction tables", impedance_correction_tables);
    f(15, "multi-terminal dc lines", multi_terminal_dc_lines);
    f(16, "multi-section lines", multi_section_lines);
    f(17, "zones", zones);
    f(18, "inter-area transfers", inter_area_transfers);
    f(19, "owners", owners);
    f(20, "facts devices", facts_devices);
    f(21, "switched shunts", switched_shunts);
    f(22, "gne devices", gne_devices);
    f(23, "induction machines", induction_machines);
    f(24, "substations", substations);
}

constexpr std::uint32_t kSectionCount = 24;

std::string section_name(std::uint32_t id) {
    std::string name;
    const Case empty;
    for_each_section(empty, [&](std::uint32_t section, const char* text, const auto&) {
        if (section == id) name = text;
    });
    return name.empty() ? "section " + std::to_string(id) : "section " + name;
}

[[noreturn]] void fail(std::string_view source, const std::string& what) {
    throw CaseFileError(std::string(source) + ": " + what);
}

// Names the section a short file was cut in, walking the section lengths
// through the bytes that are there.
[[noreturn]] void fail_truncated(std::string_view bytes, std::string_view source) {
    std::size_t at = kHeaderSize;
    std::optional<std::uint32_t> last;
    while (true) {
        if (at + 4 > bytes.size()) {
            fail(source, last ? "truncated (after " + section_name(*last) + ")" : "truncated (no sections)");
        }
        const auto id = load_at<std::uint32_t>(bytes, at);
        if (at + kSectionHeaderSize > bytes.size()) fail(source, "truncated (" + section_name(id) + ")");
        const auto length = load_at<std::uint64_t>(bytes, at + 4);
        const std::size_t body = at + kSectionHeaderSize;
        if (length > bytes.size() - body) fail(source, "truncated (" + section_name(id) + ")");
        at = body + static_cast<std::size_t>(length);
        last = id;
    }
}

// Covers the header up to the checksum and the whole payload: the payload's
// hash is seeded with the hash of the header's first 24 bytes.
std::uint64_t checksum(std::string_view bytes) {
    return casefile::xxhash64(bytes.substr(kHeaderSize),
                              casefile::xxhash64(bytes.substr(0, kChecksummedHeaderBytes)));
}

Header read_header(std::string_view bytes, std::string_view source) {
    if (bytes.size() < kMagic.size()) {
        const bool prefix = !bytes.empty() && std::memcmp(bytes.data(), kMagic.data(), bytes.size()) == 0;
        fail(source, prefix ? "truncated (header)" : "not a Velquin saved case");
    }
    if (std::memcmp(bytes.data(), kMagic.data(), kMagic.size()) != 0)
        fail(source, "not a Velquin saved case");
    if (bytes.size() < kHeaderSize) fail(source, "truncated (header)");

    Header h;
    h.major = load_at<std::uint16_t>(bytes, 8);
    h.minor = load_at<std::uint16_t>(bytes, 10);
    h.reserved = load_at<std::uint32_t>(bytes, 12);
    h.payload_size = load_at<std::uint64_t>(bytes, 16);
    h.checksum = load_at<std::uint64_t>(bytes, 24);

    const std::string version = std::to_string(h.major) + "." + std::to_string(h.minor);
    if (h.major > kCaseFileMajorVersion)
        fail(source, "written by a newer Velquin (case file format " + version +
                         "; this version reads format " + std::to_string(kCaseFileMajorVersion) +
                         " and older)");
    if (h.major == 0) fail(source, "unknown case file format version " + version + " (corrupted)");
    if (h.reserved != 0) fail(source, "corrupted (header)");
    return h;
}

// Format 1 kept DC lines and FACTS devices as untyped records.
template <class Member>
void read_section(RecordReader& reader, Member& member, int major, const std::string& context) {
    if constexpr (requires(std::vector<AuxRecord> untyped) {
                      casefile::convert_untyped(untyped, member, context);
                  }) {
        if (major == 1) {
            std::vector<AuxRecord> untyped;
            reader.get(untyped);
            casefile::convert_untyped(untyped, member, context);
            return;
        }
    }
    reader.get(member);
}

Case decode(std::string_view bytes, std::string_view source, bool verify_checksum) {
    const Header header = read_header(bytes, source);
    const std::size_t available = bytes.size() - kHeaderSize;
    if (header.payload_size > available) fail_truncated(bytes, source);
    if (header.payload_size < available)
        fail(source, "corrupted (" + std::to_string(available - header.payload_size) +
                         " unexpected bytes after the end of the case)");
    if (verify_checksum) {
        if (checksum(bytes) != header.checksum) fail(source, "checksum mismatch (file corrupted)");
    }

    // Section table. Ids this version does not know come from a newer minor
    // version and are skipped.
    std::array<std::optional<std::string_view>, kSectionCount + 1> bodies{};
    std::size_t at = kHeaderSize;
    while (at < bytes.size()) {
        if (bytes.size() - at < kSectionHeaderSize) fail(source, "corrupted (section table)");
        const auto id = load_at<std::uint32_t>(bytes, at);
        const auto length = load_at<std::uint64_t>(bytes, at + 4);
        at += kSectionHeaderSize;
        if (length > bytes.size() - at)
            fail(source, "corrupted (" + section_name(id) + ": length runs past the end of the file)");
        const std::string_view body = bytes.substr(at, static_cast<std::size_t>(length));
        at += static_cast<std::size_t>(length);
        if (id == 0 || id >= bodies.size()) continue;
        if (bodies[id]) fail(source, "corrupted (" + section_name(id) + " appears twice)");
        bodies[id] = body;
    }

    Case c;
    for_each_section(c, [&](std::uint32_t id, const char* name, auto& member) {
        if (id >= bodies.size() || !bodies[id])
            fail(source, "corrupted (section " + std::string(name) + " is missing)");
        const std::string context = std::string(source) + ": corrupted (section " + name;
        RecordReader reader(*bodies[id], context);
        read_section(reader, member, header.major, context);
        if (reader.remaining() != 0)
            reader.fail(std::to_string(reader.remaining()) + " bytes left over after the last record");
    });
    return c;
}

}  // namespace

std::string encode_case(const Case& c) {
    // Sized from the element counts so that the buffer rarely grows.
    std::size_t expected = kHeaderSize;
    for_each_section(c, [&](std::uint32_t, const char*, const auto& member) {
        using Member = std::remove_cvref_t<decltype(member)>;
        expected += kSectionHeaderSize + 4 + RecordReader::min_encoded_size<Member>();
        if constexpr (requires { member.size(); })
            expected += member.size() * RecordReader::min_encoded_size<typename Member::value_type>() * 9 / 8;
    });

    RecordWriter writer(expected);
    writer.raw(kMagic.data(), kMagic.size());
    writer.put(static_cast<std::uint16_t>(kCaseFileMajorVersion));
    writer.put(static_cast<std::uint16_t>(kCaseFileMinorVersion));
    writer.put(std::uint32_t{0});  // reserved
    writer.put(std::uint64_t{0});  // payload length, set below
    writer.put(std::uint64_t{0});  // checksum, set below

    for_each_section(c, [&](std::uint32_t id, const char*, const auto& member) {
        writer.put(id);
        const std::size_t length_at = writer.size();
        writer.put(std::uint64_t{0});
        writer.put(member);
        writer.patch<std::uint64_t>(length_at, writer.size() - length_at - sizeof(std::uint64_t));
    });

    writer.patch<std::uint64_t>(16, writer.size() - kHeaderSize);
    std::string out = std::move(writer).take();
    store_at<std::uint64_t>(out, 24, checksum(out));
    return out;
}

Case decode_case(std::string_view bytes, std::string_view source) {
    return decode(bytes, source, true);
}

Case decode_case_unchecked(std::string_view bytes, std::string_view source) {
    return decode(bytes, source, false);
}

void save_case_file(const Case& c, const std::filesystem::path& path) {
    std::string bytes;
    try {
        bytes = encode_case(c);
    } catch (const CaseFileError& e) {
        throw CaseFileError(path.string() + ": " + e.what());
    }
    casefile::write_file_atomically(path, bytes);
}

Case load_case_file(const std::filesystem::path& path) {
    return decode_case(casefile::read_whole_file(path), path.string());
}

std::filesystem::path saved_case_path(std::filesystem::path name) {
    if (!name.has_extension()) name += ".sav";
    return name;
}

}  // namespace velquin::sim
