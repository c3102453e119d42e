#include "operations/element_views.hpp"

namespace velquin::sim {

int metered_bus(const LineBranch& line) {
    return line.metered_end >= 2 ? line.to_bus : line.from_bus;
}

int metered_bus(const Transformer& t) {
    return t.non_metered_winding == 1 ? t.bus2 : t.bus1;
}

int non_metered_bus(const Transformer& t) {
    return winding_bus(t, t.non_metered_winding);
}

int winding_bus(const Transformer& t, int winding) {
    switch (winding) {
        case 1:
            return t.bus1;
        case 2:
            return t.bus2;
        case 3:
            return t.bus3;
        default:
            return 0;
    }
}

bool winding_in_service(const Transformer& t, int winding) {
    if (t.status == 0) return false;
    if (!t.is_three_winding()) return true;
    // Three-winding statuses: 2, 3, 4 switch out winding 2, 3, 1 alone.
    switch (t.status) {
        case 2:
            return winding != 2;
        case 3:
            return winding != 3;
        case 4:
            return winding != 1;
        default:
            return true;
    }
}

std::vector<StarPoint> star_points(const Case& c) {
    std::vector<StarPoint> points;
    int next = kFirstInternalBusNumber;
    for (std::size_t i = 0; i < c.transformers.size(); ++i) {
        if (c.transformers[i].is_three_winding()) points.push_back(StarPoint{next++, i});
    }
    return points;
}

bool bus_in_service(const Case& c, CaseIndex& index, int bus) {
    const auto position = index.bus(c, bus);
    return position && c.buses[*position].in_service();
}

}  // namespace velquin::sim
