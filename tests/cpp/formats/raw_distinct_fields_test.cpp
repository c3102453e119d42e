// Every field of every record kind the reader turns into model structs, for
// revisions 33, 34 and 35, with a value no other field of the file has:
// read, each value must be in its model member; written, each member must be
// at its field's place. The field order of each revision and the member of
// each field are written out below from the public format description
// (simulator/docs/raw-format.md, sections 3 to 5), independently of the
// layout tables the reader and writer share.
#include "formats/raw_distinct_fields.hpp"

#include <gtest/gtest.h>

#include <algorithm>

#include "formats/raw_format.hpp"

namespace velquin::sim {
namespace {

using testing::apply;
using testing::blocks_after_titles;
using testing::DistinctSamples;
using testing::expect_read;
using testing::expect_written;
using testing::FieldMap;
using testing::FieldRef;
using testing::fields;
using testing::imag_part;
using testing::make_sample;
using testing::numbered;
using testing::real_part;
using testing::RecordSample;

#define MEMBER(name, member)                                    \
    {                                                           \
        name, [](Record& r) -> FieldRef { return &(r.member); } \
    }

template <class Record, class Member>
void add_numbered(FieldMap<Record>& map, std::string_view prefix, int count, Member member) {
    for (int i = 0; i < count; ++i)
        map.add(std::string(prefix) + std::to_string(i + 1),
                [member, i](Record& r) -> FieldRef { return &member(r)[i]; });
}

template <class Record, class Owners>
void add_owners(FieldMap<Record>& map, Owners ownership) {
    add_numbered(
        map, "O", kOwnerCount, [ownership](Record & r) -> auto& { return ownership(r).owner; });
    add_numbered(
        map, "F", kOwnerCount, [ownership](Record & r) -> auto& { return ownership(r).fraction; });
}

// ---- field maps: field name -> model member ---------------------------

const FieldMap<CaseIdentification>& identification_map() {
    using Record = CaseIdentification;
    static const FieldMap<Record> map{
        MEMBER("IC", change_code),
        MEMBER("SBASE", base_mva),
        MEMBER("REV", revision),
        MEMBER("XFRRAT", transformer_rating_units),
        MEMBER("NXFRAT", branch_rating_units),
        MEMBER("BASFRQ", base_frequency),
    };
    return map;
}

const FieldMap<Bus>& bus_map() {
    using Record = Bus;
    static const FieldMap<Record> map{
        MEMBER("I", number),
        MEMBER("NAME", name),
        MEMBER("BASKV", base_kv),
        MEMBER("IDE", type),
        MEMBER("AREA", area),
        MEMBER("ZONE", zone),
        MEMBER("OWNER", owner),
        MEMBER("VM", vm),
        MEMBER("VA", va_deg),
        MEMBER("NVHI", normal_vmax),
        MEMBER("NVLO", normal_vmin),
        MEMBER("EVHI", emergency_vmax),
        MEMBER("EVLO", emergency_vmin),
    };
    return map;
}

const FieldMap<Load>& load_map() {
    using Record = Load;
    static const FieldMap<Record> map{
        MEMBER("I", bus),
        MEMBER("ID", id),
        MEMBER("STAT", status),
        MEMBER("AREA", area),
        MEMBER("ZONE", zone),
        {"PL", [](Load& l) -> FieldRef { return &real_part(l.constant_power); }},
        {"QL", [](Load& l) -> FieldRef { return &imag_part(l.constant_power); }},
        {"IP", [](Load& l) -> FieldRef { return &real_part(l.constant_current); }},
        {"IQ", [](Load& l) -> FieldRef { return &imag_part(l.constant_current); }},
        {"YP", [](Load& l) -> FieldRef { return &real_part(l.constant_admittance); }},
        {"YQ", [](Load& l) -> FieldRef { return &imag_part(l.constant_admittance); }},
        MEMBER("OWNER", owner),
        MEMBER("SCALE", scalable),
        MEMBER("INTRPT", interruptible),
        {"DGENP", [](Load& l) -> FieldRef { return &real_part(l.distributed_generation); }},
        {"DGENQ", [](Load& l) -> FieldRef { return &imag_part(l.distributed_generation); }},
        MEMBER("DGENF", distributed_generation_mode),
        MEMBER("LOADTYPE", load_type),
    };
    return map;
}

const FieldMap<FixedShunt>& fixed_shunt_map() {
    using Record = FixedShunt;
    static const FieldMap<Record> map{
        MEMBER("I", bus),
        MEMBER("ID", id),
        MEMBER("STAT", status),
        {"GL", [](Record& s) -> FieldRef { return &real_part(s.admittance); }},
        {"BL", [](Record& s) -> FieldRef { return &imag_part(s.admittance); }},
    };
    return map;
}

// A generator record holds the machine and the voltage control of its
// plant (VS, IREG, NREG); RMPCT is the plant's and the machine's share.
struct GeneratorRecord {
    Plant plant;
    Machine machine;
};

const FieldMap<GeneratorRecord>& generator_map() {
    using Record = GeneratorRecord;
    static const FieldMap<Record> map = [] {
        FieldMap<Record> m{
            MEMBER("I", machine.bus),
            MEMBER("ID", machine.id),
            MEMBER("PG", machine.pg),
            MEMBER("QG", machine.qg),
            MEMBER("QT", machine.qmax),
            MEMBER("QB", machine.qmin),
            MEMBER("VS", plant.scheduled_voltage),
            MEMBER("IREG", plant.regulated_bus),
            MEMBER("NREG", plant.regulated_node),
            MEMBER("MBASE", machine.mbase),
            {"ZR", [](Record& g) -> FieldRef { return &real_part(g.machine.source_impedance); }},
            {"ZX", [](Record& g) -> FieldRef { return &imag_part(g.machine.source_impedance); }},
            {"RT", [](Record& g) -> FieldRef { return &real_part(g.machine.step_up_impedance); }},
            {"XT", [](Record& g) -> FieldRef { return &imag_part(g.machine.step_up_impedance); }},
            MEMBER("GTAP", machine.step_up_ratio),
            MEMBER("STAT", machine.status),
            MEMBER("RMPCT", machine.rmpct),
            MEMBER("PT", machine.pmax),
            MEMBER("PB", machine.pmin),
            MEMBER("BASLOD", machine.base_load),
            MEMBER("WMOD", machine.wind_mode),
            MEMBER("WPF", machine.wind_power_factor),
        };
        add_owners(m, [](Record& g) -> Ownership& { return g.machine.ownership; });
        return m;
    }();
    return map;
}

const FieldMap<LineBranch>& branch_map() {
    using Record = LineBranch;
    static const FieldMap<Record> map = [] {
        FieldMap<Record> m{
            MEMBER("I", from_bus),
            MEMBER("J", to_bus),
            MEMBER("CKT", ckt),
            MEMBER("R", r),
            MEMBER("X", x),
            MEMBER("B", b),
            MEMBER("NAME", name),
            {"GI", [](Record& l) -> FieldRef { return &real_part(l.from_shunt); }},
            {"BI", [](Record& l) -> FieldRef { return &imag_part(l.from_shunt); }},
            {"GJ", [](Record& l) -> FieldRef { return &real_part(l.to_shunt); }},
            {"BJ", [](Record& l) -> FieldRef { return &imag_part(l.to_shunt); }},
            MEMBER("ST", status),
            MEMBER("MET", metered_end),
            MEMBER("LEN", length),
        };
        // Revision 33 calls the first three RATEA, RATEB, RATEC.
        add_numbered(m, "RATE", kRatingCount, [](Record& l) -> Ratings& { return l.ratings; });
        add_owners(m, [](Record& l) -> Ownership& { return l.ownership; });
        return m;
    }();
    return map;
}

const FieldMap<SwitchingDevice>& switching_device_map() {
    using Record = SwitchingDevice;
    static const FieldMap<Record> map = [] {
        FieldMap<Record> m{
            MEMBER("I", from_bus),      MEMBER("J", to_bus),
            MEMBER("CKT", ckt),         MEMBER("X", x),
            MEMBER("STAT", status),     MEMBER("NSTAT", normal_status),
            MEMBER("MET", metered_end), MEMBER("STYPE", type),
            MEMBER("NAME", name),
        };
        add_numbered(m, "RATE", kRatingCount, [](Record& d) -> Ratings& { return d.ratings; });
        return m;
    }();
    return map;
}

// Winding fields carry the winding number n: WINDVn, RATEn-k (revision 33:
// RATAn, RATBn, RATCn), CODn and so on.
const FieldMap<Transformer>& transformer_map() {
    using Record = Transformer;
    static const FieldMap<Record> map = [] {
        FieldMap<Record> m{
            MEMBER("I", bus1),
            MEMBER("J", bus2),
            MEMBER("K", bus3),
            MEMBER("CKT", ckt),
            MEMBER("CW", winding_code),
            MEMBER("CZ", impedance_code),
            MEMBER("CM", magnetizing_code),
            MEMBER("MAG1", mag1),
            MEMBER("MAG2", mag2),
            MEMBER("NMETR", non_metered_winding),
            MEMBER("NAME", name),
            MEMBER("STAT", status),
            MEMBER("VECGRP", vector_group),
            MEMBER("ZCOD", impedance_correction_code),
            MEMBER("R1-2", impedance[0].r),
            MEMBER("X1-2", impedance[0].x),
            MEMBER("SBASE1-2", impedance[0].sbase),
            MEMBER("R2-3", impedance[1].r),
            MEMBER("X2-3", impedance[1].x),
            MEMBER("SBASE2-3", impedance[1].sbase),
            MEMBER("R3-1", impedance[2].r),
            MEMBER("X3-1", impedance[2].x),
            MEMBER("SBASE3-1", impedance[2].sbase),
            MEMBER("VMSTAR", star_vm),
            MEMBER("ANSTAR", star_va_deg),
        };
        add_owners(m, [](Record& t) -> Ownership& { return t.ownership; });
        for (int w = 0; w < 3; ++w) {
            const std::string n = std::to_string(w + 1);
            auto winding = [w](Record& t) -> Winding& { return t.windings[w]; };
            auto add = [&](const std::string& name, auto member) {
                m.add(name + n, [winding, member](Record& t) -> FieldRef { return member(winding(t)); });
            };
            add("WINDV", [](Winding& x) -> FieldRef { return &x.ratio; });
            add("NOMV", [](Winding& x) -> FieldRef { return &x.nominal_kv; });
            add("ANG", [](Winding& x) -> FieldRef { return &x.angle_deg; });
            add("COD", [](Winding& x) -> FieldRef { return &x.control_mode; });
            add("CONT", [](Winding& x) -> FieldRef { return &x.controlled_bus; });
            add("NOD", [](Winding& x) -> FieldRef { return &x.controlled_node; });
            add("RMA", [](Winding& x) -> FieldRef { return &x.rmax; });
            add("RMI", [](Winding& x) -> FieldRef { return &x.rmin; });
            add("VMA", [](Winding& x) -> FieldRef { return &x.vmax; });
            add("VMI", [](Winding& x) -> FieldRef { return &x.vmin; });
            add("NTP", [](Winding& x) -> FieldRef { return &x.tap_positions; });
            add("TAB", [](Winding& x) -> FieldRef { return &x.correction_table; });
            add("CR", [](Winding& x) -> FieldRef { return &real_part(x.load_drop_compensation); });
            add("CX", [](Winding& x) -> FieldRef { return &imag_part(x.load_drop_compensation); });
            add("CNXA", [](Winding& x) -> FieldRef { return &x.connection_angle; });
            add_numbered(m, "RATE" + n + "-", kRatingCount,
                         [winding](Record& t) -> Ratings& { return winding(t).ratings; });
        }
        return m;
    }();
    return map;
}

const FieldMap<Area>& area_map() {
    using Record = Area;
    static const FieldMap<Record> map{MEMBER("I", number), MEMBER("ISW", swing_bus),
                                      MEMBER("PDES", desired_mw), MEMBER("PTOL", tolerance_mw),
                                      MEMBER("ARNAME", name)};
    return map;
}

const FieldMap<MultiSectionLine>& multi_section_map() {
    using Record = MultiSectionLine;
    static const FieldMap<Record> map = [] {
        FieldMap<Record> m{MEMBER("I", from_bus), MEMBER("J", to_bus), MEMBER("ID", id),
                           MEMBER("MET", metered_end)};
        add_numbered(m, "DUM", 9, [](Record& l) -> std::vector<int>& {
            l.dummy_buses.resize(9);
            return l.dummy_buses;
        });
        return m;
    }();
    return map;
}

const FieldMap<Zone>& zone_map() {
    using Record = Zone;
    static const FieldMap<Record> map{MEMBER("I", number), MEMBER("ZONAME", name)};
    return map;
}

const FieldMap<InterAreaTransfer>& transfer_map() {
    using Record = InterAreaTransfer;
    static const FieldMap<Record> map{MEMBER("ARFROM", from_area), MEMBER("ARTO", to_area),
                                      MEMBER("TRID", id), MEMBER("PTRAN", mw)};
    return map;
}

const FieldMap<Owner>& owner_map() {
    using Record = Owner;
    static const FieldMap<Record> map{MEMBER("I", number), MEMBER("OWNAME", name)};
    return map;
}

// SWREG is SWREM in revision 33.
const FieldMap<SwitchedShunt>& switched_shunt_map() {
    using Record = SwitchedShunt;
    static const FieldMap<Record> map = [] {
        FieldMap<Record> m{
            MEMBER("I", bus),
            MEMBER("ID", id),
            MEMBER("MODSW", control_mode),
            MEMBER("ADJM", adjustment_method),
            MEMBER("STAT", status),
            MEMBER("VSWHI", vswhi),
            MEMBER("VSWLO", vswlo),
            MEMBER("SWREG", regulated_bus),
            MEMBER("NREG", regulated_node),
            MEMBER("RMPCT", rmpct),
            MEMBER("RMIDNT", vsc_name),
            MEMBER("BINIT", initial_mvar),
        };
        add_numbered(
            m, "S", kSwitchedShuntBlockCount, [](Record & s) -> auto& { return s.block_status; });
        add_numbered(
            m, "N", kSwitchedShuntBlockCount, [](Record & s) -> auto& { return s.steps; });
        add_numbered(
            m, "B", kSwitchedShuntBlockCount, [](Record & s) -> auto& { return s.mvar_per_step; });
        return m;
    }();
    return map;
}

const FieldMap<InductionMachine>& induction_machine_map() {
    using Record = InductionMachine;
    static const FieldMap<Record> map{
        MEMBER("I", bus),       MEMBER("ID", id),         MEMBER("STAT", status), MEMBER("SCODE", scode),
        MEMBER("DCODE", dcode), MEMBER("AREA", area),     MEMBER("ZONE", zone),   MEMBER("OWNER", owner),
        MEMBER("TCODE", tcode), MEMBER("BCODE", bcode),   MEMBER("MBASE", mbase), MEMBER("RATEKV", ratekv),
        MEMBER("PCODE", pcode), MEMBER("PSET", pset),     MEMBER("H", h),         MEMBER("A", a),
        MEMBER("B", b),         MEMBER("D", d),           MEMBER("E", e),         MEMBER("RA", ra),
        MEMBER("XA", xa),       MEMBER("XM", xm),         MEMBER("R1", r1),       MEMBER("X1", x1),
        MEMBER("R2", r2),       MEMBER("X2", x2),         MEMBER("X3", x3),       MEMBER("E1", e1),
        MEMBER("SE1", se1),     MEMBER("E2", e2),         MEMBER("SE2", se2),     MEMBER("IA1", ia1),
        MEMBER("IA2", ia2),     MEMBER("XAMULT", xamult),
    };
    return map;
}

const FieldMap<Substation>& substation_map() {
    using Record = Substation;
    static const FieldMap<Record> map{MEMBER("IS", number), MEMBER("NAME", name),
                                      MEMBER("LATITUDE", latitude), MEMBER("LONGITUDE", longitude),
                                      MEMBER("SGR", grounding_resistance)};
    return map;
}

const FieldMap<SubstationNode>& node_map() {
    using Record = SubstationNode;
    static const FieldMap<Record> map{MEMBER("NI", number),     MEMBER("NAME", name), MEMBER("I", bus),
                                      MEMBER("STATUS", status), MEMBER("VM", vm),     MEMBER("VA", va_deg)};
    return map;
}

const FieldMap<SubstationSwitchingDevice>& node_switch_map() {
    using Record = SubstationSwitchingDevice;
    static const FieldMap<Record> map = [] {
        FieldMap<Record> m{MEMBER("NI", from_node),        MEMBER("NJ", to_node), MEMBER("CKTID", ckt),
                           MEMBER("NAME", name),           MEMBER("TYPE", type),  MEMBER("STATUS", status),
                           MEMBER("NSTAT", normal_status), MEMBER("X", x)};
        add_numbered(
            m, "RATE", 3, [](Record & d) -> auto& { return d.ratings; });
        return m;
    }();
    return map;
}

const FieldMap<SubstationTerminal>& terminal_map() {
    using Record = SubstationTerminal;
    static const FieldMap<Record> map{MEMBER("I", bus),  MEMBER("NI", node), MEMBER("TYP", type),
                                      MEMBER("J", bus2), MEMBER("K", bus3),  MEMBER("ID", id)};
    return map;
}

#undef MEMBER

// ---- field order per revision -------------------------------------------

std::vector<std::string> owners() {
    return fields({"O1 F1 O2 F2 O3 F3 O4 F4"});
}

// Ratings of a branch or switching device: 3 in revision 33, 12 later.
std::vector<std::string> ratings(int revision, std::string_view prefix = "RATE") {
    return numbered(prefix, revision == 33 ? 3 : kRatingCount);
}

std::vector<std::string> load_fields(int revision) {
    auto names = fields({"I ID STAT AREA ZONE PL QL IP IQ YP YQ OWNER SCALE INTRPT"});
    if (revision >= 34) names = fields({names, "DGENP DGENQ DGENF"});
    if (revision >= 35) names.push_back("LOADTYPE");
    return names;
}

std::vector<std::string> generator_fields(int revision) {
    if (revision == 35)
        return fields({"I ID PG QG QT QB VS IREG NREG MBASE ZR ZX RT XT GTAP STAT RMPCT PT PB BASLOD",
                       owners(), "WMOD WPF"});
    auto names =
        fields({"I ID PG QG QT QB VS IREG MBASE ZR ZX RT XT GTAP STAT RMPCT PT PB", owners(), "WMOD WPF"});
    if (revision == 34) names.push_back("NREG");
    return names;
}

std::vector<std::string> branch_fields(int revision) {
    const std::string_view head = revision == 33 ? "I J CKT R X B" : "I J CKT R X B NAME";
    return fields({head, ratings(revision), "GI BI GJ BJ ST MET LEN", owners()});
}

std::vector<std::string> switching_device_fields() {
    return fields({"I J CKT X", ratings(34), "STAT NSTAT MET STYPE NAME"});
}

std::vector<std::string> transformer_first_line(int revision) {
    auto names = fields({"I J K CKT CW CZ CM MAG1 MAG2 NMETR NAME STAT", owners(), "VECGRP"});
    if (revision >= 34) names.push_back("ZCOD");
    return names;
}

std::vector<std::string> winding_line(int revision, int w) {
    const std::string n = std::to_string(w);
    auto with_n = [&](std::string_view words) {
        auto names = fields({words});
        for (auto& name : names) name += n;
        return names;
    };
    const auto rates = numbered("RATE" + n + "-", revision == 33 ? 3 : kRatingCount);
    const auto tail = with_n("RMA RMI VMA VMI NTP TAB CR CX CNXA");
    if (revision == 33) return fields({with_n("WINDV NOMV ANG"), rates, with_n("COD CONT"), tail});
    if (revision == 34)
        return fields({with_n("WINDV NOMV ANG"), rates, with_n("COD CONT"), tail, with_n("NOD")});
    return fields({with_n("WINDV NOMV ANG"), rates, with_n("COD CONT NOD"), tail});
}

std::vector<std::vector<std::string>> two_winding_lines(int revision) {
    return {transformer_first_line(revision), fields({"R1-2 X1-2 SBASE1-2"}), winding_line(revision, 1),
            fields({"WINDV2 NOMV2"})};
}

std::vector<std::vector<std::string>> three_winding_lines(int revision) {
    return {transformer_first_line(revision),
            fields({"R1-2 X1-2 SBASE1-2 R2-3 X2-3 SBASE2-3 R3-1 X3-1 SBASE3-1 VMSTAR ANSTAR"}),
            winding_line(revision, 1), winding_line(revision, 2), winding_line(revision, 3)};
}

std::vector<std::string> switched_shunt_fields(int revision) {
    std::vector<std::string> blocks;
    for (int i = 1; i <= kSwitchedShuntBlockCount; ++i) {
        const std::string n = std::to_string(i);
        if (revision == 35) blocks.push_back("S" + n);
        blocks.push_back("N" + n);
        blocks.push_back("B" + n);
    }
    if (revision == 35)
        return fields({"I ID MODSW ADJM STAT VSWHI VSWLO SWREG NREG RMPCT RMIDNT BINIT", blocks});
    auto names = fields({"I MODSW ADJM STAT VSWHI VSWLO SWREG RMPCT RMIDNT BINIT", blocks});
    if (revision == 34) names.push_back("NREG");
    return names;
}

std::vector<std::string> induction_machine_fields() {
    return fields(
        {"I ID STAT SCODE DCODE AREA ZONE OWNER TCODE BCODE MBASE RATEKV PCODE PSET H A B D E RA XA XM "
         "R1 X1 R2 X2 X3 E1 SE1 E2 SE2 IA1 IA2 XAMULT"});
}

// Sections in file order; the system-wide data and the bus data come first.
std::vector<std::string> section_names(int revision) {
    std::vector<std::string> names = {"bus", "load", "fixed shunt", "generator", "branch"};
    if (revision >= 34) {
        names.insert(names.begin(), "system-wide");
        names.push_back("switching device");
    }
    for (const char* name : {"transformer", "area", "two-terminal dc", "vsc dc", "impedance correction",
                             "multi-terminal dc", "multi-section line", "zone", "inter-area transfer",
                             "owner", "facts", "switched shunt", "gne", "induction machine"})
        names.emplace_back(name);
    if (revision >= 34) names.emplace_back("substation");
    return names;
}

// ---- one file holding a sample of every kind -----------------------------

struct Samples {
    int revision;
    RecordSample identification, bus, load, fixed_shunt, generator, branch, switching_device;
    RecordSample two_winding, three_winding, area, multi_section, zone, transfer, owner, switched_shunt;
    RecordSample induction_machine, substation, node, node_switch, load_terminal, branch_terminal,
        three_winding_terminal;
    std::string title1, title2;
    std::vector<std::string> system_wide = {"GENERAL, THRSHZ=0.0001, PQBRAK=0.7",
                                            "RATING, 1, \"R1\", \"first set\""};

