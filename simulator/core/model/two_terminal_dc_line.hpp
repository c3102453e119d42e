// Two-terminal line-commutated (LCC) DC lines: a rectifier and an inverter
// joined by a DC cable. Values are kept in the units of the file (ohms, kV,
// A, MW, degrees); the load flow converts them itself.
#pragma once

#include <string>

namespace velquin::sim {

// One end of the line: its converter bridges and the transformer feeding
// them.
struct TwoTerminalDcConverter {
    int bus = 0;                          // IP: AC bus of the converter
    int bridges = 0;                      // NB: bridges in series
    double max_angle_deg = 0.0;           // ANMX: alpha max (rectifier), gamma max (inverter)
    double min_angle_deg = 0.0;           // ANMN
    double commutating_resistance = 0.0;  // RC, ohms per bridge
    double commutating_reactance = 0.0;   // XC, ohms per bridge
    double base_kv = 0.0;                 // EBAS: primary base AC voltage, kV
    double transformer_ratio = 1.0;       // TR
    double tap = 1.0;                     // TAP
    double tap_max = 1.5;                 // TMX
    double tap_min = 0.51;                // TMN
    double tap_step = 0.00625;            // STP
    int firing_angle_bus = 0;             // IC: bus the angle is measured at, 0 = IP
    int firing_angle_node = 0;            // ND: node of IC
    int tap_control_from_bus = 0;         // IF: AC transformer whose tap serves this converter
    int tap_control_to_bus = 0;           // IT
    std::string tap_control_ckt = "1";    // ID
    double capacitor_reactance = 0.0;     // XCAP, ohms per bridge (capacitor-commutated)
    bool operator==(const TwoTerminalDcConverter&) const = default;
};

enum TwoTerminalDcControl : int {
    kDcBlocked = 0,
    kDcPowerControl = 1,
    kDcCurrentControl = 2,
};

struct TwoTerminalDcLine {
    std::string name;                     // NAME, the line's identifier
    int control_mode = kDcBlocked;        // MDC: 0 blocked, 1 power, 2 current
    double resistance = 0.0;              // RDC, ohms
    double setpoint = 0.0;                // SETVL: MW (MDC 1; > 0 at the rectifier, < 0 at the inverter) or A
    double scheduled_kv = 0.0;            // VSCHD: scheduled compounded DC voltage, kV
    double mode_switch_kv = 0.0;          // VCMOD: below it power control turns to current control
    double compounding_resistance = 0.0;  // RCOMP, ohms
    double current_margin = 0.0;          // DELTI, pu of the current order
    std::string metered_end = "I";        // METER: 'R' or 'I'
    double min_compounded_kv = 0.0;       // DCVMIN
    int ccc_iteration_limit = 20;         // CCCITMX
    double ccc_acceleration = 1.0;        // CCCACC
    TwoTerminalDcConverter rectifier;
    TwoTerminalDcConverter inverter;
    bool operator==(const TwoTerminalDcLine&) const = default;
};

}  // namespace velquin::sim
