// Reading one value of a bus by name, as the bus query of the API does.
#pragma once

#include <string>
#include <string_view>
#include <variant>

#include "operations/case_index.hpp"

namespace velquin::sim {

enum class BusQueryCode : int {
    kDone = 0,
    kBusNotFound = 1,
    kUnknownQuantity = 2,
};

struct BusValue {
    int code = 0;
    // Integer quantities (TYPE, AREA, ZONE, OWNER) as int, the others as
    // double; empty when refused.
    std::variant<std::monostate, int, double> value;
    std::string message;
};

// `quantity` (letter case and surrounding blanks ignored): BASE (kV), PU,
// KV, ANGLE (radians), ANGLED (degrees), NVLMHI, NVLMLO, EVLMHI, EVLMLO
// (pu), TYPE, AREA, ZONE, OWNER.
BusValue bus_value(const Case& c, CaseIndex& index, int bus, std::string_view quantity);

}  // namespace velquin::sim
