// Multi-terminal LCC DC lines: converters, DC buses and DC links. The load
// flow does not model them; they are read, kept, written and reported.
#pragma once

#include <string>
#include <vector>

namespace velquin::sim {

struct MultiTerminalDcConverter {
    int bus = 0;                          // IB: AC bus
    int bridges = 0;                      // N
    double max_angle_deg = 0.0;           // ANGMX
    double min_angle_deg = 0.0;           // ANGMN
    double commutating_resistance = 0.0;  // RC, ohms
    double commutating_reactance = 0.0;   // XC, ohms
    double base_kv = 0.0;                 // EBAS
    double transformer_ratio = 1.0;       // TR
    double tap = 1.0;                     // TAP
    double tap_max = 1.5;                 // TPMX
    double tap_min = 0.51;                // TPMN
    double tap_step = 0.00625;            // TSTP
    double setpoint = 0.0;                // SETVL: kV (voltage-controlling converter), else A or MW
    double participation = 1.0;           // DCPF
    double margin = 0.0;                  // MARG: rectifier margin
    int pole = 1;                         // CNVCOD: >= 0 positive pole, < 0 negative
    bool operator==(const MultiTerminalDcConverter&) const = default;
};

struct MultiTerminalDcBus {
    int number = 0;                  // IDC, 1..NDCBS
    int ac_bus = 0;                  // IB: AC converter bus, 0 = none
    int area = 1;                    // AREA
    int zone = 1;                    // ZONE
    std::string name;                // DCNAME
    int second_dc_bus = 0;           // IDC2
    double ground_resistance = 0.0;  // RGRND, ohms
    int owner = 1;                   // OWNER
    bool operator==(const MultiTerminalDcBus&) const = default;
};

struct MultiTerminalDcLink {
    int from_dc_bus = 0;      // IDC
    int to_dc_bus = 0;        // JDC (negative: metered at this end, as written)
    std::string ckt = "1";    // DCCKT
    int metered_end = 1;      // MET
    double resistance = 0.0;  // RDC, ohms
    double inductance = 0.0;  // LDC, mH
    bool operator==(const MultiTerminalDcLink&) const = default;
};

struct MultiTerminalDcLine {
    std::string name;                          // NAME
    int control_mode = 0;                      // MDC: 0 blocked, 1 power, 2 current
    int voltage_controlling_bus = 0;           // VCONV: positive pole
    double mode_switch_kv = 0.0;               // VCMOD
    int negative_voltage_controlling_bus = 0;  // VCONVN, 0 = none
    // NCONV, NDCBS and NDCLN are the sizes of these lists.
    std::vector<MultiTerminalDcConverter> converters;
    std::vector<MultiTerminalDcBus> dc_buses;
    std::vector<MultiTerminalDcLink> links;
    bool operator==(const MultiTerminalDcLine&) const = default;
};

}  // namespace velquin::sim
