// Small builders for the element-operation tests.
#pragma once

#include <string>
#include <utility>

#include "model/case.hpp"
#include "operations/bus_operations.hpp"
#include "operations/case_index.hpp"

namespace velquin::sim::testing {

// A case with buses 1..n at 138 kV, owner 7, area 3, zone 4.
inline Case case_with_buses(int n) {
    Case c;
    for (int i = 1; i <= n; ++i) {
        Bus b;
        b.number = i;
        b.base_kv = 138.0;
        b.owner = 7;
        b.area = 3;
        b.zone = 4;
        c.buses.push_back(b);
    }
    return c;
}

inline LineBranch line(int from, int to, std::string ckt = "1") {
    LineBranch l;
    l.from_bus = from;
    l.to_bus = to;
    l.ckt = std::move(ckt);
    return l;
}

inline Transformer transformer(int bus1, int bus2, int bus3, std::string ckt = "1") {
    Transformer t;
    t.bus1 = bus1;
    t.bus2 = bus2;
    t.bus3 = bus3;
    t.ckt = std::move(ckt);
    return t;
}

inline Machine machine(int bus, std::string id) {
    Machine m;
    m.bus = bus;
    m.id = std::move(id);
    return m;
}

inline int code_of(ElementCode code) {
    return static_cast<int>(code);
}

}  // namespace velquin::sim::testing
