// Two- and three-winding transformers, kept with their data codes and the
// numbers as given (CW, CZ and CM decide the units), so that writing a case
// out reproduces what was read. The load flow converts to system-base
// per unit itself.
//
// Electrical model of a two-winding transformer, in system-base per unit:
// an ideal ratio t1 e^{j theta} on the winding-1 side and t2 on the winding-2
// side of the series admittance y, with the magnetising admittance Ym
// between the winding-1 bus and ground, outside the ratio:
//   Y11 = y / |t1|^2 + Ym     Y12 = -y / (conj(t1 e^{j theta}) t2)
//   Y22 = y / t2^2            Y21 = -y / (t1 e^{j theta} t2)
// t1, t2 come from WINDV1, WINDV2 by CW (1: pu of the bus base voltage;
// 2: kV, divided by the bus base kV; 3: pu of NOMV, times NOMV over the bus
// base kV, NOMV 0 meaning the bus base). theta is ANG1 (positive: the
// winding-1 bus voltage leads). With CM 1, Ym = MAG1 + j MAG2 in pu on the
// system base (B normally negative, inductive). A three-winding transformer
// is three such windings meeting at a star point.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "model/types.hpp"

namespace velquin::sim {

struct Winding {
    double ratio = 1.0;       // WINDV: pu or kV according to CW
    double nominal_kv = 0.0;  // NOMV, 0 = bus base voltage
    double angle_deg = 0.0;   // ANG
    Ratings ratings{};
    int control_mode = 0;              // COD
    int controlled_bus = 0;            // CONT (signed)
    int controlled_node = 0;           // NOD
    double rmax = 1.1;                 // RMA
    double rmin = 0.9;                 // RMI
    double vmax = 1.1;                 // VMA
    double vmin = 0.9;                 // VMI
    int tap_positions = 33;            // NTP
    int correction_table = 0;          // TAB
    Complex load_drop_compensation{};  // CR + j CX
    double connection_angle = 0.0;     // CNXA
    bool operator==(const Winding&) const = default;
};

// Impedance measured between two windings' buses, in the units of CZ.
struct WindingPairImpedance {
    double r = 0.0;
    double x = 0.0;
    double sbase = 100.0;  // winding MVA base used by CZ 2 and 3
    bool operator==(const WindingPairImpedance&) const = default;
};

struct Transformer {
    int bus1 = 0;  // I
    int bus2 = 0;  // J
    int bus3 = 0;  // K; 0 for a two-winding transformer
    std::string ckt = "1";
    int winding_code = 1;      // CW
    int impedance_code = 1;    // CZ
    int magnetizing_code = 1;  // CM
    double mag1 = 0.0;
    double mag2 = 0.0;
    int non_metered_winding = 2;  // NMETR
    std::string name;
    // Two-winding: 1 in service, 0 out. Three-winding: 0 all out, 1 all in,
    // 2 only winding 2 out, 3 only winding 3 out, 4 only winding 1 out.
    int status = 1;
    Ownership ownership;
    std::string vector_group;
    int impedance_correction_code = 0;  // ZCOD
    // [0] is 1-2; for three windings [1] is 2-3 and [2] is 3-1.
    std::array<WindingPairImpedance, 3> impedance{};
    double star_vm = 1.0;      // VMSTAR
    double star_va_deg = 0.0;  // ANSTAR
    // A two-winding transformer uses windings[0] fully and only ratio and
    // nominal_kv of windings[1].
    std::array<Winding, 3> windings{};

    bool is_three_winding() const { return bus3 != 0; }
    bool operator==(const Transformer&) const = default;
};

struct CorrectionPoint {
    double t = 0.0;  // ratio (pu) or angle (degrees)
    Complex factor{1.0, 0.0};
    bool operator==(const CorrectionPoint&) const = default;
};

struct ImpedanceCorrectionTable {
    int number = 0;
    std::vector<CorrectionPoint> points;
    bool operator==(const ImpedanceCorrectionTable&) const = default;
};

}  // namespace velquin::sim
