// Creating, changing, disconnecting and reconnecting buses.
#pragma once

#include "operations/case_index.hpp"
#include "operations/element_arguments.hpp"
#include "operations/operation_result.hpp"

namespace velquin::sim {

// Changes the bus when it exists, else creates it (number 1..999999) with
// the defaults of Bus for what is not given. Setting the type explicitly
// forgets the type a disconnect remembered.
OperationResult set_bus_data(Case& c, CaseIndex& index, const BusData& data);
// As set_bus_data, but refuses a bus that does not exist.
OperationResult change_bus_data(Case& c, CaseIndex& index, const BusData& data);

// Takes the bus out of service: type 4, remembering the type it had. The
// branches and equipment at the bus keep their own status; they count as
// out of service while the bus is. A bus already of type 4 is left alone.
OperationResult disconnect_bus(Case& c, CaseIndex& index, int bus);
// Undoes disconnect_bus. A bus of type 4 that was not disconnected by it
// becomes type 2 when an in-service machine is at the bus, else type 1. A
// bus in service is left alone.
OperationResult reconnect_bus(Case& c, CaseIndex& index, int bus);

bool has_in_service_machine(const Case& c, int bus);

}  // namespace velquin::sim
