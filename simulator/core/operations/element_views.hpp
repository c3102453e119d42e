// Derived facts about elements that several operations and the case reader
// report: metered ends, transformer winding buses, star points, and whether
// an element is in service.
#pragma once

#include <cstddef>
#include <vector>

#include "model/case.hpp"
#include "operations/case_index.hpp"

namespace velquin::sim {

// Bus number of a line's metered end.
int metered_bus(const LineBranch& line);
// Bus of the metered end of a two-winding transformer.
int metered_bus(const Transformer& t);
// Bus of the winding that is not metered (NMETR); for a three-winding
// transformer the one winding whose flow is not metered.
int non_metered_bus(const Transformer& t);
// Bus of winding 1, 2 or 3.
int winding_bus(const Transformer& t, int winding);

// Whether winding 1, 2 or 3 of a transformer is switched in by its own
// status (two windings: both in or both out).
bool winding_in_service(const Transformer& t, int winding);

struct StarPoint {
    int number = 0;               // internal bus number, from 1000000 up
    std::size_t transformer = 0;  // position in Case::transformers
};
// The star points of the three-winding transformers, numbered in the
// transformers' order.
std::vector<StarPoint> star_points(const Case& c);

bool bus_in_service(const Case& c, CaseIndex& index, int bus);

}  // namespace velquin::sim
