#include "loadflow/newton_solver.hpp"

#include <amd.h>

#include <algorithm>
#include <cmath>

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

NewtonSolver::NewtonSolver(NetworkModel& model, SparseLu& lu) : m_(model), lu_(lu) {
    const std::size_t n = static_cast<std::size_t>(m_.node_count);
    state_.assign(m_.plants.size(), PlantState::Regulating);
    switches_.assign(m_.plants.size(), 0);
    induction_at_.assign(n, -1);
    for (std::size_t k = m_.induction.size(); k-- > 0;)
        if (m_.node_active[static_cast<std::size_t>(m_.induction[k].node)])
            induction_at_[static_cast<std::size_t>(m_.induction[k].node)] = static_cast<int>(k);
    regulation_ = regulation_groups(m_);
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
    devices_.any = !m_.lcc_lines.empty() || !m_.facts.empty();
    if (devices_.any) evaluate_device_injections(m_, m_.v_case, false, devices_);
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
    row_p_.assign(n, -1);
    row_q_.assign(n, -1);
    col_t_.assign(n, -1);
    col_v_.assign(n, -1);
    std::vector<char> q_free(n, 0);
    for (const Group& grp : groups_)
        if (!grp.regulating.empty() && grp.local) q_free[static_cast<std::size_t>(grp.regulated)] = 1;
    int rows = 0, cols = 0;
    for (int node : active_nodes_) {
        const auto i = static_cast<std::size_t>(node);
        if (m_.node_swing[i]) continue;
        row_p_[i] = rows++;
        col_t_[i] = cols++;
        if (!q_free[i]) row_q_[i] = rows++;
        if (v_fixed_[i] == 0.0) col_v_[i] = cols++;
    }
    for (Group& grp : groups_)
        if (!grp.regulating.empty() && !grp.local) grp.column = cols++;
    rows_ = rows;
    (void)cols;
    f_.assign(static_cast<std::size_t>(rows_), 0.0);
    pattern_dirty_ = true;
}

void NewtonSolver::build_pattern() {
    const std::size_t nnz_y = m_.y_col.size();
    pos_pt_.assign(nnz_y, -1);
    pos_pv_.assign(nnz_y, -1);
    pos_qt_.assign(nnz_y, -1);
    pos_qv_.assign(nnz_y, -1);
    pos_group_.assign(static_cast<std::size_t>(m_.node_count), -1);
    j_start_.assign(1, 0);
    j_col_.clear();
    j_col_.reserve(nnz_y * 4);
    auto add_row = [&](int node, bool q_row) {
        const auto i = static_cast<std::size_t>(node);
        for (int e = m_.y_start[i]; e < m_.y_start[i + 1]; ++e) {
            const auto k = static_cast<std::size_t>(m_.y_col[static_cast<std::size_t>(e)]);
            const auto eu = static_cast<std::size_t>(e);
            if (col_t_[k] >= 0) {
                (q_row ? pos_qt_ : pos_pt_)[eu] = static_cast<int>(j_col_.size());
                j_col_.push_back(col_t_[k]);
            }
            if (col_v_[k] >= 0) {
                (q_row ? pos_qv_ : pos_pv_)[eu] = static_cast<int>(j_col_.size());
                j_col_.push_back(col_v_[k]);
            }
        }
        if (q_row && node_group_member_[i] >= 0) {
            pos_group_[i] = static_cast<int>(j_col_.size());
            j_col_.push_back(groups_[static_cast<std::size_t>(node_group_member_[i])].column);
        }
        j_start_.push_back(static_cast<int>(j_col_.size()));
    };
    for (int node : active_nodes_) {
        const auto i = static_cast<std::size_t>(node);
        if (row_p_[i] >= 0) add_row(node, false);
        if (row_q_[i] >= 0) add_row(node, true);
    }
    j_val_.assign(j_col_.size(), 0.0);
    // Order the unknowns node by node with AMD on the admittance pattern of
    // the active nodes: the Jacobian is that pattern with small dense
    // blocks. Everything the ordering reads goes into its inputs, which a
    // kept analysis must match.
    const std::size_t n = static_cast<std::size_t>(m_.node_count);
    std::vector<int> local(n, -1);
    int count = 0;
    for (int node : active_nodes_) local[static_cast<std::size_t>(node)] = count++;
    // The node graph (column starts, then rows), then each node's unknowns
    // and equations, then the groups' unknowns.
    std::vector<int> inputs(1, 0);
    inputs.reserve(static_cast<std::size_t>(count) * 6 + nnz_y);
    int edges = 0;
    for (int node : active_nodes_) {
        const auto i = static_cast<std::size_t>(node);
        for (int e = m_.y_start[i]; e < m_.y_start[i + 1]; ++e)
            if (local[static_cast<std::size_t>(m_.y_col[static_cast<std::size_t>(e)])] >= 0) ++edges;
        inputs.push_back(edges);
    }
    const std::size_t graph_rows = inputs.size();
    for (int node : active_nodes_) {
        const auto i = static_cast<std::size_t>(node);
        for (int e = m_.y_start[i]; e < m_.y_start[i + 1]; ++e) {
            const int k = local[static_cast<std::size_t>(m_.y_col[static_cast<std::size_t>(e)])];
            if (k >= 0) inputs.push_back(k);
        }
    }
    for (int node : active_nodes_) {
        const auto i = static_cast<std::size_t>(node);
        inputs.insert(inputs.end(), {col_t_[i], col_v_[i], row_p_[i], row_q_[i]});
    }
    for (const Group& g : groups_) inputs.push_back(g.column);
    const int nodes = static_cast<int>(active_nodes_.size());
    lu_.set_pattern(
        j_start_, j_col_, inputs, [&](std::vector<int>& unknown_order, std::vector<int>& equation_order) {
            std::vector<int> ap(inputs.begin(), inputs.begin() + static_cast<std::ptrdiff_t>(graph_rows));
            std::vector<int> ai(inputs.begin() + static_cast<std::ptrdiff_t>(graph_rows),
                                inputs.begin() + static_cast<std::ptrdiff_t>(graph_rows) + ap.back());
            std::vector<int> perm(static_cast<std::size_t>(nodes));
            double control[AMD_CONTROL], info[AMD_INFO];
            amd_defaults(control);
            if (amd_order(nodes, ap.data(), ai.data(), perm.data(), control, info) < AMD_OK) {
                for (int k = 0; k < nodes; ++k) perm[static_cast<std::size_t>(k)] = k;
            }
            unknown_order.clear();
            equation_order.clear();
            for (int k : perm) {
                const auto i = static_cast<std::size_t>(active_nodes_[static_cast<std::size_t>(k)]);
                if (col_t_[i] >= 0) unknown_order.push_back(col_t_[i]);
                if (col_v_[i] >= 0) unknown_order.push_back(col_v_[i]);
                if (row_p_[i] >= 0) equation_order.push_back(row_p_[i]);
                if (row_q_[i] >= 0) equation_order.push_back(row_q_[i]);
            }
            for (const Group& g : groups_)
                if (g.column >= 0) unknown_order.push_back(g.column);
        });
    pattern_dirty_ = false;
}

