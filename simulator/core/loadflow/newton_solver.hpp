// Newton-Raphson in polar form on a NetworkModel, with PV/PQ switching at
// reactive limits, plants sharing a regulated bus, and optional step-length
// control.
//
// The Jacobian has one pattern per network model, whatever the regime:
// every node of a solved island (but the swing) has its angle and magnitude
// unknowns and its P and Q equations, and every group of plants that share
// a remote regulated bus has its reactive output unknown and one equation.
// The regime (which voltages are held, which plants sit at a limit) only
// changes values: an unknown the regime does not have is fixed by an
// identity row (a held voltage, a group's output while the group does not
// regulate remotely) and its column is zero elsewhere, so the system solved
// is exactly the regime's own. The matrix is assembled straight into
// compressed form through positions computed once, and factorised with KLU
// with the pivots of its canonical matrix (see sparse_lu.hpp).
#pragma once

#include <functional>
#include <vector>

#include "loadflow/device_injections.hpp"
#include "loadflow/jacobian_layout.hpp"
#include "loadflow/network_model.hpp"
#include "loadflow/sparse_lu.hpp"

namespace velquin::sim::loadflow {

enum class StepControl { None, OnDemand, EveryIteration };

struct NewtonSettings {
    double tolerance = 1e-3;  // largest mismatch, pu
    int max_iterations = 20;
    StepControl step_control = StepControl::None;
    // -1: reactive limits never applied; 0: from the start; n > 0: from
    // iteration n, or earlier once the largest mismatch is below
    // var_limit_mismatch.
    int var_limits_from = -1;
    double var_limit_mismatch = 0.01;
    double divergence = 5.0;  // largest mismatch that counts as blown up, pu
    double blowup_vm = 5.0;   // voltage magnitude beyond which the solution blew up
    // Start plants whose stored output sits at a reactive limit (with the
    // regulated voltage on the matching side) at that limit.
    bool warm_limits = false;
};

enum class NewtonOutcome { Converged, IterationLimit, BlownUp, StepControlStopped, Singular };

struct IterationRecord {
    int iteration = 0;
    double max_p = 0.0, max_q = 0.0;  // pu
    int p_node = -1, q_node = -1;
    double step = 1.0;       // step length taken to reach this point
    int limit_switches = 0;  // plants that changed state here
};

enum class PlantState { Regulating, AtMax, AtMin };

// Plants of active islands that hold the voltage of one bus (not a swing
// bus) together, in plant order; `vs` is the first plant's set point.
struct RegulationGroup {
    int regulated = -1;
    double vs = 1.0;
    std::vector<int> plants;
};
std::vector<RegulationGroup> regulation_groups(const NetworkModel& m);

// The state each plant starts a solution in: at a limit when it has no
// reactive range, or (warm limits) when its stored output sits at a limit
// and its regulated voltage is on the matching side of the set point.
std::vector<PlantState> starting_plant_states(const NetworkModel& m,
                                              const std::vector<RegulationGroup>& groups,
                                              const NewtonSettings& settings);

class NewtonSolver {
public:
    NewtonSolver(NetworkModel& model, SparseLu& lu);

    // Node voltages; set them before solve(). Regulated nodes are moved to
    // their set points by solve().
    std::vector<Complex> v;

    // `resume` keeps the plants' limit states of the previous solve (after
    // an adjustment of taps or shunts) and applies limits from the start.
    NewtonOutcome solve(const NewtonSettings& settings,
                        const std::function<void(const IterationRecord&)>& report, bool resume = false);
    // Largest mismatch of the present voltages as they stand (held
    // voltages not moved to their set points), plants regulating.
    IterationRecord mismatch_as_is(const NewtonSettings& settings);

    // Largest mismatch at the present voltages with the present regime.
    IterationRecord mismatch_summary();
    // Sum of squared mismatches (the merit function of step control).
    double merit() const { return merit_; }
    int iterations() const { return iterations_; }

