#include "loadflow/bus_index.hpp"

namespace velquin::sim::loadflow {

namespace {
constexpr int kTableLimit = 4'000'000;

std::vector<int>& shared_table() {
    thread_local std::vector<int> table;
    return table;
}
bool& shared_table_in_use() {
    thread_local bool in_use = false;
    return in_use;
}
}  // namespace

BusIndex::BusIndex(const std::vector<Bus>& buses)
    : shared_(!shared_table_in_use()), table_(shared_ ? shared_table() : own_), buses_(buses) {
    if (shared_) shared_table_in_use() = true;
    for (std::size_t i = 0; i < buses.size(); ++i) {
        const int number = buses[i].number;
        if (shared_ && number >= 0 && number < kTableLimit) {
            if (static_cast<std::size_t>(number) >= table_.size())
                table_.resize(static_cast<std::size_t>(number) + 1, -1);
            table_[static_cast<std::size_t>(number)] = static_cast<int>(i);
        } else {
            overflow_[number] = static_cast<int>(i);
        }
    }
}

BusIndex::~BusIndex() {
    if (!shared_) return;
    for (const Bus& b : buses_) {
        if (b.number >= 0 && static_cast<std::size_t>(b.number) < table_.size())
            table_[static_cast<std::size_t>(b.number)] = -1;
    }
    shared_table_in_use() = false;
}

}  // namespace velquin::sim::loadflow
