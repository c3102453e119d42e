// Starting a new, empty case.
#pragma once

#include "model/case.hpp"
#include "operations/element_arguments.hpp"
#include "operations/operation_result.hpp"

namespace velquin::sim {

struct NewCaseData {
    OptionalInt transformer_rating_units{};  // XFRRAT: <= 0 MVA, > 0 current as MVA
    OptionalInt branch_rating_units{};       // NXFRAT, same coding
    OptionalReal base_mva{};                 // default 100
    OptionalReal base_frequency{};           // default 60 Hz
    OptionalText title1{};
    OptionalText title2{};
};

// Fills `out` with an empty case; refused (and `out` untouched) when the
// base or the frequency is not a positive number.
OperationResult make_new_case(const NewCaseData& data, Case& out);

}  // namespace velquin::sim
