// Writes a Case as RAW text in revision 33, 34 or 35. Numbers are written
// in their shortest exact form, so a case written and read again in the
// same revision is unchanged. Writing an older revision than the data
// needs drops what that revision cannot hold, and says so in the report.
#include <cmath>
#include <map>
#include <set>
#include <stdexcept>

#include "casefile/atomic_file.hpp"
#include "formats/number_text.hpp"
#include "formats/raw_device_fields.hpp"
#include "formats/raw_format.hpp"
#include "formats/raw_layouts.hpp"

namespace velquin::sim {

namespace {

// Canonical values of one record, filled by field name.
class Fields {
public:
    explicit Fields(const RawLayout& layout) : layout_(&layout), values_(layout.fields().size()) {}

    // `fallback` is the value that means "nothing to say"; a revision that
    // lacks the field loses nothing when the value equals it.
    Fields& set(std::string_view name, long long v, long long fallback = 0) {
        return put(name, FieldValue(v), v == fallback);
    }
    Fields& set(std::string_view name, int v, int fallback = 0) {
        return put(name, FieldValue(static_cast<long long>(v)), v == fallback);
    }
    Fields& set(std::string_view name, double v, double fallback = 0.0) {
        return put(name, FieldValue(v), v == fallback);
    }
    Fields& set(std::string_view name, const std::string& v, std::string_view fallback = "") {
        return put(name, FieldValue(v), v == fallback);
    }
    Fields& clear(std::string_view name) {
        const int i = layout_->index(name);
        values_[i] = std::monostate{};
        trivial_.resize(values_.size(), true);
        trivial_[i] = true;
        return *this;
    }

    const RawLayout& layout() const { return *layout_; }
    const std::vector<FieldValue>& values() const { return values_; }
    bool trivial(std::size_t i) const { return i >= trivial_.size() || trivial_[i]; }

private:
    Fields& put(std::string_view name, FieldValue v, bool trivial) {
        const int i = layout_->index(name);
        values_[i] = std::move(v);
        trivial_.resize(values_.size(), true);
        trivial_[i] = trivial;
        return *this;
    }
    const RawLayout* layout_;
    std::vector<FieldValue> values_;
    std::vector<bool> trivial_;
};

// The values a default-constructed record gives its fields, in the order
// of its field list: a revision that lacks a field loses nothing when the
// record holds this value.
struct DefaultCollector {
    std::vector<FieldValue> values;
    void operator()(std::string_view, const int& v) { values.emplace_back(static_cast<long long>(v)); }
    void operator()(std::string_view, const double& v) { values.emplace_back(v); }
    void operator()(std::string_view, const std::string& v) { values.emplace_back(v); }
    void bus(std::string_view, const int& v, bool) { values.emplace_back(static_cast<long long>(v)); }
    void owners(const Ownership&) {}
};

template <class T>
const std::vector<FieldValue>& default_values() {
    static const std::vector<FieldValue> values = [] {
        DefaultCollector collector;
        const T record{};
        raw_fields::visit(collector, record);
        return std::move(collector.values);
    }();
    return values;
}

class RawWriter {
public:
    RawWriter(const Case& c, int revision, ImportReport* report)
        : c_(c), revision_(revision), report_(report) {
        if (revision < 33 || revision > 35)
            throw std::invalid_argument("RAW revision " + std::to_string(revision) +
                                        " cannot be written (33, 34 and 35 can)");
    }

    std::string write();

private:
    void note(const std::string& message) {
        if (report_ != nullptr) report_->warnings.push_back(message);
    }

    void heading(const RawLayout& layout) {
        if (revision_ < 34) return;
        out_ += "@!";
        bool first = true;
        for (const int i : layout.order(revision_)) {
            if (!first) out_ += ',';
            first = false;
            out_ += layout.fields()[i].name;
        }
        out_ += '\n';
    }

    void end_section(const char* ended, const char* next) {
        out_ += "0 / END OF ";
        out_ += ended;
        out_ += " DATA";
        if (next != nullptr) {
            out_ += ", BEGIN ";
            out_ += next;
            out_ += " DATA";
        }
        out_ += '\n';
    }

