// Two-terminal line-commutated (LCC) DC lines: the converters' steady-state
// equations and the line's controls, as functions of the AC voltage
// magnitudes at the two converter buses. Textbook six-pulse bridge
// equations, NB bridges in series at each end:
//   E   = V EBAS TR / TAP          valve-side AC voltage, kV (V in pu)
//   Vdo = NB (3 sqrt 2 / pi) E     no-load DC voltage, kV
//   Vd  = Vdo cos(a) - (NB 3 XC / pi + NB 2 RC) Id
// with a the rectifier's firing angle alpha or the inverter's extinction
// angle gamma, Id in kA. The overlap angle u follows from
//   cos(a + u) = cos(a) - 2 (NB 3 XC / pi) Id / Vdo
// and the converter's power factor angle phi from
//   tan(phi) = (2u + sin 2a - sin 2(a + u)) / (cos 2a - cos 2(a + u)),
// both converters drawing Q = P tan(phi) from the AC side, P being the AC
// power (the DC power plus the loss in RC).
//
// Controls: in normal operation the inverter runs at its minimum
// extinction angle and sets the DC voltage; the rectifier's firing angle
// sets the current that meets the order (MDC 1: SETVL MW at the rectifier's
// DC terminal, or at the inverter's when negative; MDC 2: SETVL A; in power
// control a compounded voltage below VCMOD turns the order into the
// current SETVL / VSCHD). When the rectifier would need a firing angle
// below its minimum it stays there and sets the voltage, and the inverter
// takes the current (the order less the margin DELTI); where the inverter
// would then need less than its minimum angle, both ends sit at their
// minimum angles and the circuit sets a current between the two orders. A
// firing angle above the maximum stays at the maximum, the inverter at its
// minimum, the circuit setting the current.
// The regime (and the current order below VCMOD) is held through a Newton
// solution, so that the converters' powers are smooth functions of the
// voltages, and chosen again between solutions.
#pragma once

#include <string>

#include "loadflow/bus_index.hpp"
#include "model/case.hpp"

namespace velquin::sim::loadflow {

struct LccConverterData {
    int bus = -1;   // index into Case::buses
    int node = -1;  // its node in the network model
    double bridges = 1.0;
    double min_angle = 0.0, max_angle = 0.0;  // radians
    double reactance = 0.0;                   // XC per bridge, ohms
    double resistance = 0.0;                  // RC per bridge, ohms
    double base_kv = 0.0;                     // EBAS, or the bus base
    double ratio = 1.0;                       // TR
    double tap = 1.0, tap_min = 0.51, tap_max = 1.5, tap_step = 0.00625;
};

enum class LccRegime {
    Normal,           // rectifier controls the current, inverter at its minimum angle
    InverterCurrent,  // rectifier at its minimum angle, inverter controls the current
    MinimumAngles,    // both at their minimum angles: the current lies between the two orders
    AngleLimits,      // rectifier at its maximum, inverter at its minimum angle
};

struct LccLineData {
    int line = -1;  // index into Case::two_terminal_dc_lines
    std::string name;
    int mode = 0;                 // MDC
    double setpoint = 0.0;        // SETVL
    double resistance = 0.0;      // RDC, ohms
    double scheduled_kv = 0.0;    // VSCHD
    double mode_switch_kv = 0.0;  // VCMOD
    double compounding = 0.0;     // RCOMP, ohms
    double margin = 0.0;          // DELTI, pu of the order
    bool metered_at_inverter = true;
    LccConverterData rectifier, inverter;
    bool taps_moved = false;
    LccRegime regime = LccRegime::Normal;
    bool current_order = false;  // power order turned into a current order (VCMOD)
    int regime_changes = 0;      // in this solution
};

// The data of a line, or an explanation in `problem` of why it cannot
// carry power (left blocked). `index` is the index of `c.buses`.
LccLineData lcc_line_data(const Case& c, const BusIndex& index, std::size_t line, std::string& problem);

// The solved operating point of a line for the two AC voltage magnitudes.
struct LccOperatingPoint {
    double id = 0.0;                  // DC current, kA
    double vdr = 0.0, vdi = 0.0;      // DC voltages at the two terminals, kV
    double alpha = 0.0, gamma = 0.0;  // radians
    double overlap_r = 0.0, overlap_i = 0.0;
    double pr = 0.0, qr = 0.0;               // drawn by the rectifier from its AC bus, MW / Mvar
    double pi = 0.0, qi = 0.0;               // delivered by the inverter (P) and drawn (Q), MW / Mvar
    bool inverter_controls_current = false;  // the rectifier sits at its minimum firing angle
    bool rectifier_at_max_angle = false;
    bool inverter_at_max_angle = false;
    bool current_mode = false;  // power order turned into a current order (VCMOD)
    bool feasible = true;       // an order the line can carry
};

// The operating point in the line's present regime.
LccOperatingPoint solve_lcc(const LccLineData& d, double vr, double vi);

// The regime and current order the controls choose at these voltages.
void choose_lcc_regime(const LccLineData& d, double vr, double vi, LccRegime& regime, bool& current_order);

// No-load DC voltage of a converter at AC voltage vm (pu), kV.
double no_load_voltage(const LccConverterData& c, double vm);
// Reactive power a converter draws for AC power p (MW) at angle a, its
// no-load voltage vdo and current id (the textbook power-factor formula).
double converter_reactive_power(const LccConverterData& c, double p, double angle, double vdo, double id,
                                double* overlap = nullptr);

// Taps that bring the rectifier's firing angle within its range and the
// inverter's compounded DC voltage to its schedule (one tap position away
// at most from that aim), for the solved voltages. Returns how many taps
// moved.
int adjust_lcc_taps(LccLineData& d, double vr, double vi);

}  // namespace velquin::sim::loadflow