    explicit Samples(int rev) : revision(rev) {
        DistinctSamples s;
        identification = make_sample(identification_map(), {fields({"IC SBASE REV XFRRAT NXFRAT BASFRQ"})}, s,
                                     {{"REV", static_cast<long long>(rev)}});
        title1 = "title line one " + std::to_string(rev);
        title2 = "title line two " + std::to_string(rev);
        bus = make_sample(bus_map(), {fields({"I NAME BASKV IDE AREA ZONE OWNER VM VA NVHI NVLO EVHI EVLO"})},
                          s, {{"IDE", 3LL}});
        load = make_sample(load_map(), {load_fields(rev)}, s);
        fixed_shunt = make_sample(fixed_shunt_map(), {fields({"I ID STAT GL BL"})}, s);
        generator = make_sample(generator_map(), {generator_fields(rev)}, s);
        branch = make_sample(branch_map(), {branch_fields(rev)}, s);
        if (rev >= 34) switching_device = make_sample(switching_device_map(), {switching_device_fields()}, s);
        // K = 0 makes a two-winding record. The codes have few values; the
        // two records give CW, CZ and CM different ones in turn.
        two_winding = make_sample(transformer_map(), two_winding_lines(rev), s,
                                  {{"K", 0LL}, {"CW", 2LL}, {"CZ", 3LL}, {"CM", 2LL}});
        three_winding = make_sample(transformer_map(), three_winding_lines(rev), s,
                                    {{"CW", 3LL}, {"CZ", 2LL}, {"CM", 2LL}});
        area = make_sample(area_map(), {fields({"I ISW PDES PTOL ARNAME"})}, s);
        multi_section = make_sample(multi_section_map(), {fields({"I J ID MET", numbered("DUM", 9)})}, s);
        zone = make_sample(zone_map(), {fields({"I ZONAME"})}, s);
        transfer = make_sample(transfer_map(), {fields({"ARFROM ARTO TRID PTRAN"})}, s);
        owner = make_sample(owner_map(), {fields({"I OWNAME"})}, s);
        switched_shunt = make_sample(switched_shunt_map(), {switched_shunt_fields(rev)}, s);
        induction_machine = make_sample(induction_machine_map(), {induction_machine_fields()}, s);
        if (rev >= 34) {
            substation = make_sample(substation_map(), {fields({"IS NAME LATITUDE LONGITUDE SGR"})}, s);
            node = make_sample(node_map(), {fields({"NI NAME I STATUS VM VA"})}, s);
            node_switch = make_sample(
                node_switch_map(), {fields({"NI NJ CKTID NAME TYPE STATUS NSTAT X RATE1 RATE2 RATE3"})}, s);
            // A terminal's fields depend on its type: J for a branch, J and K
            // for a three-winding transformer.
            load_terminal =
                make_sample(terminal_map(), {fields({"I NI TYP ID"})}, s, {{"TYP", std::string("L")}});
            branch_terminal =
                make_sample(terminal_map(), {fields({"I NI TYP J ID"})}, s, {{"TYP", std::string("B")}});
            three_winding_terminal =
                make_sample(terminal_map(), {fields({"I NI TYP J K ID"})}, s, {{"TYP", std::string("3")}});
        }
    }

