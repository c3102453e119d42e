// Two-terminal (LCC) and VSC DC lines, found by name.
#pragma once

#include "operations/case_index.hpp"
#include "operations/device_arguments.hpp"
#include "operations/operation_result.hpp"

namespace velquin::sim {

// Changes the line of that name when it exists, else creates it; a new
// line needs its rectifier and inverter buses.
OperationResult set_two_terminal_dc_line_data(Case& c, CaseIndex& index, const TwoTerminalDcLineData& data);
// Changes the rectifier (end 0) or inverter (end 1) of an existing line.
OperationResult set_two_terminal_dc_converter_data(Case& c, CaseIndex& index,
                                                   const TwoTerminalDcConverterData& data);

// Changes the VSC line of that name when it exists, else creates it with
// both converters out of service and without buses; the converter calls
// give them.
OperationResult set_vsc_dc_line_data(Case& c, CaseIndex& index, const VscDcLineData& data);
// Changes converter 1 or 2 of an existing VSC line.
OperationResult set_vsc_converter_data(Case& c, CaseIndex& index, const VscConverterData& data);

}  // namespace velquin::sim
