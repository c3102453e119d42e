// FACTS devices: a shunt element at the sending bus (STATCOM/SVC-like
// voltage control) and, when the terminal bus J is not 0, a series element
// between the two buses (UPFC, SSSC, IPFC).
#pragma once

#include <string>

namespace velquin::sim {

enum FactsMode : int {
    kFactsOutOfService = 0,
    kFactsNormal = 1,             // series and shunt in service
    kFactsSeriesBypassed = 2,     // shunt element only, as a STATCOM
    kFactsConstantImpedance = 3,  // series impedance SET1 + j SET2
    kFactsConstantVoltage = 4,    // series voltage SET1 pu at SET2 degrees
    kFactsIpfcMasterPq = 5,
    kFactsIpfcSlavePq = 6,
    kFactsIpfcMasterVoltage = 7,  // series voltage Vd = SET1, Vq = SET2
    kFactsIpfcSlaveVoltage = 8,
};

struct FactsDevice {
    std::string name;                  // NAME
    int sending_bus = 0;               // I
    int terminal_bus = 0;              // J, 0 for a shunt-only device
    int mode = kFactsNormal;           // MODE 0..8
    double p_desired = 0.0;            // PDES: active flow into the terminal end, MW
    double q_desired = 0.0;            // QDES, Mvar
    double voltage_setpoint = 1.0;     // VSET: sending-end voltage, pu
    double shunt_max = 9999.0;         // SHMX: shunt current limit, MVA at 1 pu
    double bridge_max = 9999.0;        // TRMX: active power through the DC bridge, MW
    double terminal_vmin = 0.9;        // VTMN, pu
    double terminal_vmax = 1.1;        // VTMX, pu
    double series_vmax = 1.0;          // VSMX, pu
    double series_imax = 0.0;          // IMX, MVA at 1 pu, 0 = none
    double dummy_reactance = 0.05;     // LINX, pu
    double rmpct = 100.0;              // RMPCT: share of remote voltage control, percent
    int owner = 1;                     // OWNER
    double set1 = 0.0;                 // SET1: R (mode 3), |V| (mode 4), Vd (modes 7, 8)
    double set2 = 0.0;                 // SET2: X (mode 3), angle (mode 4), Vq (modes 7, 8)
    int series_voltage_reference = 0;  // VSREF: 0 sending-end voltage, 1 series current
    int regulated_bus = 0;             // FCREG (REMOT of revision 33), 0 = sending bus
    int regulated_node = 0;            // NREG
    std::string master_name;           // MNAME: the IPFC master of a slave device
    bool operator==(const FactsDevice&) const = default;
};

}  // namespace velquin::sim
