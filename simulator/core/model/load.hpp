// Loads: constant-power, constant-current and constant-admittance parts
// plus distributed generation, all in MW / Mvar (current and admittance
// parts at 1 pu voltage).
#pragma once

#include <string>

#include "model/types.hpp"

namespace velquin::sim {

struct Load {
    int bus = 0;
    std::string id = "1";
    int status = 1;
    int area = 1;
    int zone = 1;
    int owner = 1;
    Complex constant_power{};       // PL + j QL
    Complex constant_current{};     // IP + j IQ
    Complex constant_admittance{};  // YP + j YQ
    int scalable = 1;
    int interruptible = 0;
    Complex distributed_generation{};     // DGENP + j DGENQ
    int distributed_generation_mode = 0;  // DGENF / DGENM
    std::string load_type;
    std::string name;
    bool operator==(const Load&) const = default;
};

}  // namespace velquin::sim
