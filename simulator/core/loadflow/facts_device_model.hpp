// FACTS devices in the network model. The shunt element (SHMX > 0, modes 1
// to 4 and devices without a terminal bus) holds the voltage of its
// sending bus, or of FCREG, at VSET like a plant, within a susceptance of
// +-SHMX (Mvar at 1 pu): at a limit it is a fixed shunt. The series
// element: mode 1 delivers PDES + j QDES at the terminal bus J through a
// series voltage it inserts, the sending bus I supplying the same active
// power (through the shunt element's DC link) and the reactive power
// Im(V_I conj(I)) of the series current I, a lossless power-injection
// model; mode 2 bypasses it (I and J tied); mode 3 is the series impedance
// SET1 + j SET2; mode 4 inserts the series voltage SET1 at SET2 degrees
// from the sending-end voltage ahead of the reactance LINX. The IPFC modes
// 5 to 8 are not modelled.
#pragma once

#include <string>

#include "loadflow/branch_admittance.hpp"
#include "model/case.hpp"

namespace velquin::sim::loadflow {

struct FactsModel {
    int device = -1;                          // index into Case::facts_devices
    int sending_bus = -1, terminal_bus = -1;  // case bus indices, -1 without
    int sending_node = -1, terminal_node = -1;
    bool scheduled_flow = false;  // mode 1
    Complex schedule{};           // PDES + j QDES, pu
    int plant = -1;               // the shunt element's regulator
};

// Whether the device's series element joins its two buses: tied (mode 2),
// a branch (modes 3 and 4) or a scheduled flow (mode 1).
bool facts_bypassed(const FactsDevice& f);
bool facts_has_series_branch(const FactsDevice& f);
bool facts_has_shunt(const FactsDevice& f);

// The series element of mode 3 or 4 as a two-port, system-base pu; a zero
// impedance is replaced by `zero_impedance`. `note` names what was
// assumed.
TwoPort facts_series_two_port(const FactsDevice& f, double zero_impedance, std::string& note);

// The series element's voltage (pu) and current (pu) of mode 1, for the
// limit report.
struct FactsSeriesState {
    double voltage = 0.0, current = 0.0, bridge_mw = 0.0;
};
FactsSeriesState facts_series_state(const FactsDevice& f, Complex schedule, Complex v_sending,
                                    Complex v_terminal, double base_mva);

}  // namespace velquin::sim::loadflow