    // The records of each section, in the order of section_names().
    std::map<std::string, std::vector<const RecordSample*>> by_section() const {
        std::map<std::string, std::vector<const RecordSample*>> sections{
            {"bus", {&bus}},
            {"load", {&load}},
            {"fixed shunt", {&fixed_shunt}},
            {"generator", {&generator}},
            {"branch", {&branch}},
            {"transformer", {&two_winding, &three_winding}},
            {"area", {&area}},
            {"multi-section line", {&multi_section}},
            {"zone", {&zone}},
            {"inter-area transfer", {&transfer}},
            {"owner", {&owner}},
            {"switched shunt", {&switched_shunt}},
            {"induction machine", {&induction_machine}},
        };
        if (revision >= 34) sections["switching device"] = {&switching_device};
        return sections;
    }

    std::string raw_text() const {
        std::string text = identification.text();
        text += title1 + "\n" + title2 + "\n";
        const auto sections = by_section();
        for (const std::string& name : section_names(revision)) {
            if (name == "system-wide") {
                for (const auto& line : system_wide) text += line + "\n";
            } else if (name == "substation") {
                // A substation block: the record, its nodes, its switching
                // devices and its terminals, each list closed by a 0.
                text += substation.text() + node.text() + "0\n" + node_switch.text() + "0\n" +
                        load_terminal.text() + branch_terminal.text() + three_winding_terminal.text() + "0\n";
            } else if (const auto it = sections.find(name); it != sections.end()) {
                for (const RecordSample* record : it->second) text += record->text();
            }
            text += "0 / END OF " + name + " DATA\n";
        }
        return text + "Q\n";
    }

