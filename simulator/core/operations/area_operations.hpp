// Areas (interchange control data) and inter-area transfers.
#pragma once

#include "operations/case_index.hpp"
#include "operations/device_arguments.hpp"
#include "operations/operation_result.hpp"

namespace velquin::sim {

// Changes the area of that number when it exists, else creates it.
OperationResult set_area_data(Case& c, CaseIndex& index, const AreaData& data);
// Changes the transfer between the two areas with that identifier when it
// exists, else creates it.
OperationResult set_inter_area_transfer_data(Case& c, CaseIndex& index, const InterAreaTransferData& data);

}  // namespace velquin::sim
