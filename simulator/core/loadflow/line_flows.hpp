// Power flows of the line branches at the voltages a solution left in the
// case. Lines that tie their buses as zero-impedance lines have no
// impedance to compute a flow from: they carry what balances the buses they
// tie, as the field's tools report them.
#pragma once

#include <vector>

#include "model/case.hpp"

namespace velquin::sim {

// MW / Mvar entering the line at each end.
struct LineEndFlows {
    Complex from;
    Complex to;
};

// One entry per Case::lines entry, in order. Lines out of service (or at a
// bus out of service) carry nothing. The flows of ties come from the power
// balance of the buses they tie (machines' written outputs, loads, shunts
// and the other branches); ties that close a loop among ties carry nothing,
// the others of that loop carrying the whole. Induction machines, DC line
// converters and FACTS devices are not in that balance (what they draw is
// not stored in the case). A negative threshold means the case's THRSHZ
// (default 0.0001 pu).
std::vector<LineEndFlows> line_flows(const Case& c, double zero_impedance_threshold = -1.0);

}  // namespace velquin::sim
