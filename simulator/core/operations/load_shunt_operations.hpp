// Loads, fixed shunts and switched shunts.
#pragma once

#include "operations/case_index.hpp"
#include "operations/element_arguments.hpp"
#include "operations/operation_result.hpp"

namespace velquin::sim {

// Each changes the element at the bus with that identifier when it exists,
// else creates it. A new load takes the bus's area, zone and owner.
OperationResult set_load_data(Case& c, CaseIndex& index, const LoadData& data);
OperationResult set_fixed_shunt_data(Case& c, CaseIndex& index, const FixedShuntData& data);
OperationResult set_switched_shunt_data(Case& c, CaseIndex& index, const SwitchedShuntData& data);

}  // namespace velquin::sim
