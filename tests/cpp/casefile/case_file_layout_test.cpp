// The bytes of every record of a saved case, spelled out field by field from
// the format description (simulator/docs/case-file-format.md, sections 1
// and 2), independently of the layout table the encoder and decoder share:
// written, each member must be at its place; read, each place must land in
// its member. Every field of the case holds a value no other field holds,
// so a swapped pair of members shows.
//
// Device records kept field by field (DC lines, FACTS, GNE) and impedance
// correction tables are left empty here; their own tests cover them.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "casefile/case_file.hpp"
#include "casefile/full_case.hpp"
#include "casefile/xxhash64.hpp"

namespace velquin::sim {
namespace {

// Little-endian values in the basic encodings of section 1.
class Bytes {
public:
    Bytes& u16(std::uint16_t v) { return raw(v); }
    Bytes& u32(std::uint32_t v) { return raw(v); }
    Bytes& u64(std::uint64_t v) { return raw(v); }
    Bytes& i32(int v) { return raw(v); }
    Bytes& f64(double v) { return raw(v); }
    Bytes& complex(Complex v) { return f64(v.real()).f64(v.imag()); }
    Bytes& text(const std::string& s) {
        u32(static_cast<std::uint32_t>(s.size()));
        bytes_ += s;
        return *this;
    }
    template <class T, std::size_t N, class Put>
    Bytes& array(const std::array<T, N>& values, Put put) {
        for (const T& v : values) put(*this, v);
        return *this;
    }
    template <class T, class Put>
    Bytes& list(const std::vector<T>& values, Put put) {
        u32(static_cast<std::uint32_t>(values.size()));
        for (const T& v : values) put(*this, v);
        return *this;
    }
    Bytes& append(const std::string& more) {
        bytes_ += more;
        return *this;
    }
    const std::string& str() const { return bytes_; }

private:
    template <class T>
    Bytes& raw(T v) {
        char b[sizeof v];
        std::memcpy(b, &v, sizeof v);
        bytes_.append(b, sizeof v);
        return *this;
    }
    std::string bytes_;
};

void put_i32(Bytes& o, int v) {
    o.i32(v);
}
void put_f64(Bytes& o, double v) {
    o.f64(v);
}
void put_text(Bytes& o, const std::string& v) {
    o.text(v);
}

// ---- the records of section 2.4, field by field ------------------------

void put(Bytes& o, const Ownership& x) {
    o.array(x.owner, put_i32).array(x.fraction, put_f64);
}

void put(Bytes& o, const CaseIdentification& x) {
    o.i32(x.change_code).f64(x.base_mva).i32(x.revision).f64(x.transformer_rating_units);
    o.f64(x.branch_rating_units).f64(x.base_frequency).text(x.title1).text(x.title2);
}

void put(Bytes& o, const SystemWideData& x) {
    o.list(x.lines, put_text);
}

void put(Bytes& o, const Bus& x) {
    o.i32(x.number).text(x.name).f64(x.base_kv).i32(x.type).i32(x.area).i32(x.zone).i32(x.owner);
    o.f64(x.vm).f64(x.va_deg).f64(x.normal_vmax).f64(x.normal_vmin).f64(x.emergency_vmax);
    o.f64(x.emergency_vmin).i32(x.type_before_disconnect);
}

void put(Bytes& o, const Load& x) {
    o.i32(x.bus).text(x.id).i32(x.status).i32(x.area).i32(x.zone).i32(x.owner);
    o.complex(x.constant_power).complex(x.constant_current).complex(x.constant_admittance);
    o.i32(x.scalable).i32(x.interruptible).complex(x.distributed_generation);
    o.i32(x.distributed_generation_mode).text(x.load_type).text(x.name);
}

void put(Bytes& o, const FixedShunt& x) {
    o.i32(x.bus).text(x.id).i32(x.status).complex(x.admittance).text(x.name);
}

void put(Bytes& o, const Plant& x) {
    o.i32(x.bus).f64(x.scheduled_voltage).i32(x.regulated_bus).i32(x.regulated_node).f64(x.rmpct);
}

void put(Bytes& o, const Machine& x) {
    o.i32(x.bus).text(x.id).f64(x.pg).f64(x.qg).f64(x.qmax).f64(x.qmin).f64(x.pmax).f64(x.pmin);
    o.f64(x.mbase).complex(x.source_impedance).complex(x.step_up_impedance).f64(x.step_up_ratio);
    o.i32(x.status).f64(x.rmpct);
    put(o, x.ownership);
    o.i32(x.wind_mode).f64(x.wind_power_factor).i32(x.base_load).text(x.name);
}

void put(Bytes& o, const LineBranch& x) {
    o.i32(x.from_bus).i32(x.to_bus).text(x.ckt).f64(x.r).f64(x.x).f64(x.b);
    o.complex(x.from_shunt).complex(x.to_shunt).i32(x.status).i32(x.metered_end).f64(x.length);
    put(o, x.ownership);
    o.array(x.ratings, put_f64).text(x.name);
}

void put(Bytes& o, const SwitchingDevice& x) {
    o.i32(x.from_bus).i32(x.to_bus).text(x.ckt).f64(x.x).array(x.ratings, put_f64);
    o.i32(x.status).i32(x.normal_status).i32(x.metered_end).i32(x.type).text(x.name);
}

void put(Bytes& o, const WindingPairImpedance& x) {
    o.f64(x.r).f64(x.x).f64(x.sbase);
}

void put(Bytes& o, const Winding& x) {
    o.f64(x.ratio).f64(x.nominal_kv).f64(x.angle_deg).array(x.ratings, put_f64);
    o.i32(x.control_mode).i32(x.controlled_bus).i32(x.controlled_node);
    o.f64(x.rmax).f64(x.rmin).f64(x.vmax).f64(x.vmin).i32(x.tap_positions).i32(x.correction_table);
    o.complex(x.load_drop_compensation).f64(x.connection_angle);
}

void put(Bytes& o, const Transformer& x) {
    o.i32(x.bus1).i32(x.bus2).i32(x.bus3).text(x.ckt).i32(x.winding_code).i32(x.impedance_code);
    o.i32(x.magnetizing_code).f64(x.mag1).f64(x.mag2).i32(x.non_metered_winding).text(x.name).i32(x.status);
    put(o, x.ownership);
    o.text(x.vector_group).i32(x.impedance_correction_code);
    o.array(x.impedance, [](Bytes& b, const WindingPairImpedance& z) { put(b, z); });
    o.f64(x.star_vm).f64(x.star_va_deg);
    o.array(x.windings, [](Bytes& b, const Winding& w) { put(b, w); });
}

void put(Bytes& o, const Area& x) {
    o.i32(x.number).i32(x.swing_bus).f64(x.desired_mw).f64(x.tolerance_mw).text(x.name);
}

void put(Bytes& o, const MultiSectionLine& x) {
    o.i32(x.from_bus).i32(x.to_bus).text(x.id).i32(x.metered_end).list(x.dummy_buses, put_i32);
}

void put(Bytes& o, const Zone& x) {
    o.i32(x.number).text(x.name);
}
void put(Bytes& o, const Owner& x) {
    o.i32(x.number).text(x.name);
}

void put(Bytes& o, const InterAreaTransfer& x) {
    o.i32(x.from_area).i32(x.to_area).text(x.id).f64(x.mw);
}

void put(Bytes& o, const SwitchedShunt& x) {
    o.i32(x.bus).text(x.id).i32(x.control_mode).i32(x.adjustment_method).i32(x.status);
    o.f64(x.vswhi).f64(x.vswlo).i32(x.regulated_bus).i32(x.regulated_node).f64(x.rmpct);
    o.text(x.vsc_name).f64(x.initial_mvar).array(x.steps, put_i32).array(x.mvar_per_step, put_f64);
    o.array(x.block_status, put_i32).text(x.name);
}

void put(Bytes& o, const InductionMachine& x) {
    o.i32(x.bus).text(x.id).i32(x.status).i32(x.scode).i32(x.dcode).i32(x.area).i32(x.zone).i32(x.owner);
    o.i32(x.tcode).i32(x.bcode).f64(x.mbase).f64(x.ratekv).i32(x.pcode).f64(x.pset).f64(x.h).f64(x.a);
    o.f64(x.b).f64(x.d).f64(x.e).f64(x.ra).f64(x.xa).f64(x.xm).f64(x.r1).f64(x.x1).f64(x.r2).f64(x.x2);
    o.f64(x.x3).f64(x.e1).f64(x.se1).f64(x.e2).f64(x.se2).f64(x.ia1).f64(x.ia2).f64(x.xamult).text(x.name);
}

void put(Bytes& o, const SubstationNode& x) {
    o.i32(x.number).text(x.name).i32(x.bus).i32(x.status).f64(x.vm).f64(x.va_deg);
}

void put(Bytes& o, const SubstationSwitchingDevice& x) {
    o.i32(x.from_node).i32(x.to_node).text(x.ckt).text(x.name).i32(x.type).i32(x.status);
    o.i32(x.normal_status).f64(x.x).array(x.ratings, put_f64);
}

void put(Bytes& o, const SubstationTerminal& x) {
    o.i32(x.bus).i32(x.node).text(x.type).i32(x.bus2).i32(x.bus3).text(x.id);
}

void put(Bytes& o, const Substation& x) {
    o.i32(x.number).text(x.name).f64(x.latitude).f64(x.longitude).f64(x.grounding_resistance);
    o.list(x.nodes, [](Bytes& b, const SubstationNode& n) { put(b, n); });
    o.list(x.switching_devices, [](Bytes& b, const SubstationSwitchingDevice& d) { put(b, d); });
    o.list(x.terminals, [](Bytes& b, const SubstationTerminal& t) { put(b, t); });
}

template <class T>
std::string body(const T& record) {
    Bytes o;
    put(o, record);
    return o.str();
}

template <class T>
std::string body(const std::vector<T>& records) {
    Bytes o;
    o.list(records, [](Bytes& b, const T& r) { put(b, r); });
    return o.str();
}

// Section id -> expected body, in the order of the section table (2.3).
std::map<std::uint32_t, std::string> expected_sections(const Case& c) {
    const std::string no_records = Bytes().u32(0).str();
    return {
        {1, body(c.identification)},
        {2, body(c.system_wide)},
        {3, body(c.buses)},
        {4, body(c.loads)},
        {5, body(c.fixed_shunts)},
        {6, body(c.plants)},
        {7, body(c.machines)},
        {8, body(c.lines)},
        {9, body(c.switching_devices)},
        {10, body(c.transformers)},
        {11, body(c.areas)},
        {12, no_records},
        {13, no_records},
        {14, no_records},
        {15, no_records},
        {16, body(c.multi_section_lines)},
        {17, body(c.zones)},
        {18, body(c.inter_area_transfers)},
        {19, body(c.owners)},
        {20, no_records},
        {21, body(c.switched_shunts)},
        {22, no_records},
        {23, body(c.induction_machines)},
        {24, body(c.substations)},
    };
}

Case distinct_case() {
    Case c = testing::make_full_case();
    c.two_terminal_dc_lines.clear();
    c.vsc_dc_lines.clear();
    c.impedance_correction_tables.clear();
    c.multi_terminal_dc_lines.clear();
    c.facts_devices.clear();
    c.gne_devices.clear();
    return c;
}

// Where two byte strings first differ, for a message a person can follow.
std::string first_difference(const std::string& got, const std::string& want) {
    std::size_t at = 0;
    while (at < got.size() && at < want.size() && got[at] == want[at]) ++at;
    if (at == got.size() && at == want.size()) return "";
    return "first difference at byte " + std::to_string(at) + " of " + std::to_string(want.size());
}

TEST(CaseFileLayout, EveryMemberIsWrittenAtItsPlace) {
    const Case c = distinct_case();
    const std::string file = encode_case(c);
    // The sections in the order of the table, each id with its body.
    std::vector<std::pair<std::uint32_t, std::string>> sections;
    std::size_t at = 32;
    while (at + 12 <= file.size()) {
        std::uint32_t id = 0;
        std::uint64_t length = 0;
        std::memcpy(&id, file.data() + at, 4);
        std::memcpy(&length, file.data() + at + 4, 8);
        ASSERT_LE(length, file.size() - at - 12);
        sections.emplace_back(id, file.substr(at + 12, length));
        at += 12 + length;
    }
    EXPECT_EQ(at, file.size());
    const auto expected = expected_sections(c);
    ASSERT_EQ(sections.size(), expected.size());
    auto want = expected.begin();
    for (const auto& [id, got] : sections) {
        SCOPED_TRACE("section " + std::to_string(want->first));
        EXPECT_EQ(id, want->first);
        EXPECT_EQ(first_difference(got, want->second), "");
        ++want;
    }
}

TEST(CaseFileLayout, EveryPlaceIsReadIntoItsMember) {
    const Case c = distinct_case();
    Bytes payload;
    for (const auto& [id, content] : expected_sections(c))
        payload.u32(id).u64(content.size()).append(content);
    // Header (2.1) with the checksum of 2.2.
    Bytes header;
    header.append(std::string("\x89VQC\r\n\x1a\n", 8))
        .u16(kCaseFileMajorVersion)
        .u16(kCaseFileMinorVersion)
        .u32(0)
        .u64(payload.str().size());
    const std::uint64_t checksum = casefile::xxhash64(payload.str(), casefile::xxhash64(header.str()));
    const Case read = decode_case(header.u64(checksum).str() + payload.str(), "spelled out");

    EXPECT_EQ(read.identification, c.identification);
    EXPECT_EQ(read.system_wide, c.system_wide);
    EXPECT_EQ(read.buses, c.buses);
    EXPECT_EQ(read.loads, c.loads);
    EXPECT_EQ(read.fixed_shunts, c.fixed_shunts);
    EXPECT_EQ(read.plants, c.plants);
    EXPECT_EQ(read.machines, c.machines);
    EXPECT_EQ(read.lines, c.lines);
    EXPECT_EQ(read.switching_devices, c.switching_devices);
    EXPECT_EQ(read.transformers, c.transformers);
    EXPECT_EQ(read.areas, c.areas);
    EXPECT_EQ(read.multi_section_lines, c.multi_section_lines);
    EXPECT_EQ(read.zones, c.zones);
    EXPECT_EQ(read.inter_area_transfers, c.inter_area_transfers);
    EXPECT_EQ(read.owners, c.owners);
    EXPECT_EQ(read.switched_shunts, c.switched_shunts);
    EXPECT_EQ(read.induction_machines, c.induction_machines);
    EXPECT_EQ(read.substations, c.substations);
    EXPECT_EQ(read, c);
}

}  // namespace
}  // namespace velquin::sim
