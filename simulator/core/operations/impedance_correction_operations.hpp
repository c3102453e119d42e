// Impedance correction tables of transformers.
#pragma once

#include "operations/case_index.hpp"
#include "operations/device_arguments.hpp"
#include "operations/operation_result.hpp"

namespace velquin::sim {

// Most points a table may hold.
inline constexpr int kMaxCorrectionPoints = 99;

// Changes the table of that number when it exists, else creates it (its
// points start empty). Point k takes the values given at position k (a
// point past the end is added with T 0 and factor 1 + j0 for what is not
// given); a point given as T = Re F = Im F = 0 ends the table. The
// resulting T values must increase strictly and the factors be positive in
// their real part.
OperationResult set_impedance_correction_data(Case& c, CaseIndex& index, const ImpedanceCorrectionData& data);

}  // namespace velquin::sim
