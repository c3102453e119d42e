#include "loadflow/jacobian_layout.hpp"

#include <amd.h>

#include <algorithm>
#include <memory>

#include "loadflow/newton_solver.hpp"

namespace velquin::sim::loadflow {

namespace {

JacobianLayout make_layout(const NetworkModel& m, const std::vector<RegulationGroup>& groups) {
    JacobianLayout L;
    const std::size_t n = static_cast<std::size_t>(m.node_count);
    L.p_row.assign(n, -1);
    L.q_row.assign(n, -1);
    for (std::size_t i = 0; i < n; ++i)
        if (m.node_active[i]) L.active_nodes.push_back(static_cast<int>(i));
    int next = 0;
    for (int node : L.active_nodes) {
        const auto i = static_cast<std::size_t>(node);
        if (m.node_swing[i]) continue;
        L.p_row[i] = next++;
        L.q_row[i] = next++;
    }
    L.group_row.assign(groups.size(), -1);
    std::vector<int> member_of(n, -1);  // group whose output enters the node's Q row
    for (std::size_t g = 0; g < groups.size(); ++g) {
        const bool remote = std::any_of(groups[g].plants.begin(), groups[g].plants.end(), [&](int p) {
            return m.plants[static_cast<std::size_t>(p)].node != groups[g].regulated;
        });
        if (!remote) continue;
        L.group_row[g] = next++;
        for (int p : groups[g].plants)
            member_of[static_cast<std::size_t>(m.plants[static_cast<std::size_t>(p)].node)] =
                static_cast<int>(g);
    }
    L.size = next;

    const std::size_t nnz_y = m.y_col.size();
    L.pos_pt.assign(nnz_y, -1);
    L.pos_pv.assign(nnz_y, -1);
    L.pos_qt.assign(nnz_y, -1);
    L.pos_qv.assign(nnz_y, -1);
    L.pos_group.assign(n, -1);
    L.pos_group_v.assign(groups.size(), -1);
    L.pos_group_q.assign(groups.size(), -1);
    L.row_start.assign(1, 0);
    L.columns.reserve(nnz_y * 4 + 2 * groups.size());
    auto add_row = [&](std::size_t i, bool q_row) {
        for (int e = m.y_start[i]; e < m.y_start[i + 1]; ++e) {
            const auto eu = static_cast<std::size_t>(e);
            const auto k = static_cast<std::size_t>(m.y_col[eu]);
            if (L.p_row[k] < 0) continue;
            (q_row ? L.pos_qt : L.pos_pt)[eu] = static_cast<int>(L.columns.size());
            L.columns.push_back(L.p_row[k]);
            (q_row ? L.pos_qv : L.pos_pv)[eu] = static_cast<int>(L.columns.size());
            L.columns.push_back(L.q_row[k]);
        }
        if (q_row && member_of[i] >= 0) {
            L.pos_group[i] = static_cast<int>(L.columns.size());
            L.columns.push_back(L.group_row[static_cast<std::size_t>(member_of[i])]);
        }
        L.row_start.push_back(static_cast<int>(L.columns.size()));
    };
    for (int node : L.active_nodes) {
        const auto i = static_cast<std::size_t>(node);
        if (L.p_row[i] < 0) continue;
        add_row(i, false);
        add_row(i, true);
    }
    for (std::size_t g = 0; g < groups.size(); ++g) {
        if (L.group_row[g] < 0) continue;
        L.pos_group_v[g] = static_cast<int>(L.columns.size());
        L.columns.push_back(L.q_row[static_cast<std::size_t>(groups[g].regulated)]);
        L.pos_group_q[g] = static_cast<int>(L.columns.size());
        L.columns.push_back(L.group_row[g]);
        L.row_start.push_back(static_cast<int>(L.columns.size()));
    }

    std::vector<int> local(n, -1);
    int count = 0;
    for (int node : L.active_nodes) local[static_cast<std::size_t>(node)] = count++;
    std::vector<int>& inputs = L.ordering_inputs;
    inputs.assign(1, 0);
    int edges = 0;
    for (int node : L.active_nodes) {
        const auto i = static_cast<std::size_t>(node);
        for (int e = m.y_start[i]; e < m.y_start[i + 1]; ++e)
            if (local[static_cast<std::size_t>(m.y_col[static_cast<std::size_t>(e)])] >= 0) ++edges;
        inputs.push_back(edges);
    }
    for (int node : L.active_nodes) {
        const auto i = static_cast<std::size_t>(node);
        for (int e = m.y_start[i]; e < m.y_start[i + 1]; ++e) {
            const int k = local[static_cast<std::size_t>(m.y_col[static_cast<std::size_t>(e)])];
            if (k >= 0) inputs.push_back(k);
        }
    }
    for (int node : L.active_nodes) inputs.push_back(L.p_row[static_cast<std::size_t>(node)]);
    inputs.insert(inputs.end(), L.group_row.begin(), L.group_row.end());
    return L;
}

}  // namespace

JacobianLayout& jacobian_layout(NetworkModel& m, const std::vector<RegulationGroup>& groups) {
    if (!m.jacobian) m.jacobian = std::make_shared<JacobianLayout>(make_layout(m, groups));
    return *m.jacobian;
}

void order_jacobian(const JacobianLayout& L, std::vector<int>& unknown_order,
                    std::vector<int>& equation_order) {
    const int nodes = static_cast<int>(L.active_nodes.size());
    const auto graph_rows = static_cast<std::ptrdiff_t>(nodes) + 1;
    std::vector<int> ap(L.ordering_inputs.begin(), L.ordering_inputs.begin() + graph_rows);
    std::vector<int> ai(L.ordering_inputs.begin() + graph_rows,
                        L.ordering_inputs.begin() + graph_rows + ap.back());
    std::vector<int> perm(static_cast<std::size_t>(nodes));
    double control[AMD_CONTROL], info[AMD_INFO];
    amd_defaults(control);
    if (amd_order(nodes, ap.data(), ai.data(), perm.data(), control, info) < AMD_OK) {
        for (int k = 0; k < nodes; ++k) perm[static_cast<std::size_t>(k)] = k;
    }
    unknown_order.clear();
    equation_order.clear();
    for (int k : perm) {
        const auto i = static_cast<std::size_t>(L.active_nodes[static_cast<std::size_t>(k)]);
        if (L.p_row[i] < 0) continue;
        // Rows and columns share their numbers: P with angle, Q with magnitude.
        unknown_order.insert(unknown_order.end(), {L.p_row[i], L.q_row[i]});
        equation_order.insert(equation_order.end(), {L.p_row[i], L.q_row[i]});
    }
    for (int row : L.group_row)
        if (row >= 0) {
            unknown_order.push_back(row);
            equation_order.push_back(row);
        }
}

}  // namespace velquin::sim::loadflow
