#include "loadflow/newton_solver.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "loadflow/device_injections.hpp"
#include "loadflow/induction_model.hpp"

namespace velquin::sim::loadflow {

namespace {
// A plant changes between regulating and limited at most this often in one
// solution; after that it stays where it is, so that limits cannot cycle.
constexpr int kMaxStateChanges = 6;
constexpr double kLimitTolerance = 1e-6;  // pu of reactive power
constexpr double kVoltageTolerance = 1e-6;
constexpr int kMaxBacktracks = 10;
constexpr double kDerivativeStep = 1e-6;
}  // namespace

std::vector<RegulationGroup> regulation_groups(const NetworkModel& m) {
    std::vector<RegulationGroup> groups;
    std::vector<int> group_of_node(static_cast<std::size_t>(m.node_count), -1);
    for (std::size_t p = 0; p < m.plants.size(); ++p) {
        const PlantModel& pm = m.plants[p];
        if (pm.swing || !m.node_active[static_cast<std::size_t>(pm.node)]) continue;
        const auto r = static_cast<std::size_t>(pm.regulated_node);
        if (m.node_swing[r]) continue;  // absorbed by the swing bus
        if (group_of_node[r] < 0) {
            group_of_node[r] = static_cast<int>(groups.size());
            RegulationGroup g;
            g.regulated = pm.regulated_node;
            g.vs = pm.vs;
            groups.push_back(g);
        }
        groups[static_cast<std::size_t>(group_of_node[r])].plants.push_back(static_cast<int>(p));
    }
    return groups;
}

std::vector<PlantState> starting_plant_states(const NetworkModel& m,
                                              const std::vector<RegulationGroup>& groups,
                                              const NewtonSettings& s) {
    std::vector<PlantState> states(m.plants.size(), PlantState::Regulating);
    for (const RegulationGroup& g : groups) {
        // The stored state tells which plants the last solution held at a
        // limit; starting them there saves the switching (a wrong guess is
        // undone by the usual checks).
        const double vr = magnitude(m.v_case[static_cast<std::size_t>(g.regulated)]);
        for (int p : g.plants) {
            const PlantModel& pm = m.plants[static_cast<std::size_t>(p)];
            // Devices other than machines always keep their limits.
            if (s.var_limits_from < 0 && pm.kind == RegulatorKind::Machines) continue;
            auto& st = states[static_cast<std::size_t>(p)];
            if (pm.qmax - pm.qmin <= kLimitTolerance) {
                // No reactive range: it cannot hold a voltage at all.
                st = PlantState::AtMax;
                continue;
            }
            if (!s.warm_limits) continue;
            const double vm = magnitude(m.v_case[static_cast<std::size_t>(pm.node)]);
            if (pm.stored_q >= pm.limit_q(true, vm) - kLimitTolerance && vr < g.vs - kVoltageTolerance)
                st = PlantState::AtMax;
            else if (pm.stored_q <= pm.limit_q(false, vm) + kLimitTolerance && vr > g.vs + kVoltageTolerance)
                st = PlantState::AtMin;
        }
    }
    return states;
}

NewtonSolver::NewtonSolver(NetworkModel& model, SparseLu& lu)
    : m_(model),
      lu_(lu),
      regulation_(regulation_groups(model)),
      layout_(jacobian_layout(model, regulation_)) {
    const std::size_t n = static_cast<std::size_t>(m_.node_count);
    state_.assign(m_.plants.size(), PlantState::Regulating);
    switches_.assign(m_.plants.size(), 0);
    induction_at_.assign(n, -1);
    for (std::size_t k = m_.induction.size(); k-- > 0;)
        if (m_.node_active[static_cast<std::size_t>(m_.induction[k].node)])
            induction_at_[static_cast<std::size_t>(m_.induction[k].node)] = static_cast<int>(k);
    for (const RegulationGroup& rg : regulation_) {
        Group g;
        g.regulated = rg.regulated;
        g.vs = rg.vs;
        g.plants = rg.plants;
        groups_.push_back(std::move(g));
    }
    qg_.assign(groups_.size(), 0.0);
    for (std::size_t g = 0; g < groups_.size(); ++g)
        for (int p : groups_[g].plants) qg_[g] += m_.plants[static_cast<std::size_t>(p)].stored_q;
    for (std::size_t i = 0; i < n; ++i)
        if (m_.node_active[i]) active_nodes_.push_back(static_cast<int>(i));
    s_.assign(n, Complex{});
    j_val_.assign(layout_.columns.size(), 0.0);
    // Device injections are evaluated with the voltages of each iteration.
    devices_.any = !m_.lcc_lines.empty() || !m_.facts.empty();
    if (devices_.any) devices_.s.assign(n, Complex{});
}

const std::vector<int>& NewtonSolver::jacobian_row_start() const {
    return layout_.row_start;
}

const std::vector<int>& NewtonSolver::jacobian_columns() const {
    return layout_.columns;
}

bool NewtonSolver::voltage_held(int node) const {
    return v_fixed_[static_cast<std::size_t>(node)] > 0.0;
}

void NewtonSolver::initialise_states(const NewtonSettings& s) {
    state_ = starting_plant_states(m_, regulation_, s);
    std::fill(switches_.begin(), switches_.end(), 0);
}

void NewtonSolver::build_regime() {
    const std::size_t n = static_cast<std::size_t>(m_.node_count);
    v_fixed_.assign(n, 0.0);
    q_fixed_.assign(n, 0.0);
    b_fixed_.assign(n, 0.0);
    node_group_member_.assign(n, -1);
    node_group_share_.assign(n, 0.0);
    for (const PlantModel& pm : m_.plants)
        if (pm.swing && m_.node_swing[static_cast<std::size_t>(pm.node)])
            v_fixed_[static_cast<std::size_t>(pm.node)] = pm.vs;
    for (std::size_t g = 0; g < groups_.size(); ++g) {
        Group& grp = groups_[g];
        grp.regulating.clear();
        grp.column = -1;
        double weight = 0.0;
        for (int p : grp.plants) {
            const PlantModel& pm = m_.plants[static_cast<std::size_t>(p)];
            const PlantState st = state_[static_cast<std::size_t>(p)];
            if (st == PlantState::Regulating) {
                grp.regulating.push_back(p);
                weight += pm.weight;
            } else {
                const double q = st == PlantState::AtMax ? pm.qmax : pm.qmin;
                (pm.susceptance_limits ? b_fixed_ : q_fixed_)[static_cast<std::size_t>(pm.node)] += q;
            }
        }
        if (grp.regulating.empty()) continue;
        v_fixed_[static_cast<std::size_t>(grp.regulated)] = grp.vs;
        grp.local = std::all_of(grp.regulating.begin(), grp.regulating.end(), [&](int p) {
            return m_.plants[static_cast<std::size_t>(p)].node == grp.regulated;
        });
        if (grp.local) continue;
        for (int p : grp.regulating) {
            const PlantModel& pm = m_.plants[static_cast<std::size_t>(p)];
            const double share =
                weight > 0.0 ? pm.weight / weight : 1.0 / static_cast<double>(grp.regulating.size());
            node_group_member_[static_cast<std::size_t>(pm.node)] = static_cast<int>(g);
            node_group_share_[static_cast<std::size_t>(pm.node)] += share;
        }
    }
    // The regime's own equations and unknowns within the fixed layout.
    row_p_ = layout_.p_row;
    row_q_ = layout_.q_row;
    col_t_ = layout_.p_row;
    col_v_ = layout_.q_row;
    for (const Group& grp : groups_)
        if (!grp.regulating.empty() && grp.local) row_q_[static_cast<std::size_t>(grp.regulated)] = -1;
    for (std::size_t i = 0; i < n; ++i)
        if (v_fixed_[i] != 0.0) col_v_[i] = -1;
    for (std::size_t g = 0; g < groups_.size(); ++g) {
        Group& grp = groups_[g];
        if (!grp.regulating.empty() && !grp.local) grp.column = layout_.group_row[g];
    }
    rows_ = layout_.size;
    f_.assign(static_cast<std::size_t>(rows_), 0.0);
    pattern_dirty_ = true;
}

void NewtonSolver::build_pattern() {
    pattern_dirty_ = false;
    if (factorisable_) return;
    lu_.set_pattern(layout_.row_start, layout_.columns, layout_.ordering_inputs,
                    [this](std::vector<int>& unknowns, std::vector<int>& equations) {
                        order_jacobian(layout_, unknowns, equations);
                    });
    if (layout_.canonical.empty()) layout_.canonical = canonical_jacobian();
    lu_.set_canonical(layout_.canonical);
    factorisable_ = true;
}

std::vector<double> NewtonSolver::canonical_jacobian() {
    const std::vector<Complex> kept_v = std::move(v);
    const std::vector<int> kept_rows = row_q_, kept_columns = col_v_, kept_members = node_group_member_;
    const std::vector<double> kept_shares = node_group_share_;
    std::vector<int> kept_group_columns;
    for (Group& g : groups_) {
        kept_group_columns.push_back(g.column);
        g.column = -1;
    }
    // Nothing the case's solution fields give (scheduled injections,
    // outputs at limits, device regimes) may enter: the pivots chosen here
    // serve every later state of the network.
    const std::vector<double> kept_q = q_fixed_, kept_b = b_fixed_;
    v.assign(static_cast<std::size_t>(m_.node_count), Complex(1.0, 0.0));
    row_q_ = layout_.q_row;
    col_v_ = layout_.q_row;
    node_group_member_.assign(node_group_member_.size(), -1);
    std::fill(node_group_share_.begin(), node_group_share_.end(), 0.0);
    std::fill(q_fixed_.begin(), q_fixed_.end(), 0.0);
    std::fill(b_fixed_.begin(), b_fixed_.end(), 0.0);
    canonical_ = true;
    evaluate(true);
    canonical_ = false;
    std::vector<double> canonical = j_val_;
    v = kept_v;
    row_q_ = kept_rows;
    col_v_ = kept_columns;
    node_group_member_ = kept_members;
    node_group_share_ = kept_shares;
    q_fixed_ = kept_q;
    b_fixed_ = kept_b;
    for (std::size_t g = 0; g < groups_.size(); ++g) groups_[g].column = kept_group_columns[g];
    std::fill(f_.begin(), f_.end(), 0.0);
    return canonical;
}

Complex NewtonSolver::node_injection(std::size_t i, double vm) const {
    Complex s = (canonical_ ? Complex{} : m_.s_base[i]) - m_.i_load[i] * vm +
                Complex(0.0, q_fixed_[i] + b_fixed_[i] * vm * vm);
    if (node_group_member_[i] >= 0)
        s += Complex(0.0, node_group_share_[i] * qg_[static_cast<std::size_t>(node_group_member_[i])]);
    if (induction_at_[i] >= 0) {
        for (const InductionModel& im : m_.induction)
            if (im.node == static_cast<int>(i)) s -= induction_state(im, vm).consumption;
    }
    if (devices_.any) s += devices_.s[i];
    return s;
}

void NewtonSolver::add_device_derivatives() {
    // Device injections couple only nodes the model joins by a stamp (a
    // coupling stamp where nothing else does), so every derivative has its
    // places in the layout. An unknown or equation the regime lacks keeps
    // its zero (or identity) entries.
    for (const DeviceInjections::Derivative& d : devices_.derivatives) {
        const auto row = static_cast<std::size_t>(d.row);
        int e = m_.y_diag[row];
        if (d.col != d.row) {
            const auto first = m_.y_col.begin() + m_.y_start[row],
                       last = m_.y_col.begin() + m_.y_start[row + 1];
            const auto it = std::lower_bound(first, last, d.col);
            if (it == last || *it != d.col) continue;
            e = static_cast<int>(it - m_.y_col.begin());
        }
        const auto eu = static_cast<std::size_t>(e);
        if (layout_.pos_pt[eu] < 0) continue;  // a swing node's row or column
        const bool v_free = col_v_[static_cast<std::size_t>(d.col)] >= 0, q_row = row_q_[row] >= 0;
        // The injections enter the scheduled side of the mismatch.
        j_val_[static_cast<std::size_t>(layout_.pos_pt[eu])] -= d.d_va.real();
        if (v_free) j_val_[static_cast<std::size_t>(layout_.pos_pv[eu])] -= d.d_vm.real();
        if (q_row) j_val_[static_cast<std::size_t>(layout_.pos_qt[eu])] -= d.d_va.imag();
        if (q_row && v_free) j_val_[static_cast<std::size_t>(layout_.pos_qv[eu])] -= d.d_vm.imag();
    }
}

void NewtonSolver::evaluate(bool with_jacobian) {
    const std::vector<Complex>& y = m_.y_val;
    double merit = 0.0;
    if (devices_.any) evaluate_device_injections(m_, v, with_jacobian, devices_, canonical_);
    if (with_jacobian) {
        inv_vm_.resize(v.size());
        for (int node : active_nodes_)
            inv_vm_[static_cast<std::size_t>(node)] = 1.0 / magnitude(v[static_cast<std::size_t>(node)]);
    }
    for (int node : active_nodes_) {
        const auto i = static_cast<std::size_t>(node);
        const Complex vi = v[i];
        Complex si{};
        const int start = m_.y_start[i], end = m_.y_start[i + 1];
        if (with_jacobian) {
            for (int e = start; e < end; ++e) {
                const auto eu = static_cast<std::size_t>(e);
                const auto k = static_cast<std::size_t>(m_.y_col[eu]);
                const Complex w = vi * std::conj(y[eu] * v[k]);
                si += w;
                if (k == i || layout_.pos_pt[eu] < 0) continue;
                // An unknown or equation the regime does not have: zero.
                const bool v_free = col_v_[k] >= 0, q_row = row_q_[i] >= 0;
                const double inv_vk = inv_vm_[k];
                j_val_[static_cast<std::size_t>(layout_.pos_pt[eu])] = w.imag();
                j_val_[static_cast<std::size_t>(layout_.pos_pv[eu])] = v_free ? w.real() * inv_vk : 0.0;
                j_val_[static_cast<std::size_t>(layout_.pos_qt[eu])] = q_row ? -w.real() : 0.0;
                j_val_[static_cast<std::size_t>(layout_.pos_qv[eu])] =
                    q_row && v_free ? w.imag() * inv_vk : 0.0;
            }
        } else {
            for (int e = start; e < end; ++e) {
                const auto eu = static_cast<std::size_t>(e);
                si += vi * std::conj(y[eu] * v[static_cast<std::size_t>(m_.y_col[eu])]);
            }
        }
        s_[i] = si;
        if (row_p_[i] < 0 && row_q_[i] < 0) continue;
        const double vm = magnitude(vi);
        const Complex scheduled = node_injection(i, vm);
        const Complex mis = si - scheduled;
        if (row_p_[i] >= 0) {
            f_[static_cast<std::size_t>(row_p_[i])] = mis.real();
            merit += mis.real() * mis.real();
        }
        if (row_q_[i] >= 0) {
            f_[static_cast<std::size_t>(row_q_[i])] = mis.imag();
            merit += mis.imag() * mis.imag();
        }
        if (!with_jacobian) continue;
        const auto d = static_cast<std::size_t>(m_.y_diag[i]);
        const Complex wii = vm * vm * std::conj(y[d]);
        // d(scheduled)/d|V| enters with the opposite sign.
        Complex dscheduled = -m_.i_load[i] + Complex(0.0, 2.0 * b_fixed_[i] * vm);
        if (induction_at_[i] >= 0)
            dscheduled +=
                (node_injection(i, vm + kDerivativeStep) - node_injection(i, vm - kDerivativeStep)) /
                    (2.0 * kDerivativeStep) +
                m_.i_load[i];
        const Complex dtheta = Complex(0.0, 1.0) * (si - wii);
        const Complex dv = (si + wii) / vm - dscheduled;
        const bool v_free = col_v_[i] >= 0, q_row = row_q_[i] >= 0;
        j_val_[static_cast<std::size_t>(layout_.pos_pt[d])] = dtheta.real();
        j_val_[static_cast<std::size_t>(layout_.pos_pv[d])] = v_free ? dv.real() : 0.0;
        j_val_[static_cast<std::size_t>(layout_.pos_qt[d])] = q_row ? dtheta.imag() : 0.0;
        // A locally held voltage has its Q equation replaced by itself.
        j_val_[static_cast<std::size_t>(layout_.pos_qv[d])] = q_row ? (v_free ? dv.imag() : 0.0) : 1.0;
        if (layout_.pos_group[i] >= 0)
            j_val_[static_cast<std::size_t>(layout_.pos_group[i])] =
                node_group_member_[i] >= 0 ? -node_group_share_[i] : 0.0;
    }
    if (with_jacobian) {
        // A group regulating remotely holds its bus's voltage by its own
        // equation; otherwise its output is not an unknown.
        for (std::size_t g = 0; g < groups_.size(); ++g) {
            if (layout_.pos_group_v[g] < 0) continue;
            const bool remote = groups_[g].column >= 0;
            j_val_[static_cast<std::size_t>(layout_.pos_group_v[g])] = remote ? 1.0 : 0.0;
            j_val_[static_cast<std::size_t>(layout_.pos_group_q[g])] = remote ? 0.0 : 1.0;
        }
    }
    if (with_jacobian && devices_.any) add_device_derivatives();
    merit_ = merit;
}

IterationRecord NewtonSolver::mismatch_summary() {
    IterationRecord r;
    r.iteration = iterations_;
    for (int node : active_nodes_) {
        const auto i = static_cast<std::size_t>(node);
        if (row_p_[i] >= 0) {
            const double a = std::fabs(f_[static_cast<std::size_t>(row_p_[i])]);
            if (a > r.max_p || r.p_node < 0 || std::isnan(a)) {
                r.max_p = a;
                r.p_node = node;
            }
        }
        if (row_q_[i] >= 0) {
            const double a = std::fabs(f_[static_cast<std::size_t>(row_q_[i])]);
            if (a > r.max_q || r.q_node < 0 || std::isnan(a)) {
                r.max_q = a;
                r.q_node = node;
            }
        }
    }
    return r;
}

double NewtonSolver::evaluate_merit_at(const std::vector<Complex>& trial) {
    std::vector<Complex> keep = std::move(v);
    v = trial;
    evaluate(false);
    v = std::move(keep);
    return merit_;
}

void NewtonSolver::apply_step(const std::vector<Complex>& from, double alpha, std::vector<Complex>& to,
                              std::vector<double>& qg_to) const {
    to = from;
    for (int node : active_nodes_) {
        const auto i = static_cast<std::size_t>(node);
        if (col_t_[i] < 0) continue;
        double vm = std::abs(from[i]);
        const double va = std::arg(from[i]) + alpha * step_[static_cast<std::size_t>(col_t_[i])];
        if (col_v_[i] >= 0) vm += alpha * step_[static_cast<std::size_t>(col_v_[i])];
        to[i] = std::polar(vm, va);
    }
    qg_to = qg_;
    for (std::size_t g = 0; g < groups_.size(); ++g)
        if (groups_[g].column >= 0) qg_to[g] += alpha * step_[static_cast<std::size_t>(groups_[g].column)];
}

int NewtonSolver::check_limits(bool machines, bool devices) {
    if (!machines && !devices) return 0;
    int changes = 0;
    for (std::size_t g = 0; g < groups_.size(); ++g) {
        const Group& grp = groups_[g];
        const auto r = static_cast<std::size_t>(grp.regulated);
        double regulating_q = 0.0, regulating_w = 0.0, all_w = 0.0, fixed_q = 0.0;
        for (int p : grp.plants) {
            const PlantModel& pm = m_.plants[static_cast<std::size_t>(p)];
            all_w += pm.weight;
            const PlantState st = state_[static_cast<std::size_t>(p)];
            if (st == PlantState::Regulating)
                regulating_w += pm.weight;
            else
                fixed_q +=
                    pm.limit_q(st == PlantState::AtMax, magnitude(v[static_cast<std::size_t>(pm.node)]));
        }
        if (!grp.regulating.empty()) {
            if (grp.local)
                regulating_q = (s_[r] - node_injection(r, magnitude(v[r]))).imag();
            else
                regulating_q = qg_[g];
        }
        const double total_q = regulating_q + fixed_q;
        const auto count = static_cast<double>(grp.plants.size());
        for (int p : grp.plants) {
            const auto pu = static_cast<std::size_t>(p);
            if (switches_[pu] >= kMaxStateChanges) continue;
            const PlantModel& pm = m_.plants[pu];
            if (!(pm.kind == RegulatorKind::Machines ? machines : devices)) continue;
            if (pm.qmax - pm.qmin <= kLimitTolerance) continue;  // never regulates
            const double vm = magnitude(v[static_cast<std::size_t>(pm.node)]);
            const double qmax = pm.limit_q(true, vm), qmin = pm.limit_q(false, vm);
            PlantState next = state_[pu];
            if (state_[pu] == PlantState::Regulating) {
                const double share = regulating_w > 0.0 ? pm.weight / regulating_w
                                                        : 1.0 / static_cast<double>(grp.regulating.size());
                const double q = share * regulating_q;
                if (q > qmax + kLimitTolerance)
                    next = PlantState::AtMax;
                else if (q < qmin - kLimitTolerance)
                    next = PlantState::AtMin;
            } else if (grp.regulating.empty()) {
                const double vr = magnitude(v[r]);
                if (state_[pu] == PlantState::AtMax && vr > grp.vs + kVoltageTolerance)
                    next = PlantState::Regulating;
                if (state_[pu] == PlantState::AtMin && vr < grp.vs - kVoltageTolerance)
                    next = PlantState::Regulating;
            } else {
                const double fair = (all_w > 0.0 ? pm.weight / all_w : 1.0 / count) * total_q;
                if (state_[pu] == PlantState::AtMax && fair < qmax - kLimitTolerance)
                    next = PlantState::Regulating;
                if (state_[pu] == PlantState::AtMin && fair > qmin + kLimitTolerance)
                    next = PlantState::Regulating;
            }
            if (next != state_[pu]) {
                state_[pu] = next;
                ++switches_[pu];
                ++changes;
            }
        }
    }
    if (changes > 0) {
        std::vector<double> old_q = qg_;
        build_regime();
        // Newly regulated voltages jump to their set points.
        for (const Group& grp : groups_)
            if (!grp.regulating.empty()) {
                const auto r = static_cast<std::size_t>(grp.regulated);
                v[r] = std::polar(grp.vs, std::arg(v[r]));
            }
    }
    return changes;
}

void NewtonSolver::regulate(int plant, double vs) {
    const auto p = static_cast<std::size_t>(plant);
    state_[p] = PlantState::Regulating;
    switches_[p] = 0;
    for (Group& g : groups_)
        if (std::find(g.plants.begin(), g.plants.end(), plant) != g.plants.end()) g.vs = vs;
    build_regime();
    const auto r = static_cast<std::size_t>(m_.plants[p].regulated_node);
    v[r] = std::polar(vs, std::arg(v[r]));
}

void NewtonSolver::prepare(const NewtonSettings& s) {
    initialise_states(s);
    build_regime();
    build_pattern();
}

void NewtonSolver::correction() {
    step_.assign(f_.size(), 0.0);
    for (std::size_t k = 0; k < f_.size(); ++k) step_[k] = -f_[k];
    lu_.solve_transposed(step_);
}

IterationRecord NewtonSolver::mismatch_as_is(const NewtonSettings& s) {
    initialise_states(s);
    build_regime();
    evaluate(false);
    return mismatch_summary();
}

NewtonOutcome NewtonSolver::solve(const NewtonSettings& s,
                                  const std::function<void(const IterationRecord&)>& report, bool resume) {
    if (!resume) {
        initialise_states(s);
        build_regime();
    }
    for (std::size_t i = 0; i < v_fixed_.size(); ++i)
        if (v_fixed_[i] > 0.0 && m_.node_active[i] && magnitude(v[i]) != v_fixed_[i])
            v[i] = std::polar(v_fixed_[i], std::arg(v[i]));
    iterations_ = 0;
    bool limits_active = s.var_limits_from == 0 || (resume && s.var_limits_from >= 0);
    // Devices other than machines keep their limits even when the option
    // ignores the machines' var limits; then they apply once close.
    bool device_limits = limits_active || resume;
    double initial_max = -1.0;
    std::vector<Complex> trial;
    std::vector<double> trial_q;
    double last_step = 1.0;
    int pending_switches = 0;
    int checked_at = -1;
    bool check_first_failed = false;
    for (;;) {
        // A solved case needs no Jacobian: look at its mismatch first.
        const bool check_first = pattern_dirty_ && iterations_ == 0 && pending_switches == 0;
        if (check_first) {
            evaluate(false);
            const IterationRecord peek = mismatch_summary();
            if (!(std::max(peek.max_p, peek.max_q) < s.tolerance)) check_first_failed = true;
        }
        if (!check_first || check_first_failed) {
            if (pattern_dirty_) build_pattern();
            evaluate(true);
        }
        check_first_failed = false;
        IterationRecord rec = mismatch_summary();
        rec.step = last_step;
        rec.limit_switches = pending_switches;
        pending_switches = 0;
        const double largest = std::max(rec.max_p, rec.max_q);
        if (report) report(rec);
        if (!std::isfinite(merit_)) return NewtonOutcome::BlownUp;
        if (initial_max < 0.0)
            initial_max = largest;
        else if (largest > s.divergence && largest > 10.0 * initial_max)
            return NewtonOutcome::BlownUp;
        if (s.var_limits_from > 0 && !limits_active &&
            (iterations_ >= s.var_limits_from || largest < s.var_limit_mismatch || largest < s.tolerance))
            limits_active = true;
        if (!device_limits && (limits_active || largest < s.var_limit_mismatch || largest < s.tolerance ||
                               (s.var_limits_from > 0 && iterations_ >= s.var_limits_from)))
            device_limits = true;
        // At most one switching round per iteration: the outputs of the
        // remaining plants mean little until a Newton step has followed.
        const bool may_switch = (limits_active || device_limits) && checked_at != iterations_;
        if (may_switch) checked_at = iterations_;
        if (const int changes = check_limits(may_switch && limits_active, may_switch && device_limits);
            changes > 0) {
            // A new regime has a new mismatch; divergence is judged from there.
            pending_switches = changes;
            initial_max = -1.0;
            continue;
        }
        if (largest < s.tolerance) {
            // Converged: the limits must hold at this very state as well.
            if (!may_switch) {
                if (const int changes = check_limits(limits_active, device_limits); changes > 0) {
                    pending_switches = changes;
                    initial_max = -1.0;
                    continue;
                }
            }
            return NewtonOutcome::Converged;
        }
        if (iterations_ >= s.max_iterations) return NewtonOutcome::IterationLimit;
        if (!lu_.factor(j_val_, true)) return NewtonOutcome::Singular;
        correction();
        for (double d : step_)
            if (!std::isfinite(d)) return NewtonOutcome::Singular;
        double alpha = 1.0;
        // The step length whose state `trial` and `trial_q` hold, from v and
        // this iteration's correction (NaN: none yet).
        double trial_alpha = std::numeric_limits<double>::quiet_NaN();
        if (s.step_control != StepControl::None) {
            const double m0 = merit_;
            std::vector<double> keep_q = qg_;
            auto merit_at = [&](double a) {
                apply_step(v, a, trial, trial_q);
                trial_alpha = a;
                std::swap(qg_, trial_q);
                const double mt = evaluate_merit_at(trial);
                std::swap(qg_, trial_q);
                return std::isfinite(mt) ? mt : HUGE_VAL;
            };
            double m1 = merit_at(1.0);
            if (m1 >= m0) {
                bool found = false;
                double a = 1.0, ma = m1;
                for (int k = 0; k < kMaxBacktracks; ++k) {
                    const double c = (ma - m0 + 2.0 * m0 * a) / (a * a);
                    double next = c > 0.0 && std::isfinite(c) ? m0 / c : 0.5 * a;
                    next = std::clamp(next, 0.1 * a, 0.5 * a);
                    a = next;
                    ma = merit_at(a);
                    if (ma < m0) {
                        found = true;
                        break;
                    }
                }
                if (!found) return NewtonOutcome::StepControlStopped;
                alpha = a;
            } else if (s.step_control == StepControl::EveryIteration) {
                const double a = m0 / (m0 + m1);
                if (a < 0.95 && merit_at(a) < m1) alpha = a;
            }
            qg_ = keep_q;
        }
        // The step control usually tried last the step it takes: the trial
        // holds it already (apply_step reads v, qg_, the correction and the
        // regime, which trying a step leaves as they were).
        if (!(trial_alpha == alpha)) apply_step(v, alpha, trial, trial_q);
        v.swap(trial);
        qg_.swap(trial_q);
        last_step = alpha;
        ++iterations_;
        for (int node : active_nodes_) {
            const double vm = magnitude(v[static_cast<std::size_t>(node)]);
            if (!(vm < s.blowup_vm && vm > 1.0 / s.blowup_vm)) {
                evaluate(false);
                if (report) {
                    IterationRecord last = mismatch_summary();
                    last.step = alpha;
                    report(last);
                }
                return NewtonOutcome::BlownUp;
            }
        }
    }
}

std::vector<NewtonSolver::PlantOutput> NewtonSolver::plant_outputs(bool refresh) {
    if (refresh) evaluate(false);
    std::vector<PlantOutput> out(m_.plants.size());
    const std::size_t n = static_cast<std::size_t>(m_.node_count);
    // Free generation at swing nodes: P to the swing plants, Q to every
    // plant there, by weight.
    std::vector<double> swing_w(n, 0.0), node_w(n, 0.0);
    for (const PlantModel& pm : m_.plants) {
        const auto i = static_cast<std::size_t>(pm.node);
        if (!m_.node_swing[i]) continue;
        const double w = pm.weight > 0.0 ? pm.weight : 1e-12;
        if (pm.swing) swing_w[i] += w;
        node_w[i] += w;
    }
    for (std::size_t p = 0; p < m_.plants.size(); ++p) {
        const PlantModel& pm = m_.plants[p];
        const auto i = static_cast<std::size_t>(pm.node);
        if (!m_.node_active[i]) continue;
        if (m_.node_swing[i]) {
            const Complex free = s_[i] - node_injection(i, magnitude(v[i]));
            const double w = pm.weight > 0.0 ? pm.weight : 1e-12;
            out[p].p = pm.swing ? free.real() * w / swing_w[i] : pm.p;
            out[p].q = free.imag() * w / node_w[i];
            continue;
        }
        out[p].p = pm.p;
    }
    for (std::size_t g = 0; g < groups_.size(); ++g) {
        const Group& grp = groups_[g];
        double w = 0.0;
        for (int p : grp.regulating) w += m_.plants[static_cast<std::size_t>(p)].weight;
        double total = 0.0;
        if (!grp.regulating.empty()) {
            const auto r = static_cast<std::size_t>(grp.regulated);
            total = grp.local ? (s_[r] - node_injection(r, magnitude(v[r]))).imag() : qg_[g];
        }
        for (int p : grp.plants) {
            const auto pu = static_cast<std::size_t>(p);
            const PlantModel& pm = m_.plants[pu];
            if (state_[pu] != PlantState::Regulating)
                out[pu].q = pm.limit_q(state_[pu] == PlantState::AtMax,
                                       magnitude(v[static_cast<std::size_t>(pm.node)]));
            else
                out[pu].q =
                    total * (w > 0.0 ? pm.weight / w : 1.0 / static_cast<double>(grp.regulating.size()));
        }
    }
    return out;
}

}  // namespace velquin::sim::loadflow
