#include "casefile/legacy_device_records.hpp"

#include <cmath>

#include "casefile/case_file.hpp"
#include "formats/raw_device_fields.hpp"
#include "formats/raw_layouts.hpp"

namespace velquin::sim::casefile {
namespace {

// Reads the members of a typed record from an untyped one by field name.
// An absent or empty field leaves the member at its default, as the RAW
// reader did when it kept these records.
class UntypedFieldReader {
public:
    UntypedFieldReader(const RawLayout& layout, const AuxRecord& record, const std::string& context)
        : layout_(layout), record_(record), context_(context) {}

    void operator()(std::string_view name, int& v) const {
        const FieldValue* f = field(name);
        if (f == nullptr) return;
        if (const auto* i = std::get_if<long long>(f)) {
            if (*i < -2147483647LL || *i > 2147483647LL) fail(name, "integer out of range");
            v = static_cast<int>(*i);
        } else if (const auto* d = std::get_if<double>(f)) {
            if (!(std::fabs(*d) <= 2147483647.0) || *d != std::floor(*d)) fail(name, "not an integer");
            v = static_cast<int>(*d);
        } else {
            fail(name, "text where a number belongs");
        }
    }
    void operator()(std::string_view name, double& v) const {
        const FieldValue* f = field(name);
        if (f == nullptr) return;
        if (const auto* i = std::get_if<long long>(f))
            v = static_cast<double>(*i);
        else if (const auto* d = std::get_if<double>(f))
            v = *d;
        else
            fail(name, "text where a number belongs");
    }
    void operator()(std::string_view name, std::string& v) const {
        const FieldValue* f = field(name);
        if (f == nullptr) return;
        if (const auto* s = std::get_if<std::string>(f))
            v = *s;
        else if (const auto* i = std::get_if<long long>(f))
            v = std::to_string(*i);
        else
            fail(name, "a number where text belongs");
    }
    void bus(std::string_view name, int& v, bool) const { (*this)(name, v); }
    void owners(Ownership& o) const {
        for (int i = 0; i < kOwnerCount; ++i) {
            const std::string n = std::to_string(i + 1);
            (*this)("O" + n, o.owner[i]);
            (*this)("F" + n, o.fraction[i]);
        }
    }

private:
    const FieldValue* field(std::string_view name) const {
        const auto i = static_cast<std::size_t>(layout_.index(name));
        if (i >= record_.fields.size() || std::holds_alternative<std::monostate>(record_.fields[i]))
            return nullptr;
        return &record_.fields[i];
    }
    [[noreturn]] void fail(std::string_view name, const std::string& problem) const {
        throw CaseFileError(context_ + ": " + std::string(layout_.kind()) + " field " + std::string(name) +
                            ": " + problem + ")");
    }

    const RawLayout& layout_;
    const AuxRecord& record_;
    const std::string& context_;
};

template <class T>
T typed(const RawLayout& layout, const AuxRecord& record, const std::string& context) {
    T x;
    const UntypedFieldReader reader(layout, record, context);
    raw_fields::visit(reader, x);
    return x;
}

// Part `index` of group `group`, or an empty record when the file had none.
const AuxRecord& part(const AuxRecord& r, std::size_t group, std::size_t index) {
    static const AuxRecord none;
    if (group >= r.groups.size() || index >= r.groups[group].size()) return none;
    return r.groups[group][index];
}

std::size_t part_count(const AuxRecord& r, std::size_t group) {
    return group < r.groups.size() ? r.groups[group].size() : 0;
}

}  // namespace

void convert_untyped(const std::vector<AuxRecord>& in, std::vector<TwoTerminalDcLine>& out,
                     const std::string& context) {
    out.clear();
    for (const AuxRecord& r : in) {
        auto line = typed<TwoTerminalDcLine>(raw_layout::two_terminal_dc(), r, context);
        line.rectifier =
            typed<TwoTerminalDcConverter>(raw_layout::two_terminal_converter(), part(r, 0, 0), context);
        line.inverter =
            typed<TwoTerminalDcConverter>(raw_layout::two_terminal_converter(), part(r, 0, 1), context);
        out.push_back(std::move(line));
    }
}

void convert_untyped(const std::vector<AuxRecord>& in, std::vector<VscDcLine>& out,
                     const std::string& context) {
    out.clear();
    for (const AuxRecord& r : in) {
        auto line = typed<VscDcLine>(raw_layout::vsc_dc(), r, context);
        for (std::size_t i = 0; i < line.converters.size(); ++i)
            line.converters[i] = typed<VscConverter>(raw_layout::vsc_converter(), part(r, 0, i), context);
        out.push_back(std::move(line));
    }
}

void convert_untyped(const std::vector<AuxRecord>& in, std::vector<MultiTerminalDcLine>& out,
                     const std::string& context) {
    out.clear();
    for (const AuxRecord& r : in) {
        auto line = typed<MultiTerminalDcLine>(raw_layout::mtdc(), r, context);
        for (std::size_t i = 0; i < part_count(r, 0); ++i)
            line.converters.push_back(
                typed<MultiTerminalDcConverter>(raw_layout::mtdc_converter(), part(r, 0, i), context));
        for (std::size_t i = 0; i < part_count(r, 1); ++i)
            line.dc_buses.push_back(
                typed<MultiTerminalDcBus>(raw_layout::mtdc_bus(), part(r, 1, i), context));
        for (std::size_t i = 0; i < part_count(r, 2); ++i)
            line.links.push_back(typed<MultiTerminalDcLink>(raw_layout::mtdc_link(), part(r, 2, i), context));
        out.push_back(std::move(line));
    }
}

void convert_untyped(const std::vector<AuxRecord>& in, std::vector<FactsDevice>& out,
                     const std::string& context) {
    out.clear();
    for (const AuxRecord& r : in) out.push_back(typed<FactsDevice>(raw_layout::facts(), r, context));
}

}  // namespace velquin::sim::casefile
