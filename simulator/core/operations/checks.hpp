// Checks shared by the element operations: the first failed check decides
// the refusal code and message; nothing is changed unless all pass.
#pragma once

#include <array>
#include <cmath>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "operations/case_index.hpp"
#include "operations/element_arguments.hpp"
#include "operations/operation_result.hpp"

namespace velquin::sim {

inline constexpr int kMaxAreaZoneOwner = 9999;

class Checks {
public:
    Checks(Case& c, CaseIndex& index) : case_(c), index_(index) {}

    bool ok() const { return result_.ok(); }
    OperationResult result() const { return result_; }
    void fail(ElementCode code, std::string message);

    // An integer field, when given, within [low, high].
    void range(std::string_view field, const OptionalInt& value, int low, int high);
    // Codes that may also be given negative (a control switched off).
    void signed_range(std::string_view field, const OptionalInt& value, int limit);
    void finite(std::string_view field, const OptionalReal& value);
    template <std::size_t N>
    void finite(std::string_view field, const std::array<OptionalReal, N>& values) {
        for (std::size_t i = 0; i < N; ++i) finite(std::string(field) + std::to_string(i + 1), values[i]);
    }
    // Several real fields at once, each named.
    void finite(std::initializer_list<std::pair<std::string_view, const OptionalReal*>> fields) {
        for (const auto& [field, value] : fields) finite(field, *value);
    }
    void positive(std::string_view field, const OptionalReal& value);
    void non_negative(std::string_view field, const OptionalReal& value);
    // A bus reference that may be 0 (none); its sign is ignored.
    void bus_or_none(std::string_view field, const OptionalInt& bus);
    void ownership(const OwnershipData& data);
    // Identifier of an element at a bus or of a circuit.
    void identifier(std::string_view what, std::string_view id);
    // Name of a device known by name (DC lines, FACTS devices): one to
    // twelve characters after trailing blanks are dropped.
    void device_name(std::string_view what, std::string_view name);
    // The node argument of bus-level calls: 0, or a node of the bus in a
    // substation's node-breaker data.
    void node_of_bus(int bus, int node);

    // Position of an existing bus, refusing the call when it is missing.
    std::optional<std::size_t> existing_bus(int bus);

private:
    Case& case_;
    CaseIndex& index_;
    OperationResult result_;
};

template <class T>
void assign(T& target, const std::optional<T>& value) {
    if (value) target = *value;
}

void apply_ownership(Ownership& target, const OwnershipData& data);
void apply_ratings(Ratings& target, const RatingsData& data);

}  // namespace velquin::sim
