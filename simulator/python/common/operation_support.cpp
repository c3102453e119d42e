#include "common/operation_support.hpp"

#include <algorithm>
#include <limits>

#include "api/session.hpp"

namespace velquin::sim::python {

namespace {

OptionalInt clamp(std::optional<long long> value) {
    if (!value) return std::nullopt;
    constexpr long long low = std::numeric_limits<int>::min();
    constexpr long long high = std::numeric_limits<int>::max();
    return static_cast<int>(std::clamp(*value, low, high));
}

}  // namespace

OptionalInt int_arg(const CallArguments& a, std::string_view name) {
    return clamp(a.integer(name));
}

OptionalInt int_arg(const CallArguments& a, std::string_view array, int position) {
    return clamp(a.integer(array, position));
}

OptionalReal real_arg(const CallArguments& a, std::string_view name) {
    return a.real(name);
}

OptionalReal real_arg(const CallArguments& a, std::string_view array, int position) {
    return a.real(array, position);
}

OptionalText text_arg(const CallArguments& a, std::string_view name) {
    return a.text(name);
}

OptionalText text_arg(const CallArguments& a, std::string_view array, int position) {
    return a.text(array, position);
}

int required_int(const CallArguments& a, std::string_view function, std::string_view name) {
    auto value = int_arg(a, name);
    if (!value) {
        throw py::type_error(std::string(function) + "() missing required argument '" + std::string(name) +
                             "'");
    }
    return *value;
}

std::string required_text(const CallArguments& a, std::string_view function, std::string_view name) {
    auto value = text_arg(a, name);
    if (!value) {
        throw py::type_error(std::string(function) + "() missing required argument '" + std::string(name) +
                             "'");
    }
    return *value;
}

OwnershipData ownership_args(const CallArguments& a, std::string_view int_array, int first_owner,
                             std::string_view real_array, int first_fraction) {
    OwnershipData data;
    for (int i = 0; i < kOwnerCount; ++i) {
        data.owner[static_cast<std::size_t>(i)] = int_arg(a, int_array, first_owner + i);
        data.fraction[static_cast<std::size_t>(i)] = real_arg(a, real_array, first_fraction + i);
    }
    return data;
}

RatingsData ratings_args(const CallArguments& a) {
    RatingsData data;
    for (int i = 0; i < kRatingCount; ++i) data[static_cast<std::size_t>(i)] = real_arg(a, "ratings", i + 1);
    return data;
}

int report_refusal(std::string_view function, int code, std::string_view message) {
    if (code != 0) {
        Session::instance().report(std::string(function) + ": " + std::string(message) + " (code " +
                                   std::to_string(code) + ")");
    }
    return code;
}

int finish(std::string_view function, const OperationResult& result) {
    return report_refusal(function, result.code, result.message);
}

bool case_in_memory(std::string_view function) {
    if (Session::instance().has_case()) return true;
    report_refusal(function, kNoCaseCode, "no case in memory");
    return false;
}

}  // namespace velquin::sim::python
