// Voltage-source converter (VSC) DC lines: two converters joined by a DC
// cable. Each converter controls either the DC voltage or its active power
// on the DC side and either an AC voltage or its power factor on the AC
// side.
#pragma once

#include <array>
#include <string>

#include "model/types.hpp"

namespace velquin::sim {

enum VscDcControl : int {
    kVscOutOfService = 0,
    kVscDcVoltageControl = 1,  // DCSET in kV
    kVscPowerControl = 2,      // DCSET in MW injected into the AC bus
};

enum VscAcControl : int {
    kVscAcVoltageControl = 1,    // ACSET in pu
    kVscPowerFactorControl = 2,  // ACSET is the power factor
};

struct VscConverter {
    int bus = 0;                            // IBUS
    int dc_control = kVscOutOfService;      // TYPE: 0 out, 1 DC voltage, 2 MW
    int ac_control = kVscAcVoltageControl;  // MODE: 1 AC voltage, 2 power factor
    double dc_setpoint = 0.0;               // DCSET: kV (TYPE 1) or MW (TYPE 2)
    double ac_setpoint = 1.0;               // ACSET: pu voltage (MODE 1) or power factor (MODE 2)
    double loss_a = 0.0;                    // ALOSS, kW
    double loss_b = 0.0;                    // BLOSS, kW per A
    double min_loss = 0.0;                  // MINLOSS, kW
    double mva_rating = 0.0;                // SMAX, 0 = none
    double current_rating = 0.0;            // IMAX, A, 0 = none
    double power_weighting = 1.0;           // PWF: P against Q reduction at the rating
    double qmax = 9999.0;                   // MAXQ, Mvar
    double qmin = -9999.0;                  // MINQ, Mvar
    int regulated_bus = 0;                  // VSREG (REMOT of revision 33), 0 = own bus
    int regulated_node = 0;                 // NREG
    double rmpct = 100.0;                   // RMPCT: share of remote regulation, percent
    bool operator==(const VscConverter&) const = default;
};

struct VscDcLine {
    std::string name;         // NAME
    int status = 1;           // MDC: 1 in service, 0 out
    double resistance = 0.0;  // RDC, ohms
    Ownership ownership;
    std::array<VscConverter, 2> converters{};
    bool operator==(const VscDcLine&) const = default;
};

}  // namespace velquin::sim
