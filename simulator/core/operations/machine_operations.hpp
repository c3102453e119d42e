// Plants, machines and induction machines.
#pragma once

#include "operations/case_index.hpp"
#include "operations/element_arguments.hpp"
#include "operations/operation_result.hpp"

namespace velquin::sim {

// Changes the plant at the bus, else creates it.
OperationResult set_plant_data(Case& c, CaseIndex& index, const PlantData& data);

// Changes the machine when it exists, else creates it; a new machine needs
// plant data at its bus and takes its plant's reactive share (RMPCT), the
// system base as machine base and the bus owner as first owner.
OperationResult set_machine_data(Case& c, CaseIndex& index, const MachineData& data);
// As set_machine_data, but refuses a machine that does not exist.
OperationResult change_machine_data(Case& c, CaseIndex& index, const MachineData& data);

// Changes the induction machine when it exists, else creates it with the
// bus's area, zone and owner and the system base as machine base.
OperationResult set_induction_machine_data(Case& c, CaseIndex& index, const InductionMachineData& data);

}  // namespace velquin::sim
