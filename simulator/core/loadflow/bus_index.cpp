#include "loadflow/bus_index.hpp"

#include <algorithm>
#include <bit>

namespace velquin::sim::loadflow {

namespace {
// A flat table is used while it holds at most this many entries per bus
// (plus a small allowance), so its size stays proportional to the case.
constexpr std::size_t kDirectEntriesPerBus = 16;
constexpr std::size_t kDirectAllowance = 1024;
}  // namespace

BusIndex::BusIndex(const std::vector<Bus>& buses) {
    if (buses.empty()) return;
    bool non_negative = true;
    int largest = 0;
    for (const Bus& b : buses) {
        non_negative = non_negative && b.number >= 0;
        largest = std::max(largest, b.number);
    }
    if (non_negative &&
        static_cast<std::size_t>(largest) < kDirectEntriesPerBus * buses.size() + kDirectAllowance) {
        direct_.assign(static_cast<std::size_t>(largest) + 1, -1);
        for (std::size_t i = 0; i < buses.size(); ++i)
            direct_[static_cast<std::size_t>(buses[i].number)] = static_cast<int>(i);
        return;
    }
    // At most half full: probes stay short.
    const std::size_t capacity = std::bit_ceil(2 * buses.size());
    slots_.assign(capacity, Slot{});
    mask_ = capacity - 1;
    for (std::size_t i = 0; i < buses.size(); ++i) {
        const int number = buses[i].number;
        for (std::size_t s = slot_of(number);; s = (s + 1) & mask_) {
            Slot& slot = slots_[s];
            if (slot.position < 0 || slot.number == number) {
                slot.number = number;
                slot.position = static_cast<int>(i);
                break;
            }
        }
    }
}

}  // namespace velquin::sim::loadflow
