// Reads RAW files of revisions 33, 34 and 35 into a fresh Case. Defaults
// that depend on other data (a load's area from its bus, a machine base
// from SBASE, a kV winding voltage from the bus base) are resolved here, so
// the case holds the values the simulator would use.
#include <fstream>
#include <map>
#include <sstream>
#include <unordered_map>

#include "formats/number_text.hpp"
#include "formats/raw_device_fields.hpp"
#include "formats/raw_format.hpp"
#include "formats/raw_layouts.hpp"
#include "formats/raw_lexer.hpp"

namespace velquin::sim {

namespace {

// A section ends with a record whose first field is an unquoted zero
// ("0", and "0.0" or ".00" too: no record may begin with a zero).
bool is_zero_literal(const RawToken& t) {
    if (t.quoted || t.text.empty()) return false;
    const auto v = parse_real(t.text);
    return v && *v == 0.0;
}

bool looks_like_integer(const RawToken& t) {
    if (t.quoted || t.text.empty()) return false;
    std::string_view s = t.text;
    if (s.front() == '-' || s.front() == '+') s.remove_prefix(1);
    if (s.empty()) return false;
    for (const char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

// Text fields are kept without trailing blanks (the simulator pads them).
std::string trimmed(std::string_view s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return std::string(s);
}

class RawReader {
public:
    RawReader(std::string_view text, std::string_view source, ImportReport* report, int forced_revision = 0)
        : cursor_(text), source_(source), report_(report), forced_revision_(forced_revision) {}

    Case read();

private:
    // ---- lines and records -------------------------------------------
    [[noreturn]] void fail(const std::string& field, const std::string& problem) const {
        throw FormatError(source_, line_, field, problem);
    }
    void warn(int line, const std::string& message) {
        if (report_ != nullptr)
            report_->warnings.push_back(source_ + ":" + std::to_string(line) + ": " + message);
    }

    // The next data line as tokens; false at the end of input ("Q" or end
    // of file). After that every further call returns false.
    bool next_record() {
        if (pushed_back_) {
            pushed_back_ = false;
            return true;
        }
        while (!ended_) {
            if (cursor_.at_end()) {
                ended_ = true;
                break;
            }
            line_text_ = cursor_.next(line_);
            if (is_raw_comment_line(line_text_)) continue;
            if (!split_raw_fields(line_text_, tokens_)) fail("", "quoted text is not closed on its line");
            if (tokens_.empty()) continue;
            if (tokens_.size() == 1 && !tokens_[0].quoted &&
                (tokens_[0].text == "Q" || tokens_[0].text == "q")) {
                ended_ = true;
                break;
            }
            return true;
        }
        return false;
    }
    void push_back() { pushed_back_ = true; }
    bool at_terminator() const { return !tokens_.empty() && is_zero_literal(tokens_[0]); }

    // The next line of a record that spans several lines.
    void continuation(const RawLayout& layout) {
        if (!next_record())
            throw FormatError(source_, line_, "",
                              "the input ends inside a " + std::string(layout.kind()) + " record");
    }

    // ---- fields of the current line, by canonical name -------------------
    void bind(const RawLayout& layout) {
        layout_ = &layout;
        const auto& order = layout.order(revision_);
        bool extra = false;
        for (std::size_t i = order.size(); i < tokens_.size() && !extra; ++i) extra = !tokens_[i].empty();
        if (extra && !order.empty()) {
            auto& count = extra_fields_[std::string(layout.kind())];
            if (count.second++ == 0) count.first = line_;
        }
    }

    const RawToken* token(std::string_view name) const {
        const int p = layout_->position(revision_)[layout_->index(name)];
        if (p < 0 || p >= static_cast<int>(tokens_.size())) return nullptr;
        const RawToken& t = tokens_[p];
        if (t.empty() || (t.quoted && t.text.empty() &&
                          layout_->fields()[layout_->index(name)].type != RawFieldType::Text))
            return nullptr;
        return &t;
    }
    bool has(std::string_view name) const { return token(name) != nullptr; }

    long long parse_integer_token(std::string_view name, const RawToken& t) const {
        if (t.quoted)
            fail(std::string(name), "expected a number, found quoted text '" + std::string(t.text) + "'");
        const auto v = parse_integer(t.text);
        if (!v) fail(std::string(name), "expected an integer, found '" + std::string(t.text) + "'");
        return *v;
    }
    double parse_real_token(std::string_view name, const RawToken& t) const {
        if (t.quoted)
            fail(std::string(name), "expected a number, found quoted text '" + std::string(t.text) + "'");
        const auto v = parse_real(t.text);
        if (!v) fail(std::string(name), "expected a number, found '" + std::string(t.text) + "'");
        return *v;
    }

    int integer(std::string_view name, int fallback) const {
        const RawToken* t = token(name);
        if (t == nullptr) return fallback;
        const long long v = parse_integer_token(name, *t);
        if (v < -2147483647LL || v > 2147483647LL) fail(std::string(name), "integer out of range");
        return static_cast<int>(v);
    }
    int required_integer(std::string_view name) const {
        if (!has(name)) fail(std::string(name), "a value is required");
        return integer(name, 0);
    }
    double real(std::string_view name, double fallback) const {
        const RawToken* t = token(name);
        return t == nullptr ? fallback : parse_real_token(name, *t);
    }
    double required_real(std::string_view name) const {
        if (!has(name)) fail(std::string(name), "a value is required");
        return real(name, 0.0);
    }
    std::string text(std::string_view name, std::string_view fallback) const {
        const RawToken* t = token(name);
        return t == nullptr ? std::string(fallback) : trimmed(t->text);
    }
    int bus_number(std::string_view name, bool required = true) const {
        const RawToken* t = token(name);
        if (t == nullptr) {
            if (required) fail(std::string(name), "a bus number is required");
            return 0;
        }
        if (t->quoted) fail(std::string(name), "buses must be given by number, not by name");
        const int v = integer(name, 0);
        if (v == 0 && required) fail(std::string(name), "bus number 0 is not a bus");
        if (std::abs(v) > kMaxUserBusNumber) fail(std::string(name), "bus number out of range");
        return v;
    }

    // Fills a typed device record from the bound line: members the line
    // leaves empty keep their defaults.
    struct TypedFieldReader {
        RawReader& reader;
        const char* kind;
        void operator()(std::string_view name, int& v) const { v = reader.integer(name, v); }
        void operator()(std::string_view name, double& v) const { v = reader.real(name, v); }
        void operator()(std::string_view name, std::string& v) const { v = reader.text(name, v); }
        void bus(std::string_view name, int& v, bool required) const {
            v = reader.bus_number(name, required);
            reader.referenced_bus(v, kind);
        }
        void owners(Ownership& o) const { o = reader.ownership(1); }
    };
    template <class T>
    T typed_record(const RawLayout& layout, const char* kind) {
        bind(layout);
        T record;
        TypedFieldReader f{*this, kind};
        raw_fields::visit(f, record);
        return record;
    }

    Ratings ratings(int count) const {
        Ratings r{};
        for (int i = 0; i < count; ++i) r[i] = real("RATE" + std::to_string(i + 1), 0.0);
        return r;
    }
    Ownership ownership(int bus_owner) const {
        Ownership o;
        for (int i = 0; i < kOwnerCount; ++i) {
            const std::string n = std::to_string(i + 1);
            o.owner[i] = integer("O" + n, i == 0 ? bus_owner : 0);
            o.fraction[i] = real("F" + n, 1.0);
        }
        return o;
    }

    // ---- buses ------------------------------------------------------------
    const Bus* find_bus(int number) const {
        const auto it = bus_index_.find(std::abs(number));
        return it == bus_index_.end() ? nullptr : &case_.buses[it->second];
    }
    // A record refers to a bus: note it when the bus is not in the file.
    const Bus* referenced_bus(int number, const char* kind) {
        const Bus* b = find_bus(number);
        if (b == nullptr && number != 0) {
            auto& m = missing_buses_[kind];
            if (m.count++ == 0) {
                m.first_bus = number;
                m.first_line = line_;
            }
        }
        return b;
    }

    // ---- sections -------------------------------------------------------
    template <typename Fn>
    void section(Fn&& per_record) {
        while (next_record()) {
            if (at_terminator()) return;
            per_record();
        }
    }

    void read_identification();
    void read_system_wide();
    void read_bus();
    void read_load();
    void read_fixed_shunt();
    void read_generator();
    void read_branch();
    void read_switching_device();
    void read_transformer();
    void read_area();
    void read_two_terminal_dc();
    void read_vsc_dc();
    void read_impedance_correction();
    void read_mtdc();
    void read_multi_section_line();
    void read_inter_area_transfer();
    void read_facts();
    void read_switched_shunt();
    void read_gne();
    void read_induction_machine();
    void read_substations();
    std::vector<AuxRecord> read_values(int count, RawFieldType type, const char* what);
    void finish();

    RawLineCursor cursor_;
    std::string source_;
    ImportReport* report_;
    int forced_revision_;
    int revision_ = 33;
    Case case_;

    std::string_view line_text_;
    int line_ = 0;
    std::vector<RawToken> tokens_;
    bool ended_ = false;
    bool pushed_back_ = false;
    const RawLayout* layout_ = nullptr;

    std::unordered_map<int, std::size_t> bus_index_;
    std::unordered_map<int, std::size_t> plant_index_;
    struct Missing {
        int count = 0;
        int first_bus = 0;
        int first_line = 0;
    };
    std::map<std::string, Missing> missing_buses_;
    std::map<std::string, std::pair<int, int>> extra_fields_;  // kind -> (first line, count)
};

Case RawReader::read() {
    read_identification();
    if (revision_ >= 34) read_system_wide();
    section([&] { read_bus(); });
    section([&] { read_load(); });
    section([&] { read_fixed_shunt(); });
    section([&] { read_generator(); });
    section([&] { read_branch(); });
    if (revision_ >= 34) section([&] { read_switching_device(); });
    section([&] { read_transformer(); });
    section([&] { read_area(); });
    section([&] { read_two_terminal_dc(); });
    section([&] { read_vsc_dc(); });
    read_impedance_correction();
    section([&] { read_mtdc(); });
    section([&] { read_multi_section_line(); });
    section([&] {
        bind(raw_layout::zone());
        case_.zones.push_back(Zone{required_integer("I"), text("ZONAME", "")});
    });
    section([&] { read_inter_area_transfer(); });
    section([&] {
        bind(raw_layout::owner());
        case_.owners.push_back(Owner{required_integer("I"), text("OWNAME", "")});
    });
    section([&] { read_facts(); });
    section([&] { read_switched_shunt(); });
    section([&] { read_gne(); });
    section([&] { read_induction_machine(); });
    if (revision_ >= 34) read_substations();
    finish();
    return std::move(case_);
}

void RawReader::read_identification() {
    // Column headings may come first; the case line is the first data line.
    do {
        if (cursor_.at_end())
            throw FormatError(source_, line_, "", "the file holds no case identification line");
        line_text_ = cursor_.next(line_);
    } while (is_raw_comment_line(line_text_));
    if (!split_raw_fields(line_text_, tokens_)) fail("", "quoted text is not closed on its line");
    bind(raw_layout::case_identification());
    CaseIdentification& id = case_.identification;
    id.change_code = integer("IC", 0);
    id.base_mva = real("SBASE", 100.0);
    if (!(id.base_mva > 0.0)) fail("SBASE", "the system base must be positive");
    if (forced_revision_ != 0) {
        if (forced_revision_ < 33 || forced_revision_ > 35)
            fail("REV",
                 "revision " + std::to_string(forced_revision_) + " is not supported (33, 34 and 35 are)");
        if (has("REV") && integer("REV", 0) != forced_revision_)
            warn(line_, "the file says revision " + text("REV", "") + "; read as revision " +
                            std::to_string(forced_revision_));
        id.revision = forced_revision_;
    } else if (!has("REV")) {
        warn(line_, "no format revision given; revision 33 assumed");
        id.revision = 33;
    } else {
        id.revision = integer("REV", 33);
        if (id.revision < 33 || id.revision > 35)
            fail("REV", "revision " + std::to_string(id.revision) + " is not supported (33, 34 and 35 are)");
    }
    revision_ = id.revision;
    id.transformer_rating_units = real("XFRRAT", 0.0);
    id.branch_rating_units = real("NXFRAT", 0.0);
    id.base_frequency = real("BASFRQ", 60.0);
    if (!(id.base_frequency > 0.0)) fail("BASFRQ", "the base frequency must be positive");
    int number = 0;
    if (!cursor_.at_end()) id.title1 = std::string(cursor_.next(number));
    if (!cursor_.at_end()) id.title2 = std::string(cursor_.next(number));
    line_ = cursor_.line();
}

void RawReader::read_system_wide() {
    while (next_record()) {
        if (at_terminator()) return;
        if (looks_like_integer(tokens_[0]) || (!tokens_[0].quoted && parse_real(tokens_[0].text))) {
            // Bus data already: a writer that leaves the block out entirely.
            warn(line_, "no system-wide data block before the bus data");
            push_back();
            return;
        }
        case_.system_wide.lines.emplace_back(line_text_);
    }
}

void RawReader::read_bus() {
    bind(raw_layout::bus());
    Bus b;
    b.number = bus_number("I");
    if (b.number < 1) fail("I", "bus numbers start at 1");
    b.name = text("NAME", "");
    b.base_kv = real("BASKV", 0.0);
    b.type = integer("IDE", 1);
    if (b.type < 1 || b.type > 4) fail("IDE", "bus type must be 1, 2, 3 or 4");
    b.area = integer("AREA", 1);
    b.zone = integer("ZONE", 1);
    b.owner = integer("OWNER", 1);
    b.vm = real("VM", 1.0);
    b.va_deg = real("VA", 0.0);
    b.normal_vmax = real("NVHI", 1.1);
    b.normal_vmin = real("NVLO", 0.9);
    b.emergency_vmax = real("EVHI", 1.1);
    b.emergency_vmin = real("EVLO", 0.9);
    if (!bus_index_.emplace(b.number, case_.buses.size()).second)
        fail("I", "bus " + std::to_string(b.number) + " appears twice");
    case_.buses.push_back(std::move(b));
}

void RawReader::read_load() {
    bind(raw_layout::load());
    Load l;
    l.bus = bus_number("I");
    const Bus* bus = referenced_bus(l.bus, "load");
    l.id = text("ID", "1");
    l.status = integer("STAT", 1);
    l.area = integer("AREA", bus ? bus->area : 1);
    l.zone = integer("ZONE", bus ? bus->zone : 1);
    l.constant_power = {real("PL", 0.0), real("QL", 0.0)};
    l.constant_current = {real("IP", 0.0), real("IQ", 0.0)};
    l.constant_admittance = {real("YP", 0.0), real("YQ", 0.0)};
    l.owner = integer("OWNER", bus ? bus->owner : 1);
    l.scalable = integer("SCALE", 1);
    l.interruptible = integer("INTRPT", 0);
    l.distributed_generation = {real("DGENP", 0.0), real("DGENQ", 0.0)};
    l.distributed_generation_mode = integer("DGENF", 0);
    l.load_type = text("LOADTYPE", "");
    case_.loads.push_back(std::move(l));
}

void RawReader::read_fixed_shunt() {
    bind(raw_layout::fixed_shunt());
    FixedShunt s;
    s.bus = bus_number("I");
    referenced_bus(s.bus, "fixed shunt");
    s.id = text("ID", "1");
    s.status = integer("STAT", 1);
    s.admittance = {real("GL", 0.0), real("BL", 0.0)};
    case_.fixed_shunts.push_back(std::move(s));
}

void RawReader::read_generator() {
    bind(raw_layout::generator());
    Machine m;
    m.bus = bus_number("I");
    const Bus* bus = referenced_bus(m.bus, "generator");
    m.id = text("ID", "1");
    m.pg = real("PG", 0.0);
    m.qg = real("QG", 0.0);
    m.qmax = real("QT", 9999.0);
    m.qmin = real("QB", -9999.0);
    Plant plant{.bus = m.bus,
                .scheduled_voltage = real("VS", 1.0),
                .regulated_bus = bus_number("IREG", false),
                .regulated_node = integer("NREG", 0),
                .rmpct = real("RMPCT", 100.0)};
    m.mbase = real("MBASE", case_.identification.base_mva);
    m.source_impedance = {real("ZR", 0.0), real("ZX", 1.0)};
    m.step_up_impedance = {real("RT", 0.0), real("XT", 0.0)};
    m.step_up_ratio = real("GTAP", 1.0);
    m.status = integer("STAT", 1);
    m.rmpct = plant.rmpct;
    m.pmax = real("PT", 9999.0);
    m.pmin = real("PB", -9999.0);
    m.base_load = integer("BASLOD", 0);
    m.ownership = ownership(bus ? bus->owner : 1);
    m.wind_mode = integer("WMOD", 0);
    m.wind_power_factor = real("WPF", 1.0);

    const auto [it, created] = plant_index_.emplace(m.bus, case_.plants.size());
    if (created) {
        case_.plants.push_back(plant);
    } else {
        const Plant& first = case_.plants[it->second];
        if (first.scheduled_voltage != plant.scheduled_voltage ||
            first.regulated_bus != plant.regulated_bus || first.regulated_node != plant.regulated_node)
            warn(line_,
                 "machine " + m.id + " at bus " + std::to_string(m.bus) +
                     " gives other voltage control data than the first machine there; the first is kept");
    }
    case_.machines.push_back(std::move(m));
}

void RawReader::read_branch() {
    bind(raw_layout::branch());
    LineBranch l;
    l.from_bus = bus_number("I");
    const Bus* bus = referenced_bus(l.from_bus, "branch");
    const int to = bus_number("J");
    referenced_bus(to, "branch");
    l.to_bus = std::abs(to);
    l.ckt = text("CKT", "1");
    l.r = real("R", 0.0);
    l.x = required_real("X");
    l.b = real("B", 0.0);
    l.name = text("NAME", "");
    l.ratings = ratings(revision_ >= 34 ? kRatingCount : 3);
    l.from_shunt = {real("GI", 0.0), real("BI", 0.0)};
    l.to_shunt = {real("GJ", 0.0), real("BJ", 0.0)};
    l.status = integer("ST", 1);
    l.metered_end = integer("MET", 1);
    // A negative to bus is the old way of metering at that end.
    if (to < 0) l.metered_end = 2;
    l.length = real("LEN", 0.0);
    l.ownership = ownership(bus ? bus->owner : 1);
    case_.lines.push_back(std::move(l));
}

void RawReader::read_switching_device() {
    bind(raw_layout::switching_device());
    SwitchingDevice d;
    d.from_bus = bus_number("I");
    referenced_bus(d.from_bus, "system switching device");
    d.to_bus = bus_number("J");
    referenced_bus(d.to_bus, "system switching device");
    d.ckt = text("CKT", "1");
    d.x = real("X", 0.0001);
    d.ratings = ratings(kRatingCount);
    d.status = integer("STAT", 1);
    d.normal_status = integer("NSTAT", 1);
    d.metered_end = integer("MET", 1);
    d.type = integer("STYPE", 1);
    d.name = text("NAME", "");
    case_.switching_devices.push_back(std::move(d));
}

void RawReader::read_transformer() {
    bind(raw_layout::transformer());
    Transformer t;
    t.bus1 = bus_number("I");
    t.bus2 = bus_number("J");
    t.bus3 = bus_number("K", false);
    const Bus* buses[3] = {referenced_bus(t.bus1, "transformer"), referenced_bus(t.bus2, "transformer"),
                           referenced_bus(t.bus3, "transformer")};
    t.ckt = text("CKT", "1");
    t.winding_code = integer("CW", 1);
    t.impedance_code = integer("CZ", 1);
    t.magnetizing_code = integer("CM", 1);
    if (t.winding_code < 1 || t.winding_code > 3) fail("CW", "winding data code must be 1, 2 or 3");
    if (t.impedance_code < 1 || t.impedance_code > 3) fail("CZ", "impedance data code must be 1, 2 or 3");
    if (t.magnetizing_code < 1 || t.magnetizing_code > 2) fail("CM", "magnetising data code must be 1 or 2");
    t.mag1 = real("MAG1", 0.0);
    t.mag2 = real("MAG2", 0.0);
    t.non_metered_winding = integer("NMETR", 2);
    t.name = text("NAME", "");
    t.status = integer("STAT", 1);
    t.ownership = ownership(buses[0] ? buses[0]->owner : 1);
    t.vector_group = text("VECGRP", "");
    t.impedance_correction_code = integer("ZCOD", 0);
    const bool three = t.is_three_winding();
    const double sbase = case_.identification.base_mva;

    continuation(raw_layout::transformer());
    bind(raw_layout::transformer_impedance());
    t.impedance[0] = {real("R1-2", 0.0), required_real("X1-2"), real("SBASE1-2", sbase)};
    if (three) {
        t.impedance[1] = {real("R2-3", 0.0), required_real("X2-3"), real("SBASE2-3", sbase)};
        t.impedance[2] = {real("R3-1", 0.0), required_real("X3-1"), real("SBASE3-1", sbase)};
        t.star_vm = real("VMSTAR", 1.0);
        t.star_va_deg = real("ANSTAR", 0.0);
    }

    const int windings = three ? 3 : 2;
    for (int w = 0; w < windings; ++w) {
        continuation(raw_layout::transformer());
        bind(raw_layout::winding());
        Winding& wd = t.windings[w];
        const double bus_kv = buses[w] ? buses[w]->base_kv : 0.0;
        wd.ratio = real("WINDV", t.winding_code == 2 ? bus_kv : 1.0);
        wd.nominal_kv = real("NOMV", 0.0);
        if (!three && w == 1) break;  // line 4 of a two-winding record: WINDV2, NOMV2
        wd.angle_deg = real("ANG", 0.0);
        wd.ratings = ratings(revision_ >= 34 ? kRatingCount : 3);
        wd.control_mode = integer("COD", 0);
        wd.controlled_bus = bus_number("CONT", false);
        wd.controlled_node = integer("NOD", 0);
        wd.rmax = real("RMA", 1.1);
        wd.rmin = real("RMI", 0.9);
        wd.vmax = real("VMA", 1.1);
        wd.vmin = real("VMI", 0.9);
        wd.tap_positions = integer("NTP", 33);
        wd.correction_table = integer("TAB", 0);
        wd.load_drop_compensation = {real("CR", 0.0), real("CX", 0.0)};
        wd.connection_angle = real("CNXA", 0.0);
    }
    case_.transformers.push_back(std::move(t));
}

void RawReader::read_area() {
    bind(raw_layout::area());
    Area a;
    a.number = required_integer("I");
    a.swing_bus = bus_number("ISW", false);
    a.desired_mw = real("PDES", 0.0);
    a.tolerance_mw = real("PTOL", 10.0);
    a.name = text("ARNAME", "");
    case_.areas.push_back(std::move(a));
}

void RawReader::read_two_terminal_dc() {
    auto line = typed_record<TwoTerminalDcLine>(raw_layout::two_terminal_dc(), "two-terminal DC line");
    for (TwoTerminalDcConverter* end : {&line.rectifier, &line.inverter}) {
        continuation(raw_layout::two_terminal_dc());
        *end = typed_record<TwoTerminalDcConverter>(raw_layout::two_terminal_converter(),
                                                    "two-terminal DC line");
    }
    case_.two_terminal_dc_lines.push_back(std::move(line));
}

void RawReader::read_vsc_dc() {
    auto line = typed_record<VscDcLine>(raw_layout::vsc_dc(), "VSC DC line");
    for (VscConverter& converter : line.converters) {
        continuation(raw_layout::vsc_dc());
        converter = typed_record<VscConverter>(raw_layout::vsc_converter(), "VSC DC line");
    }
    case_.vsc_dc_lines.push_back(std::move(line));
}

void RawReader::read_impedance_correction() {
    if (revision_ <= 33) {
        section([&] {
            ImpedanceCorrectionTable table;
            table.number = static_cast<int>(parse_integer_token("I", tokens_[0]));
            for (std::size_t i = 1; i + 1 < tokens_.size() + 1; i += 2) {
                const bool t_empty = tokens_[i].empty();
                const bool f_empty = i + 1 >= tokens_.size() || tokens_[i + 1].empty();
                if (t_empty && f_empty) break;
                const std::string n = std::to_string((i + 1) / 2);
                const double t = t_empty ? 0.0 : parse_real_token("T" + n, tokens_[i]);
                const double f = f_empty ? 0.0 : parse_real_token("F" + n, tokens_[i + 1]);
                if (t == 0.0 && f == 0.0) break;  // unused pairs are written as zeros
                table.points.push_back(CorrectionPoint{t, {f, 0.0}});
            }
            case_.impedance_correction_tables.push_back(std::move(table));
        });
        return;
    }
    // Revisions 34 and 35: complex factors in triples over as many lines as
    // needed, each table closed by a zero triple.
    bool open = false;
    while (next_record()) {
        const bool starts_table = looks_like_integer(tokens_[0]);
        if (open && starts_table) {
            warn(line_, "impedance correction table " +
                            std::to_string(case_.impedance_correction_tables.back().number) +
                            " is not closed by a zero triple");
            open = false;
        }
        if (!open && at_terminator()) return;
        std::size_t first = 0;
        if (!open) {
            if (!starts_table) fail("I", "an impedance correction table must start with its number");
            ImpedanceCorrectionTable table;
            table.number = static_cast<int>(parse_integer_token("I", tokens_[0]));
            case_.impedance_correction_tables.push_back(std::move(table));
            first = 1;
            open = true;
        }
        auto& points = case_.impedance_correction_tables.back().points;
        if ((tokens_.size() - first) % 3 != 0) fail("T", "correction points come in triples T, Re(F), Im(F)");
        for (std::size_t i = first; i < tokens_.size(); i += 3) {
            const std::string n = std::to_string(points.size() + 1);
            const double t = tokens_[i].empty() ? 0.0 : parse_real_token("T" + n, tokens_[i]);
            const double re =
                tokens_[i + 1].empty() ? 0.0 : parse_real_token("Re(F" + n + ")", tokens_[i + 1]);
            const double im =
                tokens_[i + 2].empty() ? 0.0 : parse_real_token("Im(F" + n + ")", tokens_[i + 2]);
            if (t == 0.0 && re == 0.0 && im == 0.0) {
                open = false;
                if (i + 3 < tokens_.size()) fail("T", "values after the zero triple that ends the table");
                break;
            }
            points.push_back(CorrectionPoint{t, {re, im}});
        }
    }
}

void RawReader::read_mtdc() {
    const char* kind = "multi-terminal DC line";
    auto line = typed_record<MultiTerminalDcLine>(raw_layout::mtdc(), kind);
    const int counts[3] = {required_integer("NCONV"), required_integer("NDCBS"), required_integer("NDCLN")};
    const char* names[3] = {"NCONV", "NDCBS", "NDCLN"};
    for (int g = 0; g < 3; ++g)
        if (counts[g] < 0 || counts[g] > 1000) fail(names[g], "count out of range");
    for (int i = 0; i < counts[0]; ++i) {
        continuation(raw_layout::mtdc());
        line.converters.push_back(typed_record<MultiTerminalDcConverter>(raw_layout::mtdc_converter(), kind));
    }
    for (int i = 0; i < counts[1]; ++i) {
        continuation(raw_layout::mtdc());
        line.dc_buses.push_back(typed_record<MultiTerminalDcBus>(raw_layout::mtdc_bus(), kind));
    }
    for (int i = 0; i < counts[2]; ++i) {
        continuation(raw_layout::mtdc());
        line.links.push_back(typed_record<MultiTerminalDcLink>(raw_layout::mtdc_link(), kind));
    }
    case_.multi_terminal_dc_lines.push_back(std::move(line));
}

void RawReader::read_multi_section_line() {
    bind(raw_layout::multi_section_line());
    MultiSectionLine m;
    m.from_bus = bus_number("I");
    const int to = bus_number("J");
    m.to_bus = std::abs(to);
    m.id = text("ID", "&1");
    m.metered_end = to < 0 ? 2 : integer("MET", 1);
    for (int i = 1; i <= 9; ++i) {
        const std::string name = "DUM" + std::to_string(i);
        // The list ends at the first absent or zero entry.
        const int dummy = has(name) ? bus_number(name, false) : 0;
        if (dummy == 0) break;
        m.dummy_buses.push_back(dummy);
    }
    case_.multi_section_lines.push_back(std::move(m));
}

void RawReader::read_inter_area_transfer() {
    bind(raw_layout::inter_area_transfer());
    InterAreaTransfer t;
    t.from_area = required_integer("ARFROM");
    t.to_area = required_integer("ARTO");
    t.id = text("TRID", "1");
    t.mw = real("PTRAN", 0.0);
    case_.inter_area_transfers.push_back(std::move(t));
}

void RawReader::read_facts() {
    case_.facts_devices.push_back(typed_record<FactsDevice>(raw_layout::facts(), "FACTS device"));
}

void RawReader::read_switched_shunt() {
    bind(raw_layout::switched_shunt());
    SwitchedShunt s;
    s.bus = bus_number("I");
    referenced_bus(s.bus, "switched shunt");
    s.id = text("ID", "1");
    s.control_mode = integer("MODSW", 1);
    s.adjustment_method = integer("ADJM", 0);
    s.status = integer("STAT", 1);
    s.vswhi = real("VSWHI", 1.0);
    s.vswlo = real("VSWLO", 1.0);
    s.regulated_bus = bus_number("SWREG", false);
    s.regulated_node = integer("NREG", 0);
    s.rmpct = real("RMPCT", 100.0);
    s.vsc_name = text("RMIDNT", "");
    s.initial_mvar = real("BINIT", 0.0);
    for (int i = 0; i < kSwitchedShuntBlockCount; ++i) {
        const std::string n = std::to_string(i + 1);
        s.block_status[i] = integer("S" + n, 1);
        s.steps[i] = integer("N" + n, 0);
        s.mvar_per_step[i] = real("B" + n, 0.0);
    }
    case_.switched_shunts.push_back(std::move(s));
}

std::vector<AuxRecord> RawReader::read_values(int count, RawFieldType type, const char* what) {
    std::vector<AuxRecord> values;
    while (static_cast<int>(values.size()) < count) {
        continuation(raw_layout::gne());
        for (const RawToken& t : tokens_) {
            if (static_cast<int>(values.size()) == count) fail(what, "more values than the device declares");
            AuxRecord v;
            const std::string name = std::string(what) + std::to_string(values.size() + 1);
            // An empty value is its type's zero: values have no defaults.
            if (type == RawFieldType::Integer)
                v.fields.emplace_back(t.empty() ? 0LL : parse_integer_token(name, t));
            else if (type == RawFieldType::Real)
                v.fields.emplace_back(t.empty() ? 0.0 : parse_real_token(name, t));
            else
                v.fields.emplace_back(trimmed(t.text));
            values.push_back(std::move(v));
        }
    }
    return values;
}

void RawReader::read_gne() {
    // 'NAME', 'MODEL', NTERM, BUS1..BUSn, NREAL, NINTG, NCHAR on the first
    // line and ST, OWNER, NMETR on the second. Some tools put the second
    // line's values (after a zero node count) on the first line instead.
    const RawLayout& layout = raw_layout::gne();
    layout_ = &layout;
    if (tokens_.size() < 3) fail("NTERM", "a value is required");
    AuxRecord r;
    r.fields.resize(layout.fields().size());
    r.fields[0] = trimmed(tokens_[0].text);
    r.fields[1] = trimmed(tokens_[1].text);
    const long long nterm = parse_integer_token("NTERM", tokens_[2]);
    if (nterm < 0 || nterm > 100) fail("NTERM", "terminal count out of range");
    r.fields[2] = nterm;
    const std::size_t after_buses = 3 + static_cast<std::size_t>(nterm);
    if (tokens_.size() < after_buses)
        fail("BUS" + std::to_string(tokens_.size() - 2), "a bus number is required");
    r.groups.resize(4);
    for (std::size_t i = 3; i < after_buses; ++i) {
        const long long b = parse_integer_token("BUS" + std::to_string(i - 2), tokens_[i]);
        r.groups[0].push_back(AuxRecord{{b}, {}});
    }
    std::vector<RawToken> rest(tokens_.begin() + static_cast<long>(after_buses), tokens_.end());
    static constexpr const char* kCounts[] = {"NREAL", "NINTG", "NCHAR", "ST", "OWNER", "NMETR"};
    if (rest.size() == 7) {
        if (!is_zero_literal(rest[0])) fail("NNODE", "GNE devices with nodes are not supported");
        rest.erase(rest.begin());
    }
    if (rest.size() != 3 && rest.size() != 6)
        fail("NREAL", "expected NREAL, NINTG, NCHAR after the terminal buses");
    for (std::size_t i = 0; i < rest.size(); ++i)
        if (!rest[i].empty()) r.fields[3 + i] = parse_integer_token(kCounts[i], rest[i]);
    if (rest.size() == 3) {
        continuation(layout);
        for (std::size_t i = 0; i < 3 && i < tokens_.size(); ++i)
            if (!tokens_[i].empty()) r.fields[6 + i] = parse_integer_token(kCounts[3 + i], tokens_[i]);
    }
    auto count = [&](int field) {
        const auto* v = std::get_if<long long>(&r.fields[field]);
        if (v != nullptr && (*v < 0 || *v > 100000)) fail(kCounts[field - 3], "count out of range");
        return v == nullptr ? 0 : static_cast<int>(*v);
    };
    r.groups[1] = read_values(count(3), RawFieldType::Real, "REAL");
    r.groups[2] = read_values(count(4), RawFieldType::Integer, "INTG");
    r.groups[3] = read_values(count(5), RawFieldType::Text, "CHAR");
    for (int g = 1; g <= 3; ++g) r.fields[2 + g] = static_cast<long long>(r.groups[g].size());
    case_.gne_devices.push_back(std::move(r));
}

void RawReader::read_induction_machine() {
    bind(raw_layout::induction_machine());
    InductionMachine m;
    m.bus = bus_number("I");
    const Bus* bus = referenced_bus(m.bus, "induction machine");
    m.id = text("ID", "1");
    m.status = integer("STAT", 1);
    m.scode = integer("SCODE", 1);
    m.dcode = integer("DCODE", 2);
    m.area = integer("AREA", bus ? bus->area : 1);
    m.zone = integer("ZONE", bus ? bus->zone : 1);
    m.owner = integer("OWNER", bus ? bus->owner : 1);
    m.tcode = integer("TCODE", 1);
    m.bcode = integer("BCODE", 1);
    m.mbase = real("MBASE", case_.identification.base_mva);
    m.ratekv = real("RATEKV", 0.0);
    m.pcode = integer("PCODE", 1);
    m.pset = real("PSET", 0.0);
    m.h = real("H", 1.0);
    m.a = real("A", 1.0);
    m.b = real("B", 1.0);
    m.d = real("D", 1.0);
    m.e = real("E", 1.0);
    m.ra = real("RA", 0.0);
    m.xa = real("XA", 0.0);
    m.xm = real("XM", 2.5);
    m.r1 = real("R1", 999.0);
    m.x1 = real("X1", 999.0);
    m.r2 = real("R2", 999.0);
    m.x2 = real("X2", 999.0);
    m.x3 = real("X3", 0.0);
    m.e1 = real("E1", 1.0);
    m.se1 = real("SE1", 0.0);
    m.e2 = real("E2", 1.2);
    m.se2 = real("SE2", 0.0);
    m.ia1 = real("IA1", 0.0);
    m.ia2 = real("IA2", 0.0);
    m.xamult = real("XAMULT", 1.0);
    case_.induction_machines.push_back(std::move(m));
}

void RawReader::read_substations() {
    // Each substation: its record, then node, switching device and terminal
    // records, each list closed by a 0 line; the section ends with a 0
    // where the next substation record would be.
    while (next_record()) {
        if (at_terminator()) return;
        bind(raw_layout::substation());
        Substation s;
        s.number = required_integer("IS");
        s.name = text("NAME", "");
        s.latitude = real("LATITUDE", 0.0);
        s.longitude = real("LONGITUDE", 0.0);
        s.grounding_resistance = real("SGR", 0.1);
        auto list = [&](auto&& per_record) {
            while (true) {
                continuation(raw_layout::substation());
                if (at_terminator()) return;
                per_record();
            }
        };
        list([&] {
            bind(raw_layout::substation_node());
            SubstationNode n;
            n.number = required_integer("NI");
            n.name = text("NAME", "");
            n.bus = bus_number("I");
            n.status = integer("STATUS", 1);
            n.vm = real("VM", 1.0);
            n.va_deg = real("VA", 0.0);
            s.nodes.push_back(std::move(n));
        });
        list([&] {
            bind(raw_layout::substation_switching_device());
            SubstationSwitchingDevice d;
            d.from_node = required_integer("NI");
            d.to_node = required_integer("NJ");
            d.ckt = text("CKTID", "1");
            d.name = text("NAME", "");
            d.type = integer("TYPE", 1);
            d.status = integer("STATUS", 1);
            d.normal_status = integer("NSTAT", 1);
            d.x = real("X", 0.0001);
            for (int i = 0; i < 3; ++i) d.ratings[i] = real("RATE" + std::to_string(i + 1), 0.0);
            s.switching_devices.push_back(std::move(d));
        });
        list([&] {
            // I, NI, 'TYP', then J and K as the type needs, then the ID.
            if (tokens_.size() < 4) fail("ID", "a terminal record needs at least I, NI, TYP and ID");
            SubstationTerminal t;
            t.bus = static_cast<int>(parse_integer_token("I", tokens_[0]));
            t.node = static_cast<int>(parse_integer_token("NI", tokens_[1]));
            t.type = trimmed(tokens_[2].text);
            std::size_t next = 3;
            const int extra_buses = t.type == "B" || t.type == "2" ? 1 : t.type == "3" ? 2 : 0;
            if (tokens_.size() < 4 + static_cast<std::size_t>(extra_buses))
                fail("ID", "a terminal of type '" + t.type + "' needs " + std::to_string(4 + extra_buses) +
                               " fields");
            if (extra_buses >= 1) t.bus2 = static_cast<int>(parse_integer_token("J", tokens_[next++]));
            if (extra_buses >= 2) t.bus3 = static_cast<int>(parse_integer_token("K", tokens_[next++]));
            t.id = trimmed(tokens_[next].text);
            s.terminals.push_back(std::move(t));
        });
        case_.substations.push_back(std::move(s));
    }
}

void RawReader::finish() {
    // Anything but comments after the end of input is ignored, once noted.
    if (ended_ && !cursor_.at_end()) {
        int number = 0;
        while (!cursor_.at_end()) {
            const std::string_view text = cursor_.next(number);
            if (!is_raw_comment_line(text)) {
                warn(number, "text after the end of the data ignored");
                break;
            }
        }
    }
    for (const auto& [kind, m] : missing_buses_)
        warn(m.first_line, std::to_string(m.count) + " " + kind +
                               " record(s) refer to buses not in the bus data (first: bus " +
                               std::to_string(m.first_bus) + ")");
    for (const auto& [kind, e] : extra_fields_)
        warn(e.first, std::to_string(e.second) + " " + kind + " record(s) have more fields than revision " +
                          std::to_string(revision_) + " defines; the extra fields are ignored");
}

}  // namespace

Case parse_raw(std::string_view text, std::string_view source, ImportReport* report) {
    return RawReader(text, source, report).read();
}

Case parse_raw_as(std::string_view text, std::string_view source, int revision, ImportReport* report) {
    if (revision == 0) throw FormatError(std::string(source), 0, "REV", "revision 0 is not supported");
    return RawReader(text, source, report, revision).read();
}

namespace {
std::string read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw FormatError(path.string(), 0, "", "cannot open the file");
    std::ostringstream buffer;
    buffer << in.rdbuf();
    if (in.bad()) throw FormatError(path.string(), 0, "", "cannot read the file");
    return buffer.str();
}
}  // namespace

Case read_raw_file(const std::filesystem::path& path, ImportReport* report) {
    return parse_raw(read_file(path), path.string(), report);
}

Case read_raw_file_as(const std::filesystem::path& path, int revision, ImportReport* report) {
    return parse_raw_as(read_file(path), path.string(), revision, report);
}

}  // namespace velquin::sim
