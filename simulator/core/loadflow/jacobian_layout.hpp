// The fixed layout of the load-flow Jacobian for one network model: where
// each node's P and Q equations and angle and magnitude unknowns sit, where
// the equation and output unknown of each group of plants sharing a remote
// regulated bus sit, the sparsity pattern (compressed rows), the position of
// every entry, and what the ordering of the unknowns is computed from. It
// depends on the model's structure only, so it is made once per model (see
// newton_solver.hpp for how a regime fits in it).
#pragma once

#include <vector>

#include "loadflow/network_model.hpp"

namespace velquin::sim::loadflow {

struct RegulationGroup;

struct JacobianLayout {
    // Per node: rows of its P and Q equations (the same numbers as the
    // columns of its angle and magnitude); -1 at swing and unsolved nodes.
    std::vector<int> p_row, q_row;
    // Per regulation group: row and column of its output (-1 when no plant
    // of the group sits away from its regulated bus).
    std::vector<int> group_row;
    int size = 0;

    // Compressed rows, columns sorted within a row.
    std::vector<int> row_start, columns;
    // Per admittance entry (i, k): positions of dP_i/dtheta_k, dP_i/d|V_k|,
    // dQ_i/dtheta_k, dQ_i/d|V_k| (-1 when i or k has no unknowns).
    std::vector<int> pos_pt, pos_pv, pos_qt, pos_qv;
    // Per node: position of its Q row's entry in its group's output column.
    std::vector<int> pos_group;
    // Per group: positions of its row's entries (regulated magnitude, output).
    std::vector<int> pos_group_v, pos_group_q;

    // What the ordering reads: the admittance pattern of the active nodes
    // (column starts, then rows, local numbers), then each active node's
    // P row, then each group's row.
    std::vector<int> ordering_inputs;
    std::vector<int> active_nodes;  // local number -> node

    // The Jacobian at 1 pu and zero angle with every voltage free and no
    // group regulating remotely: a function of the network, whose pivots
    // every factorisation starts from. Filled by the first solver.
    std::vector<double> canonical;
};

// The layout of the model's Jacobian, made at the first call for a model.
JacobianLayout& jacobian_layout(NetworkModel& m, const std::vector<RegulationGroup>& groups);

// Fill-reducing order of the unknowns and equations: AMD on the node graph,
// each node's two unknowns and two equations together, the groups last.
void order_jacobian(const JacobianLayout& layout, std::vector<int>& unknown_order,
                    std::vector<int>& equation_order);

}  // namespace velquin::sim::loadflow
