// The element transfers of a pair, in the order the elements are copied,
// and what their status dictionaries say: how many elements of each kind
// there were and which entries the simulator refused.
#pragma once

#include <pybind11/pybind11.h>

namespace velquin::main {

namespace py = pybind11;

struct TransferStep {
    const char* method;          // the engine's transfer method
    const char* status_section;  // the status report's section title
    const char* kind;            // the element kind, as reports name it
};

inline constexpr TransferStep kTransferSteps[] = {
    {"add_buses", "Bus_Status", "bus"},
    {"add_line_branch", "Line_Branch_Status", "line branch"},
    {"add_trn_branch", "Transformer_Branch_Status", "transformer"},
    {"add_gen", "Generator_Status", "generator"},
    {"add_fixed_shunt", "Fixed_Shunt_Status", "fixed shunt"},
    {"add_switched_shunt", "Switched_Shunt_Status", "switched shunt"},
    {"add_load", "Load_Status", "load"},
    {"add_induction_machine", "Induction_Machine_Status", "induction machine"},
};

struct TransferResults {
    py::dict elements;         // kind -> {"total": the kind's total, "refused": count}
    py::list refused;          // {"kind", "element", "code"} per refused entry
    py::set refused_bus_keys;  // the status keys of buses whose creation was refused
};

// `statuses` maps each status section title to its status dictionary: the
// kind's total first, then one entry per element (a non-zero code is a
// refusal).
TransferResults read_transfer_results(const py::dict& statuses);

}  // namespace velquin::main
