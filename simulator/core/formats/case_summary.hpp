// One-line description of what a case holds, for the messages that follow
// reading or converting a file.
#pragma once

#include <string>

#include "model/case.hpp"

namespace velquin::sim {

// "14 buses, 11 loads, 1 fixed shunt, ..." listing only kinds present.
std::string describe_element_counts(const Case& c);

}  // namespace velquin::sim
