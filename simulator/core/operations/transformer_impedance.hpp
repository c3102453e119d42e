// Transformer impedances converted from the units their CZ code gives to
// per unit on the system MVA base (textbook conversions).
#pragma once

#include "model/transformer.hpp"

namespace velquin::sim {

// Winding pair `pair` (0: 1-2, 1: 2-3, 2: 3-1). CZ 1 is already on the
// system base; CZ 2 is on the pair's winding base; CZ 3 gives R as load
// loss in watts and X as |Z|, both on the winding base.
Complex pair_impedance_on_system_base(const Transformer& t, int pair, double system_mva);

// Star-branch impedance of winding `winding` (0-based) of a three-winding
// transformer: Z1 = (Z12 + Z31 - Z23) / 2 and its rotations.
Complex star_branch_impedance(const Transformer& t, int winding, double system_mva);

}  // namespace velquin::sim