    // The case the samples describe, built through the field maps.
    Case model() const {
        Case c;
        apply(identification, identification_map(), c.identification);
        c.identification.title1 = title1;
        c.identification.title2 = title2;
        if (revision >= 34) c.system_wide.lines = system_wide;
        apply(bus, bus_map(), c.buses.emplace_back());
        apply(load, load_map(), c.loads.emplace_back());
        apply(fixed_shunt, fixed_shunt_map(), c.fixed_shunts.emplace_back());
        GeneratorRecord g;
        apply(generator, generator_map(), g);
        g.plant.bus = g.machine.bus;
        g.plant.rmpct = g.machine.rmpct;
        c.plants.push_back(g.plant);
        c.machines.push_back(g.machine);
        apply(branch, branch_map(), c.lines.emplace_back());
        if (revision >= 34)
            apply(switching_device, switching_device_map(), c.switching_devices.emplace_back());
        apply(two_winding, transformer_map(), c.transformers.emplace_back());
        apply(three_winding, transformer_map(), c.transformers.emplace_back());
        apply(area, area_map(), c.areas.emplace_back());
        apply(multi_section, multi_section_map(), c.multi_section_lines.emplace_back());
        apply(zone, zone_map(), c.zones.emplace_back());
        apply(transfer, transfer_map(), c.inter_area_transfers.emplace_back());
        apply(owner, owner_map(), c.owners.emplace_back());
        apply(switched_shunt, switched_shunt_map(), c.switched_shunts.emplace_back());
        apply(induction_machine, induction_machine_map(), c.induction_machines.emplace_back());
        if (revision >= 34) {
            Substation& s = c.substations.emplace_back();
            apply(substation, substation_map(), s);
            apply(node, node_map(), s.nodes.emplace_back());
            apply(node_switch, node_switch_map(), s.switching_devices.emplace_back());
            for (const RecordSample* t : {&load_terminal, &branch_terminal, &three_winding_terminal})
                apply(*t, terminal_map(), s.terminals.emplace_back());
        }
        return c;
    }
};

class RawDistinctFields : public ::testing::TestWithParam<int> {};

TEST_P(RawDistinctFields, EveryFieldIsReadIntoItsOwnMember) {
    const Samples s(GetParam());
    const std::string text = s.raw_text();
    const Case c = parse_raw(text, "distinct.raw");

    expect_read(s.identification, identification_map(), c.identification);
    EXPECT_EQ(c.identification.title1, s.title1);
    EXPECT_EQ(c.identification.title2, s.title2);
    EXPECT_EQ(c.system_wide.lines, GetParam() >= 34 ? s.system_wide : std::vector<std::string>{});
    ASSERT_EQ(c.buses.size(), 1u);
    expect_read(s.bus, bus_map(), c.buses[0]);
    ASSERT_EQ(c.loads.size(), 1u);
    expect_read(s.load, load_map(), c.loads[0]);
    ASSERT_EQ(c.fixed_shunts.size(), 1u);
    expect_read(s.fixed_shunt, fixed_shunt_map(), c.fixed_shunts[0]);
    ASSERT_EQ(c.machines.size(), 1u);
    ASSERT_EQ(c.plants.size(), 1u);
    expect_read(s.generator, generator_map(), GeneratorRecord{c.plants[0], c.machines[0]});
    EXPECT_EQ(c.plants[0].bus, c.machines[0].bus);
    EXPECT_EQ(c.plants[0].rmpct, c.machines[0].rmpct);
    ASSERT_EQ(c.lines.size(), 1u);
    expect_read(s.branch, branch_map(), c.lines[0]);
    if (GetParam() >= 34) {
        ASSERT_EQ(c.switching_devices.size(), 1u);
        expect_read(s.switching_device, switching_device_map(), c.switching_devices[0]);
    }
    ASSERT_EQ(c.transformers.size(), 2u);
    {
        SCOPED_TRACE("two-winding transformer");
        expect_read(s.two_winding, transformer_map(), c.transformers[0]);
    }
    {
        SCOPED_TRACE("three-winding transformer");
        expect_read(s.three_winding, transformer_map(), c.transformers[1]);
    }
    ASSERT_EQ(c.areas.size(), 1u);
    expect_read(s.area, area_map(), c.areas[0]);
    ASSERT_EQ(c.multi_section_lines.size(), 1u);
    EXPECT_EQ(c.multi_section_lines[0].dummy_buses.size(), 9u);
    expect_read(s.multi_section, multi_section_map(), c.multi_section_lines[0]);
    ASSERT_EQ(c.zones.size(), 1u);
    expect_read(s.zone, zone_map(), c.zones[0]);
    ASSERT_EQ(c.inter_area_transfers.size(), 1u);
    expect_read(s.transfer, transfer_map(), c.inter_area_transfers[0]);
    ASSERT_EQ(c.owners.size(), 1u);
    expect_read(s.owner, owner_map(), c.owners[0]);
    ASSERT_EQ(c.switched_shunts.size(), 1u);
    expect_read(s.switched_shunt, switched_shunt_map(), c.switched_shunts[0]);
    ASSERT_EQ(c.induction_machines.size(), 1u);
    expect_read(s.induction_machine, induction_machine_map(), c.induction_machines[0]);
    if (GetParam() >= 34) {
        ASSERT_EQ(c.substations.size(), 1u);
        const Substation& sub = c.substations[0];
        expect_read(s.substation, substation_map(), sub);
        ASSERT_EQ(sub.nodes.size(), 1u);
        expect_read(s.node, node_map(), sub.nodes[0]);
        ASSERT_EQ(sub.switching_devices.size(), 1u);
        expect_read(s.node_switch, node_switch_map(), sub.switching_devices[0]);
        ASSERT_EQ(sub.terminals.size(), 3u);
        expect_read(s.load_terminal, terminal_map(), sub.terminals[0]);
        expect_read(s.branch_terminal, terminal_map(), sub.terminals[1]);
        expect_read(s.three_winding_terminal, terminal_map(), sub.terminals[2]);
    }
}

TEST_P(RawDistinctFields, EveryMemberIsWrittenAtItsField) {
    const Samples s(GetParam());
    ImportReport report;
    const std::string text = format_raw(s.model(), GetParam(), &report);
    EXPECT_EQ(report.warnings, std::vector<std::string>{});

    RawLineCursor cursor(text);
    int number = 0;
    std::vector<std::string> head;
    while (head.size() < 3 && !cursor.at_end()) {
        const std::string_view line = cursor.next(number);
        if (!line.starts_with("@!")) head.emplace_back(line);
    }
    ASSERT_EQ(head.size(), 3u);
    expect_written(s.identification, {head[0]});
    EXPECT_EQ(head[1], s.title1);
    EXPECT_EQ(head[2], s.title2);

    const auto blocks = blocks_after_titles(text);
    const auto names = section_names(GetParam());
    // The substation section holds three sub-blocks before its own end.
    ASSERT_EQ(blocks.size(), names.size() + (GetParam() >= 34 ? 3 : 0));
    auto section = [&](std::string_view name) -> const std::vector<std::string>& {
        return blocks[std::find(names.begin(), names.end(), name) - names.begin()];
    };
    if (GetParam() >= 34) {
        EXPECT_EQ(section("system-wide"), s.system_wide);
    }
    for (const auto& [name, records] : s.by_section()) {
        SCOPED_TRACE(name);
        const auto& lines = section(name);
        std::size_t at = 0;
        for (const RecordSample* record : records) {
            ASSERT_LE(at + record->lines.size(), lines.size());
            expect_written(*record, {lines.begin() + static_cast<long>(at),
                                     lines.begin() + static_cast<long>(at + record->lines.size())});
            at += record->lines.size();
        }
        EXPECT_EQ(at, lines.size()) << "lines after the records";
    }
    if (GetParam() >= 34) {
        SCOPED_TRACE("substation");
        const std::size_t first = std::find(names.begin(), names.end(), "substation") - names.begin();
        const auto& head_and_nodes = blocks[first];
        ASSERT_EQ(head_and_nodes.size(), 2u);
        expect_written(s.substation, {head_and_nodes[0]});
        expect_written(s.node, {head_and_nodes[1]});
        ASSERT_EQ(blocks[first + 1].size(), 1u);
        expect_written(s.node_switch, blocks[first + 1]);
        const auto& terminals = blocks[first + 2];
        ASSERT_EQ(terminals.size(), 3u);
        expect_written(s.load_terminal, {terminals[0]});
        expect_written(s.branch_terminal, {terminals[1]});
        expect_written(s.three_winding_terminal, {terminals[2]});
        EXPECT_TRUE(blocks[first + 3].empty());
    }
}

INSTANTIATE_TEST_SUITE_P(Revisions, RawDistinctFields, ::testing::Values(33, 34, 35),
                         [](const ::testing::TestParamInfo<int>& revision) {
                             return "Revision" + std::to_string(revision.param);
                         });

}  // namespace
}  // namespace velquin::sim
