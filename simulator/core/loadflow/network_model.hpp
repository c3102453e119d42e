// The network as the load flow sees it: in-service buses merged across
// zero-impedance ties into nodes, star points of three-winding transformers
// as extra nodes, the nodal admittance matrix, the specified injections, the
// voltage-regulating plants, the adjustable devices and the islands.
// Everything is in system-base per unit.
//
// A model has two parts. Its structure comes from the case's network data
// (everything but the solution fields, see solution_fields.hpp); its state
// (starting voltages, machine outputs and what derives from them) comes from
// the solution fields and is taken by take_solution_state, which
// build_network itself calls last. A model kept for an unchanged network
// and given a new state is therefore the very model a fresh build gives.
#pragma once

#include <cmath>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "loadflow/facts_device_model.hpp"
#include "loadflow/impedance_correction.hpp"
#include "loadflow/lcc_dc_line.hpp"
#include "loadflow/vsc_dc_line.hpp"
#include "loadflow/winding_flow_control.hpp"
#include "model/case.hpp"

namespace velquin::sim::loadflow {

// |z| without the overflow guard of std::abs: voltages and powers in per
// unit are far from overflow, and this is on the hot path.
inline double magnitude(Complex z) {
    return std::sqrt(z.real() * z.real() + z.imag() * z.imag());
}

struct BuildSettings {
    double zero_impedance_threshold = 0.0001;
};

// The case buses (indices) at the two sides of a stamp and the side its
// flow is metered at, for area interchange. The star point of a
// three-winding transformer stands for the bus of its non-metered winding.
struct StampEnds {
    int bus_a = -1, bus_b = -1;
    bool metered_at_b = false;
};

// One branch's contribution to the admittance matrix, with the positions of
// its four entries so that a changed tap can be re-stamped in place.
struct BranchStamp {
    int a = -1, b = -1;  // nodes
    Complex yaa, yab, yba, ybb;
    Complex series;          // series admittance (for the DC estimate)
    double shift_rad = 0.0;  // phase shift, side a leading
    double t1 = 1.0;         // ratio on side a (transformer windings)
    double t2 = 1.0;         // ratio on side b (transformer windings)
    int corrected = -1;      // index into NetworkModel::corrected_transformers
    // Only a place in the matrix pattern for devices whose injections at
    // the two nodes depend on each other's voltage; joins no islands.
    bool coupling = false;
    int paa = -1, pab = -1, pba = -1, pbb = -1;
    StampEnds ends;
};

// What holds a voltage through a PlantModel: the machines of a bus, or a
// device that regulates like one within its reactive limits.
enum class RegulatorKind {
    Machines,
    SwitchedShunt,  // a continuous switched shunt (MODSW 2)
    VscConverter,
    FactsShunt,  // the shunt element of a FACTS device
};

// A generating plant that holds a bus voltage (or the swing), or a device
// regulating like one.
struct PlantModel {
    int plant = -1;  // index into Case::plants, -1 when the bus has none
    int bus = -1;    // index into Case::buses
    int node = -1;
    int regulated_node = -1;
    double vs = 1.0;                // scheduled voltage, pu
    double p = 0.0;                 // scheduled active power, pu
    double qmax = 0.0, qmin = 0.0;  // pu, sums over in-service machines
    double weight = 1.0;            // share in its regulated bus's group
    bool swing = false;             // machines of a swing bus
    // A second swing bus of an island, solved as a generator bus.
    bool demoted_swing = false;
    // Stored reactive output of its machines, pu (for a warm start).
    double stored_q = 0.0;
    std::vector<int> machines;  // indices into Case::machines
    std::vector<double> machine_share;
    RegulatorKind kind = RegulatorKind::Machines;
    int device = -1;  // for other kinds: index into the model's list of that kind
    // The limits are susceptances (pu at 1 pu): at a limit the device is a
    // fixed shunt drawing qmax |V|^2 or qmin |V|^2.
    bool susceptance_limits = false;
    // Reactive output at the upper or lower limit, pu, at the magnitude vm
    // of its own node.
    double limit_q(bool upper, double vm) const {
        const double q = upper ? qmax : qmin;
        return susceptance_limits ? q * vm * vm : q;
    }
};

// A transformer winding whose ratio holds a bus voltage within a band.
struct TapControl {
    int transformer = -1;
    int winding = 0;  // 0-based
    int stamp = -1;
    int controlled_node = -1;
    bool controlled_on_tap_side = false;  // negative CONT
    double vmin = 0.9, vmax = 1.1;        // band, pu
    double rmin = 0.9, rmax = 1.1;        // ratio limits, pu of bus base
    double step = 0.0;                    // ratio step, pu (0: continuous)
    double ratio = 1.0;                   // present ratio, pu
    double bus_base_kv = 0.0;
    Complex load_drop{};                          // CR + j CX, pu: the voltage held is |V - load_drop * I|
    int last_direction = 0;                       // of the last move in this solution
    int last_steps = 0;                           // its size in steps
    double last_ratio = 0.0, last_voltage = 0.0;  // before it
    bool locked = false;                          // stopped after reversing direction
    bool moved = false;
};

// A switched shunt that may step its blocks to hold a voltage band, or a
// device's reactive output (MODSW 3, 4, 6) or another shunt's admittance
// (MODSW 5) within a band of that device's range.
struct ShuntControl {
    int shunt = -1;  // index into Case::switched_shunts
    int node = -1;
    int regulated_node = -1;
    int mode = 1;             // MODSW
    bool continuous = false;  // MODSW 2
    // MODSW 2 regulating within the Newton solution: its regulator in
    // NetworkModel::plants (it holds its admittance until its voltage
    // leaves the band, then holds the band's edge).
    int plant = -1;
    int controlled_plant = -1;  // MODSW 3, 4, 6: index into NetworkModel::plants
    int controlled_shunt = -1;  // MODSW 5: index into NetworkModel::shunts
    double vlo = 1.0, vhi = 1.0;
    double b = 0.0;  // present susceptance, pu
    double bmin = 0.0, bmax = 0.0;
    std::vector<double> levels;  // reachable susceptances, ascending (discrete)
    int last_direction = 0;
    bool locked = false;
    bool moved = false;
};

// An induction machine's steady state at its bus (see docs/loadflow.md).
struct InductionModel {
    int machine = -1;
    int node = -1;
    double p = 0.0;           // set point, pu of system base (positive: motor)
    bool mechanical = true;   // PCODE 1
    double base_ratio = 1.0;  // machine MVA base / system base
    double v_scale = 1.0;     // bus base kV / rated kV
    Complex zs, zm, zr1;      // stator, magnetising, rotor (R1 without slip)
    Complex zr2;              // second cage, R part without slip
    bool has_rotor = false, has_second_cage = false;
};

struct JacobianLayout;

struct NetworkModel {
    double base_mva = 100.0;
    int node_count = 0;

