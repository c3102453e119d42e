// Plants (one per bus, holding the voltage control) and their machines.
// Powers in MW / Mvar, impedances in pu on the machine base.
#pragma once

#include <string>

#include "model/types.hpp"

namespace velquin::sim {

struct Plant {
    int bus = 0;
    double scheduled_voltage = 1.0;  // VS, pu
    int regulated_bus = 0;           // IREG, 0 = own bus
    int regulated_node = 0;          // NREG
    double rmpct = 100.0;            // plant share of remote voltage control
    bool operator==(const Plant&) const = default;
};

struct Machine {
    int bus = 0;
    std::string id = "1";
    double pg = 0.0;
    double qg = 0.0;
    double qmax = 9999.0;   // QT
    double qmin = -9999.0;  // QB
    double pmax = 9999.0;   // PT
    double pmin = -9999.0;  // PB
    double mbase = 100.0;
    Complex source_impedance{0.0, 1.0};  // ZR + j ZX
    Complex step_up_impedance{};         // RT + j XT
    double step_up_ratio = 1.0;          // GTAP
    int status = 1;
    double rmpct = 100.0;  // this machine's share of its plant's reactive output
    Ownership ownership;
    int wind_mode = 0;               // WMOD
    double wind_power_factor = 1.0;  // WPF
    int base_load = 0;               // BASLOD
    std::string name;
    bool operator==(const Machine&) const = default;
};

}  // namespace velquin::sim
