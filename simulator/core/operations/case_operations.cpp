#include "operations/case_operations.hpp"

#include <cmath>

namespace velquin::sim {

OperationResult make_new_case(const NewCaseData& d, Case& out) {
    const double base = d.base_mva.value_or(100.0);
    const double frequency = d.base_frequency.value_or(60.0);
    if (!std::isfinite(base) || base <= 0.0) {
        return refuse(ElementCode::kInvalidValue,
                      "system base " + std::to_string(base) + " MVA must be positive");
    }
    if (!std::isfinite(frequency) || frequency <= 0.0) {
        return refuse(ElementCode::kInvalidValue,
                      "base frequency " + std::to_string(frequency) + " Hz must be positive");
    }
    Case fresh;
    fresh.identification.base_mva = base;
    fresh.identification.base_frequency = frequency;
    fresh.identification.transformer_rating_units = d.transformer_rating_units.value_or(0);
    fresh.identification.branch_rating_units = d.branch_rating_units.value_or(0);
    fresh.identification.title1 = d.title1.value_or("");
    fresh.identification.title2 = d.title2.value_or("");
    out = std::move(fresh);
    return OperationResult::done();
}

}  // namespace velquin::sim