    // Generation that balances each plant after a solution, pu; `evaluate`
    // recomputes the injections first (needed after step control tried
    // other voltages).
    struct PlantOutput {
        double p = 0.0, q = 0.0;
    };
    std::vector<PlantOutput> plant_outputs(bool evaluate = true);
    const std::vector<PlantState>& plant_states() const { return state_; }
    // Nodes whose voltage magnitude is held by a plant or a swing bus.
    bool voltage_held(int node) const;
    // The phases of one iteration, for measurements: prepare() sets up the
    // regime and pattern, then assemble() computes mismatches and the
    // Jacobian, factorise() factorises it and correction() solves for the
    // Newton step.
    void prepare(const NewtonSettings& settings);
    void assemble() { evaluate(true); }
    bool factorise(bool reuse_pivots) { return lu_.factor(j_val_, reuse_pivots); }
    void correction();
    std::size_t jacobian_nonzeros() const { return j_val_.size(); }
    // The assembled system, for checks: Jacobian rows (compressed), the
    // mismatch per row, and the unknown (column) of each node's angle and
    // magnitude (-1 when the node has none).
    const std::vector<int>& jacobian_row_start() const;
    const std::vector<int>& jacobian_columns() const;
    const std::vector<double>& jacobian_values() const { return j_val_; }
    const std::vector<double>& mismatches() const { return f_; }
    int angle_column(int node) const { return col_t_[static_cast<std::size_t>(node)]; }
    int magnitude_column(int node) const { return col_v_[static_cast<std::size_t>(node)]; }
    int unknowns() const { return rows_; }

    // Lets a device that so far held a fixed output (a continuous switched
    // shunt within its band, limits equal) regulate at vs within the
    // limits its model now has; the next solve (resumed) takes it up.
    void regulate(int plant, double vs);
    // Takes up changed reactive limits of the model's plants.
    void limits_changed() { build_regime(); }

private:
    void initialise_states(const NewtonSettings& s);
    void build_regime();
    // Makes the Jacobian's pattern and its canonical matrix known to the
    // sparse LU (once per solver), then marks the regime as assembled.
    void build_pattern();
    // The Jacobian at 1 pu and zero angle everywhere, every voltage free and
    // no group regulating remotely: a function of the network alone, whose
    // pivots every factorisation starts from.
    std::vector<double> canonical_jacobian();
    void evaluate(bool with_jacobian);
    double evaluate_merit_at(const std::vector<Complex>& v);
    // Limit checks of machine plants and of other regulating devices.
    int check_limits(bool machines, bool devices);
    void apply_step(const std::vector<Complex>& from, double alpha, std::vector<Complex>& to,
                    std::vector<double>& qg_to) const;
    Complex node_injection(std::size_t i, double vm) const;
    // Subtracts the derivatives of device injections from the Jacobian.
    void add_device_derivatives();

    NetworkModel& m_;
    SparseLu& lu_;

    std::vector<RegulationGroup> regulation_;
    // Regime: which equations and unknowns exist.
    std::vector<PlantState> state_;
    std::vector<int> switches_;
    std::vector<int> row_p_, row_q_, col_t_, col_v_;
    std::vector<double> v_fixed_;  // magnitude of held nodes, 0 when free
    std::vector<double> q_fixed_;  // reactive output of plants at limits, per node
    std::vector<double> b_fixed_;  // susceptance of devices at limits, per node
    struct Group {
        int regulated = -1;
        double vs = 1.0;
        std::vector<int> plants;      // all plants regulating this node
        std::vector<int> regulating;  // those not at a limit
        int column = -1;              // shared reactive output unknown
        bool local = true;
    };
    std::vector<Group> groups_;
    std::vector<int> node_group_member_;    // group whose shared output appears at this node
    std::vector<double> node_group_share_;  // its share there
    std::vector<double> qg_;                // shared reactive output per group (pu)
    std::vector<int> active_nodes_;
    std::vector<int> induction_at_;  // per node: first induction model or -1
    int rows_ = 0;

    // The Jacobian's fixed layout and pattern (the model's), and its values.
    JacobianLayout& layout_;
    std::vector<double> j_val_;
    bool factorisable_ = false;  // pattern and canonical pivots given to the LU
    bool canonical_ = false;     // evaluating the canonical matrix
    bool pattern_dirty_ = true;

    std::vector<double> f_;       // mismatch per row
    std::vector<double> step_;    // Newton correction per unknown
    std::vector<Complex> s_;      // computed injections per node
    std::vector<double> inv_vm_;  // 1/|V| per node during assembly
    double merit_ = 0.0;
    int iterations_ = 0;
    DeviceInjections devices_;  // DC line converters and FACTS series elements
};

}  // namespace velquin::sim::loadflow
