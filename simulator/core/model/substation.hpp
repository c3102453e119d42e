// Node-breaker detail of substations. The bus-branch data stay authoritative
// for the load flow; substations are carried so that nothing read is lost.
#pragma once

#include <string>
#include <vector>

#include "model/types.hpp"

namespace velquin::sim {

struct SubstationNode {
    int number = 0;
    std::string name;
    int bus = 0;
    int status = 1;
    double vm = 1.0;
    double va_deg = 0.0;
    bool operator==(const SubstationNode&) const = default;
};

struct SubstationSwitchingDevice {
    int from_node = 0;
    int to_node = 0;
    std::string ckt = "1";
    std::string name;
    int type = 1;
    int status = 1;
    int normal_status = 1;
    double x = 0.0001;
    std::array<double, 3> ratings{};
    bool operator==(const SubstationSwitchingDevice&) const = default;
};

// Equipment at a bus attached to a node. `type` is the record's letter:
// L, M, F, S, I (one-bus equipment), B, 2 (two buses), 3 (three buses),
// D, V, N, A (DC lines and FACTS, identified by name in `id`).
struct SubstationTerminal {
    int bus = 0;
    int node = 0;
    std::string type;
    int bus2 = 0;
    int bus3 = 0;
    std::string id;
    bool operator==(const SubstationTerminal&) const = default;
};

struct Substation {
    int number = 0;
    std::string name;
    double latitude = 0.0;
    double longitude = 0.0;
    double grounding_resistance = 0.1;  // SGR
    std::vector<SubstationNode> nodes;
    std::vector<SubstationSwitchingDevice> switching_devices;
    std::vector<SubstationTerminal> terminals;
    bool operator==(const Substation&) const = default;
};

}  // namespace velquin::sim
