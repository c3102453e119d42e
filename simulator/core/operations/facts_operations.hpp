// FACTS devices, found by name.
#pragma once

#include "operations/case_index.hpp"
#include "operations/device_arguments.hpp"
#include "operations/operation_result.hpp"

namespace velquin::sim {

// Changes the device of that name when it exists, else creates it; a new
// device needs its sending bus.
OperationResult set_facts_device_data(Case& c, CaseIndex& index, const FactsDeviceData& data);

}  // namespace velquin::sim
