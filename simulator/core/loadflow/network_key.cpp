#include "loadflow/network_key.hpp"

#include <array>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <variant>

#include "casefile/case_layout.hpp"
#include "loadflow/solution_fields.hpp"

namespace velquin::sim::loadflow {

namespace {

using casefile::visit_fields;

// Addresses of a record's solution fields (at most two per record).
using SkippedFields = std::array<const double*, 2>;

template <class T>
SkippedFields solution_field_addresses(const T& record) {
    constexpr auto& members = SolutionFields<T>::members;
    static_assert(std::tuple_size_v<std::remove_cvref_t<decltype(members)>> <= 2);
    SkippedFields addresses{nullptr, nullptr};
    std::size_t k = 0;
    std::apply([&](auto... member) { ((addresses[k++] = &(record.*member)), ...); }, members);
    return addresses;
}

// Every member of the case, in declaration order. The structured binding
// fails to compile when a member is added to Case.
template <class F>
void for_each_member(const Case& c, F&& f) {
    const auto& [identification, system_wide, buses, loads, fixed_shunts, plants, machines, lines,
                 switching_devices, transformers, areas, two_terminal_dc_lines, vsc_dc_lines,
                 impedance_correction_tables, multi_terminal_dc_lines, multi_section_lines, zones,
                 inter_area_transfers, owners, facts_devices, switched_shunts, gne_devices,
                 induction_machines, substations] = c;
    (f(identification), f(system_wide), f(buses), f(loads), f(fixed_shunts), f(plants), f(machines), f(lines),
     f(switching_devices), f(transformers), f(areas), f(two_terminal_dc_lines), f(vsc_dc_lines),
     f(impedance_correction_tables), f(multi_terminal_dc_lines), f(multi_section_lines), f(zones),
     f(inter_area_transfers), f(owners), f(facts_devices), f(switched_shunts), f(gne_devices),
     f(induction_machines), f(substations));
}

template <class T>
struct IsVector : std::false_type {};
template <class T>
struct IsVector<std::vector<T>> : std::true_type {};

// Feeds the canonical bytes of values to a sink: numbers by their bytes,
// texts and lists by their length and elements, records member by member
// without their solution fields.
template <class Sink>
class CanonicalBytes {
public:
    explicit CanonicalBytes(Sink& sink) : sink_(sink) {}

    template <class... Ts>
    void operator()(const Ts&... values) {
        (put(values), ...);
    }

    void put(const int& v) { sink_.scalar(v); }
    void put(const long long& v) { sink_.scalar(v); }
    void put(const double& v) {
        if (&v == skipped_[0] || &v == skipped_[1]) return;
        sink_.scalar(v);
    }
    void put(const Complex& v) {
        sink_.scalar(v.real());
        sink_.scalar(v.imag());
    }
    void put(const std::string& s) {
        sink_.scalar(static_cast<std::uint64_t>(s.size()));
        sink_.bytes(s.data(), s.size());
    }
    template <class T, std::size_t N>
    void put(const std::array<T, N>& a) {
        for (const T& e : a) put(e);
    }
    template <class T>
    void put(const std::vector<T>& list) {
        sink_.scalar(static_cast<std::uint64_t>(list.size()));
        for (const T& e : list) put(e);
    }
    void put(const FieldValue& value) {
        sink_.scalar(static_cast<std::uint8_t>(value.index()));
        std::visit(
            [&](const auto& alternative) {
                using A = std::remove_cvref_t<decltype(alternative)>;
                if constexpr (!std::is_same_v<A, std::monostate>) put(alternative);
            },
            value);
    }
    void put(const AuxRecord& record) {
        put(record.fields);
        put(record.groups);
    }
    template <class T>
    requires std::is_class_v<T>
    void put(const T& record) {
        const SkippedFields outer = skipped_;
        skipped_ = solution_field_addresses(record);
        visit_fields(*this, record);
        skipped_ = outer;
    }

    void put_case(const Case& c) {
        for_each_member(c, [&](const auto& member) { put(member); });
    }

private:
    Sink& sink_;
    SkippedFields skipped_{nullptr, nullptr};
};

// Compares with the bytes kept from the last call while they agree, then
// replaces the rest: one pass either way.
class CompareOrWrite {
public:
    explicit CompareOrWrite(std::string& bytes) : bytes_(bytes) {}

    template <class T>
    void scalar(T v) {
        bytes(&v, sizeof v);
    }
    void bytes(const void* data, std::size_t n) {
        if (same_) {
            if (n <= bytes_.size() - at_ && std::memcmp(bytes_.data() + at_, data, n) == 0) {
                at_ += n;
                return;
            }
            same_ = false;
            bytes_.resize(at_);
        }
        bytes_.append(static_cast<const char*>(data), n);
        at_ += n;
    }
    bool finish() {
        if (same_ && at_ != bytes_.size()) {
            same_ = false;
            bytes_.resize(at_);
        }
        return same_;
    }

private:
    std::string& bytes_;
    std::size_t at_ = 0;
    bool same_ = true;
};

}  // namespace

bool NetworkKey::update(const Case& c, const BuildSettings& settings) {
    CompareOrWrite sink(bytes_);
    CanonicalBytes<CompareOrWrite> canonical(sink);
    const auto& [zero_impedance_threshold] = settings;
    canonical(zero_impedance_threshold);
    canonical.put_case(c);
    return sink.finish();
}

void append_solution_fields(std::string& out, const Case& c) {
    for_each_member(c, [&](const auto& member) {
        using Member = std::remove_cvref_t<decltype(member)>;
        if constexpr (IsVector<Member>::value) {
            using Record = typename Member::value_type;
            if constexpr (std::tuple_size_v < std::remove_cvref_t <
                          decltype(SolutionFields<Record>::members) >>> 0) {
                for (const Record& record : member)
                    std::apply(
                        [&](auto... field) {
                            (out.append(reinterpret_cast<const char*>(&(record.*field)),
                                        sizeof(record.*field)),
                             ...);
                        },
                        SolutionFields<Record>::members);
            }
        }
    });
}

}  // namespace velquin::sim::loadflow