    void text_field(std::string_view text, int width, std::string_view kind, std::string_view field) {
        std::string value(text);
        for (char& ch : value)
            if (ch == '\n') ch = ' ';
        char quote = '\'';
        if (value.find('\'') != std::string::npos) {
            if (value.find('"') == std::string::npos) {
                quote = '"';
            } else {
                for (char& ch : value)
                    if (ch == '\'') ch = '`';
                note(std::string(kind) + " field " + std::string(field) +
                     " holds both quote characters; ' written as `");
            }
        }
        out_ += quote;
        out_ += value;
        for (int pad = static_cast<int>(value.size()); pad < width; ++pad) out_ += ' ';
        out_ += quote;
    }

    void number_field(double v, bool as_integer, std::string_view kind, std::string_view field) {
        if (!std::isfinite(v))
            throw std::invalid_argument(std::string(kind) + " field " + std::string(field) +
                                        " is not a finite number and cannot be written");
        if (as_integer && v == std::floor(v) && std::fabs(v) < 9.0e15)
            out_ += std::to_string(static_cast<long long>(v));
        else
            append_real(out_, v);
    }

    // One line in the field order of the revision; trailing empty fields
    // are left out (readers take them as defaults).
    void line(const Fields& f) {
        const RawLayout& layout = f.layout();
        const auto& order = layout.order(revision_);
        for (std::size_t i = 0; i < layout.fields().size(); ++i)
            if (layout.position(revision_)[i] < 0 && !f.trivial(i))
                ++lost_[{std::string(layout.kind()), std::string(layout.fields()[i].name)}];
        std::size_t count = order.size();
        while (count > 0 && std::holds_alternative<std::monostate>(f.values()[order[count - 1]])) --count;
        // A record line of defaults only is one empty field: a blank line
        // would be skipped by readers and shift the lines of the record.
        if (count == 0) out_ += ',';
        for (std::size_t p = 0; p < count; ++p) {
            if (p > 0) out_ += ", ";
            const RawField& field = layout.fields()[order[p]];
            const FieldValue& v = f.values()[order[p]];
            if (std::holds_alternative<std::monostate>(v)) continue;
            if (const auto* s = std::get_if<std::string>(&v)) {
                text_field(*s, field.type == RawFieldType::Text ? field.width : 0, layout.kind(), field.name);
            } else if (const auto* i = std::get_if<long long>(&v)) {
                if (field.type == RawFieldType::Text)
                    text_field(std::to_string(*i), field.width, layout.kind(), field.name);
                else
                    out_ += std::to_string(*i);
            } else {
                const double d = std::get<double>(v);
                number_field(d, field.type == RawFieldType::Integer || field.type == RawFieldType::Code,
                             layout.kind(), field.name);
            }
        }
        out_ += '\n';
    }

    // Sets every field of a typed device record on its line.
    struct TypedFieldWriter {
        RawWriter& writer;
        Fields& f;
        const std::vector<FieldValue>& defaults;
        std::size_t next = 0;
        void operator()(std::string_view name, const int& v) {
            f.set(name, v, static_cast<int>(std::get<long long>(defaults[next++])));
        }
        void operator()(std::string_view name, const double& v) {
            f.set(name, v, std::get<double>(defaults[next++]));
        }
        void operator()(std::string_view name, const std::string& v) {
            f.set(name, v, std::get<std::string>(defaults[next++]));
        }
        // A record without a bus it needs would not read back.
        void bus(std::string_view name, const int& v, bool required) {
            if (required && v == 0)
                throw std::invalid_argument(std::string(f.layout().kind()) + " field " + std::string(name) +
                                            " has no bus; the record cannot be written");
            (*this)(name, v);
        }
        void owners(const Ownership& o) { writer.owners(f, o); }
    };
    template <class T>
    Fields typed_fields(const RawLayout& layout, const T& record) {
        Fields f(layout);
        TypedFieldWriter w{*this, f, default_values<T>()};
        raw_fields::visit(w, record);
        return f;
    }
    template <class T>
    void typed_line(const RawLayout& layout, const T& record) {
        line(typed_fields(layout, record));
    }

    Fields ratings(Fields f, const Ratings& r, std::string_view kind) {
        const int kept = revision_ >= 34 ? kRatingCount : 3;
        for (int i = 0; i < kRatingCount; ++i) {
            if (i < kept)
                f.set("RATE" + std::to_string(i + 1), r[i]);
            else if (r[i] != 0.0)
                ++lost_[{std::string(kind), "RATE" + std::to_string(i + 1)}];
        }
        return f;
    }
    void owners(Fields& f, const Ownership& o) {
        for (int i = 0; i < kOwnerCount; ++i) {
            const std::string n = std::to_string(i + 1);
            f.set("O" + n, o.owner[i]).set("F" + n, o.fraction[i], 1.0);
        }
    }

