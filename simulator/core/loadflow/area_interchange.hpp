// Area interchange control: between Newton solutions, the slack machine of
// every controlled area takes up the difference between the area's desired
// net export (PDES) and its actual one, until each area is within its
// tolerance (PTOL). An area's net export is the active power leaving it on
// tie branches (and DC lines and FACTS devices), measured at each element's
// metered end; with loads counted, a load assigned to another area than its
// bus's is an export of the bus's area to the load's area.
#pragma once

#include <string>
#include <vector>

#include "loadflow/network_model.hpp"

namespace velquin::sim::loadflow {

// Active power an element between two buses carries at a solved state,
// entering the element at each side, pu. Elements other than branches (DC
// lines, FACTS devices) enter the area accounting through these.
struct TieElementFlow {
    int bus_a = -1, bus_b = -1;  // case bus indices
    double p_a = 0.0, p_b = 0.0;
    bool metered_at_b = false;
};

struct AreaControl {
    int area = 0;            // area number
    int slot = -1;           // index into AreaInterchange::area_numbers
    int plant = -1;          // its slack plant, index into NetworkModel::plants
    double desired = 0.0;    // PDES, pu
    double tolerance = 0.0;  // PTOL, pu
    double moved = 0.0;      // change of the slack plant's active power so far, pu
};

struct AreaInterchange {
    bool with_loads = false;  // option 2: tie lines and loads
    std::vector<AreaControl> controls;
    std::vector<int> area_numbers;  // every area of the buses and of the area records, ascending
    std::vector<int> bus_area;      // per case bus: index into area_numbers
    std::vector<int> load_bus;      // option 2, per case load: its case bus index, -1 when none
    std::vector<std::string> notes;
    bool active() const { return !controls.empty(); }
};

// The controlled areas of the case for option 2 = mode (1 tie lines only,
// 2 tie lines and loads): those whose slack bus (ISW) has an in-service
// generating plant that is not the swing bus of its island. An area holding
// its island's swing bus takes the island's imbalance and is not
// controlled.
AreaInterchange build_area_interchange(const Case& c, const NetworkModel& m, int mode);

// Net export of every area (indexed as area_numbers), pu, at node voltages
// v, with the flows of other tie elements.
std::vector<double> area_exports(const Case& c, const NetworkModel& m, const AreaInterchange& a,
                                 const std::vector<Complex>& v, const std::vector<TieElementFlow>& others);

// Moves the slack plant of every controlled area whose export is outside
// its tolerance by the difference to its desired export. Returns how many
// moved.
int adjust_area_interchange(AreaInterchange& a, NetworkModel& m, const std::vector<double>& exports);

}  // namespace velquin::sim::loadflow