    std::vector<int> bus_node;   // per case bus: node, or -1 when out of service
    std::vector<int> node_bus;   // per node: a case bus index, -1 for a star point
    std::vector<int> node_star;  // per node: transformer index of a star point, else -1
    std::vector<int> star_node;  // per transformer: its star node, else -1
    std::vector<int> node_island;
    std::vector<char> node_active;  // in an island with a swing bus
    std::vector<char> node_swing;
    std::vector<int> island_swing;  // per island: swing node or -1
    int island_count = 0;

    // Nodal admittance matrix, compressed rows with sorted columns.
    std::vector<int> y_start, y_col, y_diag;
    std::vector<Complex> y_val;
    std::vector<BranchStamp> stamps;
    std::vector<Complex> y_shunt;    // per node: shunts, charging, admittance loads
    std::vector<double> b_switched;  // per node: switched shunt susceptance

    // Specified injections: constant part (generation minus load) and the
    // constant-current part of the loads (consumed, scales with |V|).
    // s_load is the loads' share of s_base (network data); s_base adds the
    // machines' outputs (state).
    std::vector<Complex> s_load;
    std::vector<Complex> s_base;
    std::vector<Complex> i_load;

    std::vector<PlantModel> plants;
    std::vector<TapControl> taps;
    std::vector<ShuntControl> shunts;
    std::vector<InductionModel> induction;
    std::vector<int> stamp_transformer;  // per stamp: transformer index or -1
    std::vector<int> stamp_winding;      // per stamp: winding of that transformer
    // Transformers with impedance correction tables.
    std::vector<CorrectedTransformer> corrected_transformers;
    std::vector<FlowControl> flow_controls;  // windings holding a flow (COD 2 and 3)
    // DC lines and FACTS devices; their regulators are in `plants`.
    std::vector<LccLineData> lcc_lines;
    std::vector<VscLineModel> vsc_lines;
    std::vector<FactsModel> facts;

    // Machines at load buses (machine, node): fixed injections.
    std::vector<std::pair<int, int>> fixed_machines;

    // Starting voltages stored in the case, per node, and the stored
    // magnitude and angle (degrees) they were made from.
    std::vector<Complex> v_case;
    std::vector<std::pair<double, double>> v_case_source;

    // One line per thing the solution does not model or had to assume.
    std::vector<std::string> notes;

    // The Jacobian's layout, made by the first solver of this model (it
    // depends on the structure only).
    std::shared_ptr<JacobianLayout> jacobian;

    // Rebuilds y_val from the stamps, shunts and switched shunts.
    void refresh_admittance();
    // Recomputes a transformer winding's stamp for a new ratio (pu) or a
    // new phase shift (radians), with its impedance correction.
    void set_tap_ratio(int stamp, double ratio_pu);
    void set_phase_shift(int stamp, double shift_rad);
    // Recomputes the series admittances of a transformer with impedance
    // correction from its windings' present ratios and angles.
    void refresh_correction(int corrected);
    // The threshold a zero series impedance is replaced by.
    double zero_impedance_threshold = 0.0001;
};

class BusIndex;

// `index` must be an index of c.buses.
NetworkModel build_network(const Case& c, const BuildSettings& settings, const BusIndex& index);
NetworkModel build_network(const Case& c, const BuildSettings& settings);

// Takes the state of `c` (its solution fields) into a model built from a
// case with the same network data: starting voltages, machine outputs,
// plant set points taken from bus voltages, and the per-solution state of
// the controls. Every state-derived member is computed afresh, in the order
// build_network computes it.
void take_solution_state(NetworkModel& m, const Case& c);

}  // namespace velquin::sim::loadflow
