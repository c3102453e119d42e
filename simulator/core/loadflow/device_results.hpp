// What a solution reports of the DC lines and FACTS devices it modelled:
// their operating points at the solved voltages (the case has no fields
// for them).
#pragma once

#include <array>
#include <string>

namespace velquin::sim {

// A two-terminal LCC DC line. Powers at the AC buses: the rectifier draws
// rectifier_mw + j rectifier_mvar, the inverter delivers inverter_mw and
// draws inverter_mvar.
struct DcLineResult {
    std::string name;
    double alpha_deg = 0.0, gamma_deg = 0.0;  // firing and extinction angles
    double overlap_rectifier_deg = 0.0, overlap_inverter_deg = 0.0;
    double id_ka = 0.0;
    double vdr_kv = 0.0, vdi_kv = 0.0;  // DC voltages at the rectifier and inverter
    double rectifier_mw = 0.0, rectifier_mvar = 0.0;
    double inverter_mw = 0.0, inverter_mvar = 0.0;
    double rectifier_tap = 1.0, inverter_tap = 1.0;
    bool inverter_controls_current = false;  // rectifier at its minimum firing angle
    bool at_angle_limit = false;             // rectifier at its maximum or inverter at its maximum
    bool current_mode = false;               // power order turned into a current order
    bool feasible = true;
};

// A VSC DC line: each converter's injection into its AC bus.
struct VscLineResult {
    std::string name;
    std::array<double, 2> mw{}, mvar{}, loss_mw{}, dc_kv{};
    std::array<bool, 2> at_limit{};  // reactive output held at a limit
    double id_ka = 0.0;              // from the power-controlling converter
};

// A FACTS device: its shunt element's output and, for a scheduled flow,
// the series element's inserted voltage and current.
struct FactsResult {
    std::string name;
    double shunt_mvar = 0.0;  // injected by the shunt element
    bool shunt_at_limit = false;
    double series_voltage_pu = 0.0, series_current_pu = 0.0, bridge_mw = 0.0;
};

}  // namespace velquin::sim
