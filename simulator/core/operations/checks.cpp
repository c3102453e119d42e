#include "operations/checks.hpp"

#include <cstdlib>
#include <limits>

namespace velquin::sim {

void Checks::fail(ElementCode code, std::string message) {
    if (result_.ok()) result_ = refuse(code, std::move(message));
}

void Checks::range(std::string_view field, const OptionalInt& value, int low, int high) {
    if (!ok() || !value) return;
    if (*value < low || *value > high) {
        fail(ElementCode::kInvalidValue, std::string(field) + " " + std::to_string(*value) + " is outside " +
                                             std::to_string(low) + ".." + std::to_string(high));
    }
}

void Checks::signed_range(std::string_view field, const OptionalInt& value, int limit) {
    if (!ok() || !value) return;
    if (*value < -limit || *value > limit) {
        fail(ElementCode::kInvalidValue, std::string(field) + " " + std::to_string(*value) + " is outside -" +
                                             std::to_string(limit) + ".." + std::to_string(limit));
    }
}

void Checks::finite(std::string_view field, const OptionalReal& value) {
    if (!ok() || !value) return;
    if (!std::isfinite(*value))
        fail(ElementCode::kInvalidValue, std::string(field) + " is not a finite number");
}

void Checks::positive(std::string_view field, const OptionalReal& value) {
    finite(field, value);
    if (!ok() || !value) return;
    if (*value <= 0.0) fail(ElementCode::kInvalidValue, std::string(field) + " must be positive");
}

void Checks::non_negative(std::string_view field, const OptionalReal& value) {
    finite(field, value);
    if (!ok() || !value) return;
    if (*value < 0.0) fail(ElementCode::kInvalidValue, std::string(field) + " must not be negative");
}

void Checks::bus_or_none(std::string_view field, const OptionalInt& bus) {
    if (!ok() || !bus || *bus == 0) return;
    const int number = *bus < 0 ? -*bus : *bus;
    if (*bus == std::numeric_limits<int>::min() || !index_.bus(case_, number)) {
        fail(ElementCode::kBusNotFound,
             std::string(field) + " names bus " + std::to_string(*bus) + ", which does not exist");
    }
}

void Checks::ownership(const OwnershipData& data) {
    range("owner 1", data.owner[0], 1, kMaxAreaZoneOwner);
    for (int i = 1; i < kOwnerCount; ++i)
        range("owner " + std::to_string(i + 1), data.owner[i], 0, kMaxAreaZoneOwner);
    for (int i = 0; i < kOwnerCount; ++i)
        non_negative("ownership fraction " + std::to_string(i + 1), data.fraction[i]);
}

void Checks::identifier(std::string_view what, std::string_view id) {
    if (!ok()) return;
    const std::string trimmed = normalize_identifier(id);
    if (trimmed.empty() || trimmed.size() > 2) {
        fail(ElementCode::kInvalidIdentifier,
             std::string(what) + " identifier '" + std::string(id) + "' must have one or two characters");
    }
}

void Checks::device_name(std::string_view what, std::string_view name) {
    if (!ok()) return;
    const std::string trimmed = normalize_identifier(name);
    if (trimmed.empty() || trimmed.size() > 12) {
        fail(ElementCode::kInvalidIdentifier,
             std::string(what) + " name '" + std::string(name) + "' must have one to twelve characters");
    }
}

void Checks::node_of_bus(int bus, int node) {
    if (!ok() || node == 0) return;
    for (const Substation& s : case_.substations) {
        for (const SubstationNode& n : s.nodes) {
            if (n.bus == bus && n.number == node) return;
        }
    }
    fail(ElementCode::kInvalidNode,
         "node " + std::to_string(node) + " is not a node of bus " + std::to_string(bus));
}

std::optional<std::size_t> Checks::existing_bus(int bus) {
    if (!ok()) return std::nullopt;
    auto position = index_.bus(case_, bus);
    if (!position) fail(ElementCode::kBusNotFound, "bus " + std::to_string(bus) + " does not exist");
    return position;
}

void apply_ownership(Ownership& target, const OwnershipData& data) {
    for (int i = 0; i < kOwnerCount; ++i) {
        assign(target.owner[i], data.owner[i]);
        assign(target.fraction[i], data.fraction[i]);
    }
}

void apply_ratings(Ratings& target, const RatingsData& data) {
    for (int i = 0; i < kRatingCount; ++i) assign(target[i], data[i]);
}

}  // namespace velquin::sim
