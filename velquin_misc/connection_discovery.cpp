#include "connection_discovery.hpp"

#include <algorithm>
#include <deque>
#include <limits>
#include <optional>
#include <utility>
#include <vector>

#include "python_helpers.hpp"

namespace velquin::misc {

namespace {

// Membership in the small case's bus numbers: a hash set, or the sequence
// itself when some number cannot be hashed.
class BusSet {
public:
    explicit BusSet(const py::list& numbers) : numbers_(numbers) {
        try {
            set_ = py::set(numbers);
        } catch (const py::error_already_set& error) {
            if (!error.matches(PyExc_TypeError)) throw;
        }
    }
    bool has(const py::handle& bus) const { return set_ ? contains(*set_, bus) : contains(numbers_, bus); }

private:
    py::list numbers_;
    std::optional<py::set> set_;
};

// The non-zero buses of a connection's bus part, in order.
std::vector<py::object> nonzero_buses(const std::vector<py::object>& buses) {
    std::vector<py::object> kept;
    kept.reserve(buses.size());
    for (const auto& bus : buses) {
        if (is_nonzero(bus)) kept.push_back(bus);
    }
    return kept;
}

py::tuple tuple_of(const std::vector<py::object>& items) {
    py::tuple tuple(items.size());
    for (std::size_t i = 0; i < items.size(); ++i) tuple[i] = items[i];
    return tuple;
}

py::list list_under(py::dict& graph, const py::handle& bus) {
    if (!graph.contains(bus)) graph[bus] = py::list();
    return graph[bus].cast<py::list>();
}

py::object frozen_set_of(const std::vector<py::object>& buses) {
    py::list items;
    for (const auto& bus : buses) items.append(bus);
    PyObject* set = PyFrozenSet_New(items.ptr());
    if (set == nullptr) throw py::error_already_set();
    return py::reinterpret_steal<py::object>(set);
}

py::tuple edge_key(const py::handle& a, const py::handle& b, const py::handle& ckt) {
    return py::make_tuple(frozen_pair(a, b), stripped(ckt));
}

}  // namespace

py::tuple find_buses(const py::object& scbus_numbers, const py::object& psseng) {
    const py::list numbers(scbus_numbers);
    const BusSet in_small_case(numbers);
    const py::int_ zero(0);
    py::list branch_connections;
    py::list three_winding_connections;
    for (const auto& bus : numbers) {
        unpack_exact(
            psseng.attr("ini_branch_2")(py::arg("ibus") = bus, py::arg("inode") = 0, py::arg("single") = 2),
            2);
        while (true) {
            const auto item = unpack_exact(
                psseng.attr("get_next_branch_bus")(py::arg("ibus") = bus, py::arg("inode") = 0), 4);
            if (is_nonzero(item[0])) break;
            if (in_small_case.has(item[1])) branch_connections.append(py::make_tuple(bus, item[1], item[3]));
        }
        unpack_exact(
            psseng.attr("ini_branch_2")(py::arg("ibus") = bus, py::arg("inode") = 0, py::arg("single") = 2),
            2);
        while (true) {
            const auto item =
                unpack_exact(psseng.attr("get_next_tx3_bus")(py::arg("ibus") = bus, py::arg("inode") = 0), 6);
            if (is_nonzero(item[0])) break;
            const py::object& second = item[1];
            const py::object& third = item[3];
            const bool second_ok = in_small_case.has(second) || equal(second, zero);
            const bool third_ok = in_small_case.has(third) || equal(third, zero);
            if (second_ok && third_ok)
                three_winding_connections.append(py::make_tuple(bus, second, third, item[5]));
        }
    }
    return py::make_tuple(branch_connections, three_winding_connections);
}

py::list organize_connections(const py::object& main_bus, const py::object& branches,
                              const py::object& tx3s) {
    py::dict graph;
    py::dict edge_map;
    py::set seen_branch_keys;
    py::set seen_tx3_keys;
    const py::str branch_kind("branch");
    const py::str tx3_kind("tx3");

    for (const auto& record : py::iter(branches)) {
        const auto item = unpack_exact(record, 3);
        const py::object &bus_i = item[0], &bus_j = item[1], &ckt = item[2];
        py::tuple key = edge_key(bus_i, bus_j, ckt);
        if (contains(seen_branch_keys, key)) continue;
        seen_branch_keys.add(key);
        list_under(graph, bus_i).append(py::make_tuple(bus_j, ckt, branch_kind));
        list_under(graph, bus_j).append(py::make_tuple(bus_i, ckt, branch_kind));
        edge_map[key] = py::make_tuple(bus_i, bus_j, ckt);
    }

    for (const auto& record : py::iter(tx3s)) {
        const auto item = unpack_exact(record, 4);
        const py::object& ckt = item[3];
        const auto buses = nonzero_buses({item[0], item[1], item[2]});
        py::tuple key = py::make_tuple(frozen_set_of(buses), stripped(ckt));
        if (contains(seen_tx3_keys, key)) continue;
        seen_tx3_keys.add(key);
        const py::tuple stored = py::make_tuple(item[0], item[1], item[2], ckt);
        for (std::size_t j = 0; j < buses.size(); ++j) {
            for (std::size_t k = j + 1; k < buses.size(); ++k) {
                list_under(graph, buses[j]).append(py::make_tuple(buses[k], ckt, tx3_kind));
                list_under(graph, buses[k]).append(py::make_tuple(buses[j], ckt, tx3_kind));
                edge_map[edge_key(buses[j], buses[k], ckt)] = stored;
            }
        }
    }

    py::set visited_buses;
    py::set visited_edges;
    py::set ordered_records;
    py::list ordered;
    std::deque<py::object> queue{main_bus};
    while (!queue.empty()) {
        py::object bus = std::move(queue.front());
        queue.pop_front();
        if (contains(visited_buses, bus)) continue;
        visited_buses.add(bus);
        if (!graph.contains(bus)) continue;
        for (const auto& entry : graph[bus].cast<py::list>()) {
            const auto adjacency = unpack_exact(entry, 3);
            const py::object &neighbour = adjacency[0], &ckt = adjacency[1];
            py::tuple key = edge_key(bus, neighbour, ckt);
            if (contains(visited_edges, key)) continue;
            visited_edges.add(key);
            py::object edge = edge_map[key];
            if (!contains(ordered_records, edge)) {
                ordered_records.add(edge);
                ordered.append(edge);
            }
            if (!contains(visited_buses, neighbour)) queue.push_back(neighbour);
        }
    }
    return ordered;
}

py::list enforce_topological_order(const py::object& connections, const py::object& main_bus) {
    // Neighbour sets are insertion-ordered (dict keys) so the visit order is reproducible.
    const py::list records(connections);
    py::dict graph;
    for (const auto& record : records) {
        const auto buses = nonzero_buses(split_last(record).first);
        for (const auto& bus : buses) {
            if (!graph.contains(bus)) graph[bus] = py::dict();
            py::dict neighbours = graph[bus].cast<py::dict>();
            for (const auto& other : buses) {
                if (not_equal(other, bus)) neighbours[other] = py::none();
            }
        }
    }

    py::dict visited;
    std::deque<py::object> queue{main_bus};
    long counter = 0;
    while (!queue.empty()) {
        py::object bus = std::move(queue.front());
        queue.pop_front();
        if (visited.contains(bus)) continue;
        visited[bus] = py::int_(counter);
        if (graph.contains(bus)) {
            for (const auto& neighbour : graph[bus].cast<py::dict>()) {
                if (!visited.contains(neighbour.first))
                    queue.push_back(py::reinterpret_borrow<py::object>(neighbour.first));
            }
        }
        ++counter;
    }

    py::list ordered;
    for (const auto& record : records) {
        auto [head, ckt] = split_last(record);
        std::vector<std::pair<double, py::object>> keyed;
        for (auto& bus : nonzero_buses(head)) {
            const double rank =
                visited.contains(bus) ? visited[bus].cast<double>() : std::numeric_limits<double>::infinity();
            keyed.emplace_back(rank, std::move(bus));
        }
        std::stable_sort(keyed.begin(), keyed.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        std::vector<py::object> items;
        for (auto& [rank, bus] : keyed) items.push_back(std::move(bus));
        items.push_back(ckt);
        ordered.append(tuple_of(items));
    }
    return ordered;
}

py::tuple reorder_edge(const py::object& edge, const py::object& root) {
    auto [head, ckt] = split_last(edge);
    const auto buses = nonzero_buses(head);
    const bool has_root =
        std::any_of(buses.begin(), buses.end(), [&](const auto& bus) { return equal(bus, root); });
    std::vector<py::object> items;
    if (has_root) {
        items.push_back(root);
        for (const auto& bus : buses) {
            if (not_equal(bus, root)) items.push_back(bus);
        }
    } else {
        items = buses;
    }
    items.push_back(ckt);
    return tuple_of(items);
}

void register_connection_discovery(py::module_& module) {
    module.def("find_buses", &find_buses, py::arg("scbus_numbers"), py::arg("psseng"),
               "Branch and three-winding records whose buses all lie among scbus_numbers.");
    module.def("organize_connections", &organize_connections, py::arg("main_bus"), py::arg("branches"),
               py::arg("tx3s"), "Distinct connections in breadth-first order from main_bus.");
    module.def("enforce_topological_order", &enforce_topological_order, py::arg("connections"),
               py::arg("main_bus"), "Each connection with its buses sorted by distance from main_bus.");
    module.def("reorder_edge", &reorder_edge, py::arg("edge"), py::arg("root"),
               "The connection's non-zero buses, root first when present.");
}

}  // namespace velquin::misc
