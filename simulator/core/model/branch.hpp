// Non-transformer branches, system switching devices and multi-section
// line groupings. Impedances in pu on the system base.
#pragma once

#include <string>
#include <vector>

#include "model/types.hpp"

namespace velquin::sim {

struct LineBranch {
    int from_bus = 0;
    int to_bus = 0;
    std::string ckt = "1";
    double r = 0.0;
    double x = 0.0;
    double b = 0.0;        // total charging
    Complex from_shunt{};  // GI + j BI
    Complex to_shunt{};    // GJ + j BJ
    int status = 1;
    int metered_end = 1;  // 1 = from bus, 2 = to bus
    double length = 0.0;
    Ownership ownership;
    Ratings ratings{};
    std::string name;
    bool operator==(const LineBranch&) const = default;
};

struct SwitchingDevice {
    int from_bus = 0;
    int to_bus = 0;
    std::string ckt = "1";
    double x = 0.0001;
    Ratings ratings{};
    int status = 1;
    int normal_status = 1;
    int metered_end = 1;
    int type = 1;  // 1 generic connector, 2 breaker, 3 disconnector
    std::string name;
    bool operator==(const SwitchingDevice&) const = default;
};

struct MultiSectionLine {
    int from_bus = 0;
    int to_bus = 0;
    std::string id = "&1";
    int metered_end = 1;
    std::vector<int> dummy_buses;  // from the from-bus side, up to 9
    bool operator==(const MultiSectionLine&) const = default;
};

}  // namespace velquin::sim
