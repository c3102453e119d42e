// Bus number to bus position lookup for one case. Bus numbers are small
// integers, so a flat table (kept between uses and cleared afterwards) is
// much faster than hashing when a large case is solved many times. Indexes
// may be nested (on one thread): only the outermost uses the kept table.
#pragma once

#include <unordered_map>
#include <vector>

#include "model/bus.hpp"

namespace velquin::sim::loadflow {

class BusIndex {
public:
    explicit BusIndex(const std::vector<Bus>& buses);
    ~BusIndex();
    BusIndex(const BusIndex&) = delete;
    BusIndex& operator=(const BusIndex&) = delete;

    // Position of the bus, or -1 when the case has no such bus.
    int find(int number) const {
        if (number >= 0 && static_cast<std::size_t>(number) < table_.size())
            return table_[static_cast<std::size_t>(number)];
        auto it = overflow_.find(number);
        return it == overflow_.end() ? -1 : it->second;
    }

private:
    // The shared table while no other index uses it; an index made while
    // another one lives (a helper inside a builder) hashes (own_ stays empty).
    std::vector<int> own_;
    bool shared_;
    std::vector<int>& table_;
    std::unordered_map<int, int> overflow_;
    const std::vector<Bus>& buses_;
};

}  // namespace velquin::sim::loadflow