Complex NewtonSolver::node_injection(std::size_t i, double vm) const {
    Complex s = m_.s_base[i] - m_.i_load[i] * vm + Complex(0.0, q_fixed_[i] + b_fixed_[i] * vm * vm);
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
        // The injections enter the scheduled side of the mismatch.
        const auto eu = static_cast<std::size_t>(e);
        if (pos_pv_[eu] >= 0) j_val_[static_cast<std::size_t>(pos_pv_[eu])] -= d.d_vm.real();
        if (pos_qv_[eu] >= 0) j_val_[static_cast<std::size_t>(pos_qv_[eu])] -= d.d_vm.imag();
        if (pos_pt_[eu] >= 0) j_val_[static_cast<std::size_t>(pos_pt_[eu])] -= d.d_va.real();
        if (pos_qt_[eu] >= 0) j_val_[static_cast<std::size_t>(pos_qt_[eu])] -= d.d_va.imag();
    }
}

void NewtonSolver::evaluate(bool with_jacobian) {
    const std::vector<Complex>& y = m_.y_val;
    double merit = 0.0;
    if (devices_.any) evaluate_device_injections(m_, v, with_jacobian, devices_);
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
                if (k == i) continue;
                const double inv_vk = inv_vm_[k];
                if (pos_pt_[eu] >= 0) j_val_[static_cast<std::size_t>(pos_pt_[eu])] = w.imag();
                if (pos_pv_[eu] >= 0) j_val_[static_cast<std::size_t>(pos_pv_[eu])] = w.real() * inv_vk;
                if (pos_qt_[eu] >= 0) j_val_[static_cast<std::size_t>(pos_qt_[eu])] = -w.real();
                if (pos_qv_[eu] >= 0) j_val_[static_cast<std::size_t>(pos_qv_[eu])] = w.imag() * inv_vk;
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
        if (pos_pt_[d] >= 0) j_val_[static_cast<std::size_t>(pos_pt_[d])] = dtheta.real();
        if (pos_pv_[d] >= 0) j_val_[static_cast<std::size_t>(pos_pv_[d])] = dv.real();
        if (pos_qt_[d] >= 0) j_val_[static_cast<std::size_t>(pos_qt_[d])] = dtheta.imag();
        if (pos_qv_[d] >= 0) j_val_[static_cast<std::size_t>(pos_qv_[d])] = dv.imag();
        if (pos_group_[i] >= 0) j_val_[static_cast<std::size_t>(pos_group_[i])] = -node_group_share_[i];
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
        if (s.step_control != StepControl::None) {
            const double m0 = merit_;
            std::vector<double> keep_q = qg_;
            auto merit_at = [&](double a) {
                apply_step(v, a, trial, trial_q);
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
        apply_step(v, alpha, trial, trial_q);
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
