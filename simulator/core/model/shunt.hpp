// Fixed and switched shunts. Admittances are in MW / Mvar at 1 pu voltage
// (positive susceptance is capacitive).
#pragma once

#include <array>
#include <string>

#include "model/types.hpp"

namespace velquin::sim {

struct FixedShunt {
    int bus = 0;
    std::string id = "1";
    int status = 1;
    Complex admittance{};  // GL + j BL
    std::string name;
    bool operator==(const FixedShunt&) const = default;
};

struct SwitchedShunt {
    int bus = 0;
    std::string id = "1";
    int control_mode = 1;       // MODSW
    int adjustment_method = 0;  // ADJM
    int status = 1;
    double vswhi = 1.0;
    double vswlo = 1.0;
    int regulated_bus = 0;   // SWREM / SWREG, 0 = own bus
    int regulated_node = 0;  // NREG
    double rmpct = 100.0;
    std::string vsc_name;                                                            // RMIDNT
    double initial_mvar = 0.0;                                                       // BINIT
    std::array<int, kSwitchedShuntBlockCount> steps{};                               // Ni
    std::array<double, kSwitchedShuntBlockCount> mvar_per_step{};                    // Bi
    std::array<int, kSwitchedShuntBlockCount> block_status{1, 1, 1, 1, 1, 1, 1, 1};  // Si
    std::string name;
    bool operator==(const SwitchedShunt&) const = default;
};

}  // namespace velquin::sim
