// What each element kind's transfer reads and writes: its table, count,
// status keys, save tag, version bands and the keyword mapping of every
// simulator call, kept here as data so the transfer loop stays one piece.
#pragma once

#include <vector>

#include "element_source.hpp"
#include "version_bands.hpp"

namespace velquin::ps {

struct TransferKind {
    const char* method;           // the engine method, for messages
    const char* elements;         // plural noun, for messages
    const char* table;            // attribute of the case-data object
    const char* count_attribute;  // nullptr: the entries under NUM
    const char* total_key;
    const char* tag;  // middle piece of the save name
    std::vector<Band> operations;
    CallMapping call;
};

const TransferKind& bus_transfer();
const TransferKind& line_transfer();
const TransferKind& fixed_shunt_transfer();
const TransferKind& load_transfer();
const TransferKind& switched_shunt_transfer();
const TransferKind& induction_machine_transfer();

// Generators: the plant call, then the machine call (`call` of the kind).
const TransferKind& generator_transfer();
const CallMapping& plant_call();
const TransferKind& generator_modification();

// Transformers: one two-winding call, or an impedance call followed by one
// winding call per winding. The status value is the first member of the
// simulator's result.
const TransferKind& transformer_transfer();
const CallMapping& two_winding_call();
const CallMapping& three_winding_impedance_call();
const CallMapping& three_winding_winding_call();
inline constexpr const char* kTwoWindingOperation = "two_winding_data_6";
inline constexpr const char* kThreeWindingImpedanceOperation = "three_wnd_imped_data_4";
inline constexpr const char* kThreeWindingWindingOperation = "three_wnd_winding_data_5";

}  // namespace velquin::ps
