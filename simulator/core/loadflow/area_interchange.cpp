#include "loadflow/area_interchange.hpp"

#include <algorithm>
#include <cmath>
#include <set>

#include "loadflow/bus_index.hpp"

namespace velquin::sim::loadflow {

namespace {

int slot_of(const std::vector<int>& numbers, int area) {
    const auto it = std::lower_bound(numbers.begin(), numbers.end(), area);
    return it != numbers.end() && *it == area ? static_cast<int>(it - numbers.begin()) : -1;
}

// Books an element's flow: metered at side a, the export of a's area is
// what enters the element there and the other area imports it (losses fall
// to the unmetered side).
void book(std::vector<double>& exports, int area_a, int area_b, double p_a, double p_b, bool metered_at_b) {
    if (area_a == area_b || area_a < 0 || area_b < 0) return;
    const double metered = metered_at_b ? -p_b : p_a;  // from a towards b
    exports[static_cast<std::size_t>(area_a)] += metered;
    exports[static_cast<std::size_t>(area_b)] -= metered;
}

}  // namespace

AreaInterchange build_area_interchange(const Case& c, const NetworkModel& m, int mode) {
    AreaInterchange a;
    a.with_loads = mode == 2;
    std::set<int> numbers;
    for (const Bus& b : c.buses) numbers.insert(b.area);
    for (const Area& ar : c.areas) numbers.insert(ar.number);
    for (const Load& l : c.loads) numbers.insert(l.area);
    a.area_numbers.assign(numbers.begin(), numbers.end());
    a.bus_area.resize(c.buses.size());
    for (std::size_t b = 0; b < c.buses.size(); ++b) a.bus_area[b] = slot_of(a.area_numbers, c.buses[b].area);

    const BusIndex index(c.buses);
    if (a.with_loads) {
        a.load_bus.reserve(c.loads.size());
        for (const Load& l : c.loads) a.load_bus.push_back(index.find(l.bus));
    }
    std::vector<int> plant_at(c.buses.size(), -1);
    for (std::size_t p = 0; p < m.plants.size(); ++p)
        if (m.plants[p].bus >= 0 && !m.plants[p].machines.empty() &&
            plant_at[static_cast<std::size_t>(m.plants[p].bus)] < 0)
            plant_at[static_cast<std::size_t>(m.plants[p].bus)] = static_cast<int>(p);
    for (const Area& ar : c.areas) {
        if (ar.swing_bus == 0) continue;
        const std::string who =
            "Area " + std::to_string(ar.number) + ": slack bus " + std::to_string(ar.swing_bus);
        const int b = index.find(ar.swing_bus);
        const int node = b < 0 ? -1 : m.bus_node[static_cast<std::size_t>(b)];
        if (node < 0 || !m.node_active[static_cast<std::size_t>(node)]) {
            a.notes.push_back(who + " is not in service in a solved island: interchange not controlled");
            continue;
        }
        if (c.buses[static_cast<std::size_t>(b)].area != ar.number)
            a.notes.push_back(who + " lies in area " +
                              std::to_string(c.buses[static_cast<std::size_t>(b)].area) +
                              "; its machines still take area " + std::to_string(ar.number) + "'s imbalance");
        const int plant = plant_at[static_cast<std::size_t>(b)];
        if (plant < 0) {
            a.notes.push_back(who +
                              " has no machine in service at a generator bus: interchange not controlled");
            continue;
        }
        if (m.plants[static_cast<std::size_t>(plant)].swing) continue;  // the swing area takes the imbalance
        AreaControl ctl;
        ctl.area = ar.number;
        ctl.slot = slot_of(a.area_numbers, ar.number);
        ctl.plant = plant;
        ctl.desired = ar.desired_mw / m.base_mva;
        ctl.tolerance = std::fabs(ar.tolerance_mw) / m.base_mva;
        a.controls.push_back(ctl);
    }
    // An area whose buses share a node with another area's buses (tied by
    // zero-impedance branches) exchanges power the node voltages do not
    // tell.
    std::vector<int> node_area(static_cast<std::size_t>(m.node_count), -1);
    std::set<std::pair<int, int>> mixed;
    for (std::size_t b = 0; b < c.buses.size(); ++b) {
        const int node = m.bus_node[b];
        if (node < 0) continue;
        int& first = node_area[static_cast<std::size_t>(node)];
        if (first < 0)
            first = c.buses[b].area;
        else if (first != c.buses[b].area)
            mixed.insert({std::min(first, c.buses[b].area), std::max(first, c.buses[b].area)});
    }
    for (const auto& [x, y] : mixed)
        a.notes.push_back(
            "Areas " + std::to_string(x) + " and " + std::to_string(y) +
            " are joined by zero-impedance branches, whose flows are not part of their interchange");
    return a;
}

std::vector<double> area_exports(const Case& c, const NetworkModel& m, const AreaInterchange& a,
                                 const std::vector<Complex>& v, const std::vector<TieElementFlow>& others) {
    std::vector<double> exports(a.area_numbers.size(), 0.0);
    auto area = [&](int bus) { return bus < 0 ? -1 : a.bus_area[static_cast<std::size_t>(bus)]; };
    for (std::size_t k = 0; k < m.stamps.size(); ++k) {
        const StampEnds& e = m.stamps[k].ends;
        const int area_a = area(e.bus_a), area_b = area(e.bus_b);
        if (area_a == area_b) continue;
        const BranchStamp& s = m.stamps[k];
        const Complex va = v[static_cast<std::size_t>(s.a)], vb = v[static_cast<std::size_t>(s.b)];
        const double p_a = (va * std::conj(s.yaa * va + s.yab * vb)).real();
        const double p_b = (vb * std::conj(s.yba * va + s.ybb * vb)).real();
        book(exports, area_a, area_b, p_a, p_b, e.metered_at_b);
    }
    for (const TieElementFlow& f : others)
        book(exports, area(f.bus_a), area(f.bus_b), f.p_a, f.p_b, f.metered_at_b);
    if (a.with_loads) {
        for (std::size_t k = 0; k < c.loads.size(); ++k) {
            const Load& l = c.loads[k];
            if (l.status != 1) continue;
            const int b = a.load_bus[k];
            if (b < 0) continue;
            const int node = m.bus_node[static_cast<std::size_t>(b)];
            if (node < 0 || !m.node_active[static_cast<std::size_t>(node)]) continue;
            const int bus_area = a.bus_area[static_cast<std::size_t>(b)];
            const int load_area = slot_of(a.area_numbers, l.area);
            if (bus_area == load_area) continue;
            const double vm = std::abs(v[static_cast<std::size_t>(node)]);
            double p = l.constant_power.real() + l.constant_current.real() * vm +
                       l.constant_admittance.real() * vm * vm;
            if (l.distributed_generation_mode != 0) p -= l.distributed_generation.real();
            // The bus's area supplies the load of the other area.
            exports[static_cast<std::size_t>(bus_area)] += p / m.base_mva;
            exports[static_cast<std::size_t>(load_area)] -= p / m.base_mva;
        }
    }
    return exports;
}

int adjust_area_interchange(AreaInterchange& a, NetworkModel& m, const std::vector<double>& exports) {
    int moved = 0;
    for (AreaControl& ctl : a.controls) {
        const double gap = ctl.desired - exports[static_cast<std::size_t>(ctl.slot)];
        if (std::fabs(gap) <= ctl.tolerance) continue;
        PlantModel& pm = m.plants[static_cast<std::size_t>(ctl.plant)];
        pm.p += gap;
        m.s_base[static_cast<std::size_t>(pm.node)] += gap;
        ctl.moved += gap;
        ++moved;
    }
    return moved;
}

}  // namespace velquin::sim::loadflow
