// Creating and changing non-transformer branches (lines).
#pragma once

#include "operations/case_index.hpp"
#include "operations/element_arguments.hpp"
#include "operations/operation_result.hpp"

namespace velquin::sim {

// Zero-impedance threshold; also the reactance a new branch takes when the
// caller gives none, so that a branch is never an open circuit by default.
inline constexpr double kDefaultBranchReactance = 0.0001;

// Changes the line between the two buses with that circuit (found whichever
// end is named first; the end-specific shunts then follow the named ends),
// else creates it. Refused when a transformer or switching device already
// uses the circuit between the same buses, or when the circuit starts with
// '&' (reserved for multi-section lines).
OperationResult set_line_data(Case& c, CaseIndex& index, const LineData& data);

}  // namespace velquin::sim
