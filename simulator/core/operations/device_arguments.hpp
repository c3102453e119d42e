// Arguments of the operations on DC lines, FACTS devices, areas,
// inter-area transfers and impedance correction tables. As for the other
// elements, every field a caller may leave out is optional: on an existing
// element only the fields given change; a new one takes the documented
// default for the others.
#pragma once

#include <string>
#include <vector>

#include "operations/element_arguments.hpp"

namespace velquin::sim {

struct TwoTerminalDcLineData {
    std::string name;
    OptionalInt control_mode{};             // MDC
    OptionalInt rectifier_bus{};            // IPR, needed to create the line
    OptionalInt inverter_bus{};             // IPI, needed to create the line
    OptionalInt ccc_iteration_limit{};      // CCCITMX
    OptionalReal setpoint{};                // SETVL
    OptionalReal scheduled_kv{};            // VSCHD
    OptionalReal mode_switch_kv{};          // VCMOD
    OptionalReal compounding_resistance{};  // RCOMP
    OptionalReal current_margin{};          // DELTI
    OptionalReal resistance{};              // RDC
    OptionalReal min_compounded_kv{};       // DCVMIN
    OptionalReal ccc_acceleration{};        // CCCACC
    OptionalText metered_end{};             // METER
};

struct TwoTerminalDcConverterData {
    std::string line_name;
    int end = 0;                            // 0 rectifier, 1 inverter
    OptionalInt bus{};                      // IP
    OptionalInt bridges{};                  // NB
    OptionalInt firing_angle_bus{};         // IC
    OptionalInt tap_control_from_bus{};     // IF
    OptionalInt tap_control_to_bus{};       // IT
    OptionalInt firing_angle_node{};        // ND
    OptionalReal max_angle_deg{};           // ANMX
    OptionalReal min_angle_deg{};           // ANMN
    OptionalReal commutating_resistance{};  // RC
    OptionalReal commutating_reactance{};   // XC
    OptionalReal base_kv{};                 // EBAS
    OptionalReal transformer_ratio{};       // TR
    OptionalReal tap{};                     // TAP
    OptionalReal tap_max{};                 // TMX
    OptionalReal tap_min{};                 // TMN
    OptionalReal tap_step{};                // STP
    OptionalReal capacitor_reactance{};     // XCAP
    OptionalText tap_control_ckt{};         // ID
};

struct VscDcLineData {
    std::string name;
    OptionalInt status{};  // MDC
    OwnershipData ownership{};
    OptionalReal resistance{};  // RDC
};

struct VscConverterData {
    std::string line_name;
    int converter = 1;               // 1 or 2
    OptionalInt bus{};               // IBUS, needed when the line is new
    OptionalInt dc_control{};        // TYPE
    OptionalInt ac_control{};        // MODE
    OptionalInt regulated_bus{};     // VSREG
    OptionalInt regulated_node{};    // NREG
    OptionalReal dc_setpoint{};      // DCSET
    OptionalReal ac_setpoint{};      // ACSET
    OptionalReal loss_a{};           // ALOSS
    OptionalReal loss_b{};           // BLOSS
    OptionalReal min_loss{};         // MINLOSS
    OptionalReal mva_rating{};       // SMAX
    OptionalReal current_rating{};   // IMAX
    OptionalReal power_weighting{};  // PWF
    OptionalReal qmax{};             // MAXQ
    OptionalReal qmin{};             // MINQ
    OptionalReal rmpct{};            // RMPCT
};

struct FactsDeviceData {
    std::string name;
    OptionalInt sending_bus{};   // I, needed to create the device
    OptionalInt terminal_bus{};  // J
    OptionalInt mode{};
    OptionalInt owner{};
    OptionalInt series_voltage_reference{};  // VSREF
    OptionalInt regulated_bus{};             // FCREG
    OptionalInt regulated_node{};            // NREG
    OptionalReal p_desired{};                // PDES
    OptionalReal q_desired{};                // QDES
    OptionalReal voltage_setpoint{};         // VSET
    OptionalReal shunt_max{};                // SHMX
    OptionalReal bridge_max{};               // TRMX
    OptionalReal terminal_vmin{};            // VTMN
    OptionalReal terminal_vmax{};            // VTMX
    OptionalReal series_vmax{};              // VSMX
    OptionalReal series_imax{};              // IMX
    OptionalReal dummy_reactance{};          // LINX
    OptionalReal rmpct{};                    // RMPCT
    OptionalReal set1{};                     // SET1
    OptionalReal set2{};                     // SET2
    OptionalText master_name{};              // MNAME
};

struct AreaData {
    int number = 0;
    OptionalInt swing_bus{};      // ISW
    OptionalReal desired_mw{};    // PDES
    OptionalReal tolerance_mw{};  // PTOL
    OptionalText name{};          // ARNAME
};

struct InterAreaTransferData {
    int from_area = 0;
    int to_area = 0;
    std::string id = "1";
    OptionalReal mw{};  // PTRAN
};

// Point k of the table takes the values given at position k; a point given
// with T and both factor parts 0 ends the table there.
struct CorrectionPointData {
    OptionalReal t{};
    OptionalReal factor_re{};
    OptionalReal factor_im{};
};

struct ImpedanceCorrectionData {
    int number = 0;
    std::vector<CorrectionPointData> points;
};

}  // namespace velquin::sim
