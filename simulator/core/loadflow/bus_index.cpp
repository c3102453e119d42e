#include "loadflow/bus_index.hpp"

namespace velquin::sim::loadflow {

namespace {
constexpr int kTableLimit = 4'000'000;

std::vector<int>& shared_table() {
    thread_local std::vector<int> table;
    return table;
}
}  // namespace

BusIndex::BusIndex(const std::vector<Bus>& buses) : table_(shared_table()), buses_(buses) {
    for (std::size_t i = 0; i < buses.size(); ++i) {
        const int number = buses[i].number;
        if (number >= 0 && number < kTableLimit) {
            if (static_cast<std::size_t>(number) >= table_.size())
                table_.resize(static_cast<std::size_t>(number) + 1, -1);
            table_[static_cast<std::size_t>(number)] = static_cast<int>(i);
        } else {
            overflow_[number] = static_cast<int>(i);
        }
    }
}

BusIndex::~BusIndex() {
    for (const Bus& b : buses_) {
        if (b.number >= 0 && static_cast<std::size_t>(b.number) < table_.size())
            table_[static_cast<std::size_t>(b.number)] = -1;
    }
}

}  // namespace velquin::sim::loadflow
