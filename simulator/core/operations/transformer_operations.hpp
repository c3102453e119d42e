// Creating and changing two- and three-winding transformers.
#pragma once

#include <vector>

#include "operations/case_index.hpp"
#include "operations/element_arguments.hpp"
#include "operations/operation_result.hpp"

namespace velquin::sim {

struct TransformerResult {
    OperationResult result;
    // Impedances in pu on the system base after the call (zeros when
    // refused): two-winding R, X; three-winding impedance data R12, X12,
    // R23, X23, R31, X31; three-winding winding data the winding's star
    // branch R, X.
    std::vector<double> realaro;
};

// Changes the two-winding transformer between the buses with that circuit
// (either order), else creates it. The winding-1 side puts winding 1 at
// bus_i (1) or bus_j (2); given for an existing transformer it may move
// winding 1 to the other bus. Refused when a line or switching device uses
// the circuit between the same buses.
TransformerResult set_two_winding_data(Case& c, CaseIndex& index, const TwoWindingData& data);

// Changes the three-winding transformer on the three buses with that
// circuit (any order), else creates it with windings 1, 2, 3 at bus_i,
// bus_j, bus_k, or with winding 1 at `winding1_bus` and the other two in
// the order given. The winding order of an existing transformer cannot be
// changed.
TransformerResult set_three_winding_impedance_data(Case& c, CaseIndex& index,
                                                   const ThreeWindingImpedanceData& data);

// Changes one winding of an existing three-winding transformer.
TransformerResult set_three_winding_winding_data(Case& c, CaseIndex& index,
                                                 const ThreeWindingWindingData& data);

}  // namespace velquin::sim