    void write_identification();
    void write_buses();
    void write_loads();
    void write_fixed_shunts();
    void write_generators();
    void write_branches();
    void write_switching_devices();
    void write_transformers();
    void write_areas();
    void write_dc_lines();
    void write_impedance_correction();
    void write_mtdc();
    void write_multi_section_lines();
    void write_zones_transfers_owners();
    void write_facts();
    void write_switched_shunts();
    void write_gne();
    void write_induction_machines();
    void write_substations();

    const Case& c_;
    int revision_;
    ImportReport* report_;
    std::string out_;
    std::map<std::pair<std::string, std::string>, int> lost_;
};

std::string RawWriter::write() {
    out_.reserve(256 + c_.buses.size() * 200 + c_.lines.size() * 250 + c_.transformers.size() * 600);
    write_identification();
    write_buses();
    write_loads();
    write_fixed_shunts();
    write_generators();
    write_branches();
    if (revision_ >= 34) write_switching_devices();
    write_transformers();
    write_areas();
    write_dc_lines();
    write_impedance_correction();
    write_mtdc();
    write_multi_section_lines();
    write_zones_transfers_owners();
    write_facts();
    write_switched_shunts();
    write_gne();
    write_induction_machines();
    if (revision_ >= 34) {
        write_substations();
    } else if (!c_.substations.empty()) {
        note("revision 33 has no substation data; " + std::to_string(c_.substations.size()) +
             " substation(s) not written");
    }
    out_ += "Q\n";
    for (const auto& [where, count] : lost_)
        note("revision " + std::to_string(revision_) + " has no field " + where.second + " in " +
             where.first + " records; " + std::to_string(count) + " value(s) not written");
    return std::move(out_);
}

void RawWriter::write_identification() {
    const CaseIdentification& id = c_.identification;
    heading(raw_layout::case_identification());
    Fields f(raw_layout::case_identification());
    f.set("IC", id.change_code)
        .set("SBASE", id.base_mva)
        .set("REV", revision_)
        .set("XFRRAT", id.transformer_rating_units)
        .set("NXFRAT", id.branch_rating_units)
        .set("BASFRQ", id.base_frequency);
    line(f);
    for (const std::string* title : {&id.title1, &id.title2}) {
        for (const char ch : *title) out_ += ch == '\n' ? ' ' : ch;
        out_ += '\n';
    }
    if (revision_ >= 34) {
        for (const auto& l : c_.system_wide.lines) {
            for (const char ch : l) out_ += ch == '\n' ? ' ' : ch;
            out_ += '\n';
        }
        end_section("SYSTEM-WIDE", "BUS");
    } else if (!c_.system_wide.lines.empty()) {
        note("revision 33 has no system-wide data; " + std::to_string(c_.system_wide.lines.size()) +
             " line(s) not written");
    }
}

void RawWriter::write_buses() {
    heading(raw_layout::bus());
    for (const Bus& b : c_.buses) {
        Fields f(raw_layout::bus());
        f.set("I", b.number)
            .set("NAME", b.name)
            .set("BASKV", b.base_kv)
            .set("IDE", b.type)
            .set("AREA", b.area)
            .set("ZONE", b.zone)
            .set("OWNER", b.owner)
            .set("VM", b.vm)
            .set("VA", b.va_deg)
            .set("NVHI", b.normal_vmax)
            .set("NVLO", b.normal_vmin)
            .set("EVHI", b.emergency_vmax)
            .set("EVLO", b.emergency_vmin);
        line(f);
    }
    end_section("BUS", "LOAD");
}

void RawWriter::write_loads() {
    heading(raw_layout::load());
    for (const Load& l : c_.loads) {
        Fields f(raw_layout::load());
        f.set("I", l.bus)
            .set("ID", l.id)
            .set("STAT", l.status)
            .set("AREA", l.area)
            .set("ZONE", l.zone)
            .set("PL", l.constant_power.real())
            .set("QL", l.constant_power.imag())
            .set("IP", l.constant_current.real())
            .set("IQ", l.constant_current.imag())
            .set("YP", l.constant_admittance.real())
            .set("YQ", l.constant_admittance.imag())
            .set("OWNER", l.owner)
            .set("SCALE", l.scalable)
            .set("INTRPT", l.interruptible)
            .set("DGENP", l.distributed_generation.real())
            .set("DGENQ", l.distributed_generation.imag())
            .set("DGENF", l.distributed_generation_mode)
            .set("LOADTYPE", l.load_type);
        line(f);
    }
    end_section("LOAD", "FIXED SHUNT");
}

void RawWriter::write_fixed_shunts() {
    heading(raw_layout::fixed_shunt());
    for (const FixedShunt& s : c_.fixed_shunts) {
        Fields f(raw_layout::fixed_shunt());
        f.set("I", s.bus)
            .set("ID", s.id)
            .set("STAT", s.status)
            .set("GL", s.admittance.real())
            .set("BL", s.admittance.imag());
        line(f);
    }
    end_section("FIXED SHUNT", "GENERATOR");
}

void RawWriter::write_generators() {
    heading(raw_layout::generator());
    std::map<int, const Plant*> plants;
    for (const Plant& p : c_.plants) plants.emplace(p.bus, &p);
    const Plant no_plant;
    for (const Machine& m : c_.machines) {
        const auto it = plants.find(m.bus);
        const Plant& p = it == plants.end() ? no_plant : *it->second;
        Fields f(raw_layout::generator());
        f.set("I", m.bus)
            .set("ID", m.id)
            .set("PG", m.pg)
            .set("QG", m.qg)
            .set("QT", m.qmax)
            .set("QB", m.qmin)
            .set("VS", p.scheduled_voltage)
            .set("IREG", p.regulated_bus)
            .set("NREG", p.regulated_node)
            .set("MBASE", m.mbase)
            .set("ZR", m.source_impedance.real())
            .set("ZX", m.source_impedance.imag())
            .set("RT", m.step_up_impedance.real())
            .set("XT", m.step_up_impedance.imag())
            .set("GTAP", m.step_up_ratio)
            .set("STAT", m.status)
            .set("RMPCT", m.rmpct)
            .set("PT", m.pmax)
            .set("PB", m.pmin)
            .set("BASLOD", m.base_load)
            .set("WMOD", m.wind_mode)
            .set("WPF", m.wind_power_factor);
        owners(f, m.ownership);
        line(f);
    }
    end_section("GENERATOR", "BRANCH");
}

void RawWriter::write_branches() {
    heading(raw_layout::branch());
    auto branch = [&](const LineBranch& l) {
        Fields f(raw_layout::branch());
        f.set("I", l.from_bus)
            .set("J", l.to_bus)
            .set("CKT", l.ckt)
            .set("R", l.r)
            .set("X", l.x)
            .set("B", l.b)
            .set("NAME", l.name)
            .set("GI", l.from_shunt.real())
            .set("BI", l.from_shunt.imag())
            .set("GJ", l.to_shunt.real())
            .set("BJ", l.to_shunt.imag())
            .set("ST", l.status)
            .set("MET", l.metered_end)
            .set("LEN", l.length);
        f = ratings(f, l.ratings, "branch");
        owners(f, l.ownership);
        line(f);
    };
    for (const LineBranch& l : c_.lines) branch(l);
    if (revision_ < 34 && !c_.switching_devices.empty()) {
        // Revision 33 marks breakers and switches by the first character of
        // the circuit identifier of an ordinary branch.
        for (const SwitchingDevice& d : c_.switching_devices) {
            LineBranch l;
            l.from_bus = d.from_bus;
            l.to_bus = d.to_bus;
            l.ckt = std::string(d.type == 3 ? "*" : "@") + d.ckt.substr(0, 1);
            l.x = d.x;
            l.ratings = d.ratings;
            l.status = d.status;
            l.metered_end = d.metered_end;
            l.ownership.owner[0] = 1;
            branch(l);
        }
        note(std::to_string(c_.switching_devices.size()) +
             " system switching device(s) written as breaker/switch branches (revision 33 has no switching "
             "device "
             "data)");
    }
    end_section("BRANCH", revision_ >= 34 ? "SYSTEM SWITCHING DEVICE" : "TRANSFORMER");
}

void RawWriter::write_switching_devices() {
    heading(raw_layout::switching_device());
    for (const SwitchingDevice& d : c_.switching_devices) {
        Fields f(raw_layout::switching_device());
        f.set("I", d.from_bus)
            .set("J", d.to_bus)
            .set("CKT", d.ckt)
            .set("X", d.x)
            .set("STAT", d.status)
            .set("NSTAT", d.normal_status)
            .set("MET", d.metered_end)
            .set("STYPE", d.type)
            .set("NAME", d.name);
        f = ratings(f, d.ratings, "system switching device");
        line(f);
    }
    end_section("SYSTEM SWITCHING DEVICE", "TRANSFORMER");
}

void RawWriter::write_transformers() {
    heading(raw_layout::transformer());
    for (const Transformer& t : c_.transformers) {
        const bool three = t.is_three_winding();
        Fields f(raw_layout::transformer());
        f.set("I", t.bus1)
            .set("J", t.bus2)
            .set("K", t.bus3)
            .set("CKT", t.ckt)
            .set("CW", t.winding_code)
            .set("CZ", t.impedance_code)
            .set("CM", t.magnetizing_code)
            .set("MAG1", t.mag1)
            .set("MAG2", t.mag2)
            .set("NMETR", t.non_metered_winding)
            .set("NAME", t.name)
            .set("STAT", t.status)
            .set("VECGRP", t.vector_group)
            .set("ZCOD", t.impedance_correction_code);
        owners(f, t.ownership);
        // The simulator writes ZCOD on three-winding records only.
        if (!three && t.impedance_correction_code == 0) f.clear("ZCOD");
        line(f);

        Fields z(raw_layout::transformer_impedance());
        z.set("R1-2", t.impedance[0].r).set("X1-2", t.impedance[0].x).set("SBASE1-2", t.impedance[0].sbase);
        if (three) {
            z.set("R2-3", t.impedance[1].r)
                .set("X2-3", t.impedance[1].x)
                .set("SBASE2-3", t.impedance[1].sbase);
            z.set("R3-1", t.impedance[2].r)
                .set("X3-1", t.impedance[2].x)
                .set("SBASE3-1", t.impedance[2].sbase);
            z.set("VMSTAR", t.star_vm).set("ANSTAR", t.star_va_deg);
        }
        line(z);

        for (int w = 0; w < (three ? 3 : 2); ++w) {
            const Winding& wd = t.windings[w];
            Fields f2(raw_layout::winding());
            f2.set("WINDV", wd.ratio).set("NOMV", wd.nominal_kv);
            if (three || w == 0) {
                f2.set("ANG", wd.angle_deg)
                    .set("COD", wd.control_mode)
                    .set("CONT", wd.controlled_bus)
                    .set("NOD", wd.controlled_node)
                    .set("RMA", wd.rmax)
                    .set("RMI", wd.rmin)
                    .set("VMA", wd.vmax)
                    .set("VMI", wd.vmin)
                    .set("NTP", wd.tap_positions)
                    .set("TAB", wd.correction_table)
                    .set("CR", wd.load_drop_compensation.real())
                    .set("CX", wd.load_drop_compensation.imag())
                    .set("CNXA", wd.connection_angle);
                f2 = ratings(f2, wd.ratings, "transformer winding");
            }
            line(f2);
        }
    }
    end_section("TRANSFORMER", "AREA");
}

void RawWriter::write_areas() {
    heading(raw_layout::area());
    for (const Area& a : c_.areas) {
        Fields f(raw_layout::area());
        f.set("I", a.number)
            .set("ISW", a.swing_bus)
            .set("PDES", a.desired_mw)
            .set("PTOL", a.tolerance_mw)
            .set("ARNAME", a.name);
        line(f);
    }
    end_section("AREA", "TWO-TERMINAL DC");
}

void RawWriter::write_dc_lines() {
    heading(raw_layout::two_terminal_dc());
    heading(raw_layout::two_terminal_converter());
    for (const TwoTerminalDcLine& l : c_.two_terminal_dc_lines) {
        typed_line(raw_layout::two_terminal_dc(), l);
        typed_line(raw_layout::two_terminal_converter(), l.rectifier);
        typed_line(raw_layout::two_terminal_converter(), l.inverter);
    }
    end_section("TWO-TERMINAL DC", "VOLTAGE SOURCE CONVERTER");
    heading(raw_layout::vsc_dc());
    heading(raw_layout::vsc_converter());
    for (const VscDcLine& l : c_.vsc_dc_lines) {
        typed_line(raw_layout::vsc_dc(), l);
        for (const VscConverter& converter : l.converters) typed_line(raw_layout::vsc_converter(), converter);
    }
    end_section("VOLTAGE SOURCE CONVERTER", "IMPEDANCE CORRECTION");
}

void RawWriter::write_impedance_correction() {
    int lost_imaginary = 0, lost_points = 0;
    for (const ImpedanceCorrectionTable& t : c_.impedance_correction_tables) {
        out_ += std::to_string(t.number);
        if (revision_ <= 33) {
            std::size_t n = 0;
            for (const CorrectionPoint& p : t.points) {
                if (n++ == 11) {
                    ++lost_points;
                    break;
                }
                if (p.factor.imag() != 0.0) ++lost_imaginary;
                out_ += ", ";
                number_field(p.t, false, "impedance correction", "T");
                out_ += ", ";
                number_field(p.factor.real(), false, "impedance correction", "F");
            }
            out_ += '\n';
            continue;
        }
        // Six points a line, the zero triple after the last.
        std::size_t on_line = 0;
        bool first = true;
        auto triple = [&](double a, double b, double c) {
            if (on_line == 6) {
                out_ += '\n';
                on_line = 0;
                first = true;
            }
            if (!first || out_.back() != '\n') out_ += ", ";
            first = false;
            number_field(a, false, "impedance correction", "T");
            out_ += ", ";
            number_field(b, false, "impedance correction", "Re(F)");
            out_ += ", ";
            number_field(c, false, "impedance correction", "Im(F)");
            ++on_line;
        };
        for (const CorrectionPoint& p : t.points) triple(p.t, p.factor.real(), p.factor.imag());
        triple(0.0, 0.0, 0.0);
        out_ += '\n';
    }
    if (lost_imaginary > 0)
        note("revision 33 has real impedance correction factors only; " + std::to_string(lost_imaginary) +
             " imaginary part(s) not written");
    if (lost_points > 0)
        note("revision 33 holds at most 11 impedance correction points; " + std::to_string(lost_points) +
             " table(s) cut");
    end_section("IMPEDANCE CORRECTION", "MULTI-TERMINAL DC");
}

void RawWriter::write_mtdc() {
    heading(raw_layout::mtdc());
    for (const MultiTerminalDcLine& l : c_.multi_terminal_dc_lines) {
        Fields f = typed_fields(raw_layout::mtdc(), l);
        f.set("NCONV", static_cast<long long>(l.converters.size()))
            .set("NDCBS", static_cast<long long>(l.dc_buses.size()))
            .set("NDCLN", static_cast<long long>(l.links.size()));
        line(f);
        for (const auto& converter : l.converters) typed_line(raw_layout::mtdc_converter(), converter);
        for (const auto& bus : l.dc_buses) typed_line(raw_layout::mtdc_bus(), bus);
        for (const auto& link : l.links) typed_line(raw_layout::mtdc_link(), link);
    }
    end_section("MULTI-TERMINAL DC", "MULTI-SECTION LINE");
}

void RawWriter::write_multi_section_lines() {
    heading(raw_layout::multi_section_line());
    for (const MultiSectionLine& m : c_.multi_section_lines) {
        Fields f(raw_layout::multi_section_line());
        f.set("I", m.from_bus).set("J", m.to_bus).set("ID", m.id).set("MET", m.metered_end);
        for (std::size_t i = 0; i < m.dummy_buses.size() && i < 9; ++i)
            f.set("DUM" + std::to_string(i + 1), m.dummy_buses[i]);
        if (m.dummy_buses.size() > 9)
            throw std::invalid_argument("multi-section line " + std::to_string(m.from_bus) + "-" +
                                        std::to_string(m.to_bus) + " has more than 9 dummy buses");
        line(f);
    }
    end_section("MULTI-SECTION LINE", "ZONE");
}

void RawWriter::write_zones_transfers_owners() {
    heading(raw_layout::zone());
    for (const Zone& z : c_.zones) line(Fields(raw_layout::zone()).set("I", z.number).set("ZONAME", z.name));
    end_section("ZONE", "INTER-AREA TRANSFER");
    heading(raw_layout::inter_area_transfer());
    for (const InterAreaTransfer& t : c_.inter_area_transfers)
        line(Fields(raw_layout::inter_area_transfer())
                 .set("ARFROM", t.from_area)
                 .set("ARTO", t.to_area)
                 .set("TRID", t.id)
                 .set("PTRAN", t.mw));
    end_section("INTER-AREA TRANSFER", "OWNER");
    heading(raw_layout::owner());
    for (const Owner& o : c_.owners)
        line(Fields(raw_layout::owner()).set("I", o.number).set("OWNAME", o.name));
    end_section("OWNER", "FACTS DEVICE");
}

void RawWriter::write_facts() {
    heading(raw_layout::facts());
    for (const FactsDevice& d : c_.facts_devices) typed_line(raw_layout::facts(), d);
    end_section("FACTS DEVICE", "SWITCHED SHUNT");
}

void RawWriter::write_switched_shunts() {
    if (revision_ < 35) {
        // One switched shunt per bus before revision 35.
        std::set<int> seen;
        for (const SwitchedShunt& s : c_.switched_shunts)
            if (!seen.insert(s.bus).second)
                throw std::invalid_argument(
                    "bus " + std::to_string(s.bus) + " has several switched shunts; revision " +
                    std::to_string(revision_) + " holds one per bus (write revision 35)");
    }
    heading(raw_layout::switched_shunt());
    for (const SwitchedShunt& s : c_.switched_shunts) {
        Fields f(raw_layout::switched_shunt());
        f.set("I", s.bus)
            .set("ID", s.id, "1")
            .set("MODSW", s.control_mode)
            .set("ADJM", s.adjustment_method)
            .set("STAT", s.status)
            .set("VSWHI", s.vswhi)
            .set("VSWLO", s.vswlo)
            .set("SWREG", s.regulated_bus)
            .set("NREG", s.regulated_node)
            .set("RMPCT", s.rmpct)
            .set("RMIDNT", s.vsc_name)
            .set("BINIT", s.initial_mvar);
        // Blocks after the last used one are left out, as the simulator does.
        int used = kSwitchedShuntBlockCount;
        while (used > 0 && s.steps[used - 1] == 0 && s.mvar_per_step[used - 1] == 0.0 &&
               s.block_status[used - 1] == 1)
            --used;
        for (int i = 0; i < used; ++i) {
            const std::string n = std::to_string(i + 1);
            f.set("S" + n, s.block_status[i], 1).set("N" + n, s.steps[i]).set("B" + n, s.mvar_per_step[i]);
        }
        line(f);
    }
    end_section("SWITCHED SHUNT", "GNE DEVICE");
}

void RawWriter::write_gne() {
    const RawLayout& layout = raw_layout::gne();
    for (const AuxRecord& r : c_.gne_devices) {
        std::vector<AuxRecord> none;
        auto group = [&](std::size_t g) -> const std::vector<AuxRecord>& {
            return g < r.groups.size() ? r.groups[g] : none;
        };
        auto field = [&](std::size_t i) -> FieldValue {
            return i < r.fields.size() ? r.fields[i] : FieldValue{};
        };
        auto value = [&](const FieldValue& v, RawFieldType type, int width) {
            if (const auto* s = std::get_if<std::string>(&v))
                text_field(*s, width, "GNE device", "value");
            else if (const auto* i = std::get_if<long long>(&v))
                out_ += std::to_string(*i);
            else if (const auto* d = std::get_if<double>(&v))
                number_field(*d, type == RawFieldType::Integer, "GNE device", "value");
        };
        // First line: NAME, MODEL, NTERM, the buses, NREAL, NINTG, NCHAR.
        value(field(0), RawFieldType::Text, 12);
        out_ += ", ";
        value(field(1), RawFieldType::Text, 12);
        out_ += ", " + std::to_string(group(0).size());
        for (const AuxRecord& b : group(0)) {
            out_ += ", ";
            value(b.fields.empty() ? FieldValue{} : b.fields[0], RawFieldType::Integer, 0);
        }
        for (std::size_t g = 1; g <= 3; ++g) out_ += ", " + std::to_string(group(g).size());
        out_ += '\n';
        for (std::size_t i = 6; i < 9; ++i) {
            if (i > 6) out_ += ", ";
            value(field(i), RawFieldType::Integer, 0);
        }
        out_ += '\n';
        const RawFieldType types[3] = {RawFieldType::Real, RawFieldType::Integer, RawFieldType::Text};
        for (std::size_t g = 1; g <= 3; ++g) {
            std::size_t n = 0;
            for (const AuxRecord& v : group(g)) {
                if (n > 0) out_ += n % 10 == 0 ? "\n" : ", ";
                value(v.fields.empty() ? FieldValue{} : v.fields[0], types[g - 1], 0);
                ++n;
            }
            if (n > 0) out_ += '\n';
        }
    }
    (void)layout;
    end_section("GNE DEVICE", "INDUCTION MACHINE");
}

void RawWriter::write_induction_machines() {
    heading(raw_layout::induction_machine());
    for (const InductionMachine& m : c_.induction_machines) {
        Fields f(raw_layout::induction_machine());
        f.set("I", m.bus)
            .set("ID", m.id)
            .set("STAT", m.status)
            .set("SCODE", m.scode)
            .set("DCODE", m.dcode)
            .set("AREA", m.area)
            .set("ZONE", m.zone)
            .set("OWNER", m.owner)
            .set("TCODE", m.tcode)
            .set("BCODE", m.bcode)
            .set("MBASE", m.mbase)
            .set("RATEKV", m.ratekv)
            .set("PCODE", m.pcode)
            .set("PSET", m.pset)
            .set("H", m.h)
            .set("A", m.a)
            .set("B", m.b)
            .set("D", m.d)
            .set("E", m.e)
            .set("RA", m.ra)
            .set("XA", m.xa)
            .set("XM", m.xm)
            .set("R1", m.r1)
            .set("X1", m.x1)
            .set("R2", m.r2)
            .set("X2", m.x2)
            .set("X3", m.x3)
            .set("E1", m.e1)
            .set("SE1", m.se1)
            .set("E2", m.e2)
            .set("SE2", m.se2)
            .set("IA1", m.ia1)
            .set("IA2", m.ia2)
            .set("XAMULT", m.xamult);
        line(f);
    }
    end_section("INDUCTION MACHINE", revision_ >= 34 ? "SUBSTATION" : nullptr);
}

void RawWriter::write_substations() {
    for (const Substation& s : c_.substations) {
        heading(raw_layout::substation());
        line(Fields(raw_layout::substation())
                 .set("IS", s.number)
                 .set("NAME", s.name)
                 .set("LATITUDE", s.latitude)
                 .set("LONGITUDE", s.longitude)
                 .set("SGR", s.grounding_resistance));
        heading(raw_layout::substation_node());
        for (const SubstationNode& n : s.nodes)
            line(Fields(raw_layout::substation_node())
                     .set("NI", n.number)
                     .set("NAME", n.name)
                     .set("I", n.bus)
                     .set("STATUS", n.status)
                     .set("VM", n.vm)
                     .set("VA", n.va_deg));
        end_section("SUBSTATION NODE", "SUBSTATION SWITCHING DEVICE");
        heading(raw_layout::substation_switching_device());
        for (const SubstationSwitchingDevice& d : s.switching_devices) {
            Fields f(raw_layout::substation_switching_device());
            f.set("NI", d.from_node)
                .set("NJ", d.to_node)
                .set("CKTID", d.ckt)
                .set("NAME", d.name)
                .set("TYPE", d.type)
                .set("STATUS", d.status)
                .set("NSTAT", d.normal_status)
                .set("X", d.x);
            for (int i = 0; i < 3; ++i) f.set("RATE" + std::to_string(i + 1), d.ratings[i]);
            line(f);
        }
        end_section("SUBSTATION SWITCHING DEVICE", "SUBSTATION TERMINAL");
        for (const SubstationTerminal& t : s.terminals) {
            out_ += std::to_string(t.bus) + ", " + std::to_string(t.node) + ", ";
            text_field(t.type, 0, "substation terminal", "TYP");
            const int extra = t.type == "B" || t.type == "2" ? 1 : t.type == "3" ? 2 : 0;
            if (extra >= 1) out_ += ", " + std::to_string(t.bus2);
            if (extra >= 2) out_ += ", " + std::to_string(t.bus3);
            out_ += ", ";
            text_field(t.id, 0, "substation terminal", "ID");
            out_ += '\n';
        }
        end_section("SUBSTATION TERMINAL", nullptr);
    }
    end_section("SUBSTATION", nullptr);
}

}  // namespace

std::string format_raw(const Case& c, int revision, ImportReport* report) {
    return RawWriter(c, revision, report).write();
}

void write_raw_file(const Case& c, const std::filesystem::path& path, int revision) {
    write_raw_file(c, path, revision, nullptr);
}

void write_raw_file(const Case& c, const std::filesystem::path& path, int revision, ImportReport* report) {
    casefile::write_file_atomically(path, format_raw(c, revision, report));
}

}  // namespace velquin::sim
